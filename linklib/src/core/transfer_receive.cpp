// Receiving a terminal file: into a temporary file of its own first, then put
// in place by the file's transfer slot. The target is touched only when the
// file is complete, and then by one rename (an append renames a copy holding
// the old bytes and the new ones).

#include <array>
#include <vector>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "session.h"
#include "transfer.h"

namespace vsk::xfer {

using frame::kind::kData;
using frame::kind::kEot;

Slot& slot(int k) {
    static std::array<Slot, kSlots> slots;
    return slots[static_cast<size_t>(k)];
}

namespace {

// How long an append waits for another receiver appending to the same file.
constexpr uint32_t kAppendLockWaitMs = 30000;
// Times an append starts again because the target was replaced meanwhile.
constexpr int kAppendRounds = 8;

std::string folderOf(const std::string& path) {
    return platform::folderOfPath(path);
}

int32_t fail(Slot& s, Disposition d, int32_t code) {
    s.disposition = d;
    return code;
}

// Puts the temporary file at the target. A target that did not exist when
// the upload began is never replaced by this rename: if one has appeared
// meanwhile, it is someone else's file.
bool moveIntoPlace(const Slot& s) {
    if (!s.created) return platform::renameFile(s.temp, s.target);
    return platform::renameNoReplace(s.temp, s.target);
}

void discardTemp(Slot& s) {
    if (!s.temp.empty()) platform::removeFile(s.temp);
    s.file.close();
}

// Copies what is left of `in` onto the end of `out`: 0, 6006 or 6005.
int32_t copyRest(platform::File& in, platform::File& out) {
    uint8_t buf[16384];
    for (;;) {
        long n = in.read(buf, sizeof buf);
        if (n < 0) return VSK_E_SYS_READ;
        if (n == 0) return 0;
        if (!out.write(buf, static_cast<size_t>(n))) return VSK_E_SYS_WRITE;
    }
}

// Waits (bounded, abort honoured) until no other receiver is appending to
// `target`. A file system without locks is not waited on.
int32_t lockForAppend(platform::File& target) {
    const uint32_t start = platform::tickMs();
    while (!target.tryLock()) {
        if (!platform::failedAsBusy()) return 0;
        if (platform::elapsedMs(start) >= kAppendLockWaitMs) return VSK_E_SYS_OPEN;
        host::dispatchEvents();
        if (int32_t reason = abortReason()) return reason;
        platform::sleepMs(5);
    }
    return 0;
}

// Builds the appended file beside the target (its old bytes, then the
// received ones, with its permission bits) and renames it into place, so
// the target holds its old bytes or all of the new ones after any failure.
int32_t appendByCopy(Slot& s, platform::File& old) {
    platform::File copy;
    std::string copyPath;
    if (!platform::createTemp(folderOf(s.target), &copy, &copyPath)) return VSK_E_SYS_OPEN;
    int32_t r = copyRest(old, copy);
    if (r == 0) r = s.file.rewind() ? copyRest(s.file, copy) : VSK_E_SYS_READ;
    if (r == 0 && !(copy.takePermissionsOf(old) && copy.flush())) r = VSK_E_SYS_WRITE;
    // Only a receiver replacing the file (not one appending) can have put
    // another file there meanwhile; its file is not overwritten.
    if (r == 0 && !old.isAt(s.target)) r = VSK_E_SYS_MOVE;
    if (r == 0 && !platform::renameFile(copyPath, s.target)) r = VSK_E_SYS_MOVE;
    if (r != 0) platform::removeFile(copyPath);
    return r;
}

// Appends the slot's received file to its target, which must be a regular
// file that may be written (not a link); a target that does not exist (any
// more) is simply the received file.
int32_t appendIntoPlace(Slot& s, bool* tempMoved) {
    for (int round = 0; round < kAppendRounds; ++round) {
        platform::File old;
        if (!old.openExisting(s.target, true)) {
            if (!platform::failedAsMissing()) return VSK_E_SYS_OPEN;
            if (platform::renameNoReplace(s.temp, s.target)) {
                *tempMoved = true;
                return 0;
            }
            if (!platform::failedAsExisting()) return VSK_E_SYS_MOVE;
            continue;  // created meanwhile by another receiver: append to it
        }
        if (int32_t r = lockForAppend(old)) return r;
        if (!old.isAt(s.target)) continue;  // replaced while waiting for the lock
        return appendByCopy(s, old);
    }
    return VSK_E_SYS_MOVE;
}

int32_t finaliseSlot(Slot& s) {
    switch (s.disposition) {
        case Disposition::kReplace:
            if (!moveIntoPlace(s)) {
                discardTemp(s);
                s.outcome = VSK_OUTCOME_FAILED;
                return VSK_E_SYS_MOVE;
            }
            s.file.close();
            s.outcome = VSK_OUTCOME_DONE;
            return 0;
        case Disposition::kAppend: {
            bool moved = false;
            int32_t r = appendIntoPlace(s, &moved);
            if (moved)
                s.file.close();
            else
                discardTemp(s);
            s.outcome = r == 0 ? VSK_OUTCOME_DONE : VSK_OUTCOME_FAILED;
            return r;
        }
        case Disposition::kLeave:
            s.outcome = VSK_OUTCOME_SAME_NAME;
            return 0;
        case Disposition::kDiscard:
        default:
            discardTemp(s);
            s.outcome = VSK_OUTCOME_FAILED;
            return 0;
    }
}

// The bytes the upload puts on the disk beyond what is there: the received
// file, and for an append the appended copy built beside the target.
uint64_t spaceNeeded(int32_t saveMode, const std::string& target, int32_t size) {
    const uint64_t received = static_cast<uint64_t>(size < 0 ? 0 : size);
    int64_t old = 0;
    if (saveMode != VSK_SAVE_APPEND || !platform::fileSize(target, &old)) return received;
    return received + static_cast<uint64_t>(old) + received;
}

}  // namespace

int32_t prepareUpload(int k, int32_t saveMode, const std::string& target, int32_t size) {
    Slot& s = slot(k);
    s = Slot{};
    s.index = k;
    s.target = target;
    s.expected = size;
    s.disposition = Disposition::kDiscard;

    const std::string folder = folderOf(target);
    uint64_t avail = 0;
    if (!platform::freeSpace(folder, &avail) || avail < spaceNeeded(saveMode, target, size)) {
        return fail(s, Disposition::kDiscard, VSK_E_PC_DISK_FULL);
    }
    bool exists = platform::pathExists(target);
    if (saveMode == VSK_SAVE_NEW_ONLY && exists)
        return fail(s, Disposition::kLeave, VSK_E_SAME_NAME_EXISTS);
    // The target is not created before the data is complete: were the process
    // killed during the transfer, no empty target would be left behind.
    s.created = !exists;
    if (!platform::createTemp(folder, &s.file, &s.temp)) {
        return fail(s, Disposition::kDiscard, VSK_E_SYS_OPEN);
    }
    s.disposition = saveMode == VSK_SAVE_APPEND ? Disposition::kAppend : Disposition::kReplace;
    return 0;
}

namespace {

// Received blocks on their way to the temporary file, written a chunk of many
// blocks at a time. The caller writes the chunk out as soon as the file is
// complete, before the last block is acknowledged, so that a failed write (a
// full disk) is still answered for a block the terminal waits on.
class ChunkWriter {
  public:
    explicit ChunkWriter(platform::File& file) : file_(file) { chunk_.reserve(kFileChunk); }

