// The last system error: the errno value recorded right after every system
// call the library makes on the port or on PC files, successful or not.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace vsk::platform {

int32_t lastSysError();
void setLastSysError(int32_t value);
inline void recordErrno() {
    setLastSysError(errno);
}
// Records the calling thread's last error of the system's own API: errno
// here, GetLastError() on Windows.
void recordLastError();

// The system's message text for `code` into `out` (zero-terminated, at most
// `cap` bytes). Returns false when the system has no text for it.
bool sysErrorText(int32_t code, char* out, size_t cap);

}  // namespace vsk::platform
