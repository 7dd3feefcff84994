#include "gui/shell/single_instance_lock.h"

#include <QDir>
#include <QStandardPaths>

namespace quarlink {

SingleInstanceLock::SingleInstanceLock(QString lockFilePath) : path_(std::move(lockFilePath)), lock_(path_) {
    // An instance runs for days: a time-based staleness would let a second
    // start take the lock from a live first one. Only a dead holder is stale.
    lock_.setStaleLockTime(0);
}

SingleInstanceLock::Result SingleInstanceLock::tryAcquire() {
    if (lock_.tryLock(0)) return Result::Acquired;
    return lock_.error() == QLockFile::LockFailedError ? Result::HeldByOther : Result::Unavailable;
}

void SingleInstanceLock::release() { lock_.unlock(); }

QString SingleInstanceLock::defaultLockFilePath() {
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    return QDir(folder).filePath(QStringLiteral("MultiplexStartingPreventionTest.lock"));
}

}  // namespace quarlink
