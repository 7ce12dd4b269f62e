#include "terminal_text.h"

#include <iconv.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "command_line.h"

namespace veskactl {
namespace {

class Converter {
  public:
    Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
        if (cd_ == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
    }
    ~Converter() { iconv_close(cd_); }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    // The whole of `input` converted, or nullopt at the first byte that fails.
    std::optional<std::string> convert(std::string_view input) {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        std::string output;
        char* in = const_cast<char*>(input.data());
        size_t inLeft = input.size();
        char buffer[256];
        while (inLeft > 0) {
            char* out = buffer;
            size_t outLeft = sizeof buffer;
            size_t done = iconv(cd_, &in, &inLeft, &out, &outLeft);
            output.append(buffer, sizeof buffer - outLeft);
            if (done == static_cast<size_t>(-1) && errno != E2BIG) return std::nullopt;
        }
        return output;
    }

  private:
    iconv_t cd_;
};

bool isControl(unsigned char byte) {
    return byte < 0x20 || byte == 0x7F;
}

// Lead bytes of CP932's double-byte characters.
bool isLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void appendEscaped(DisplayText& text, unsigned char byte) {
    char escaped[5];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
    text.utf8 += escaped;
    text.columns += 4;
}

}  // namespace

std::optional<std::string> utf8ToCp932(std::string_view utf8) {
    Converter converter("CP932", "UTF-8");
    return converter.convert(utf8);
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
    if (cp932->size() > kMaxTerminalNameBytes)
        throw UsageError("the terminal file name '" + std::string(utf8) + "' is " +
                         std::to_string(cp932->size()) + " bytes in CP932; at most " +
                         std::to_string(kMaxTerminalNameBytes) + " are allowed");
    return *cp932;
}

DisplayText displayFromCp932(std::string_view cp932) {
    Converter converter("UTF-8", "CP932");
    DisplayText text;
    size_t i = 0;
    while (i < cp932.size()) {
        auto byte = static_cast<unsigned char>(cp932[i]);
        size_t length = isLeadByte(byte) && i + 1 < cp932.size() ? 2 : 1;
        std::optional<std::string> converted;
        if (!isControl(byte)) converted = converter.convert(cp932.substr(i, length));
        if (!converted || converted->empty()) {
            appendEscaped(text, byte);
            ++i;
            continue;
        }
        // In CP932 one byte is a half-width character and two bytes a full-width one.
        text.utf8 += *converted;
        text.columns += length;
        i += length;
    }
    return text;
}

std::string_view fieldText(const char* field, size_t width) {
    size_t length = strnlen(field, width);
    while (length > 0 && field[length - 1] == ' ') --length;
    return std::string_view(field, length);
}

}  // namespace veskactl
