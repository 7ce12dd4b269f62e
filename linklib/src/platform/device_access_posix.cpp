// A device that would not open: its errno, and who owns it and which group
// may use it, so the user can be told what to ask for.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdio>

#include "platform/device_access.h"

namespace vsk::platform {
namespace {

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

}  // namespace

bool isAccessRefused(int32_t systemCode) {
    return systemCode == EACCES;
}

bool isMissingDevice(int32_t systemCode) {
    return systemCode == ENOENT;
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

}  // namespace vsk::platform
