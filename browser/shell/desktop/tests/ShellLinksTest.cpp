// Internet shortcuts, special folders and program shortcuts.
#include "ShellLinks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "Profile.h"
#include "TempRoot.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

class ShellLinksTest : public ::testing::Test {
 protected:
  fs::path File(const std::string& name) const { return root_.path() / name; }
  test::TempRoot root_;
};

TEST_F(ShellLinksTest, ShortcutRoundTripKeepsTheFilesOtherLines) {
  const fs::path url = File("Site.url");
  ASSERT_TRUE(WriteInternetShortcut(url, "http://www.example.com/a b?x=1"));
  EXPECT_EQ(ReadInternetShortcut(url), "http://www.example.com/a b?x=1");

  test::WriteFileBytes(url, "[DEFAULT]\r\nBASEURL=http://old/\r\n[InternetShortcut]\r\nURL=http://old/\r\n"
                            "IconIndex=3\r\n; mine\r\n");
  ASSERT_TRUE(WriteInternetShortcut(url, "http://new/"));
  EXPECT_EQ(ReadInternetShortcut(url), "http://new/");
  EXPECT_EQ(test::ReadFileBytes(url),
            "[DEFAULT]\r\nBASEURL=http://old/\r\n[InternetShortcut]\r\nURL=http://new/\r\nIconIndex=3\r\n; mine\r\n");

  // Addresses a shortcut cannot hold leave the file alone.
  EXPECT_FALSE(WriteInternetShortcut(url, "http://a/\r\n[x]"));
  EXPECT_FALSE(WriteInternetShortcut(url, ""));
  EXPECT_EQ(ReadInternetShortcut(url), "http://new/");
  EXPECT_FALSE(WriteInternetShortcut(File("missing/Site.url"), "http://a/"));
}

TEST_F(ShellLinksTest, LinkDesktopEntriesCountAsShortcuts) {
  test::WriteFileBytes(File("a.desktop"), "[Desktop Entry]\nType=Link\nName=A\nURL=http://a/x\\sy\n");
  EXPECT_EQ(ReadInternetShortcut(File("a.desktop")), "http://a/x y");
  test::WriteFileBytes(File("b.desktop"), "[Desktop Entry]\nType=Application\nExec=rm\nURL=http://b/\n");
  EXPECT_EQ(ReadInternetShortcut(File("b.desktop")), "");
}

TEST_F(ShellLinksTest, HostileFilesGiveNoAddress) {
  EXPECT_EQ(ReadInternetShortcut(File("none.url")), "");
  fs::create_directory(File("dir.url"));
  EXPECT_EQ(ReadInternetShortcut(File("dir.url")), "");
  // A pipe would block a reader forever.
  ASSERT_EQ(mkfifo(File("pipe.url").c_str(), 0600), 0);
  EXPECT_EQ(ReadInternetShortcut(File("pipe.url")), "");

  test::WriteFileBytes(File("nokey.url"), "[InternetShortcut]\nIconIndex=1\nURL\n=http://x/\n");
  EXPECT_EQ(ReadInternetShortcut(File("nokey.url")), "");
  test::WriteFileBytes(File("ctl.url"), std::string("[InternetShortcut]\nURL=http://x/\x01\x1b[2J\n"));
  EXPECT_EQ(ReadInternetShortcut(File("ctl.url")), "");
  test::WriteFileBytes(File("huge.url"),
                       "[InternetShortcut]\nURL=http://x/\n" + std::string(kShortcutFileMax, 'A'));
  EXPECT_EQ(ReadInternetShortcut(File("huge.url")), "");

  // Garbage around the section does not hide it.
  std::string junk(4000, '\0');
  for (std::size_t i = 0; i < junk.size(); ++i) junk[i] = char(i * 7 + 3);
  test::WriteFileBytes(File("junk.url"), junk + "\n[InternetShortcut]\nURL=http://ok/\n" + junk);
  EXPECT_EQ(ReadInternetShortcut(File("junk.url")), "http://ok/");
}

TEST_F(ShellLinksTest, SpecialFoldersLieUnderTheMovedRoot) {
  const fs::path desktop = GetShellFolderPath("Desktop");
  EXPECT_EQ(desktop, root_.path() / "Desktop");
  EXPECT_TRUE(fs::is_directory(desktop));
  EXPECT_EQ(GetShellFolderPath("favorites"), root_.path() / "Favorites");
  EXPECT_EQ(GetShellFolderPath("Start Menu"), root_.path() / "applications");
  EXPECT_EQ(GetShellFolderPath("Nowhere"), fs::path());
  EXPECT_EQ(GetShellFolderPath("../Desktop"), fs::path());
}

TEST_F(ShellLinksTest, ProgramShortcutKeepsEachArgumentOneWord) {
  const fs::path link = File("Aspirer.desktop");
  ASSERT_TRUE(CreateShellLink(link, "/opt/q 98/qlon98", {"/b", "100% $HOME \"x\""}, "Aspirer le Web"));
  EXPECT_EQ(test::ReadFileBytes(link),
            "[Desktop Entry]\nType=Application\nName=Aspirer le Web\n"
            "Exec=\"/opt/q 98/qlon98\" \"/b\" \"100%% \\\\$HOME \\\\\"x\\\\\"\"\n");
  EXPECT_EQ(profile::GetPrivateProfileString("Desktop Entry", "Name", "", link), "Aspirer le Web");
  EXPECT_FALSE(CreateShellLink(File("bad.desktop"), "/bin/true", {}, "a\nExec=rm -rf ~"));
  EXPECT_FALSE(CreateShellLink(File("bad.desktop"), "/bin/true", {"x\ny"}, "ok"));
  EXPECT_FALSE(fs::exists(File("bad.desktop")));
}

}  // namespace
}  // namespace qlon
