#include "line.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <iostream>

namespace vsk::htsim {

namespace fr = vsk::frame;

namespace {

std::string sysError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

bool speedConstant(int baud, speed_t* out) {
    struct Speed {
        int baud;
        speed_t constant;
    };
    static const Speed kSpeeds[] = {{1200, B1200},   {2400, B2400},    {4800, B4800},
                                    {9600, B9600},   {19200, B19200},  {38400, B38400},
                                    {57600, B57600}, {115200, B115200}};
    for (const Speed& s : kSpeeds) {
        if (s.baud == baud) {
            *out = s.constant;
            return true;
        }
    }
    return false;
}

bool setRaw(int fd) {
    termios t{};
    if (::tcgetattr(fd, &t) != 0) return false;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    return ::tcsetattr(fd, TCSANOW, &t) == 0;
}

}  // namespace

Line::~Line() {
    if (!link_.empty()) {
        // Only the link this line made goes; a path someone replaced since stays.
        char target[PATH_MAX];
        ssize_t n = ::readlink(link_.c_str(), target, sizeof target - 1);
        if (n >= 0 && std::string(target, static_cast<size_t>(n)) == devicePath_)
            ::unlink(link_.c_str());
    }
    if (slaveFd_ >= 0) ::close(slaveFd_);
    if (fd_ >= 0) ::close(fd_);
}

bool Line::open(const LineOptions& opts, std::string* error) {
    bool ok = opts.device.empty() ? openPseudoTerminal(error) : openDevice(opts, error);
    if (!ok) return false;
    return opts.link.empty() || makeLink(opts.link, error);
}

bool Line::openPseudoTerminal(std::string* error) {
    fd_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return *error = sysError("posix_openpt"), false;
    if (::grantpt(fd_) != 0 || ::unlockpt(fd_) != 0) return *error = sysError("grantpt"), false;
    char name[PATH_MAX];
    if (::ptsname_r(fd_, name, sizeof name) != 0) return *error = sysError("ptsname"), false;
    devicePath_ = name;
    slaveFd_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slaveFd_ < 0) return *error = sysError("open " + devicePath_), false;
    if (!setRaw(slaveFd_)) return *error = sysError("raw mode on " + devicePath_), false;
    if (::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_NONBLOCK) != 0)
        return *error = sysError("fcntl"), false;
    return true;
}

bool Line::openDevice(const LineOptions& opts, std::string* error) {
    speed_t speed;
    if (!speedConstant(opts.baud == 0 ? 9600 : opts.baud, &speed))
        return *error = "unsupported baud rate", false;
    devicePath_ = opts.device;
    fd_ = ::open(opts.device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) return *error = sysError("open " + opts.device), false;
    termios t{};
    if (::tcgetattr(fd_, &t) != 0) return *error = sysError("tcgetattr " + opts.device), false;
    ::cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= opts.dataBits == 7 ? CS7 : CS8;
    if (opts.parity != 'N') {
        t.c_cflag |= PARENB;
        if (opts.parity == 'O') t.c_cflag |= PARODD;
        t.c_iflag |= INPCK;
    }
    if (opts.stopBits == 2) t.c_cflag |= CSTOPB;
    ::cfsetispeed(&t, speed);
    ::cfsetospeed(&t, speed);
    if (::tcsetattr(fd_, TCSANOW, &t) != 0)
        return *error = sysError("tcsetattr " + opts.device), false;
    ::tcflush(fd_, TCIOFLUSH);
    return true;
}

