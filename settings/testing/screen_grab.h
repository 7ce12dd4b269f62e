// The README's pictures show windows as a user sees them: with the window
// manager's frame, title and program icon, taken from the screen.
#pragma once

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>
#include <cstdio>

namespace vsk::testing {

// Lets the window manager and the windows catch up for `ms`.
inline void settle(int ms = 200) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(5);
    }
}

// Waits (up to 3 s) until `w` is on the screen and the window manager has
// stopped moving and sizing it.
inline void waitUntilPlaced(QWidget& w) {
    QElapsedTimer t, still;
    t.start();
    still.start();
    QRect last;
    while (t.elapsed() < 3000) {
        settle(20);
        const QRect frame = w.frameGeometry();
        const bool shown = w.windowHandle() != nullptr && w.windowHandle()->isExposed();
        if (frame != last || !shown || frame.width() < 8) {
            last = frame;
            still.restart();
        } else if (still.elapsed() >= 250) {
            return;
        }
    }
}

// `w` with its frame as it stands on the screen, brought to the front first;
// the window's own drawing where the screen cannot be read.
inline QPixmap grabWithFrame(QWidget& w) {
    w.raise();
    w.activateWindow();
    waitUntilPlaced(w);
    const QRect frame = w.frameGeometry();
    QScreen* screen = w.screen() != nullptr ? w.screen() : QGuiApplication::primaryScreen();
    if (screen != nullptr && frame.width() >= 8) {
        const QPoint origin = frame.topLeft() - screen->geometry().topLeft();
        QPixmap shot = screen->grabWindow(0, origin.x(), origin.y(), frame.width(), frame.height());
        if (!shot.isNull()) return shot;
    }
    return w.grab();
}

// Writes `w` as it stands on the screen to `folder`/`name` and prints the path.
inline void saveScreenshot(QWidget& w, const QString& folder, const char* name) {
    const QString path = QDir(folder).filePath(QString::fromUtf8(name));
    if (!grabWithFrame(w).save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    std::printf("%s\n", qPrintable(path));
}

}  // namespace vsk::testing
