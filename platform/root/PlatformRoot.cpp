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

}  // namespace

fs::path Root() {
  fs::path root;
  if (const char* v = std::getenv(kRootVariable); v && *v) {
    root = v;
  } else if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg && fs::path(xdg).is_absolute()) {
    root = fs::path(xdg) / "quillon98-platform";
  } else {
    root = HomeFolder() / ".local" / "share" / "quillon98-platform";
  }
  MakePrivateFolder(root);
  return root;
}

fs::path RootFolder(const fs::path& name) {
  fs::path p = Root() / name;
  MakePrivateFolder(p);
  return p;
}

}  // namespace qlon::platform
