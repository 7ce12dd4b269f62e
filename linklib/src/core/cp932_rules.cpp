#include "cp932_rules.h"

#include <cstdint>
#include <cstring>

namespace vsk::cp932 {
namespace {

// Characters typed differently on this platform than the code-page table
// has them, and the table's character: wave dash, double vertical line,
// minus sign, cent, pound and not sign.
struct Variant {
    char32_t typed;
    char32_t table;
};
constexpr Variant kVariants[] = {{0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D},
                                 {0x00A2, 0xFFE0}, {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2}};

bool refused(char32_t c) {
    return c == 0x00A5 || c == 0x203E;
}

// One code point from `s` at `*i`; false for a malformed sequence.
bool nextCodePoint(std::string_view s, size_t* i, char32_t* out) {
    const auto lead = static_cast<unsigned char>(s[*i]);
    size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        length = 1;
        c = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        length = 2;
        c = lead & 0x1Fu;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        c = lead & 0x0Fu;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        c = lead & 0x07u;
    } else {
        return false;
    }
    if (*i + length > s.size()) return false;
    for (size_t k = 1; k < length; ++k) {
        const auto b = static_cast<unsigned char>(s[*i + k]);
        if ((b & 0xC0) != 0x80) return false;
        c = (c << 6) | (b & 0x3Fu);
    }
    // Over-long forms and surrogates are no characters; the converter refuses them too.
    constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (c < kLeast[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
    *i += length;
    *out = c;
    return true;
}

void appendUtf8(char32_t c, std::string* out) {
    if (c < 0x800) {
        out->push_back(static_cast<char>(0xC0 | (c >> 6)));
    } else {
        out->push_back(static_cast<char>(0xE0 | (c >> 12)));
        out->push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    }
    out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
}

}  // namespace

bool isLeadByte(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

bool isTrailByte(unsigned char byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFC);
}

std::string_view wholeCharPrefix(std::string_view text, size_t maxBytes) {
    size_t i = 0;
    while (i < text.size()) {
        size_t width = isLeadByte(static_cast<unsigned char>(text[i])) ? 2 : 1;
        if (i + width > maxBytes || i + width > text.size()) break;
        i += width;
    }
    return text.substr(0, i);
}

char32_t tableCharFor(char32_t c) {
    if (refused(c)) return kRefused;
    for (const Variant& v : kVariants) {
        if (v.typed == c) return v.table;
    }
    return c;
}

bool prepareForTable(std::string_view utf8, std::string* out) {
    out->clear();
    out->reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        const size_t start = i;
        char32_t c = 0;
        if (!nextCodePoint(utf8, &i, &c)) return false;
        const char32_t table = tableCharFor(c);
        if (table == kRefused) return false;
        if (table != c) {
            appendUtf8(table, out);
        } else {
            out->append(utf8.substr(start, i - start));
        }
    }
    return true;
}

std::string_view fieldText(const char* field, size_t width) {
    size_t length = strnlen(field, width);
    while (length > 0 && field[length - 1] == ' ') --length;
    return std::string_view(field, length);
}

}  // namespace vsk::cp932
