#include "cls_reg.h"

#include <QDebug>
#include <QLocale>
#include <QSettings>
#include <cmath>
#include <cstdint>
#include <limits>

#include "veska.h"

namespace vsk::ui {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n';
}

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// A fresh object for every access: a QSettings held across calls would answer
// from what it read earlier instead of what another tool wrote since.
QString readText(const char* key, const QString& absent) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "MORVA", "VESKA2");
    return store.value(QLatin1String(key), absent).toString();
}

// The default goes through the text rule as well, as if it had been stored.
QVariant readNumber(const char* key, double absent) {
    return leadingNumber(readText(key, storedText(absent)));
}

// What the library can open: a whole number from 1 to 2147483647.
bool isPortNumber(double value) {
    return value >= 1 && value <= std::numeric_limits<int32_t>::max() && value == std::floor(value);
}

// Said on stderr, the only channel the store has: the tools open no port
// with such a value, and the user learns which setting to mend.
void reportStoredValue(const char* key, const QString& text, const char* wanted, double readAs) {
    const QString file =
        QSettings(QSettings::NativeFormat, QSettings::UserScope, "MORVA", "VESKA2").fileName();
    qWarning().noquote() << QStringLiteral("settings: %1=%2 in %3 is not %4; it reads as %5")
                                .arg(QLatin1String(key), text, file, QLatin1String(wanted),
                                     storedText(readAs));
}

// A refused write is not reported: the value in the store stays as it was.
void writeText(const char* key, const QVariant& value) {
    QSettings store(QSettings::NativeFormat, QSettings::UserScope, "MORVA", "VESKA2");
    store.setValue(QLatin1String(key), storedText(value));
    store.sync();
}

}  // namespace

double leadingNumber(const QString& text) {
    const qsizetype end = text.size();
    qsizetype i = 0;
    while (i < end && isBlank(text[i])) ++i;
    const qsizetype from = i;
    if (i < end && (text[i] == u'+' || text[i] == u'-')) ++i;
    qsizetype digits = 0;
    for (; i < end && isDigit(text[i]); ++i) ++digits;
    if (i < end && text[i] == u'.') {
        ++i;
        for (; i < end && isDigit(text[i]); ++i) ++digits;
    }
    if (digits == 0) return 0.0;
    // toDouble refuses what overflows a double, so no infinity gets out.
    bool ok = false;
    const double value = text.mid(from, i - from).toDouble(&ok);
    return ok ? value : 0.0;
}

QString storedText(const QVariant& value) {
    const int type = value.typeId();
    if (type == QMetaType::Double || type == QMetaType::Float) {
        return QString::number(value.toDouble(), 'f', QLocale::FloatingPointShortest);
    }
    return value.toString();
}

// A stored value that is no port number reads as 0, as text that is no
// number does: every caller refuses port 0 instead of opening some other
// port that a cut-down or rounded number would name.
QVariant ClsReg::Port() const {
    const QString text = readText("Port", storedText(VSK_DEFAULT_PORT));
    const double number = leadingNumber(text);
    if (isPortNumber(number)) return number;
    reportStoredValue("Port", text, "a port number from 1 to 2147483647", 0);
    return 0.0;
}
void ClsReg::setPort(const QVariant& value) {
    writeText("Port", value);
}

QVariant ClsReg::BaudRate() const {
    return readNumber("Bps", VSK_DEFAULT_BAUD_RATE);
}
void ClsReg::setBaudRate(const QVariant& value) {
    writeText("Bps", value);
}

QVariant ClsReg::BiteSize() const {
    return readNumber("Data", VSK_DEFAULT_DATA_BITS);
}
void ClsReg::setBiteSize(const QVariant& value) {
    writeText("Data", value);
}

QVariant ClsReg::Parity() const {
    return readText("Pari", QString(QLatin1Char(VSK_PARITY_LETTERS[VSK_DEFAULT_PARITY])));
}
void ClsReg::setParity(const QVariant& value) {
    writeText("Pari", value);
}

QVariant ClsReg::StopBits() const {
    return readNumber("Stop", VSK_DEFAULT_STOP_BITS);
}
void ClsReg::setStopBits(const QVariant& value) {
    writeText("Stop", value);
}

QVariant ClsReg::timeout() const {
    return readNumber("Timeout", VSK_DEFAULT_TIMEOUT_MS);
}
void ClsReg::setTimeout(const QVariant& value) {
    writeText("Timeout", value);
}

QVariant ClsReg::Retry() const {
    return readNumber("Retry", VSK_DEFAULT_RETRY);
}
void ClsReg::setRetry(const QVariant& value) {
    writeText("Retry", value);
}

QVariant ClsReg::PollingTout() const {
    return readNumber("Polling", 100);
}
void ClsReg::setPollingTout(const QVariant& value) {
    writeText("Polling", value);
}

QVariant ClsReg::DefFolder() const {
    return readText("DefFolder", QString());
}
void ClsReg::setDefFolder(const QVariant& value) {
    writeText("DefFolder", value);
}

}  // namespace vsk::ui
