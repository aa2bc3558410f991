#include "NamedSharedLock.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "NamedMutex.h"
#include "PlatformRoot.h"

namespace qlon::platform {

NamedSharedLock::NamedSharedLock(std::string name) : name_(std::move(name)) {
  const std::filesystem::path path = RootFolder("run") / SafeObjectFileName(name_, ".rwlock");
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
}

NamedSharedLock::~NamedSharedLock() {
  if (fd_ >= 0) ::close(fd_);
}

bool NamedSharedLock::Lock(int operation, int timeoutMs) {
  if (fd_ < 0) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (::flock(fd_, operation | LOCK_NB) == 0) {
      held_ = true;
      return true;
    }
    if (errno != EWOULDBLOCK && errno != EINTR) return false;
    if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

bool NamedSharedLock::LockShared(int timeoutMs) { return Lock(LOCK_SH, timeoutMs); }
bool NamedSharedLock::LockExclusive(int timeoutMs) { return Lock(LOCK_EX, timeoutMs); }

void NamedSharedLock::Unlock() {
  if (fd_ >= 0 && held_) ::flock(fd_, LOCK_UN);
  held_ = false;
}

}  // namespace qlon::platform
