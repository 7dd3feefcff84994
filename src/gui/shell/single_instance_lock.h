#pragma once
#include <QLockFile>
#include <QString>

namespace quarlink {

// One running quarlink per user. A lock file (not a local socket) because a
// killed instance's lock is recognised by its dead process id and taken over.
class SingleInstanceLock {
public:
    enum class Result { Acquired, HeldByOther, Unavailable };

    explicit SingleInstanceLock(QString lockFilePath = defaultLockFilePath());

    Result tryAcquire();
    void release();
    const QString& path() const { return path_; }

    // In the user's runtime folder, named after the system's mutex.
    static QString defaultLockFilePath();

private:
    QString path_;
    QLockFile lock_;
};

}  // namespace quarlink
