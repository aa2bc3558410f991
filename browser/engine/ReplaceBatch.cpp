#include "ReplaceBatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <set>

namespace qlon {

namespace fs = std::filesystem;

namespace {

// Below this many files a sync of each is cheaper than one of the whole
// file system, which also waits for every other program's writes.
constexpr std::size_t kFewFiles = 8;

class TFd {
 public:
  TFd(const fs::path& path, int flags, mode_t mode = 0) : fd_(::open(path.c_str(), flags | O_CLOEXEC, mode)) {}
  ~TFd() {
    if (fd_ >= 0) ::close(fd_);
  }
  TFd(const TFd&) = delete;
  TFd& operator=(const TFd&) = delete;
  int get() const { return fd_; }
  bool Close() {
    const int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(size_t(n));
  }
  return true;
}

bool SyncDirectory(const fs::path& dir) {
  TFd fd(dir, O_RDONLY | O_DIRECTORY);
  return fd.get() >= 0 && ::fsync(fd.get()) == 0;
}

}  // namespace

TReplaceBatch::TReplaceBatch(fs::path folder) : folder_(std::move(folder)), staging_(folder_ / kStagingFolder) {
  // What a crashed batch left; its targets were never touched.
  std::error_code ec;
  fs::remove_all(staging_, ec);
}

TReplaceBatch::~TReplaceBatch() { Discard(); }

bool TReplaceBatch::Stage(const fs::path& target, std::string_view bytes, std::function<void()> replaced) {
  std::error_code ec;
  if (entries_.empty() && !fs::create_directory(staging_, ec) && ec) return false;
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  const fs::path staged = staging_ / std::to_string(next_++);
  TFd fd(staged, O_WRONLY | O_CREAT | O_EXCL, 0666);
  if (fd.get() < 0) return false;
  // A replaced file keeps its permissions; a new one gets the umask's.
  const bool ok = (!exists || ::fchmod(fd.get(), old.st_mode & 07777) == 0) && WriteAll(fd.get(), bytes);
  if (!fd.Close() || !ok) {
    ::unlink(staged.c_str());
    return false;
  }
  entries_.push_back({staged, target, std::move(replaced)});
  stagedBytes_ += bytes.size();
  return true;
}

bool TReplaceBatch::SyncStaged() const {
  if (entries_.size() > kFewFiles) {
    TFd fd(folder_, O_RDONLY | O_DIRECTORY);
    return fd.get() >= 0 && ::syncfs(fd.get()) == 0;
  }
  for (const TEntry& e : entries_) {
    TFd fd(e.staged, O_RDONLY);
    if (fd.get() < 0 || ::fdatasync(fd.get()) != 0) return false;
  }
  return true;
}

bool TReplaceBatch::Commit() {
  if (entries_.empty()) return true;
  if (!SyncStaged()) {
    Discard();
    return false;
  }
  bool all = true;
  std::set<fs::path> directories{staging_};
  std::vector<std::function<void()>> done;
  for (TEntry& e : entries_) {
    if (::rename(e.staged.c_str(), e.target.c_str()) != 0) {
      all = false;
      continue;
    }
    directories.insert(e.target.parent_path());
    if (e.replaced) done.push_back(std::move(e.replaced));
  }
  for (const fs::path& dir : directories) all = SyncDirectory(dir) && all;
  Discard();
  for (auto& action : done) action();
  return all;
}

void TReplaceBatch::Discard() {
  for (const TEntry& e : entries_) ::unlink(e.staged.c_str());
  entries_.clear();
  stagedBytes_ = 0;
  ::rmdir(staging_.c_str());
}

}  // namespace qlon
