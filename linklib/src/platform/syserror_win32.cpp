// The last system error (GetLastError() values) and the system's texts for them.
#include <windows.h>

#include <cstring>

#include "platform/syserror.h"
#include "platform/win32_error.h"

namespace vsk::platform {

void recordLastError() {
    recordWin32Error();
}

// FormatMessageA's text in the system's language, without its line end.
bool sysErrorText(int32_t code, char* out, size_t cap) {
    if (cap == 0) return false;
    const DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD n = FormatMessageA(flags, nullptr, static_cast<DWORD>(code), 0, out,
                             static_cast<DWORD>(cap), nullptr);
    if (n == 0) {
        out[0] = '\0';
        return false;
    }
    while (n > 0 && (out[n - 1] == '\r' || out[n - 1] == '\n' || out[n - 1] == ' ')) --n;
    out[n] = '\0';
    return n > 0;
}

}  // namespace vsk::platform
