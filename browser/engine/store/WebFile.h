#pragma once
// TWebFile: one URL of a capture, as the packed record its B-tree stores.
//
// Record (at most 1053 bytes, little-endian; it is the B-tree entry):
//    0  4  child page of the entry (B-tree use only)
//    4  2  length = 28 + strlen(s1) + 1 + strlen(s2) + 1
//    6  2  site number (key A)
//    8  2  key B: folder*2 + 0x8001 (0x8001 and above marks a URL record)
//   10  4  flags (kFlag... below)
//   14  1  state (TWebFileState)
//   15  1  MIME index, 1-based in the capture's MIME list; 0 none
//   16  1  low nibble: rewrite-options mark; high nibble: retry count
//   17  1  web level          18  1  link level
//   19  1  identity index, 1-based; 0 none
//   20  4  DOS date-time of the local file (UTC, as the server dated it);
//          0 none. A DOS date counts seconds in steps of two: the flag
//          kFlagOddSecond adds the one second it cannot hold, so that the
//          date is the server's own to the second (a reader that does not
//          know the flag sees the date one second early, as before)
//   24  2  image width, or the status / error code of an error or redirect
//   26  2  image height
//   28  n  string 1: file name and query, relative to the folder; NUL
//  28+n m  string 2: local name relative to the capture folder, or the
//          target URL of a redirect; NUL
//
// Invariant: the length word always equals the two strings' lengths + 30 and
// never exceeds 1053; a setter that would break it refuses and changes nothing.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "UtilsStream.h"

namespace qlon {

class TUrlBTree;

// What the local-name rule and the page tests need of a record's MIME item.
struct TMimeNaming {
  int Category = -1;                    // 0 Html, 1 Texte, 2 Image, ...; -1 no item
  std::vector<std::string> Extensions;  // without the ".", the first is the item's own
};

enum TWebFileState : uint8_t {
  fsToCapture = 0,
  fsRequesting = 1,
  fsRetrieved = 2,
  fsNoMeaning = 3,
  fsError = 4,
  fsNotFound = 5,
  fsToUpdate = 6,
  fsUpdating = 7,
  fsNotFiltered = 8,
  fsFilteredDefault = 9,
  fsFilteredUser = 10,
  fsFilteredProtocol = 11,
  fsFilteredMime = 12,
  fsFilteredSize = 13,
  fsFilteredExtension = 14,
  fsFilteredExternalWebDepth = 15,
  fsFilteredExternalLinkDirectory = 16,
  fsFilteredInternalLinkDepth = 17,
  fsFilteredStartDirectory = 18,
  fsFilteredExternalLinkDepth = 19,
  fsFilteredExclusion = 20,
  fsFilteredDomainMachine = 21,
};

// The local names the records of one capture hold. A run that ends before
// its records are saved (a crash, a kill) leaves files on disk that no
// record names: the record that fetches its URL again takes its file back
// instead of a numbered name beside the stale copy, so that a resumed
// capture ends with the files an uninterrupted one has.
// The set is complete only after a walk of every record (Complete); from
// then on every name given is added and none is ever removed, so that it
// errs only towards "claimed" (a numbered name, never a shared file). It
// keeps hashes: a collision also errs that way. Link resolution's workers
// name their records too, so the set is locked.
class TClaimedNames {
 public:
  // Forgets everything; no file counts as free until the next Complete.
  void Clear();
  void Add(std::string_view name);
  // Every record's name was added; `captureFile` is the capture file's own
  // name in the folder (never taken over, nor its journals).
  void Complete(std::string captureFile);
  // Whether an existing file of that name belongs to no record, and is not
  // one the program writes itself (the index pages, thumbnails, the
  // capture file).
  bool IsUnclaimed(std::string_view name) const;

 private:
  // Hashes in one sorted array (8 bytes a name, for a capture of millions
  // of records), the latest in a short unsorted one merged in when full:
  // names are added all the time, asked about only when a file is in the way.
  static constexpr std::size_t kRecent = 4096;
  mutable std::mutex mutex_;
  std::vector<uint64_t> sorted_;
  std::vector<uint64_t> recent_;
  std::string captureFile_;
  bool complete_ = false;
};

class TWebFile {
 public:
  static constexpr size_t kRecordSize = 1053;
  static constexpr size_t kHead = 28;

