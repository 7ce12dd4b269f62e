// Single-file transfers and installs.
#include <algorithm>
#include <cstring>
#include <initializer_list>

#include "arguments.h"
#include "ops.h"
#include "platform/files.h"
#include "session.h"
#include "transfer.h"

namespace vsk::ops {
namespace {

using frame::kind::kAck;
using frame::kind::kEot;

// Sends the command in the send buffer until the terminal accepts it with one
// of the `accepted` reply kinds (left in the receive buffer), resending on a
// NAK or an unexpected reply up to the retry count.
int32_t untilAccepted(std::initializer_list<int> accepted) {
    for (uint32_t attempt = 1;; ++attempt) {
        if (int32_t r = cancelCheck()) return r;
        if (int32_t reason = abortReason()) return reason;
        if (int32_t r = exchange(1)) return r;
        int kind = classifyReply();
        if (std::find(accepted.begin(), accepted.end(), kind) != accepted.end()) return 0;
        if (int32_t r = xfer::refusal(kind)) return r;
        if (attempt >= state().retry) return VSK_E_RECEIVE;
    }
}

// Command data of the file-sending commands: the name (12) and the size (7 digits).
size_t nameAndSize(uint8_t* out, const NameField& name, int32_t size) {
    std::memcpy(out, name.bytes(), frame::kNameWidth);
    field::digits(reinterpret_cast<char*>(out + frame::kNameWidth), frame::kSizeDigits, size);
    return frame::kNameWidth + frame::kSizeDigits;
}

// Sends a PC file under a command that the terminal acknowledges first.
int32_t sendUnderCommand(const HtField& ht, char code, const std::string& path,
                         const std::string& name, int32_t size, int32_t show,
                         host::WindowType type) {
    prepareCommand(ht);
    NameField nf(name.c_str());
    uint8_t params[frame::kNameWidth + frame::kSizeDigits];
    buildCommand(code, params, nameAndSize(params, nf, size));
    if (int32_t r = untilAccepted({kAck})) return r;
    xfer::InTransfer counting;
    xfer::Window window(show, type);
    window.open(name.c_str());
    xfer::startFile(name.c_str(), ht.text, size);
    window.progress(0, size);
    return xfer::sendFile(path, size, state().retry, &window);
}

}  // namespace

int32_t fileDownload(int32_t handle, const char* htArg, const char* pathArg, int32_t size,
                     int32_t show) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    PathField path(pathArg);
    std::string name;
    if (pathArg == nullptr || !path.valid() || !xfer::terminalNameFor(path.text, false, &name)) {
        return VSK_E_PARAM;
    }
    if (int32_t r = xfer::checkFileToSend(path.text, size)) return r;
    return sendUnderCommand(ht, frame::cmd::kDownload, path.text, name, size, show,
                            host::WindowType::kDownload);
}

int32_t apInstall(int32_t handle, const char* htArg, const char* pathArg, int32_t size,
                  int32_t mode, int32_t show) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    PathField path(pathArg);
    std::string name;
    if (pathArg == nullptr || !path.valid() || !xfer::terminalNameFor(path.text, false, &name)) {
        return VSK_E_PARAM;
    }
    if (int32_t r = xfer::checkFileToSend(path.text, size)) return r;
    if (mode != 0 && mode != 1) return VSK_E_PARAM;
    char code = mode == 1 ? frame::cmd::kApInstallA : frame::cmd::kApInstallB;
    return sendUnderCommand(ht, code, path.text, name, size, show, host::WindowType::kApInstall);
}

