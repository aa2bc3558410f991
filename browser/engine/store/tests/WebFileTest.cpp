#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>
#include <set>

#include "Cookies.h"
#include "LocalNaming.h"
#include "LocalPath.h"
#include "PageIndex.h"
#include "TempRoot.h"
#include "UrlBTree.h"
#include "WebFile.h"

namespace {
using namespace qlon;
namespace fs = std::filesystem;

// MIME indexes of the tests: 1 Html, 2 an image, 3 an octet stream, 4 Java classes.
TMimeNaming TestMime(const TWebFile& r) {
  switch (r.GetMimeIndex()) {
    case 1: return {0, {"htm", "html", "shtml"}};
    case 2: return {2, {".gif"}};
    case 3: return {5, {"bin"}};
    case 4: return {5, {"class"}};
    default: return {};
  }
}

class LocalNames : public ::testing::Test {
 protected:
  void SetUp() override {
    folder_ = dir_.path() / "capture";
    fs::create_directories(folder_);
    tree_.SetFolder(folder_.string());
    tree_.Naming().MimeOf = TestMime;
  }
  std::string Name(const std::string& url, int mime = 1, bool java = false) {
    TWebFile r(&tree_);
    r.FullUrl = url;
    r.SetMimeIndex(uint8_t(mime));
    r.SetJavaClass(java);
    if (!r.BuildLocalName()) return "<refused>";
    return r.GetLocalName();
  }
  // Every entry under the temporary folder lies in the capture folder.
  void ExpectNothingOutside() {
    for (auto& e : fs::recursive_directory_iterator(dir_.path())) {
      auto rel = e.path().lexically_relative(folder_);
      EXPECT_FALSE(rel.empty() || *rel.begin() == "..") << e.path();
    }
  }
  qlon::test::TempDir dir_;
  fs::path folder_;
  TUrlBTree tree_;
};

TEST_F(LocalNames, RuleFollowsTheMimeItemAndOptions) {
  struct Row {
    const char* url;
    int mime;
    const char* expected;
  } rows[] = {
      {"http://h/d/page.shtml", 1, "page.htm"},
      {"http://h/d/a.b.html", 1, "a.htm"},  // "b.html" is not an Html extension
      {"http://h/d/page.HTML", 1, "page.HTML"},
      {"http://h/cgi/run.php?x=1&y=a.b", 1, "run.htm"},
      {"http://h/d/", 1, "Index.htm"},
      {"http://h/d/pic", 2, "pic.gif"},
      {"http://h/d/pic.jpeg", 2, "pic.jpeg"},
      {"http://h/d/my%20file+name=1.zip", 3, "my.zip"},
      {"http://h/d/noext", 0, "noext"},
  };
  for (auto& r : rows) EXPECT_EQ(Name(r.url, r.mime), r.expected) << r.url;
}

TEST_F(LocalNames, ShortNamesCutToEightThreeButNotJavaClasses) {
  tree_.Naming().Options.ShortFileNames = true;
  EXPECT_EQ(Name("http://h/verylongname.html"), "verylong.htm");
  EXPECT_EQ(Name("http://h/VeryLongClassName.class", 4, true), "VeryLongClassName.class");
}

TEST_F(LocalNames, WebStructurePutsHostAndFoldersFirst) {
  tree_.Naming().Options.UseWebStructure = true;
  EXPECT_EQ(Name("http://www.Example.com/a/b%20c/p.htm"), "www.example.com/a/b c/p.htm");
  EXPECT_TRUE(fs::is_directory(folder_ / "www.example.com/a/b c"));
}

TEST_F(LocalNames, AFolderRemovedDuringTheCaptureIsMadeAgain) {
  tree_.Naming().Options.UseWebStructure = true;
  EXPECT_EQ(Name("http://h/a/b/p.htm"), "h/a/b/p.htm");
  fs::remove_all(folder_ / "h");
  EXPECT_EQ(Name("http://h/a/b/q.htm"), "h/a/b/q.htm");
  EXPECT_TRUE(fs::is_regular_file(folder_ / "h/a/b/q.htm"));
  // A link put in its place is refused, not followed.
  qlon::test::TempDir outside;
  fs::remove_all(folder_ / "h");
  fs::create_directory_symlink(outside.path(), folder_ / "h");
  EXPECT_EQ(Name("http://h/a/b/r.htm"), "r.htm") << "the name falls back to the capture's root";
  EXPECT_TRUE(fs::is_empty(outside.path()));
}

TEST_F(LocalNames, TakenNamesGetNumberedCandidates) {
  std::ofstream(folder_ / "index.htm") << "x";
  std::vector<std::string> got;
  for (int i = 0; i < 10; ++i) got.push_back(Name("http://h/index.htm?n=" + std::to_string(i)));
  EXPECT_EQ(got[0], "inde1.htm");
  EXPECT_EQ(got[8], "inde9.htm");
  EXPECT_EQ(got[9], "ind11.htm");
  // Only the file part is numbered, never a dotted folder of the path.
  tree_.Naming().Options.UseWebStructure = true;
  EXPECT_EQ(Name("http://h.example/x", 0), "h.example/x");
  EXPECT_EQ(Name("http://h.example/x", 0), "h.example/1");
}

TEST_F(LocalNames, TheSummaryPageNameIsNeverGivenToACapturedPage) {
  EXPECT_EQ(Name("http://h/_Accueil.htm"), "_Accuei1.htm");
  EXPECT_EQ(Name("http://h/_ACCUEIL.HTM"), "_ACCUEI1.HTM");
  EXPECT_FALSE(fs::exists(folder_ / "_Accueil.htm"));
  tree_.Naming().Options.UseWebStructure = true;
  EXPECT_EQ(Name("http://h/_Accueil.htm"), "h/_Accueil.htm") << "only the root name is the summary's";
}

TEST_F(LocalNames, RebuildingKeepsTheRecordsOwnFile) {
  TWebFile r(&tree_);
  r.FullUrl = "http://h/a.htm";
  r.SetMimeIndex(1);
  ASSERT_TRUE(r.BuildLocalName());
  EXPECT_EQ(r.GetLocalName(), "a.htm");
  EXPECT_TRUE(fs::exists(folder_ / "a.htm")) << "the name is reserved at once";
  ASSERT_TRUE(r.BuildLocalName());
  EXPECT_EQ(r.GetLocalName(), "a.htm");
}

// A name is created before it is looked at: whatever already lies there
// (a link, even one to nothing or to a folder outside; a folder; a plain
// file a record names) is never written through or over.
TEST_F(LocalNames, WhatLiesAtANameAlreadyIsNeverTakenOver) {
  qlon::test::TempDir outside;
  const fs::path target = outside.path() / "target.htm";
  std::ofstream(target) << "outside";
  fs::create_symlink(target, folder_ / "link.htm");
  fs::create_symlink(outside.path() / "nothing.htm", folder_ / "dangling.htm");
  fs::create_directory_symlink(outside.path(), folder_ / "dir.htm");
  fs::create_directory(folder_ / "folder.htm");
  std::ofstream(folder_ / "named.htm") << "a record's";
  tree_.Naming().Claimed.Add("named.htm");
  tree_.Naming().Claimed.Complete("local.web");
  EXPECT_EQ(Name("http://h/link.htm"), "<refused>");
  EXPECT_EQ(Name("http://h/dangling.htm"), "<refused>");
  EXPECT_EQ(Name("http://h/dir.htm"), "<refused>");
  EXPECT_EQ(Name("http://h/folder.htm"), "folde1.htm");
  EXPECT_EQ(Name("http://h/named.htm"), "name1.htm");
  EXPECT_EQ(Name("http://h/new.htm"), "new.htm");
  EXPECT_EQ(qlon::test::ReadFileBytes(target), "outside");
  EXPECT_FALSE(fs::exists(outside.path() / "nothing.htm"));
  EXPECT_EQ(qlon::test::ReadFileBytes(folder_ / "named.htm"), "a record's");
  EXPECT_TRUE(fs::is_regular_file(folder_ / "new.htm"));
  ExpectNothingOutside();
}

// What the naming knew of one folder never decides for another: a file
// there is taken back only once that folder's records have been walked.
TEST_F(LocalNames, ANewFolderForgetsTheClaimsOfTheLast) {
  tree_.Naming().Claimed.Complete("local.web");
  const fs::path other = dir_.path() / "other";
  fs::create_directories(other);
  std::ofstream(other / "stale.htm") << "stale";
  tree_.SetFolder(other.string());
  EXPECT_EQ(Name("http://h/stale.htm"), "stal1.htm");
  EXPECT_EQ(qlon::test::ReadFileBytes(other / "stale.htm"), "stale");
  tree_.Naming().Claimed.Complete("local.web");
  std::ofstream(other / "left.htm") << "left";
  EXPECT_EQ(Name("http://h/left.htm"), "left.htm");
}

// A folder of no capture: a taken name is numbered and its file created,
// and the summary page's name is never handed out.
TEST_F(LocalNames, ThePlainRuleNumbersTakenNamesAndSparesTheSummary) {
  std::ofstream(folder_ / "page.htm") << "someone's";
  EXPECT_EQ(ReserveUniqueName(folder_, "page.htm", ""), "pag1.htm");
  EXPECT_EQ(ReserveUniqueName(folder_, "page.htm", ""), "pag2.htm");
  EXPECT_EQ(ReserveUniqueName(folder_, "page.htm", "page.htm"), "page.htm") << "its own name counts as free";
  EXPECT_EQ(ReserveUniqueName(folder_, kSummaryPage, ""), "_Accuei1.htm");
  EXPECT_FALSE(fs::exists(folder_ / kSummaryPage));
  EXPECT_EQ(fs::file_size(folder_ / "pag2.htm"), 0u);
  EXPECT_EQ(ReserveUniqueName(folder_, "../up.htm", ""), "");
}

TEST_F(LocalNames, AFileNoRecordNamesIsTakenBackByTheRecordWhoseNameItIs) {
  // What a run killed before its save left: files that no record names.
  for (const char* stale :
       {"other.htm", "page.htm", "pag1.htm", "claimed.htm", "_index.htm", "local.web", "local.web-journal"})
    std::ofstream(folder_ / stale) << "stale";
  EXPECT_EQ(Name("http://h/other.htm"), "othe1.htm") << "nothing is known before the walk of the records";

  tree_.Naming().Claimed.Add("claimed.htm");
  tree_.Naming().Claimed.Complete("local.web");
  EXPECT_EQ(Name("http://h/page.htm"), "page.htm");
  EXPECT_EQ(Name("http://h/page.htm?again"), "pag1.htm") << "the name taken back is claimed now";
  EXPECT_EQ(Name("http://h/page.htm?third"), "pag2.htm");
  EXPECT_EQ(Name("http://h/claimed.htm"), "claime1.htm");
  // Never the program's own files.
  EXPECT_EQ(Name("http://h/_index.htm"), "_inde1.htm");
  EXPECT_EQ(Name("http://h/local.web", 0), "loca1.web");
  EXPECT_EQ(Name("http://h/local.web-journal", 0), "loca1.web-journal");
  tree_.Naming().Options.UseWebStructure = true;
  fs::create_directories(folder_ / "index");
  std::ofstream(folder_ / "index" / "p.htm") << "an index page";
  EXPECT_EQ(Name("http://INDEX/p.htm"), "index/1.htm");
  for (const char* kept : {"_index.htm", "local.web", "local.web-journal", "claimed.htm"})
    EXPECT_EQ(qlon::test::ReadFileBytes(folder_ / kept), "stale") << kept;
}

TEST_F(LocalNames, HostileUrlsStayInsideTheCaptureFolder) {
  const char* urls[] = {
      "http://../x.htm",
      "http://h/%2e%2e/%2e%2e/%2e%2e/etc/passwd",
      "http://h/a\\..\\..\\x.exe",
      "http://h/a%5c..%5c..%5cx.exe",
      "http://h/..%2f..%2fescape.htm",
      "http://h/%2E%2E%2F%2E%2E%2Fescape",
      "http://h\\..\\..\\b/x.htm",
      "http://h/%00evil.htm",
      "http://h/a%0a%0db%01.htm",
      "http://h/x.%2F..%2F..%2Fe",
      "http://h/....",
      "http://h/%2e%2e",
      "http://h/con:x|y.htm",
      "file:///etc/passwd",
      "file:///../../../../etc/shadow",
      "http://h//abs/x",
  };
  for (bool structure : {false, true}) {
    tree_.Naming().Options.UseWebStructure = structure;
    for (const char* u : urls) {
      for (int mime : {0, 1, 3}) {
        TWebFile r(&tree_);
        r.FullUrl = u;
        r.SetMimeIndex(uint8_t(mime));
        ASSERT_TRUE(r.BuildLocalName()) << u;
        std::string name = r.GetLocalName();
        EXPECT_TRUE(IsCleanLocalName(name)) << u << " -> " << name;
        std::string path = r.GetLocalPath();
        ASSERT_FALSE(path.empty()) << u;
        EXPECT_EQ(fs::path(path).lexically_normal().string().rfind(folder_.string(), 0), 0u) << path;
      }
    }
  }
  ExpectNothingOutside();
}

TEST_F(LocalNames, LongNamesAreCutAtCharacterBoundaries) {
  std::string u = "http://h/" + std::string(200, 'a');
  for (int i = 0; i < 40; ++i) u += "%C3%A9";  // "é" 40 times, 80 bytes
  u += std::string(100, 'b') + ".htm";
  std::string name = Name(u);
  EXPECT_LE(name.size(), kLocalPartMax + 4);
  EXPECT_TRUE(IsCleanLocalName(name)) << name;
}

TEST_F(LocalNames, TenThousandCollidingUrlsGetDistinctFiles) {
  std::set<std::string> names;
  for (int i = 0; i < 10000; ++i) {
    std::string n = Name("http://h" + std::to_string(i % 3) + "/index.html?page=" + std::to_string(i));
    ASSERT_NE(n, "<refused>");
    names.insert(n);
  }
  EXPECT_EQ(names.size(), 10000u);
  size_t files = 0;
  for (auto& e : fs::directory_iterator(folder_)) files += e.is_regular_file();
  EXPECT_EQ(files, 10000u);
}

TEST(LocalPath, OnlyCleanNamesBecomePaths) {
  qlon::test::TempDir dir;
  for (const char* bad : {"", "/etc/passwd", "../x", "a/../../x", "a//b", "a/./b", "a\\b", "x.", "a/b ",
                          "nul\x01", "c:x"})
    EXPECT_FALSE(LocalNameToPath(dir.path(), bad)) << bad;
  auto ok = LocalNameToPath(dir.path(), "a b/c.htm");
  ASSERT_TRUE(ok);
  EXPECT_EQ(*ok, dir.path() / "a b" / "c.htm");
  EXPECT_EQ(CleanLocalName("..\\a//./b\\..\\c."), "a/b/c");
}

TEST(LocalPath, TheFolderIsTakenInItsNormalForm) {
  qlon::test::TempDir dir;
  fs::create_directories(dir.path() / "a" / "b");
  const fs::path plain = dir.path() / "a";
  for (const std::string& written : {plain.string() + "/", plain.string() + "/./", plain.string() + "//",
                                     plain.string() + "/b/..", plain.string() + "/b/../"})
    EXPECT_EQ(LocalNameToPath(written, "b/x.htm"), plain / "b" / "x.htm") << written;
  // The folders found are remembered under the normal form.
  TCheckedFolders checked;
  ASSERT_TRUE(CreateLocalFolder(plain.string() + "/./", "b", &checked));
  EXPECT_TRUE(checked.Contains(plain.string() + "/", "b"));
}

TEST(LocalPath, SymbolicLinksBelowTheFolderAreRefused) {
  qlon::test::TempDir dir, outside;
  fs::create_directories(dir.path() / "real");
  fs::create_directory_symlink(outside.path(), dir.path() / "link");
  EXPECT_TRUE(LocalNameToPath(dir.path(), "real/x.htm"));
  EXPECT_FALSE(LocalNameToPath(dir.path(), "link/x.htm"));
  EXPECT_FALSE(CreateLocalFolder(dir.path(), "link/sub"));
  EXPECT_TRUE(fs::is_empty(outside.path()));
}

TEST(LocalPath, CheckedFoldersSkipOnlyWhatWasChecked) {
  qlon::test::TempDir dir, other, outside;
  TCheckedFolders checked;
  ASSERT_TRUE(CreateLocalFolder(dir.path(), "a/b", &checked));
  EXPECT_EQ(LocalNameToPath(dir.path(), "a/b/x.htm", &checked), dir.path() / "a" / "b" / "x.htm");
  // Folders removed since are made again once the set is cleared.
  fs::remove_all(dir.path() / "a");
  checked.Clear();
  ASSERT_TRUE(CreateLocalFolder(dir.path(), "a/b", &checked));
  EXPECT_TRUE(fs::is_directory(dir.path() / "a" / "b"));
  // A link beside a checked folder, or as the last part, is still refused.
  fs::create_directory_symlink(outside.path(), dir.path() / "a" / "link");
  EXPECT_FALSE(LocalNameToPath(dir.path(), "a/link/x.htm", &checked));
  EXPECT_FALSE(LocalNameToPath(dir.path(), "a/link", &checked));
  EXPECT_FALSE(CreateLocalFolder(dir.path(), "a/link/c", &checked));
  // The same names below another folder are checked again.
  fs::create_directories(other.path() / "b");
  fs::create_directory_symlink(outside.path(), other.path() / "a");
  EXPECT_FALSE(LocalNameToPath(other.path(), "a/b/x.htm", &checked));
  EXPECT_FALSE(CreateLocalFolder(other.path(), "a/b", &checked));
  EXPECT_TRUE(fs::is_empty(outside.path()));
}

// ---------------------------------------------------------------- record

TEST(WebFileRecord, FieldsLandAtTheirOffsets) {
  TWebFile r;
  ASSERT_TRUE(r.SetStrings("page.htm", "h/page.htm"));
  r.SetKeys(3, 0x8005);
  r.SetFlags(0x4841);
  r.SetState(fsToUpdate);
  r.SetMimeIndex(7);
  r.SetRewriteMark(0x6);
  r.SetRetryCount(3);
  r.SetWebLevel(2);
  r.SetLinkLevel(9);
  r.SetIdentityIndex(4);
  r.SetDosDate(0x11223344);
  r.SetWidth(640);
  r.SetHeight(480);
  const uint8_t* b = r.Record();
  EXPECT_EQ(b[4] | b[5] << 8, 28 + 9 + 11);
  EXPECT_EQ(b[6] | b[7] << 8, 3);
  EXPECT_EQ(b[8] | b[9] << 8, 0x8005);
  EXPECT_EQ(b[10] | b[11] << 8, 0x4841 | 0x20);  // the identity sets 0x0020
  EXPECT_EQ(b[14], 6);
  EXPECT_EQ(b[15], 7);
  EXPECT_EQ(b[16], 0x36);
  EXPECT_EQ(b[17], 2);
  EXPECT_EQ(b[18], 9);
  EXPECT_EQ(b[19], 4);
  EXPECT_EQ(uint32_t(b[20] | b[21] << 8 | b[22] << 16 | uint32_t(b[23]) << 24), 0x11223344u);
  EXPECT_EQ(b[24] | b[25] << 8, 640);
  EXPECT_EQ(b[26] | b[27] << 8, 480);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 28)), "page.htm");
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(b + 37)), "h/page.htm");
  EXPECT_TRUE(r.IsUrlRecord());
  EXPECT_TRUE(r.IsRetrieved());
  EXPECT_TRUE(r.IsUpdated());
  r.SetUpdate(true);
  EXPECT_FALSE(r.IsUpdated());
}

