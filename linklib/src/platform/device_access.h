// Why a serial device could not be opened, told to the user of a
// command-line program: the system error the library recorded for the open,
// and on POSIX who owns the device and which group may use it.
#pragma once

#include <cstdint>
#include <string>

namespace vsk::platform {

// The open was refused: no permission, or on Windows also a port that another
// program holds (the system answers both the same way).
bool isAccessRefused(int32_t systemCode);
// There is no such device.
bool isMissingDevice(int32_t systemCode);

// Who may use the device at `path`: the group to join into *groupToJoin (the
// device's group when that is not root and may read and write it) and its
// ownership text ("owner:group, mode 0600") into *ownership. Both stay empty
// when the device cannot be examined, and always on Windows, where access to
// a port does not come from a group.
void examineDeviceAccess(const std::string& path, std::string* groupToJoin, std::string* ownership);

}  // namespace vsk::platform
