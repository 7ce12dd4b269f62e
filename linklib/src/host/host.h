// What the library needs from the program hosting it while it waits on the
// line: a chance to dispatch the calling thread's pending events (so the
// caller's timers and buttons keep working and can call back in), a wait
// that sleeps until the line, an event or the time-out is due, and the
// library's own progress window. Without a GUI there are no events and no
// window.
#pragma once

#include <cstdint>

namespace vsk::host {

// Dispatches the calling thread's pending events, if the host has any.
void dispatchEvents();

// An operation starts (after the busy check): what the host kept from the
// last one's waits no longer applies.
void callStarted();

// How long a host without events to keep alive blocks in one wait on the
// line at most (an abort from a signal handler interrupts the wait anyway).
constexpr uint32_t kPlainWaitSliceMs = 100;

// Blocks until the descriptor `port` (-1: none) has input, one of the
// calling thread's events has been dispatched, an abort has been requested,
// or `ms` milliseconds have passed, whichever comes first; pending events are
// dispatched on the way. False when the host has no events to wait on: the
// caller then waits on the line itself, at most kPlainWaitSliceMs at a time.
bool waitForInput(intptr_t port, uint32_t ms);

// The descriptor `port` given to waitForInput is about to be closed.
void forgetPort(intptr_t port);

// Wakes a wait in waitForInput because an abort was requested. Safe from a
// signal handler and from any thread.
void wakeForAbort();

// The progress window's kinds of operation.
enum class WindowType : int32_t {
    kUpload = 0,
    kDownload = 1,
    kApInstall = 2,
    kOsInstall = 3,
    kBatchUpload = 4,
    kBatchDownload = 5,
    kPollingUpload = 6,
    kPollingDownload = 7,
};

// Opens the progress window when `show` is non-zero and the host can show
// one; otherwise the operation runs without a window.
void openWindow(int32_t handle, const char* ht, const char* name, int32_t show, WindowType type);
// Shows a new HT number and file name in the open window.
void setupWindow(const char* ht, const char* name, WindowType type);
void showProgress(int32_t done, int32_t total);
void closeWindow();
bool windowOpen();

}  // namespace vsk::host
