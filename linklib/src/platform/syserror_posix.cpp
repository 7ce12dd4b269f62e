// The last system error and the system's texts for error codes.
#include <cstring>

#include "platform/syserror.h"

namespace vsk::platform {

void recordLastError() {
    recordErrno();
}

bool sysErrorText(int32_t code, char* out, size_t cap) {
    if (cap == 0) return false;
    char local[256];
    const char* text = strerror_r(code, local, sizeof local);
    if (text == nullptr || text[0] == '\0') return false;
    std::strncpy(out, text, cap - 1);
    out[cap - 1] = '\0';
    return true;
}

}  // namespace vsk::platform
