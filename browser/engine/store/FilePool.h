#pragma once
// Empty files made ahead, on threads of their own, for the names a capture
// claims. Making a file can cost far more than the rest of a record's work
// (ext4 without a journal looks past every inode freed in the last minutes
// in the folder's group for each new one): with the pool, the capture's
// thread claims a name by moving a ready file there, and keeps its sockets
// busy while the files are made elsewhere. Where files are made quickly (a
// move costs as much) the claims make them in place, as without a pool.
//
// The files live in "<capture folder>/qlon:pool" (no local name holds ":"),
// two folders per thread, made at the first claim; the pool removes what was
// not taken when it ends, and a pool made for a folder first removes what a
// killed run left there (as does opening the capture, TWeb::Open; a copy or
// move never takes them). Claim belongs to one thread.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlon {

inline constexpr const char* kPoolFolder = "qlon:pool";

// open(O_CREAT | O_EXCL | O_NOFOLLOW) of an empty file of mode 0644, closed:
// 0, or the errno of the failure.
int MakeEmptyFile(const char* path);

class TFilePool {
 public:
  // `slowMicros`: the average time to make a file in place, over the first
  // claims, above which the threads start.
  explicit TFilePool(const std::string& captureFolder, int threads = 4, std::size_t ahead = 64,
                     double slowMicros = 100);
  ~TFilePool();
  TFilePool(const TFilePool&) = delete;
  TFilePool& operator=(const TFilePool&) = delete;

  // An empty file of mode 0644 at `path`, unless something is there already
  // (never through a link there): what open(O_CREAT | O_EXCL | O_NOFOLLOW)
  // and a close would do. 0, or the errno of the failure.
  int Claim(const char* path);

  // Files given by a move, and those made at the claim for want of one.
  std::size_t Moved() const;
  std::size_t MadeInPlace() const;
  // Files made ahead and not claimed yet.
  std::size_t Ready() const;

 private:
  void Start();
  void Make(int lane);
  // Makes the file where it is claimed; before the threads start, times it.
  int MakeInPlace(const char* path);

  std::string folder_;
  std::size_t ahead_;
  int threadCount_;
  double slowLimit_;
  bool started_ = false;  // the claims' thread's alone
  mutable std::mutex lock_;
  std::condition_variable wanted_;
  std::deque<std::string> ready_;
  bool stopping_ = false;
  bool disabled_ = false;
  std::size_t moved_ = 0, madeInPlace_ = 0;
  double averageMicros_ = 0;  // the files made in place: a running average of the time each took
  std::vector<std::thread> threads_;
};

}  // namespace qlon
