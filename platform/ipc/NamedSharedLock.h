#pragma once
// A named lock held shared by any number of holders or exclusively by one,
// across processes: flock on "<name>.rwlock" in the run folder.
//
// Each object has its own open file, so two objects of one process exclude
// each other like two processes, and a holder that dies (crash included)
// releases its hold: a reader count kept this way can never stay above
// zero for a reader that is gone.
#include <string>

namespace qlon::platform {

class NamedSharedLock {
 public:
  explicit NamedSharedLock(std::string name);
  ~NamedSharedLock();
  NamedSharedLock(const NamedSharedLock&) = delete;
  NamedSharedLock& operator=(const NamedSharedLock&) = delete;

  // Wait at most timeoutMs (0: try once, negative: forever). Taking a hold
  // while one is kept converts it (not atomically).
  bool LockShared(int timeoutMs);
  bool LockExclusive(int timeoutMs);
  void Unlock();
  bool IsHeld() const { return held_; }

 private:
  bool Lock(int operation, int timeoutMs);

  std::string name_;
  int fd_ = -1;
  bool held_ = false;
};

}  // namespace qlon::platform
