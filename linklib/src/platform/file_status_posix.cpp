#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string_view>

#include "platform/file_status.h"

namespace vsk::platform {
namespace {

bool workingFolder(std::string* folder) {
    std::string buffer(4096, '\0');
    if (getcwd(buffer.data(), buffer.size()) == nullptr) return false;
    buffer.resize(std::strlen(buffer.c_str()));
    *folder = buffer;
    return true;
}

}  // namespace

bool fileStatus(const std::string& path, FileStatus* status) {
    struct stat info = {};
    if (stat(path.c_str(), &info) != 0) return false;
    status->kind = S_ISREG(info.st_mode)   ? FileStatus::Kind::kFile
                   : S_ISDIR(info.st_mode) ? FileStatus::Kind::kFolder
                                           : FileStatus::Kind::kOther;
    status->size = info.st_size;
    return true;
}

bool isReadable(const std::string& path) {
    return access(path.c_str(), R_OK) == 0;
}

bool absolutePath(const std::string& typed, std::string* absolute) {
    if (!typed.empty() && typed.front() == '/') {
        *absolute = typed;
        return true;
    }
    std::string_view rest = typed;
    while (rest.size() > 2 && rest.substr(0, 2) == "./") rest.remove_prefix(2);
    std::string folder;
    if (!workingFolder(&folder)) return false;
    *absolute = folder + (folder.back() == '/' ? "" : "/") + std::string(rest);
    return true;
}

}  // namespace vsk::platform
