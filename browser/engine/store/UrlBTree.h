#pragma once
// TUrlBTree: every URL of a capture, in a disk B-tree inside the capture file.
//
// The area begins at `base` (5120 in a capture file); offsets below are from
// the base, integers little-endian, nothing padded.
//
//   header block (7185 bytes, read at open, written at a flush)
//     0     2  reserved, 0
//     2     2  site counter (site entries made so far)
//     4     4  record count (URL records in the tree)
//     8  7169  root page
//  7177     4  head of the free-page chain (0xFFFFFFFF none)
//  7181     4  height counter (1 for a new tree, +1 at each root split)
//  7185  7169  further pages, each at the offset it was allocated at
//
//   page (7169 bytes)
//     0     4  own offset (the root holds 0); a freed page: the next freed page
//     4     4  used bytes of the entry area (at most 7156)
//     8     4  leftmost child (0xFFFFFFFF in a leaf; 0xFFFFFFFE marks a freed page)
//    12  7157  entries, back to back:  [child key1 ...][child key2 ...] ...
//
//   entry (30 to 1053 bytes; the packed record of TWebFile)
//     0     4  child: the page of the keys between this entry and the next
//     4     2  length = 28 + strlen(s1) + 1 + strlen(s2) + 1
//     6     2  key A          8  2  key B        10  18  record fields
//    28     n  string 1 NUL, string 2 NUL
//
//   entry kinds   key A    key B                 string 1
//     site        0        site number (1..)     root URL of the site
//     folder      site     folder number         folder URL (ends with "/")
//     marker      site     folder*2 + 0x8000     empty
//     record      site     folder*2 + 0x8001     file name and query
//
// Numbers: sites 1 to 65,534, folders 0 to 16,383 in a site (folder*2 +
// 0x8001 is 16-bit). A URL whose site or folder finds no number left goes
// to the overflow site: root URL "", its one folder "", string 1 the whole
// URL. It takes the next site number (65,535 at most) when first needed;
// the capture files those URLs as filtered (TWeb::ClassifyLink), and the
// run's end and the error report say how many and why (TWeb::CountLeftOut).
//
// Invariants: in every page the entries ascend strictly in the normal order
// (key A; then key B, where a site entry's key B and a folder's key B,
// below 0x8000, count as 0; then string 1 as unsigned bytes), so site
// entries are ordered by root URL whatever their number; every key of a
// child page lies between the entries around
// its pointer; leaves have no children and inner entries always have one;
// pages other than the root are never empty. A lookup reads one page per
// level (the root is held in memory). A URL takes three lookups (site,
// folder, record) the first time its folder is met, then one: the numbers
// of sites and folders are remembered while the tree is open.
//
// Pages go through a 64-slot write-back cache. A slot in use by an operation
// is pinned and never chosen for eviction; a freed page leaves the cache at
// once. A save writes the changed pages first, then the header block that
// points at them, then commits the capture file (TWebStream), which is what
// makes a save all-or-nothing when the writer dies.
//
// Files written before site entries were ordered by root URL alone hold the
// sites numbered from 0x8000 on after the others, by number (and a site met
// again may have been given a second number). Opening one reorders it: those
// site entries are filed again by root URL, a second number's folders and
// records go to the first, and the result is committed before use.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "IdentityList.h"
#include "LocalNaming.h"
#include "WebFile.h"
#include "WebStream.h"

namespace qlon {

class TUrl;

// A capture file whose tree is damaged: the message says where.
class EUrlBTreeCorrupt : public EWebStream {
 public:
  EUrlBTreeCorrupt(const std::string& message, std::string fault)
      : EWebStream(message), Fault(std::move(fault)) {}
  // What is wrong, without the file's name.
  std::string Fault;
};

enum class TSearchMode { Normal, Exact };

class TUrlBTree {
 public:
  static constexpr uint32_t kPageSize = 7169;
  static constexpr uint32_t kHeaderBlock = 7185;
  static constexpr uint32_t kPayload = 7156;
  static constexpr uint32_t kUnderflow = 3578;
  static constexpr uint32_t kEntryHead = 28;
  static constexpr uint32_t kMaxEntry = 1053;
  static constexpr uint32_t kNone = 0xFFFFFFFF;
  static constexpr uint32_t kFreed = 0xFFFFFFFE;
  static constexpr uint16_t kRecordKeyB = 0x8001;
  static constexpr uint32_t kMaxFolders = 0x4000;  // folder*2 + 0x8001 must stay 16-bit
  static constexpr uint32_t kMaxSites = 0xFFFF;     // a site of its own takes a number below it

