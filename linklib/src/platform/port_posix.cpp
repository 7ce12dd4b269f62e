#include <fcntl.h>
#include <linux/serial.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/clock.h"
#include "platform/syserror.h"
#include "port.h"

namespace vsk::platform {

struct Port::Settings {
    bool haveSaved = false;
    termios saved{};    // found at open, restored at close
    termios current{};  // read by readSettings, changed by applyLine
};

namespace {

// The termios speed for a rate; false for a rate the system lacks.
bool speedFor(int32_t baud, speed_t* out) {
    switch (baud) {
        case 1200:
            *out = B1200;
            return true;
        case 2400:
            *out = B2400;
            return true;
        case 4800:
            *out = B4800;
            return true;
        case 9600:
            *out = B9600;
            return true;
        case 19200:
            *out = B19200;
            return true;
        case 38400:
            *out = B38400;
            return true;
        case 57600:
            *out = B57600;
            return true;
        case 115200:
            *out = B115200;
            return true;
        default:
            return false;
    }
}

int fdOf(intptr_t handle) {
    return static_cast<int>(handle);
}

// Asks the driver not to hold received bytes back (USB adapters otherwise
// batch them for up to 16 ms). Not every driver offers it; a refusal is fine,
// and its errno (ENOTTY on a pseudo-terminal) must not outlive it: the next
// successful call would record it as the last system error.
void requestLowLatency(int fd) {
    const int saved = errno;
    serial_struct ss{};
    if (ioctl(fd, TIOCGSERIAL, &ss) == 0) {
        ss.flags |= static_cast<int>(ASYNC_LOW_LATENCY);
        ioctl(fd, TIOCSSERIAL, &ss);
    }
    errno = saved;
}

bool failWith(int err) {
    errno = err;
    recordErrno();
    return false;
}

// Gives the device back to everyone. The exclusive flag belongs to the
// device, not to this descriptor: left set, it would refuse every later
// opener but root, long after this process has gone. Nothing here is
// recorded, so that a failure being cleaned up keeps its own cause.
void releaseDevice(int fd) {
    const int saved = errno;
    ioctl(fd, TIOCNXCL);
    flock(fd, LOCK_UN);
    errno = saved;
}

}  // namespace

bool baudSupported(int32_t baud) {
    speed_t speed;
    return speedFor(baud, &speed);
}

Port::Port() = default;

Port::~Port() {
    if (handle_ == kNoHandle) return;
    releaseDevice(fdOf(handle_));
    ::close(fdOf(handle_));
}

bool Port::open(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    recordErrno();
    if (fd < 0) return false;
    if (!isatty(fd)) {
        int err = errno;
        ::close(fd);
        return failWith(err == 0 || err == EINVAL ? ENOTTY : err);
    }
    // Exclusive use: TIOCEXCL keeps other openers out, the lock also covers
    // a second open within this process and by privileged processes. Every
    // way out from here on clears the flag again (close and the destructor).
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        int err = errno;
        ::close(fd);
        return failWith(err == EWOULDBLOCK ? EBUSY : err);
    }
    ioctl(fd, TIOCEXCL);
    settings_ = std::make_unique<Settings>();
    settings_->haveSaved = tcgetattr(fd, &settings_->saved) == 0;
    recordErrno();
    requestLowLatency(fd);
    handle_ = fd;
    inHead_ = inTail_ = 0;
    return true;
}

bool Port::readSettings() {
    int r = tcgetattr(fdOf(handle_), &settings_->current);
    recordErrno();
    return r == 0;
}

bool Port::applyLine(const LineParams& p) {
    speed_t speed;
    if (!speedFor(p.baud, &speed)) return failWith(EINVAL);
    termios t = settings_->current;
    cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL);
    t.c_cflag |= CLOCAL | CREAD | (p.dataBits == 7 ? CS7 : CS8);
    if (p.stopBits == 2) t.c_cflag |= CSTOPB;
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | PARMRK | IGNPAR | ISTRIP);
    if (p.parity != 0) {
        t.c_cflag |= PARENB;
        if (p.parity == 2) t.c_cflag |= PARODD;
        t.c_iflag |= INPCK;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    int r = tcsetattr(fdOf(handle_), TCSANOW, &t);
    recordErrno();
    if (r != 0) return false;
    settings_->current = t;
    return true;
}

