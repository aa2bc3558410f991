#include "LocalNaming.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <vector>

#include <sys/stat.h>

#include "FilePool.h"
#include "Types.h"
#include "Urlutil.h"
#include "UtilsText.h"

namespace qlon {

std::size_t ExtensionDot(std::string_view name) {
  size_t slash = name.rfind('/');
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
  return dot;
}

// ---------------------------------------------------------------- the unique-name rule

namespace {

// One search for a free name: the folder, the record's own name, and what
// the search may use (each optional; see TLocalNaming).
struct TNameSearch {
  std::string_view folder;
  const std::string& own;
  std::unordered_map<std::string, uint64_t>* hints = nullptr;
  TCheckedFolders* checked = nullptr;
  TClaimedNames* claimed = nullptr;
  TFilePool* pool = nullptr;
};

enum class Claim { Taken, Reserved, Refused };

// The summary page is written at the capture's root after the run: a page
// of the site given that name would be overwritten by it.
bool IsSummaryName(const std::string& name) { return SameTextAscii(name, kSummaryPage); }

Claim TryClaim(const TNameSearch& search, const std::string& name) {
  const bool summary = IsSummaryName(name), mine = name == search.own;
  struct stat st {};
  // The summary's name and our own are looked at whole; another is created
  // first and looked at only when it exists already (O_EXCL never follows
  // a link).
  auto path = LocalNameToPathText(search.folder, name, search.checked, &st, summary || mine);
  if (!path) return Claim::Refused;
  if (summary) return Claim::Taken;
  if (mine) return Claim::Reserved;
  const int error = search.pool ? search.pool->Claim(path->c_str()) : MakeEmptyFile(path->c_str());
  if (error == 0) return Claim::Reserved;
  if (error != EEXIST) {
    errno = error;
    return Claim::Refused;
  }
  if (::lstat(path->c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return Claim::Refused;
  // A plain file that no record names: left by a run that ended before its
  // record was saved, it is this record's to take back.
  if (search.claimed && S_ISREG(st.st_mode) && search.claimed->IsUnclaimed(name)) {
    search.claimed->Add(name);
    return Claim::Reserved;
  }
  return Claim::Taken;
}

bool Exists(const TNameSearch& search, const std::string& name) {
  auto path = LocalNameToPathText(search.folder, name, search.checked);
  struct stat st {};
  return path && ::lstat(path->c_str(), &st) == 0;
}

std::string ReserveFreeName(const TNameSearch& search, const std::string& name) {
  switch (TryClaim(search, name)) {
    case Claim::Reserved: return name;
    case Claim::Refused: return {};
    case Claim::Taken: break;
  }
  // Only the last part is numbered: a dot in a folder name is not an extension.
  size_t dot = ExtensionDot(name);
  size_t slash = name.rfind('/');
  std::string dir = slash == std::string::npos ? "" : name.substr(0, slash + 1);
  std::string base = name.substr(dir.size(), dot == std::string::npos ? std::string::npos : dot - dir.size());
  std::string ext = dot == std::string::npos ? "" : name.substr(dot);
  // Candidate k: the 729 short numbers in their order, then 1000, 1001, ...
  static const std::vector<uint64_t> order = [] {
    std::vector<uint64_t> o;
    for (uint64_t k = 1; k <= 9; ++k) o.push_back(k);
    for (uint64_t t = 1; t <= 8; ++t)
      for (uint64_t k = 1; k <= 9; ++k) o.push_back(t * 10 + k);
    for (uint64_t h = 1; h <= 9; ++h)
      for (uint64_t t = 1; t <= 9; ++t)
        for (uint64_t k = 1; k <= 9; ++k) o.push_back((h - 1) * 100 + (t - 1) * 10 + k);
    return o;
  }();
  auto candidate = [&](uint64_t k) {
    std::string digits = std::to_string(k < order.size() ? order[k] : 1000 + (k - order.size()));
    size_t keep = base.size() > digits.size() ? base.size() - digits.size() : 0;
    // The digits go over whole characters: a name stays UTF-8.
    return dir + std::string(Utf8Prefix(base, keep)) + digits + ext;
  };
  // Where the last search for this name ended, when the candidate before it
  // is still taken: a folder of many equal names costs a few probes per file.
  uint64_t k = 0;
  if (search.hints) {
    auto it = search.hints->find(name);
    if (it != search.hints->end() && it->second > 0 && Exists(search, candidate(it->second - 1))) k = it->second;
  }
  for (int attempt = 0; attempt < 1000; ++attempt, ++k) {
    if (k >= order.size() && Exists(search, candidate(k))) {
      // Past the short numbers: double the step, then halve the gap, to reach
      // a free number in a few probes however many are taken.
      uint64_t lo = k, hi = k + 1;
      while (Exists(search, candidate(hi))) {
        lo = hi;
        hi = k + (hi - k) * 2;
        if (hi > (uint64_t(1) << 40)) return {};
      }
      while (hi - lo > 1) {
        uint64_t mid = lo + (hi - lo) / 2;
        (Exists(search, candidate(mid)) ? lo : hi) = mid;
      }
      k = hi;
    }
    Claim c = TryClaim(search, candidate(k));
    if (c == Claim::Refused) return {};
    if (c == Claim::Reserved) {
      if (search.hints) (*search.hints)[name] = k + 1;
      return candidate(k);
    }
  }
  return {};
}

}  // namespace

std::string ReserveUniqueName(const std::filesystem::path& folder, const std::string& name, const std::string& own) {
  return ReserveFreeName(TNameSearch{folder.native(), own}, name);
}

// ---------------------------------------------------------------- the name of a record

namespace {

std::string CutBefore(std::string text, char c) {
  size_t at = text.find(c);
  return at == std::string::npos ? text : text.substr(0, at);
}

// The file's own part of a record's name: the URL's file name (and query)
// and an extension that agrees with the MIME item.
std::string FileNameFor(const TUrl& url, const TNameRequest& request, bool shortNames) {
  const TMimeNaming& mime = request.Mime;
  std::string first = mime.Extensions.empty() ? "" : mime.Extensions.front();
  if (!first.empty() && first.front() == '.') first.erase(0, 1);
  std::string name = url.FileName + url.Query;
  std::string ext;
  if (size_t dot = name.find('.'); dot != std::string::npos) {
    ext = name.substr(dot + 1);
    name.resize(dot);
  }
  name = UnescapeUrl(name);
  if ((ext.empty() || !url.Query.empty()) && !first.empty()) ext = first;
  if (mime.Category == 0) {
    if (SameTextAscii(ext, "shtml")) ext = "htm";
    bool listed = std::any_of(mime.Extensions.begin(), mime.Extensions.end(), [&](const std::string& e) {
      return SameTextAscii(e.size() && e[0] == '.' ? std::string_view(e).substr(1) : std::string_view(e), ext);
    });
    if (!listed && !first.empty()) ext = first;
  }
  if (shortNames) ext = std::string(Utf8Prefix(ext, 3));
  name = CutBefore(CutBefore(CutBefore(name, '.'), ' '), '?');
  std::erase_if(name, [](char c) { return std::string_view("=*\",+%").find(c) != std::string_view::npos; });
  if (shortNames) name = std::string(Utf8Prefix(name, 8));
  // What the URL gave is hostile input: each part is made clean on its own,
  // so no "/", "\", ".." or NUL of a URL reaches the file system.
  name = CleanNamePart(name);
  ext = CleanNamePart(ext);
  if (name.empty()) name = "Index";
  // "name.ext" is one part of the path, so it too must fit the file
  // system's 255 bytes. The name gives way, keeping at least as many bytes
  // as the unique-name rule writes digits over its end.
  constexpr size_t kDigitsRoom = 8;
  if (ext.size() + 1 + kDigitsRoom > kLocalPartMax) ext = CleanNamePart(Utf8Prefix(ext, kLocalPartMax - 1 - kDigitsRoom));
  const size_t nameMax = ext.empty() ? kLocalPartMax : kLocalPartMax - 1 - ext.size();
  if (name.size() > nameMax) name = CleanNamePart(Utf8Prefix(name, nameMax));
  return ext.empty() ? name : name + "." + ext;
}

}  // namespace

void TLocalNaming::SetFolder(const std::string& path) {
  folder_ = path;
  if (!folder_.empty() && folder_.back() != '/') folder_ += '/';
  checked_.Clear();
  Claimed.Clear();
}

std::string TLocalNaming::ReserveUnique(const std::string& name, const std::string& own) {
  return ReserveFreeName(TNameSearch{folder_, own, &hints_, &checked_, &Claimed, FilePool}, name);
}

std::string TLocalNaming::Reserve(const TNameRequest& request) {
  if (folder_.empty() || request.Url.empty()) return {};
  TUrl url(request.Url);
  url.CutFragment();  // a record filed with one keeps the name of its document
  const std::string file = FileNameFor(url, request, Options.ShortFileNames && !request.JavaClass);
  std::string path;
  if (Options.UseWebStructure)
    path = CleanLocalName(UnescapeUrl((url.Protocol == ipFile ? std::string() : url.Host) + "/" + url.Path));
  std::string local = path.empty() ? file : path + "/" + file;
  // Room for a numbered candidate, so a reserved file never fails to fit the record.
  auto fits = [&](const std::string& n) { return n.size() + 8 <= request.Room; };
  if (local.size() > kLocalNameMax || !fits(local) || !CreateFolder(path)) local = file;
  if (!fits(local)) return {};
  const std::string own(request.Own);
  errno = 0;
  std::string reserved = ReserveUnique(local, own);
  // A folder known to be there is not looked at again before each file; if
  // it was removed meanwhile, the claim fails and it is made once more.
  if (reserved.empty() && errno == ENOENT && local != file) {
    checked_.Clear();
    if (!CreateFolder(path)) local = file;
    reserved = ReserveUnique(local, own);
  }
  return reserved;
}

std::optional<std::string> TLocalNaming::PathOf(std::string_view name, struct stat* found, bool lastPart) {
  return LocalNameToPathText(folder_, name, &checked_, found, lastPart);
}

bool TLocalNaming::CreateFolder(std::string_view name) { return CreateLocalFolder(folder_, name, &checked_); }

}  // namespace qlon
