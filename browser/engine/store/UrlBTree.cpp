#include "UrlBTree.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <set>

#include "Urlutil.h"
#include "UtilsStream.h"
#include "UtilsText.h"
#include "WebFile.h"

namespace qlon {

namespace {

constexpr size_t kMaxDepth = 32;  // far beyond any tree the 32-bit offsets allow
// Pages kept in memory: enough for the upper levels and the pages a capture
// run touches most (its folders' records), about half a megabyte.
constexpr int kSlots = 64;

uint32_t Child(const uint8_t* e) { return GetLE32(e); }
uint32_t Len(const uint8_t* e) { return GetLE16(e + 4); }
const char* Str1(const uint8_t* e) { return reinterpret_cast<const char*>(e + 28); }

std::vector<uint8_t> MakeEntry(uint16_t a, uint16_t b, const std::string& s1, const std::string& s2) {
  std::vector<uint8_t> e(TUrlBTree::kEntryHead + s1.size() + 1 + s2.size() + 1, 0);
  PutLE32(e.data(), TUrlBTree::kNone);
  PutLE16(e.data() + 4, uint16_t(e.size()));
  PutLE16(e.data() + 6, a);
  PutLE16(e.data() + 8, b);
  std::memcpy(e.data() + 28, s1.data(), s1.size());
  std::memcpy(e.data() + 28 + s1.size() + 1, s2.data(), s2.size());
  return e;
}

// The text with every byte above 127 %-escaped: how links written with
// escapes were filed before such bytes had one form in a URL.
std::string EscapeHighBytes(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    if (static_cast<unsigned char>(ch) >= 0x80)
      AppendPercentByte(out, static_cast<unsigned char>(ch));
    else
      out += ch;
  }
  return out;
}

std::string Hex(uint64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

}  // namespace

struct TUrlBTree::Page {
  uint8_t b[kPageSize];
  uint32_t Self() const { return GetLE32(b); }
  uint32_t Used() const { return GetLE32(b + 4); }
  uint32_t Leftmost() const { return GetLE32(b + 8); }
  void SetSelf(uint32_t v) { PutLE32(b, v); }
  void SetUsed(uint32_t v) { PutLE32(b + 4, v); }
  void SetLeftmost(uint32_t v) { PutLE32(b + 8, v); }
  uint8_t* Entries() { return b + 12; }
  const uint8_t* Entries() const { return b + 12; }
  bool Leaf() const { return Leftmost() == kNone; }
  void Init(uint32_t self) {
    std::memset(b, 0, sizeof b);
    SetSelf(self);
    SetLeftmost(kNone);
  }
};

// The offsets of a page's entries, kept beside the page while its entries'
// lengths and order stay as they are: a search halves it instead of walking
// the entries. Any change of the page through its pin drops it.
struct TUrlBTree::Offsets {
  uint16_t at[kMaxEntries];
  uint16_t n = 0;
  bool valid = false;
};

struct TUrlBTree::Slot {
  Page page;
  uint32_t offset = kNone;  // kNone: empty
  bool changed = false;
  int pins = 0;
  Offsets offsets;
};

struct TUrlBTree::Control {
  uint16_t reserved = 0;
  uint16_t siteCounter = 0;
  uint32_t count = 0;
  Page root;
  uint32_t freeHead = kNone;
  uint32_t height = 1;
  bool changed = false;
  Offsets offsets;
};

// A page in use by an operation: its cache slot cannot be evicted until the
// pin goes. The root (slot -1) lives in the control block.
class TUrlBTree::Pin {
 public:
  Pin(TUrlBTree* tree, int slot, Page* page) : tree_(tree), slot_(slot), page_(page) {
    if (slot_ >= 0) ++tree_->cache_[slot_].pins;
  }
  Pin(Pin&& o) noexcept : tree_(o.tree_), slot_(o.slot_), page_(o.page_) { o.tree_ = nullptr; }
  Pin(const Pin&) = delete;
  Pin& operator=(const Pin&) = delete;
  Pin& operator=(Pin&&) = delete;
  ~Pin() { Release(); }
  void Release() {
    if (tree_ && slot_ >= 0) --tree_->cache_[slot_].pins;
    tree_ = nullptr;
  }
  Page* operator->() const { return page_; }
  Page& operator*() const { return *page_; }
  void Changed() const {
    if (slot_ < 0) {
      tree_->ctl_->changed = true;
      tree_->ctl_->offsets.valid = false;
    } else {
      tree_->cache_[slot_].changed = true;
      tree_->cache_[slot_].offsets.valid = false;
    }
  }
  // The page's entry offsets, found again only after a change.
  const Offsets& EntryOffsets() const {
    Offsets& o = slot_ < 0 ? tree_->ctl_->offsets : tree_->cache_[slot_].offsets;
    if (!o.valid) {
      o.n = uint16_t(tree_->EntryOffsets(*page_, o.at));
      o.valid = true;
    }
    return o;
  }
  int slot() const { return slot_; }

