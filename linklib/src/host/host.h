// What the library needs from the program hosting it while it waits on the
// line: a chance to dispatch the calling thread's pending events (so the
// caller's timers and buttons keep working and can call back in), and the
// library's own progress window. Without a GUI both do nothing.
#pragma once

#include <cstdint>

namespace vsk::host {

// Dispatches the calling thread's pending events, if the host has any.
void dispatchEvents();

// How long one wait for a byte may block before events are dispatched again:
// about a millisecond for a host with events to keep alive, longer for one
// without (an abort from a signal handler interrupts the wait anyway).
uint32_t waitSliceMs();

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
