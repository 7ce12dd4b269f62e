// The names of the command codes and result letters in frame_defs.h, as the
// wire trace shows them.
#pragma once

#include <cstdint>

namespace vsk::frame {

// The command a command frame's control byte names; null for an unknown code.
const char* commandName(uint8_t c);
// What a result frame's letter says; null for an unknown letter.
const char* resultLetterName(uint8_t c);

}  // namespace vsk::frame
