#pragma once
// Files of a capture folder replaced in one batch, each one whole or not at
// all, with one wait for the disk for the batch instead of one per file.
//
//   Stage(target, bytes)  the new bytes go to a file of their own in the
//                         staging folder "<capture folder>/qlon:staged"
//                         (no local name holds ":"), not synced yet;
//   Commit()              every staged file on disk (one syncfs, or an
//                         fdatasync each for a handful), then each renamed
//                         over its target (or swapped with it, see
//                         Dispose), then one fsync of each directory
//                         touched; then the actions of the files replaced.
// A crash before a rename leaves that target as it was and its staged file
// in the staging folder; a crash after it, the new file. The next batch of
// the folder empties the staging folder before it stages anything (one
// writer per capture folder, as the capture file's lock ensures). A batch
// destroyed without Commit removes what it staged.
//
// Stage is WriteStaged then Adopt. WriteStaged may run on several threads
// at once (it only writes a file of its own); Adopt, Commit and the rest
// belong to the batch's owner, and the targets are replaced in the order
// they were adopted.
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qlon {

inline constexpr const char* kStagingFolder = "qlon:staged";

class TReplaceBatch {
 public:
  explicit TReplaceBatch(std::filesystem::path folder);
  ~TReplaceBatch();
  TReplaceBatch(const TReplaceBatch&) = delete;
  TReplaceBatch& operator=(const TReplaceBatch&) = delete;

  // Stages the bytes that replace `target` (a file of the folder, new or
  // not; an existing one keeps its permissions). `replaced` runs once the
  // target holds them durably. False when they cannot be staged (with
  // Background: at the commit).
  bool Stage(const std::filesystem::path& target, std::string_view bytes, std::function<void()> replaced = {});
  // When set, Stage hands the writing of the staged file to it (a task to
  // run on another thread, in a lane of its own) and returns at once: a
  // file made in a folder waits for the disk as much as for the folder's
  // other files. Commit waits for those writes first; one that failed makes
  // it fail, its target unchanged.
  std::function<void(std::function<void(int lane)>)> Background;
  // The bytes in a new file of the staging folder, with the permissions of
  // the target when it exists; empty when they cannot be written (the
  // system's reason in `error` when given). Each lane above 0 stages in a
  // folder of its own: files made in one folder wait for each other.
  std::filesystem::path WriteStaged(const std::filesystem::path& target, std::string_view bytes, int lane = 0,
                                    int* error = nullptr);
  // Takes a file WriteStaged made into the batch.
  void Adopt(std::filesystem::path staged, const std::filesystem::path& target, std::size_t size,
             std::function<void()> replaced = {});
  // Replaces every staged target; false when one or more could not be
  // (those keep their old content, their actions do not run). The batch is
  // empty afterwards either way.
  bool Commit();
  // Where the replaced files' old bytes go. When set, a target is swapped
  // with its staged file (RENAME_EXCHANGE) rather than renamed over, and the
  // staged names, which then hold the old bytes, are handed over to be
  // removed (on other threads, later): freeing a file's blocks may wait for
  // the disk (a discard, on some mounts), which renaming over it does for
  // one file after the other. The staging folder then goes with the batch,
  // which must outlive the removals.
  std::function<void(std::vector<std::filesystem::path>)> Dispose;

  // The bytes staged since the last commit.
  std::size_t StagedBytes() const { return stagedBytes_; }
  std::size_t StagedCount() const { return entries_.size(); }

 private:
  struct TEntry {
    std::filesystem::path staged, target;
    std::function<void()> replaced;
  };
  bool SyncStaged() const;
  // Waits for the writes handed to Background and takes their files in.
  void TakeWritten();
  void Discard();

  std::filesystem::path folder_, staging_;
  std::vector<TEntry> entries_;
  std::size_t stagedBytes_ = 0;
  std::atomic<unsigned long> next_ = 0;
  int createdMode_ = -1;  // what the umask gives a new file, -1: unknown

  std::mutex lock_;  // guards what the background writes give back
  std::condition_variable written_;
  int writing_ = 0;
  std::unordered_map<std::size_t, std::filesystem::path> writes_;  // entry -> staged file, empty: failed
};

}  // namespace qlon
