// Conversions between the PC's texts and the terminals' CP932 bytes: the
// code-page table of the platform, after the rules of core/cp932_rules.h. The
// library, veskactl and the tools all convert through these two functions.
// PC texts (paths, names) are UTF-8 on Linux and in the ANSI code page on
// Windows, as each system's programs pass them.
#pragma once

#include <string>
#include <string_view>

namespace vsk::platform {

// False when the text has a character CP932 cannot express (or is not valid
// in the PC's encoding).
bool pcToCp932(std::string_view pc, std::string* cp932);
// False when the bytes are not valid CP932 (or have no form in the PC's
// encoding).
bool cp932ToPc(std::string_view cp932, std::string* pc);

// A text of the program's own, written in UTF-8 (the result texts), as PC
// texts are: unchanged on Linux; in the ANSI code page on Windows, where a
// character the code page lacks shows as '?'.
std::string pcTextFromUtf8(std::string_view utf8);

#ifdef _WIN32
// Windows' own texts (window captions and controls) are UTF-16: terminal
// names, and the program's own texts written in UTF-8.
bool cp932ToWide(std::string_view cp932, std::wstring* wide);
bool utf8ToWide(std::string_view utf8, std::wstring* wide);
#endif

}  // namespace vsk::platform