int32_t osInstall(int32_t handle, const char* htArg, const char* pathArg, int32_t size,
                  int32_t show) {
    HtField ht(htArg);
    PathField path(pathArg);
    setCurrentHt(ht.text);
    if (!handleValid(handle)) return VSK_E_HANDLE;
    purgeInput();
    if (!ht.valid() || pathArg == nullptr || !path.valid()) return VSK_E_PARAM;
    xfer::InTransfer counting;
    clearAbort();

    if (!platform::pathExists(path.text)) return VSK_E_PC_FILE_MISSING;
    int64_t length = 0;
    if (!platform::fileSize(path.text, &length)) return VSK_E_SYS_READ;
    if (length != size || size > VSK_MAX_FILE_SIZE) return VSK_E_PARAM;
    std::string name;  // as written in the path, blanks removed
    if (!xfer::terminalNameFor(path.text, true, &name)) return VSK_E_PARAM;
    const std::string upper = xfer::upperCased(name);
    if (upper != "SYSTEM.HEX") return VSK_E_NOT_SYSTEM_HEX;
    xfer::startFile(upper.c_str(), ht.text, size);

    NameField nf(name.c_str());
    uint8_t params[frame::kNameWidth + frame::kSizeDigits];
    buildCommand(frame::cmd::kOsInstall, params, nameAndSize(params, nf, size));
    int kind = frame::kind::kUnknown;
    for (uint32_t attempt = 1; attempt <= state().retry; ++attempt) {
        if (int32_t r = cancelCheck()) return r;
        if (int32_t reason = abortReason()) return reason;
        if (int32_t r = exchange(1)) return r;
        kind = classifyReply();
        if (kind != frame::kind::kNak) break;
    }
    if (kind == kAck) {
        xfer::Window window(show, host::WindowType::kOsInstall);
        window.open(name.c_str());
        return xfer::sendFile(path.text, size, state().retry, &window);
    }
    if (int32_t r = xfer::refusal(kind)) return r;
    return kind == kEot ? 0 : VSK_E_RECEIVE;  // after EOT the terminal needs nothing sent
}

int32_t fileUpload(int32_t handle, const char* htArg, int32_t saveMode, const char* folderArg,
                   const char* nameArg, int32_t size, int32_t show) {
    HtField ht(htArg);
    if (int32_t r = checkCall(handle, ht)) return r;
    if (saveMode < VSK_SAVE_OVERWRITE || saveMode > VSK_SAVE_NEW_ONLY || nameArg == nullptr ||
        folderArg == nullptr) {
        return VSK_E_PARAM;
    }
    PathField folder(folderArg);
    if (!folder.valid()) return VSK_E_PARAM;
    if (!platform::folderExists(folder.text)) return VSK_E_PC_FOLDER_MISSING;
    purgeInput();
    NameField name(nameArg);
    std::string pcName;
    // A name that would leave the folder is never written anywhere.
    if (!xfer::pcNameFor(name.trimmed(), &pcName)) return VSK_E_PC_FILE_NAME;
    const std::string prefix = folderPrefix(folder.text);
    const std::string target = prefix + pcName;
    if (saveMode == 2 && platform::pathExists(target)) return VSK_E_SAME_NAME_EXISTS;
    clearAbort();
    setCurrentHt(ht.text);
    // Before the terminal is waiting on us.
    platform::removeStaleTemps(prefix);

    buildCommand(frame::cmd::kUpload, name.bytes(), frame::kNameWidth);
    if (int32_t r = untilAccepted({frame::kind::kData, kEot})) return r;
    const bool empty = frame::typeOf(state().recv) == frame::kEnd;

    if (int32_t r = xfer::prepareUpload(0, saveMode, target, size)) {
        // The terminal has begun sending and waits for our answer: it is
        // told to stop, or it would wait out its own time-out first.
        if (!empty) writeAbortFrame();
        return r;
    }
    xfer::Slot& s = xfer::slot(0);
    xfer::InTransfer counting;
    xfer::Window window(show, host::WindowType::kUpload);
    std::string shown = name.trimmed();
    window.open(shown.c_str());
    xfer::startFile(shown.c_str(), ht.text, size);
    window.progress(0, size);

    int32_t result = 0;
    if (empty) {
        if (!s.file.flush()) result = VSK_E_SYS_WRITE;
    } else {
        result = xfer::receiveFile(s.file, size, false);
    }
    if (result != 0) {
        s.disposition = xfer::Disposition::kDiscard;
        xfer::finalise(1);
        return result;
    }
    s.disposition =
        saveMode == VSK_SAVE_APPEND ? xfer::Disposition::kAppend : xfer::Disposition::kReplace;
    return xfer::finalise(1);
}

}  // namespace vsk::ops
