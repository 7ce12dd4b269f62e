// Requests to stop (Ctrl-C) reaching a command-line program while it waits in
// the library: POSIX signals, or the Windows console's control handler. The
// handler runs inside a signal handler on POSIX and on a thread of its own on
// Windows, so it may only do async-signal-safe, lock-free work.
#pragma once

#include <functional>
#include <thread>

namespace vsk::platform {

// Called with the request's signal number: SIGINT or SIGTERM on POSIX,
// SIGINT (Ctrl-C) or SIGBREAK (Ctrl-Break) on Windows.
using InterruptHandler = void (*)(int request);

// From now on every such request calls `handler` instead of ending the
// process. Installing again replaces the handler.
void installInterruptHandler(InterruptHandler handler);

// Ends the process as `request` would have ended it without a handler, so
// that a shell sees 130 or 143 (STATUS_CONTROL_C_EXIT on Windows) and a
// service manager sees a stop rather than a failure. Flush the program's own
// output first.
void endByInterrupt(int request);

// Starts `body` on a thread that never takes a request: on POSIX the signals
// go to the thread that sits in the library's wait, whose wait ends early on
// EINTR. Throws std::system_error like std::thread.
std::thread threadWithoutInterrupts(std::function<void()> body);

}  // namespace vsk::platform
