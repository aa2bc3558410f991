#include <cstdlib>
#include <optional>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "DesktopEntry.h"
#include "PlatformRoot.h"
#include "Shell.h"
#include "TempRoot.h"

namespace qlon::platform {
namespace {

namespace fs = std::filesystem;

// Sets an environment variable for the scope, restoring it afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::string& value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    ::setenv(name, value.c_str(), 1);
  }
  ~ScopedEnv() { old_ ? ::setenv(name_, old_->c_str(), 1) : ::unsetenv(name_); }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

TEST(DesktopEntry, ExecWordsStayOneWordAndNoFieldCode) {
  EXPECT_EQ(DesktopExecWord("/opt/q 98/qlon98"), "\"/opt/q 98/qlon98\"");
  EXPECT_EQ(DesktopExecWord("100% $HOME \"x\" `y`"), "\"100%% \\\\$HOME \\\\\"x\\\\\" \\\\`y\\\\`\"");
  EXPECT_EQ(XmlEscape("a & <b> \"c\""), "a &amp; &lt;b&gt; &quot;c&quot;");
}

TEST(DesktopEntry, FilesAreWrittenOnlyWhenTheyChange) {
  test::TempRoot root;
  const fs::path file = DesktopDataFolder("applications") / "x.desktop";
  bool changed = false;
  ASSERT_TRUE(WriteDesktopFile(file, "one\n", &changed));
  EXPECT_TRUE(changed);
  ASSERT_TRUE(WriteDesktopFile(file, "one\n", &changed));
  EXPECT_FALSE(changed);
  ASSERT_TRUE(WriteDesktopFile(file, "two\n", &changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(test::ReadFileBytes(file), "two\n");
  // A folder in the way: an error, not a crash.
  fs::create_directories(DesktopDataFolder("applications") / "busy.desktop");
  EXPECT_FALSE(WriteDesktopFile(DesktopDataFolder("applications") / "busy.desktop", "x", &changed));
}

TEST(DesktopEntry, IconsGoIntoTheHicolorThemeBySize) {
  test::TempRoot root;
  test::TempDir program;
  test::WriteFileBytes(program.path() / "16x16" / "apps" / "q.png", "small");
  test::WriteFileBytes(program.path() / "256x256" / "apps" / "q.png", "large");
  test::WriteFileBytes(program.path() / "32x32" / "mimetypes" / "q.png", "other context");
  bool changed = false;
  EXPECT_TRUE(InstallDesktopIcons(program.path(), "apps", "q", &changed));
  EXPECT_TRUE(changed);
  EXPECT_EQ(test::ReadFileBytes(root.path() / "icons/hicolor/16x16/apps/q.png"), "small");
  EXPECT_EQ(test::ReadFileBytes(root.path() / "icons/hicolor/256x256/apps/q.png"), "large");
  EXPECT_FALSE(fs::exists(root.path() / "icons/hicolor/32x32/apps/q.png"));
  EXPECT_TRUE(InstallDesktopIcons(program.path(), "apps", "q", &changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(InstallDesktopIcons(program.path(), "apps", "missing", &changed));
}

TEST(DesktopEntry, CacheToolsRunOnTheDesktopFolderOnlyWhenInstalled) {
  test::TempRoot root;
  test::TempDir bin;
  const fs::path tool = bin.path() / "update-mime-database";
  test::WriteFileBytes(tool, "#!/bin/sh\n");
  ::chmod(tool.c_str(), 0755);
  ScopedEnv path("PATH", bin.path().string());
  const auto commands = DesktopCacheCommands();
  ASSERT_EQ(commands.size(), 1u);  // update-desktop-database is not there
  EXPECT_EQ(commands[0], (std::vector<std::string>{tool.string(), (root.path() / "mime").string()}));
  // Under a moved root (tests) they never run.
  RecordingShell shell;
  RefreshDesktopCaches();
  EXPECT_TRUE(shell.programs.empty());
}

}  // namespace
}  // namespace qlon::platform
