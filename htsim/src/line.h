// The serial line the terminals sit on: a pseudo-terminal made for the PC side
// to open, or a real serial device; the log of the frames that cross it; and
// the loop that reads the PC's frames, hands them to the terminal addressed and
// writes the replies, at an emulated line speed if asked.
#pragma once

#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "codec.h"
#include "terminal.h"
#include "wire.h"

namespace vsk::htsim {

struct LineOptions {
    std::string device;  // serve this serial device instead of a pseudo-terminal
    std::string link;    // also reach the line through this symlink
    int baud = 9600;     // device settings
    char parity = 'N';
    int dataBits = 8;
    int stopBits = 1;
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
    // `paceBaud` > 0 holds every byte written for 10/paceBaud seconds.
    LineServer(int fd, std::vector<std::unique_ptr<Terminal>>& terminals, FrameLog& log,
               int paceBaud);

    // Serves the line until `stopFd` becomes readable or `stopFlag` is set.
    void run(int stopFd, const volatile std::sig_atomic_t* stopFlag);

    // A frame the PC side left half-written is dropped after this much silence.
    static constexpr std::chrono::milliseconds kResyncGap{1000};

  private:
    void readLine(Clock::time_point now);
    void dispatch(const uint8_t* raw, size_t size, bool checkOk);
    void expireTimers();
    void emit(Terminal& t, const std::vector<Emission>& out);
    void writeBytes(const Bytes& bytes, std::chrono::microseconds perByte);
    bool writeAll(const uint8_t* p, size_t n);
    void hold(std::chrono::microseconds d);
    int pollTimeout(Clock::time_point now) const;
    bool stopping() const { return stopFlag_ && *stopFlag_; }

    int fd_;
    std::vector<std::unique_ptr<Terminal>>& terminals_;
    FrameLog& log_;
    std::chrono::microseconds pace_{0};
    vsk::frame::FrameReader reader_;
    Clock::time_point lastByte_{};
    int stopFd_ = -1;
    const volatile std::sig_atomic_t* stopFlag_ = nullptr;
};

}  // namespace vsk::htsim
