// What a PC path names, for the checks a command-line program makes before it
// hands the path to a transfer. Failures set errno (on Windows mapped from the
// system's error), so that the caller can say why with strerror.
#pragma once

#include <cstdint>
#include <string>

namespace vsk::platform {

struct FileStatus {
    enum class Kind { kFile, kFolder, kOther };
    Kind kind = Kind::kOther;
    int64_t size = 0;  // for a file
};

// False with errno set when nothing can be found at `path`.
bool fileStatus(const std::string& path, FileStatus* status);

// True when the file at `path` may be opened for reading; false with errno set.
bool isReadable(const std::string& path);

// `typed` made absolute against the working folder (on Windows also against
// the drive's). False with errno set when the working folder cannot be found.
bool absolutePath(const std::string& typed, std::string* absolute);

}  // namespace vsk::platform
