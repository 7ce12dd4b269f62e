// Windows' last error, as the Win32 implementations record it: right after
// each call, so that the last system error is always the call's own.
#pragma once

#include <windows.h>

#include "platform/syserror.h"

namespace vsk::platform {

inline void recordWin32Error() {
    setLastSysError(static_cast<int32_t>(GetLastError()));
}

// Keeps GetLastError() as the caller left it, for code that must not change
// what a call reports (the trace).
class LastErrorKept {
  public:
    LastErrorKept() : saved_(GetLastError()) {}
    ~LastErrorKept() { SetLastError(saved_); }
    LastErrorKept(const LastErrorKept&) = delete;
    LastErrorKept& operator=(const LastErrorKept&) = delete;

  private:
    DWORD saved_;
};

inline HANDLE toHandle(intptr_t value) {
    return reinterpret_cast<HANDLE>(value);
}
inline intptr_t fromHandle(HANDLE handle) {
    return reinterpret_cast<intptr_t>(handle);
}

}  // namespace vsk::platform
