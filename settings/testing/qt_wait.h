// Tests of windows wait for what they expect while the event loop runs,
// never for a fixed time.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <QTimer>
#include <functional>

namespace vsk::testing {

// Runs the event loop until `done` holds or `ms` have passed; false then.
inline bool waitUntil(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
        if (t.elapsed() > ms) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    return true;
}

// Runs `action` once, from inside the event loop, as soon as `condition`
// holds: during a library call only the library's own dispatching runs, so a
// test acts on a window from a timer, as a user's click would arrive.
inline void whenTrue(QObject* owner, std::function<bool()> condition,
                     std::function<void()> action) {
    auto* timer = new QTimer(owner);
    QObject::connect(timer, &QTimer::timeout, owner, [timer, condition, action] {
        if (!condition()) return;
        timer->stop();
        timer->deleteLater();
        action();
    });
    timer->start(5);
}

}  // namespace vsk::testing
