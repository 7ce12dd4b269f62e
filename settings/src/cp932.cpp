#include "cp932.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace vsk::ui {

namespace {

// CP932 keeps 00h-7Fh as ASCII, and so does the library when it turns a PC file
// name into a terminal name. Qt's windows-31j table swaps the control codes
// 1Ah, 1Ch and 7Fh as IBM's code page does, so ASCII bypasses the codec and
// the bytes the name check sees are the bytes the library sends.
constexpr char16_t kAsciiEnd = 0x80;
constexpr const char* kCodec = "windows-31j";

bool isLeadByte(uchar b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrailByte(uchar b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

}  // namespace

Encoded encodeCp932(const QString& text) {
    Encoded out;
    qsizetype runStart = -1;  // the pending run of non-ASCII characters
    auto flushRun = [&](qsizetype end) {
        if (runStart < 0) return;
        // Stateless: a lone surrogate at the end of a run is an error, not
        // a character held back for input that never comes.
        QStringEncoder encoder(kCodec, QStringConverter::Flag::Stateless);
        QByteArray part = encoder.encode(QStringView(text).sliced(runStart, end - runStart));
        if (!encoder.isValid() || encoder.hasError()) out.complete = false;
        out.bytes += part;
        runStart = -1;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t c = text[i].unicode();
        if (c < kAsciiEnd) {
            flushRun(i);
            out.bytes += static_cast<char>(c);
        } else if (runStart < 0) {
            runStart = i;
        }
    }
    flushRun(text.size());
    return out;
}

QString decodeCp932(const QByteArray& bytes) {
    QString out;
    qsizetype runStart = -1;  // the pending run of bytes from 80h up
    auto flushRun = [&](qsizetype end) {
        if (runStart < 0) return;
        QStringDecoder decoder(kCodec, QStringConverter::Flag::Stateless);
        out += QString(decoder.decode(QByteArrayView(bytes).sliced(runStart, end - runStart)));
        runStart = -1;
    };
    qsizetype i = 0;
    while (i < bytes.size()) {
        uchar b = static_cast<uchar>(bytes[i]);
        if (b < kAsciiEnd) {
            flushRun(i);
            out += QChar(b);
            ++i;
            continue;
        }
        if (runStart < 0) runStart = i;
        // A trail byte may lie in the ASCII range; it stays with its lead.
        bool pair =
            isLeadByte(b) && i + 1 < bytes.size() && isTrailByte(static_cast<uchar>(bytes[i + 1]));
        i += pair ? 2 : 1;
    }
    flushRun(bytes.size());
    return out;
}

}  // namespace vsk::ui
