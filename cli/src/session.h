// The serial session of one run, and the Ctrl-C path that aborts a running call.
#pragma once

#include <cstdint>
#include <memory>

#include "line_options.h"

namespace veskactl {

class Session {
  public:
    explicit Session(int32_t handle);
    ~Session();  // stops routing signals to the session, then closes it
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int32_t handle() const { return handle_; }

    // Runs one library call unless an interrupt arrived before it. A request
    // that comes between two calls would otherwise be lost: every operation
    // clears the pending abort when it starts.
    template <typename Call>
    int32_t run(Call call) {
        if (interruptRequested()) return VSK_E_ABORT_PC;
        return call(handle_);
    }

    static bool interruptRequested();

  private:
    int32_t handle_;
};

// Opens the port with `line`, or reports why it could not be opened and
// returns nullptr. SIGINT and SIGTERM (Ctrl-C and Ctrl-Break on Windows)
// abort calls from then on.
std::unique_ptr<Session> openSession(const LineOptions& line);

// After a command that a signal ended has cleaned up: ends the process by
// that signal, with the handler put back to the default, so that a shell
// sees 130 or 143 and a service manager sees a stop rather than a failure
// (on Windows: STATUS_CONTROL_C_EXIT). Returns only when no signal came.
void endByInterruptSignal();

// For runs that open and close their session themselves (auto-mode jobs):
// while the route lives, SIGINT and SIGTERM call `abort(context)` from the
// signal handler (on Windows from the console's control thread), so `abort`
// must be async-signal-safe and lock-free. A signal that came
// before the route still shows in Session::interruptRequested().
class InterruptRoute {
  public:
    using AbortCall = void (*)(void* context);
    InterruptRoute(AbortCall abort, void* context);
    ~InterruptRoute();
    InterruptRoute(const InterruptRoute&) = delete;
    InterruptRoute& operator=(const InterruptRoute&) = delete;

    void abort() const { abort_(context_); }

  private:
    AbortCall abort_;
    void* context_;
};

}  // namespace veskactl
