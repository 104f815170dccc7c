#pragma once

#include <QLockFile>
#include <QString>

inline constexpr const char* kAlreadyRunningMessage = "Selvantrix jest już uruchomiony dla tego katalogu";
// How long a command-line change waits for the lock: as long as the store
// waits for another process's change (20 tries, 100 ms apart).
inline constexpr int kChangeWaitMs = 2000;

// One program at a time on a program directory: the window holds this for
// its whole run, a command-line command that changes something for its
// own. Two windows on one database would each save over the other's view
// of it. A lock left by a process that died is taken over.
class InstanceLock {
 public:
  explicit InstanceLock(const QString& directory);
  // Waits up to `waitMs` for the other holder to finish.
  bool TryLock(int waitMs);

 private:
  QLockFile lock_;
};