TEST(WebFileRecord, FlagsLinkTypesAndCounters) {
  TWebFile r;
  r.SetLinkType(2);
  EXPECT_EQ(r.GetLinkType(), 2);
  r.SetStartUrl(true);
  EXPECT_EQ(r.GetFlags() & 0x45, 0x45u);
  EXPECT_EQ(r.GetLinkType(), 0);
  r.SetStartUrl(false);
  r.SetLinkType(1);
  EXPECT_EQ(r.GetFlags() & 0x45, 0u);
  EXPECT_EQ(r.GetLinkType(), 1);
  r.SetRetryCount(40);
  EXPECT_EQ(r.GetRetryCount(), 15) << "saturates instead of wrapping to a low count";
  r.SetRewriteMark(0xE);
  EXPECT_EQ(r.GetRetryCount(), 15);
  EXPECT_EQ(r.GetRewriteMark(), 0xE);
}

TEST(WebFileRecord, StateChangeEventFiresOnceAndNotForErrors) {
  TWebFile r;
  int calls = 0;
  r.OnStateChange = [&](TWebFile&) { ++calls; };
  r.SetState(fsRetrieved);
  r.SetState(fsRetrieved);
  EXPECT_EQ(calls, 1);
  r.SetError(404);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(r.GetState(), fsError);
  EXPECT_EQ(r.GetWidth(), 404);
  EXPECT_TRUE(r.Changed);
}

