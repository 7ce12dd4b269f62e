// PC-side paths handed to the transfers. The library takes at most 127 bytes of
// a path and drops trailing blanks, and a terminal announces sizes in seven
// digits; anything beyond those limits would make it act on a different file
// or send a wrong header, so it is refused here before the line is touched.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "veska.h"

namespace veskactl {

// `typed` made absolute (relative to the working folder). Throws UsageError
// when the result is longer than the library takes or ends in a blank;
// `what` names the operand in the message.
std::string libraryPath(std::string_view typed, std::string_view what);

// A PC file to send, as the library needs it.
struct PcFile {
    std::string typed;  // as given on the command line
    std::string path;   // absolute
    int32_t size = 0;
    std::string terminalName;  // the file's name as the terminal will hold it (CP932)
};

// How the library names the file on the terminal. Batches drop the blanks of
// a name, so there a name with blanks would arrive as another name.
enum class Sending { kSingle, kInBatch };

// Checks that `typed` is a readable regular file no larger than a transfer
// can announce, whose name a terminal can hold. Throws UsageError for a path
// or name that cannot be used and std::runtime_error for a file that cannot be
// read or is too large.
PcFile pcFileToSend(std::string_view typed, Sending sending = Sending::kSingle);

// A PC folder that exists, absolute. Throws like libraryPath, and
// std::runtime_error when it is not a folder.
std::string pcFolder(std::string_view typed, std::string_view what);

}  // namespace veskactl
