#include "NamedMutex.h"

#include <cerrno>
#include <chrono>
#include <thread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QCryptographicHash>

#include "PlatformRoot.h"

namespace qlon::platform {

namespace {

constexpr std::size_t kMaxReadableName = 150;

bool KeptInFileName(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == ' ' || c == '.' ||
         c == '_' || c == '-';
}

// Opens the lock file and tries to lock it; -1 when another holder has it
// (or the file cannot be opened).
int OpenLocked(const std::filesystem::path& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  int rc;
  do rc = ::flock(fd, LOCK_EX | LOCK_NB);
  while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

std::string SafeObjectFileName(std::string_view name, std::string_view suffix) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (KeptInFileName(c)) {
      out += ch;
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  // "." and ".." alone, or a leading dot, would be special or hidden.
  if (out.empty() || out[0] == '.') out.insert(0, "%");
  if (out.size() > kMaxReadableName) {
    const QByteArray hash =
        QCryptographicHash::hash(QByteArray(name.data(), static_cast<qsizetype>(name.size())), QCryptographicHash::Sha1)
            .toHex();
    out = out.substr(0, kMaxReadableName - 41) + "~" + hash.toStdString();
  }
  return out + std::string(suffix);
}

NamedMutex::NamedMutex(std::string name) : name_(std::move(name)) {}

NamedMutex::~NamedMutex() { Unlock(); }

std::filesystem::path NamedMutex::LockPath(std::string_view name) {
  return RootFolder("run") / SafeObjectFileName(name, ".lock");
}

bool NamedMutex::TryLock() {
  if (fd_ < 0) fd_ = OpenLocked(LockPath(name_));
  return fd_ >= 0;
}

bool NamedMutex::Lock(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!TryLock()) {
    if (timeoutMs >= 0 && std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

void NamedMutex::Unlock() {
  if (fd_ < 0) return;
  ::close(fd_);  // closing the only descriptor releases the flock
  fd_ = -1;
}

bool NamedMutex::IsHeldElsewhere(std::string_view name) {
  const std::filesystem::path path = LockPath(name);
  const int fd = OpenLocked(path);
  if (fd < 0) return ::access(path.c_str(), F_OK) == 0;
  ::close(fd);
  return false;
}

}  // namespace qlon::platform
