#include "WebStream.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "Texts.h"
#include "UtilsStream.h"

namespace qlon {

namespace {

constexpr char kJournalMagic[8] = {'Q', 'L', 'O', 'N', 'J', 'R', 'N', '2'};
constexpr size_t kJournalHeader = 24;
constexpr size_t kRecordHeader = 16;
// The bytes of the file that identify it to its journal: the capture header
// and the tree's header block with its root page, which every save rewrites.
constexpr size_t kIdentityBytes = 16384;
constexpr int kMaxSetAside = 100;

// A hash that tells a torn or stale record from a whole one; it reads eight
// bytes at a time, so journalling a page costs little.
uint64_t Hash(uint64_t seed, const uint8_t* p, size_t n) {
  uint64_t h = 0x9E3779B97F4A7C15ull ^ seed ^ n;
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, p + i, 8);
    h = (h ^ w) * 0x100000001B3ull;
    h ^= h >> 29;
  }
  for (; i < n; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
  return h;
}

uint32_t Checksum(uint32_t seed, const uint8_t* p, size_t n) {
  const uint64_t h = Hash(seed, p, n);
  return uint32_t(h ^ (h >> 32));
}

size_t PreadFull(int fd, void* buf, size_t n, uint64_t off) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd, static_cast<char*>(buf) + done, n - done, off_t(off + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += size_t(r);
  }
  return done;
}

bool PwriteFull(int fd, const void* buf, size_t n, uint64_t off) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(fd, static_cast<const char*>(buf) + done, n - done, off_t(off + done));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    done += size_t(r);
  }
  return true;
}

void SyncFolder(const std::filesystem::path& file) {
  auto folder = file.parent_path();
  int dfd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
}

}  // namespace

std::filesystem::path TWebStream::JournalPath(const std::filesystem::path& file) {
  return std::filesystem::path(file.string() + "-journal");
}

void TWebStream::Fail(const std::string& what) const {
  throw EWebStream(what + " (" + path_.string() + ") : " + SystemErrorText(errno));
}

TWebStream::TWebStream(const std::filesystem::path& path, Mode mode) : path_(path) {
  readOnly_ = mode == Mode::ReadOnly;
  int flags = O_CLOEXEC | (readOnly_ ? O_RDONLY : O_RDWR);
  if (mode == Mode::Create) flags |= O_CREAT;
  fd_ = ::open(path.c_str(), flags, 0600);
  if (fd_ < 0) Fail("Impossible d'ouvrir le fichier de capture");
  if (!readOnly_ && ::flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd_);
    fd_ = -1;
    errno = err;
    if (err == EWOULDBLOCK)
      throw EWebStream("Le fichier de capture est utilisé par un autre programme (" + path.string() + ")");
    Fail("Impossible de réserver le fichier de capture");
  }
  try {
    if (mode == Mode::Create) {
      std::error_code ec;
      std::filesystem::remove(JournalPath(path_), ec);
      if (::ftruncate(fd_, 0) != 0) Fail("Impossible de vider le fichier de capture");
    } else if (mode == Mode::Open) {
      setAside_ = RecoverJournal(fd_, path_, false, &setAsideIncomplete_);
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0) Fail("Impossible de lire la taille du fichier de capture");
    size_ = committedSize_ = uint64_t(st.st_size);
  } catch (...) {
    ::close(fd_);
    fd_ = -1;
    throw;
  }
}

