#pragma once
// A named mutex shared by every process of the user: an exclusive flock on
// a file "<name>.lock" in the run folder of the platform root.
//
// The lock belongs to the open file, so it is released when the holder
// closes it or dies, crash included: no stale lock survives a process. Two
// NamedMutex objects of one process exclude each other like two processes.
// The file descriptor is close-on-exec, so programs started by the holder
// never keep the lock alive after it.
//
// "The mutex exists" in the Windows sense maps to "some process holds the
// lock": opening an existing mutex fails and creating it succeeds exactly
// when nobody holds it, and both happen in one atomic step.
#include <filesystem>
#include <string>
#include <string_view>

namespace qlon::platform {

class NamedMutex {
 public:
  explicit NamedMutex(std::string name);
  ~NamedMutex();
  NamedMutex(const NamedMutex&) = delete;
  NamedMutex& operator=(const NamedMutex&) = delete;

  // Takes the lock when nobody holds it; true when this object holds it.
  bool TryLock();
  // Waits at most timeoutMs (negative: forever) for the lock.
  bool Lock(int timeoutMs);
  void Unlock();
  bool IsHeld() const { return fd_ >= 0; }
  const std::string& name() const { return name_; }

  // True when another holder (process or object) has the lock right now.
  static bool IsHeldElsewhere(std::string_view name);

  // The lock file of a name. Names may hold any byte: "/" and other bytes
  // outside [A-Za-z0-9 ._-] are written %XX, very long names are shortened
  // with a hash, so every name stays one file inside the run folder.
  static std::filesystem::path LockPath(std::string_view name);

 private:
  std::string name_;
  int fd_ = -1;
};

// A file name made from any object name, as described at LockPath.
std::string SafeObjectFileName(std::string_view name, std::string_view suffix);

}  // namespace qlon::platform
