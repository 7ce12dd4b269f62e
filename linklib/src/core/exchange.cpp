// The exchange engine: building and writing frames, the byte reader, reading
// a reply, waiting for the matching reply with its retries, the cancel checks
// and the abort frame.
#include <algorithm>
#include <cstring>

#include "host/host.h"
#include "platform/clock.h"
#include "platform/syserror.h"
#include "session.h"
#include "trace.h"

namespace vsk {

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
            // Fewer than a whole end frame: the start of one still arriving,
            // or of the next reply. Dropping it would leave the reader only
            // its tail, and a CAN frame cut so would never be heard.
            g.port.putBack(bytes, n);
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

namespace {

// Waits until the port has input, an event of the caller's was dispatched, or
// `ms` passed, then reads what is waiting without waiting again: 1, 0 or -1
// as Port::readByte. A host without events leaves the wait to the port.
int waitAndReadByte(platform::Port& port, uint8_t* out, uint32_t ms) {
    if (int armed = port.armWait()) return armed > 0 ? port.readWaitingByte(out) : armed;
    if (host::waitForInput(port.waitHandle(), ms)) return port.readWaitingByte(out);
    return port.readByte(out, std::min(ms, host::kPlainWaitSliceMs));
}

}  // namespace

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
