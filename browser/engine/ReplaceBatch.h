#pragma once
// Files of a capture folder replaced in one batch, each one whole or not at
// all, with one wait for the disk for the batch instead of one per file.
//
//   Stage(target, bytes)  the new bytes go to a file of their own in the
//                         staging folder "<capture folder>/qlon:staged"
//                         (no local name holds ":"), not synced yet;
//   Commit()              every staged file on disk (one syncfs, or an
//                         fdatasync each for a handful), then each renamed
//                         over its target, then one fsync of each directory
//                         touched; then the actions of the files replaced.
// A crash before a rename leaves that target as it was and its staged file
// in the staging folder; a crash after it, the new file. The next batch of
// the folder empties the staging folder before it stages anything (one
// writer per capture folder, as the capture file's lock ensures). A batch
// destroyed without Commit removes what it staged.
#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
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
  // target holds them durably. False when they cannot be staged.
  bool Stage(const std::filesystem::path& target, std::string_view bytes, std::function<void()> replaced = {});
  // Replaces every staged target; false when one or more could not be
  // (those keep their old content, their actions do not run). The batch is
  // empty afterwards either way.
  bool Commit();
  // The bytes staged since the last commit.
  std::size_t StagedBytes() const { return stagedBytes_; }
  std::size_t StagedCount() const { return entries_.size(); }

 private:
  struct TEntry {
    std::filesystem::path staged, target;
    std::function<void()> replaced;
  };
  bool SyncStaged() const;
  void Discard();

  std::filesystem::path folder_, staging_;
  std::vector<TEntry> entries_;
  std::size_t stagedBytes_ = 0;
  unsigned long next_ = 0;
};

}  // namespace qlon