  using TForEachCallback = std::function<bool(TWebFile&)>;

  TUrlBTree();
  virtual ~TUrlBTree();
  TUrlBTree(const TUrlBTree&) = delete;
  TUrlBTree& operator=(const TUrlBTree&) = delete;

  // Lifecycle. The stream belongs to the caller and outlives the open tree.
  void CreateTree(const std::string& folder, TWebStream* stream, uint64_t base);
  // False when the header or root block cannot be read; throws
  // EUrlBTreeCorrupt when the tree is damaged.
  bool OpenTree(const std::string& folder, TWebStream* stream, uint64_t base);
  void CloseTree();
  // Drops the open tree without writing anything (after a failed save, or to
  // give up the changes since the last flush together with a stream rollback).
  void DiscardTree();
  void Flush();
  bool IsOpen() const { return ctl_ != nullptr; }

  void SetFolder(const std::string& path);
  const std::string& GetFolder() const { return naming_.Folder(); }
  double CaptureDate = 0;
  TIdentityList Identities;
  // How the records get their local files in the folder; its claimed names
  // are emptied when a tree is created or opened.
  TLocalNaming& Naming() { return naming_; }

  uint32_t GetCount() const;
  uint16_t GetSiteCount() const;
  uint32_t GetHeight() const;
  // Whether the record lies in the overflow site (its site or folder had no
  // number left when it was filed).
  bool InOverflow(const TWebFile& record) const { return overflow_ && record.KeyA() == overflow_; }

  // URL records.
  bool AddUrl(const std::string& url, TWebFile& record);
  bool InsertRecord(TWebFile& record);
  bool FindRecord(const std::string& url, TWebFile& record);
  bool FindUrl(const std::string& url, TWebFile& record);
  // The same for a URL parsed already (its text is not parsed again).
  bool FindRecord(const TUrl& url, TWebFile& record);
  bool FindUrl(const TUrl& url, TWebFile& record);
  std::string GetLocalPathOfUrl(const std::string& url);
  bool UpdateRecord(TWebFile& record, bool nameChanged);
  // Moves a stored record to a new string 1 in the same folder (delete and
  // insert); false when the old one is missing or the new key exists.
  bool RekeyRecord(const std::string& oldKey, TWebFile& record);
  bool DeleteRecord(TWebFile& record);
  bool DeleteUrl(const std::string& url);
  // Whether a URL and local name fit one record (1053 bytes, no NUL inside).
  static bool Fits(const std::string& url, const std::string& localName);

  // Iteration on the cursor record.
  bool LocateRecord(const TWebFile& record, TSearchMode mode);
  bool FindFirstSite();
  bool FindNextSite();
  bool FindNextFolder();
  bool FindFirstInFolder();
  bool FindNextInFolder();
  TWebFile& Cursor() { return *cursor_; }
  bool ForEach(const TForEachCallback& callback);
  bool ForEachInSite(const TWebFile& site, const TForEachCallback& callback);
  // The records of the overflow site, each told why it is there: its site
  // had every folder number taken (true), or no site number was left.
  bool ForEachInOverflow(const std::function<bool(TWebFile&, bool siteOutOfFolders)>& callback);

  // Called after a record was added or deleted.
  std::function<void(TUrlBTree&)> OnChange;

  // Walks the whole tree and free chain; throws EUrlBTreeCorrupt on any fault.
  void CheckTree();

 protected:
  TWebStream* Stream() const { return stream_; }

 private:
  struct Page;
  struct Offsets;
  struct Slot;
  class Pin;
  struct Control;
  struct Key {
    uint16_t a = 0;
    uint16_t b = 0;
    std::string_view s1;
    bool nul = false;  // s1 holds a NUL (see Checked)
  };
  // Entries in one page at most: each takes at least kEntryHead + 2 bytes.
  static constexpr size_t kMaxEntries = kPayload / (kEntryHead + 2);
  struct PathItem {
    uint32_t page;
    int32_t pos;  // byte offset of the entry in the entry area, -1 before the first
  };
  using Bytes = std::vector<uint8_t>;

