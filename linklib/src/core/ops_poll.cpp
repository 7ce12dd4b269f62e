// Asking one terminal whether it is there.
#include "ops.h"
#include "session.h"

namespace vsk::ops {

int32_t polling(int32_t handle, const char* htArg, int32_t pollingMs) {
    char ht[4];
    field::blankFill(ht, sizeof ht, htArg);
    clearAbort();
    if (!handleValid(handle)) return VSK_E_HANDLE;
    if (!frame::htValid(ht) || pollingMs < VSK_MIN_POLLING_MS || pollingMs > VSK_MAX_POLLING_MS)
        return VSK_E_PARAM;
    purgeInput();
    setCurrentHt(ht);
    TimeoutOverride pollingTimeout(static_cast<uint32_t>(pollingMs));
    buildCommand(frame::cmd::kPolling);
    for (uint32_t attempt = 1;; ++attempt) {
        if (int32_t reason = abortReason()) return reason;
        int32_t r = exchange(1);
        if (r == VSK_E_TIMEOUT) return VSK_E_POLL_TIMEOUT;
        if (r != 0) return r;
        if (classifyReply() == frame::kind::kAck) return 0;
        if (attempt >= state().retry) return VSK_E_RECEIVE;
    }
}

}  // namespace vsk::ops
