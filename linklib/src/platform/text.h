// Conversions between the PC's UTF-8 texts and the terminals' CP932 bytes:
// the code-page table of the platform, after the rules of core/cp932.h. The
// library, veskactl and the tools all convert through these two functions.
#pragma once

#include <string>
#include <string_view>

namespace vsk::platform {

// False when the text has a character CP932 cannot express (or is not UTF-8).
bool utf8ToCp932(std::string_view utf8, std::string* cp932);
// False when the bytes are not valid CP932.
bool cp932ToUtf8(std::string_view cp932, std::string* utf8);

}  // namespace vsk::platform
