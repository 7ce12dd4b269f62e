#include "session.h"

#include <algorithm>
#include <cstring>

#include "host/host.h"
#include "platform/clock.h"
#include "platform/syserror.h"
#include "port_names.h"
#include "trace.h"

namespace vsk {

State& state() {
    static State s;
    return s;
}

bool handleValid(int32_t handle) {
    State& g = state();
    return handle != 0 && g.open.load() && handle == g.handle.load();
}

bool handleRecorded(int32_t handle) {
    return handle != 0 && handle == state().handle.load();
}

void setCurrentHt(const char* ht3) {
    std::memcpy(state().currentHt, ht3, 3);
    state().currentHt[3] = '\0';
}

void clearAbort() {
    State& g = state();
    g.abortReason.store(g.abortRequested.load() ? VSK_E_ABORT_PC : 0);
}

void beginCall() {
    state().abortRequested.store(false);
}

void requestAbort() {
    // Only atomic stores: safe from a signal handler.
    state().abortRequested.store(true);
    state().abortReason.store(VSK_E_ABORT_PC);
    host::wakeForAbort();
}
int32_t abortReason() {
    return state().abortReason.load();
}

void Progress::storeTexts(const char* ht, const char* name) {
    seq_.fetch_add(1);  // odd: being written
    for (size_t i = 0; i < 4; ++i) ht_[i].store(ht[i], std::memory_order_relaxed);
    for (size_t i = 0; i < 13; ++i) name_[i].store(name[i], std::memory_order_relaxed);
    seq_.fetch_add(1);
}

void Progress::start(const char* name, const char* ht, int32_t total) {
    char h[4] = {}, n[13] = {};
    std::memcpy(h, ht, strnlen(ht, 3));
    std::memcpy(n, name, strnlen(name, 12));
    storeTexts(h, n);
    done_.store(0);
    total_.store(total);
}

void Progress::clear() {
    const char zeros[13] = {};
    storeTexts(zeros, zeros);
    done_.store(0);
    total_.store(0);
}

void Progress::texts(char ht[4], char name[13]) const {
    // A reader in a signal handler may have interrupted the writer on its own
    // thread, which cannot finish meanwhile: after a few tries, take what is there.
    for (int tries = 0;; ++tries) {
        uint32_t before = seq_.load();
        for (size_t i = 0; i < 4; ++i) ht[i] = ht_[i].load(std::memory_order_relaxed);
        for (size_t i = 0; i < 13; ++i) name[i] = name_[i].load(std::memory_order_relaxed);
        if ((before % 2 == 0 && seq_.load() == before) || tries >= 1000) return;
    }
}

// ---------------------------------------------------------------------------
// Opening and closing

namespace {

struct BaudInfo {
    int32_t baud;      // as given in the line settings
    int32_t portBaud;  // the speed the port runs at
    int speedCode;     // announced by the line-signalling open modes
};

constexpr BaudInfo kBauds[] = {
    {0, 9600, 0},      {1200, 1200, 8},   {2400, 2400, 6},   {4800, 4800, 8},     {9600, 9600, 5},
    {19200, 19200, 4}, {38400, 38400, 3}, {57600, 57600, 2}, {115200, 115200, 1},
};

const BaudInfo* findBaud(int32_t baud) {
    for (const BaudInfo& b : kBauds) {
        if (b.baud == baud) return &b;
    }
    return nullptr;
}

int32_t nextHandle() {
    static int32_t counter = 0;
    counter = counter >= 0x7FFF ? 1 : counter + 1;
    return 0x56530000 | counter;  // never 0
}

// Raises or drops both lines for open mode 0; a line that cannot be changed
// (pseudo-terminals have none) is no error there.
void applyFlowLines(platform::Port& port, bool raised) {
    port.setDtr(raised);
    port.setRts(raised);
}

int32_t lineChange(platform::Port& port, bool dtr, bool raised) {
    bool ok = dtr ? port.setDtr(raised) : port.setRts(raised);
    return ok ? 0 : VSK_E_SYS_MODEM_LINES;
}

// Mode 1: announce the speed with one code byte framed by line changes.
int32_t announceByByte(platform::Port& port, int speedCode) {
    uint8_t code;
    if (speedCode == 0) {
        code = 4;
    } else if (speedCode == 6) {
        code = 8;
    } else if (speedCode >= 1 && speedCode <= 5) {
        code = static_cast<uint8_t>(speedCode - 1);
    } else {
        return VSK_E_PARAM;
    }
    struct Step {
        bool dtr;
        bool raised;
        uint32_t waitMs;
    };
    constexpr Step kBefore[] = {{false, false, 0},
                                {true, false, 100},
                                {false, true, 50},
                                {true, true, 50},
                                {false, false, 50}};
    for (const Step& s : kBefore) {
        if (int32_t r = lineChange(port, s.dtr, s.raised)) return r;
        if (s.waitMs) platform::sleepMs(s.waitMs);
    }
    size_t written = 0;
    port.write(&code, 1, &written);  // not checked: the line changes carry the protocol
    platform::sleepMs(50);
    return lineChange(port, false, true);
}

// Mode 2: announce the speed on the DTR and RTS levels.
int32_t announceByLines(platform::Port& port, int speedCode) {
    if (int32_t r = lineChange(port, false, false)) return r;
    platform::sleepMs(2);
    if (int32_t r = lineChange(port, true, false)) return r;
    platform::sleepMs(500);
    bool dtr, rts;
    switch (speedCode) {
        case 0:
            dtr = false;
            rts = false;
            break;
        case 1:
            dtr = true;
            rts = true;
            break;
        case 4:
            dtr = true;
            rts = false;
            break;
        case 5:
            dtr = false;
            rts = true;
            break;
        default:
            return VSK_E_PARAM;
    }
    if (int32_t r = lineChange(port, true, dtr)) return r;
    platform::sleepMs(2);
    return lineChange(port, false, rts);
}

int32_t setLine(platform::Port& port, int32_t portBaud, int parity, int dataBits, int stopBits) {
    platform::LineParams p{};
    if (!platform::speedForBaud(portBaud, &p.speed)) return VSK_E_PARAM;
    p.parity = parity;
    p.dataBits = dataBits;
    p.stopBits = stopBits;
    if (!port.readSettings()) return VSK_E_SYS_GET_STATE;
    if (!port.applyLine(p)) return VSK_E_SYS_SET_STATE;
    return 0;
}

// Reads, changes and writes the line settings from the caller's record.
int32_t configureLine(platform::Port& port, const BaudInfo* baud, const LineSettings& ls) {
    if (!port.readSettings()) return VSK_E_SYS_GET_STATE;
    if (baud == nullptr || ls.Parity < 0 || ls.Parity > 2 || ls.BiteSize < 0 || ls.BiteSize > 1 ||
        ls.StopBits < 0 || ls.StopBits > 1) {
        return VSK_E_PARAM;
    }
    return setLine(port, baud->portBaud, ls.Parity, ls.BiteSize == 0 ? 7 : 8,
                   ls.StopBits == 0 ? 1 : 2);
}

}  // namespace

int32_t comOpen(int32_t* handleOut, int32_t portNo, int32_t mode, const LineSettings* ls) {
    State& g = state();
    if (g.open.load()) return VSK_E_ALREADY_OPEN;
    if (handleOut == nullptr || ls == nullptr) return VSK_E_PARAM;
    uint32_t timeout = static_cast<uint32_t>(ls->timeout);
    uint32_t retry = static_cast<uint32_t>(ls->Retry);
    uint32_t flow = static_cast<uint32_t>(ls->Flow);
    if (timeout < 500 || timeout > 5000 || retry < 1 || retry > 10 || flow > 1) return VSK_E_PARAM;
    if (portNo <= 0) return VSK_E_PARAM;

    if (g.port.isOpen()) {
        // A port left open by an earlier failed open that was never closed.
        g.port.close();
    }
    if (!g.port.open(devicePathForPort(portNo))) return VSK_E_SYS_OPEN;
    int32_t h = nextHandle();
    *handleOut = h;
    g.handle.store(h);

    bool signalling = mode == 1 || mode == 2;
    const BaudInfo* baud = findBaud(ls->BaudRate);
    if (mode == 1) {
        if (int32_t r = setLine(g.port, 9600, 0, 8, 1)) return r;
        if (baud == nullptr) return VSK_E_PARAM;
        if (int32_t r = announceByByte(g.port, baud->speedCode)) return r;
    }

    if (int32_t r = configureLine(g.port, baud, *ls)) {
        g.port.close();
        return r;
    }
    if (!signalling) applyFlowLines(g.port, flow == 1);
    g.timeoutMs = timeout;
    g.retry = retry;
    if (!g.port.setWriteTimeout(timeout)) {
        g.port.close();
        return VSK_E_SYS_SET_TIMEOUTS;
    }
    if (mode == 2) {
        if (int32_t r = announceByLines(g.port, baud->speedCode)) return r;
    }
    g.open.store(true);
    return 0;
}

int32_t comClose(int32_t handle) {
    State& g = state();
    if (!handleRecorded(handle)) return VSK_E_HANDLE;
    // A failing close still releases the descriptor here, so the session ends
    // either way; the failure is reported. The host stops watching it first.
    host::forgetPort(g.port.waitHandle());
    bool closed = g.port.close();
    g.open.store(false);
    g.handle.store(0);
    return closed ? 0 : VSK_E_HANDLE;
}

// ---------------------------------------------------------------------------
// Reading and writing

void purgeInput() {
    state().port.discardWaiting();
}

namespace {

// The cancel check over the bytes `next` gives one at a time (1 a byte, 0 no
// more, -1 a failed read).
template <class NextByte>
int32_t checkForCancel(NextByte next) {
    State& g = state();
    uint8_t bytes[frame::kAbortFrameSize];
    size_t n = 0;
    while (n < frame::kAbortFrameSize) {
        int r = next(&bytes[n]);
        if (r < 0) {
            trace::lineFailure("read");
            return VSK_E_SYS_READ;
        }
        if (r == 0) {
            trace::dropped(bytes, n);  // fewer than a whole end frame: dropped
            return 0;
        }
        ++n;
    }
    // Tested where they lie: the receive buffer still holds the frame an
    // acknowledgement may be about to name.
    if (bytes[0] == frame::STX && bytes[frame::kOffType] == frame::kEnd &&
        bytes[frame::kOffData] == frame::CAN) {
        g.abortReason.store(VSK_E_ABORT_HT);
        trace::abortByTerminal(true);
    } else {
        trace::dropped(bytes, n);
    }
    return 0;
}

}  // namespace

int32_t cancelCheck() {
    return checkForCancel([](uint8_t* b) { return state().port.readWaitingByte(b); });
}

int32_t cancelCheckBuffered() {
    return checkForCancel([](uint8_t* b) { return state().port.takeBuffered(b) ? 1 : 0; });
}

size_t buildFrame(char type, const char* ht, char block, uint8_t control, const uint8_t* data,
                  size_t count) {
    State& g = state();
    const char blockText[2] = {block, '\0'};
    g.sendLen = frame::build(g.send, type, ht, blockText, control, data, count);
    return g.sendLen;
}

size_t buildCommand(char code, const uint8_t* params, size_t count) {
    return buildFrame(frame::kCommand, state().currentHt, '0', static_cast<uint8_t>(code), params,
                      count);
}

int32_t writeFrame() {
    State& g = state();
    size_t written = 0;
    bool ok = g.port.write(g.send, g.sendLen, &written);
    int32_t r = !ok ? (platform::lastSysError() != 0 ? VSK_E_SYS_WRITE : VSK_E_TIMEOUT)
                    : (written == g.sendLen ? 0 : VSK_E_TIMEOUT);
    trace::sent(g.send, g.sendLen, r);
    return r;
}

int32_t writeAbortFrame() {
    State& g = state();
    uint8_t f[frame::kSendBufferSize];
    size_t len = frame::build(f, frame::kEnd, g.currentHt, "0", frame::CAN, nullptr, 0);
    size_t written = 0;
    bool ok = g.port.write(f, len, &written);
    int32_t r = ok && written == len ? 0 : VSK_E_SYS_WRITE;
    trace::abortSent(f, len, r, g.abortReason.load());
    return r;
}

uint64_t replyLimitUs(uint32_t timeoutMs) {
    return (static_cast<uint64_t>(timeoutMs) +
            static_cast<uint64_t>(frame::kReceiveBufferSize) * kFrameByteAllowanceMs) *
           1000u;
}

// Waits until the port has input, an event of the caller's was dispatched, or
// `ms` passed, then reads what is waiting without waiting again: 1, 0 or -1
// as Port::readByte. A host without events leaves the wait to the port.
int waitAndReadByte(platform::Port& port, uint8_t* out, uint32_t ms) {
    if (host::waitForInput(port.waitHandle(), ms)) return port.readWaitingByte(out);
    return port.readByte(out, std::min(ms, host::kPlainWaitSliceMs));
}

int32_t readByteBy(uint8_t* out, uint64_t endUs, bool honourAbort) {
    State& g = state();
    for (;;) {
        if (honourAbort) {
            if (int32_t reason = g.abortReason.load()) {
                writeAbortFrame();
                return reason;
            }
        }
        if (g.port.takeBuffered(out)) return 0;
        // Never wait past the end; counted in microseconds, so the wait is over
        // as soon as strictly more than the time-out has passed.
        uint64_t now = platform::tickUs();
        uint32_t left = now >= endUs ? 1 : static_cast<uint32_t>((endUs - now + 999) / 1000);
        int r = waitAndReadByte(g.port, out, left);
        if (r < 0) {
            trace::lineFailure("read");
            return VSK_E_SYS_READ;
        }
        if (r > 0) return 0;
        if (platform::tickUs() > endUs) return VSK_E_TIMEOUT;
    }
}

namespace {

// Whether the frame reader's status ends the reply being read, with its
// result in *result: 0 a verified frame (now in the receive buffer), 2002 a
// bad one.
bool replyEnds(frame::FrameReader::Status status, const frame::FrameReader& reader,
               int32_t* result) {
    State& g = state();
    switch (status) {
        case frame::FrameReader::Status::kNeedMore:
            return false;
        case frame::FrameReader::Status::kComplete:
            trace::frameRead(status, reader);
            std::memset(g.recv, 0, sizeof g.recv);
            std::memcpy(g.recv, reader.frame(), frame::frameSize(reader.frame()));
            *result = 0;
            return true;
        case frame::FrameReader::Status::kBadCheck:
        case frame::FrameReader::Status::kTooLong:
            break;
    }
    trace::frameRead(status, reader);
    *result = VSK_E_RECEIVE;
    return true;
}

}  // namespace

int32_t readReplyBy(bool honourAbort, uint64_t endUs) {
    State& g = state();
    frame::FrameReader reader;
    const uint64_t timeoutUs = static_cast<uint64_t>(g.timeoutMs) * 1000u;
    // Bytes before an STX are noise: they do not restart the time-out, so a
    // line that keeps babbling times out like a silent one, and as no reply
    // has begun an abort is honoured while they come.
    const uint64_t huntEndUs = std::min(platform::tickUs() + timeoutUs, endUs);
    for (;;) {
        const bool inFrame = reader.inFrame();
        // Most bytes of a frame are already in the input buffer: they are
        // taken in one run, without the clock or a wait, which would cost
        // more than the bytes.
        if (inFrame && !(honourAbort && g.abortReason.load() != 0)) {
            uint8_t run[frame::kReceiveBufferSize];
            if (size_t n = g.port.takeBuffered(run, reader.wanted())) {
                int32_t result = 0;
                if (replyEnds(reader.pushSome(run, n), reader, &result)) return result;
                continue;
            }
        }
        // Within a frame each byte has the whole time-out, counted from when
        // the wait for it begins: a slow but steady terminal gets its frame
        // through, up to the reply's end.
        uint8_t b = 0;
        uint64_t byteEndUs = inFrame ? std::min(platform::tickUs() + timeoutUs, endUs) : huntEndUs;
        if (int32_t r = readByteBy(&b, byteEndUs, honourAbort || !inFrame)) {
            trace::readEnded(r, reader, g.timeoutMs);
            return r;
        }
        int32_t result = 0;
        if (replyEnds(reader.push(b), reader, &result)) return result;
        trace::byteTaken(reader, b);
        // Noise keeps the reads busy: the caller's events must still be
        // served, or its abort button could not be pressed.
        if (!reader.inFrame()) host::dispatchEvents();
    }
}

int32_t readReply(bool honourAbort) {
    return readReplyBy(honourAbort, platform::tickUs() + replyLimitUs(state().timeoutMs));
}

int classifyReply() {
    int kind = frame::classify(state().recv);
    if (kind == frame::kind::kCancel) {
        state().abortReason.store(VSK_E_ABORT_HT);
        trace::abortByTerminal();
    }
    return kind;
}

namespace {

// Waits for the reply to the frame in the send buffer, which has been written:
// up to `tries` replies, each within the reply limit. `acked`, when not null,
// is the frame the send buffer acknowledges: an exact copy of it makes the
// acknowledgement go out again. Neither that nor a reply from another HT
// number costs a try, but neither extends the try's limit either.
int32_t awaitReply(uint32_t tries, bool repeatTest, char prevBlock, const uint8_t* acked) {
    State& g = state();
    char sentHt[3];
    std::memcpy(sentHt, g.send + frame::kOffHt, 3);
    uint32_t attempts = 0;
    uint64_t endUs = platform::tickUs() + replyLimitUs(g.timeoutMs);
    for (;;) {
        int32_t result = readReplyBy(false, endUs);
        if (result == 0) {
            bool waitOn = false;
            if (!frame::sameHt(g.recv, sentHt)) {  // another terminal's reply
                trace::foreignReply(sentHt);
                waitOn = true;
            } else {
                // End frames all carry block "0"; none of them repeats a stored block.
                bool isEnd = frame::typeOf(g.recv) == frame::kEnd &&
                             (frame::controlOf(g.recv) == frame::EOT ||
                              frame::controlOf(g.recv) == frame::CAN);
                if (repeatTest && !isEnd && frame::blockOf(g.recv) == prevBlock) {
                    result = frame::kind::kRepeatedBlock;
                } else if (acked && std::memcmp(g.recv, acked, frame::kReceiveBufferSize) == 0) {
                    // The terminal did not see our acknowledgement: say it again.
                    if (int32_t r = writeFrame()) return r;
                    waitOn = true;
                } else {
                    return 0;
                }
            }
            if (waitOn) {
                // Frames that keep coming must not hold the wait open for ever.
                if (platform::tickUs() <= endUs) continue;
                result = VSK_E_TIMEOUT;
            }
        }
        if (result == VSK_E_TIMEOUT || result == frame::kind::kRepeatedBlock) {
            if (int32_t reason = g.abortReason.load()) {
                writeAbortFrame();
                return reason;
            }
        } else if (result != VSK_E_RECEIVE) {
            return result;
        }
        if (++attempts >= tries) return result;
        trace::waitingAgain(result, attempts + 1, tries);
        endUs = platform::tickUs() + replyLimitUs(g.timeoutMs);
    }
}

}  // namespace

int32_t exchange(uint32_t tries, bool repeatTest, char prevBlock) {
    State& g = state();
    const bool acking =
        frame::typeOf(g.send) == frame::kAnswer && g.send[frame::kOffData] == frame::ACK;
    uint8_t acked[frame::kReceiveBufferSize];
    if (acking) std::memcpy(acked, g.recv, sizeof acked);

    std::memset(g.recv, 0, sizeof g.recv);
    if (int32_t r = writeFrame()) return r;
    return awaitReply(tries, repeatTest, prevBlock, acking ? acked : nullptr);
}

int32_t awaitAnotherReply() {
    return awaitReply(1, false, 0, nullptr);
}

}  // namespace vsk
