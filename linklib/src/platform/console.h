// The one line a command-line program redraws on its standard error stream
// while a transfer runs ("\r", the text, then ESC [ K to clear the rest).
#pragma once

#include <cstddef>
#include <string>

namespace vsk::platform {

// True when stderr is a terminal that shows such a line. On Windows the
// console is switched to its escape-sequence mode for the line's lifetime
// (endStatusLine() puts the previous mode back); a console that has no such
// mode shows no line.
bool beginStatusLine();
void endStatusLine();

// The terminal's width in columns; 0 when it cannot be told.
size_t statusLineColumns();

// Writes all of `text` to stderr; a failure is dropped (a display only).
void writeStatusLine(const std::string& text);

}  // namespace vsk::platform
