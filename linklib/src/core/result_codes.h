// The result codes' texts: the one table of them, used for history lines and
// for the messages of the command-line tool.
#pragma once

#include <cstdint>

namespace vsk {

// The library's text for `code`; "予期せぬエラー" for codes outside the table
// (0 and 1006 included). UTF-8, never null.
const char* resultText(int32_t code);

}  // namespace vsk