TWebStream::~TWebStream() {
  // An uncommitted transaction stays in its journal and is undone at the next
  // open; it is not undone here so that a failed save never half-reverts.
  CloseJournal(false);
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// Calls `each`(offset, data) for every complete record of a journal whose
// records cover at most `committed` bytes, in order, up to the first torn one.
template <class Each>
void ForEachRecord(int jfd, uint64_t committed, Each each) {
  uint64_t pos = kJournalHeader;
  std::vector<uint8_t> data;
  for (;;) {
    uint8_t rh[kRecordHeader];
    if (PreadFull(jfd, rh, kRecordHeader, pos) != kRecordHeader) break;
    uint64_t off = GetLE64(rh);
    uint32_t len = GetLE32(rh + 8);
    if (len > (64u << 20) || off > committed || len > committed - off) break;
    data.resize(len);
    if (PreadFull(jfd, data.data(), len, pos + kRecordHeader) != len) break;
    uint32_t crc = Checksum(Checksum(0, rh, 12), data.data(), len);
    if (crc != GetLE32(rh + 12)) break;
    each(off, data);
    pos += kRecordHeader + len;
  }
}

// Whether the journal is the file's: the file is at least the committed size
// (a transaction only grows it), and its first bytes with the journal's
// saved originals laid over them, what its rollback would leave, give the
// identity the journal was begun with. A file empty at its last commit has
// nothing that identifies it.
bool IsJournalOf(int fd, int jfd, uint64_t committed, uint64_t identity) {
  struct stat st {};
  if (committed == 0 || ::fstat(fd, &st) != 0 || uint64_t(st.st_size) < committed) return false;
  const size_t n = size_t(std::min<uint64_t>(committed, kIdentityBytes));
  std::vector<uint8_t> bytes(n, 0);
  if (PreadFull(fd, bytes.data(), n, 0) != n) return false;
  ForEachRecord(jfd, committed, [&](uint64_t off, const std::vector<uint8_t>& data) {
    if (off < n) std::memcpy(bytes.data() + off, data.data(), size_t(std::min<uint64_t>(data.size(), n - off)));
  });
  return Hash(0, bytes.data(), n) == identity;
}

// A free name beside the journal for one that is not its file's; empty when
// a hundred are taken already.
std::filesystem::path SetAsideName(const std::filesystem::path& journal) {
  for (int i = 1; i <= kMaxSetAside; ++i) {
    std::filesystem::path name(journal.string() + ".orphan" + (i == 1 ? std::string() : std::to_string(i)));
    struct stat st {};
    if (::lstat(name.c_str(), &st) != 0 && errno == ENOENT) return name;
  }
  return {};
}

}  // namespace

std::filesystem::path TWebStream::RecoverJournal(int fd, const std::filesystem::path& file, bool own,
                                                 bool* incomplete) {
  auto jpath = JournalPath(file);
  int jfd = ::open(jpath.c_str(), O_RDONLY | O_CLOEXEC);
  if (jfd < 0) return {};
  struct stat js {};
  uint8_t head[kJournalHeader];
  const bool torn = ::fstat(jfd, &js) != 0 || uint64_t(js.st_size) < kJournalHeader;
  if (torn && own) {
    // Our own, cut before its header was complete: no write of its
    // transaction reached the file.
    ::close(jfd);
    ::unlink(jpath.c_str());
    SyncFolder(file);
    return {};
  }
  if (incomplete) *incomplete = torn;
  bool mine = !torn && PreadFull(jfd, head, kJournalHeader, 0) == kJournalHeader &&
              std::memcmp(head, kJournalMagic, 8) == 0;
  const uint64_t committed = mine ? GetLE64(head + 8) : 0;
  if (mine && !own) mine = IsJournalOf(fd, jfd, committed, GetLE64(head + 16));
  if (!mine) {
    ::close(jfd);
    // Without a free name it stays where it is, and is refused again.
    std::filesystem::path aside = SetAsideName(jpath);
    if (aside.empty() || ::rename(jpath.c_str(), aside.c_str()) != 0) return jpath;
    SyncFolder(file);
    return aside;
  }
  ForEachRecord(jfd, committed, [&](uint64_t off, const std::vector<uint8_t>& data) {
    if (!PwriteFull(fd, data.data(), data.size(), off)) {
      ::close(jfd);
      throw EWebStream("Impossible de rétablir le fichier de capture depuis son journal (" + file.string() + ")");
    }
  });
  if (::ftruncate(fd, off_t(committed)) != 0 || ::fsync(fd) != 0) {
    ::close(jfd);
    throw EWebStream("Impossible de rétablir le fichier de capture depuis son journal (" + file.string() + ")");
  }
  ::close(jfd);
  ::unlink(jpath.c_str());
  SyncFolder(file);
  return {};
}

