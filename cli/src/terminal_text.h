// Texts that cross between the user's UTF-8 terminal and the handhelds, whose
// file names are CP932 bytes.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "cp932_rules.h"
#include "veska.h"

namespace veskactl {

// Converts UTF-8 to CP932; nullopt when the text is not valid UTF-8 or holds a
// character that CP932 cannot express.
std::optional<std::string> utf8ToCp932(std::string_view utf8);

// A file name typed by the user, as the CP932 bytes the library sends. Throws
// UsageError when the name is empty, holds control characters, cannot be
// expressed in CP932 or is longer than a terminal name may be: the library
// would silently cut such a name and act on a different file.
std::string terminalNameFromUtf8(std::string_view utf8);

// CP932 bytes from a terminal made safe to print: valid characters in UTF-8,
// control characters and undecodable bytes as \xNN. `columns` is the width on
// a terminal, so that listings can be aligned.
struct DisplayText {
    std::string utf8;
    size_t columns = 0;
};
DisplayText displayFromCp932(std::string_view cp932);

using vsk::cp932::fieldText;

}  // namespace veskactl
