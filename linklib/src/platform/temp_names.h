// The names of the temporary files received data goes to first:
// ".~vsk-<process id>-<8 hex digits>". They are longer than any terminal
// file name, so that no file a terminal sends can take one, and only names
// of exactly that shape are the library's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vsk::platform {

inline constexpr std::string_view kTempPrefix = ".~vsk-";

// The name for process `pid` with the random part `random`.
std::string tempFileName(uint32_t pid, uint32_t random);

// The process id in a temporary file's name, or 0 when the name is not one.
// Only the exact shape counts (prefix, digits, "-", eight hex digits: 16
// bytes at least), so no name a terminal can send (12 bytes at most) and no
// file a user is likely to name is ever taken for a stale temporary file.
uint32_t tempFileOwner(std::string_view name);

}  // namespace vsk::platform
