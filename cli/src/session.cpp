#include "session.h"

#include <atomic>
#include <cstdio>
#include <iostream>

#include "platform/interrupts.h"
#include "report.h"
#include "veska.h"

namespace veskactl {
namespace {

// Read and written by the interrupt handler, which runs in a signal handler on
// POSIX and on a thread of its own on Windows: lock-free atomics only.
std::atomic<int32_t> gSessionHandle{0};
std::atomic<int32_t> gInterrupted{0};
std::atomic<const InterruptRoute*> gRoute{nullptr};
static_assert(std::atomic<int32_t>::is_always_lock_free &&
                  std::atomic<const InterruptRoute*>::is_always_lock_free,
              "the session and the route are read in the interrupt handler");

// Only async-signal-safe work here: the library's abort request is, and so
// must be a route's.
void onInterrupt(int request) {
    gInterrupted = request;
    int32_t handle = gSessionHandle;
    if (handle != 0) Vsk_Suspend(handle);
    if (const InterruptRoute* route = gRoute.load()) route->abort();
}

void installInterruptHandlers() {
    vsk::platform::installInterruptHandler(onInterrupt);
}

}  // namespace

Session::Session(int32_t handle) : handle_(handle) {
    gSessionHandle = handle;
}

Session::~Session() {
    gSessionHandle = 0;
    Vsk_ComClose(handle_);
}

bool Session::interruptRequested() {
    return gInterrupted != 0;
}

void endByInterruptSignal() {
    const int32_t request = gInterrupted;
    if (request == 0) return;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    vsk::platform::endByInterrupt(request);
}

InterruptRoute::InterruptRoute(AbortCall call, void* context) : abort_(call), context_(context) {
    gRoute = this;
    installInterruptHandlers();
}

InterruptRoute::~InterruptRoute() {
    gRoute = nullptr;
}

std::unique_ptr<Session> openSession(const LineOptions& line) {
    installInterruptHandlers();
    const LineSettings settings = toLineSettings(line);
    int32_t handle = 0;
    int32_t code = Vsk_ComOpen(&handle, line.port, 0, &settings);
    if (code != VSK_OK) {
        reportOpenFailure(line, code);
        return nullptr;
    }
    auto session = std::make_unique<Session>(handle);
    if (Session::interruptRequested()) {
        reportFailure("open port " + std::to_string(line.port), VSK_E_ABORT_PC);
        return nullptr;
    }
    return session;
}

}  // namespace veskactl
