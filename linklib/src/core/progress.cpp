// Abort requests, the progress counters and the system error text. None of
// these takes the busy flag: callers use them while another call runs.
#include <cstring>

#include "ops.h"
#include "platform/syserror.h"
#include "session.h"

namespace vsk::ops {
namespace {

// Blanks, then the text's characters over the start, without an end mark.
void fillText(char* out, size_t width, const char* text, size_t textCap) {
    std::memset(out, ' ', width);
    for (size_t i = 0; i < width && i < textCap && text[i] != '\0'; ++i) out[i] = text[i];
}

}  // namespace

int32_t suspend(int32_t handle) {
    // Only atomic loads and stores: safe from a signal handler.
    if (!handleValid(handle)) return VSK_E_HANDLE;
    requestAbort();
    return 0;
}

int32_t getProcess(int32_t handle, ProgressRecord* progress) {
    if (!handleValid(handle)) return VSK_E_HANDLE;
    if (progress == nullptr) return VSK_E_PARAM;
    const State& g = state();
    char ht[4], name[13];
    g.progress.texts(ht, name);
    fillText(progress->HtNo, sizeof progress->HtNo, ht, sizeof ht);
    fillText(progress->FileName, sizeof progress->FileName, name, sizeof name);
    const int64_t total = g.progress.total();
    progress->Percent =
        total > 0 ? static_cast<int32_t>(static_cast<int64_t>(g.progress.done()) * 100 / total) : 0;
    return g.inTransfer.load() ? 0 : VSK_E_NOT_IN_TRANSFER;
}

int32_t clrProcess(int32_t handle) {
    if (!handleValid(handle)) return VSK_E_HANDLE;
    State& g = state();
    if (g.inTransfer.load()) return VSK_E_CLR_REFUSED;
    g.progress.clear();
    return 0;
}

int32_t sysErrorMessage(char* buffer) {
    int32_t code = platform::lastSysError();
    if (code == 0 || buffer == nullptr) return 0;
    char text[256];
    if (!platform::sysErrorText(code, text, sizeof text)) return 0;
    // No end mark: the caller's buffer keeps its tail (callers fill it first).
    // NOLINTNEXTLINE(bugprone-not-null-terminated-result): the documented contract
    std::memcpy(buffer, text, std::strlen(text));
    return code;
}

}  // namespace vsk::ops
