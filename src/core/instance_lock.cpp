#include "core/instance_lock.h"

#include <QDir>

InstanceLock::InstanceLock(const QString& directory)
    : lock_(QDir(directory).filePath(QStringLiteral("selvantrix.lock"))) {
  // Held for as long as a window stays open: never taken for stale while
  // its holder lives (QLockFile still takes over from a dead one).
  lock_.setStaleLockTime(0);
}

// Only another holder is a refusal: a directory where no lock file can be
// made is the database's to report, in its own words, when it opens.
bool InstanceLock::TryLock(int waitMs) {
  return lock_.tryLock(waitMs) || lock_.error() != QLockFile::LockFailedError;
}
