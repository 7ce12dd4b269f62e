#include "single_instance.h"

#include <QDir>
#include <QLockFile>
#include <QStandardPaths>

namespace vsk::ui {

namespace {

QString lockFolder() {
    QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty()) return runtime;
    return QDir::tempPath();
}

}  // namespace

SingleInstance::SingleInstance(const QString& name)
    : lock_(std::make_unique<QLockFile>(
          QDir(lockFolder()).filePath(name + QStringLiteral(".lock")))) {
    // A lock left by a copy that crashed is taken over (its process is gone).
    lock_->setStaleLockTime(0);
    held_ = lock_->tryLock(0);
}

SingleInstance::~SingleInstance() = default;

}  // namespace vsk::ui
