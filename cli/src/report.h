// Failure messages on stderr: the operation, the result code with the library's
// text, the system's text for failed system calls, and hints for a port that
// cannot be opened.
#pragma once

#include <cstdint>
#include <string>

#include "line_options.h"

namespace veskactl {

struct FailureDetails {
    std::string operation;
    int32_t code = 0;
    int32_t systemCode = 0;  // 0 when the library recorded no system error text
    std::string systemText;
    // Only for a port that could not be opened:
    DevicePath device;
    // The group to join for access: the device's group when that is not root
    // and may read and write it; empty when joining a group would not help.
    std::string groupToJoin;
    std::string ownership;  // "owner:group, mode 0600", empty if unknown
};

// The lines to print, each ending in a newline.
std::string formatFailure(const FailureDetails& details);

void reportFailure(const std::string& operation, int32_t code);
void reportOpenFailure(const LineOptions& line, int32_t code);

}  // namespace veskactl
