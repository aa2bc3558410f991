// The bookmark file: what a save keeps of a file a browser wrote, and the
// web commands' add and remove with their question.
#include "Bookmarks.h"

#include <gtest/gtest.h>

#include <functional>

#include "Profile.h"
#include "Setup.h"
#include "ShellLinks.h"
#include "TempRoot.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

// As a browser writes it: descriptions, separators, icons, nested folders.
const std::string kBrowserFile =
    "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n"
    "<!-- This is an automatically generated file. -->\n"
    "<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=UTF-8\">\n"
    "<TITLE>Bookmarks</TITLE>\n"
    "<H1>Bookmarks</H1>\n"
    "\n"
    "<DL><p>\n"
    "    <DT><H3 ADD_DATE=\"1\" LAST_MODIFIED=\"2\" PERSONAL_TOOLBAR_FOLDER=\"true\">Barre</H3>\n"
    "    <DD>Ma barre &amp; mes liens\n"
    "    <DL><p>\n"
    "        <DT><A HREF=\"http://a.example/?x=1&amp;y=2\" ADD_DATE=\"3\" ICON=\"data:image/png;base64,AA>\">A &lt;1&gt;</A>\n"
    "        <HR>\n"
    "        <DT><H3 ADD_DATE=\"4\">Sous</H3>\n"
    "        <DL><p>\n"
    "            <DT><A HREF=\"ftp://b.example/\">B</A>\n"
    "        </DL><p>\n"
    "    </DL><p>\n"
    "    <DT><A HREF=\"http://c.example/\" ADD_DATE=\"5\">C</A>\n"
    "    <!-- a comment -->\n"
    "</DL><p>\n";

struct FakeHost : IBookmarkHost {
  bool AskYesNo(const std::string& text, const std::string&) override {
    questions.push_back(text);
    return answer;
  }
  void ShowBookmarkOptions() override {
    ++optionsShown;
    if (onOptions) onOptions();
  }
  std::vector<std::string> questions;
  bool answer = false;
  int optionsShown = 0;
  std::function<void()> onOptions;
};

class BookmarksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    profile::WriteProfileString("QUILLON", "WORKPATH", work_.path().string());
    setup_ = std::make_unique<TSetup>(nullptr, program_.path());
    setup_->BookmarkFile = File().string();
  }
  fs::path File() const { return work_.path() / "bookmarks.html"; }
  std::string Text() const { return test::ReadFileBytes(File()); }
  static TWebBookmark Web(const std::string& title) {
    return {"file:///home/u/Webs/site/_Accueil.htm", title, 1700000000};
  }
  int Items(const TBookmarkNode& folder) const {
    int n = 0;
    for (const auto& c : folder.Children()) n += c->Kind() == TBookmarkNode::bkItem ? 1 : Items(*c);
    return n;
  }

  test::TempRoot root_;
  test::TempDir work_, program_;
  std::unique_ptr<TSetup> setup_;
  FakeHost host_;
  TBookmarkList list_;
};

TEST_F(BookmarksTest, ReadsABrowsersFileAndWritesItBackUnchanged) {
  test::WriteFileBytes(File(), kBrowserFile);
  ASSERT_TRUE(list_.LoadFromFile(File()));
  const TBookmarkNode* barre = list_.FindFolder("Barre");
  ASSERT_NE(barre, nullptr);
  ASSERT_EQ(barre->EntryCount(), 2);
  EXPECT_EQ(barre->Children()[0]->Url(), "http://a.example/?x=1&y=2");
  EXPECT_EQ(barre->Children()[0]->Title(), "A <1>");
  EXPECT_EQ(barre->Children()[0]->AddDate(), 3);
  ASSERT_NE(list_.FindFolder("Sous"), nullptr);
  EXPECT_EQ(Items(list_.Root()), 3);

  ASSERT_TRUE(list_.Save());
  EXPECT_EQ(Text(), kBrowserFile);
  EXPECT_EQ(test::ReadFileBytes(File().string() + ".bak"), kBrowserFile);

  // A file without its last line end, in CR LF, keeps both.
  std::string crlf;
  for (char c : kBrowserFile) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  crlf.resize(crlf.size() - 2);
  test::WriteFileBytes(File(), crlf);
  ASSERT_TRUE(list_.LoadFromFile(File()));
  list_.AddItem(*list_.FindFolder("Sous"), "http://d.example/", "D", 6);
  ASSERT_TRUE(list_.Save());
  const std::string added = "            <DT><A HREF=\"http://d.example/\" ADD_DATE=\"6\">D</A>\r\n";
  std::string expected = crlf;
  expected.insert(expected.find("        </DL><p>\r\n    </DL>"), added);
  EXPECT_EQ(Text(), expected);
}

