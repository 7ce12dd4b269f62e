// PC paths on Windows, in the ANSI code page: the Win32 functions take them
// as they are. A folder given with a trailing separator ("Z:\data\") is
// found too, which the C library's stat refuses.
#include <windows.h>

#include <cerrno>

#include "platform/file_status.h"

namespace vsk::platform {
namespace {

void setErrnoFromLastError() {
    switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            errno = ENOENT;
            break;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            errno = EACCES;
            break;
        case ERROR_FILENAME_EXCED_RANGE:
            errno = ENAMETOOLONG;
            break;
        default:
            errno = EIO;
            break;
    }
}

}  // namespace

bool fileStatus(const std::string& path, FileStatus* status) {
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) {
        setErrnoFromLastError();
        return false;
    }
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        status->kind = FileStatus::Kind::kFolder;
    else if ((info.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0)
        status->kind = FileStatus::Kind::kOther;
    else
        status->kind = FileStatus::Kind::kFile;
    status->size =
        static_cast<int64_t>((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow);
    return true;
}

bool isReadable(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        setErrnoFromLastError();
        return false;
    }
    CloseHandle(file);
    return true;
}

bool absolutePath(const std::string& typed, std::string* absolute) {
    const DWORD needed = GetFullPathNameA(typed.c_str(), 0, nullptr, nullptr);
    if (needed == 0) {
        setErrnoFromLastError();
        return false;
    }
    std::string buffer(needed, '\0');
    const DWORD length = GetFullPathNameA(typed.c_str(), needed, buffer.data(), nullptr);
    if (length == 0 || length >= needed) {
        setErrnoFromLastError();
        return false;
    }
    buffer.resize(length);
    *absolute = buffer;
    return true;
}

}  // namespace vsk::platform
