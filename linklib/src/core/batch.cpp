#include "batch.h"

#include <cstring>

#include "arguments.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "session.h"
#include "transfer.h"

namespace vsk::batch {
namespace {

using frame::kind::kAck;
using frame::kind::kCancel;
using frame::kind::kData;
using frame::kind::kEot;
using frame::kind::kFailure;
using frame::kind::kMode;
using frame::kind::kNak;

// Runs the cancel check before a batch starts: 0, 6006 or 1002.
int32_t cancelledBeforeStart() {
    if (int32_t r = cancelCheck()) return r;
    return abortReason() == VSK_E_ABORT_HT ? VSK_E_ABORT_HT : 0;
}

// Exchanges the frame in the send buffer once per attempt, again after a NAK
// (and after a time-out when `retryTimeouts`), up to the retry count. Returns
// the exchange's failure, or 0 with the final reply's kind in *kind.
int32_t exchangeRepeatingNak(bool retryTimeouts, int* kind) {
    for (uint32_t attempt = 1;; ++attempt) {
        int32_t r = exchange(1);
        bool last = attempt >= state().retry;
        if (r == VSK_E_TIMEOUT && retryTimeouts && !last) continue;
        if (r != 0) return r;
        *kind = classifyReply();
        if (*kind != kNak || last) return 0;
    }
}

// Sends the frame in the send buffer and waits for the reply with up to
// retry-count read attempts; a NAK makes it go out again, at most retry-count
// sends in all. 0 with the reply's kind in *kind, or the exchange's failure.
int32_t sendAndWait(int* kind) {
    for (uint32_t sends = 1;; ++sends) {
        if (int32_t r = exchange(state().retry)) return r;
        *kind = classifyReply();
        if (*kind != kNak || sends >= state().retry) return 0;
    }
}

// One-byte data frames mark the end of a terminal's batch.
bool isEndMarker() {
    return replyLength() == 1;
}

bool abortRequested(int32_t* result) {
    if (int32_t reason = abortReason()) {
        writeAbortFrame();
        *result = reason;
        return true;
    }
    return false;
}

// --- Batch download

// Sends one list entry's header and file. 0 when the batch goes on; otherwise
// the code that stops it.
int32_t sendEntry(DownloadEntry& e, xfer::Window& window) {
    State& g = state();
    PathField path(e.Path, sizeof e.Path, sizeof e.Path);
    if (!platform::pathExists(path.text)) {
        if (e.SkipMode == VSK_STOP_AT_FAILED) return VSK_E_PC_FILE_MISSING;
        e.Outcome = VSK_OUTCOME_FAILED;
        return 0;
    }
    int64_t length = 0;
    if (!platform::fileSize(path.text, &length) || length != e.Size || e.Size > VSK_MAX_FILE_SIZE) {
        return 0;  // not processed
    }
    std::string name;
    if (!xfer::terminalNameFor(path.text, true, &name)) {
        // A name no terminal may be given: the file cannot be sent.
        if (e.SkipMode == VSK_STOP_AT_FAILED) return VSK_E_PARAM;
        e.Outcome = VSK_OUTCOME_FAILED;
        return 0;
    }
    NameField nf(name.c_str());
    uint8_t header[frame::kNameWidth + frame::kSizeDigits];
    std::memcpy(header, nf.bytes(), frame::kNameWidth);
    field::digits(reinterpret_cast<char*>(header + frame::kNameWidth), frame::kSizeDigits, e.Size);
    buildFrame(frame::kData, g.currentHt, '0', 0, header, sizeof header);
    int kind = 0;
    if (int32_t r = exchangeRepeatingNak(true, &kind)) return r;
    switch (kind) {
        case kAck:
            break;
        case kFailure:
            e.Outcome = VSK_OUTCOME_FAILED;
            return VSK_E_HT_FILE_IO;
        case kCancel:
            return VSK_E_ABORT_HT;
        default:
            return VSK_E_RECEIVE;
    }
    xfer::startFile(nf.text, g.currentHt, e.Size);
    window.show(nf.text, e.Size);
    int32_t r = xfer::sendFile(path.text, e.Size, g.retry, &window);
    if (r == 0) {
        e.Outcome = VSK_OUTCOME_DONE;
        return 0;
    }
    if (r == VSK_E_ABORT_HT || r == VSK_E_ABORT_PC || e.SkipMode == VSK_STOP_AT_FAILED) return r;
    e.Outcome = VSK_OUTCOME_FAILED;
    return 0;
}

}  // namespace

int32_t download(int32_t handle, const char* htArg, char letter, int32_t count, DownloadList* list,
                 int32_t show, bool keepWindow, host::WindowType keptType) {
    HtField ht(htArg);
    if (!handleValid(handle)) return VSK_E_HANDLE;
    if (list == nullptr || count <= 0 || count > VSK_MAX_FILES || !ht.valid()) return VSK_E_PARAM;
    for (int j = 0; j < count; ++j) {
        int32_t mode = list->Entries[j].SkipMode;
        if (mode != VSK_SKIP_FAILED && mode != VSK_STOP_AT_FAILED) return VSK_E_PARAM;
    }
    for (int j = 0; j < count; ++j) list->Entries[j].Outcome = VSK_OUTCOME_NOT_PROCESSED;
    purgeInput();
    clearAbort();
    setCurrentHt(ht.text);
    if (int32_t r = cancelledBeforeStart()) return r;

    char digits[3];
    field::digits(digits, sizeof digits, count);
    buildCommand(letter, reinterpret_cast<const uint8_t*>(digits), sizeof digits);
    int kind = 0;
    if (int32_t r = exchangeRepeatingNak(false, &kind)) return r;
    switch (kind) {
        case kAck:
            break;
        case kMode:
            return VSK_E_HT_MODE;
        case kCancel:
            return VSK_E_ABORT_HT;
        default:
            return VSK_E_RECEIVE;
    }

    const bool system = letter == frame::cmd::kOsInstall2;
    const bool ownWindow = system || !keepWindow;
    xfer::Window window(show,
                        system ? host::WindowType::kOsInstall
                               : (ownWindow ? host::WindowType::kBatchDownload : keptType),
                        ownWindow);
    window.open("");

    int32_t result = 0;
    for (int j = 0; j < count && result == 0; ++j) {
        if ((result = cancelCheck()) != 0) break;
        if (abortRequested(&result)) break;
        result = sendEntry(list->Entries[j], window);
    }
    if (result == 0) {
        const uint8_t marker = frame::EOT;
        buildFrame(frame::kData, state().currentHt, '0', 0, &marker, 1);
        if (writeFrame() != 0) result = VSK_E_SYS_WRITE;
    }
    return result;
}

// --- Batch upload

namespace {

// The most files a terminal can announce: its listings count them in three
// digits. Files beyond the list's 128 entries are skipped (left on the
// terminal); a larger count is no terminal's and is refused at once.
constexpr int32_t kMostFilesAnnounced = 999;

struct UploadRun {
    const std::string prefix;
    int32_t saveMode;
    xfer::Window& window;
    int touched = 0;  // slots used
};

// Reads the first header, which the terminal sends right after its count.
int32_t readFirstHeader() {
    // One reply's time in all: frames from other terminals do not extend it.
    const uint64_t endUs = platform::tickUs() + replyLimitUs(state().timeoutMs);
    for (;;) {
        if (int32_t r = readReplyBy(true, endUs)) return r;
        if (frame::sameHt(state().recv, state().currentHt)) break;  // another terminal's frame
    }
    switch (classifyReply()) {
        case kData:
            return 0;
        case kFailure:
            return VSK_E_HT_FILE_IO;
        case kCancel:
            return VSK_E_ABORT_HT;
        default:
            return VSK_E_RECEIVE;
    }
}

// After a file: 1 when the reply is the next header, 0 when it ended the
// batch, or the code that stops it.
enum class Next { kHeader, kEnd, kStop };
Next whatFollows(int kind, int32_t* result) {
    if (kind == kData) {
        if (isEndMarker()) {
            *result = 0;
            return Next::kEnd;
        }
        return Next::kHeader;
    }
    *result = kind == kCancel ? VSK_E_ABORT_HT : VSK_E_RECEIVE;
    return Next::kStop;
}

// Tells the terminal to skip a file it offers and reads what follows.
Next skipFile(char headerBlock, int32_t* result) {
    buildFrame(frame::kResult, state().currentHt, headerBlock, 0,
               reinterpret_cast<const uint8_t*>("S"), 1);
    int kind = 0;
    if ((*result = sendAndWait(&kind)) != 0) return Next::kStop;
    return whatFollows(kind, result);
}

// Receives the file whose header is in the receive buffer into slot k;
// returns what follows it.
Next receiveEntry(UploadRun& run, UploadEntry* entry, int k, uint32_t announced, int32_t* result) {
    State& g = state();
    uint8_t header[frame::kReceiveBufferSize];
    std::memcpy(header, g.recv, sizeof header);
    const char headerBlock = frame::blockOf(header);
    const char* data = replyData();
    const size_t len = replyLength();
    const std::string termName(data, len < frame::kNameWidth ? len : frame::kNameWidth);
    const int32_t size = len > frame::kNameWidth
                             ? field::decimal(data + frame::kNameWidth, len - frame::kNameWidth)
                             : 0;
    if (k >= xfer::kSlots) {
        // The list holds 128 files: the terminal is told to keep the rest.
        return skipFile(headerBlock, result);
    }
    std::memset(entry->Name, ' ', sizeof entry->Name);
    std::memcpy(entry->Name, termName.data(), termName.size());
    entry->Size = size;
    run.touched = k + 1;

    std::string pcName;
    int32_t prep = VSK_E_PC_FILE_NAME;  // a name that would leave the folder is not taken
    if (xfer::pcNameFor(termName, &pcName)) {
        prep = xfer::prepareUpload(k, run.saveMode, run.prefix + pcName, size);
    } else {
        xfer::slot(k) = xfer::Slot{};
        xfer::slot(k).index = k;
        xfer::slot(k).expected = size;
    }
    NameField shown(termName.c_str());
    run.window.show(shown.text, size);
    if (prep == VSK_E_SAME_NAME_EXISTS) return skipFile(headerBlock, result);
    if (prep != 0) {
        xfer::refuseFile(headerBlock);
        *result = prep;
        return Next::kStop;
    }

    xfer::Slot& s = xfer::slot(k);
    if ((*result = cancelCheck()) != 0 || abortRequested(result)) {
        s.disposition = xfer::Disposition::kDiscard;
        return Next::kStop;
    }
    buildFrame(frame::kAnswer, g.currentHt, headerBlock, frame::ACK, nullptr, 0);
    int kind = 0;
    if ((*result = sendAndWait(&kind)) != 0) {
        s.disposition = xfer::Disposition::kDiscard;
        return Next::kStop;
    }
    int32_t r = 0;
    bool ended = false;
    if (kind == kData) {
        if (std::memcmp(g.recv, header, frame::frameSize(header)) == 0) {
            // The header again instead of the first block.
            s.disposition = xfer::Disposition::kDiscard;
            *result = VSK_E_RECEIVE;
            return Next::kStop;
        }
        xfer::startFile(shown.text, g.currentHt, size);
        r = xfer::receiveFile(s.file, size, true, &ended);
    } else if (kind == kEot) {
        // An empty file; one that was announced with bytes is incomplete.
        r = size != 0 ? VSK_E_UPLOAD_SIZE : (s.file.flush() ? 0 : VSK_E_SYS_WRITE);
    } else {
        s.disposition = xfer::Disposition::kDiscard;
        *result = kind == kCancel ? VSK_E_ABORT_HT : VSK_E_RECEIVE;
        return Next::kStop;
    }
    if (r != 0) {
        s.disposition = xfer::Disposition::kDiscard;
    } else if (run.saveMode == VSK_SAVE_NEW_ONLY) {
        s.disposition = xfer::Disposition::kReplace;
    }
    // Failures after which the conversation cannot go on.
    if (ended || r == VSK_E_SYS_WRITE || r == VSK_E_TIMEOUT || r == VSK_E_ABORT_PC ||
        r == VSK_E_ABORT_HT || r == VSK_E_SYS_READ) {
        *result = r;
        return Next::kStop;
    }
    if ((*result = cancelCheck()) != 0 || abortRequested(result)) return Next::kStop;
    buildFrame(frame::kAnswer, g.currentHt, frame::blockOf(g.recv), frame::ACK, nullptr, 0);
    if (int32_t e = sendAndWait(&kind)) {
        *result = static_cast<uint32_t>(k + 1) >= announced ? 0 : e;
        return *result == 0 ? Next::kEnd : Next::kStop;
    }
    return whatFollows(kind, result);
}

}  // namespace

int32_t upload(int32_t handle, const char* htArg, const std::string& folder, UploadList* list,
               int32_t show, bool keepWindow, host::WindowType keptType) {
    HtField ht(htArg);
    if (!handleValid(handle)) return VSK_E_HANDLE;
    if (list == nullptr) return VSK_E_PARAM;
    purgeInput();
    int32_t clear =
        list->Count < 0 ? 0 : (list->Count > VSK_MAX_FILES ? VSK_MAX_FILES : list->Count);
    std::memset(list->Entries, 0, sizeof(UploadEntry) * static_cast<size_t>(clear));
    if (list->SaveMode < VSK_SAVE_OVERWRITE || list->SaveMode > VSK_SAVE_NEW_ONLY || !ht.valid())
        return VSK_E_PARAM;
    if (!platform::folderExists(folder)) return VSK_E_PC_FOLDER_MISSING;
    clearAbort();
    setCurrentHt(ht.text);
    if (int32_t r = cancelledBeforeStart()) return r;
    // Before the terminal is waiting on us.
    platform::removeStaleTemps(folderPrefix(folder));

    buildCommand(frame::cmd::kBatchUpload);
    int kind = 0;
    if (int32_t r = exchangeRepeatingNak(false, &kind)) return r;
    if (kind != kData) {
        int32_t refused = xfer::refusal(kind);
        return refused ? refused : VSK_E_RECEIVE;
    }
    const int32_t announced = field::decimal(replyData(), replyLength());
    list->Count = announced;
    if (announced > kMostFilesAnnounced) {
        // No terminal holds that many files: refused before its first header.
        xfer::refuseFile('0');
        return VSK_E_RECEIVE;
    }

    xfer::Window window(show, keepWindow ? keptType : host::WindowType::kBatchUpload, !keepWindow);
    window.open("");
    UploadRun run{folderPrefix(folder), list->SaveMode, window};
    int32_t result = 0;
    for (int k = 0; k < announced; ++k) {
        if (abortRequested(&result)) break;
        if (k == 0 && (result = readFirstHeader()) != 0) break;
        UploadEntry* entry = k < VSK_MAX_FILES ? &list->Entries[k] : nullptr;
        Next next = receiveEntry(run, entry, k, static_cast<uint32_t>(announced), &result);
        if (next != Next::kHeader) break;
        if (k + 1 == announced) {
            // A file more than the terminal announced.
            xfer::refuseFile(frame::blockOf(state().recv));
            result = VSK_E_RECEIVE;
        }
    }
    xfer::finalise(run.touched);
    for (int k = 0; k < run.touched; ++k) list->Entries[k].Outcome = xfer::slot(k).outcome;
    return result;
}

}  // namespace vsk::batch