TEST_F(BookmarksTest, FilesThatAreNoBookmarkFileAreNeverTaken) {
  const std::vector<std::string> files = {
      "", "<html><body>page</body></html>\n", "<!DOCTYPE html>\n<DL><p>\n</DL><p>\n",
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<TITLE>no list</TITLE>\n",
      "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n" + std::string(1000, '\0'),
  };
  for (const std::string& f : files) {
    test::WriteFileBytes(File(), f);
    EXPECT_FALSE(list_.LoadFromFile(File())) << f.substr(0, 30);
    EXPECT_FALSE(list_.Loaded());
    EXPECT_FALSE(list_.Save());
  }
  // Lists nested beyond reason (a crafted file) are refused, not recursed.
  std::string deep = "<!DOCTYPE NETSCAPE-Bookmark-file-1>\n<DL><p>\n";
  for (int i = 0; i < 100000; ++i) deep += "<DT><H3>x</H3>\n<DL><p>\n";
  test::WriteFileBytes(File(), deep);
  EXPECT_FALSE(list_.LoadFromFile(File()));
  EXPECT_FALSE(list_.LoadFromFile(work_.path()));
  EXPECT_FALSE(list_.LoadFromFile(work_.path() / "absent.html"));
}

TEST_F(BookmarksTest, AddingTwiceRetitlesInsteadOfDuplicating) {
  test::WriteFileBytes(File(), kBrowserFile);
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, Web("Mon site")));
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, Web("Mon site, 2e capture")));
  EXPECT_TRUE(host_.questions.empty());

  TBookmarkList reread;
  ASSERT_TRUE(reread.LoadFromFile(File()));
  TBookmarkNode* folder = reread.FindFolder("Webs locaux");
  ASSERT_NE(folder, nullptr);
  ASSERT_EQ(folder->EntryCount(), 1);
  EXPECT_EQ(folder->Children()[0]->Title(), "Mon site, 2e capture");
  EXPECT_EQ(folder->Children()[0]->AddDate(), 1700000000);
  EXPECT_EQ(Items(reread.Root()), 4);
  // The browser's own lines are all still there, in order.
  EXPECT_EQ(Text().substr(0, kBrowserFile.size() - 9), kBrowserFile.substr(0, kBrowserFile.size() - 9));

  // The favourites hold one shortcut per title it was added under.
  const fs::path favorites = root_.path() / "Favorites" / "Webs locaux";
  EXPECT_EQ(ReadInternetShortcut(favorites / "Mon site, 2e capture.url"), Web("").Url);
}

TEST_F(BookmarksTest, HostileTitlesStayText) {
  test::WriteFileBytes(File(), kBrowserFile);
  const std::string title = "</A></DL><p><DT><H3>x</H3><script>alert(1)</script> & \"q\" 'r'";
  TWebBookmark web = Web(title);
  web.Url = "http://e.example/\"><script>";
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, web));
  EXPECT_EQ(Text().find("<script>"), std::string::npos);

  TBookmarkList reread;
  ASSERT_TRUE(reread.LoadFromFile(File()));
  TBookmarkNode* folder = reread.FindFolder("Webs locaux");
  ASSERT_NE(folder, nullptr);
  ASSERT_EQ(folder->EntryCount(), 1);
  EXPECT_EQ(folder->Children()[0]->Title(), title);
  EXPECT_EQ(folder->Children()[0]->Url(), web.Url);
  EXPECT_EQ(reread.FindFolder("x"), nullptr);
  EXPECT_EQ(Items(reread.Root()), 4);

  // Retitled in place, the line is escaped just the same.
  reread.SetTitle(*reread.FindFolder("Barre")->Children()[0], "<b>gras</b>");
  ASSERT_TRUE(reread.Save());
  EXPECT_NE(Text().find(">&lt;b&gt;gras&lt;/b&gt;</A>"), std::string::npos);
  // The shortcut's file name cannot leave its folder.
  for (const auto& e : fs::recursive_directory_iterator(root_.path() / "Favorites"))
    EXPECT_EQ(e.path().parent_path().filename(), e.is_directory() ? "Favorites" : "Webs locaux");
}

