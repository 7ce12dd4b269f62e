// The host for Qt programs. The Qt code itself sits in two modules beside the
// library in a "veska" folder: veska-qthost.so (Qt Core: events and the wait)
// is loaded only once the process has Qt 6 loaded, so the library never pulls
// Qt into a program that does not use it; veska-qtwindow.so (Qt Widgets: the
// progress window) only when a call asks for the window and the process has a
// widgets application, so a program with Qt Core alone (veskactl) never maps
// a GUI library. Until then, or when a module cannot be loaded, this host
// behaves like the one without a GUI.
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "host/host.h"
#include "host/qt_host_abi.h"
#include "platform/clock.h"
#include "platform/text.h"
#include "session.h"

namespace vsk::host {

namespace {

// A process may load Qt after its first call; look again at most this often.
constexpr uint32_t kProbeIntervalMs = 1000;

struct Loader {
    const VskQtHostApi* api = nullptr;
    bool gaveUp = false;  // Qt is there but the module is not usable
    bool probed = false;
    uint32_t lastProbe = 0;
    const VskQtWindowApi* window = nullptr;
    bool windowGaveUp = false;  // a widgets application, but no window module
};

// A pipe that an abort request writes to, so that a wait in the event
// dispatcher (which a signal does not end) wakes for it. Made when the Qt
// module loads; read by the waits, written from any thread or signal handler.
std::atomic<int> g_wakeRead{-1};
std::atomic<int> g_wakeWrite{-1};
std::atomic<bool> g_wakePending{false};

void makeWakePipe() {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK | O_CLOEXEC) != 0) return;  // waits then end by their time-out
    g_wakeRead.store(fds[0]);
    g_wakeWrite.store(fds[1]);
}

// Empties the pipe once an abort has been written to it, so that later waits
// block again. Set after the write, the flag cannot leave a byte unread for
// good: a byte written after this look is found by the next one.
void drainWakePipe() {
    if (!g_wakePending.exchange(false)) return;
    const int saved = errno;
    char sink[64];
    while (read(g_wakeRead.load(), sink, sizeof sink) > 0) {
    }
    errno = saved;  // the last system error is the caller's, not ours
}

Loader& loader() {
    static Loader l;
    return l;
}

void abortFromWindow() {
    requestAbort();
}

const VskQtHostCallbacks kCallbacks = {abortFromWindow};

bool qtLoaded() {
    void* core = dlopen("libQt6Core.so.6", RTLD_LAZY | RTLD_NOLOAD);
    if (core == nullptr) return false;
    dlclose(core);  // drops only the reference the test took
    return true;
}

// The modules' folder: "veska/" in the folder this library was loaded from,
// made absolute while the library loads, since the name it was loaded by may
// be relative to a working folder the program changes later.
std::string resolveModuleFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&resolveModuleFolder), &info) == 0 ||
        info.dli_fname == nullptr)
        return {};
    char real[PATH_MAX];
    if (realpath(info.dli_fname, real) == nullptr) return {};
    std::string self = real;
    return self.substr(0, self.rfind('/')) + "/veska/";
}

const std::string& moduleFolder() {
    static const std::string folder = resolveModuleFolder();
    return folder;
}

// Taken when the library is loaded.
[[maybe_unused]] const std::string& g_moduleFolderAtLoad = moduleFolder();

// Loads module `file` and asks its entry point `entryName` for its table;
// null unless the table carries this library's ABI number. A module once
// loaded stays for the life of the process.
template <typename Api>
const Api* loadModule(const char* file, const char* entryName) {
    if (moduleFolder().empty()) return nullptr;
    const std::string path = moduleFolder() + file;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return nullptr;
    using Entry = const Api* (*)(const VskQtHostCallbacks*);
    auto entry = reinterpret_cast<Entry>(dlsym(module, entryName));
    const Api* api = entry != nullptr ? entry(&kCallbacks) : nullptr;
    if (api == nullptr || api->abi != kVskQtHostAbi) {
        dlclose(module);
        return nullptr;
    }
    return api;
}

const VskQtHostApi* qtHost() {
    Loader& l = loader();
    if (l.api != nullptr || l.gaveUp) return l.api;
    uint32_t now = platform::tickMs();
    if (l.probed && now - l.lastProbe < kProbeIntervalMs) return nullptr;
    l.probed = true;
    l.lastProbe = now;
    if (!qtLoaded()) return nullptr;
    l.api = loadModule<VskQtHostApi>("veska-qthost.so", VSK_QT_HOST_ENTRY);
    l.gaveUp = l.api == nullptr;
    if (l.api != nullptr) makeWakePipe();
    return l.api;
}

// The window module, loaded on the first call that asks for the window from
// the thread of a widgets application; null in any other process.
const VskQtWindowApi* qtWindow(bool load) {
    Loader& l = loader();
    if (l.window != nullptr || l.windowGaveUp || !load) return l.window;
    const VskQtHostApi* api = qtHost();
    if (api == nullptr || api->windowsHere() == 0) return nullptr;
    l.window = loadModule<VskQtWindowApi>("veska-qtwindow.so", VSK_QT_WINDOW_ENTRY);
    l.windowGaveUp = l.window == nullptr;
    return l.window;
}

// Terminal names are CP932 bytes; the window shows UTF-8.
std::string shown(const char* cp932) {
    std::string utf8;
    if (cp932 == nullptr) return utf8;
    if (!platform::cp932ToPc(cp932, &utf8)) utf8 = cp932;
    return utf8;
}

}  // namespace

void callStarted() {}

void dispatchEvents() {
    if (const VskQtHostApi* api = qtHost()) api->dispatch();
}

bool waitForInput(intptr_t port, uint32_t ms) {
    const VskQtHostApi* api = qtHost();
    if (api == nullptr) return false;
    const bool waited = api->waitForInput(port, g_wakeRead.load(), ms) != 0;
    drainWakePipe();
    return waited;
}

void forgetPort(intptr_t port) {
    if (const VskQtHostApi* api = loader().api) api->forget(port);
}

void wakeForAbort() {
    const int fd = g_wakeWrite.load();
    if (fd < 0) return;
    const int saved = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing else can go wrong here.
    [[maybe_unused]] ssize_t n = write(fd, &byte, 1);
    g_wakePending.store(true);
    errno = saved;
}

void openWindow(int32_t, const char* ht, const char* name, int32_t show, WindowType type) {
    if (show == 0) return;
    if (const VskQtWindowApi* api = qtWindow(true))
        api->openWindow(shown(ht).c_str(), shown(name).c_str(), static_cast<int32_t>(type));
}

void setupWindow(const char* ht, const char* name, WindowType type) {
    if (const VskQtWindowApi* api = qtWindow(false))
        api->setupWindow(shown(ht).c_str(), shown(name).c_str(), static_cast<int32_t>(type));
}

void showProgress(int32_t done, int32_t total) {
    if (const VskQtWindowApi* api = qtWindow(false)) api->showProgress(done, total);
}

void closeWindow() {
    if (const VskQtWindowApi* api = qtWindow(false)) api->closeWindow();
}

bool windowOpen() {
    const VskQtWindowApi* api = qtWindow(false);
    return api != nullptr && api->windowOpen() != 0;
}

}  // namespace vsk::host
