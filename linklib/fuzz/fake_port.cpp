// The port for the fuzz build: the same class the engine uses on a real line
// (platform/port.h), serving the bytes of a script (see fake_line.h) instead
// of a device. Everything the engine does with the bytes is the real code.
#include <cerrno>
#include <cstring>

#include "codec.h"
#include "fake_line.h"
#include "platform/port.h"
#include "platform/syserror.h"
#include "session.h"

namespace vsk::fuzz {
namespace {

struct Line {
    const uint8_t* script = nullptr;
    size_t size = 0;
    size_t pos = 0;
    std::vector<uint8_t> released;  // sent by the terminal, not read yet
    size_t head = 0;
    std::vector<std::vector<uint8_t>> writes;
    char ht[frame::kHtWidth] = {'0', '0', '1'};  // of the PC's last frame
};

Line& line() {
    static Line l;
    return l;
}

constexpr uint8_t kJoined = 0x80;
constexpr uint8_t kBadCheck = 0x40;
constexpr size_t kLengthModulus = 1100;  // a little past the longest frame taken

bool atRecord() {
    return line().pos < line().size;
}
uint8_t peek() {
    return line().script[line().pos];
}
uint8_t next() {
    return atRecord() ? line().script[line().pos++] : 0;
}
size_t left() {
    return line().size - line().pos;
}

void send(const uint8_t* p, size_t n) {
    line().released.insert(line().released.end(), p, p + n);
}

void sendFrame(uint8_t type, const char* ht, uint8_t block, size_t n, bool badCheck) {
    Line& l = line();
    std::vector<uint8_t> f;
    f.reserve(n + frame::kOverhead);
    f.push_back(frame::STX);
    f.push_back(type);
    f.insert(f.end(), ht, ht + frame::kHtWidth);
    f.push_back(block);
    char digits[4];
    field::digits(digits, sizeof digits, static_cast<int64_t>(n));
    f.insert(f.end(), digits, digits + sizeof digits);
    f.insert(f.end(), l.script + l.pos, l.script + l.pos + n);
    l.pos += n;
    f.push_back(frame::ETX);
    uint8_t bcc = frame::blockCheck(f.data() + 1, f.data() + f.size());
    f.push_back(badCheck ? static_cast<uint8_t>(bcc ^ 0xFF) : bcc);
    send(f.data(), f.size());
}

size_t frameLength() {
    size_t n = static_cast<size_t>(next()) << 8;
    n |= next();
    n %= kLengthModulus;
    return n < left() ? n : left();
}

void releaseRecord() {
    const uint8_t h = next();
    switch (h & 3) {
        case 0: {
            size_t n = next();
            if (n > left()) n = left();
            send(line().script + line().pos, n);
            line().pos += n;
            break;
        }
        case 1: {
            uint8_t type = next(), block = next();
            sendFrame(type, line().ht, block, frameLength(), h & kBadCheck);
            break;
        }
        case 2: {
            uint8_t type = next();
            char ht[frame::kHtWidth];
            for (char& c : ht) c = static_cast<char>(next());
            uint8_t block = next();
            sendFrame(type, ht, block, frameLength(), h & kBadCheck);
            break;
        }
        default:
            next();  // a write event met here has no write to act on
            break;
    }
}

// The record due for this write and those joined to it.
void releaseAnswer() {
    if (!atRecord()) return;
    releaseRecord();
    while (atRecord() && (peek() & kJoined)) releaseRecord();
}

size_t waiting() {
    return line().released.size() - line().head;
}

}  // namespace

void startLine(const uint8_t* script, size_t size) {
    Line& l = line();
    l.script = script;
    l.size = size;
    l.pos = 0;
    l.released.clear();
    l.head = 0;
    l.writes.clear();
    std::memcpy(l.ht, "001", sizeof l.ht);
    // What arrived before the PC said anything (noise, a stray frame).
    while (atRecord() && (peek() & kJoined)) releaseRecord();
}

const std::vector<std::vector<uint8_t>>& pcWrites() {
    return line().writes;
}

size_t scriptLeft() {
    return left();
}

}  // namespace vsk::fuzz

namespace vsk::platform {

using fuzz::line;

bool baudSupported(int32_t baud) {
    return baud > 0;
}

// The settings a real port saves and changes; nothing acts on them here.
struct Port::Settings {
    LineParams saved{};
    LineParams current{};
};

Port::Port() = default;
Port::~Port() = default;

bool Port::open(const std::string&) {
    handle_ = 1;  // anything but kNoHandle: open
    settings_ = std::make_unique<Settings>();
    inHead_ = inTail_ = 0;
    return true;
}

bool Port::readSettings() {
    settings_->saved = settings_->current;
    return true;
}
bool Port::applyLine(const LineParams& p) {
    settings_->current = p;
    return true;
}
bool Port::setWriteTimeout(uint32_t msPerByte) {
    writeMsPerByte_ = msPerByte;
    return true;
}
bool Port::setDtr(bool) {
    return true;
}
bool Port::setRts(bool) {
    return true;
}

// Hands over everything the terminal has sent; with nothing there, the wait
// passes on the virtual clock.
int Port::fillBuffer(int timeoutMs) {
    size_t n = fuzz::waiting();
    if (n == 0) {
        fuzz::advanceUs(static_cast<uint64_t>(timeoutMs) * 1000u);
        return 0;
    }
    if (n > sizeof inBuf_) n = sizeof inBuf_;
    std::memcpy(inBuf_, line().released.data() + line().head, n);
    line().head += n;
    inHead_ = 0;
    inTail_ = n;
    return 1;
}

intptr_t Port::waitHandle() const {
    return handle_;
}

// The script's bytes are there or not; no read needs starting.
int Port::armWait() {
    return inHead_ != inTail_ ? 1 : 0;
}

void Port::discardWaiting() {
    inHead_ = inTail_ = 0;
    line().released.clear();
    line().head = 0;
}

bool Port::write(const uint8_t* data, size_t n, size_t* written) {
    fuzz::Line& l = line();
    l.writes.emplace_back(data, data + n);
    if (n >= frame::kOffHt + frame::kHtWidth) std::memcpy(l.ht, data + frame::kOffHt, sizeof l.ht);
    *written = 0;
    if (fuzz::atRecord() && (fuzz::peek() & 3) == 3) {
        fuzz::next();
        switch (fuzz::next() % 3) {
            case 0:
                errno = EIO;
                recordErrno();
                return false;
            case 1:
                *written = n / 2;
                return true;
            default:
                // The user asks to stop while this frame goes out (the abort
                // button, Vsk_Suspend); the write itself succeeds.
                requestAbort();
                break;
        }
    }
    *written = n;
    fuzz::releaseAnswer();
    return true;
}

bool Port::close() {
    if (handle_ == kNoHandle) return false;
    handle_ = kNoHandle;
    settings_.reset();
    inHead_ = inTail_ = 0;
    return true;
}

}  // namespace vsk::platform
