#include "report.h"

#include <grp.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>

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

std::string owningGroup(const std::string& path) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) return {};
    const struct group* owner = getgrgid(info.st_gid);
    return owner != nullptr ? owner->gr_name : std::string();
}

std::string deviceHint(const FailureDetails& details) {
    const DevicePath& device = details.device;
    if (device.path.empty()) return {};
    std::string origin = device.fromEnvironment ? " (from " + device.variable + ")" : "";
    if (details.systemCode == EACCES) {
        if (details.deviceGroup.empty())
            return "no permission to open " + device.path + origin +
                   "; ask for read and write access to it";
        return "no permission to open " + device.path + origin +
               "; join the group that owns it, e.g. sudo usermod -aG " + details.deviceGroup +
               " \"$USER\", then log in again";
    }
    if (details.systemCode == ENOENT) {
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
                       vsk::resultText(details.code) + "\n";
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
        if (details.systemCode == EACCES) details.deviceGroup = owningGroup(details.device.path);
    }
    std::cerr << formatFailure(details) << std::flush;
}

}  // namespace veskactl
