#include "FilePool.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>

namespace fs = std::filesystem;

namespace qlon {

namespace {

// Files a thread makes before it hands them over: a claim seldom waits for a
// folder in which a file is being made.
constexpr int kBatch = 8;
// Files made in place before the pool may start.
constexpr std::size_t kProbes = 16;

}  // namespace

int MakeEmptyFile(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd < 0) return errno;
  ::close(fd);
  return 0;
}

TFilePool::TFilePool(const std::string& captureFolder, int threads, std::size_t ahead, double slowMicros)
    : folder_((fs::path(captureFolder) / kPoolFolder).string()),
      ahead_(ahead),
      threadCount_(threads),
      slowLimit_(slowMicros) {
  disabled_ = captureFolder.empty();
  std::error_code ec;
  if (!disabled_) fs::remove_all(folder_, ec);  // what a killed run left
}

void TFilePool::Start() {
  started_ = true;
  std::error_code ec;
  if (disabled_ || !fs::create_directory(folder_, ec)) {
    disabled_ = true;
    return;
  }
  for (int lane = 0; lane < threadCount_; ++lane) threads_.emplace_back([this, lane] { Make(lane); });
}

TFilePool::~TFilePool() {
  {
    std::lock_guard guard(lock_);
    stopping_ = true;
  }
  wanted_.notify_all();
  for (auto& thread : threads_) thread.join();
  if (started_) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
}

void TFilePool::Make(int lane) {
  // Two folders a thread, taking turns: the files of the one just handed
  // over are moved away while the other fills.
  std::string folders[2];
  for (int i = 0; i < 2; ++i) {
    folders[i] = folder_ + "/" + std::to_string(lane * 2 + i);
    if (::mkdir(folders[i].c_str(), 0700) != 0) return;
  }
  unsigned long next = 0;
  for (int turn = 0;; turn ^= 1) {
    {
      std::unique_lock guard(lock_);
      wanted_.wait(guard, [&] { return stopping_ || disabled_ || ready_.size() + kBatch <= ahead_; });
      if (stopping_ || disabled_) return;
    }
    std::vector<std::string> batch;
    for (int i = 0; i < kBatch; ++i) {
      std::string name = folders[turn] + "/" + std::to_string(next++);
      if (MakeEmptyFile(name.c_str()) != 0) break;  // claims make their files themselves
      batch.push_back(std::move(name));
    }
    std::lock_guard guard(lock_);
    for (auto& name : batch) ready_.push_back(std::move(name));
    if (batch.size() < std::size_t(kBatch)) return;
  }
}

int TFilePool::Claim(const char* path) {
  std::string ready;
  bool wanted = false;
  if (started_) {
    std::lock_guard guard(lock_);
    if (!disabled_ && !ready_.empty()) {
      ready = std::move(ready_.front());
      ready_.pop_front();
      // A thread is woken only when there is room for its batch: waking it
      // sooner costs two futex calls for nothing.
      wanted = ready_.size() + kBatch <= ahead_;
    }
  }
  if (!ready.empty()) {
    if (wanted) wanted_.notify_one();
    // A move never replaces what is at the name, nor follows a link there.
    if (::renameat2(AT_FDCWD, ready.c_str(), AT_FDCWD, path, RENAME_NOREPLACE) == 0) {
      std::lock_guard guard(lock_);
      ++moved_;
      return 0;
    }
    const int error = errno;
    struct stat st {};
    const bool kept = ::lstat(ready.c_str(), &st) == 0;
    std::lock_guard guard(lock_);
    if (kept) ready_.push_front(std::move(ready));
    if (error == EEXIST) return error;
    // A file system that cannot move so: the files are made in place from now on.
    if (error == EINVAL || error == ENOSYS) {
      disabled_ = true;
      wanted_.notify_all();
    }
    // Else the making in place says what is wrong with the name.
  }
  return MakeInPlace(path);
}

int TFilePool::MakeInPlace(const char* path) {
  const auto begin = std::chrono::steady_clock::now();
  const int error = MakeEmptyFile(path);
  if (error != 0) return error;
  const auto spent = std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - begin);
  std::lock_guard guard(lock_);
  ++madeInPlace_;
  if (!started_) {
    // Where a file is made quickly, a move costs as much: the threads start
    // only once the files made here prove slow.
    averageMicros_ = (averageMicros_ * 7 + double(spent.count())) / 8;
    if (madeInPlace_ >= kProbes && averageMicros_ > slowLimit_) Start();
  }
  return 0;
}

std::size_t TFilePool::Moved() const {
  std::lock_guard guard(lock_);
  return moved_;
}

std::size_t TFilePool::MadeInPlace() const {
  std::lock_guard guard(lock_);
  return madeInPlace_;
}

std::size_t TFilePool::Ready() const {
  std::lock_guard guard(lock_);
  return ready_.size();
}

}  // namespace qlon