void Line::hangUp() {
    auto until = Clock::now() + std::chrono::seconds(1);
    if (slaveFd_ >= 0) {
        // What the PC side has not read yet waits in the slave's input queue,
        // once the kernel has moved it there from the master's side.
        ::usleep(20000);
        int waiting = 0;
        while (::ioctl(slaveFd_, FIONREAD, &waiting) == 0 && waiting > 0 && Clock::now() < until)
            ::usleep(1000);
        ::close(slaveFd_);
        slaveFd_ = -1;
    } else if (fd_ >= 0) {
        ::tcdrain(fd_);
    }
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

bool Line::makeLink(const std::string& link, std::string* error) {
    struct stat st {};
    if (::lstat(link.c_str(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) return *error = link + " exists and is not a symlink", false;
        if (::unlink(link.c_str()) != 0) return *error = sysError("unlink " + link), false;
    }
    if (::symlink(devicePath_.c_str(), link.c_str()) != 0)
        return *error = sysError("symlink " + link), false;
    link_ = link;
    return true;
}

FrameLog::FrameLog() : start_(Clock::now()) {}

FrameLog::~FrameLog() {
    if (record_) std::fclose(record_);
}

bool FrameLog::openRecord(const std::string& path, std::string* error) {
    record_ = std::fopen(path.c_str(), "a");
    if (!record_) return *error = sysError("open " + path), false;
    return true;
}

double FrameLog::elapsedMs() const {
    return std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
}

void FrameLog::write(bool rx, const Frame& f, const char* mark) {
    double ms = elapsedMs();
    if (record_) {
        std::string line = recordLine(rx, f, mark, ms) + '\n';
        std::fputs(line.c_str(), record_);
        std::fflush(record_);
    }
    if (trace_) std::cerr << traceLine(rx, f, mark, ms) << std::endl;
}

void FrameLog::received(const uint8_t* raw, size_t size, const char* mark) {
    if (!record_ && !trace_) return;
    write(true, splitFrame(raw, size, std::strcmp(mark, "ok") == 0), mark);
}

void FrameLog::sent(const Bytes& frame) {
    if (!record_ && !trace_) return;
    bool ok = checkMatches(frame.data(), frame.size());
    write(false, splitFrame(frame.data(), frame.size(), ok), ok ? "ok" : "badbcc");
}

void FrameLog::note(const std::string& text) {
    if (!trace_) return;
    char head[32];
    std::snprintf(head, sizeof head, "[%10.3f] ", elapsedMs() / 1000.0);
    std::cerr << head << text << std::endl;
}

LineServer::LineServer(int fd, std::vector<std::unique_ptr<Terminal>>& terminals, FrameLog& log,
                       LinePace pace)
    : fd_(fd), terminals_(terminals), log_(log), pace_(pace) {
    // Byte times at high speeds are tens of microseconds; the default timer
    // slack would make every wake-up that late.
    if (pace_.paced()) ::prctl(PR_SET_TIMERSLACK, 1000UL, 0UL, 0UL, 0UL);
}

LineServer::Ended LineServer::run(int stopFd, const volatile std::sig_atomic_t* stopFlag) {
    stopFd_ = stopFd;
    stopFlag_ = stopFlag;
    while (!stopping() && !hungUp_) {
        // Descriptors below 0 are passed over by poll.
        pollfd fds[4] = {{fd_, POLLIN, 0}, {stopFd_, POLLIN, 0}, {-1, 0, 0}, {-1, 0, 0}};
        if (control_) control_->pollFds(&fds[2], &fds[3]);
        int n = ::poll(fds, 4, pollTimeout(Clock::now()));
        if (n < 0 && errno != EINTR) {
            log_.note(sysError("poll"));
            return Ended::kStopped;
        }
        if (stopping() || (n > 0 && (fds[1].revents & POLLIN))) return Ended::kStopped;
        if (n > 0 && control_) control_->serve(fds[2].revents, fds[3].revents, terminals_);
        if (n > 0 && (fds[0].revents & POLLIN)) {
            readLine(Clock::now());
        } else if (n > 0 && (fds[0].revents & (POLLHUP | POLLERR))) {
            // A device that went away: wait for it (or the stop request) without spinning.
            ::poll(&fds[1], stopFd_ >= 0 ? 1 : 0, 100);
        }
        if (!hungUp_) expireTimers();
        if (!hungUp_) babble(Clock::now());
        if (reader_.inFrame() && Clock::now() - lastByte_ >= kResyncGap) {
            reader_.reset();
            log_.note("incomplete frame dropped");
        }
    }
    return hungUp_ ? Ended::kHungUp : Ended::kStopped;
}

int LineServer::pollTimeout(Clock::time_point now) const {
    std::optional<Clock::time_point> next;
    for (const auto& t : terminals_)
        if (auto d = t->deadline(); d && (!next || *d < *next)) next = d;
    if (nextBabble_ && (!next || *nextBabble_ < *next)) next = nextBabble_;
    if (reader_.inFrame()) {
        auto gap = lastByte_ + kResyncGap;
        if (!next || gap < *next) next = gap;
    }
    if (!next) return -1;
    auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
    return static_cast<int>(std::clamp<long long>(ms, 0, INT_MAX));
}

void LineServer::readLine(Clock::time_point now) {
    uint8_t buf[4096];
    ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) return;
    lastByte_ = now;
    for (ssize_t i = 0; i < n && !stopping() && !hungUp_; ++i) {
        if (pace_.paced()) {
            rx_.enter(now);
            rx_.add(1);
        }
        auto status = reader_.push(buf[i]);
        // On a real line the frame would be complete only once its last byte is in.
        if (status != fr::FrameReader::Status::kNeedMore && pace_.paced()) sleepUntil(rx_.idleAt());
        const uint8_t* raw = reader_.frame();
        size_t size =
            std::min(fr::kHeaderSize + fr::lengthLeading(raw) + 2, fr::kReceiveBufferSize);
        switch (status) {
            case fr::FrameReader::Status::kNeedMore:
                break;
            case fr::FrameReader::Status::kComplete:
                dispatch(raw, size, true);
                break;
            case fr::FrameReader::Status::kBadCheck:
                dispatch(raw, size, false);
                break;
            case fr::FrameReader::Status::kTooLong:
                log_.received(raw, fr::kHeaderSize, "toolong");
                break;
        }
    }
}

void LineServer::dispatch(const uint8_t* raw, size_t size, bool checkOk) {
    log_.received(raw, size, checkOk ? "ok" : "badbcc");
    Frame f = splitFrame(raw, size, checkOk);
    for (auto& t : terminals_) {
        if (!t->addressedBy(f)) continue;
        // The terminal answers at once: its reply goes on the line as the
        // frame's last byte is through, not after this process has stored
        // the frame and woken up again. The line's time is kept all the same.
        std::optional<Clock::time_point> answerFrom;
        if (pace_.paced()) answerFrom = rx_.idleAt();
        emit(*t, t->receive(f, Clock::now()), answerFrom);
    }
}

void LineServer::babble(Clock::time_point now) {
    int rate = 0;
    for (auto& t : terminals_)
        if (const Fault* b = t->faults().find(FaultKind::kBabble, 0)) rate = std::max(rate, b->arg);
    if (rate == 0) {
        nextBabble_.reset();
        return;
    }
    const auto period = std::chrono::nanoseconds(1'000'000'000 / rate);
    if (!nextBabble_) nextBabble_ = now;
    int due = 0;
    while (*nextBabble_ <= now && due < 4096) {
        ++due;
        *nextBabble_ += period;
    }
    // Far behind (the loop was busy sending frames): start afresh rather than
    // catch up with a burst.
    if (*nextBabble_ <= now) nextBabble_ = now + period;
    if (due == 0) return;
    // One attempt: bytes nobody reads are lost, as on a real line; the loop
    // must never wait for a reader because of noise.
    Bytes noise = noiseBytes(due, babbled_);
    babbled_ += static_cast<uint64_t>(due);
    ssize_t w = ::write(fd_, noise.data(), noise.size());
    (void)w;
}

void LineServer::expireTimers() {
    for (auto& t : terminals_) emit(*t, t->expire(Clock::now()));
}

void LineServer::emit(Terminal& t, const std::vector<Emission>& out,
                      std::optional<Clock::time_point> answerFrom) {
    for (std::string& note : t.takeNotes()) log_.note("HT " + t.ht() + ": " + note);
    if (out.empty()) return;
    for (const Emission& e : out) {
        if (e.delay.count() > 0) {
            hold(e.delay);
            answerFrom.reset();
        }
        if (!pace_.paced() && e.perByte.count() == 0) {
            // Unpaced, what a terminal hands over at once is one write, so
            // that it reaches the reader together as it would from a UART's
            // buffer.
            Bytes all;
            for (const Segment& s : e.segments) {
                logSegment(s);
                all.insert(all.end(), s.bytes.begin(), s.bytes.end());
            }
            if (stopping()) return;
            writeAll(all.data(), all.size());
        } else {
            for (const Segment& s : e.segments) {
                if (stopping()) return;
                logSegment(s);
                transmit(s.bytes, e.perByte, answerFrom);
                answerFrom.reset();
            }
        }
        if (e.hangUp) {
            log_.note("HT " + t.ht() + ": the line goes dead");
            hungUp_ = true;
            return;
        }
    }
    t.sentAt(Clock::now());
}

void LineServer::logSegment(const Segment& s) {
    if (s.isFrame)
        log_.sent(s.bytes);
    else
        log_.note("TX " + s.what + ", " + std::to_string(s.bytes.size()) + " bytes");
}

void LineServer::transmit(const Bytes& bytes, std::chrono::nanoseconds extraPerByte,
                          std::optional<Clock::time_point> from) {
    // Each byte goes out once the line has had time to carry it, reckoned from
    // the start of the burst so that waking late never slows the line down:
    // whatever has fallen due meanwhile goes out in one write.
    int64_t n = static_cast<int64_t>(bytes.size());
    const Clock::time_point start = Clock::now();
    tx_.enter(from ? std::min(*from, start) : start);
    int64_t sent = 0;
    while (sent < n && !stopping()) {
        auto now = Clock::now();
        int64_t due = sent;
        while (due < n && tx_.through(due + 1, extraPerByte) <= now) ++due;
        if (due == sent) {
            sleepUntil(tx_.through(sent + 1, extraPerByte));
            continue;
        }
        if (!writeAll(bytes.data() + sent, static_cast<size_t>(due - sent))) break;
        sent = due;
    }
    tx_.add(n, extraPerByte);
}

void LineServer::sleepUntil(Clock::time_point t) {
    // Sleeping in short slices keeps the wake-up at the end prompt: after a
    // long sleep the processor may take a while to come back.
    constexpr auto kSlice = std::chrono::milliseconds(1);
    while (!stopping()) {
        auto now = Clock::now();
        if (now >= t) return;
        auto next = std::min(t, now + kSlice);
        auto ns =
            std::chrono::duration_cast<std::chrono::nanoseconds>(next.time_since_epoch()).count();
        timespec until{static_cast<time_t>(ns / 1'000'000'000),
                       static_cast<long>(ns % 1'000'000'000)};
        // The steady clock is the monotonic clock.
        ::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
    }
}

bool LineServer::writeAll(const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd_, p, n);
        if (w > 0) {
            p += w;
            n -= static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) {
            if (stopping()) return false;
            continue;
        }
        if (w < 0 && errno == EAGAIN) {
            // Nobody is reading the other side and its buffer is full: give
            // the reader a second, then let the bytes go as a real line would.
            pollfd pfd{fd_, POLLOUT, 0};
            if (::poll(&pfd, 1, 1000) > 0) continue;
        }
        log_.note("line not accepting bytes; " + std::to_string(n) + " dropped");
        return false;
    }
    return true;
}

void LineServer::hold(std::chrono::microseconds d) {
    auto until = Clock::now() + d;
    while (!stopping()) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now()).count();
        if (left <= 0) return;
        pollfd pfd{stopFd_, POLLIN, 0};
        if (::poll(&pfd, stopFd_ >= 0 ? 1 : 0, static_cast<int>(left)) > 0) return;
    }
}

}  // namespace vsk::htsim
