#include "UtilsFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/statvfs.h>

#include <QCoreApplication>
#include <QFile>

#include "MessageBox.h"
#include "Shell.h"
#include "Texts.h"

namespace qlon {

namespace fs = std::filesystem;

fs::path NormalFolder(const fs::path& p) {
  fs::path n = p.lexically_normal();
  if (n.has_filename() || n == n.root_path()) return n;
  return n.parent_path();  // "a/b/" -> "a/b"
}

namespace {

bool IsFile(const fs::directory_entry& e) {
  std::error_code ec;
  return e.is_regular_file(ec);
}

// The entries of folder whose names match the mask, sorted by name.
std::vector<fs::directory_entry> Matches(const fs::path& folder, std::string_view mask, bool filesOnly) {
  std::vector<fs::directory_entry> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (filesOnly && !IsFile(*it)) continue;
    if (MatchFileMask(mask, it->path().filename().string())) out.push_back(*it);
  }
  std::sort(out.begin(), out.end(), [](const auto& a, const auto& b) { return a.path() < b.path(); });
  return out;
}

bool Contains(const fs::path& ancestor, const fs::path& p) {
  auto a = ancestor.begin(), b = p.begin();
  for (; a != ancestor.end(); ++a, ++b)
    if (b == p.end() || *a != *b) return false;
  return true;
}

// The home folders of this user ($HOME) and of every account.
std::vector<fs::path> HomeFolders() {
  static std::mutex lock;
  std::lock_guard guard(lock);
  std::vector<fs::path> homes;
  if (const char* home = std::getenv("HOME"); home && *home) homes.push_back(NormalFolder(home));
  ::setpwent();
  while (const passwd* pw = ::getpwent())
    if (pw->pw_dir && pw->pw_dir[0] == '/') homes.push_back(NormalFolder(pw->pw_dir));
  ::endpwent();
  return homes;
}

bool SafeLexically(const fs::path& p) {
  if (p.empty() || !p.is_absolute()) return false;
  const fs::path n = NormalFolder(p);
  const fs::path below = n.relative_path();
  if (std::distance(below.begin(), below.end()) < 2) return false;
  for (const fs::path& home : HomeFolders())
    if (Contains(n, home)) return false;
  return true;
}

// Deletes the matches of "folder/mask" (or the path itself).
bool DeleteItems(const fs::path& from, unsigned flags) {
  const std::string name = from.filename().string();
  const bool masked = HasWildcards(name);
  const fs::path tree = masked ? from.parent_path() : from;
  if (!IsSafeToDeleteTree(tree)) return false;
  if (!(flags & FOF_NOCONFIRMATION)) {
    const std::string text = "Voulez-vous vraiment supprimer « " + from.string() + " »" +
                             (flags & FOF_FILESONLY ? "" : " et tout son contenu") + " ?";
    if (platform::MessageBox(text, "Confirmer la suppression", platform::MB_YESNO | platform::MB_ICONQUESTION) !=
        platform::IDYES)
      return false;
  }
  bool ok = true;
  std::error_code ec;
  if (!masked) {
    if (flags & FOF_FILESONLY && !fs::is_regular_file(from, ec)) return false;
    return fs::remove_all(from, ec) != static_cast<std::uintmax_t>(-1) && !ec;
  }
  for (const fs::directory_entry& e : Matches(tree, name, flags & FOF_FILESONLY)) {
    fs::remove_all(e.path(), ec);
    if (ec) ok = false;
  }
  return ok;
}

bool CopyOrMoveItems(const fs::path& from, const fs::path& to, bool move) {
  const std::string name = from.filename().string();
  std::vector<fs::path> items;
  if (HasWildcards(name)) {
    for (const fs::directory_entry& e : Matches(from.parent_path(), name, false)) items.push_back(e.path());
  } else {
    items.push_back(from);
  }
  std::error_code ec;
  fs::create_directories(to, ec);
  bool ok = true;
  for (const fs::path& item : items) {
    const fs::path target = to / item.filename();
    if (fs::equivalent(item, target, ec)) continue;
    ec.clear();
    if (Contains(NormalFolder(fs::absolute(item, ec)), NormalFolder(fs::absolute(to, ec)))) {
      ok = false;  // a folder into itself would never end
      continue;
    }
    if (move) {
      fs::rename(item, target, ec);
      if (!ec) continue;  // another file system: copy, then remove
      ec.clear();
    }
    fs::copy(item, target, fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    if (!ec && move) fs::remove_all(item, ec);
    if (ec) ok = false;
  }
  return ok;
}

}  // namespace

fs::path SetFileAside(const fs::path& file, const std::string& suffix) {
  for (int i = 1; i <= 100; ++i) {
    const fs::path aside = file.string() + suffix + (i == 1 ? std::string() : std::to_string(i));
    // The free name is taken by the rename itself, never over another file.
    if (::renameat2(AT_FDCWD, file.c_str(), AT_FDCWD, aside.c_str(), RENAME_NOREPLACE) == 0) return aside;
    if (errno != EEXIST) return {};
  }
  return {};
}

bool CopyFile(const fs::path& source, const fs::path& target) {
  std::error_code ec;
  if (fs::equivalent(source, target, ec)) return false;  // would truncate the source
  QFile in(QString::fromStdString(source.string()));
  if (!in.open(QIODevice::ReadOnly)) return false;
  QFile out(QString::fromStdString(target.string()));
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
  char buffer[65536];
  bool ok = true;
  for (;;) {
    const qint64 got = in.read(buffer, sizeof buffer);
    if (got < 0) ok = false;
    if (got <= 0) break;
    if (out.write(buffer, got) != got) {
      ok = false;
      break;
    }
  }
  ok = out.flush() && ok;
  out.close();
  if (!ok) out.remove();
  return ok;
}

bool CopyFilesByMask(const std::string& targetFolder, std::string sourceFolder, std::string_view masks) {
  StringList entries;
  for (std::string& e : SplitString(masks, ',')) {
    e = UpperCase(TrimBlanks(e));
    if (e.empty()) continue;
    if (e[0] != '+' && e[0] != '-') e.insert(0, "+");
    entries.push_back(e);
  }
  if (!PrepareFolderPath(sourceFolder)) return false;
  std::error_code ec;
  fs::create_directories(targetFolder, ec);
  StringList excluded;
  for (const std::string& e : entries)
    if (e[0] == '-' && e.size() > 3 && e.compare(1, 2, "*.") == 0) excluded.push_back(e.substr(3));
  for (const std::string& e : entries) {
    if (e[0] != '+') continue;
    for (const fs::directory_entry& file : Matches(sourceFolder, e.substr(1), true)) {
      const std::string name = file.path().filename().string();
      const std::size_t dot = name.rfind('.');
      const std::string ext = dot == std::string::npos ? std::string() : UpperCase(name.substr(dot + 1, 3));
      if (std::find(excluded.begin(), excluded.end(), ext) != excluded.end()) continue;
      CopyFile(file.path(), fs::path(targetFolder) / name);
    }
  }
  return true;
}

std::int64_t GetFileSize(const fs::path& file) {
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(file, ec);
  return ec ? 0 : static_cast<std::int64_t>(size);
}

bool MatchFileMask(std::string_view mask, std::string_view name) {
  if (mask == "*" || mask == "*.*") return !name.empty();
  if (MatchWildcard(mask, name, false, false)) return true;
  // "name.*" also matches "name", which has no extension.
  return mask.size() > 2 && mask.substr(mask.size() - 2) == ".*" && name.find('.') == std::string_view::npos &&
         MatchWildcard(mask.substr(0, mask.size() - 2), name, false, false);
}

void ListFiles(const std::string& pathWithMask, StringList& list) {
  list.clear();
  const fs::path p(pathWithMask);
  for (const fs::directory_entry& e : Matches(p.parent_path(), p.filename().string(), true))
    list.push_back(e.path().filename().string());
}

int CountFiles(const std::string& folder) { return static_cast<int>(Matches(folder, "*.*", true).size()); }

bool PrepareFolderPath(std::string& folder) {
  const bool hadSlash = !folder.empty() && folder[0] == '/';
  while (!folder.empty() && folder.back() == '/') folder.pop_back();
  if (folder.empty() && hadSlash) {
    folder = "/";
    return true;
  }
  std::error_code ec;
  const bool exists = !folder.empty() && fs::is_directory(folder, ec);
  folder += '/';
  return exists;
}

std::string GetSystemDir() { return "/usr/lib/"; }

bool RemoveFolder(const fs::path& folder) {
  std::error_code ec;
  return fs::is_directory(folder, ec) && fs::remove(folder, ec) && !ec;
}

bool IsSafeToDeleteTree(const fs::path& folder) {
  if (!SafeLexically(folder)) return false;
  std::error_code ec;
  const fs::path real = fs::weakly_canonical(folder, ec);
  return !ec && SafeLexically(real);
}

bool ShellFileOperation(const std::string& from, const std::string& to, unsigned operation, unsigned flags) {
  if (from.empty()) return false;
  const fs::path source = fs::path(from).lexically_normal();
  switch (operation) {
    case FO_DELETE: return DeleteItems(source, flags);
    case FO_COPY: return !to.empty() && CopyOrMoveItems(source, to, false);
    case FO_MOVE: return !to.empty() && CopyOrMoveItems(source, to, true);
    case FO_RENAME: {
      std::error_code ec;
      if (to.empty() || fs::exists(to, ec)) return false;
      fs::rename(source, to, ec);
      return !ec;
    }
  }
  return false;
}

void EmptyAndRemoveFolder(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  if (ShellFileOperation((fs::path(folder) / "*.*").string(), "", FO_DELETE, FOF_SILENT | FOF_NOCONFIRMATION))
    RemoveFolder(folder);
}

void DeleteFolderTree(const std::string& folder, bool confirm) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  if (ShellFileOperation((fs::path(folder) / "*.*").string(), "", FO_DELETE, confirm ? 0 : FOF_NOCONFIRMATION))
    RemoveFolder(folder);
}

