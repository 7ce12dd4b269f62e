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
#include <QPointer>
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

// How many waits of the library are running on this thread (a handler cannot
// start another, but nothing here relies on that).
thread_local int t_waits = 0;

struct InWait {
    InWait() { ++t_waits; }
    ~InWait() { --t_waits; }
};

// A read notifier that stays armed from one wait to the next: a transfer
// waits for the line many times a second, and arming and disarming a
// notifier each time wakes the event dispatcher once more. One that fires
// outside a wait is disarmed, so that input nobody reads yet cannot keep the
// program's own event loop busy; the library disarms the port's before it
// closes it (forget()).
class Watch {
  public:
    void arm(intptr_t fd, QObject* owner) {
        if (notifier_ == nullptr || notifier_->socket() != fd) {
            delete notifier_.data();
            notifier_ = new QSocketNotifier(static_cast<qintptr>(fd), QSocketNotifier::Read, owner);
            QSocketNotifier* n = notifier_.data();
            QObject::connect(n, &QSocketNotifier::activated, n, [n] {
                if (t_waits == 0) n->setEnabled(false);
            });
        } else if (!notifier_->isEnabled()) {
            notifier_->setEnabled(true);
        }
    }
    // For a wait that is not for this descriptor (input waiting there would
    // end every round of it at once).
    void disarm() {
        if (notifier_ != nullptr) notifier_->setEnabled(false);
    }
    void forget(intptr_t fd) {
        if (notifier_ != nullptr && notifier_->socket() == fd) delete notifier_.data();
    }

  private:
    QPointer<QSocketNotifier> notifier_;  // owned by the application object
};

Watch g_port;
Watch g_abortPipe;
QPointer<QTimer> g_due;

QTimer* dueTimer(QObject* owner) {
    if (g_due == nullptr) {
        g_due = new QTimer(owner);
        g_due->setSingleShot(true);
        g_due->setTimerType(Qt::PreciseTimer);
    }
    return g_due.data();
}

void processEventsOrWait() {
    InWait waiting;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

// One round of the event dispatcher that may block: the notifiers and the
// timer are events too, so it returns as soon as a descriptor is readable,
// any event was processed or the time is up. On the application's thread the
// notifiers and the timer are kept (children of the application object); on
// another thread with a dispatcher they are made for the one wait.
void waitInDispatcher(intptr_t port, intptr_t abortPipe, uint32_t ms) {
    const int timeout = static_cast<int>(std::min<uint32_t>(ms, 24u * 3600u * 1000u));
    QCoreApplication* app = QCoreApplication::instance();
    if (QThread::currentThread() == app->thread()) {
        if (port >= 0) {
            g_port.arm(port, app);
        } else {
            g_port.disarm();
        }
        if (abortPipe >= 0) g_abortPipe.arm(abortPipe, app);
        QTimer* due = dueTimer(app);
        due->start(timeout);
        processEventsOrWait();
        if (g_due != nullptr) g_due->stop();  // no wake-up for a wait already over
        return;
    }
    std::optional<QSocketNotifier> first, second;
    if (port >= 0) first.emplace(static_cast<qintptr>(port), QSocketNotifier::Read);
    if (abortPipe >= 0) second.emplace(static_cast<qintptr>(abortPipe), QSocketNotifier::Read);
    QTimer due;
    due.setSingleShot(true);
    due.setTimerType(Qt::PreciseTimer);
    due.start(timeout);
    processEventsOrWait();
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

void forget(intptr_t fd) {
    try {
        if (QCoreApplication::instance() != nullptr &&
            QThread::currentThread() == QCoreApplication::instance()->thread())
            g_port.forget(fd);
    } catch (...) {
    }
}

const VskQtHostApi kApi = {kVskQtHostAbi, hasEvents, dispatch, waitForInput, forget, windowsHere};

}  // namespace

}  // namespace vsk::qthost

extern "C" __attribute__((visibility("default"))) const VskQtHostApi* veska_qt_host_entry(
    const VskQtHostCallbacks* callbacks) {
    vsk::qthost::g_callbacks = callbacks;
    return &vsk::qthost::kApi;
}
