// One-shot queries and control commands: one command frame, its answer, a code.
#include <algorithm>
#include <cstring>
#include <functional>
#include <optional>

#include "arguments.h"
#include "ops.h"
#include "session.h"

namespace vsk::ops {
namespace {

using frame::kind::kAck;
using frame::kind::kData;
using frame::kind::kEot;
using frame::kind::kFailure;
using frame::kind::kMode;
using frame::kind::kRandomRename;

// What a reply means for a command that is resent until the terminal gives a
// verdict: a result code, or nothing when the command is to go out again.
using Verdict = std::optional<int32_t>;
using ReplyMap = std::function<Verdict(int kind)>;

// The usual verdicts: ACK is success, "M" the wrong mode, and the result
// letters "F" and "R" mean what the command gives them (kResend: nothing).
constexpr int32_t kResend = -1;
Verdict usualVerdict(int kind, int32_t onFailure, int32_t onRandom) {
    switch (kind) {
        case kAck:
            return 0;
        case kMode:
            return VSK_E_HT_MODE;
        case kFailure:
            return onFailure == kResend ? Verdict{} : onFailure;
        case kRandomRename:
            return onRandom == kResend ? Verdict{} : onRandom;
        default:
            return {};
    }
}

ReplyMap verdicts(int32_t onFailure, int32_t onRandom = kResend) {
    return [=](int kind) { return usualVerdict(kind, onFailure, onRandom); };
}

// Sends the command in the send buffer up to the retry count, resending on
// every reply the map does not settle.
int32_t sendUntilSettled(const ReplyMap& map, bool checkAbort) {
    uint32_t attempt = 1;
    for (;;) {
        if (checkAbort) {
            if (int32_t reason = abortReason()) return reason;
        }
        if (int32_t r = exchange(1)) return r;
        if (Verdict v = map(classifyReply())) return *v;
        if (attempt >= state().retry) return VSK_E_RECEIVE;
        ++attempt;
    }
}

// A one-attempt command whose reply must be a data frame.
int32_t queryData(int32_t failureCode) {
    if (int32_t reason = abortReason()) return reason;
    if (int32_t r = exchange(1)) return r;
    switch (classifyReply()) {
        case kData:
            return 0;
        case kMode:
            return VSK_E_HT_MODE;
        case kFailure:
            return failureCode;
        default:
            return VSK_E_RECEIVE;
    }
}

// Copies `n` received characters into a field of n+1 bytes ending in a blank.
void copyWithBlank(char* out, const char* src, size_t n) {
    std::memcpy(out, src, n);
    out[n] = ' ';
}

int32_t simpleCommand(int32_t handle, const char* htArg, char code, const ReplyMap& map,
                      bool checkAbort) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    prepareCommand(ht);
    buildCommand(code);
    return sendUntilSettled(map, checkAbort);
}

int32_t sendAck() {
    buildFrame(frame::kAnswer, state().currentHt, '0', frame::ACK, nullptr, 0);
    return writeFrame() == 0 ? 0 : VSK_E_SYS_WRITE;
}

// The listing's entries: runs of 12 name characters and 7 size digits. Every
// entry counts; those beyond what the record holds are not stored. Returns
// the number of entries in the frame.
size_t storeEntries(DirRecord* dir, size_t* stored, const char* data, size_t len) {
    size_t count = 0;
    for (size_t off = 0; off + frame::kDirEntryWidth <= len; off += frame::kDirEntryWidth) {
        ++count;
        if (*stored >= VSK_MAX_FILES) continue;
        DirEntry& e = dir->Entries[(*stored)++];
        copyWithBlank(e.Name, data + off, frame::kNameWidth);
        e.Size = field::decimal(data + off + frame::kNameWidth, frame::kSizeDigits);
    }
    return count;
}

void clearEntries(DirRecord* dir) {
    for (DirEntry& e : dir->Entries) {
        std::memset(e.Name, ' ', sizeof e.Name);
        e.Size = 0;
    }
}

// Acknowledges listing frames and stores their entries until the end frame.
// What the terminal announced bounds the listing: more entries than its
// count, or more frames than it takes to carry them one by one (at least
// one), is a listing that would never end, and a reply the PC cannot take.
int32_t receiveListing(DirRecord* dir) {
    State& g = state();
    const size_t announced = static_cast<size_t>(std::max<int32_t>(dir->FileCount, 0));
    const size_t frameLimit = std::max<size_t>(announced, 1);
    size_t stored = 0, entries = 0, frames = 0;
    bool first = true;
    for (;;) {
        if (int32_t reason = abortReason()) {
            writeAbortFrame();
            return reason;
        }
        char acked = frame::blockOf(g.recv);
        buildFrame(frame::kAnswer, g.currentHt, acked, frame::ACK, nullptr, 0);
        int32_t r = exchange(g.retry, !first, acked);
        first = false;
        if (r == frame::kind::kRepeatedBlock) return VSK_E_TIMEOUT;
        if (r != 0) return r;
        switch (classifyReply()) {
            case kEot:
                return 0;
            case kData:
                entries += storeEntries(dir, &stored, replyData(), replyLength());
                if (entries > announced || ++frames > frameLimit) return VSK_E_RECEIVE;
                continue;
            case kMode:
                return VSK_E_HT_MODE;
            default:
                return VSK_E_RECEIVE;
        }
    }
}

}  // namespace

