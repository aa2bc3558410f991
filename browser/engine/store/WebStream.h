#pragma once
// The capture file as the capture document and its URL B-tree see it: one
// file, read and written at absolute offsets, opened by one writer at a time,
// whose changes become visible all at once at Commit.
//
// Why a journal: the B-tree writes pages in place between saves (an evicted
// cache slot, a page made by a split, a freed page), while the header block
// that points at them is written only at a save. A writer killed between two
// saves would leave a header that points at pages changed since. So every
// byte range of the last committed file is copied into a rollback journal
// beside it ("<file>-journal") before its first overwrite since that commit.
//
// Journal layout (little-endian):
//   0   8  magic "QLONJRN2"
//   8   8  size of the file at the last commit
//   16  8  identity: a checksum of the file's first 16 KiB (the capture
//          header and the tree's root) as the last commit left them
//   24 ... records: offset (8), length (4), checksum of offset, length and data (4), data
//
// Order of writes, and which one makes the previous ones visible:
//   1. journal header (written under "<file>-journal.new", then renamed, so
//      a journal under its name is never shorter than its header), then
//      fdatasync(journal), before the first write of a transaction (so an
//      interrupted transaction is always undone);
//   2. for a range below the committed size not yet journalled: its original
//      bytes appended to the journal; the write itself is held in memory
//      (reads see it) until up to 1 MiB of such writes wait, then one
//      fdatasync(journal) and the writes; new bytes past the committed size
//      go to the file at once (a rollback truncates them);
//   3. Commit: fsync(file), unlink(journal), fsync(folder). The unlink is the
//      commit point.
// Opening a file whose journal exists (a "hot" journal) copies every complete
// record back, truncates the file to the committed size and removes the
// journal: the file is exactly as the last Commit left it. A torn last record
// is ignored: its write to the file never started (step 2 syncs first).
//
// A journal is applied only to its own file: the file must be at least the
// committed size (a transaction only grows it) and its first 16 KiB, with the
// journal's records laid over them, must give the identity. A journal that
// fails this (another capture's, a stale one beside a restored copy, one of
// an older layout, one of a file that was empty at its last commit, so that
// nothing identifies it, one too short to hold its header) is renamed
// "<file>-journal.orphan" (or ".orphanN") and reported; the capture file is
// left byte for byte as it is.
//
// The lock: the file is held with flock(LOCK_EX | LOCK_NB), so two programs
// never write one capture; it is released when the holder dies.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "Utils.h"

namespace qlon {

// The capture file cannot be opened, read or written.
class EWebStream : public Exception {
 public:
  using Exception::Exception;
};

class TWebStream {
 public:
  enum class Mode {
    Create,    // a new empty file, replacing an existing one
    Open,      // an existing file, read and write; a hot journal is rolled back
    ReadOnly,  // an existing file, reading only, no lock, no recovery
  };

  // Throws EWebStream with the file name and the system's reason.
  TWebStream(const std::filesystem::path& path, Mode mode);
  ~TWebStream();
  TWebStream(const TWebStream&) = delete;
  TWebStream& operator=(const TWebStream&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  static std::filesystem::path JournalPath(const std::filesystem::path& file);
  // Where the open set aside a journal that was not this file's; empty when
  // it found none.
  const std::filesystem::path& SetAsideJournal() const { return setAside_; }
  // Whether that journal was too short to hold its header (empty, or cut).
  bool SetAsideIncomplete() const { return setAsideIncomplete_; }

  uint64_t Size() const { return size_; }
  // Reads exactly n bytes at off; throws EWebStream on a short read.
  void Read(uint64_t off, void* buf, size_t n) const;
  // Reads at most n bytes at off, returns how many were read.
  size_t ReadSome(uint64_t off, void* buf, size_t n) const;
  void Write(uint64_t off, const void* buf, size_t n);

  // Makes every write since the last commit durable and visible at once.
  void Commit();
  // Undoes every write since the last commit.
  void Rollback();

  // Turns fsync off (benchmarks of the algorithm alone); the write order stays.
  void SetSynchronous(bool on) { sync_ = on; }

 private:
  void BeginTransaction();
  void JournalRange(uint64_t off, size_t n);
  void SyncJournal();
  void WritePending();
  void CloseJournal(bool remove);
  // Applies the file's hot journal; one that is not the file's own is set
  // aside (its new name returned) unless `own` (a rollback of this writer).
  static std::filesystem::path RecoverJournal(int fd, const std::filesystem::path& file, bool own,
                                              bool* incomplete = nullptr);
  [[noreturn]] void Fail(const std::string& what) const;

  std::filesystem::path path_;
  std::filesystem::path setAside_;
  bool setAsideIncomplete_ = false;
  int fd_ = -1;
  int journal_ = -1;
  bool readOnly_ = false;
  bool sync_ = true;
  bool journalUnsynced_ = false;
  bool journalHeaderSynced_ = false;
  static constexpr size_t kPendingLimit = 1 << 20;
  std::map<uint64_t, std::vector<uint8_t>> pending_;  // held-back overwrites: offset -> bytes
  size_t pendingBytes_ = 0;
  uint64_t size_ = 0;
  uint64_t committedSize_ = 0;
  uint64_t journalEnd_ = 0;
  // Ranges of the committed file already journalled in this transaction: start -> end.
  std::map<uint64_t, uint64_t> journalled_;
};

}  // namespace qlon