void DeleteFolderFiles(const std::string& folder) {
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) return;
  ShellFileOperation((fs::path(folder) / "*.*").string(), "", FO_DELETE,
                     FOF_FILESONLY | FOF_NOCONFIRMATION | FOF_SILENT);
}

std::string GetLongFileName(const std::string& path) { return path; }

bool GetVolumeLabel(const std::string&, std::string&) { return false; }

bool GetDiskFree(const fs::path& folder, std::uint32_t& high, std::uint32_t& low) {
  struct statvfs st{};
  if (::statvfs(folder.c_str(), &st) != 0) return false;
  const std::uint64_t bytes = std::uint64_t{st.f_bavail} * st.f_frsize;
  high = static_cast<std::uint32_t>(bytes >> 32);
  low = static_cast<std::uint32_t>(bytes);
  return true;
}

bool GetDiskFree(int drive, std::uint32_t& high, std::uint32_t& low) {
  if (drive != 0) return false;
  std::error_code ec;
  const fs::path current = fs::current_path(ec);
  return !ec && GetDiskFree(current, high, low);
}

int OpenDocument(const std::string& fileOrUrl) {
  platform::OpenItem(fileOrUrl);
  return 0;
}

bool GetAssociatedProgram(std::string_view extension, std::string& program, std::string* icon) {
  if (extension.empty()) return false;
  const std::optional<platform::Association> a = platform::AssociatedProgram(extension);
  if (!a) return false;
  program = a->program;
  if (icon) *icon = a->icon;
  return true;
}

