#include "PlatformRoot.h"

#include <cstdlib>
#include <system_error>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qlon::platform {
namespace fs = std::filesystem;

namespace {

fs::path HomeFolder() {
  if (const char* home = std::getenv("HOME"); home && *home) return home;
  if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return fs::temp_directory_path();
}

void MakePrivateFolder(const fs::path& p) {
  std::error_code ec;
  if (fs::create_directories(p, ec)) ::chmod(p.c_str(), 0700);
}

fs::path DataHome() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && fs::path(xdg).is_absolute()) return xdg;
  return HomeFolder() / ".local" / "share";
}

}  // namespace

bool RootMoved() {
  const char* v = std::getenv(kRootVariable);
  return v && *v;
}

fs::path Root() {
  const fs::path root = RootMoved() ? fs::path(std::getenv(kRootVariable)) : DataHome() / "quillon98-platform";
  MakePrivateFolder(root);
  return root;
}

fs::path RootFolder(const fs::path& name) {
  fs::path p = Root() / name;
  MakePrivateFolder(p);
  return p;
}

fs::path DesktopDataFolder(const fs::path& name) {
  const fs::path p = (RootMoved() ? Root() : DataHome()) / name;
  std::error_code ec;
  fs::create_directories(p, ec);
  return p;
}

}  // namespace qlon::platform
