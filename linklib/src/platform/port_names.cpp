#include "platform/port_names.h"

#include <cstdlib>

namespace vsk {

std::string portVariable(int32_t n) {
    return "VESKA_COM" + std::to_string(n);
}

bool portFromEnvironment(int32_t n) {
    const char* v = std::getenv(portVariable(n).c_str());
    return v != nullptr && v[0] != '\0';
}

std::string devicePathForPort(int32_t n) {
    if (portFromEnvironment(n)) return std::getenv(portVariable(n).c_str());
    return defaultDeviceForPort(n);
}

}  // namespace vsk
