// One copy of a tool per user: the first copy holds a lock file; a second
// copy finds it held and ends at once.
#pragma once

#include <QString>
#include <memory>

class QLockFile;

namespace vsk::ui {

class SingleInstance {
  public:
    // `name` names the tool; the lock lives in the user's runtime folder.
    explicit SingleInstance(const QString& name);
    ~SingleInstance();
    // True when another copy of the tool already runs.
    bool anotherIsRunning() const { return !held_; }

  private:
    std::unique_ptr<QLockFile> lock_;
    bool held_ = false;
};

}  // namespace vsk::ui
