#include <fstream>
#include <string>

#include <pwd.h>
#include <sys/statvfs.h>

#include <gtest/gtest.h>

#include "MessageBox.h"
#include "Shell.h"
#include "TempRoot.h"
#include "UtilsFile.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::WriteFileBytes;

class FileTest : public ::testing::Test {
 protected:
  std::string Folder(const std::string& name) { return (dir_.path() / name).string() + "/"; }
  fs::path Path(const std::string& name) { return dir_.path() / name; }
  test::TempDir dir_;
};

TEST_F(FileTest, CopyFileCopiesWholeContentAndRefusesItself) {
  const std::string content(200000, 'x');
  WriteFileBytes(Path("a.bin"), content);
  WriteFileBytes(Path("b.bin"), "old longer content that must go");
  EXPECT_TRUE(CopyFile(Path("a.bin"), Path("b.bin")));
  EXPECT_EQ(ReadFileBytes(Path("b.bin")), content);
  EXPECT_FALSE(CopyFile(Path("a.bin"), Path("a.bin")));
  EXPECT_FALSE(CopyFile(Path("./a.bin"), dir_.path() / "." / "a.bin"));
  EXPECT_EQ(ReadFileBytes(Path("a.bin")), content) << "copying onto itself truncated the source";
  EXPECT_FALSE(CopyFile(Path("missing"), Path("c.bin")));
  EXPECT_FALSE(CopyFile(Path("a.bin"), Path("no/such/folder/c.bin")));
  EXPECT_EQ(GetFileSize(Path("a.bin")), 200000);
  EXPECT_EQ(GetFileSize(Path("missing")), 0);
}

TEST_F(FileTest, MasksFollowDosRules) {
  EXPECT_TRUE(MatchFileMask("*.*", "README"));
  EXPECT_TRUE(MatchFileMask("*.*", "a.b.c"));
  EXPECT_TRUE(MatchFileMask("*.HTM", "index.htm"));
  EXPECT_FALSE(MatchFileMask("*.htm", "index.html"));
  EXPECT_TRUE(MatchFileMask("_*.*", "_index.htm"));
  EXPECT_FALSE(MatchFileMask("_*.*", "index.htm"));
  EXPECT_TRUE(MatchFileMask("chap?.*", "chap1"));
  EXPECT_FALSE(MatchFileMask("*.*", ""));
}

TEST_F(FileTest, ListAndCountFilesSkipFolders) {
  WriteFileBytes(Path("web/b.htm"), "b");
  WriteFileBytes(Path("web/a.HTM"), "a");
  WriteFileBytes(Path("web/c.gif"), "c");
  fs::create_directories(Path("web/sub.htm"));
  StringList list{"stale"};
  ListFiles(Folder("web") + "*.htm", list);
  EXPECT_EQ(list, (StringList{"a.HTM", "b.htm"}));
  EXPECT_EQ(CountFiles(Folder("web")), 3);
  EXPECT_EQ(CountFiles(Folder("missing")), 0);
}

TEST_F(FileTest, PrepareFolderPathEndsInOneSlash) {
  fs::create_directories(Path("f"));
  std::string folder = Folder("f") + "//";
  EXPECT_TRUE(PrepareFolderPath(folder));
  EXPECT_EQ(folder, Folder("f"));
  folder = Folder("nope");
  EXPECT_FALSE(PrepareFolderPath(folder));
  EXPECT_EQ(folder, Folder("nope"));
  folder = "/";
  EXPECT_TRUE(PrepareFolderPath(folder));
  EXPECT_EQ(folder, "/");
}

TEST_F(FileTest, CopyFilesByMaskSkipsExcludedExtensions) {
  // The index templates: everything but the ".ht_" templates.
  WriteFileBytes(Path("tpl/_Accueil.ht_"), "template");
  WriteFileBytes(Path("tpl/back.gif"), "gif");
  WriteFileBytes(Path("tpl/style.CSS"), "css");
  WriteFileBytes(Path("tpl/long.HT_X"), "cut to three: excluded too");
  fs::create_directories(Path("tpl/folder"));
  EXPECT_TRUE(CopyFilesByMask(Folder("out/Index"), Folder("tpl"), "+*.*,-*.ht_"));
  StringList copied;
  ListFiles(Folder("out/Index") + "*.*", copied);
  EXPECT_EQ(copied, (StringList{"back.gif", "style.CSS"}));
  EXPECT_EQ(ReadFileBytes(Path("out/Index/style.CSS")), "css");

  StringList underscored;
  EXPECT_TRUE(CopyFilesByMask(Folder("out2"), Folder("tpl"), "_*.*"));  // no sign means "+"
  ListFiles(Folder("out2") + "*.*", underscored);
  EXPECT_EQ(underscored, StringList{"_Accueil.ht_"});

  EXPECT_FALSE(CopyFilesByMask(Folder("out3"), Folder("missing"), "*.*"));
  EXPECT_FALSE(fs::exists(Path("out3")));
}

