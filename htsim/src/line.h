// The serial line the terminals sit on: a pseudo-terminal made for the PC side
// to open, or a real serial device; the log of the frames that cross it; and
// the loop that reads the PC's frames, hands them to the terminal addressed and
// writes the replies, at an emulated line speed if asked.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "codec.h"
#include "control.h"
#include "terminal.h"
#include "wire.h"

namespace vsk::htsim {

struct LineOptions {
    std::string device;  // serve this serial device instead of a pseudo-terminal
    std::string link;    // also reach the line through this symlink
    // Speed of the device (0: 9600), or the speed a pseudo-terminal emulates
    // (0: as fast as it goes).
    int baud = 0;
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;

    // Bit times one byte takes: start bit, data bits, parity bit, stop bits.
    int bitsPerByte() const { return 1 + dataBits + (parity == 'N' ? 0 : 1) + stopBits; }
};

// Byte timing of an emulated line of `baud` bit times a second. Times are
// computed from byte counts, never summed up byte by byte, so that a long
// transfer keeps to the line's rate exactly.
class LinePace {
  public:
    LinePace() = default;
    LinePace(int baud, int bitsPerByte) : baud_(baud), bits_(bitsPerByte) {}

    bool paced() const { return baud_ > 0; }
    // How long `bytes` bytes take on the line.
    std::chrono::nanoseconds timeOf(int64_t bytes) const {
        if (!paced()) return std::chrono::nanoseconds(0);
        __int128 ns = static_cast<__int128>(bytes) * bits_ * 1'000'000'000 / baud_;
        return std::chrono::nanoseconds(static_cast<int64_t>(ns));
    }

  private:
    int baud_ = 0;
    int bits_ = 10;
};

// One direction of an emulated line: bytes follow one another back to back
// while the line is busy, and a burst starts afresh once it has fallen idle.
class LineClock {
  public:
    explicit LineClock(const LinePace& pace) : pace_(pace) {}

    // Bytes are handed to the line at `now`.
    void enter(Clock::time_point now) {
        if (now >= idleAt()) {
            start_ = now;
            bytes_ = 0;
            extra_ = std::chrono::nanoseconds(0);
        }
    }
    // When the i-th byte from here (from 1) is through, each one held back
    // `extra` beyond the line's own time.
    Clock::time_point through(int64_t i, std::chrono::nanoseconds extra = {}) const {
        return start_ + pace_.timeOf(bytes_ + i) + extra_ + extra * i;
    }
    // `n` bytes have gone in.
    void add(int64_t n, std::chrono::nanoseconds extra = {}) {
        bytes_ += n;
        extra_ += extra * n;
    }
    Clock::time_point idleAt() const { return through(0); }

  private:
    const LinePace& pace_;
    Clock::time_point start_{};
    int64_t bytes_ = 0;
    std::chrono::nanoseconds extra_{0};
};

// An open line. A pseudo-terminal keeps its slave side open for its whole
// life, so the PC side may close and reopen it without the master seeing a
// hang-up.
class Line {
  public:
    Line() = default;
    ~Line();
    Line(const Line&) = delete;
    Line& operator=(const Line&) = delete;

    bool open(const LineOptions& opts, std::string* error);
    int fd() const { return fd_; }
    // Lets the bytes written so far reach the other side (for at most a
    // second), then closes every end this line holds, as when the cable is
    // pulled: the PC side's reads and writes fail from then on.
    void hangUp();
    // The path the PC side opens: the link if one was made, else the device.
    const std::string& path() const { return link_.empty() ? devicePath_ : link_; }
    const std::string& devicePath() const { return devicePath_; }

  private:
    bool openPseudoTerminal(std::string* error);
    bool openDevice(const LineOptions& opts, std::string* error);
    bool makeLink(const std::string& link, std::string* error);

    int fd_ = -1;
    int slaveFd_ = -1;
    std::string devicePath_;
    std::string link_;
};

// Trace (readable, on stderr) and record (one machine-readable line per frame).
class FrameLog {
  public:
    FrameLog();
    ~FrameLog();
    FrameLog(const FrameLog&) = delete;
    FrameLog& operator=(const FrameLog&) = delete;

    bool openRecord(const std::string& path, std::string* error);
    void setTrace(bool on) { trace_ = on; }

    // `size` bytes from the STX; `mark` is "ok", "badbcc" or "toolong".
    void received(const uint8_t* raw, size_t size, const char* mark);
    void sent(const Bytes& frame);
    void note(const std::string& text);

  private:
    double elapsedMs() const;
    void write(bool rx, const Frame& f, const char* mark);

    Clock::time_point start_;
    FILE* record_ = nullptr;
    bool trace_ = false;
};

class LineServer {
  public:
    // A paced line writes each byte no earlier than it would have gone out on
    // a real line, and hands a frame from the PC to its terminal no earlier
    // than its last byte would have come in.
    LineServer(int fd, std::vector<std::unique_ptr<Terminal>>& terminals, FrameLog& log,
               LinePace pace = {});

    // Serves fault commands from `control` between frames.
    void setControl(ControlChannel* control) { control_ = control; }

    enum class Ended { kStopped, kHungUp };
    // Serves the line until `stopFd` becomes readable or `stopFlag` is set, or
    // a terminal has the line go dead.
    Ended run(int stopFd, const volatile std::sig_atomic_t* stopFlag);

    // A frame the PC side left half-written is dropped after this much silence.
    static constexpr std::chrono::milliseconds kResyncGap{1000};

  private:
    void readLine(Clock::time_point now);
    void dispatch(const uint8_t* raw, size_t size, bool checkOk);
    void expireTimers();
    // `answerFrom`: when the frame being answered was through, on a paced
    // line; an answer without a delay of its own starts on the line then.
    void emit(Terminal& t, const std::vector<Emission>& out,
              std::optional<Clock::time_point> answerFrom = std::nullopt);
    void logSegment(const Segment& s);
    // Bytes on a paced line, or with a delay after each: emit writes them at
    // once otherwise.
    void transmit(const Bytes& bytes, std::chrono::nanoseconds extraPerByte,
                  std::optional<Clock::time_point> from);
    bool writeAll(const uint8_t* p, size_t n);
    void hold(std::chrono::microseconds d);
    // Sleeps until `t` exactly, or until a stop is requested.
    void sleepUntil(Clock::time_point t);
    int pollTimeout(Clock::time_point now) const;
    bool stopping() const { return stopFlag_ && *stopFlag_; }
    // Line noise while a terminal babbles: the bytes that have fallen due,
    // and when the next one is due (nothing while none babbles).
    void babble(Clock::time_point now);
    std::optional<Clock::time_point> nextBabble_;
    uint64_t babbled_ = 0;  // noise bytes so far: the pattern goes on where it stopped

    int fd_;
    std::vector<std::unique_ptr<Terminal>>& terminals_;
    FrameLog& log_;
    LinePace pace_;
    LineClock tx_{pace_};
    LineClock rx_{pace_};
    bool hungUp_ = false;
    vsk::frame::FrameReader reader_;
    Clock::time_point lastByte_{};
    int stopFd_ = -1;
    const volatile std::sig_atomic_t* stopFlag_ = nullptr;
    ControlChannel* control_ = nullptr;
};

}  // namespace vsk::htsim
