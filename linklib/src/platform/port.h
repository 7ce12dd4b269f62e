// The serial port as the exchange engine sees it: open by port number, line
// settings, modem lines, byte reads that wait about a millisecond, bounded
// writes. Every system call records the last system error where it happens;
// the engine maps a false/negative return to its result code.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

namespace vsk::platform {

struct LineParams {
    int32_t baud;  // bits per second
    int parity;    // 0 none, 1 even, 2 odd
    int dataBits;  // 7 or 8
    int stopBits;  // 1 or 2
};

// Whether the system can run a port at `baud`.
bool baudSupported(int32_t baud);

class Port {
  public:
    Port();
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    ~Port();

    // Opens the device exclusively (TIOCEXCL and a non-blocking flock) and
    // saves its settings for restoring at close. Refuses a path that is not
    // a tty. False on failure, with the cause recorded. Closing, and
    // destroying an open port, give the device back (TIOCNXCL, unlock).
    bool open(const std::string& path);
    bool isOpen() const { return handle_ != kNoHandle; }

    // Reads the current settings (the base that applyLine changes).
    bool readSettings();
    // Raw mode with the given line parameters, no flow control, on top of the
    // settings read last.
    bool applyLine(const LineParams& p);
    // Per-byte write budget in milliseconds.
    bool setWriteTimeout(uint32_t msPerByte);

    bool setDtr(bool raised);
    bool setRts(bool raised);

    // One byte, waiting at most `waitMs` for it: 1 read, 0 none came,
    // -1 the read failed or the line went away.
    int readByte(uint8_t* out, uint32_t waitMs = 1) {
        if (inHead_ == inTail_) {
            int r = fillBuffer(static_cast<int>(waitMs));
            if (r <= 0) return r;
        }
        *out = inBuf_[inHead_++];
        return 1;
    }
    // The next byte already read from the device, without a system call.
    bool takeBuffered(uint8_t* out) {
        if (inHead_ == inTail_) return false;
        *out = inBuf_[inHead_++];
        return true;
    }
    // Up to `max` bytes already read from the device, without a system call:
    // the count taken.
    size_t takeBuffered(uint8_t* out, size_t max) {
        size_t n = inTail_ - inHead_;
        if (n > max) n = max;
        std::memcpy(out, inBuf_ + inHead_, n);
        inHead_ += n;
        return n;
    }
    // Puts bytes taken from the buffer back in front of what it still holds,
    // to be read again: the start of a frame that is still arriving stays
    // whole for the reader that waits for the rest. Only the last bytes
    // that fit are kept when room runs out, so that what is read stays in
    // the line's order; putting back what was just taken always fits.
    void putBack(const uint8_t* data, size_t n) {
        const size_t held = inTail_ - inHead_;
        if (n > sizeof inBuf_ - held) {
            data += n - (sizeof inBuf_ - held);
            n = sizeof inBuf_ - held;
        }
        std::memmove(inBuf_ + n, inBuf_ + inHead_, held);
        std::memcpy(inBuf_, data, n);
        inHead_ = 0;
        inTail_ = n + held;
    }
    // One byte that is already waiting, without any wait: 1, 0 or -1.
    int readWaitingByte(uint8_t* out) { return readByte(out, 0); }
    // The descriptor or handle a host may wait on for input (-1 when
    // closed); reading stays with readByte and readWaitingByte. On Windows
    // it is the event of the read that armWait starts.
    intptr_t waitHandle() const;
    // Makes waitHandle() signal the next input: 1 when input is already
    // buffered (take it with readWaitingByte), 0 when a wait may begin, -1
    // when the device failed. On Windows a read must be under way for its
    // event to signal; elsewhere the descriptor signals by itself.
    int armWait();
    // Drops every byte already waiting.
    void discardWaiting();

    // Writes all `n` bytes, waiting at most the per-byte budget for each; the
    // number written is stored in *written. False when a write failed.
    bool write(const uint8_t* data, size_t n, size_t* written);

    // Drains pending output (bounded), restores the saved settings, gives
    // the device back and closes. Only the close itself is recorded.
    bool close();

    // The system's settings of the device: those found at open, restored at
    // close, and those in force now. Each platform defines its own.
    struct Settings;

  private:
    static constexpr intptr_t kNoHandle = -1;

    int fillBuffer(int timeoutMs);

    intptr_t handle_ = kNoHandle;  // a descriptor or a handle, by platform
    std::unique_ptr<Settings> settings_;
    uint32_t writeMsPerByte_ = 1000;
    uint8_t inBuf_[4096];
    size_t inHead_ = 0;
    size_t inTail_ = 0;
};

}  // namespace vsk::platform