bool RunProgram(const std::string& commandLine, int) { return platform::StartCommand(commandLine); }

fs::path ProgramFile() {
  if (QCoreApplication::instance()) return QCoreApplication::applicationFilePath().toStdString();
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec);
}

fs::path ProgramFolder() { return ProgramFile().parent_path(); }

// ---------------------------------------------------------------------------
// Message boxes

int ShowMessageBox(const std::string& text, const std::string& caption, unsigned flags) {
  std::string shown = caption;
  if (const std::size_t amp = shown.find('&'); amp != std::string::npos) shown.erase(amp, 1);
  return platform::MessageBox(text, shown, flags);
}

int ErrorBox(int iconKind, int captionIndex, const std::string& text, unsigned buttonSet) {
  static constexpr unsigned kButtonValues[8] = {platform::MB_YESNO,  platform::MB_YESNO,
                                                platform::MB_OK,     platform::MB_OKCANCEL,
                                                platform::MB_ABORTRETRYIGNORE, platform::MB_RETRYCANCEL,
                                                platform::MB_ABORTRETRYIGNORE, 7};
  static constexpr unsigned kIconValues[5] = {platform::MB_ICONEXCLAMATION, platform::MB_ICONHAND,
                                              platform::MB_ICONASTERISK, platform::MB_ICONQUESTION, 0};
  unsigned flags = 0;
  for (int bit = 0; bit < 8; ++bit)
    if (buttonSet & (1u << bit)) flags |= kButtonValues[bit];
  if (iconKind >= 0 && iconKind < 5) flags |= kIconValues[iconKind];
  return ShowMessageBox(text, std::string(TextAt(kMessageCaptions, captionIndex)), flags);
}

}  // namespace qlon
