// The last system error the library recorded, on every system.
#include "platform/syserror.h"

namespace vsk::platform {

namespace {
int32_t gLastSysError = 0;
}

int32_t lastSysError() {
    return gLastSysError;
}
void setLastSysError(int32_t value) {
    gLastSysError = value;
}

}  // namespace vsk::platform
