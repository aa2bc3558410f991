#include "LocalPath.h"

#include <algorithm>

#include <sys/stat.h>

#include <system_error>

#include "Utils.h"

namespace qlon {

namespace {

bool IsForbidden(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  return c < 0x20 || c == 0x7F || ch == '/' || ch == '\\' || ch == ':' || ch == '|';
}

// What CleanNamePart leaves as it is.
bool IsCleanPart(std::string_view part) {
  if (part.empty() || part.size() > kLocalPartMax || part.back() == '.' || part.back() == ' ') return false;
  for (char ch : part)
    if (IsForbidden(ch)) return false;
  return true;
}

}  // namespace

std::string CleanNamePart(std::string_view part) {
  std::string out;
  out.reserve(part.size());
  for (size_t i = 0; i < part.size();) {
    // A name is UTF-8: a byte that is not part of a character is replaced too.
    const size_t length = Utf8CharLength(part.substr(i));
    if (length == 0 || (length == 1 && IsForbidden(part[i]))) {
      out += '_';
      ++i;
    } else {
      out.append(part, i, length);
      i += length;
    }
  }
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  out = std::string(Utf8Prefix(out, kLocalPartMax));
  // The cut may expose a trailing dot or blank again.
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string CleanLocalName(std::string_view raw) {
  std::string out;
  size_t start = 0;
  for (size_t i = 0; i <= raw.size(); ++i) {
    if (i < raw.size() && raw[i] != '/' && raw[i] != '\\') continue;
    std::string part = CleanNamePart(raw.substr(start, i - start));
    start = i + 1;
    if (part.empty()) continue;
    if (!out.empty()) out += '/';
    out += part;
  }
  return out;
}

bool IsCleanLocalName(std::string_view name) {
  if (name.empty() || name.size() > kLocalNameMax) return false;
  for (size_t start = 0;;) {
    const size_t slash = name.find('/', start);
    if (!IsCleanPart(name.substr(start, slash == std::string_view::npos ? slash : slash - start))) return false;
    if (slash == std::string_view::npos) return true;
    start = slash + 1;
  }
}

namespace {

// Whether a folder's text is as lexically_normal writes it (no "//", no
// "." or ".." part): a capture looks up the path of each record several
// times, and its folder is in that form.
bool IsNormalFolderText(std::string_view text) {
  if (text.find("//") != std::string_view::npos) return false;
  for (size_t start = 0; start <= text.size();) {
    const size_t slash = std::min(text.find('/', start), text.size());
    const std::string_view part(text.data() + start, slash - start);
    if (part == "." || part == "..") return false;
    start = slash + 1;
  }
  return true;
}

// The folder as lexically_normal writes it.
std::string NormalFolderText(const std::filesystem::path& folder) {
  return IsNormalFolderText(folder.native()) ? folder.native() : folder.lexically_normal().native();
}

}  // namespace

void TCheckedFolders::Add(std::string_view base, std::string_view folder) {
  if (base != base_) {
    folders_.clear();
    base_ = base;
  }
  folders_.emplace(folder);
}

std::optional<std::string> LocalNameToPathText(std::string_view folder, std::string_view name,
                                               TCheckedFolders* checked, struct stat* found, bool lastPart) {
  if (found) found->st_mode = 0;
  // A clean name has no empty, "." or ".." part: joined to the folder, it
  // stays below it.
  if (!IsCleanLocalName(name) || folder.empty()) return std::nullopt;
  std::string normal;
  if (!IsNormalFolderText(folder)) {
    normal = std::filesystem::path(folder).lexically_normal().native();
    folder = normal;
  }
  const std::string_view base = folder;
  std::string path;
  path.reserve(base.size() + 1 + name.size());
  path += base;
  if (path.back() != '/') path += '/';
  const size_t root = path.size();
  path += name;
  size_t start = 0;
  // Begin below the deepest folder of the name known to be real.
  if (checked)
    for (size_t slash = name.rfind('/'); slash != std::string_view::npos && slash > 0;
         slash = name.rfind('/', slash - 1))
      if (checked->Contains(base, name.substr(0, slash))) {
        start = slash + 1;
        break;
      }
  // Each part in turn, the path cut after it for the check.
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) slash = name.size();
    if (slash == name.size() && !lastPart) break;
    const char kept = path[root + slash];
    path[root + slash] = '\0';
    struct stat st {};
    const bool there = ::lstat(path.c_str(), &st) == 0;
    path[root + slash] = kept;
    if (!there) break;  // nothing below a missing part exists either
    if (S_ISLNK(st.st_mode)) return std::nullopt;
    if (checked && slash < name.size() && S_ISDIR(st.st_mode)) checked->Add(base, name.substr(0, slash));
    if (found && slash == name.size()) *found = st;
    start = slash + 1;
  }
  return path;
}

std::optional<std::filesystem::path> LocalNameToPath(const std::filesystem::path& folder, std::string_view name,
                                                     TCheckedFolders* checked, struct stat* found, bool lastPart) {
  auto text = LocalNameToPathText(folder.native(), name, checked, found, lastPart);
  if (!text) return std::nullopt;
  return std::filesystem::path(std::move(*text));
}

bool CreateLocalFolder(const std::filesystem::path& folder, std::string_view name, TCheckedFolders* checked) {
  if (name.empty()) return true;
  const std::string base = NormalFolderText(folder);
  // Known to be there: a caller whose file cannot be made in it because it
  // was removed since clears the set and asks again.
  if (checked && checked->Contains(base, name)) return true;
  auto path = LocalNameToPath(folder, name, checked);
  if (!path) return false;
  std::error_code ec;
  std::filesystem::create_directories(*path, ec);
  // A link made meanwhile is refused by the check of the finished path.
  if (ec || !LocalNameToPath(folder, name, checked) || !std::filesystem::is_directory(*path, ec)) return false;
  if (checked) checked->Add(base, name);
  return true;
}

}  // namespace qlon
