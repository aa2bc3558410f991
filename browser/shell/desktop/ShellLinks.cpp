#include "ShellLinks.h"

#include <QStandardPaths>

#include "DesktopEntry.h"
#include "PlatformRoot.h"
#include "Profile.h"

namespace qlon {

namespace fs = std::filesystem;

namespace {

bool EqualsNoCase(const std::string& a, const char* b) {
  return QString::fromStdString(a).compare(QLatin1String(b), Qt::CaseInsensitive) == 0;
}

bool HasControl(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 || c == 0x7f) return true;
  return false;
}

// The string escapes of desktop entry values.
std::string Unescape(const std::string& value) {
  std::string out;
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (value[i] != '\\' || i + 1 == value.size()) {
      out += value[i];
      continue;
    }
    switch (value[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      default: out += value[i];
    }
  }
  return out;
}

}  // namespace

std::string ReadInternetShortcut(const fs::path& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return {};
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size > kShortcutFileMax) return {};
  std::string url = profile::GetPrivateProfileString("InternetShortcut", "URL", "", path);
  if (url.empty() && EqualsNoCase(profile::GetPrivateProfileString("Desktop Entry", "Type", "", path), "Link"))
    url = Unescape(profile::GetPrivateProfileString("Desktop Entry", "URL", "", path));
  if (HasControl(url)) return {};
  return url;
}

bool WriteInternetShortcut(const fs::path& path, const std::string& url) {
  if (url.empty() || HasControl(url) || url.front() == ' ' || url.back() == ' ') return false;
  return profile::WritePrivateProfileString("InternetShortcut", "URL", url, path);
}

fs::path GetShellFolderPath(const std::string& name) {
  // Where each lies: the platform root, the desktop's own data folder (where
  // it finds application entries), or the XDG desktop.
  enum Place { kRoot, kDesktopData, kXdgDesktop };
  static const struct {
    const char* shellName;
    const char* folder;
    Place place;
  } kFolders[] = {{"Desktop", "Desktop", kXdgDesktop},
                  {"Favorites", "Favorites", kRoot},
                  {"Start Menu", "applications", kDesktopData},
                  {"Programs", "applications", kDesktopData}};
  for (const auto& f : kFolders) {
    if (!EqualsNoCase(name, f.shellName)) continue;
    std::error_code ec;
    if (f.place == kXdgDesktop && !platform::RootMoved()) {
      const fs::path desktop =
          QStandardPaths::writableLocation(QStandardPaths::DesktopLocation).toStdString();
      if (desktop.empty()) return {};
      fs::create_directories(desktop, ec);
      return fs::is_directory(desktop, ec) ? desktop : fs::path();
    }
    const fs::path folder =
        f.place == kDesktopData ? platform::DesktopDataFolder(f.folder) : platform::RootFolder(f.folder);
    return fs::is_directory(folder, ec) ? folder : fs::path();
  }
  return {};
}

bool CreateShellLink(const fs::path& linkPath, const fs::path& program, const std::vector<std::string>& arguments,
                     const std::string& name) {
  if (name.empty() || HasControl(name) || HasControl(program.string())) return false;
  std::string exec = platform::DesktopExecWord(program.string());
  for (const std::string& a : arguments) {
    if (HasControl(a)) return false;
    exec += ' ' + platform::DesktopExecWord(a);
  }
  const std::string text =
      "[Desktop Entry]\nType=Application\nName=" + platform::DesktopEscape(name) + "\nExec=" + exec + "\n";
  return platform::WriteDesktopFile(linkPath, text);
}

}  // namespace qlon
