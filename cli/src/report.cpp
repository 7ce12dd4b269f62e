#include "report.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
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

std::string nameOfGroup(gid_t gid) {
    const struct group* entry = getgrgid(gid);
    return entry != nullptr ? entry->gr_name : std::to_string(gid);
}

std::string nameOfUser(uid_t uid) {
    const struct passwd* entry = getpwuid(uid);
    return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

std::string octalMode(mode_t mode) {
    char text[8];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

std::string deviceHint(const FailureDetails& details) {
    const DevicePath& device = details.device;
    if (device.path.empty()) return {};
    std::string origin = device.fromEnvironment ? " (from " + device.variable + ")" : "";
    if (details.systemCode == EACCES) {
        std::string hint = "no permission to open " + device.path + origin;
        if (!details.groupToJoin.empty())
            return hint + "; join the group that owns it, e.g. sudo usermod -aG " +
                   details.groupToJoin + " \"$USER\", then log in again";
        if (details.ownership.empty()) return hint + "; ask for read and write access to it";
        // Root's group, or a group without read and write permission: joining
        // it would not help (and root's must never be suggested).
        return hint + " (" + details.ownership +
               "); no group you could join may use it: ask the administrator for read and "
               "write access, e.g. a udev rule that gives it to a group you are in";
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

void examineDeviceAccess(const std::string& path, std::string* groupToJoin,
                         std::string* ownership) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) return;
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    if (info.st_gid != 0 && (info.st_mode & kGroupReadWrite) == kGroupReadWrite)
        *groupToJoin = nameOfGroup(info.st_gid);
    *ownership = nameOfUser(info.st_uid) + ":" + nameOfGroup(info.st_gid) + ", mode " +
                 octalMode(info.st_mode);
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
        if (details.systemCode == EACCES)
            examineDeviceAccess(details.device.path, &details.groupToJoin, &details.ownership);
    }
    std::cerr << formatFailure(details) << std::flush;
}

}  // namespace veskactl
