#include "veska01.h"

#include <algorithm>
#include <string_view>

#include "cp932.h"

namespace vsk::ui {

QString invalidHtNameMessage(const QString& name) {
    return QStringLiteral("ファイル名 [ ") + name + QStringLiteral(" ] はＨＴで使用できません");
}

namespace {

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
