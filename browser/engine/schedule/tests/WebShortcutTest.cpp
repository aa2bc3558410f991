#include "WebShortcut.h"

#include <gtest/gtest.h>

#include "MessageBox.h"
#include "Profile.h"
#include "Shell.h"
#include "TempRoot.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

// A platform root with a work folder named in win.ini.
class WebShortcutTest : public ::testing::Test {
 protected:
  WebShortcutTest() : work(root.path() / "work") {
    fs::create_directories(work);
    profile::WriteProfileString("QUILLON", "WORKPATH", work.string() + "/");
  }
  void WriteDefaults(const std::string& text) { test::WriteFileBytes(work / "WebShortcut.def", text); }

  test::TempRoot root;
  fs::path work;
};

TEST_F(WebShortcutTest, DefaultsComeFromTheTableThenFromTheDefaultsFile) {
  {
    TWebShortcutFile s;
    EXPECT_EQ(s.Web, "");
    EXPECT_EQ(s.CaptureKind, 0);
    EXPECT_EQ(s.TimeLimit, 0);
    EXPECT_FALSE(s.TimeLimitFlag || s.LinkResolve || s.CutModemFlag || s.MinimizeFlag || s.CloseQuillonFlag);
  }
  WriteDefaults("[WebShortcut]\r\nCapture=2\r\nTimeLimit=45\r\nLinkResolve=1\r\nCloseQuillonFlag=1\r\n");
  TWebShortcutFile s;
  EXPECT_EQ(s.CaptureKind, 2);
  EXPECT_EQ(s.TimeLimit, 45);
  EXPECT_TRUE(s.LinkResolve);
  EXPECT_TRUE(s.CloseQuillonFlag);
  EXPECT_FALSE(s.MinimizeFlag);

  // A file without the section, or with other keys only, keeps those defaults.
  const fs::path other = root.path() / "other.wbs";
  test::WriteFileBytes(other, "[Other]\r\nCapture=3\r\n[WebShortcut]\r\nWeb=/w/a.web\r\n");
  s.SetFileName(other.string());
  EXPECT_EQ(s.Web, "/w/a.web");
  EXPECT_EQ(s.CaptureKind, 2);
  EXPECT_EQ(s.TimeLimit, 45);
  // A missing file changes nothing.
  s.LoadFromFile((root.path() / "missing.wbs").string());
  EXPECT_EQ(s.Web, "/w/a.web");
}

TEST_F(WebShortcutTest, SavesEveryKeyInOrderAndReadsItBack) {
  TWebShortcutFile s;
  s.Web = "/home/u/Mes webs/Été.web";
  s.CaptureKind = 3;
  s.TimeLimit = 90;
  s.TimeLimitFlag = true;
  s.CutModemFlag = true;
  s.CloseQuillonFlag = true;
  const fs::path file = root.path() / "a.wbs";
  ASSERT_TRUE(s.SaveToFile(file.string()));
  EXPECT_EQ(test::ReadFileBytes(file),
            "[WebShortcut]\r\nWeb=/home/u/Mes webs/Été.web\r\nCapture=3\r\nTimeLimit=90\r\n"
            "TimeLimitFlag=1\r\nLinkResolve=0\r\nCutModemFlag=1\r\nMinimizeFlag=0\r\nCloseQuillonFlag=1\r\n");
  TWebShortcutFile back;
  back.SetFileName(file.string());
  EXPECT_FALSE(back.Differs(s));
  EXPECT_FALSE(s.SaveToFile(""));
}

TEST_F(WebShortcutTest, EveryFieldCountsInDiffersAndAssign) {
  TWebShortcutFile base;
  base.Web = "/w/Site.web";
  TWebShortcutFile same;
  same.Web = "/W/SITE.WEB";  // paths compare without case
  EXPECT_FALSE(base.Differs(same));

  const std::vector<void (*)(TWebShortcutFile&)> edits = {
      [](TWebShortcutFile& s) { s.Web = "/w/other.web"; },
      [](TWebShortcutFile& s) { s.CaptureKind = 1; },
      [](TWebShortcutFile& s) { s.TimeLimit = 5; },
      [](TWebShortcutFile& s) { s.TimeLimitFlag = true; },
      [](TWebShortcutFile& s) { s.LinkResolve = true; },
      [](TWebShortcutFile& s) { s.CutModemFlag = true; },
      [](TWebShortcutFile& s) { s.MinimizeFlag = true; },
      [](TWebShortcutFile& s) { s.CloseQuillonFlag = true; },
  };
  for (std::size_t i = 0; i < edits.size(); ++i) {
    TWebShortcutFile edited;
    edited.Assign(base);
    edits[i](edited);
    EXPECT_TRUE(edited.Differs(base)) << "edit " << i;
    TWebShortcutFile copy;
    copy.Assign(edited);
    EXPECT_FALSE(copy.Differs(edited)) << "edit " << i;
  }
}

TEST_F(WebShortcutTest, NewShortcutTakesTheFirstFreeNameAndNeverOverwrites) {
  WriteDefaults("[WebShortcut]\r\nCapture=1\r\n");
  const fs::path desk = root.path() / "desk";
  const std::string base = "Nouveau Raccourci d'une capture de Web";
  test::WriteFileBytes(desk / (base + ".wbs"), "keep");
  test::WriteFileBytes(desk / (base + " (1).wbs"), "keep");
  platform::ScriptedMessageBoxes boxes;
  platform::RecordingShell shell;

  const std::string made = CreateWebShortcut(desk, "/w/site.web");
  EXPECT_EQ(made, (desk / (base + " (2).wbs")).string());
  TWebShortcutFile s;
  s.SetFileName(made);
  EXPECT_EQ(s.Web, "/w/site.web");
  EXPECT_EQ(s.CaptureKind, 1);
  EXPECT_EQ(test::ReadFileBytes(desk / (base + ".wbs")), "keep");
  // The rename helper installed beside the program gets the new file.
  const std::string helper = (fs::read_symlink("/proc/self/exe").parent_path() / "tamblor").string();
  ASSERT_EQ(shell.programs.size(), 1u);
  EXPECT_EQ(shell.programs[0], (std::vector<std::string>{helper, "NewFile", made}));
  EXPECT_TRUE(boxes.shown.empty());
  // A helper that cannot start is reported, and the shortcut still stands.
  shell.result = false;
  const std::string second = CreateWebShortcut(desk, "/w/site.web");
  EXPECT_TRUE(fs::exists(second));
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].caption, "Erreur");
  EXPECT_EQ(boxes.shown[0].text, "Impossible de charger " + helper);

  // Past the numbered names the folder is full: nothing is written.
  for (int n = 4; n <= 999; ++n) test::WriteFileBytes(desk / (base + " (" + std::to_string(n) + ").wbs"), "keep");
  EXPECT_EQ(CreateWebShortcut(desk, "/w/b.web"), "");
  EXPECT_EQ(test::ReadFileBytes(desk / (base + " (20).wbs")), "keep");
}

}  // namespace
}  // namespace qlon