 private:
  TUrlBTree* tree_;
  int slot_;
  Page* page_;
};

TUrlBTree::TUrlBTree()
    : cache_(new Slot[kSlots]), cursor_(std::make_unique<TWebFile>(this)), saved_(std::make_unique<TWebFile>(this)) {}

TUrlBTree::~TUrlBTree() {
  try {
    CloseTree();
  } catch (...) {
    // A failing final flush leaves the journal: the next open rolls back.
  }
}

void TUrlBTree::Corrupt(const std::string& what) const {
  throw EUrlBTreeCorrupt("Le fichier de capture" + (stream_ ? " " + stream_->Path().string() : std::string()) +
                             " est endommagé : " + what,
                         what);
}

// ---------------------------------------------------------------- lifecycle

void TUrlBTree::SetFolder(const std::string& path) { naming_.SetFolder(path); }

void TUrlBTree::CreateTree(const std::string& folder, TWebStream* stream, uint64_t base) {
  CloseTree();
  SetFolder(folder);
  stream_ = stream;
  base_ = base;
  folderMemo_.clear();
  overflow_ = 0;
  oldSiteOrder_ = false;
  ctl_ = std::make_unique<Control>();
  ctl_->root.Init(0);
  ctl_->changed = true;
  // Written at once, so that the area exists and the first page lands behind it.
  ResetCache();
  Flush();
}

bool TUrlBTree::OpenTree(const std::string& folder, TWebStream* stream, uint64_t base) {
  CloseTree();
  SetFolder(folder);
  uint8_t blk[kHeaderBlock];
  if (stream->ReadSome(base, blk, kHeaderBlock) != kHeaderBlock) return false;
  stream_ = stream;
  base_ = base;
  auto ctl = std::make_unique<Control>();
  ctl->reserved = GetLE16(blk);
  ctl->siteCounter = GetLE16(blk + 2);
  ctl->count = GetLE32(blk + 4);
  std::memcpy(ctl->root.b, blk + 8, kPageSize);
  ctl->freeHead = GetLE32(blk + 7177);
  ctl->height = GetLE32(blk + 7181);
  ResetCache();
  folderMemo_.clear();
  ctl_ = std::move(ctl);
  try {
    CheckOrReorder();
    Bytes e;
    overflow_ = FindCopy(Key{0, 0, ""}, TSearchMode::Normal, e) ? GetLE16(e.data() + 8) : 0;
  } catch (...) {
    DiscardTree();
    throw;
  }
  return true;
}

// A tree whose site entries are out of the root-URL order may be one written
// when sites numbered from 0x8000 on sorted after the others: when it is
// sound in that order, it is reordered and committed before anything else.
void TUrlBTree::CheckOrReorder() {
  oldSiteOrder_ = false;
  try {
    CheckPage(ctl_->root, 0);
    CheckTree();
    return;
  } catch (const EUrlBTreeCorrupt&) {
    if (ctl_->siteCounter < 0x8000) throw;
  }
  ResetCache();
  oldSiteOrder_ = true;
  CheckPage(ctl_->root, 0);
  CheckTree();
  ReorderSites();
  CheckTree();
  Flush();
}

void TUrlBTree::ReorderSites() {
  // In the old order the sites from 0x8000 on come last among the site
  // entries, by number. Taken out, the rest is in order either way.
  std::vector<Bytes> high;
  Bytes e;
  for (bool have = NextEntry(Key{0, 0x8000, ""}, e); have && GetLE16(e.data() + 6) == 0;) {
    high.push_back(e);
    std::string s1(Str1(e.data()));
    have = NextEntry(Key{0, GetLE16(e.data() + 8), s1}, e);
  }
  for (const Bytes& site : high) {
    std::string s1(Str1(site.data()));
    if (!DeleteEntry(Key{0, GetLE16(site.data() + 8), s1})) Corrupt("une entrée de site ne peut pas être reclassée");
  }
  oldSiteOrder_ = false;
  for (const Bytes& site : high) {
    // A site met again after 0x8000 was not found and got a further number:
    // the first number keeps the site, the others' entries join it.
    if (!InsertEntry(site)) MergeSite(GetLE16(site.data() + 8));
  }
}

// Files the folders and records of site `from`, whose site entry is gone,
// again under their URLs, and removes what is left of it.
void TUrlBTree::MergeSite(uint16_t from) {
  std::map<uint16_t, std::string> folders;
  std::vector<Bytes> entries;
  Bytes e;
  for (bool have = EntryFrom(Key{from, 0, ""}, e); have && GetLE16(e.data() + 6) == from;) {
    const uint16_t b = GetLE16(e.data() + 8);
    if (b < 0x8000) folders[b] = Str1(e.data());
    entries.push_back(e);
    std::string s1(Str1(e.data()));
    have = NextEntry(Key{from, b, s1}, e);
  }
  for (const Bytes& entry : entries) {
    std::string s1(Str1(entry.data()));
    const uint16_t b = GetLE16(entry.data() + 8);
    if (!DeleteEntry(Key{from, b, s1})) Corrupt("une entrée d'un site ne peut pas être reclassée");
    if (b < 0x8001 || !(b & 1)) continue;
    --ctl_->count;
    TWebFile moved(this);
    FillRecord(entry, folders[uint16_t((b - kRecordKeyB) / 2)], moved);
    TWebFile kept(this);
    if (InsertRecord(moved) || !FindRecord(moved.FullUrl, kept)) continue;
    // The same URL under both numbers: the copy that was captured stays.
    if (kept.IsRetrieved() || !moved.IsRetrieved()) continue;
    const std::string key = kept.GetUrl();
    std::memcpy(kept.Record() + 10, moved.Record() + 10, 18);
    if (kept.SetStrings(key, moved.GetLocalName())) UpdateRecord(kept, true);
  }
  ctl_->changed = true;
}

void TUrlBTree::CloseTree() {
  if (!ctl_) return;
  Flush();
  DiscardTree();
}

void TUrlBTree::DiscardTree() {
  folderMemo_.clear();
  overflow_ = 0;
  ResetCache();
  ctl_.reset();
  stream_ = nullptr;
}

void TUrlBTree::Flush() {
  if (!ctl_) return;
  // Pages first, then the header block that points at them, then the commit.
  for (int i = 0; i < kSlots; ++i)
    if (cache_[i].offset != kNone && cache_[i].changed) WriteSlot(i);
  if (ctl_->changed) {
    uint8_t blk[kHeaderBlock];
    PutLE16(blk, ctl_->reserved);
    PutLE16(blk + 2, ctl_->siteCounter);
    PutLE32(blk + 4, ctl_->count);
    std::memcpy(blk + 8, ctl_->root.b, kPageSize);
    PutLE32(blk + 7177, ctl_->freeHead);
    PutLE32(blk + 7181, ctl_->height);
    stream_->Write(base_, blk, kHeaderBlock);
    ctl_->changed = false;
  }
  stream_->Commit();
}

uint32_t TUrlBTree::GetCount() const { return ctl_ ? ctl_->count : 0; }
uint16_t TUrlBTree::GetSiteCount() const { return ctl_ ? ctl_->siteCounter : 0; }
uint32_t TUrlBTree::GetHeight() const { return ctl_ ? ctl_->height : 0; }

// ---------------------------------------------------------------- pages

bool TUrlBTree::ValidChild(uint32_t offset) const {
  return offset >= kHeaderBlock && (offset - kHeaderBlock) % kPageSize == 0 &&
         base_ + offset + kPageSize <= stream_->Size();
}

void TUrlBTree::ReadPage(uint32_t offset, Page& page) const {
  if (stream_->ReadSome(base_ + offset, page.b, kPageSize) != kPageSize)
    Corrupt("la page " + Hex(offset) + " est au-delà de la fin du fichier");
}

void TUrlBTree::CheckPage(const Page& page, uint32_t offset) const {
  const std::string where = "la page " + Hex(offset);
  if (page.Self() != offset) Corrupt(where + " ne porte pas sa propre position");
  if (page.Leftmost() == kFreed) Corrupt(where + " est une page libérée encore utilisée");
  uint32_t used = page.Used();
  if (used > kPayload) Corrupt(where + " annonce plus d'octets qu'une page n'en contient");
  if (offset != 0 && used == 0) Corrupt(where + " est vide");
  bool leaf = page.Leaf();
  if (!leaf && (!ValidChild(page.Leftmost()) || page.Leftmost() == offset))
    Corrupt(where + " a une position de page fille invalide");
  const uint8_t* ent = page.Entries();
  const uint8_t* prev = nullptr;
  for (uint32_t q = 0; q < used;) {
    const uint8_t* e = ent + q;
    if (used - q < kEntryHead + 2) Corrupt(where + " se termine au milieu d'une entrée");
    uint32_t len = Len(e);
    if (len < kEntryHead + 2 || len > kMaxEntry || len > used - q)
      Corrupt(where + " a une entrée de longueur incorrecte");
    size_t s1 = strnlen(Str1(e), len - kEntryHead);
    size_t s2at = kEntryHead + s1 + 1;
    if (s2at >= len || s2at + strnlen(reinterpret_cast<const char*>(e + s2at), len - s2at) + 1 != len)
      Corrupt(where + " a une entrée dont les textes ne correspondent pas à sa longueur");
    uint32_t c = Child(e);
    if (leaf ? c != kNone : (!ValidChild(c) || c == offset)) Corrupt(where + " a une position de page fille invalide");
    if (prev && Compare(KeyOf(prev), e, TSearchMode::Normal) >= 0) Corrupt(where + " a des entrées dans le désordre");
    prev = e;
    q += len;
  }
}

void TUrlBTree::ResetCache() {
  for (int i = 0; i < kSlots; ++i) cache_[i] = Slot{};
  slotOf_.clear();
}

void TUrlBTree::WriteSlot(int slot) {
  Slot& s = cache_[slot];
  stream_->Write(base_ + s.offset, s.page.b, kPageSize);
  s.changed = false;
}

int TUrlBTree::TakeSlot() {
  for (int k = 1; k <= kSlots; ++k) {
    int s = (current_ + k) % kSlots;
    if (cache_[s].pins) continue;
    if (cache_[s].offset != kNone && cache_[s].changed) WriteSlot(s);
    if (cache_[s].offset != kNone) slotOf_.erase(cache_[s].offset);
    cache_[s].offset = kNone;
    cache_[s].changed = false;
    cache_[s].offsets.valid = false;
    return s;
  }
  throw std::logic_error("every page cache slot is pinned");
}

TUrlBTree::Pin TUrlBTree::Load(uint32_t offset) {
  if (offset == 0) return Pin(this, -1, &ctl_->root);
  if (auto it = slotOf_.find(offset); it != slotOf_.end()) {
    current_ = it->second;
    return Pin(this, it->second, &cache_[it->second].page);
  }
  if (!ValidChild(offset)) Corrupt("une position de page fille " + Hex(offset) + " est hors du fichier");
  int s = TakeSlot();
  ReadPage(offset, cache_[s].page);
  CheckPage(cache_[s].page, offset);
  cache_[s].offset = offset;
  slotOf_[offset] = s;
  current_ = s;
  return Pin(this, s, &cache_[s].page);
}

TUrlBTree::Pin TUrlBTree::NewPage(uint32_t offset) {
  int s = TakeSlot();
  cache_[s].page.Init(offset);
  cache_[s].offset = offset;
  slotOf_[offset] = s;
  cache_[s].changed = true;
  current_ = s;
  return Pin(this, s, &cache_[s].page);
}

uint32_t TUrlBTree::Allocate() {
  if (ctl_->freeHead != kNone) {
    uint32_t off = ctl_->freeHead;
    if (!ValidChild(off)) Corrupt("la chaîne des pages libres sort du fichier");
    uint8_t head[12];
    stream_->Read(base_ + off, head, sizeof head);
    uint32_t next = GetLE32(head);
    if (GetLE32(head + 8) != kFreed || (next != kNone && !ValidChild(next)))
      Corrupt("la chaîne des pages libres contient la page " + Hex(off) + ", qui n'est pas libre");
    ctl_->freeHead = next;
    ctl_->changed = true;
    return off;
  }
  uint64_t size = stream_->Size();
  uint64_t end = size > base_ + kHeaderBlock ? size - base_ : kHeaderBlock;
  uint64_t off = kHeaderBlock + (end - kHeaderBlock + kPageSize - 1) / kPageSize * kPageSize;
  if (off + kPageSize > 0xFFFFFFF0ull)
    throw EWebStream("Le fichier de capture est plein (" + stream_->Path().string() + ")");
  return uint32_t(off);
}

void TUrlBTree::FreePage(uint32_t offset) {
  // The slot goes first: a later eviction must never write the old content
  // over the free marker.
  if (auto it = slotOf_.find(offset); it != slotOf_.end()) {
    cache_[it->second].offset = kNone;
    cache_[it->second].changed = false;
    slotOf_.erase(it);
  }
  Page p;
  std::memset(p.b, 0, kPageSize);
  p.SetSelf(ctl_->freeHead);
  p.SetLeftmost(kFreed);
  stream_->Write(base_ + offset, p.b, kPageSize);
  ctl_->freeHead = offset;
  ctl_->changed = true;
}

// ---------------------------------------------------------------- entries

TUrlBTree::Key TUrlBTree::KeyOf(const uint8_t* e) { return Key{GetLE16(e + 6), GetLE16(e + 8), Str1(e)}; }

int TUrlBTree::Compare(const Key& k, const uint8_t* e, TSearchMode mode) const {
  uint16_t ea = GetLE16(e + 6);
  if (k.a != ea) return k.a < ea ? -1 : 1;
  uint16_t kb = k.b, eb = GetLE16(e + 8);
  if (mode == TSearchMode::Normal) {
    // Site entries go by root URL whatever their number, folder entries by
    // folder URL; markers and records by folder number first.
    const uint16_t byName = k.a == 0 && !oldSiteOrder_ ? 0xFFFF : 0x7FFF;
    if (kb <= byName) kb = 0;
    if (eb <= byName) eb = 0;
  }
  if (kb != eb) return kb < eb ? -1 : 1;
  if (mode == TSearchMode::Exact) return 0;
  const char* es = Str1(e);
  if (k.nul) {
    // A key with a NUL inside: compared as the text it is, never equal.
    const std::string_view text(es);
    const int c = k.s1.compare(text);
    return c < 0 ? -1 : c > 0;
  }
  // String 1 ends at its NUL, within the entry (string 1, NUL, string 2,
  // NUL): a key without NUL differs from it there at the latest, so one
  // bounded memcmp gives the order without measuring the stored string.
  const size_t room = Len(e) - kEntryHead;
  const size_t n = std::min(k.s1.size(), room);
  const int c = std::memcmp(k.s1.data(), es, n);
  if (c) return c < 0 ? -1 : 1;
  if (n < k.s1.size()) return 1;  // cannot happen in a sound entry; the key is the longer
  return es[n] == 0 ? 0 : -1;
}

// The offsets of a page's entries, in order, for a binary search.
size_t TUrlBTree::EntryOffsets(const Page& page, uint16_t* at) const {
  const uint8_t* ent = page.Entries();
  size_t n = 0;
  for (uint32_t q = 0, used = page.Used(); q < used; q += Len(ent + q)) {
    if (n == kMaxEntries) Corrupt("la page " + Hex(page.Self()) + " contient plus d'entrées qu'une page n'en peut tenir");
    at[n++] = uint16_t(q);
  }
  return n;
}

// A copy of the key that knows whether its text holds a NUL (which the
// fast comparison cannot take).
TUrlBTree::Key TUrlBTree::Checked(const Key& k) {
  Key key = k;
  key.nul = k.s1.find('\0') != std::string_view::npos;
  return key;
}

// Fills path_ from the root down. Without `upper` the position at each level
// is the match or the last entry below the key; with it, the last entry not
// above the key (used to reach the right subtree of an equal key).
bool TUrlBTree::Search(const Key& key, TSearchMode mode, bool stopAtMatch, bool upper) {
  const Key k = Checked(key);
  path_.clear();
  bool found = false;
  uint32_t off = 0;
  for (;;) {
    if (path_.size() >= kMaxDepth) Corrupt("l'arbre est plus profond qu'aucun arbre valide");
    Pin p = Load(off);
    const uint8_t* ent = p->Entries();
    int32_t pos = -1;
    bool match = false;
    if (mode == TSearchMode::Normal) {
      // Entries ascend strictly in this order: the first entry at or above
      // the key (above it, with `upper`) is found by halving.
      const Offsets& o = p.EntryOffsets();
      const uint16_t* at = o.at;
      const size_t n = o.n;
      size_t lo = 0, hi = n;
      int before = 1;  // the comparison with the entry at lo - 1
      while (lo < hi) {
        const size_t mid = lo + (hi - lo) / 2;
        const int c = Compare(k, ent + at[mid], mode);
        if (c > 0 || (upper && c == 0)) {
          lo = mid + 1;
          before = c;
        } else {
          hi = mid;
        }
      }
      if (!upper && lo < n && Compare(k, ent + at[lo], mode) == 0) {
        pos = at[lo];
        match = true;
      } else if (lo > 0) {
        pos = at[lo - 1];
        match = upper && before == 0;
      }
    } else {
      for (uint32_t q = 0, used = p->Used(); q < used; q += Len(ent + q)) {
        int c = Compare(k, ent + q, mode);
        if (c > 0 || (upper && c == 0)) {
          pos = int32_t(q);
          match = c == 0;
          continue;
        }
        if (c == 0) {
          pos = int32_t(q);
          match = true;
        }
        break;
      }
    }
    path_.push_back({off, pos});
    found = found || match;
    if (match && stopAtMatch && !upper) return true;
    uint32_t child = pos < 0 ? p->Leftmost() : Child(ent + pos);
    if (child == kNone) return found;
    off = child;
  }
}

bool TUrlBTree::FindCopy(const Key& k, TSearchMode mode, Bytes& out) {
  if (!Search(k, mode, true)) return false;
  Pin p = Load(path_.back().page);
  const uint8_t* e = p->Entries() + path_.back().pos;
  out.assign(e, e + Len(e));
  return true;
}

bool TUrlBTree::InsertEntry(Bytes entry) {
  std::string s1(Str1(entry.data()));
  Key k = KeyOf(entry.data());
  k.s1 = s1;
  if (Search(k, TSearchMode::Normal, false)) return false;
  PutLE32(entry.data(), kNone);
  size_t level = path_.size() - 1;
  int32_t at;
  {
    Pin p = Load(path_[level].page);
    int32_t pos = path_[level].pos;
    at = pos < 0 ? 0 : pos + int32_t(Len(p->Entries() + pos));
  }
  InsertAt(level, at, std::move(entry));
  return true;
}

// Puts an entry at byte `at` of the page at path level `level`, splitting
// pages upwards as long as they overflow.
void TUrlBTree::InsertAt(size_t level, int32_t at, Bytes entry) {
  for (;;) {
    Pin p = Load(path_[level].page);
    uint8_t* ent = p->Entries();
    uint32_t used = p->Used();
    uint32_t len = uint32_t(entry.size());
    if (used + len <= kPayload) {
      std::memmove(ent + at + len, ent + at, used - at);
      std::memcpy(ent + at, entry.data(), len);
      p->SetUsed(used + len);
      p.Changed();
      return;
    }
    // The page with the entry in place holds up to 7156 + 1053 bytes: lay it
    // out in a scratch buffer and cut it there.
    Bytes all(used + len);
    std::memcpy(all.data(), ent, at);
    std::memcpy(all.data() + at, entry.data(), len);
    std::memcpy(all.data() + at + len, ent + at, used - at);
    uint32_t total = used + len;
    uint32_t half = total / 2 + 4;
    uint32_t mid = 0;
    while (mid + Len(all.data() + mid) < half) mid += Len(all.data() + mid);
    uint32_t upLen = Len(all.data() + mid);
    Bytes up(all.begin() + mid, all.begin() + mid + upLen);

    uint32_t rightOff = Allocate();
    {
      Pin r = NewPage(rightOff);
      r->SetLeftmost(Child(up.data()));
      uint32_t rightLen = total - mid - upLen;
      std::memcpy(r->Entries(), all.data() + mid + upLen, rightLen);
      r->SetUsed(rightLen);
      WriteSlot(r.slot());
    }
    PutLE32(up.data(), rightOff);
    if (level == 0) {
      // The root never moves: its left half goes to a new page under it.
      uint32_t leftOff = Allocate();
      {
        Pin l = NewPage(leftOff);
        l->SetLeftmost(p->Leftmost());
        std::memcpy(l->Entries(), all.data(), mid);
        l->SetUsed(mid);
        WriteSlot(l.slot());
      }
      p->SetLeftmost(leftOff);
      std::memcpy(ent, up.data(), upLen);
      p->SetUsed(upLen);
      p.Changed();
      ++ctl_->height;
      return;
    }
    std::memcpy(ent, all.data(), mid);
    p->SetUsed(mid);
    p.Changed();
    p.Release();
    --level;
    Pin pp = Load(path_[level].page);
    int32_t pos = path_[level].pos;
    at = pos < 0 ? 0 : pos + int32_t(Len(pp->Entries() + pos));
    entry = std::move(up);
  }
}

void TUrlBTree::RemoveAt(size_t level, int32_t at) {
  Pin p = Load(path_[level].page);
  uint8_t* ent = p->Entries();
  uint32_t len = Len(ent + at);
  uint32_t used = p->Used();
  std::memmove(ent + at, ent + at + len, used - at - len);
  std::memset(ent + used - len, 0, len);
  p->SetUsed(used - len);
  p.Changed();
}

void TUrlBTree::ReplaceAt(size_t level, int32_t at, Bytes entry) {
  RemoveAt(level, at);
  InsertAt(level, at, std::move(entry));
}

bool TUrlBTree::DeleteEntry(const Key& key) {
  if (!Search(key, TSearchMode::Normal, true)) return false;
  size_t level = path_.size() - 1;
  int32_t pos = path_[level].pos;
  uint32_t child;
  {
    Pin p = Load(path_[level].page);
    child = Child(p->Entries() + pos);
  }
  if (child != kNone) {
    // An inner entry gives way to its in-order successor, the first entry of
    // the leftmost leaf below its child, which is then deleted from that leaf.
    Bytes succ;
    uint32_t off = child;
    for (size_t depth = 0;; ++depth) {
      if (depth >= kMaxDepth) Corrupt("l'arbre est plus profond qu'aucun arbre valide");
      Pin c = Load(off);
      if (c->Leaf()) {
        const uint8_t* e = c->Entries();
        succ.assign(e, e + Len(e));
        break;
      }
      off = c->Leftmost();
    }
    Bytes moved = succ;
    PutLE32(moved.data(), child);
    ReplaceAt(level, pos, std::move(moved));  // may split: the successor can be longer
    std::string s1(Str1(succ.data()));
    Key sk = KeyOf(succ.data());
    sk.s1 = s1;
    // The successor is now both in the inner page and in its leaf; the upper
    // search goes right of the inner copy, down to the leaf.
    Search(sk, TSearchMode::Normal, false, true);
    level = path_.size() - 1;
    pos = path_[level].pos;
    Pin p = Load(path_[level].page);
    if (!p->Leaf() || pos < 0 || Compare(sk, p->Entries() + pos, TSearchMode::Normal) != 0)
      Corrupt("le successeur d'une entrée supprimée n'est pas dans sa feuille");
  }
  RemoveAt(level, pos);
  Rebalance(level);
  return true;
}

// After an entry left the page at path level `level`: a page short of half
// full takes from or merges with a neighbour, and a merge, which takes a
// separator from the parent, goes on one level up.
void TUrlBTree::Rebalance(size_t level) {
  for (;; --level) {
    if (level == 0) {
      CollapseRoot();
      return;
    }
    uint32_t used;
    {
      Pin p = Load(path_[level].page);
      used = p->Used();
    }
    if (used >= kUnderflow) return;
    const PathItem par = path_[level - 1];
    Pin pp = Load(par.page);
    int32_t sepAt = par.pos < 0 ? 0 : par.pos + int32_t(Len(pp->Entries() + par.pos));
    const bool merged = uint32_t(sepAt) < pp->Used() ? JoinRight(level, used, std::move(pp), sepAt)
                                                     : JoinLeft(level, used, std::move(pp));
    if (!merged) return;
  }
}

// A root left without entries gives way to its only child: the root page
// never moves, so the child's entries come up into it.
void TUrlBTree::CollapseRoot() {
  Pin r = Load(0);
  if (r->Used() != 0 || r->Leaf()) return;
  uint32_t only = r->Leftmost();
  {
    Pin c = Load(only);
    std::memcpy(r->Entries(), c->Entries(), c->Used());
    r->SetUsed(c->Used());
    r->SetLeftmost(c->Leftmost());
  }
  r.Changed();
  FreePage(only);
}

// The short page and its right neighbour, through the separator at `sepAt`
// of the parent (the one that follows our pointer): both merge into ours when
// they fit one page, else the neighbour lends its first entry when it has
// more. True when they merged.
bool TUrlBTree::JoinRight(size_t level, uint32_t used, Pin parent, int32_t sepAt) {
  const uint32_t off = path_[level].page;
  const uint8_t* pent = parent->Entries();
  Bytes sep(pent + sepAt, pent + sepAt + Len(pent + sepAt));
  uint32_t nOff = Child(sep.data());
  parent.Release();
  uint32_t sl = uint32_t(sep.size());
  if (sl + used >= kPayload) return false;
  Pin p = Load(off);
  Pin n = Load(nOff);
  uint32_t nUsed = n->Used();
  if (used + sl + nUsed < kPayload) {
    PutLE32(sep.data(), n->Leftmost());
    std::memcpy(p->Entries() + used, sep.data(), sl);
    std::memcpy(p->Entries() + used + sl, n->Entries(), nUsed);
    p->SetUsed(used + sl + nUsed);
    p.Changed();
    n.Release();
    p.Release();
    FreePage(nOff);
    RemoveAt(level - 1, sepAt);
    return true;
  }
  if (nUsed > used + sl) {
    PutLE32(sep.data(), n->Leftmost());
    std::memcpy(p->Entries() + used, sep.data(), sl);
    p->SetUsed(used + sl);
    p.Changed();
    uint8_t* ne = n->Entries();
    Bytes first(ne, ne + Len(ne));
    n->SetLeftmost(Child(first.data()));
    std::memmove(ne, ne + first.size(), nUsed - first.size());
    std::memset(ne + nUsed - first.size(), 0, first.size());
    n->SetUsed(nUsed - uint32_t(first.size()));
    n.Changed();
    PutLE32(first.data(), nOff);
    n.Release();
    p.Release();
    ReplaceAt(level - 1, sepAt, std::move(first));  // may split the parent
  }
  return false;
}

// The short page, last child of its parent, and its left neighbour, through
// the separator whose child we are: ours merges into the neighbour when both
// fit one page, else the neighbour lends its last entry when it has more.
// True when they merged.
bool TUrlBTree::JoinLeft(size_t level, uint32_t used, Pin parent) {
  const uint32_t off = path_[level].page;
  const PathItem par = path_[level - 1];
  if (par.pos < 0) return false;
  const uint8_t* pent = parent->Entries();
  Bytes sep(pent + par.pos, pent + par.pos + Len(pent + par.pos));
  int32_t prevAt = -1;
  for (int32_t q = 0; q < par.pos; q += int32_t(Len(pent + q))) prevAt = q;
  uint32_t lOff = prevAt < 0 ? parent->Leftmost() : Child(pent + prevAt);
  parent.Release();
  uint32_t sl = uint32_t(sep.size());
  if (sl + used >= kPayload) return false;
  Pin p = Load(off);
  Pin l = Load(lOff);
  uint32_t lUsed = l->Used();
  if (lUsed + sl + used < kPayload) {
    PutLE32(sep.data(), p->Leftmost());
    std::memcpy(l->Entries() + lUsed, sep.data(), sl);
    std::memcpy(l->Entries() + lUsed + sl, p->Entries(), used);
    l->SetUsed(lUsed + sl + used);
    l.Changed();
    l.Release();
    p.Release();
    FreePage(off);
    RemoveAt(level - 1, par.pos);
    return true;
  }
  if (lUsed > used) {
    uint8_t* pe = p->Entries();
    PutLE32(sep.data(), p->Leftmost());
    std::memmove(pe + sl, pe, used);
    std::memcpy(pe, sep.data(), sl);
    uint8_t* le = l->Entries();
    int32_t lastAt = 0;
    for (int32_t q = 0; uint32_t(q) < lUsed; q += int32_t(Len(le + q))) lastAt = q;
    Bytes last(le + lastAt, le + lUsed);
    std::memset(le + lastAt, 0, last.size());
    l->SetUsed(uint32_t(lastAt));
    l.Changed();
    p->SetLeftmost(Child(last.data()));
    p->SetUsed(used + sl);
    p.Changed();
    PutLE32(last.data(), off);
    l.Release();
    p.Release();
    ReplaceAt(level - 1, par.pos, std::move(last));
  }
  return false;
}

bool TUrlBTree::FirstEntry(Bytes& out) {
  uint32_t off = 0;
  for (size_t depth = 0;; ++depth) {
    if (depth >= kMaxDepth) Corrupt("l'arbre est plus profond qu'aucun arbre valide");
    Pin p = Load(off);
    if (p->Leaf()) {
      if (p->Used() == 0) return false;
      out.assign(p->Entries(), p->Entries() + Len(p->Entries()));
      return true;
    }
    off = p->Leftmost();
  }
}

// The entry equal to the key, else the first above it.
bool TUrlBTree::EntryFrom(const Key& k, Bytes& out) { return FindCopy(k, TSearchMode::Normal, out) || NextEntry(k, out); }

// The first entry above the key: each step of an iteration is a fresh
// descent, so a callback may change the tree between steps, and the keys met
// always rise (a damaged tree cannot make a walk go round in circles).
bool TUrlBTree::NextEntry(const Key& key, Bytes& out) {
  const Key k = Checked(key);
  bool have = false;
  uint32_t off = 0;
  for (size_t depth = 0;; ++depth) {
    if (depth >= kMaxDepth) Corrupt("l'arbre est plus profond qu'aucun arbre valide");
    Pin p = Load(off);
    const uint8_t* ent = p->Entries();
    // The first entry above the key, by halving.
    const Offsets& o = p.EntryOffsets();
    const uint16_t* at = o.at;
    const size_t n = o.n;
    size_t lo = 0, hi = n;
    while (lo < hi) {
      const size_t mid = lo + (hi - lo) / 2;
      if (Compare(k, ent + at[mid], TSearchMode::Normal) < 0)
        hi = mid;
      else
        lo = mid + 1;
    }
    if (lo < n) {
      const uint8_t* e = ent + at[lo];
      out.assign(e, e + Len(e));
      have = true;
    }
    uint32_t child = lo == 0 ? p->Leftmost() : Child(ent + at[lo - 1]);
    if (child == kNone) return have;
    off = child;
  }
}

// ---------------------------------------------------------------- checks

// What a walk of the tree found: the pages met and the numbers in use.
struct TUrlBTree::Tally {
  std::set<uint32_t> seen;  // pages met, the root aside
  uint64_t records = 0;
  uint32_t sites = 0;
  std::map<uint16_t, uint16_t> siteFolders;            // site number -> its folder counter
  std::set<uint32_t> folders, markers, recordFolders;  // site << 16 | folder
};

void TUrlBTree::CheckTree() {
  if (!ctl_) return;
  Tally tally;
  CheckPages(tally);
  CheckFreeChain(tally.seen);
  CheckNumbers(tally);
}

// How entry `a` compares with entry `b` in the normal order.
int TUrlBTree::CompareEntries(const uint8_t* a, const uint8_t* b) const {
  std::string s(Str1(a));
  Key k = KeyOf(a);
  k.s1 = s;
  return Compare(k, b, TSearchMode::Normal);
}

// Every page from the root down, once: its keys inside the bounds its parent
// gives, its leaves all at one depth; each entry tallied by kind.
void TUrlBTree::CheckPages(Tally& tally) {
  int leafDepth = -1;
  struct Frame {
    uint32_t off;
    Bytes lo, hi;  // bounds, empty: none
    int depth;
  };
  std::vector<Frame> todo{{0, {}, {}, 0}};
  while (!todo.empty()) {
    Frame f = std::move(todo.back());
    todo.pop_back();
    if (f.depth >= int(kMaxDepth)) Corrupt("l'arbre est plus profond qu'aucun arbre valide");
    if (f.off != 0 && !tally.seen.insert(f.off).second) Corrupt("la page " + Hex(f.off) + " est atteinte deux fois");
    Page page;
    {
      Pin p = Load(f.off);
      page = *p;
    }
    const uint8_t* ent = page.Entries();
    Bytes left = f.lo;
    uint32_t lastChild = page.Leftmost();
    for (uint32_t q = 0; q < page.Used(); q += Len(ent + q)) {
      const uint8_t* e = ent + q;
      if ((!f.lo.empty() && CompareEntries(f.lo.data(), e) >= 0) ||
          (!f.hi.empty() && CompareEntries(e, f.hi.data()) >= 0))
        Corrupt("la page " + Hex(f.off) + " contient une clé hors de son intervalle");
      TallyEntry(e, tally);
      Bytes cur(e, e + Len(e));
      if (lastChild != kNone) todo.push_back({lastChild, left, cur, f.depth + 1});
      left = std::move(cur);
      lastChild = Child(e);
    }
    if (lastChild != kNone) todo.push_back({lastChild, left, f.hi, f.depth + 1});
    if (page.Leaf()) {
      if (leafDepth < 0) leafDepth = f.depth;
      if (leafDepth != f.depth) Corrupt("les feuilles sont à des profondeurs différentes");
    }
  }
}

// One entry by its kind (site, folder, record, marker); two sites or two
// folders of a site with one number are a fault at once.
void TUrlBTree::TallyEntry(const uint8_t* e, Tally& tally) const {
  uint16_t a = GetLE16(e + 6), b = GetLE16(e + 8);
  if (a == 0) {
    ++tally.sites;
    if (b == 0 || !tally.siteFolders.emplace(b, GetLE16(e + 26)).second) Corrupt("deux sites ont le même numéro");
  } else if (b < 0x8000) {
    if (!tally.folders.insert(uint32_t(a) << 16 | b).second) Corrupt("deux dossiers d'un site ont le même numéro");
  } else if (b & 1) {
    ++tally.records;
    tally.recordFolders.insert(uint32_t(a) << 16 | uint16_t((b - kRecordKeyB) / 2));
  } else {
    tally.markers.insert(uint32_t(a) << 16 | uint16_t((b - 0x8000) / 2));
  }
}

// The free pages: each one a freed page met once, none of them in the tree.
void TUrlBTree::CheckFreeChain(std::set<uint32_t>& seen) {
  uint32_t free = ctl_->freeHead;
  while (free != kNone) {
    if (!ValidChild(free) || !seen.insert(free).second) Corrupt("la chaîne des pages libres est rompue");
    uint8_t head[12];
    stream_->Read(base_ + free, head, sizeof head);
    if (GetLE32(head + 8) != kFreed) Corrupt("la chaîne des pages libres contient une page utilisée");
    free = GetLE32(head);
  }
}

// Every record lies in a folder of a site, each folder has its marker, and
// the counters would never hand out a number in use again.
void TUrlBTree::CheckNumbers(const Tally& tally) const {
  if (tally.records != ctl_->count) Corrupt("le nombre d'adresses ne correspond pas aux adresses");
  if (tally.sites > ctl_->siteCounter) Corrupt("le compteur des sites est inférieur au nombre de sites");
  for (auto& [site, counter] : tally.siteFolders)
    if (site > ctl_->siteCounter || counter > kMaxFolders) Corrupt("un numéro de site dépasse le compteur des sites");
  for (uint32_t f : tally.folders) {
    auto site = tally.siteFolders.find(uint16_t(f >> 16));
    if (site == tally.siteFolders.end()) Corrupt("un dossier n'appartient à aucun site");
    if ((f & 0xFFFF) >= site->second || (f & 0xFFFF) >= kMaxFolders)
      Corrupt("un numéro de dossier dépasse le compteur de son site");
    if (!tally.markers.count(f)) Corrupt("un dossier n'a pas de repère");
  }
  for (uint32_t f : tally.recordFolders)
    if (!tally.folders.count(f)) Corrupt("une adresse n'appartient à aucun dossier");
  for (uint32_t f : tally.markers)
    if (!tally.folders.count(f)) Corrupt("un repère de dossier n'appartient à aucun dossier");
}

// ---------------------------------------------------------------- records

bool TUrlBTree::Fits(const std::string& url, const std::string& localName) {
  UrlParts parts;
  // A NUL cannot be stored, and the URL model would cut at it: two URLs would meet.
  if (url.find('\0') != std::string::npos || !SplitUrl(url, parts)) return false;
  auto ok = [](const std::string& a, const std::string& b) {
    return a.find('\0') == std::string::npos && b.find('\0') == std::string::npos &&
           kEntryHead + a.size() + b.size() + 2 <= kMaxEntry;
  };
  return ok(parts.document, localName) && ok(parts.folder, "") && ok(parts.site, "");
}

// The three keys of a URL: its site, its folder and its document, in the
// normal form of the URL model (so equal texts are the same record).
bool TUrlBTree::SplitUrl(const std::string& url, UrlParts& parts) {
  if (url.empty()) return false;
  parts = PartsOf(TUrl(url));
  return true;
}

TUrlBTree::UrlParts TUrlBTree::PartsOf(const TUrl& url) {
  return {url.GetSiteUrl(), url.GetDirectoryUrl(), url.GetDocument()};
}

// Site and folder entries are never deleted nor renumbered while the tree is
// open, so their numbers can be remembered by URL: most lookups of the link
// pass then search the tree once instead of three times.
void TUrlBTree::RememberFolder(const std::string& folderUrl, uint16_t site, uint16_t folder) {
  if (folderMemo_.size() >= 65536) folderMemo_.clear();
  folderMemo_[folderUrl] = {site, folder};
}

bool TUrlBTree::FindFolder(const UrlParts& parts, uint16_t& site, uint16_t& folder) {
  if (auto it = folderMemo_.find(parts.folder); it != folderMemo_.end()) {
    site = it->second.first;
    folder = it->second.second;
    return true;
  }
  Bytes e;
  if (!FindCopy(Key{0, 1, parts.site}, TSearchMode::Normal, e)) return false;
  site = GetLE16(e.data() + 8);
  if (!FindCopy(Key{site, 1, parts.folder}, TSearchMode::Normal, e)) return false;
  folder = GetLE16(e.data() + 8);
  RememberFolder(parts.folder, site, folder);
  return true;
}

bool TUrlBTree::EnsureFolder(uint16_t site, Bytes& siteEntry, const std::string& folderUrl, uint16_t& folder,
                             bool& created) {
  Bytes e;
  if (FindCopy(Key{site, 0, folderUrl}, TSearchMode::Normal, e)) {
    folder = GetLE16(e.data() + 8);
    return true;
  }
  uint16_t counter = GetLE16(siteEntry.data() + 26);
  if (counter >= kMaxFolders) return false;
  InsertEntry(MakeEntry(site, counter, folderUrl, ""));
  InsertEntry(MakeEntry(site, uint16_t(counter * 2 + 0x8000), "", ""));
  PutLE16(siteEntry.data() + 26, uint16_t(counter + 1));
  folder = counter;
  created = true;
  return true;
}

void TUrlBTree::FillRecord(const Bytes& entry, const std::string& folderUrl, TWebFile& record) {
  record.LoadRecord(entry.data(), entry.size());
  record.FullUrl = folderUrl + record.GetUrl();
  record.Owner = this;
  record.Changed = record.NameChanged = false;
}

bool TUrlBTree::AddUrl(const std::string& url, TWebFile& record) {
  record.Owner = this;
  record.FullUrl = url;
  return InsertRecord(record);
}

// Creates what a record of a new folder needs: its site entry, the site's
// folder 0 and the folder itself, each folder with its marker.
bool TUrlBTree::MakeFolder(const UrlParts& parts, uint16_t& site, uint16_t& folder) {
  Bytes siteEntry;
  if (FindCopy(Key{0, 1, parts.site}, TSearchMode::Normal, siteEntry)) {
    site = GetLE16(siteEntry.data() + 8);
  } else {
    if (ctl_->siteCounter + 1u >= kMaxSites) return false;
    site = uint16_t(ctl_->siteCounter + 1);
    siteEntry = MakeEntry(0, site, parts.site, "");
    InsertEntry(siteEntry);
    ctl_->siteCounter = site;
    ctl_->changed = true;
  }
  bool created = false;
  uint16_t root = 0;
  bool ok = EnsureFolder(site, siteEntry, parts.site, root, created) &&
            EnsureFolder(site, siteEntry, parts.folder, folder, created);
  if (created) {
    // The site's folder counter, written back in place.
    std::string s1(Str1(siteEntry.data()));
    if (Search(Key{0, site, s1}, TSearchMode::Normal, true)) {
      Pin p = Load(path_.back().page);
      std::memcpy(p->Entries() + path_.back().pos + 10, siteEntry.data() + 10, 18);
      p.Changed();
    }
  }
  if (!ok) return false;
  RememberFolder(parts.site, site, root);
  RememberFolder(parts.folder, site, folder);
  return true;
}

// The overflow site, made when first needed with the next site number.
bool TUrlBTree::OverflowSite(uint16_t& site) {
  if (!overflow_) {
    if (ctl_->siteCounter >= kMaxSites) return false;
    const uint16_t number = uint16_t(ctl_->siteCounter + 1);
    Bytes siteEntry = MakeEntry(0, number, "", "");
    PutLE16(siteEntry.data() + 26, 1);
    if (!InsertEntry(siteEntry)) Corrupt("the overflow site cannot be made");
    InsertEntry(MakeEntry(number, 0, "", ""));
    InsertEntry(MakeEntry(number, 0x8000, "", ""));
    ctl_->siteCounter = number;
    ctl_->changed = true;
    overflow_ = number;
  }
  site = overflow_;
  return true;
}

bool TUrlBTree::InsertRecord(TWebFile& record) {
  if (!ctl_) return false;
  UrlParts parts;
  std::string local = record.GetLocalName();
  if (!SplitUrl(record.FullUrl, parts) || !Fits(record.FullUrl, local)) return false;
  uint16_t site = 0, folder = 0;
  std::string document = parts.document;
  if (!FindFolder(parts, site, folder) && !MakeFolder(parts, site, folder)) {
    // No number left for its site or its folder: the whole URL goes to the
    // overflow site.
    document = parts.folder + parts.document;
    folder = 0;
    if (kEntryHead + document.size() + local.size() + 2 > kMaxEntry || !OverflowSite(site)) return false;
  }
  record.SetKeys(site, uint16_t(folder * 2 + kRecordKeyB));
  record.SetStrings(document, local);
  record.FullUrl = parts.folder + parts.document;
  Bytes e(record.Record(), record.Record() + record.Length());
  if (!InsertEntry(std::move(e))) return false;
  ++ctl_->count;
  ctl_->changed = true;
  record.Owner = this;
  record.MarkStored();
  naming_.Claimed.Add(local);
  if (OnChange) OnChange(*this);
  return true;
}

bool TUrlBTree::FindRecord(const std::string& url, TWebFile& record) {
  if (!ctl_ || url.empty()) return false;
  return FindRecord(TUrl(url), record);
}

bool TUrlBTree::FindRecord(const TUrl& url, TWebFile& record) {
  if (!ctl_) return false;
  const UrlParts parts = PartsOf(url);
  if (FindParts(parts, record)) return true;
  // A capture made while the UTF-8 characters of a URL kept the form they
  // were written in filed the escaped ones as written (upper-case hex, as
  // pages mostly write them).
  const UrlParts escaped{EscapeHighBytes(parts.site), EscapeHighBytes(parts.folder), EscapeHighBytes(parts.document)};
  if (escaped.folder != parts.folder || escaped.document != parts.document) {
    if (FindParts(escaped, record)) return true;
  }
  // A host first met by its numeric address keeps the records filed then
  // under the address once its name is known: the name finds them.
  TUrl u = url;
  u.Host = HostAddressOf(u.Host);
  return !u.Host.empty() && FindParts(PartsOf(u), record);
}

bool TUrlBTree::FindParts(const UrlParts& parts, TWebFile& record) {
  uint16_t site, folder;
  Bytes e;
  if (FindFolder(parts, site, folder) &&
      FindCopy(Key{site, uint16_t(folder * 2 + kRecordKeyB), parts.document}, TSearchMode::Normal, e)) {
    FillRecord(e, parts.folder, record);
    return true;
  }
  if (!overflow_ || !FindCopy(Key{overflow_, kRecordKeyB, parts.folder + parts.document}, TSearchMode::Normal, e))
    return false;
  FillRecord(e, "", record);
  return true;
}

bool TUrlBTree::FindUrl(const std::string& url, TWebFile& record) {
  return ctl_ && !url.empty() && FindUrl(TUrl(url), record);
}

bool TUrlBTree::FindUrl(const TUrl& url, TWebFile& record) {
  if (!FindRecord(url, record)) return false;
  for (int followed = 0; record.IsRedirect() && followed < 4; ++followed)
    if (!FindRecord(record.GetLocalName(), record)) return false;
  return true;
}

std::string TUrlBTree::GetLocalPathOfUrl(const std::string& url) {
  TWebFile record(this);
  if (!FindUrl(url, record) || record.IsRedirect()) return {};
  return record.GetLocalPath();
}

bool TUrlBTree::UpdateRecord(TWebFile& record, bool nameChanged) {
  if (!ctl_) return false;
  std::string s1 = record.GetUrl();
  if (!Search(Key{record.KeyA(), record.KeyB(), s1}, TSearchMode::Normal, true)) return false;
  size_t level = path_.size() - 1;
  int32_t pos = path_[level].pos;
  Pin p = Load(path_[level].page);
  uint8_t* e = p->Entries() + pos;
  if (!nameChanged) {
    std::memcpy(e + 10, record.Record() + 10, 18);
    p.Changed();
    return true;
  }
  Bytes n(record.Record(), record.Record() + record.Length());
  PutLE32(n.data(), Child(e));
  p.Release();
  ReplaceAt(level, pos, std::move(n));
  return true;
}

bool TUrlBTree::RekeyRecord(const std::string& oldKey, TWebFile& record) {
  if (!ctl_) return false;
  std::string s1 = record.GetUrl();
  Bytes e;
  if (FindCopy(Key{record.KeyA(), record.KeyB(), s1}, TSearchMode::Normal, e)) return false;
  if (!DeleteEntry(Key{record.KeyA(), record.KeyB(), oldKey})) return false;
  InsertEntry(Bytes(record.Record(), record.Record() + record.Length()));
  if (record.FullUrl.size() >= oldKey.size() &&
      record.FullUrl.compare(record.FullUrl.size() - oldKey.size(), oldKey.size(), oldKey) == 0)
    record.FullUrl = record.FullUrl.substr(0, record.FullUrl.size() - oldKey.size()) + s1;
  record.MarkStored();
  return true;
}

bool TUrlBTree::DeleteRecord(TWebFile& record) {
  if (!ctl_ || !record.IsUrlRecord()) return false;
  std::string s1 = record.IsStored() ? record.StoredKey() : record.GetUrl();
  if (!DeleteEntry(Key{record.KeyA(), record.KeyB(), s1})) return false;
  --ctl_->count;
  ctl_->changed = true;
  if (OnChange) OnChange(*this);
  return true;
}

bool TUrlBTree::DeleteUrl(const std::string& url) {
  TWebFile record(this);
  return FindRecord(url, record) && DeleteRecord(record);
}

// ---------------------------------------------------------------- iteration

bool TUrlBTree::LocateRecord(const TWebFile& record, TSearchMode mode) {
  if (!ctl_) return false;
  Bytes e;
  std::string s1 = record.GetUrl();
  if (!FindCopy(Key{record.KeyA(), record.KeyB(), s1}, mode, e)) return false;
  cursor_->LoadRecord(e.data(), e.size());
  cursor_->FullUrl = record.FullUrl;
  cursor_->Owner = this;
  if (record.KeyA() == 0) {
    cursorSite_ = cursorFolderUrl_ = std::string(Str1(e.data()));
    cursorSiteNumber_ = GetLE16(e.data() + 8);
  } else if (record.KeyB() < 0x8000) {
    cursorFolderUrl_ = Str1(e.data());
  } else {
    const std::string doc = cursor_->GetUrl();
    cursorFolderUrl_ = record.FullUrl.substr(0, record.FullUrl.size() - std::min(doc.size(), record.FullUrl.size()));
  }
  // Back in the site entered last, the cursor keeps that site's own key, so
  // the next site is always above it whatever the URLs read.
  if (record.KeyA() != 0 && record.KeyA() != cursorSiteNumber_) {
    UrlParts parts;
    const TLiteralHosts stored;
    if (SplitUrl(cursorFolderUrl_, parts)) cursorSite_ = parts.site;
    cursorSiteNumber_ = record.KeyA();
  }
  return true;
}

void TUrlBTree::SaveCursor() {
  saved_->Assign(*cursor_);
  savedSite_ = cursorSite_;
  savedFolderUrl_ = cursorFolderUrl_;
  savedSiteNumber_ = cursorSiteNumber_;
}

bool TUrlBTree::RestoreCursor() {
  cursor_->Assign(*saved_);
  cursorSite_ = savedSite_;
  cursorFolderUrl_ = savedFolderUrl_;
  cursorSiteNumber_ = savedSiteNumber_;
  return false;
}

bool TUrlBTree::EnterSite(const Bytes& siteEntry) {
  if (GetLE16(siteEntry.data() + 6) != 0 || GetLE16(siteEntry.data() + 8) == 0) return false;
  uint16_t site = GetLE16(siteEntry.data() + 8);
  std::string root(Str1(siteEntry.data()));
  Bytes e;
  if (!FindCopy(Key{site, 0, root}, TSearchMode::Normal, e)) return false;
  cursor_->LoadRecord(e.data(), e.size());
  cursor_->FullUrl = cursorSite_ = cursorFolderUrl_ = root;
  cursorSiteNumber_ = site;
  return true;
}

bool TUrlBTree::FindFirstSite() {
  if (!ctl_) return false;
  SaveCursor();
  Bytes e;
  if (!FirstEntry(e) || !EnterSite(e)) return RestoreCursor();
  return true;
}

bool TUrlBTree::FindNextSite() {
  if (!ctl_) return false;
  SaveCursor();
  Bytes e;
  if (!NextEntry(Key{0, 1, cursorSite_}, e) || !EnterSite(e)) return RestoreCursor();
  return true;
}

bool TUrlBTree::FindNextFolder() {
  if (!ctl_) return false;
  SaveCursor();
  uint16_t site = cursor_->KeyA();
  Bytes e;
  if (!NextEntry(Key{site, 0, cursorFolderUrl_}, e) || GetLE16(e.data() + 6) != site || GetLE16(e.data() + 8) >= 0x8000)
    return RestoreCursor();
  cursor_->LoadRecord(e.data(), e.size());
  cursor_->FullUrl = cursorFolderUrl_ = Str1(e.data());
  return true;
}

bool TUrlBTree::FindFirstInFolder() {
  if (!ctl_) return false;
  SaveCursor();
  uint16_t site = cursor_->KeyA(), b = cursor_->KeyB();
  uint16_t folder = b < 0x8000 ? b : uint16_t((b - 0x8000) / 2);
  Bytes e;
  if (!NextEntry(Key{site, uint16_t(folder * 2 + 0x8000), ""}, e) || GetLE16(e.data() + 6) != site ||
      GetLE16(e.data() + 8) != folder * 2 + kRecordKeyB)
    return RestoreCursor();
  cursor_->LoadRecord(e.data(), e.size());
  cursor_->FullUrl = cursorFolderUrl_ + cursor_->GetUrl();
  return true;
}

bool TUrlBTree::FindNextInFolder() {
  if (!ctl_) return false;
  SaveCursor();
  std::string s1 = cursor_->IsStored() ? cursor_->StoredKey() : cursor_->GetUrl();
  uint16_t a = cursor_->KeyA(), b = cursor_->KeyB();
  Bytes e;
  if (!NextEntry(Key{a, b, s1}, e) || GetLE16(e.data() + 6) != a || GetLE16(e.data() + 8) != b) return RestoreCursor();
  cursor_->LoadRecord(e.data(), e.size());
  cursor_->FullUrl = cursorFolderUrl_ + cursor_->GetUrl();
  return true;
}

bool TUrlBTree::Visit(const Bytes& entry, const std::string& folderUrl, const TForEachCallback& callback) {
  FillRecord(entry, folderUrl, *cursor_);
  bool go = callback(*cursor_);
  // Only what the callback changed is written back, name changes included.
  cursor_->SaveChanges();
  return go;
}

bool TUrlBTree::ForEach(const TForEachCallback& callback) {
  if (!ctl_) return false;
  // Sites by root URL, folders by folder URL, records by name; each step
  // starts again from the key of the entry before, never from a held position.
  Bytes siteEntry;
  bool haveSite = FirstEntry(siteEntry);
  while (haveSite && GetLE16(siteEntry.data() + 6) == 0) {
    uint16_t site = GetLE16(siteEntry.data() + 8);
    std::string root(Str1(siteEntry.data()));
    Bytes folderEntry;
    bool haveFolder = EntryFrom(Key{site, 0, ""}, folderEntry);
    while (haveFolder && GetLE16(folderEntry.data() + 6) == site && GetLE16(folderEntry.data() + 8) < 0x8000) {
      uint16_t folder = GetLE16(folderEntry.data() + 8);
      std::string folderUrl(Str1(folderEntry.data()));
      uint16_t recordB = uint16_t(folder * 2 + kRecordKeyB);
      Bytes e;
      bool have = NextEntry(Key{site, uint16_t(recordB - 1), ""}, e);
      while (have && GetLE16(e.data() + 6) == site && GetLE16(e.data() + 8) == recordB) {
        if (!Visit(e, folderUrl, callback)) return false;
        std::string s1(Str1(e.data()));
        Bytes next;
        have = NextEntry(Key{site, recordB, s1}, next);
        e = std::move(next);
      }
      haveFolder = NextEntry(Key{site, 0, folderUrl}, folderEntry);
    }
    haveSite = NextEntry(Key{0, 1, root}, siteEntry);
  }
  return true;
}

bool TUrlBTree::ForEachInOverflow(const std::function<bool(TWebFile&, bool siteOutOfFolders)>& callback) {
  if (!ctl_ || !overflow_) return true;
  const uint16_t site = overflow_;
  Bytes e;
  bool have = NextEntry(Key{site, uint16_t(kRecordKeyB - 1), ""}, e);
  while (have && GetLE16(e.data() + 6) == site && GetLE16(e.data() + 8) == kRecordKeyB) {
    std::string s1(Str1(e.data()));
    UrlParts parts;
    Bytes siteEntry;
    const bool numbered = SplitUrl(s1, parts) && FindCopy(Key{0, 1, parts.site}, TSearchMode::Normal, siteEntry);
    if (!Visit(e, "", [&](TWebFile& r) { return callback(r, numbered); })) return false;
    Bytes next;
    have = NextEntry(Key{site, kRecordKeyB, s1}, next);
    e = std::move(next);
  }
  return true;
}

bool TUrlBTree::ForEachInSite(const TWebFile& site, const TForEachCallback& callback) {
  if (!ctl_ || !LocateRecord(site, TSearchMode::Normal)) return false;
  // The site's entries in tree order: its folder entries (which come first),
  // then folder by folder its marker and records.
  uint16_t number = site.KeyA();
  std::map<uint16_t, std::string> folders;
  Bytes e;
  bool have = EntryFrom(Key{number, 0, ""}, e);
  while (have && GetLE16(e.data() + 6) == number) {
    uint16_t b = GetLE16(e.data() + 8);
    if (b < 0x8000) {
      folders[b] = Str1(e.data());
    } else if (b & 1) {
      if (!Visit(e, folders[uint16_t((b - kRecordKeyB) / 2)], callback)) return false;
    }
    std::string s1(Str1(e.data()));
    Bytes next;
    have = NextEntry(Key{number, b, s1}, next);
    e = std::move(next);
  }
  return true;
}

}  // namespace qlon
