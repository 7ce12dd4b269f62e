#include "platform/port_names.h"

namespace vsk {

// Serial ports count from 0 here, from 1 for the user.
std::string defaultDeviceForPort(int32_t n) {
    return "/dev/ttyS" + std::to_string(n - 1);
}

}  // namespace vsk