TEST_F(BookmarksTest, RemovingTheLastEntryRemovesItsFolder) {
  test::WriteFileBytes(File(), kBrowserFile);
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, Web("Site")));
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, Web("Site renommé")));
  TWebBookmark other = Web("Autre");
  other.Url = "file:///home/u/Webs/autre/_Accueil.htm";
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, other));

  ASSERT_TRUE(RemoveWebBookmark(list_, *setup_, Web("Site renommé")));
  TBookmarkList reread;
  ASSERT_TRUE(reread.LoadFromFile(File()));
  ASSERT_NE(reread.FindFolder("Webs locaux"), nullptr);
  EXPECT_EQ(reread.FindFolder("Webs locaux")->EntryCount(), 1);
  // Both shortcuts of the removed web go, whatever their titles.
  const fs::path favorites = root_.path() / "Favorites" / "Webs locaux";
  EXPECT_FALSE(fs::exists(favorites / "Site.url"));
  EXPECT_FALSE(fs::exists(favorites / "Site renommé.url"));
  EXPECT_TRUE(fs::exists(favorites / "Autre.url"));

  ASSERT_TRUE(RemoveWebBookmark(list_, *setup_, other));
  EXPECT_EQ(Text(), kBrowserFile);
}

TEST_F(BookmarksTest, ChangesMadeByTheBrowserMeanwhileAreKept) {
  test::WriteFileBytes(File(), kBrowserFile);
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, Web("Site")));
  std::string changed = Text();
  changed.insert(changed.find("    <DT><A HREF=\"http://c.example/\""), "    <DT><A HREF=\"http://new.example/\">N</A>\n");
  test::WriteFileBytes(File(), changed);
  fs::last_write_time(File(), fs::last_write_time(File()) + std::chrono::seconds(2));
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, Web("Site 2")));
  EXPECT_NE(Text().find("http://new.example/"), std::string::npos);
}

TEST_F(BookmarksTest, UnreadableFileAsksAndNoTurnsTheOptionOff) {
  setup_->BookmarkFile = (work_.path() / "missing" / "bookmarks.html").string();
  EXPECT_FALSE(AddWebBookmark(list_, *setup_, host_, Web("Site")));
  ASSERT_EQ(host_.questions.size(), 1u);
  EXPECT_NE(host_.questions[0].find("Voulez-vous créer ou choisir un nouveau fichier de signet?"), std::string::npos);
  EXPECT_FALSE(setup_->UseBookmark);
  EXPECT_FALSE(profile::TIniFile(setup_->IniFile()).ReadBool("Bookmark", "UseBookmark", true));
  EXPECT_EQ(host_.optionsShown, 0);
  // Off: no question any more.
  EXPECT_FALSE(AddWebBookmark(list_, *setup_, host_, Web("Site")));
  EXPECT_EQ(host_.questions.size(), 1u);
  // The shortcut is made all the same.
  EXPECT_TRUE(fs::exists(root_.path() / "Favorites" / "Webs locaux" / "Site.url"));
}

TEST_F(BookmarksTest, YesShowsTheOptionsAndTriesOnceMore) {
  setup_->BookmarkFile.clear();
  host_.answer = true;
  EXPECT_FALSE(AddWebBookmark(list_, *setup_, host_, Web("Site")));
  EXPECT_EQ(host_.optionsShown, 1);
  EXPECT_EQ(host_.questions.size(), 1u);
  EXPECT_TRUE(setup_->UseBookmark);

  // A new file name chosen there is created.
  host_.onOptions = [&] { setup_->BookmarkFile = File().string(); };
  ASSERT_TRUE(AddWebBookmark(list_, *setup_, host_, Web("Site")));
  EXPECT_EQ(host_.optionsShown, 2);
  TBookmarkList reread;
  ASSERT_TRUE(reread.LoadFromFile(File()));
  ASSERT_NE(reread.FindFolder("Webs locaux"), nullptr);
  EXPECT_EQ(reread.FindFolder("Webs locaux")->Children()[0]->Title(), "Site");
}

}  // namespace
}  // namespace qlon
