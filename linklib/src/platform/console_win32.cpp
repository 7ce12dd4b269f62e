// The status line on a Windows console. The console takes ESC [ K only in
// its escape-sequence mode (ENABLE_VIRTUAL_TERMINAL_PROCESSING, Windows 10
// and later); the mode belongs to the console, which outlives the program,
// so it is put back when the line ends.
#include <windows.h>

#include "platform/console.h"

namespace vsk::platform {
namespace {

// The mode to put back; 0 when nothing was changed.
DWORD gPreviousMode = 0;

HANDLE errorHandle() {
    return GetStdHandle(STD_ERROR_HANDLE);
}

}  // namespace

bool beginStatusLine() {
    DWORD mode = 0;
    if (!GetConsoleMode(errorHandle(), &mode)) return false;  // not a console
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0) return true;
    if (!SetConsoleMode(errorHandle(), mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) return false;
    gPreviousMode = mode;
    return true;
}

void endStatusLine() {
    if (gPreviousMode == 0) return;
    SetConsoleMode(errorHandle(), gPreviousMode);
    gPreviousMode = 0;
}

size_t statusLineColumns() {
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    if (!GetConsoleScreenBufferInfo(errorHandle(), &info)) return 0;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 0 ? static_cast<size_t>(columns) : 0;
}

void writeStatusLine(const std::string& text) {
    const char* data = text.data();
    size_t left = text.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = left > 0x10000 ? 0x10000 : static_cast<DWORD>(left);
        if (!WriteFile(errorHandle(), data, chunk, &written, nullptr) || written == 0) return;
        data += written;
        left -= written;
    }
}

}  // namespace vsk::platform
