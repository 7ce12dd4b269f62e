// Which device a port number opens: the rule shared by the library and the
// tools that explain it to their users.
#pragma once

#include <cstdint>
#include <string>

namespace vsk {

// The environment variable that names port `n`'s device: "VESKA_COM<n>".
std::string portVariable(int32_t n);

// The device for port `n`: $VESKA_COM<n> when set and not empty, else the
// system's own device for it (defaultDeviceForPort).
std::string devicePathForPort(int32_t n);

// The system's device for port `n`: /dev/ttyS<n-1> here.
std::string defaultDeviceForPort(int32_t n);

// True when the device comes from the environment rather than the default.
bool portFromEnvironment(int32_t n);

}  // namespace vsk
