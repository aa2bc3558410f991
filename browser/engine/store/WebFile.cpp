#include "WebFile.h"

#include <algorithm>

#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "HtmlParser.h"
#include "LocalNaming.h"
#include "Urlutil.h"
#include "Texts.h"
#include "UrlBTree.h"

namespace qlon {

TWebFile::TWebFile(TUrlBTree* owner) : Owner(owner) { Clear(); }

void TWebFile::Clear() {
  std::memset(rec_, 0, sizeof rec_);
  Put16(4, uint16_t(kHead + 2));
  storedKey_.clear();
  stored_ = false;
}

void TWebFile::Assign(const TWebFile& source) {
  FullUrl = source.FullUrl;
  std::memcpy(rec_, source.rec_, sizeof rec_);
  storedKey_ = source.storedKey_;
  stored_ = source.stored_;
}

bool TWebFile::LoadRecord(const uint8_t* entry, size_t n) {
  if (n < kHead + 2 || n > kRecordSize) return false;
  std::memset(rec_, 0, sizeof rec_);
  std::memcpy(rec_, entry, n);
  MarkStored();
  return true;
}

void TWebFile::SetKeys(uint16_t a, uint16_t b) {
  Put16(6, a);
  Put16(8, b);
}

bool TWebFile::SaveChanges() {
  if (!Owner || !(Changed || NameChanged)) return true;
  bool ok;
  if (NameChanged && stored_ && storedKey_ != GetUrl())
    ok = Owner->RekeyRecord(storedKey_, *this);  // a new key: never overwrite in place
  else
    ok = Owner->UpdateRecord(*this, NameChanged);
  Changed = NameChanged = false;
  return ok;
}

// ---------------------------------------------------------------- strings

std::string TWebFile::GetUrl() const { return std::string(reinterpret_cast<const char*>(rec_ + kHead)); }

std::string TWebFile::GetLocalName() const {
  size_t s1 = std::strlen(reinterpret_cast<const char*>(rec_ + kHead));
  return std::string(reinterpret_cast<const char*>(rec_ + kHead + s1 + 1));
}

bool TWebFile::SetStrings(const std::string& s1, const std::string& s2) {
  if (s1.find('\0') != std::string::npos || s2.find('\0') != std::string::npos ||
      kHead + s1.size() + s2.size() + 2 > kRecordSize)
    return false;
  std::memset(rec_ + kHead, 0, kRecordSize - kHead);
  std::memcpy(rec_ + kHead, s1.data(), s1.size());
  std::memcpy(rec_ + kHead + s1.size() + 1, s2.data(), s2.size());
  Put16(4, uint16_t(kHead + s1.size() + s2.size() + 2));
  return true;
}

bool TWebFile::SetUrl(const std::string& text) {
  if (text == GetUrl()) return true;
  if (!SetStrings(text, GetLocalName())) return false;
  NameChanged = true;
  return true;
}

bool TWebFile::SetLocalName(const std::string& name) {
  if (!SetStrings(GetUrl(), name)) return false;
  Changed = NameChanged = true;
  if (Owner) Owner->Naming().Claimed.Add(name);
  return true;
}

std::string TWebFile::GetFileName() const {
  std::string name = GetLocalName();
  size_t slash = name.rfind('/');
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

// ---------------------------------------------------------------- fields

void TWebFile::SetFlags(uint32_t f) {
  Put32(10, f);
  Changed = true;
}

void TWebFile::SetFlag(uint32_t f, bool on) { SetFlags(on ? GetFlags() | f : GetFlags() & ~f); }

void TWebFile::SetState(TWebFileState state) {
  if (state == GetState()) return;
  rec_[14] = state;
  Changed = true;
  if (OnStateChange) OnStateChange(*this);
}

void TWebFile::SetError(int code) {
  rec_[14] = fsError;
  Put16(24, uint16_t(code));
  Changed = true;
}

void TWebFile::SetMimeIndex(uint8_t i) {
  rec_[15] = i;
  Changed = true;
}

void TWebFile::SetRewriteMark(uint8_t m) {
  rec_[16] = uint8_t((rec_[16] & 0xF0) | (m & 0x0F));
  Changed = true;
}

void TWebFile::SetRetryCount(unsigned n) {
  // Saturates rather than wraps, so a retry limit above 15 still ends.
  rec_[16] = uint8_t((rec_[16] & 0x0F) | (std::min(n, 15u) << 4));
  Changed = true;
}

void TWebFile::SetWebLevel(uint8_t n) {
  rec_[17] = n;
  Changed = true;
}

void TWebFile::SetLinkLevel(uint8_t n) {
  rec_[18] = n;
  Changed = true;
}

void TWebFile::SetIdentityIndex(uint8_t i) {
  rec_[19] = i;
  SetFlag(kFlagIdentity, i != 0);
}

void TWebFile::SetDosDate(uint32_t d) {
  Put32(20, d);
  SetFlag(kFlagOddSecond, false);
  Changed = true;
}

void TWebFile::SetWidth(uint16_t n) {
  Put16(24, n);
  Changed = true;
}

void TWebFile::SetHeight(uint16_t n) {
  Put16(26, n);
  Changed = true;
}

bool TWebFile::SetRedirect(const TWebFile& target) {
  if (!SetStrings(GetUrl(), target.FullUrl)) return false;
  SetFlag(kFlagRedirect, true);
  // String 2 changed length: the write-back must replace the whole entry.
  NameChanged = true;
  return true;
}

void TWebFile::SetStartUrl(bool on) { SetFlag(kFlagStartUrl | kFlagPageLink, on); }

int TWebFile::GetLinkType() const {
  if (HasFlag(kFlagPageLink)) return 0;
  if (HasFlag(kFlagBackground)) return 2;
  return 1;
}

void TWebFile::SetLinkType(int type) {
  uint32_t f = GetFlags() & ~(kFlagPageLink | kFlagBackground);
  if (type == 0) f |= kFlagPageLink;
  if (type == 2) f |= kFlagBackground;
  SetFlags(f);
}

// ---------------------------------------------------------------- dates

namespace {

// Days from 1899-12-30 to y-m-d (proleptic Gregorian).
int64_t DaysFromCivil(int y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = unsigned(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + int64_t(doe) - 719468 + 25569;
}

void CivilFromDays(int64_t z, int& y, unsigned& m, unsigned& d) {
  z += 719468 - 25569;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = unsigned(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  y = int(yoe + era * 400) + (m <= 2);
}

}  // namespace

uint32_t TWebFile::DateTimeToDos(double dateTime) {
  if (!std::isfinite(dateTime)) return 0;
  int64_t days = int64_t(std::floor(dateTime));
  int64_t secs = int64_t(std::llround((dateTime - double(days)) * 86400.0));
  if (secs >= 86400) {
    ++days;
    secs -= 86400;
  }
  int y;
  unsigned m, d;
  CivilFromDays(days, y, m, d);
  if (y < 1980 || y > 2107) return 0;  // outside what a DOS date holds
  uint32_t date = uint32_t((y - 1980) << 9 | m << 5 | d);
  uint32_t time = uint32_t((secs / 3600) << 11 | ((secs / 60) % 60) << 5 | (secs % 60) / 2);
  return date << 16 | time;
}

double TWebFile::DosToDateTime(uint32_t dos) {
  unsigned date = dos >> 16, time = dos & 0xFFFF;
  int y = int(date >> 9) + 1980;
  unsigned m = (date >> 5) & 15, d = date & 31;
  if (m < 1 || m > 12 || d < 1) return 0;
  double t = ((time >> 11) * 3600.0 + ((time >> 5) & 63) * 60.0 + (time & 31) * 2.0) / 86400.0;
  return double(DaysFromCivil(y, m, d)) + t;
}

void TWebFile::SetFileDate(double dateTime) {
  const uint32_t dos = DateTimeToDos(dateTime);
  SetDosDate(dos);
  // The second DateTimeToDos rounded to, which it halved.
  if (dos != 0) SetFlag(kFlagOddSecond, std::llround((dateTime - std::floor(dateTime)) * 86400.0) % 2 == 1);
}

double TWebFile::GetFileDate() const {
  if (GetDosDate() == 0) return Owner ? Owner->CaptureDate : 0;
  return DosToDateTime(GetDosDate()) + (HasFlag(kFlagOddSecond) ? 1.0 / 86400 : 0.0);
}

// ---------------------------------------------------------------- claimed names

void TClaimedNames::Clear() {
  const std::lock_guard lock(mutex_);
  sorted_.clear();
  recent_.clear();
  captureFile_.clear();
  complete_ = false;
}

void TClaimedNames::Add(std::string_view name) {
  if (name.empty()) return;
  const std::lock_guard lock(mutex_);
  recent_.push_back(std::hash<std::string_view>{}(name));
  if (recent_.size() < kRecent) return;
  std::sort(recent_.begin(), recent_.end());
  const auto middle = sorted_.insert(sorted_.end(), recent_.begin(), recent_.end());
  std::inplace_merge(sorted_.begin(), middle, sorted_.end());
  sorted_.erase(std::unique(sorted_.begin(), sorted_.end()), sorted_.end());
  recent_.clear();
}

void TClaimedNames::Complete(std::string captureFile) {
  const std::lock_guard lock(mutex_);
  captureFile_ = std::move(captureFile);
  complete_ = true;
}

bool TClaimedNames::IsUnclaimed(std::string_view name) const {
  const std::lock_guard lock(mutex_);
  if (!complete_ || name.empty()) return false;
  const uint64_t hash = std::hash<std::string_view>{}(name);
  if (std::binary_search(sorted_.begin(), sorted_.end(), hash) ||
      std::find(recent_.begin(), recent_.end(), hash) != recent_.end())
    return false;
  const auto under = [&](std::string_view folder) {
    return name.size() > folder.size() && name[folder.size()] == '/' &&
           SameTextAscii(name.substr(0, folder.size()), folder);
  };
  if (under("Index") || under("thumb")) return false;
  // The index files ("_*.*") and the capture file with its journals sit at the top.
  const bool top = name.find('/') == std::string_view::npos;
  return !(top && (name.front() == '_' || (!captureFile_.empty() && name.starts_with(captureFile_))));
}

// ---------------------------------------------------------------- local file

std::string TWebFile::GetLocalPath() const {
  if (!Owner || IsRedirect()) return {};
  auto path = Owner->Naming().PathOf(GetLocalName());
  return path ? std::move(*path) : std::string();
}

std::string TWebFile::GetExistingPath(uint64_t* size) const {
  if (size) *size = 0;
  if (!Owner || IsRedirect()) return {};
  struct stat st {};
  auto path = Owner->Naming().PathOf(GetLocalName(), &st);
  if (!path || !S_ISREG(st.st_mode)) return {};
  if (size) *size = uint64_t(st.st_size);
  return std::move(*path);
}

uint64_t TWebFile::GetFileSize() const {
  uint64_t size = 0;
  GetExistingPath(&size);
  return size;
}

std::string TWebFile::GetThumbnailPath(bool* exists) const {
  if (exists) *exists = false;
  std::string name = GetLocalName();
  if (!Owner || !IsRetrieved() || !IsHtmlPage() || name.empty()) return {};
  size_t dot = ExtensionDot(name);
  name = (dot == std::string::npos ? name + "." : name.substr(0, dot + 1)) + "gif";
  struct stat found {};
  auto path = Owner->Naming().PathOf("thumb/" + name, &found);
  if (exists) *exists = path && S_ISREG(found.st_mode);
  return path ? std::move(*path) : std::string();
}

bool TWebFile::BuildLocalName(std::string* pathOut) {
  if (!Owner || FullUrl.empty()) return false;
  TLocalNaming& naming = Owner->Naming();
  const std::string own = GetLocalName();
  const std::string reserved =
      naming.Reserve({FullUrl, GetMimeNaming(), IsJavaClass(), own, kRecordSize - kHead - 2 - GetUrl().size()});
  if (reserved.empty() || !SetLocalName(reserved)) return false;
  if (pathOut) {
    auto text = naming.PathOf(reserved, nullptr, false);
    *pathOut = text ? std::move(*text) : std::string();
  }
  return true;
}

namespace {
constexpr std::string_view kTitleTag = "TITLE";
constexpr int kTitleTagLength = 10;
}  // namespace

std::string TWebFile::GetRawTitle() const {
  std::string path = GetLocalPath(), text, tag;
  if (path.empty() || !FindTagTextInFile(path, kTitleTag, kTitleTagLength, text, tag)) return {};
  return text;
}

std::string TWebFile::RawTitleOf(std::string_view bytes) {
  std::string text, tag;
  return FindTagText(bytes, kTitleTag, kTitleTagLength, text, tag) ? text : std::string();
}

std::string TWebFile::GetTitle() const {
  std::string decoded;
  DecodeHtmlEntities(GetRawTitle(), false, decoded);
  return decoded;
}

// ---------------------------------------------------------------- MIME and identity

TMimeNaming TWebFile::GetMimeNaming() const {
  if (Owner && Owner->Naming().MimeOf && GetMimeIndex() != 0) return Owner->Naming().MimeOf(*this);
  return {};
}

bool TWebFile::IsHtmlPage() const {
  if (!HasFlag(kFlagPageLink)) return false;
  int category = GetMimeNaming().Category;
  return category < 0 || category == 0;
}

void TWebFile::SetJavaClass(bool on) { SetFlag(kFlagJavaClass, on); }

bool TWebFile::GetIdentity(std::string& user, std::string& password) const {
  user.clear();
  password.clear();
  if (!Owner || GetIdentityIndex() == 0) return false;
  return Owner->Identities.GetIdentity(GetIdentityIndex() - 1, user, password);
}

bool TWebFile::SetIdentity(const std::string& user, const std::string& password) {
  if (!Owner) return false;
  int slot = Owner->Identities.SetIdentity(FullUrl, user, password);
  if (slot < 0 || slot > 254) return false;
  SetIdentityIndex(uint8_t(slot + 1));
  return true;
}

void TWebFile::CopyIdentity(const TWebFile& other) { SetIdentityIndex(other.GetIdentityIndex()); }

// ---------------------------------------------------------------- presentation

std::string TWebFile::GetStateText() const {
  int code = GetWidth();
  if (IsRedirect()) {
    if (code == 301 || code == 302) {
      std::string text(HttpStatusTableText(code));
      ReplaceFirst(text, "%s", GetLocalName());
      return text;
    }
    return HttpStatusText(code);
  }
  if (GetState() == fsError) return code < 100 ? std::string(HttpErrorText(code)) : HttpStatusText(code);
  if (IsRetrieved() && IsGone()) return kGoneStateText;
  return std::string(TextAt(kWebFileStateTexts, GetState()));
}

std::string TWebFile::SizeText(uint64_t size) {
  if (size < 1024) return std::to_string(size) + " Octets";
  return std::to_string(size / 1024 + (size % 1024 ? 1 : 0)) + " Ko";
}

}  // namespace qlon