  static constexpr uint32_t kFlagPageLink = 0x0001;
  static constexpr uint32_t kFlagIsMap = 0x0002;
  static constexpr uint32_t kFlagBackground = 0x0004;
  static constexpr uint32_t kFlagUpdate = 0x0008;
  static constexpr uint32_t kFlagRedirect = 0x0010;
  static constexpr uint32_t kFlagIdentity = 0x0020;
  static constexpr uint32_t kFlagStartUrl = 0x0040;
  static constexpr uint32_t kFlagFrameLink = 0x0400;
  static constexpr uint32_t kFlagFrameSet = 0x0800;
  static constexpr uint32_t kFlagJavaClass = 0x4000;
  // The date's second is odd: the DOS date holds it one second early.
  static constexpr uint32_t kFlagOddSecond = 0x00010000;
  // An update was answered "not found" (404) or "gone" (410), and none has
  // had the file since: the record keeps the copy it had, and the error
  // report lists it.
  static constexpr uint32_t kFlagGone = 0x00020000;

  explicit TWebFile(TUrlBTree* owner = nullptr);
  virtual ~TWebFile() = default;
  TWebFile(const TWebFile&) = delete;
  TWebFile& operator=(const TWebFile&) = delete;

  void Clear();
  void Assign(const TWebFile& source);
  // Writes the record back to its owner when it changed; false when that failed.
  bool SaveChanges();
  bool IsUrlRecord() const { return KeyB() >= 0x8001; }

  // Raw record.
  const uint8_t* Record() const { return rec_; }
  uint8_t* Record() { return rec_; }
  // Copies a stored entry (its own length) and remembers its key as stored.
  bool LoadRecord(const uint8_t* entry, size_t n);
  uint16_t Length() const { return Get16(4); }
  uint16_t KeyA() const { return Get16(6); }
  uint16_t KeyB() const { return Get16(8); }
  void SetKeys(uint16_t a, uint16_t b);
  // String 1 as the tree holds it (for the re-keying of a stored record).
  const std::string& StoredKey() const { return storedKey_; }
  bool IsStored() const { return stored_; }
  void MarkStored() {
    storedKey_ = GetUrl();
    stored_ = true;
  }

  // Strings.
  std::string GetUrl() const;
  bool SetUrl(const std::string& text);
  std::string GetLocalName() const;
  bool SetLocalName(const std::string& name);
  // Sets both strings at once; false (nothing changed) when they do not fit.
  bool SetStrings(const std::string& s1, const std::string& s2);
  std::string GetFileName() const;

  // Fields.
  uint32_t GetFlags() const { return Get32(10); }
  void SetFlags(uint32_t f);
  bool HasFlag(uint32_t f) const { return (GetFlags() & f) != 0; }
  void SetFlag(uint32_t f, bool on);
  TWebFileState GetState() const { return TWebFileState(rec_[14]); }
  void SetState(TWebFileState state);
  void SetError(int code);
  uint8_t GetMimeIndex() const { return rec_[15]; }
  void SetMimeIndex(uint8_t i);
  uint8_t GetRewriteMark() const { return rec_[16] & 0x0F; }
  void SetRewriteMark(uint8_t m);
  uint8_t GetRetryCount() const { return rec_[16] >> 4; }
  void SetRetryCount(unsigned n);  // saturates at 15
  uint8_t GetWebLevel() const { return rec_[17]; }
  void SetWebLevel(uint8_t n);
  uint8_t GetLinkLevel() const { return rec_[18]; }
  void SetLinkLevel(uint8_t n);
  uint8_t GetIdentityIndex() const { return rec_[19]; }
  void SetIdentityIndex(uint8_t i);
  uint32_t GetDosDate() const { return Get32(20); }
  // The DOS date alone: kFlagOddSecond is cleared.
  void SetDosDate(uint32_t d);
  uint16_t GetWidth() const { return Get16(24); }
  void SetWidth(uint16_t n);
  uint16_t GetHeight() const { return Get16(26); }
  void SetHeight(uint16_t n);