TEST_F(FileTest, RecursiveDeletesRefuseRootLikeFolders) {
  const char* home = std::getenv("HOME");
  for (const std::string& p : {std::string(), std::string("/"), std::string("/tmp"), std::string("/home/"),
                               std::string("relative/web"), std::string("/tmp/.."), std::string("//"),
                               std::string(home ? home : "/root"), std::string(home ? home : "/root") + "/.",
                               std::string(home ? home : "/root") + "/x/.."})
    EXPECT_FALSE(IsSafeToDeleteTree(p)) << p;
  // Every account's home, not only ours.
  if (const passwd* root = ::getpwuid(0); root && root->pw_dir && std::string(root->pw_dir).size() > 1) {
    EXPECT_FALSE(IsSafeToDeleteTree(root->pw_dir));
  }
  EXPECT_TRUE(IsSafeToDeleteTree(Path("web")));
  // A link to a protected folder is judged by where it leads.
  fs::create_directory_symlink("/", Path("toRoot"));
  EXPECT_FALSE(IsSafeToDeleteTree(Path("toRoot")));
  EXPECT_FALSE(ShellFileOperation("/*.*", "", FO_DELETE, FOF_NOCONFIRMATION | FOF_SILENT));
  EXPECT_FALSE(ShellFileOperation("", "", FO_DELETE, FOF_NOCONFIRMATION));
  EXPECT_TRUE(fs::exists(Path("toRoot")));
}

TEST_F(FileTest, FolderDeletesRemoveWhatTheySay) {
  const auto fill = [&](const std::string& name) {
    WriteFileBytes(Path(name + "/page.htm"), "p");
    WriteFileBytes(Path(name + "/.hidden"), "h");
    WriteFileBytes(Path(name + "/Images/a.gif"), "g");
  };
  fill("files");
  DeleteFolderFiles(Folder("files"));
  EXPECT_FALSE(fs::exists(Path("files/page.htm")));
  EXPECT_FALSE(fs::exists(Path("files/.hidden")));
  EXPECT_TRUE(fs::exists(Path("files/Images/a.gif")));

  fill("tree");
  EmptyAndRemoveFolder(Folder("tree"));
  EXPECT_FALSE(fs::exists(Path("tree")));

  fill("asked");
  {
    platform::ScriptedMessageBoxes boxes({platform::IDNO});
    DeleteFolderTree(Folder("asked"), true);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_NE(boxes.shown[0].text.find("asked"), std::string::npos);
  }
  EXPECT_TRUE(fs::exists(Path("asked/Images/a.gif"))) << "No must keep the folder";
  {
    platform::ScriptedMessageBoxes boxes({platform::IDYES});
    DeleteFolderTree(Folder("asked"), true);
  }
  EXPECT_FALSE(fs::exists(Path("asked")));
  fill("silent");
  {
    platform::ScriptedMessageBoxes boxes;
    DeleteFolderTree(Folder("silent"), false);
    EXPECT_TRUE(boxes.shown.empty());
  }
  EXPECT_FALSE(fs::exists(Path("silent")));
  EXPECT_TRUE(RemoveFolder(Path("files/Images")) == false);  // not empty
  EXPECT_TRUE(fs::exists(Path("files/Images/a.gif")));
}

TEST_F(FileTest, ShellCopyMoveAndRename) {
  WriteFileBytes(Path("src/a.htm"), "a");
  WriteFileBytes(Path("src/sub/b.gif"), "b");
  EXPECT_TRUE(ShellFileOperation(Folder("src") + "*.*", Folder("copy"), FO_COPY, FOF_SILENT));
  EXPECT_EQ(ReadFileBytes(Path("copy/sub/b.gif")), "b");
  EXPECT_TRUE(ShellFileOperation(Path("copy").string(), Path("moved").string(), FO_RENAME, 0));
  EXPECT_FALSE(ShellFileOperation(Path("src").string(), Path("moved").string(), FO_RENAME, 0));  // exists
  EXPECT_TRUE(ShellFileOperation(Path("moved/a.htm").string(), Folder("dest"), FO_MOVE, 0));
  EXPECT_EQ(ReadFileBytes(Path("dest/a.htm")), "a");
  EXPECT_FALSE(fs::exists(Path("moved/a.htm")));
  // A folder copied into itself is refused, the rest is copied.
  EXPECT_FALSE(ShellFileOperation(Folder("src") + "*.*", Folder("src/sub/inner"), FO_COPY, 0));
  EXPECT_EQ(ReadFileBytes(Path("src/sub/inner/a.htm")), "a");
  EXPECT_FALSE(fs::exists(Path("src/sub/inner/sub")));
}

