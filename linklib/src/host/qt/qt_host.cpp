// The Qt host module (veska-qthost.so, Qt Core only): dispatches the calling
// thread's Qt events while the library waits on the line, and waits for the
// line inside the event dispatcher, so that a waiting call wakes only when a
// byte, an event or the end of its wait is due. It is loaded by the library
// into processes that already run Qt 6; only its entry point is visible.
// Nothing may unwind out of it into the library, so every entry catches what
// Qt or the caller's event handlers throw; only a thread's cancellation goes
// on unwinding, as it must.
#include <cxxabi.h>

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QtGlobal>
#include <algorithm>
#include <optional>

#include "host/qt_host_abi.h"

namespace vsk::qthost {

namespace {

const VskQtHostCallbacks* g_callbacks = nullptr;

void requestAbort() {
    if (g_callbacks != nullptr && g_callbacks->requestAbort != nullptr) g_callbacks->requestAbort();
}

bool eventsHere() {
    return QCoreApplication::instance() != nullptr &&
           QAbstractEventDispatcher::instance(QThread::currentThread()) != nullptr;
}

// Qt's state after a throwing handler cannot be trusted: the call stops
// (1003) instead of reporting success.
void handlerThrew() {
    qWarning("veska: an event handler threw during a library call; the call is aborted");
    requestAbort();
}

int32_t hasEvents() {
    try {
        return eventsHere() ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

void dispatch() {
    try {
        if (eventsHere()) QCoreApplication::processEvents(QEventLoop::AllEvents);
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        handlerThrew();
    }
}

// One round of the event dispatcher that may block: the notifiers and the
// timer are events too, so it returns as soon as a descriptor is readable,
// any event was processed or the time is up.
void waitInDispatcher(intptr_t fd1, intptr_t fd2, uint32_t ms) {
    std::optional<QSocketNotifier> first, second;
    if (fd1 >= 0) first.emplace(static_cast<qintptr>(fd1), QSocketNotifier::Read);
    if (fd2 >= 0) second.emplace(static_cast<qintptr>(fd2), QSocketNotifier::Read);
    QTimer due;
    due.setSingleShot(true);
    due.setTimerType(Qt::PreciseTimer);
    due.start(static_cast<int>(std::min<uint32_t>(ms, 24u * 3600u * 1000u)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

int32_t waitForInput(intptr_t fd1, intptr_t fd2, uint32_t ms) {
    try {
        if (!eventsHere()) return 0;
        if (ms == 0) {
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        } else {
            waitInDispatcher(fd1, fd2, ms);
        }
        return 1;
    } catch (abi::__forced_unwind&) {
        throw;
    } catch (...) {
        handlerThrew();
        return 1;
    }
}

// Widgets live on the thread of a widgets application; Qt Core can tell
// without linking Qt Widgets.
int32_t windowsHere() {
    try {
        QCoreApplication* app = QCoreApplication::instance();
        return app != nullptr && app->inherits("QApplication") &&
                       QThread::currentThread() == app->thread()
                   ? 1
                   : 0;
    } catch (...) {
        return 0;
    }
}

const VskQtHostApi kApi = {kVskQtHostAbi, hasEvents, dispatch, waitForInput, windowsHere};

}  // namespace

}  // namespace vsk::qthost

extern "C" __attribute__((visibility("default"))) const VskQtHostApi* veska_qt_host_entry(
    const VskQtHostCallbacks* callbacks) {
    vsk::qthost::g_callbacks = callbacks;
    return &vsk::qthost::kApi;
}
