#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>

#include "platform/files.h"
#include "platform/syserror.h"

namespace vsk::platform {

bool pathExists(const std::string& path) {
    struct stat st {};
    int r = ::stat(path.c_str(), &st);
    recordErrno();
    return r == 0;
}

bool folderExists(const std::string& path) {
    struct stat st {};
    int r = ::stat(path.c_str(), &st);
    recordErrno();
    if (r != 0 || !S_ISDIR(st.st_mode)) return false;
    r = ::access(path.c_str(), X_OK);
    recordErrno();
    return r == 0;
}

bool fileSize(const std::string& path, int64_t* size) {
    struct stat st {};
    int r = ::stat(path.c_str(), &st);
    recordErrno();
    if (r != 0 || !S_ISREG(st.st_mode)) return false;
    *size = static_cast<int64_t>(st.st_size);
    return true;
}

bool freeSpace(const std::string& folder, uint64_t* bytes) {
    struct statvfs vfs {};
    int r = ::statvfs(folder.c_str(), &vfs);
    recordErrno();
    if (r != 0) return false;
    *bytes = static_cast<uint64_t>(vfs.f_bavail) * static_cast<uint64_t>(vfs.f_frsize);
    return true;
}

bool removeFile(const std::string& path) {
    int r = ::unlink(path.c_str());
    recordErrno();
    return r == 0;
}

bool renameFile(const std::string& from, const std::string& to) {
    int r = ::rename(from.c_str(), to.c_str());
    recordErrno();
    return r == 0;
}

bool renameNoReplace(const std::string& from, const std::string& to) {
    int r = ::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE);
    recordErrno();
    if (r == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link cannot replace either.
    r = ::link(from.c_str(), to.c_str());
    recordErrno();
    if (r != 0) return false;
    ::unlink(from.c_str());
    recordErrno();
    return true;
}

bool appendFile(const std::string& from, const std::string& to) {
    File in, out;
    if (!in.openRead(from) || !out.openWrite(to, true)) return false;
    uint8_t buf[1024];
    for (;;) {
        long n = in.read(buf, sizeof buf);
        if (n < 0) return false;
        if (n == 0) return out.flush();
        if (!out.write(buf, static_cast<size_t>(n))) return false;
    }
}

bool setReadOnly(const std::string& path, bool readOnly) {
    struct stat st {};
    int r = ::stat(path.c_str(), &st);
    recordErrno();
    if (r != 0) return false;
    mode_t mode = st.st_mode & 07777;
    mode = readOnly ? (mode & ~static_cast<mode_t>(0222)) : (mode | S_IWUSR);
    r = ::chmod(path.c_str(), mode);
    recordErrno();
    return r == 0;
}

bool File::openRead(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    recordErrno();
    return fd_ >= 0;
}

bool File::openWrite(const std::string& path, bool append) {
    close();
    int flags = O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    fd_ = ::open(path.c_str(), flags, 0666);
    recordErrno();
    return fd_ >= 0;
}

long File::read(uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd_, buf + got, n - got);
        recordErrno();
        if (r < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<long>(got);
}

bool File::write(const uint8_t* buf, size_t n) {
    size_t done = 0;
    while (done < n) {
        ssize_t r = ::write(fd_, buf + done, n - done);
        recordErrno();
        if (r < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += static_cast<size_t>(r);
    }
    return true;
}

bool File::flush() {
    int r = ::fsync(fd_);
    recordErrno();
    return r == 0;
}

void File::close() {
    if (fd_ >= 0) {
        ::close(fd_);
        recordErrno();
        fd_ = -1;
    }
}

}  // namespace vsk::platform