    // Adds `n` bytes, writing the chunk out first when they do not fit;
    // false when that write failed.
    bool add(const uint8_t* bytes, size_t n) {
        if (chunk_.size() + n > kFileChunk && !drain()) return false;
        chunk_.insert(chunk_.end(), bytes, bytes + n);
        return true;
    }
    // Writes out what the chunk holds; false when the write failed.
    bool drain() {
        bool ok = chunk_.empty() || file_.write(chunk_.data(), chunk_.size());
        chunk_.clear();
        return ok;
    }

  private:
    platform::File& file_;
    std::vector<uint8_t> chunk_;
};

}  // namespace

int32_t receiveFile(platform::File& file, int32_t expected, bool batch, bool* ended) {
    State& g = state();
    if (ended != nullptr) *ended = false;
    ChunkWriter out(file);
    // A complete file reaches the disk before it is put in place; the file
    // stays open until then.
    auto finish = [&file, &out](int32_t result) {
        if (result == 0 && !(out.drain() && file.flush())) result = VSK_E_SYS_WRITE;
        return result;
    };
    // In a batch the terminal is told that the block was not taken, which
    // ends its batch.
    auto refuseBlock = [&](int32_t result) {
        if (batch) {
            refuseFile(frame::blockOf(g.recv));
            if (ended != nullptr) *ended = true;
        }
        return finish(result);
    };
    int64_t stored = 0;
    bool firstAck = true;
    for (;;) {
        // Store the block that has just arrived, unless it would carry the
        // file past the size announced: such a terminal is not believed.
        size_t n = replyLength();
        if (stored + static_cast<int64_t>(n) > expected) {
            if (batch) return refuseBlock(VSK_E_RECEIVE);
            // A single upload's size is the caller's: the file would end with
            // 3001 at the terminal's end frame anyway, and a terminal that
            // never sends one must not fill the disk meanwhile.
            writeAbortFrame();
            return finish(VSK_E_UPLOAD_SIZE);
        }
        if (!out.add(g.recv + frame::kOffData, n)) return refuseBlock(VSK_E_SYS_WRITE);
        stored += static_cast<int64_t>(n);
        if (stored == expected && !out.drain()) return refuseBlock(VSK_E_SYS_WRITE);
        addDone(static_cast<int32_t>(n));
        if (host::windowOpen()) host::showProgress(bytesDone(), expected);

        const char acked = frame::blockOf(g.recv);
        for (uint32_t attempt = 1;; ++attempt) {
            host::dispatchEvents();
            if (int32_t r = cancelCheckBuffered()) return finish(r);
            if (int32_t reason = abortReason()) {
                if (reason == VSK_E_ABORT_PC) writeAbortFrame();
                return finish(reason);
            }
            buildFrame(frame::kAnswer, g.currentHt, acked, frame::ACK, nullptr, 0);
            int32_t r = exchange(g.retry, !firstAck, acked);
            if (r != 0) {
                if (stored == expected) return finish(0);
                return finish(r == frame::kind::kRepeatedBlock ? VSK_E_TIMEOUT : r);
            }
            int kind = classifyReply();
            if (kind == kData) break;
            if (kind == kEot) return finish(stored == expected ? 0 : VSK_E_UPLOAD_SIZE);
            if (int32_t refused = refusal(kind)) return finish(refused);
            if (attempt >= g.retry) return finish(VSK_E_RECEIVE);
        }
        firstAck = false;
    }
}

int32_t finalise(int n) {
    int32_t result = 0;
    for (int k = 0; k < n && k < kSlots; ++k) result = finaliseSlot(slot(k));
    return result;
}

}  // namespace vsk::xfer
