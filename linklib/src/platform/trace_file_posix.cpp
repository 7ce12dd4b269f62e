#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/trace_file.h"

namespace vsk::platform {

namespace {

// Keeps errno as the caller left it: the engine may still look at it.
class ErrnoKept {
  public:
    ErrnoKept() : saved_(errno) {}
    ~ErrnoKept() { errno = saved_; }

  private:
    int saved_;
};

}  // namespace

bool TraceFile::open(const char* path, int* err) {
    ErrnoKept kept;
    close();
    handle_ = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY, 0666);
    if (handle_ < 0) {
        *err = errno;
        return false;
    }
    return true;
}

bool TraceFile::write(const char* text, size_t n, int* err) {
    ErrnoKept kept;
    size_t done = 0;
    while (done < n) {
        ssize_t w = ::write(fd(), text + done, n - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) {
            *err = w < 0 ? errno : EIO;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

bool TraceFile::isAt(const char* path) const {
    if (handle_ < 0) return false;
    ErrnoKept kept;
    struct stat named {
    }, open{};
    if (::stat(path, &named) != 0 || ::fstat(fd(), &open) != 0) return false;
    return named.st_dev == open.st_dev && named.st_ino == open.st_ino;
}

void TraceFile::close() {
    if (handle_ < 0) return;
    ErrnoKept kept;
    ::close(fd());
    handle_ = -1;
}

WallTime wallNow() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    return WallTime{static_cast<int64_t>(ts.tv_sec), static_cast<uint32_t>(ts.tv_nsec / 1000000)};
}

void localDateTime(int64_t seconds, char out[20]) {
    ErrnoKept kept;
    time_t t = static_cast<time_t>(seconds);
    tm local{};
    localtime_r(&t, &local);
    strftime(out, 20, "%Y-%m-%d %H:%M:%S", &local);
}

int32_t processId() {
    return static_cast<int32_t>(getpid());
}

const char* programName() {
    return program_invocation_short_name;
}

void writeStderr(const char* text) {
    ErrnoKept kept;
    size_t n = std::strlen(text);
    while (n > 0) {
        ssize_t w = ::write(STDERR_FILENO, text, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return;
        text += w;
        n -= static_cast<size_t>(w);
    }
}

}  // namespace vsk::platform
