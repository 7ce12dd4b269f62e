// A COM port that would not open, from the error Windows gave CreateFileA.
// Windows grants ports per session, not per group, so there is no owner or
// group to name.
#include <windows.h>

#include "platform/device_access.h"

namespace vsk::platform {

bool isAccessRefused(int32_t systemCode) {
    return systemCode == ERROR_ACCESS_DENIED;
}

bool isMissingDevice(int32_t systemCode) {
    return systemCode == ERROR_FILE_NOT_FOUND || systemCode == ERROR_PATH_NOT_FOUND;
}

void examineDeviceAccess(const std::string& /*path*/, std::string* /*groupToJoin*/,
                         std::string* /*ownership*/) {}

}  // namespace vsk::platform
