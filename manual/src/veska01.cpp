#include "veska01.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vsk::ui {

QByteArray toCp932(const QString& text) {
    QStringEncoder encoder("windows-31j");
    return encoder.encode(text);
}

QString fromCp932(const QByteArray& bytes) {
    QStringDecoder decoder("windows-31j");
    return decoder.decode(bytes);
}

bool CheckHtFileName(const QString& name) {
    (void)name;
    return false;  // filled in with the dialogs
}

}  // namespace vsk::ui