bool Port::setWriteTimeout(uint32_t msPerByte) {
    writeMsPerByte_ = msPerByte;
    return true;
}

bool Port::setDtr(bool raised) {
    int bits = TIOCM_DTR;
    int r = ioctl(fdOf(handle_), raised ? TIOCMBIS : TIOCMBIC, &bits);
    recordErrno();
    return r == 0;
}

bool Port::setRts(bool raised) {
    int bits = TIOCM_RTS;
    int r = ioctl(fdOf(handle_), raised ? TIOCMBIS : TIOCMBIC, &bits);
    recordErrno();
    return r == 0;
}

intptr_t Port::waitHandle() const {
    return handle_;
}

// A descriptor's readiness needs no read under way.
int Port::armWait() {
    return inHead_ != inTail_ ? 1 : 0;
}

// Waits up to `timeoutMs` for input and reads what is waiting into the
// buffer: 1 bytes arrived, 0 none, -1 failure or hang-up.
int Port::fillBuffer(int timeoutMs) {
    pollfd pfd{fdOf(handle_), POLLIN, 0};
    int r = poll(&pfd, 1, timeoutMs);
    if (r < 0) {
        if (errno == EINTR) return 0;  // a signal (for example an abort request)
        recordErrno();
        return -1;
    }
    if (r == 0) return 0;
    if ((pfd.revents & POLLIN) == 0) {
        // POLLHUP/POLLERR without data: the device went away.
        errno = (pfd.revents & POLLNVAL) ? EBADF : EIO;
        recordErrno();
        return -1;
    }
    ssize_t n = ::read(fdOf(handle_), inBuf_, sizeof inBuf_);
    recordErrno();
    if (n > 0) {
        inHead_ = 0;
        inTail_ = static_cast<size_t>(n);
        return 1;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 0;
    if (n == 0) {
        errno = EIO;  // end of file on a tty: the other side hung up
        recordErrno();
    }
    return -1;
}

void Port::discardWaiting() {
    inHead_ = inTail_ = 0;
    while (fillBuffer(0) > 0) inHead_ = inTail_ = 0;
}

bool Port::write(const uint8_t* data, size_t n, size_t* written) {
    *written = 0;
    uint32_t start = tickMs();
    uint64_t budget = static_cast<uint64_t>(writeMsPerByte_) * n + 1;
    while (*written < n) {
        ssize_t w = ::write(fdOf(handle_), data + *written, n - *written);
        recordErrno();
        if (w > 0) {
            *written += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR) return false;
        uint32_t spent = elapsedMs(start);
        if (spent >= budget) return true;  // short write: the caller reports a time-out
        pollfd pfd{fdOf(handle_), POLLOUT, 0};
        uint64_t left = budget - spent;
        int r = poll(&pfd, 1, static_cast<int>(left > 100 ? 100 : left));
        if (r < 0 && errno != EINTR) {
            recordErrno();
            return false;
        }
        if (r > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            errno = EIO;
            recordErrno();
            return false;
        }
    }
    return true;
}

bool Port::close() {
    if (handle_ == kNoHandle) return false;
    const int fd = fdOf(handle_);
    // The drain and the restore are best effort and not recorded: a close on
    // the way out of a failed open must leave that failure's cause in place.
    const int saved = errno;
    // Let the last frame reach the terminal, but never wait on a stalled line
    // for ever: output is drained while it keeps moving, for at most 2 s.
    uint32_t start = tickMs();
    int pending = 0;
    while (ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0 && elapsedMs(start) < 2000) {
        sleepMs(1);
    }
    if (settings_->haveSaved) tcsetattr(fd, TCSANOW, &settings_->saved);
    releaseDevice(fd);
    errno = saved;
    int r = ::close(fd);
    recordErrno();
    handle_ = kNoHandle;
    settings_.reset();
    inHead_ = inTail_ = 0;
    return r == 0;
}

}  // namespace vsk::platform
