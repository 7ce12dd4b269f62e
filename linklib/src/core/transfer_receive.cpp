// Receiving a terminal file: into a temporary file first, then put in place
// by the file's transfer slot. The target is touched only when the file is
// complete, and then by one rename.
#include <stdio.h>

#include <array>

#include "platform/files.h"
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

std::string folderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
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

int32_t finaliseSlot(Slot& s) {
    switch (s.disposition) {
        case Disposition::kReplace:
            if (!moveIntoPlace(s)) {
                platform::removeFile(s.temp);
                s.outcome = 2;
                return VSK_E_SYS_MOVE;
            }
            s.outcome = 1;
            return 0;
        case Disposition::kAppend: {
            bool ok = platform::appendFile(s.temp, s.target);
            platform::removeFile(s.temp);
            s.outcome = ok ? 1 : 2;
            return ok ? 0 : VSK_E_SYS_OPEN;
        }
        case Disposition::kLeave:
            s.outcome = 3;
            return 0;
        case Disposition::kDiscard:
        default:
            if (!s.temp.empty()) platform::removeFile(s.temp);
            s.outcome = 2;
            return 0;
    }
}

}  // namespace

int32_t prepareUpload(int k, int32_t saveMode, const std::string& target, const std::string& temp,
                      int32_t size, platform::File* file) {
    Slot& s = slot(k);
    s = Slot{};
    s.index = k;
    s.target = target;
    s.temp = temp;
    s.expected = size;
    s.disposition = Disposition::kDiscard;

    uint64_t avail = 0;
    if (!platform::freeSpace(folderOf(target), &avail) ||
        avail < static_cast<uint64_t>(size < 0 ? 0 : size)) {
        return fail(s, Disposition::kDiscard, VSK_E_PC_DISK_FULL);
    }
    bool exists = platform::pathExists(target);
    if (saveMode == 2 && exists) return fail(s, Disposition::kLeave, VSK_E_SAME_NAME_EXISTS);
    // The target is not created before the data is complete: were the process
    // killed during the transfer, no empty target would be left behind.
    s.created = !exists;
    if (!file->openWrite(temp)) return fail(s, Disposition::kDiscard, VSK_E_SYS_OPEN);
    s.disposition = saveMode == 1 ? Disposition::kAppend : Disposition::kReplace;
    return 0;
}

int32_t receiveFile(platform::File& file, int32_t expected, bool batch) {
    State& g = state();
    // Every way out closes the temporary file; a complete one reaches the disk first.
    auto finish = [&file](int32_t result) {
        if (result == 0 && !file.flush()) result = VSK_E_SYS_WRITE;
        file.close();
        return result;
    };
    bool firstAck = true;
    for (;;) {
        // Store the block that has just arrived.
        size_t n = replyLength();
        // More than the size expected: the upload would end with 3001 at the
        // terminal's end frame anyway, and a terminal that never sends one
        // must not fill the disk meanwhile. (A batch keeps its own course.)
        if (!batch && static_cast<int64_t>(bytesDone()) + static_cast<int64_t>(n) > expected) {
            writeAbortFrame();
            return finish(VSK_E_UPLOAD_SIZE);
        }
        if (!file.write(g.recv + frame::kOffData, n)) {
            if (batch) {
                buildFrame(frame::kResult, g.currentHt, frame::blockOf(g.recv), 0,
                           reinterpret_cast<const uint8_t*>("F"), 1);
                writeFrame();
            }
            return finish(VSK_E_SYS_WRITE);
        }
        addDone(static_cast<int32_t>(n));
        if (host::windowOpen()) host::showProgress(bytesDone(), expected);

        const char acked = frame::blockOf(g.recv);
        for (uint32_t attempt = 1;; ++attempt) {
            host::dispatchEvents();
            if (int32_t r = cancelCheck()) return finish(r);
            if (int32_t reason = abortReason()) {
                if (reason == VSK_E_ABORT_PC) writeAbortFrame();
                return finish(reason);
            }
            buildFrame(frame::kAnswer, g.currentHt, acked, frame::ACK, nullptr, 0);
            int32_t r = exchange(g.retry, !firstAck, acked);
            if (r != 0) {
                if (bytesDone() == expected) return finish(0);
                return finish(r == frame::kind::kRepeatedBlock ? VSK_E_TIMEOUT : r);
            }
            int kind = classifyReply();
            if (kind == kData) break;
            if (kind == kEot) return finish(bytesDone() == expected ? 0 : VSK_E_UPLOAD_SIZE);
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