TEST_F(FileTest, DiskFreeReportsTheNumbers) {
  std::uint32_t high = 7, low = 7;
  ASSERT_TRUE(GetDiskFree(dir_.path(), high, low));
  struct statvfs st{};
  ASSERT_EQ(::statvfs(dir_.path().c_str(), &st), 0);
  const std::uint64_t expected = std::uint64_t{st.f_bavail} * st.f_frsize;
  EXPECT_NEAR(static_cast<double>((std::uint64_t{high} << 32) | low), static_cast<double>(expected), 64.0 * 1048576);
  EXPECT_FALSE(GetDiskFree(Path("missing"), high, low));
  EXPECT_FALSE(GetDiskFree(3, high, low));
  std::string label = "kept";
  EXPECT_FALSE(GetVolumeLabel("/", label));
  EXPECT_EQ(label, "kept");
}

TEST(Shell, DocumentsAndProgramsGoThroughTheShellHandler) {
  platform::RecordingShell shell;
  EXPECT_EQ(OpenDocument("http://127.0.0.1/index.htm"), 0);
  EXPECT_TRUE(RunProgram("qlonschd /start", 1));
  EXPECT_EQ(shell.opened, StringList{"http://127.0.0.1/index.htm"});
  EXPECT_EQ(shell.started, StringList{"qlonschd /start"});
  std::string program = "unchanged";
  EXPECT_FALSE(GetAssociatedProgram("", program));
  EXPECT_EQ(program, "unchanged");
}

TEST(MessageBoxes, CaptionAmpersandAndErrorBoxFlags) {
  platform::ScriptedMessageBoxes boxes({platform::IDNO});
  EXPECT_EQ(ShowMessageBox("Effacer ?", "&Effacement && co", platform::MB_YESNO), platform::IDNO);
  EXPECT_EQ(boxes.shown.back().caption, "Effacement && co");

  struct Row {
    int icon, caption;
    unsigned buttons, flags;
    const char* shownCaption;
  };
  const Row rows[] = {
      {0, 0, 0x04, platform::MB_OK | platform::MB_ICONEXCLAMATION, "Erreur"},
      {1, 1, 0x01, platform::MB_YESNO | platform::MB_ICONHAND, "Erreur de connexion"},
      {3, 2, 0x08, platform::MB_OKCANCEL | platform::MB_ICONQUESTION, "URL de départ"},
      {2, 5, 0x20, platform::MB_RETRYCANCEL | platform::MB_ICONASTERISK, "Erreur d'exception"},
      {4, 4, 0x10, platform::MB_ABORTRETRYIGNORE, "Erreur du protocole HTTP"},
      {0, 9, 0x09, platform::MB_YESNO | platform::MB_OKCANCEL | platform::MB_ICONEXCLAMATION, ""},
  };
  for (const Row& r : rows) {
    ErrorBox(r.icon, r.caption, "texte", r.buttons);
    EXPECT_EQ(boxes.shown.back().flags, r.flags) << r.shownCaption;
    EXPECT_EQ(boxes.shown.back().caption, r.shownCaption);
    EXPECT_EQ(boxes.shown.back().text, "texte");
  }
}

TEST(HttpStatusText, TextThenCodeInBrackets) {
  EXPECT_EQ(HttpStatusText(0), "");
  EXPECT_EQ(HttpStatusText(200), "Ok (200)");
  EXPECT_EQ(HttpStatusText(404), "Pas trouvé (404)");
  EXPECT_EQ(HttpStatusText(412), " (412)");
  EXPECT_EQ(HttpStatusText(100), " (100)");
  EXPECT_EQ(HttpStatusText(207), " (207)");
  EXPECT_EQ(HttpStatusText(505), "Version HTTP non supportée (505)");
  EXPECT_EQ(HttpStatusText(-3), " (-3)");
}

}  // namespace
}  // namespace qlon