size_t TWebStream::ReadSome(uint64_t off, void* buf, size_t n) const {
  if (fd_ < 0) return 0;
  size_t got = PreadFull(fd_, buf, n, off);
  // Writes held back lie over what the file still holds. They never overlap,
  // so only the one before `off` can reach into the range from the left.
  auto it = pending_.lower_bound(off);
  if (it != pending_.begin()) --it;
  for (; it != pending_.end() && it->first < off + n; ++it) {
    uint64_t from = std::max(off, it->first), to = std::min(off + n, it->first + it->second.size());
    if (from >= to) continue;
    std::memcpy(static_cast<char*>(buf) + (from - off), it->second.data() + (from - it->first), to - from);
    got = std::max<size_t>(got, size_t(to - off));
  }
  return got;
}

void TWebStream::Read(uint64_t off, void* buf, size_t n) const {
  if (ReadSome(off, buf, n) != n)
    throw EWebStream("Le fichier de capture est plus court que ce qu'il annonce (" + path_.string() + ")");
}

void TWebStream::BeginTransaction() {
  // Made under another name and renamed once its header is in: a journal
  // under its own name always holds a whole header, so a shorter one was
  // never left by a writer of this file.
  const auto jpath = JournalPath(path_);
  const std::filesystem::path fresh = jpath.string() + ".new";
  journal_ = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (journal_ < 0) Fail("Impossible de créer le journal du fichier de capture");
  // Nothing waits to be written at the start of a transaction: the file
  // holds what the last commit left.
  std::vector<uint8_t> identity(size_t(std::min<uint64_t>(committedSize_, kIdentityBytes)));
  if (PreadFull(fd_, identity.data(), identity.size(), 0) != identity.size())
    Fail("Impossible de lire le fichier de capture");
  uint8_t head[kJournalHeader];
  std::memcpy(head, kJournalMagic, 8);
  PutLE64(head + 8, committedSize_);
  PutLE64(head + 16, Hash(0, identity.data(), identity.size()));
  if (!PwriteFull(journal_, head, kJournalHeader, 0) || ::rename(fresh.c_str(), jpath.c_str()) != 0) {
    const int error = errno;
    ::close(journal_);
    journal_ = -1;
    ::unlink(fresh.c_str());
    errno = error;
    Fail("Impossible d'écrire le journal du fichier de capture");
  }
  journalEnd_ = kJournalHeader;
  journalUnsynced_ = true;
  journalHeaderSynced_ = false;
  journalled_.clear();
  if (sync_) SyncFolder(jpath);
}

void TWebStream::JournalRange(uint64_t off, size_t n) {
  uint64_t end = std::min<uint64_t>(off + n, committedSize_);
  uint64_t cur = off;
  std::vector<uint8_t> data;
  while (cur < end) {
    // Skip what an earlier record of this transaction holds already.
    auto it = journalled_.upper_bound(cur);
    if (it != journalled_.begin()) {
      auto prev = std::prev(it);
      if (prev->second > cur) {
        cur = prev->second;
        continue;
      }
    }
    uint64_t stop = end;
    if (it != journalled_.end() && it->first < stop) stop = it->first;
    size_t len = size_t(stop - cur);
    data.assign(kRecordHeader + len, 0);
    PutLE64(data.data(), cur);
    PutLE32(data.data() + 8, uint32_t(len));
    if (PreadFull(fd_, data.data() + kRecordHeader, len, cur) != len)
      Fail("Impossible de lire le fichier de capture");
    PutLE32(data.data() + 12, Checksum(Checksum(0, data.data(), 12), data.data() + kRecordHeader, len));
    if (!PwriteFull(journal_, data.data(), data.size(), journalEnd_))
      Fail("Impossible d'écrire le journal du fichier de capture");
    journalEnd_ += data.size();
    journalUnsynced_ = true;
    // Merge with the neighbours so that lookups stay short.
    uint64_t start = cur;
    auto next = journalled_.find(stop);
    if (next != journalled_.end()) {
      stop = next->second;
      journalled_.erase(next);
    }
    auto before = journalled_.lower_bound(start);
    if (before != journalled_.begin() && std::prev(before)->second == start)
      std::prev(before)->second = stop;
    else
      journalled_[start] = stop;
    cur = stop;
  }
}

