#include "veska01.h"

#include <QStringDecoder>
#include <QStringEncoder>
#include <algorithm>
#include <string_view>

namespace vsk::ui {

QString invalidHtNameMessage(const QString& name) {
    return QStringLiteral("ファイル名 [ ") + name + QStringLiteral(" ] はＨＴで使用できません");
}

namespace {

// CP932 keeps 00h-7Fh as ASCII, and so does the library when it turns a PC file
// name into a terminal name. Qt's windows-31j table swaps the control codes
// 1Ah, 1Ch and 7Fh as IBM's code page does, so ASCII bypasses the codec and
// the bytes the name check sees are the bytes the library sends.
constexpr char16_t kAsciiEnd = 0x80;
constexpr const char* kCodec = "windows-31j";

struct Encoded {
    QByteArray bytes;
    bool complete = true;  // false when a character had no CP932 form
};

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

bool isLeadByte(uchar b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

bool isTrailByte(uchar b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
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

QByteArray trimmedBlanks(const QByteArray& bytes) {
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && bytes[begin] == ' ') ++begin;
    while (end > begin && bytes[end - 1] == ' ') --end;
    return bytes.sliced(begin, end - begin);
}

// The terminals' 8.3 form: the first dot splits the name, later dots belong to
// the extension.
bool fitsEightDotThree(const QByteArray& name) {
    constexpr qsizetype kBaseMax = 8;
    constexpr qsizetype kExtensionMax = 3;
    qsizetype dot = name.indexOf('.');
    if (dot < 0) return name.size() <= kBaseMax;
    return dot <= kBaseMax && name.size() - dot - 1 <= kExtensionMax;
}

// Printable single bytes only: no blank, no control code, nothing from 81h up
// (double-byte characters and half-width katakana), none of the characters
// that PC file systems or the terminals reserve.
bool isNameByte(char c) {
    constexpr std::string_view kReserved = "\"*+,/:;<=>?|";
    uchar b = static_cast<uchar>(c);
    return b >= 0x21 && b <= 0x80 && kReserved.find(c) == std::string_view::npos;
}

// A terminal file of these names could never be stored in a PC folder.
bool isFolderReference(const QByteArray& name) {
    return name == "." || name == "..";
}

}  // namespace

QByteArray toCp932(const QString& text) {
    return encodeCp932(text).bytes;
}

QString fromCp932(const QByteArray& bytes) {
    return decodeCp932(bytes);
}

bool CheckHtFileNameBytes(const QByteArray& name) {
    QByteArray trimmed = trimmedBlanks(name);
    if (trimmed.isEmpty() || isFolderReference(trimmed)) return false;
    return fitsEightDotThree(trimmed) && std::all_of(trimmed.begin(), trimmed.end(), isNameByte);
}

bool CheckHtFileName(const QString& name) {
    // Only blanks are trimmed: a tab or an ideographic space around a name
    // stays part of it, is refused here and so never reaches a terminal.
    Encoded encoded = encodeCp932(name);
    return encoded.complete && CheckHtFileNameBytes(encoded.bytes);
}

}  // namespace vsk::ui
