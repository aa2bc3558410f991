#include "LocalPath.h"

#include <sys/stat.h>

#include <system_error>

#include "Utils.h"

namespace qlon {

std::string CleanNamePart(std::string_view part) {
  std::string out;
  out.reserve(part.size());
  for (char ch : part) {
    unsigned char c = static_cast<unsigned char>(ch);
    bool bad = c < 0x20 || c == 0x7F || ch == '/' || ch == '\\' || ch == ':' || ch == '|';
    out += bad ? '_' : ch;
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
  return !name.empty() && name.size() <= kLocalNameMax && CleanLocalName(name) == name;
}

std::optional<std::filesystem::path> LocalNameToPath(const std::filesystem::path& folder, std::string_view name) {
  if (!IsCleanLocalName(name) || folder.empty()) return std::nullopt;
  std::filesystem::path base = folder.lexically_normal();
  std::filesystem::path path = base;
  size_t start = 0;
  while (start <= name.size()) {
    size_t slash = name.find('/', start);
    if (slash == std::string_view::npos) slash = name.size();
    path /= std::string(name.substr(start, slash - start));
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
      if (S_ISLNK(st.st_mode)) return std::nullopt;
    } else {
      // Nothing below a missing part exists either.
      path = base / std::string(name);
      break;
    }
    start = slash + 1;
  }
  // Belt and braces: the lexical form must still lie under the folder.
  auto rel = path.lexically_normal().lexically_relative(base);
  if (rel.empty() || *rel.begin() == "..") return std::nullopt;
  return path;
}

bool CreateLocalFolder(const std::filesystem::path& folder, std::string_view name) {
  if (name.empty()) return true;
  auto path = LocalNameToPath(folder, name);
  if (!path) return false;
  std::error_code ec;
  std::filesystem::create_directories(*path, ec);
  // A link made meanwhile is refused by the check of the finished path.
  return !ec && LocalNameToPath(folder, name) && std::filesystem::is_directory(*path, ec);
}

}  // namespace qlon