TEST(WebFileRecord, StateTexts) {
  TUrlBTree tree;
  TWebFile r(&tree), target(&tree);
  EXPECT_EQ(r.GetStateText(), "A capturer");
  r.SetState(fsFilteredMime);
  EXPECT_EQ(r.GetStateText(), "Filtré par le type MIME");
  r.SetError(404);
  EXPECT_EQ(r.GetStateText(), "Pas trouvé (404)");
  r.SetError(2);
  EXPECT_EQ(r.GetStateText(), "Nom de domaine inconnu");
  target.FullUrl = "http://h/new.htm";
  ASSERT_TRUE(r.SetRedirect(target));
  r.SetWidth(301);
  EXPECT_EQ(r.GetStateText(), "URL déplacée définitivement vers http://h/new.htm");
  r.SetWidth(302);
  EXPECT_EQ(r.GetStateText(), "URL déplacée temporairement vers http://h/new.htm");
}

TEST(WebFileRecord, SizeTexts) {
  EXPECT_EQ(TWebFile::SizeText(1023), "1023 Octets");
  EXPECT_EQ(TWebFile::SizeText(1024), "1 Ko");
  EXPECT_EQ(TWebFile::SizeText(1025), "2 Ko");
}

TEST(WebFileRecord, DosDatesRoundTripAndFallBackToTheCaptureDate) {
  // 2001-02-03 04:05:06 is day 36925 after 1899-12-30.
  double dt = 36925 + (4 * 3600 + 5 * 60 + 6) / 86400.0;
  uint32_t dos = TWebFile::DateTimeToDos(dt);
  EXPECT_EQ(dos >> 16, uint32_t((2001 - 1980) << 9 | 2 << 5 | 3));
  EXPECT_EQ(dos & 0xFFFF, uint32_t(4 << 11 | 5 << 5 | 3));
  EXPECT_NEAR(TWebFile::DosToDateTime(dos), dt, 1.0 / 86400);
  EXPECT_EQ(TWebFile::DateTimeToDos(1000), 0u) << "before 1980 there is no DOS date";
  TUrlBTree tree;
  tree.CaptureDate = 40000;
  TWebFile r(&tree);
  EXPECT_EQ(r.GetFileDate(), 40000);

  // A record keeps the odd second the DOS date cannot: the date is the
  // server's own, which a conditional request must send back exactly.
  const double odd = dt + 1 / 86400.0;  // 04:05:07
  r.SetFileDate(odd);
  EXPECT_EQ(r.GetDosDate(), dos) << "the DOS date stays what other readers read";
  EXPECT_EQ(r.GetFlags(), TWebFile::kFlagOddSecond);
  EXPECT_EQ(FormatHttpDate(r.GetFileDate()), "Sat, 03 Feb 2001 04:05:07 GMT");
  r.SetFileDate(dt);
  EXPECT_EQ(FormatHttpDate(r.GetFileDate()), "Sat, 03 Feb 2001 04:05:06 GMT");
  r.SetFileDate(odd);
  r.SetDosDate(dos);  // a date set without the flag: a record of an older file
  EXPECT_EQ(FormatHttpDate(r.GetFileDate()), "Sat, 03 Feb 2001 04:05:06 GMT");
  r.SetFileDate(odd);
  r.SetFileDate(1000);  // no DOS date: no odd second either
  EXPECT_EQ(r.GetFlags(), 0u);
  EXPECT_EQ(r.GetFileDate(), 40000);
}

