#include "NamedEvent.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include "NamedMutex.h"
#include "PlatformRoot.h"

namespace qlon::platform {

NamedEvent::NamedEvent(std::string name, bool initiallySignalled) : name_(std::move(name)) {
  const std::filesystem::path path = RootFolder("run") / SafeObjectFileName(name_, ".event");
  fd_ = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd_ >= 0) {
    Write(initiallySignalled ? '1' : '0');
    return;
  }
  if (errno == EEXIST) fd_ = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
}

NamedEvent::~NamedEvent() {
  if (fd_ >= 0) ::close(fd_);
}

void NamedEvent::Write(char state) {
  if (fd_ < 0) return;
  while (::pwrite(fd_, &state, 1, 0) < 0 && errno == EINTR) {
  }
}

void NamedEvent::Set() { Write('1'); }
void NamedEvent::Reset() { Write('0'); }

bool NamedEvent::IsSet() const {
  char state = 0;
  if (fd_ < 0) return false;
  ssize_t n;
  do n = ::pread(fd_, &state, 1, 0);
  while (n < 0 && errno == EINTR);
  return n == 1 && state == '1';
}

bool NamedEvent::Wait(int timeoutMs) const {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!IsSet()) {
    if (fd_ < 0 || (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline)) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

}  // namespace qlon::platform