  bool IsRetrieved() const { return GetState() == fsRetrieved || GetState() == fsToUpdate; }
  bool IsFiltered() const { return GetState() >= fsNotFiltered && GetState() <= fsFilteredDomainMachine; }
  bool IsRedirect() const { return HasFlag(kFlagRedirect); }
  bool SetRedirect(const TWebFile& target);
  bool IsStartUrl() const { return HasFlag(kFlagStartUrl); }
  void SetStartUrl(bool on);
  int GetLinkType() const;
  void SetLinkType(int type);
  bool IsJavaClass() const { return HasFlag(kFlagJavaClass); }
  bool HasIsMap() const { return HasFlag(kFlagIsMap); }
  void SetIsMap(bool on) { SetFlag(kFlagIsMap, on); }
  // True when no update is pending (the bit is clear).
  bool IsUpdated() const { return !HasFlag(kFlagUpdate); }
  void SetUpdate(bool on) { SetFlag(kFlagUpdate, on); }
  bool IsFrameLink() const { return HasFlag(kFlagFrameLink); }
  void SetFrameLink(bool on) { SetFlag(kFlagFrameLink, on); }
  bool IsFrameSet() const { return HasFlag(kFlagFrameSet); }
  void SetFrameSet(bool on) { SetFlag(kFlagFrameSet, on); }

  // Dates: a date-time is days since 1899-12-30. SetFileDate keeps the
  // date to the nearest second (the DOS date and kFlagOddSecond); 0 or a
  // date a DOS date cannot hold (before 1980, after 2107) clears it.
  // GetFileDate gives that date back, or the capture date when none.
  void SetFileDate(double dateTime);
  double GetFileDate() const;
  bool IsGone() const { return HasFlag(kFlagGone); }
  void SetGone(bool on) { SetFlag(kFlagGone, on); }
  static uint32_t DateTimeToDos(double dateTime);
  static double DosToDateTime(uint32_t dos);

  // Local file. GetLocalPath is empty when the record has no local name or
  // its name is not a clean one (see LocalPath.h).
  std::string GetLocalPath() const;
  // The path only when a file is there (and its size), else empty.
  std::string GetExistingPath(uint64_t* size = nullptr) const;
  uint64_t GetFileSize() const;
  // `exists`, when given, tells whether a plain file is there (found with
  // the check of the path, without a lookup of its own).
  std::string GetThumbnailPath(bool* exists = nullptr) const;
  // Names the record's local file from its URL and reserves it (an empty file
  // is created) so that no other record gets it; false when no name could be
  // made (no owner, no folder, or a name that does not fit the record).
  // `path` (optional) receives the reserved file's path, which the claim
  // has just looked at: no second lookup of it.
  bool BuildLocalName(std::string* path = nullptr);

  // The page title of the local file, entities decoded (GetRawTitle: as written).
  std::string GetTitle() const;
  std::string GetRawTitle() const;
  // GetRawTitle of a file holding these bytes.
  static std::string RawTitleOf(std::string_view bytes);

  // MIME, through the owner's table.
  TMimeNaming GetMimeNaming() const;
  bool IsHtmlPage() const;
  void SetJavaClass(bool on);

  // Identity, in the owner's identity list.
  bool GetIdentity(std::string& user, std::string& password) const;
  bool SetIdentity(const std::string& user, const std::string& password);
  void CopyIdentity(const TWebFile& other);

  // Presentation.
  static std::string SizeText(uint64_t size);
  std::string GetSizeText() const { return SizeText(GetFileSize()); }
  std::string GetStateText() const;

  TUrlBTree* Owner = nullptr;
  std::string FullUrl;
  bool Changed = false;
  bool NameChanged = false;
  std::function<void(TWebFile&)> OnStateChange;

 protected:
  uint16_t Get16(size_t at) const { return GetLE16(rec_ + at); }
  uint32_t Get32(size_t at) const { return GetLE32(rec_ + at); }
  void Put16(size_t at, uint16_t v) { PutLE16(rec_ + at, v); }
  void Put32(size_t at, uint32_t v) { PutLE32(rec_ + at, v); }

 private:
  uint8_t rec_[kRecordSize];
  std::string storedKey_;
  bool stored_ = false;
};

}  // namespace qlon
