#include "single_instance.h"

#include <QApplication>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>

namespace vsk::ui {

namespace {

constexpr int kAskTimeoutMs = 1000;
const QByteArray kShowRequest = QByteArrayLiteral("show\n");

QString lockFolder() {
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) return runtime;
    return QDir::tempPath();
}

QWidget* windowToShow() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow() && w->parentWidget() == nullptr) return w;
    return nullptr;
}

void readRequest(QLocalSocket* socket) {
    if (!socket->canReadLine()) return;
    if (socket->readLine(64) == kShowRequest) bringApplicationToFront();
    socket->disconnectFromServer();
}

}  // namespace

void bringApplicationToFront() {
    QWidget* w = windowToShow();
    if (w == nullptr) return;
    // A modal dialog's owner has to come back too, or the dialog stays
    // hidden behind a minimised window.
    for (QWidget* top = w; top != nullptr; top = top->parentWidget())
        if (top->isWindow() && top->isMinimized())
            top->setWindowState((top->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    w->show();
    w->raise();
    w->activateWindow();
}

SingleInstance::SingleInstance(const QString& name)
    : socketPath_(QDir(lockFolder()).filePath(name + QStringLiteral(".sock"))),
      lock_(std::make_unique<QLockFile>(
          QDir(lockFolder()).filePath(name + QStringLiteral(".lock")))) {
    // A lock left by a copy that crashed is taken over (its process is gone).
    lock_->setStaleLockTime(0);
    held_ = lock_->tryLock(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::serveRequestsToShow() {
    if (!held_ || server_) return server_ != nullptr;
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    // Whoever holds the lock owns the socket: one left by a copy that
    // crashed is ours to replace.
    QLocalServer::removeServer(socketPath_);
    if (!server->listen(socketPath_)) return false;
    QLocalServer* s = server.get();
    QObject::connect(s, &QLocalServer::newConnection, s, [s] {
        while (QLocalSocket* socket = s->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [socket] { readRequest(socket); });
            readRequest(socket);
        }
    });
    server_ = std::move(server);
    return true;
}

bool SingleInstance::askRunningCopyToShow() const {
    QLocalSocket socket;
    socket.connectToServer(socketPath_);
    if (!socket.waitForConnected(kAskTimeoutMs)) return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(kAskTimeoutMs)) return false;
    // The running copy hangs up once it has read the request.
    socket.waitForDisconnected(kAskTimeoutMs);
    return true;
}

}  // namespace vsk::ui
