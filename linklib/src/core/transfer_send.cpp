// Sending a PC file as numbered, acknowledged blocks.
#include "platform/files.h"
#include "session.h"
#include "trace.h"
#include "transfer.h"

namespace vsk::xfer {

using frame::kind::kAck;

int32_t sendAcknowledged(uint32_t retry, OwedAcks* owed) {
    State& g = state();
    const char block = frame::blockOf(g.send);
    uint32_t timeouts = 0;
    for (uint32_t attempt = 1;; ++attempt) {
        host::dispatchEvents();
        if (int32_t r = cancelCheck()) return r;
        if (int32_t reason = abortReason()) {
            if (reason == VSK_E_ABORT_PC) writeAbortFrame();
            return reason;
        }
        bool timedOut = false;
        int32_t r = exchange(1);
        for (;;) {
            if (r != 0 || !owed || !owed->stale(g.recv)) break;
            // The late answer to a copy of the previous block: this block's
            // own answer is still to come, so it is waited for, not resent.
            trace::staleAck(owed->block);
            --owed->count;
            r = awaitAnotherReply();
        }
        if (r == VSK_E_TIMEOUT) {
            timedOut = true;
            ++timeouts;
        } else if (r != 0) {
            return r;
        }
        if (!timedOut) {
            int kind = classifyReply();
            // An acknowledgement of another block makes this one go out again.
            if (kind == kAck && frame::blockOf(g.recv) == block) {
                // Each copy that timed out may still be answered, late.
                if (owed) *owed = OwedAcks{block, timeouts};
                return 0;
            }
            if (int32_t refused = refusal(kind)) return refused;
        }
        if (attempt >= retry) return timedOut ? VSK_E_TIMEOUT : VSK_E_RECEIVE;
    }
}

bool OwedAcks::stale(const uint8_t* reply) const {
    return count > 0 && frame::typeOf(reply) == frame::kAnswer &&
           frame::controlOf(reply) == frame::ACK && frame::blockOf(reply) == block;
}

int32_t checkFileToSend(const std::string& path, int32_t size) {
    platform::File f;
    if (!f.openRead(path)) return VSK_E_PC_FILE_MISSING;
    int64_t length = 0;
    if (!platform::fileSize(path, &length)) return VSK_E_PC_FILE_MISSING;
    // Sizes travel as seven digits: a larger file cannot be announced truthfully.
    if (length != size || size > 9999999) return VSK_E_PARAM;
    return 0;
}

int32_t sendFile(const std::string& path, int32_t size, uint32_t retry, Window* window) {
    State& g = state();
    if (!platform::pathExists(path)) return VSK_E_PC_FILE_MISSING;
    platform::File f;
    if (!f.openRead(path)) return VSK_E_SYS_OPEN;
    char block = '0';
    OwedAcks owed;
    uint8_t data[frame::kBlockSize];
    for (int32_t left = size; left > 0;) {
        size_t want =
            left < static_cast<int32_t>(sizeof data) ? static_cast<size_t>(left) : sizeof data;
        long got = f.read(data, want);
        // A file that shrinks while it is sent must not go out padded with garbage.
        if (got != static_cast<long>(want)) return VSK_E_SYS_READ;
        buildFrame(frame::kData, g.currentHt, block, 0, data, want);
        if (int32_t r = sendAcknowledged(retry, &owed)) return r;
        addDone(static_cast<int32_t>(want));
        if (window) window->progress(bytesDone(), size);
        block = frame::nextBlock(block);
        left -= static_cast<int32_t>(want);
    }
    f.close();
    buildFrame(frame::kEnd, g.currentHt, '0', frame::EOT, nullptr, 0);
    return writeFrame() == 0 ? 0 : VSK_E_SYS_WRITE;
}

}  // namespace vsk::xfer