void TWebStream::SyncJournal() {
  if (journalUnsynced_ && sync_ && ::fdatasync(journal_) != 0)
    Fail("Impossible d'écrire le journal du fichier de capture");
  journalUnsynced_ = false;
  journalHeaderSynced_ = true;
}

void TWebStream::Write(uint64_t off, const void* buf, size_t n) {
  if (readOnly_) throw EWebStream("Le fichier de capture est ouvert en lecture seule (" + path_.string() + ")");
  if (n == 0) return;
  if (journal_ < 0) BeginTransaction();
  size_ = std::max(size_, off + n);
  if (off >= committedSize_) {
    // New bytes: a rollback truncates them, which needs only the journal's header.
    if (!journalHeaderSynced_ && sync_ && ::fdatasync(journal_) != 0)
      Fail("Impossible d'écrire le journal du fichier de capture");
    journalHeaderSynced_ = true;
    if (!PwriteFull(fd_, buf, n, off)) Fail("Impossible d'écrire le fichier de capture");
    return;
  }
  // An overwrite of committed bytes: its original goes to the journal now, the
  // write itself waits with others until one journal sync covers them all.
  JournalRange(off, n);
  auto same = pending_.find(off);
  bool overlaps = false;
  auto next = pending_.lower_bound(off);
  if (next != pending_.end() && next->first < off + n && next != same) overlaps = true;
  if (next != pending_.begin()) {
    auto prev = std::prev(next);
    if (prev != same && prev->first + prev->second.size() > off) overlaps = true;
  }
  if (same != pending_.end() && same->second.size() != n) overlaps = true;
  if (overlaps) WritePending();
  auto& slot = pending_[off];
  pendingBytes_ += n - slot.size();
  slot.assign(static_cast<const uint8_t*>(buf), static_cast<const uint8_t*>(buf) + n);
  if (pendingBytes_ > kPendingLimit) WritePending();
}

void TWebStream::WritePending() {
  if (pending_.empty()) return;
  SyncJournal();
  for (auto& [off, data] : pending_)
    if (!PwriteFull(fd_, data.data(), data.size(), off)) Fail("Impossible d'écrire le fichier de capture");
  pending_.clear();
  pendingBytes_ = 0;
}

void TWebStream::CloseJournal(bool remove) {
  if (journal_ < 0) return;
  ::close(journal_);
  journal_ = -1;
  journalled_.clear();
  if (remove) {
    ::unlink(JournalPath(path_).c_str());
    if (sync_) SyncFolder(path_);
  }
}

void TWebStream::Commit() {
  if (journal_ < 0) return;
  WritePending();
  if (sync_ && ::fsync(fd_) != 0) Fail("Impossible d'écrire le fichier de capture");
  CloseJournal(true);  // the commit point
  committedSize_ = size_;
}

void TWebStream::Rollback() {
  if (journal_ < 0) return;
  pending_.clear();
  pendingBytes_ = 0;
  SyncJournal();
  CloseJournal(false);
  RecoverJournal(fd_, path_, true);
  size_ = committedSize_;
}

}  // namespace qlon
