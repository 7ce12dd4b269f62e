#include "session.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "report.h"
#include "veska.h"

namespace veskactl {
namespace {

volatile sig_atomic_t gSessionHandle = 0;
volatile sig_atomic_t gInterrupted = 0;
std::atomic<const InterruptRoute*> gRoute{nullptr};
static_assert(std::atomic<const InterruptRoute*>::is_always_lock_free,
              "the route is read in the signal handler");

// Only async-signal-safe work here: the library's abort request is, and so
// must be a route's.
void onInterrupt(int signal) {
    gInterrupted = signal;
    int32_t handle = gSessionHandle;
    if (handle != 0) Vsk_Suspend(handle);
    if (const InterruptRoute* route = gRoute.load()) route->abort();
}

void installInterruptHandlers() {
    struct sigaction action = {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
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
    const int signal = gInterrupted;
    if (signal == 0) return;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
    sigset_t unblocked;
    sigemptyset(&unblocked);
    sigaddset(&unblocked, signal);
    sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    std::raise(signal);
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
