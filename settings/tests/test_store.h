// The settings file as the tests see it, past ClsReg.
#pragma once

#include <QSettings>
#include <QVariantMap>
#include <ostream>

#include "qt_print.h"

inline void clearStore() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "MORVA", "VESKA2");
    store.clear();
    store.sync();
}

inline void putRaw(const QVariantMap& values) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "MORVA", "VESKA2");
    for (auto it = values.begin(); it != values.end(); ++it) store.setValue(it.key(), it.value());
    store.sync();
}

inline QVariantMap storeContents() {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "MORVA", "VESKA2");
    QVariantMap contents;
    for (const QString& key : store.allKeys()) contents[key] = store.value(key);
    return contents;
}

inline QString storeFileName() {
    return QSettings(QSettings::NativeFormat, QSettings::UserScope, "MORVA", "VESKA2").fileName();
}

// Readable failures: gtest finds this beside QVariant.
inline void PrintTo(const QVariant& value, std::ostream* out) {
    *out << value.typeName() << ' ';
    PrintTo(value.toString(), out);
}
