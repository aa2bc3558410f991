#include "PlatformRoot.h"

#include <cstdlib>
#include <filesystem>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "TempRoot.h"

namespace fs = std::filesystem;
using qlon::platform::Root;
using qlon::platform::RootFolder;

TEST(PlatformRoot, FollowsTheVariableAndMakesPrivateFolders) {
  qlon::test::TempRoot root;
  fs::path expected = root.path();
  EXPECT_EQ(Root(), expected);
  fs::path run = RootFolder("run");
  EXPECT_EQ(run, expected / "run");
  struct stat st {};
  ASSERT_EQ(::stat(run.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(PlatformRoot, FallsBackToXdgDataHome) {
  qlon::test::TempDir xdg;
  qlon::test::TempRoot guard;  // restores the variable afterwards
  ::unsetenv(qlon::platform::kRootVariable);
  const char* old = std::getenv("XDG_DATA_HOME");
  std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", xdg.path().c_str(), 1);
  EXPECT_EQ(Root(), xdg.path() / "quillon98-platform");
  EXPECT_TRUE(fs::is_directory(xdg.path() / "quillon98-platform"));
  if (old) ::setenv("XDG_DATA_HOME", saved.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
}

TEST(PlatformRoot, DesktopDataGoesWhereTheDesktopLooksUnlessTheRootMoved) {
  qlon::test::TempDir xdg;
  qlon::test::TempRoot root;
  EXPECT_TRUE(qlon::platform::RootMoved());
  EXPECT_EQ(qlon::platform::DesktopDataFolder("applications"), root.path() / "applications");
  const char* old = std::getenv("XDG_DATA_HOME");
  const std::string saved = old ? old : "";
  ::setenv("XDG_DATA_HOME", xdg.path().c_str(), 1);
  ::unsetenv(qlon::platform::kRootVariable);
  EXPECT_FALSE(qlon::platform::RootMoved());
  const fs::path packages = qlon::platform::DesktopDataFolder("mime/packages");
  EXPECT_EQ(packages, xdg.path() / "mime" / "packages");
  EXPECT_TRUE(fs::is_directory(packages));
  if (old) ::setenv("XDG_DATA_HOME", saved.c_str(), 1); else ::unsetenv("XDG_DATA_HOME");
}
