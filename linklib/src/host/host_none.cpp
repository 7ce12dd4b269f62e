// The host for programs without a GUI: nothing to dispatch, no window.
#include "host/host.h"

namespace vsk::host {

void dispatchEvents() {}

void callStarted() {}

bool waitForInput(intptr_t, uint32_t) {
    return false;
}

void forgetPort(intptr_t) {}

void wakeForAbort() {}

void openWindow(int32_t, const char*, const char*, int32_t, WindowType) {}
void setupWindow(const char*, const char*, WindowType) {}
void showProgress(int32_t, int32_t) {}
void closeWindow() {}
bool windowOpen() {
    return false;
}

}  // namespace vsk::host
