// The host for Qt programs. The Qt code itself sits in a module of its own
// (veska-qthost.so, beside the library in a "veska" folder) that is loaded
// only once the process has Qt 6 loaded, so the library never pulls Qt into
// a program that does not use it. Until then, or when the module cannot be
// loaded, this host behaves like the one without a GUI.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

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
};

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

// The module's path: "veska/veska-qthost.so" in the folder this library was
// loaded from, made absolute while the library loads, since the name it was
// loaded by may be relative to a working folder the program changes later.
std::string resolveModulePath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&resolveModulePath), &info) == 0 ||
        info.dli_fname == nullptr)
        return {};
    char real[PATH_MAX];
    if (realpath(info.dli_fname, real) == nullptr) return {};
    std::string self = real;
    return self.substr(0, self.rfind('/')) + "/veska/veska-qthost.so";
}

const std::string& modulePath() {
    static const std::string path = resolveModulePath();
    return path;
}

// Taken when the library is loaded.
[[maybe_unused]] const std::string& g_modulePathAtLoad = modulePath();

const VskQtHostApi* loadModule() {
    const std::string& path = modulePath();
    if (path.empty()) return nullptr;
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) return nullptr;
    auto entry = reinterpret_cast<VskQtHostEntry>(dlsym(module, VSK_QT_HOST_ENTRY));
    const VskQtHostApi* api = entry != nullptr ? entry(&kCallbacks) : nullptr;
    if (api == nullptr || api->abi != kVskQtHostAbi) {
        dlclose(module);
        return nullptr;
    }
    return api;  // stays loaded for the life of the process
}

const VskQtHostApi* qtHost() {
    Loader& l = loader();
    if (l.api != nullptr || l.gaveUp) return l.api;
    uint32_t now = platform::tickMs();
    if (l.probed && now - l.lastProbe < kProbeIntervalMs) return nullptr;
    l.probed = true;
    l.lastProbe = now;
    if (!qtLoaded()) return nullptr;
    l.api = loadModule();
    l.gaveUp = l.api == nullptr;
    return l.api;
}

// Terminal names are CP932 bytes; the window shows UTF-8.
std::string shown(const char* cp932) {
    std::string utf8;
    if (cp932 == nullptr) return utf8;
    if (!platform::cp932ToUtf8(cp932, &utf8)) utf8 = cp932;
    return utf8;
}

}  // namespace

void dispatchEvents() {
    if (const VskQtHostApi* api = qtHost()) api->dispatch();
}

uint32_t waitSliceMs() {
    const VskQtHostApi* api = qtHost();
    return api != nullptr && api->hasEvents() ? 1 : 100;
}

void openWindow(int32_t, const char* ht, const char* name, int32_t show, WindowType type) {
    if (show == 0) return;
    if (const VskQtHostApi* api = qtHost())
        api->openWindow(shown(ht).c_str(), shown(name).c_str(), static_cast<int32_t>(type));
}

void setupWindow(const char* ht, const char* name, WindowType type) {
    if (const VskQtHostApi* api = qtHost())
        api->setupWindow(shown(ht).c_str(), shown(name).c_str(), static_cast<int32_t>(type));
}

void showProgress(int32_t done, int32_t total) {
    if (const VskQtHostApi* api = qtHost()) api->showProgress(done, total);
}

void closeWindow() {
    if (const VskQtHostApi* api = qtHost()) api->closeWindow();
}

bool windowOpen() {
    const VskQtHostApi* api = qtHost();
    return api != nullptr && api->windowOpen() != 0;
}

}  // namespace vsk::host
