#include "cp932.h"

#include <QList>
#include <string>

#include "cp932_rules.h"
#include "platform/text.h"

namespace vsk::ui {

namespace {

// What stands for a character CP932 has no form for, and for bytes that are
// no CP932 character.
constexpr char kUnencodable = '?';

// The tools convert through the same functions as the library and veskactl,
// so a name has the same bytes in a history line as on the line.
bool toCp932Bytes(const QString& text, std::string* out) {
    const QByteArray utf8 = text.toUtf8();
    return platform::pcToCp932(std::string_view(utf8.constData(), size_t(utf8.size())), out);
}

bool fromCp932Bytes(QByteArrayView bytes, QString* out) {
    std::string utf8;
    if (!platform::cp932ToPc(std::string_view(bytes.data(), size_t(bytes.size())), &utf8))
        return false;
    *out = QString::fromStdString(utf8);
    return true;
}

}  // namespace

Encoded encodeCp932(const QString& text) {
    Encoded out;
    std::string bytes;
    if (toCp932Bytes(text, &bytes)) {
        out.bytes = QByteArray::fromStdString(bytes);
        return out;
    }
    // Character by character, so that only what has no CP932 form is replaced.
    out.complete = false;
    const QList<uint> codePoints = text.toUcs4();
    for (uint c : codePoints) {
        const QString one = QString::fromUcs4(reinterpret_cast<const char32_t*>(&c), 1);
        if (one.size() > 0 && !one.contains(QChar::ReplacementCharacter) &&
            toCp932Bytes(one, &bytes)) {
            out.bytes += QByteArray::fromStdString(bytes);
        } else {
            out.bytes += kUnencodable;
        }
    }
    return out;
}

QString decodeCp932(const QByteArray& bytes) {
    QString out;
    if (fromCp932Bytes(bytes, &out)) return out;
    out.clear();
    qsizetype i = 0;
    while (i < bytes.size()) {
        const auto b = static_cast<unsigned char>(bytes[i]);
        // A trail byte may lie in the ASCII range; it stays with its lead.
        const bool pair = cp932::isLeadByte(b) && i + 1 < bytes.size() &&
                          cp932::isTrailByte(static_cast<unsigned char>(bytes[i + 1]));
        const qsizetype width = pair ? 2 : 1;
        QString one;
        out += fromCp932Bytes(QByteArrayView(bytes).sliced(i, width), &one)
                   ? one
                   : QString(QChar::ReplacementCharacter);
        i += width;
    }
    return out;
}

}  // namespace vsk::ui
