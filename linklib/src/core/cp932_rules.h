// The terminals' character set, CP932, as every part of the system handles it:
// which bytes start a double-byte character, where a field may be cut, and
// which Unicode characters are written as which CP932 character. The
// conversion itself is the platform's (platform/text.h); it calls these rules
// first, so that the library, veskactl and the tools agree byte for byte.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vsk::cp932 {

// First byte of a double-byte character.
bool isLeadByte(unsigned char byte);
// Second byte of a double-byte character (it may lie in the ASCII range).
bool isTrailByte(unsigned char byte);

// The longest prefix of a CP932 text that fits `maxBytes` without splitting a
// double-byte character.
std::string_view wholeCharPrefix(std::string_view text, size_t maxBytes);

// A UTF-8 text made ready for the code-page table: the characters a Japanese
// input method on this platform types for 〜 ‖ − ¢ £ ¬ become the ones the
// table holds (the terminals show the same glyphs). False when the text is
// not UTF-8, or holds ¥ (U+00A5) or ‾ (U+203E): some converters write those
// as the ASCII backslash and tilde, which would put a path separator or a
// different character into a file name.
bool prepareForTable(std::string_view utf8, std::string* out);

// The same rules for one character: the character to look up in the table
// in place of `c` (usually `c` itself), or kRefused.
inline constexpr char32_t kRefused = 0xFFFFFFFF;
char32_t tableCharFor(char32_t c);

// A blank-filled field of a record without its trailing blanks, stopping at a
// zero byte if there is one.
std::string_view fieldText(const char* field, size_t width);

}  // namespace vsk::cp932
