// Tests of windows wait for what they expect while the event loop runs,
// never for a fixed time.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
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

}  // namespace vsk::testing
