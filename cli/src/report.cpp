#include "report.h"

#include <cstring>
#include <iostream>

#include "platform/device_access.h"
#include "platform/text.h"
#include "result_codes.h"
#include "veska.h"

namespace veskactl {
namespace {

constexpr int32_t kFirstSystemCode = 6000;
constexpr int32_t kLastSystemCode = 6999;
constexpr size_t kSysErrorBufferSize = 256;

bool isSystemFailure(int32_t code) {
    return code >= kFirstSystemCode && code <= kLastSystemCode;
}

void fetchSystemError(FailureDetails& details) {
    // The library copies the text without a terminating zero, so the buffer
    // starts zeroed and has one spare byte.
    char buffer[kSysErrorBufferSize + 1] = {};
    details.systemCode = Vsk_GetSysErrorMsg(buffer);
    if (details.systemCode == 0) return;
    std::string text(buffer, strnlen(buffer, kSysErrorBufferSize));
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
        text.pop_back();
    details.systemText = text;
}

// A device the system refused to open.
std::string accessHint(const FailureDetails& details, const std::string& origin) {
    const std::string& path = details.device.path;
#ifdef _WIN32
    // Windows refuses a port that another program holds the same way.
    return path + origin +
           " is in use by another program, or you may not use it; close the program that "
           "holds it or choose another --port";
#else
    std::string hint = "no permission to open " + path + origin;
    if (!details.groupToJoin.empty())
        return hint + "; join the group that owns it, e.g. sudo usermod -aG " +
               details.groupToJoin + " \"$USER\", then log in again";
    if (details.ownership.empty()) return hint + "; ask for read and write access to it";
    // Root's group, or a group without read and write permission: joining
    // it would not help (and root's must never be suggested).
    return hint + " (" + details.ownership +
           "); no group you could join may use it: ask the administrator for read and "
           "write access, e.g. a udev rule that gives it to a group you are in";
#endif
}

std::string deviceHint(const FailureDetails& details) {
    const DevicePath& device = details.device;
    if (device.path.empty()) return {};
    std::string origin = device.fromEnvironment ? " (from " + device.variable + ")" : "";
    if (vsk::platform::isAccessRefused(details.systemCode)) return accessHint(details, origin);
    if (vsk::platform::isMissingDevice(details.systemCode)) {
        std::string hint = "there is no device " + device.path + origin;
        if (!device.fromEnvironment)
            hint += "; choose another --port or set " + device.variable + " to the device";
        return hint;
    }
    return "the device tried was " + device.path + origin;
}

}  // namespace

std::string formatFailure(const FailureDetails& details) {
    std::string text = "veskactl: " + details.operation +
                       " failed: " + std::to_string(details.code) + " " +
                       vsk::platform::pcTextFromUtf8(vsk::resultText(details.code)) + "\n";
    if (details.systemCode != 0)
        text += "veskactl: system error " + std::to_string(details.systemCode) + ": " +
                details.systemText + "\n";
    if (details.code == VSK_E_SYS_OPEN) {
        std::string hint = deviceHint(details);
        if (!hint.empty()) text += "veskactl: " + hint + "\n";
    }
    return text;
}

void reportFailure(const std::string& operation, int32_t code) {
    FailureDetails details;
    details.operation = operation;
    details.code = code;
    if (isSystemFailure(code)) fetchSystemError(details);
    std::cerr << formatFailure(details) << std::flush;
}

void reportOpenFailure(const LineOptions& line, int32_t code) {
    FailureDetails details;
    details.operation = "open port " + std::to_string(line.port);
    details.code = code;
    if (isSystemFailure(code)) fetchSystemError(details);
    if (code == VSK_E_SYS_OPEN) {
        details.device = devicePathForPort(line.port);
        if (vsk::platform::isAccessRefused(details.systemCode))
            vsk::platform::examineDeviceAccess(details.device.path, &details.groupToJoin,
                                               &details.ownership);
    }
    std::cerr << formatFailure(details) << std::flush;
}

}  // namespace veskactl
