// Sending a PC file as numbered, acknowledged blocks.
#include <algorithm>
#include <cstring>
#include <vector>

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
        if (int32_t r = cancelCheckBuffered()) return r;
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
    if (length != size || size > VSK_MAX_FILE_SIZE) return VSK_E_PARAM;
    return 0;
}

namespace {

// The file being sent, read a chunk of many blocks at a time.
class ChunkReader {
  public:
    ChunkReader(platform::File& file, int32_t size)
        : file_(file), left_(static_cast<size_t>(size)), chunk_(kFileChunk) {}

    // The next `n` bytes of the file, or null when the file ends before them
    // or cannot be read: a file that shrinks while it is sent must not go out
    // padded with garbage.
    const uint8_t* next(size_t n) {
        if (end_ - at_ < n && !refill()) return nullptr;
        if (end_ - at_ < n) return nullptr;
        const uint8_t* p = chunk_.data() + at_;
        at_ += n;
        return p;
    }

  private:
    // Moves what is left of the chunk to its start and reads as much of the
    // rest of the announced size as fits after it.
    bool refill() {
        std::memmove(chunk_.data(), chunk_.data() + at_, end_ - at_);
        end_ -= at_;
        at_ = 0;
        size_t want = std::min(chunk_.size() - end_, left_);
        long got = file_.read(chunk_.data() + end_, want);
        if (got < 0) return false;
        end_ += static_cast<size_t>(got);
        left_ -= static_cast<size_t>(got);
        return true;
    }

    platform::File& file_;
    size_t left_;  // bytes of the announced size not yet read
    std::vector<uint8_t> chunk_;
    size_t at_ = 0, end_ = 0;
};

}  // namespace

int32_t sendFile(const std::string& path, int32_t size, uint32_t retry, Window* window) {
    State& g = state();
    if (!platform::pathExists(path)) return VSK_E_PC_FILE_MISSING;
    platform::File f;
    if (!f.openRead(path)) return VSK_E_SYS_OPEN;
    char block = '0';
    OwedAcks owed;
    ChunkReader reader(f, size);
    for (int32_t left = size; left > 0;) {
        size_t want = std::min(static_cast<size_t>(left), frame::kBlockSize);
        const uint8_t* data = reader.next(want);
        if (data == nullptr) return VSK_E_SYS_READ;
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