int32_t dir(int32_t handle, const char* htArg, DirRecord* dir) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    if (dir == nullptr) return VSK_E_PARAM;
    prepareCommand(ht);
    clearEntries(dir);
    buildCommand(frame::cmd::kDir);
    int32_t r;
    {
        // The terminal may take a while to gather its listing.
        TimeoutOverride slowFirstReply(std::max<uint32_t>(state().timeoutMs, 2000));
        r = exchange(1);
    }
    if (r != 0) return r;
    switch (classifyReply()) {
        case kData:
            break;
        case kMode:
            return VSK_E_HT_MODE;
        default:
            return VSK_E_RECEIVE;
    }
    dir->FileCount = field::decimal(replyData(), 3);
    dir->FreeSize = field::decimal(replyData() + 3, 7);
    return receiveListing(dir);
}

int32_t fileInfo(int32_t handle, const char* htArg, FileInfoRecord* info) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    if (info == nullptr) return VSK_E_PARAM;
    char name[14] = {};
    std::memcpy(name, info->Name, sizeof info->Name);  // may lack an end mark
    NameField nf(name);
    prepareCommand(ht);
    uint8_t params[frame::kNameWidth];
    std::memcpy(params, nf.bytes(), sizeof params);
    buildCommand(frame::cmd::kFileInfo, params, sizeof params);
    if (int32_t r = queryData(VSK_E_HT_FILE_MISSING)) return r;
    const char* d = replyData();
    info->Size = field::decimal(d, 7);
    copyWithBlank(info->Info1, d + 7, 6);
    copyWithBlank(info->Info2, d + 13, 6);
    return 0;
}

int32_t status(int32_t handle, const char* htArg, StatusRecord* status) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    if (status == nullptr) return VSK_E_PARAM;
    prepareCommand(ht);
    buildCommand(frame::cmd::kStatus);
    if (int32_t r = queryData(VSK_E_RECEIVE)) return r;
    const char* d = replyData();
    status->StatusValue = field::decimal(d, 7);
    copyWithBlank(status->StatusText1, d + 7, 5);
    copyWithBlank(status->StatusText2, d + 12, 5);
    status->StatusFlag = d[17];
    return 0;
}

int32_t dispInit(int32_t handle, const char* htArg) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    purgeInput();
    buildFrame(frame::kCommand, ht.text, '0', frame::cmd::kDispInit, nullptr, 0);
    return writeFrame() == 0 ? 0 : VSK_E_SYS_WRITE;
}

int32_t fileDelete(int32_t handle, const char* htArg, const char* name) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    if (name == nullptr) return VSK_E_PARAM;
    NameField nf(name);
    prepareCommand(ht);
    buildCommand(frame::cmd::kDelete, nf.bytes(), frame::kNameWidth);
    return sendUntilSettled(verdicts(VSK_E_HT_DELETE), true);
}

int32_t fileRename(int32_t handle, const char* htArg, const char* oldName, const char* newName) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    if (oldName == nullptr || newName == nullptr) return VSK_E_PARAM;
    NameField from(oldName), to(newName);
    prepareCommand(ht);
    uint8_t params[2 * frame::kNameWidth];
    std::memcpy(params, from.bytes(), frame::kNameWidth);
    std::memcpy(params + frame::kNameWidth, to.bytes(), frame::kNameWidth);
    buildCommand(frame::cmd::kRename, params, sizeof params);
    return sendUntilSettled(verdicts(VSK_E_HT_RENAME, VSK_E_HT_RANDOM_RENAME), true);
}

int32_t reboot(int32_t handle, const char* ht) {
    return simpleCommand(handle, ht, frame::cmd::kReboot, verdicts(kResend), false);
}

int32_t powerOff(int32_t handle, const char* ht) {
    return simpleCommand(handle, ht, frame::cmd::kPowerOff, verdicts(kResend), false);
}

int32_t remoteEnd(int32_t handle, const char* htArg) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    prepareCommand(ht);
    buildCommand(frame::cmd::kRemoteEnd);
    if (int32_t reason = abortReason()) return reason;
    if (int32_t r = exchange(1)) return r;
    switch (classifyReply()) {
        case kAck:
            return 0;
        case kMode:
            return VSK_E_HT_MODE;
        default:
            return VSK_E_RECEIVE;
    }
}

int32_t apEnd(int32_t handle, const char* ht) {
    // The terminal's answer is itself acknowledged, whether it ended the
    // application or reports that it could not.
    return simpleCommand(
        handle, ht, frame::cmd::kApEnd,
        [](int kind) -> Verdict {
            Verdict v = usualVerdict(kind, VSK_E_HT_FILE_IO, kResend);
            if (!v || *v == VSK_E_HT_MODE) return v;
            int32_t r = sendAck();
            return r != 0 ? r : *v;
        },
        true);
}

}  // namespace vsk::ops
