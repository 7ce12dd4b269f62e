#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "platform/files.h"
#include "platform/syserror.h"
#include "platform/temp_names.h"

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

bool failedAsExisting() {
    return errno == EEXIST;
}
bool failedAsMissing() {
    return errno == ENOENT;
}
bool failedAsBusy() {
    return errno == EWOULDBLOCK;
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
    handle_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    recordErrno();
    return handle_ >= 0;
}

bool File::createNew(const std::string& path) {
    close();
    handle_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    recordErrno();
    return handle_ >= 0;
}

bool File::openLog(const std::string& path, bool append) {
    close();
    const int flags = O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC | (append ? O_APPEND : O_TRUNC);
    handle_ = ::open(path.c_str(), flags, 0666);
    recordErrno();
    return handle_ >= 0;
}

bool File::openExisting(const std::string& path, bool writable) {
    close();
    int flags = (writable ? O_RDWR : O_RDONLY) | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
    int fd = ::open(path.c_str(), flags);
    recordErrno();
    if (fd < 0) return false;
    struct stat st {};
    int r = ::fstat(fd, &st);
    recordErrno();
    if (r != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        if (r == 0) {
            errno = EINVAL;  // not a plain file
            recordErrno();
        }
        return false;
    }
    handle_ = fd;
    return true;
}

bool File::tryLock() {
    int r = ::flock(fd(), LOCK_EX | LOCK_NB);
    recordErrno();
    return r == 0;
}

bool File::isAt(const std::string& path) const {
    struct stat mine {
    }, there{};
    if (::fstat(fd(), &mine) != 0) {
        recordErrno();
        return false;
    }
    int r = ::lstat(path.c_str(), &there);
    recordErrno();
    return r == 0 && mine.st_dev == there.st_dev && mine.st_ino == there.st_ino;
}

bool File::takePermissionsOf(const File& other) {
    struct stat st {};
    int r = ::fstat(other.fd(), &st);
    recordErrno();
    if (r != 0) return false;
    // Only a privileged process may give a file to another owner; for anyone
    // else the copy stays the appending user's, as a new file would.
    if (::fchown(fd(), st.st_uid, st.st_gid) != 0) recordErrno();
    r = ::fchmod(fd(), st.st_mode & 07777);
    recordErrno();
    return r == 0;
}

bool File::rewind() {
    off_t r = ::lseek(fd(), 0, SEEK_SET);
    recordErrno();
    return r == 0;
}

long File::read(uint8_t* buf, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd(), buf + got, n - got);
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
        ssize_t r = ::write(fd(), buf + done, n - done);
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
    int r = ::fsync(fd());
    recordErrno();
    return r == 0;
}

void File::close() {
    if (handle_ >= 0) {
        ::close(fd());
        recordErrno();
        handle_ = -1;
    }
}

namespace {

// Differs from call to call and from process to process.
uint32_t randomPart() {
    static uint32_t counter = 0;
    uint32_t value = 0;
    if (::getrandom(&value, sizeof value, GRND_NONBLOCK) != sizeof value) {
        value = static_cast<uint32_t>(::getpid()) * 2654435761u;
    }
    return value ^ ++counter;
}

bool processRuns(pid_t pid) {
    return ::kill(pid, 0) == 0 || errno == EPERM;
}

}  // namespace

bool createTemp(const std::string& folder, File* file, std::string* path) {
    const auto pid = static_cast<uint32_t>(::getpid());
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = folder + tempFileName(pid, randomPart());
        if (!file->createNew(candidate)) {
            if (errno == EEXIST) continue;
            return false;
        }
        // A file system without locks still gets its temporary files; as no
        // one can take their lock there, none is ever taken for stale.
        file->tryLock();
        *path = std::move(candidate);
        return true;
    }
    return false;
}

void removeStaleTemps(const std::string& folder) {
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    recordErrno();
    if (dir == nullptr) return;
    while (dirent* e = ::readdir(dir)) {
        const uint32_t owner = tempFileOwner(e->d_name);
        if (owner == 0 || processRuns(static_cast<pid_t>(owner))) continue;
        const std::string path = folder + e->d_name;
        File stale;
        // Held by someone (a process of the same id on another machine
        // sharing the folder): alive.
        if (!stale.openExisting(path) || !stale.tryLock() || !stale.isAt(path)) continue;
        ::unlink(path.c_str());
        recordErrno();
    }
    ::closedir(dir);
}

}  // namespace vsk::platform
