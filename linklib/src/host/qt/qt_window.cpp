// The Qt window module (veska-qtwindow.so, Qt Widgets): keeps the library's
// progress window. The library loads it only when a call asks for the window
// and the process has a widgets application, so programs that never show the
// window never map a GUI library. Only its entry point is visible; nothing
// unwinds out of it into the library.
#include <QApplication>
#include <QPointer>
#include <QThread>

#include "host/qt_host_abi.h"
#include "progress_window.h"

namespace vsk::qthost {

namespace {

const VskQtHostCallbacks* g_callbacks = nullptr;
// The program's own handlers may delete the window (say, every top-level
// window) while events are dispatched: the pointer then drops to null.
QPointer<ProgressWindow> g_window;

void abortPressed() {
    if (g_callbacks != nullptr && g_callbacks->requestAbort != nullptr) g_callbacks->requestAbort();
}

// Widgets live on the thread of a widgets application.
bool windowsHere() {
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app != nullptr && QThread::currentThread() == app->thread();
}

void setupWindow(const char* ht, const char* name, int32_t type) {
    try {
        if (g_window != nullptr)
            g_window->setUp(QString::fromUtf8(ht), QString::fromUtf8(name), type);
    } catch (...) {
    }
}

void closeWindow() {
    try {
        ProgressWindow* window = g_window.data();
        g_window = nullptr;
        if (window != nullptr) {
            window->remove();
            delete window;
        }
    } catch (...) {
    }
}

int32_t openWindow(const char* ht, const char* name, int32_t type) {
    try {
        if (g_window == nullptr) {
            if (!windowsHere()) return 0;
            g_window = new ProgressWindow(abortPressed);
            g_window->setUp(QString::fromUtf8(ht), QString::fromUtf8(name), type);
            // Opened from a modal dialog, the window must be modal too, or
            // the dialog would keep its abort button from being pressed.
            if (QApplication::activeModalWidget() != nullptr)
                g_window->setWindowModality(Qt::ApplicationModal);
            g_window->show();
            g_window->raise();
            g_window->activateWindow();
        } else {
            g_window->setUp(QString::fromUtf8(ht), QString::fromUtf8(name), type);
        }
        return 1;
    } catch (...) {
        // A window that cannot be made: the operation runs without one.
        closeWindow();
        return 0;
    }
}

void showProgress(int32_t done, int32_t total) {
    try {
        if (g_window != nullptr) g_window->showProgress(done, total);
    } catch (...) {
    }
}

int32_t windowOpen() {
    return g_window.isNull() ? 0 : 1;
}

const VskQtWindowApi kApi = {kVskQtHostAbi, openWindow,  setupWindow,
                             showProgress,  closeWindow, windowOpen};

}  // namespace

}  // namespace vsk::qthost

extern "C" __attribute__((visibility("default"))) const VskQtWindowApi* veska_qt_window_entry(
    const VskQtHostCallbacks* callbacks) {
    vsk::qthost::g_callbacks = callbacks;
    return &vsk::qthost::kApi;
}