  // Pages and cache.
  Pin Load(uint32_t offset);
  Pin NewPage(uint32_t offset);
  int TakeSlot();
  void ResetCache();
  void WriteSlot(int slot);
  void ReadPage(uint32_t offset, Page& page) const;
  void CheckPage(const Page& page, uint32_t offset) const;
  bool ValidChild(uint32_t offset) const;
  uint32_t Allocate();
  void FreePage(uint32_t offset);
  [[noreturn]] void Corrupt(const std::string& what) const;

  // Checks.
  struct Tally;
  int CompareEntries(const uint8_t* a, const uint8_t* b) const;
  void CheckPages(Tally& tally);
  void TallyEntry(const uint8_t* e, Tally& tally) const;
  void CheckFreeChain(std::set<uint32_t>& seen);
  void CheckNumbers(const Tally& tally) const;

  // Entries.
  int Compare(const Key& k, const uint8_t* entry, TSearchMode mode) const;
  static Key KeyOf(const uint8_t* entry);
  static Key Checked(const Key& k);
  size_t EntryOffsets(const Page& page, uint16_t* at) const;
  bool Search(const Key& k, TSearchMode mode, bool stopAtMatch, bool upper = false);
  bool FindCopy(const Key& k, TSearchMode mode, Bytes& out);
  bool InsertEntry(Bytes entry);
  void InsertAt(size_t level, int32_t at, Bytes entry);
  void ReplaceAt(size_t level, int32_t at, Bytes entry);
  void RemoveAt(size_t level, int32_t at);
  bool DeleteEntry(const Key& k);
  void Rebalance(size_t level);
  void CollapseRoot();
  bool JoinRight(size_t level, uint32_t used, Pin parent, int32_t sepAt);
  bool JoinLeft(size_t level, uint32_t used, Pin parent);
  bool FirstEntry(Bytes& out);
  bool NextEntry(const Key& k, Bytes& out);
  bool EntryFrom(const Key& k, Bytes& out);

  // Records.
  struct UrlParts {
    std::string site, folder, document;
  };
  static bool SplitUrl(const std::string& url, UrlParts& parts);
  static UrlParts PartsOf(const TUrl& url);
  bool FindParts(const UrlParts& parts, TWebFile& record);
  bool FindFolder(const UrlParts& parts, uint16_t& site, uint16_t& folder);
  bool MakeFolder(const UrlParts& parts, uint16_t& site, uint16_t& folder);
  void RememberFolder(const std::string& folderUrl, uint16_t site, uint16_t folder);
  bool EnsureFolder(uint16_t site, Bytes& siteEntry, const std::string& folderUrl, uint16_t& folder,
                    bool& created);
  bool OverflowSite(uint16_t& site);
  void CheckOrReorder();
  void ReorderSites();
  void MergeSite(uint16_t from);
  void FillRecord(const Bytes& entry, const std::string& folderUrl, TWebFile& record);
  bool Visit(const Bytes& entry, const std::string& folderUrl, const TForEachCallback& callback);
  void SaveCursor();
  bool RestoreCursor();
  bool EnterSite(const Bytes& siteEntry);

  std::unique_ptr<Slot[]> cache_;
  std::unordered_map<uint32_t, int> slotOf_;  // page offset -> its cache slot
  int current_ = 0;
  std::unique_ptr<Control> ctl_;
  bool oldSiteOrder_ = false;  // compare as files written before the site order did
  uint16_t overflow_ = 0;      // the overflow site's number; 0 none
  TWebStream* stream_ = nullptr;
  uint64_t base_ = 0;
  std::vector<PathItem> path_;
  TLocalNaming naming_;
  std::unique_ptr<TWebFile> cursor_;
  std::unique_ptr<TWebFile> saved_;
  std::unordered_map<std::string, std::pair<uint16_t, uint16_t>> folderMemo_;  // folder URL -> site, folder
  std::string cursorSite_, cursorFolderUrl_;
  std::string savedSite_, savedFolderUrl_;
  uint16_t cursorSiteNumber_ = 0, savedSiteNumber_ = 0;
};

}  // namespace qlon
