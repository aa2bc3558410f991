#include "ReplaceBatch.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
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

// The mode a file made with 0666 gets, from the process's umask as the
// kernel reports it (reading it with umask() would change it for a moment
// under the other threads); -1 when it is not reported.
int CreatedMode() {
  std::FILE* status = std::fopen("/proc/self/status", "re");
  if (!status) return -1;
  char line[256];
  unsigned mask = 0;
  bool found = false;
  while (!found && std::fgets(line, sizeof line, status)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
  std::fclose(status);
  return found ? int(0666 & ~mask) : -1;
}

}  // namespace

TReplaceBatch::TReplaceBatch(fs::path folder)
    : folder_(std::move(folder)), staging_(folder_ / kStagingFolder), createdMode_(CreatedMode()) {
  // What a crashed batch left; its targets were never touched.
  std::error_code ec;
  fs::remove_all(staging_, ec);
}

TReplaceBatch::~TReplaceBatch() { Discard(); }

bool TReplaceBatch::Stage(const fs::path& target, std::string_view bytes, std::function<void()> replaced) {
  if (Background) {
    const std::size_t entry = entries_.size();
    Adopt({}, target, bytes.size(), std::move(replaced));
    {
      std::lock_guard guard(lock_);
      ++writing_;
    }
    Background([this, entry, target, bytes = std::string(bytes)](int lane) {
      fs::path staged = WriteStaged(target, bytes, lane);
      std::lock_guard guard(lock_);
      writes_[entry] = std::move(staged);
      --writing_;
      written_.notify_all();
    });
    return true;
  }
  fs::path staged = WriteStaged(target, bytes);
  if (staged.empty()) return false;
  Adopt(std::move(staged), target, bytes.size(), std::move(replaced));
  return true;
}

void TReplaceBatch::TakeWritten() {
  std::unique_lock guard(lock_);
  written_.wait(guard, [&] { return writing_ == 0; });
  for (auto& [entry, staged] : writes_) entries_[entry].staged = std::move(staged);
  writes_.clear();
}

fs::path TReplaceBatch::WriteStaged(const fs::path& target, std::string_view bytes, int lane, int* error) {
  auto failed = [error] {
    if (error) *error = errno;
    return fs::path();
  };
  // Staged files are named by number, lanes' folders not.
  const fs::path folder = lane > 0 ? staging_ / ("lane" + std::to_string(lane)) : staging_;
  struct stat old {};
  const bool exists = ::stat(target.c_str(), &old) == 0;
  fs::path staged = folder / std::to_string(next_++);
  std::optional<TFd> fd;
  fd.emplace(staged, O_WRONLY | O_CREAT | O_EXCL, 0666);
  // The folders are made by the first file staged in them. Lanes make
  // theirs at the same time: one that exists is fine.
  if (fd->get() < 0 && errno == ENOENT) {
    for (const fs::path& dir : {staging_, folder})
      if (::mkdir(dir.c_str(), 0777) != 0 && errno != EEXIST) return failed();
    fd.emplace(staged, O_WRONLY | O_CREAT | O_EXCL, 0666);
  }
  if (fd->get() < 0) return failed();
  // A replaced file keeps its permissions; a new one gets the umask's.
  const int mode = int(old.st_mode & 07777);
  bool ok = (!exists || mode == createdMode_ || ::fchmod(fd->get(), mode_t(mode)) == 0) && WriteAll(fd->get(), bytes);
  int reason = ok ? 0 : errno;
  // A lane starts writing its file out now, so the commit's sync finds
  // less to wait for.
  if (ok && lane > 0) ::sync_file_range(fd->get(), 0, 0, SYNC_FILE_RANGE_WRITE);
  if (!fd->Close() && ok) {
    ok = false;
    reason = errno;
  }
  if (!ok) {
    ::unlink(staged.c_str());
    errno = reason ? reason : EIO;
    return failed();
  }
  return staged;
}

void TReplaceBatch::Adopt(fs::path staged, const fs::path& target, std::size_t size, std::function<void()> replaced) {
  entries_.push_back({std::move(staged), target, std::move(replaced)});
  stagedBytes_ += size;
}

bool TReplaceBatch::SyncStaged() const {
  if (entries_.size() > kFewFiles) {
    TFd fd(folder_, O_RDONLY | O_DIRECTORY);
    return fd.get() >= 0 && ::syncfs(fd.get()) == 0;
  }
  for (const TEntry& e : entries_) {
    if (e.staged.empty()) continue;  // not written
    TFd fd(e.staged, O_RDONLY);
    if (fd.get() < 0 || ::fdatasync(fd.get()) != 0) return false;
  }
  return true;
}

bool TReplaceBatch::Commit() {
  TakeWritten();
  if (entries_.empty()) return true;
  if (!SyncStaged()) {
    Discard();
    return false;
  }
  bool all = true;
  std::set<fs::path> directories;
  std::vector<std::function<void()>> done;
  std::vector<fs::path> old;  // staged names that hold a replaced file's old bytes
  for (TEntry& e : entries_) {
    if (e.staged.empty()) {  // a background write that failed
      all = false;
      continue;
    }
    const bool swapped = Dispose && ::renameat2(AT_FDCWD, e.staged.c_str(), AT_FDCWD, e.target.c_str(),
                                                RENAME_EXCHANGE) == 0;
    if (!swapped && ::rename(e.staged.c_str(), e.target.c_str()) != 0) {
      all = false;
      ::unlink(e.staged.c_str());
      continue;
    }
    directories.insert(e.staged.parent_path());
    directories.insert(e.target.parent_path());
    if (swapped) old.push_back(std::move(e.staged));
    if (e.replaced) done.push_back(std::move(e.replaced));
  }
  entries_.clear();
  stagedBytes_ = 0;
  for (const fs::path& dir : directories) all = SyncDirectory(dir) && all;
  if (!old.empty()) Dispose(std::move(old));
  if (!Dispose) Discard();
  for (auto& action : done) action();
  return all;
}

void TReplaceBatch::Discard() {
  TakeWritten();
  for (const TEntry& e : entries_)
    if (!e.staged.empty()) ::unlink(e.staged.c_str());
  entries_.clear();
  stagedBytes_ = 0;
  // With the lanes' folders, now empty.
  std::error_code ec;
  fs::remove_all(staging_, ec);
}

}  // namespace qlon
