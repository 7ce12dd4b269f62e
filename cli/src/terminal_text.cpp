#include "terminal_text.h"

#include <cstdio>

#include "command_line.h"
#include "cp932_rules.h"
#include "platform/text.h"

namespace veskactl {
namespace {

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

void appendEscaped(DisplayText& text, unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    text.utf8 += escaped;
    text.columns += 4;
}

}  // namespace

std::optional<std::string> utf8ToCp932(std::string_view utf8) {
    std::string cp932;
    if (!vsk::platform::pcToCp932(utf8, &cp932)) return std::nullopt;
    return cp932;
}

std::string terminalNameFromUtf8(std::string_view utf8) {
    if (utf8.empty()) throw UsageError("a terminal file name cannot be empty");
    for (char c : utf8)
        if (isControl(static_cast<unsigned char>(c)))
            throw UsageError("the terminal file name '" + std::string(utf8) +
                             "' holds a control character");
    std::optional<std::string> cp932 = utf8ToCp932(utf8);
    if (!cp932)
        throw UsageError("the terminal file name '" + std::string(utf8) +
                         "' cannot be written in the terminal's character set (CP932)");
    if (cp932->size() > VSK_NAME_WIDTH)
        throw UsageError("the terminal file name '" + std::string(utf8) + "' is " +
                         std::to_string(cp932->size()) + " bytes in CP932; at most " +
                         std::to_string(VSK_NAME_WIDTH) + " are allowed");
    return *cp932;
}

DisplayText displayFromCp932(std::string_view cp932) {
    DisplayText text;
    size_t i = 0;
    while (i < cp932.size()) {
        auto byte = static_cast<unsigned char>(cp932[i]);
        size_t length = vsk::cp932::isLeadByte(byte) && i + 1 < cp932.size() ? 2 : 1;
        std::string converted;
        if (isControl(byte) || !vsk::platform::cp932ToPc(cp932.substr(i, length), &converted) ||
            converted.empty()) {
            appendEscaped(text, byte);
            ++i;
            continue;
        }
        // In CP932 one byte is a half-width character and two bytes a full-width one.
        text.utf8 += converted;
        text.columns += length;
        i += length;
    }
    return text;
}

}  // namespace veskactl
