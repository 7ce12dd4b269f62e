// One copy of a tool per user: the first copy holds a lock file and listens
// on a local socket beside it; a second copy finds the lock held and asks the
// running copy, over that socket, to bring its window to the front.
#pragma once

#include <QString>
#include <memory>

class QLocalServer;
class QLockFile;

namespace vsk::ui {

class SingleInstance {
  public:
    // `name` names the tool; the lock and the socket live in the user's
    // runtime folder.
    explicit SingleInstance(const QString& name);
    ~SingleInstance();
    // True when another copy of the tool already runs.
    bool anotherIsRunning() const { return !held_; }

    // The first copy: from now on, a second copy's request brings this
    // copy's window (its modal dialog, when one is open) to the front.
    // False when the socket cannot be set up; the copy runs on regardless.
    bool serveRequestsToShow();
    // A second copy: asks the running copy to show its window. False when
    // it could not be asked within a second (it may be an older copy, or
    // stuck); the caller then says so itself.
    bool askRunningCopyToShow() const;

  private:
    QString socketPath_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<QLocalServer> server_;
    bool held_ = false;
};

// Brings the application's window to the front: its modal dialog when one is
// open, else its first visible top-level window, restored if minimised.
void bringApplicationToFront();

}  // namespace vsk::ui