TEST(WebFileRecord, LocalFileSizeTitleThumbnailAndIdentity) {
  qlon::test::TempDir dir;
  TUrlBTree tree;
  tree.SetFolder(dir.path().string());
  TWebFile r(&tree);
  r.FullUrl = "http://h/p.htm";
  ASSERT_TRUE(r.SetLocalName("sub/p.htm"));
  EXPECT_EQ(r.GetFileSize(), 0u);
  const std::string page = "<html><title>A &amp; B</title>body</html>";
  qlon::test::WriteFileBytes(dir.path() / "sub/p.htm", page);
  EXPECT_EQ(r.GetFileSize(), page.size());
  EXPECT_EQ(r.GetTitle(), "A & B");
  EXPECT_EQ(r.GetRawTitle(), "A &amp; B");
  EXPECT_EQ(r.GetThumbnailPath(), "") << "not retrieved yet";
  r.SetLinkType(0);
  r.SetState(fsRetrieved);
  EXPECT_EQ(r.GetThumbnailPath(), (dir.path() / "thumb/sub/p.gif").string());
  ASSERT_TRUE(r.SetLocalName("../outside.htm") || true);
  EXPECT_EQ(r.GetLocalPath(), "") << "a name that is not clean has no path";
  ASSERT_TRUE(r.SetIdentity("joe", "secret"));
  std::string user, password;
  EXPECT_TRUE(r.GetIdentity(user, password));
  EXPECT_EQ(user + ":" + password, "joe:secret");
  TWebFile other(&tree);
  other.CopyIdentity(r);
  EXPECT_TRUE(other.GetIdentity(user, password));
  EXPECT_TRUE(other.HasFlag(TWebFile::kFlagIdentity));
}

}  // namespace
