// Ctrl-C and Ctrl-Break through the console's control handler. Windows runs
// the handler on a thread of its own while the program's threads go on, so
// the handler only reads one lock-free pointer and calls the program's
// handler, which must be as careful. Closing the console, logging off and
// shutting down keep the default (the process ends).
#include <windows.h>

#include <atomic>
#include <csignal>

#include "platform/interrupts.h"

namespace vsk::platform {
namespace {

std::atomic<InterruptHandler> gHandler{nullptr};
static_assert(std::atomic<InterruptHandler>::is_always_lock_free,
              "the handler is read on the console's control thread");
std::atomic<bool> gRegistered{false};

BOOL WINAPI onConsoleControl(DWORD type) {
    int request = 0;
    if (type == CTRL_C_EVENT)
        request = SIGINT;
    else if (type == CTRL_BREAK_EVENT)
        request = SIGBREAK;
    InterruptHandler handler = gHandler.load();
    if (request == 0 || handler == nullptr) return FALSE;
    handler(request);
    return TRUE;
}

}  // namespace

void installInterruptHandler(InterruptHandler handler) {
    gHandler = handler;
    // Registered once: each registration would be another entry in the
    // console's list.
    if (!gRegistered.exchange(true)) SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

void endByInterrupt(int /*request*/) {
    // What the console's default handler ends a process with.
    ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
}

std::thread threadWithoutInterrupts(std::function<void()> body) {
    return std::thread(std::move(body));
}

}  // namespace vsk::platform
