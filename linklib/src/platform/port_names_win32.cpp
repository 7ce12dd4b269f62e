#include "platform/port_names.h"

namespace vsk {

// The device namespace reaches every port, COM10 and above included.
std::string defaultDeviceForPort(int32_t n) {
    return "\\\\.\\COM" + std::to_string(n);
}

}  // namespace vsk
