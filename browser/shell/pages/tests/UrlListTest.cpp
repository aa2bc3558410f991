#include "UrlListUnit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "CaptureFixture.h"

namespace qlon {
namespace {

using test::CaptureFixture;

std::vector<std::string> Names(const TUrlList& list) {
  std::vector<std::string> out;
  for (int i = 0; i < list.Count(); ++i) out.push_back(list.Url(i).substr(std::string(CaptureFixture::kHost).size()));
  return out;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class UrlListTest : public ::testing::Test, public CaptureFixture {
 protected:
  UrlListTest() { list.SetWeb(&web); }
  TUrlList list;
};

TEST_F(UrlListTest, EachStyleListsItsRecords) {
  struct Case {
    TWUrlListStyle style;
    std::vector<std::string> names;
  };
  const Case cases[] = {
      {usHtml, {"a.htm", "b.htm", "c.htm", "now.htm"}},
      {usFile, {"notes.txt", "pack.zip"}},
      {usImages, {"big.jpg", "pic.gif"}},
      {usSound, {"song.wav"}},
      {usVideo, {"film.mpg"}},
      {usErrors, {"e403.htm", "e404.htm", "e500.htm", "gone.htm"}},
      {usFiltered, {"out.htm", "skip.htm"}},
      {usRequest, {"now.htm"}},
      {usMapList, {"pic.gif"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(list.Fill(c.style), int(c.names.size())) << int(c.style);
    EXPECT_EQ(Sorted(Names(list)), c.names) << int(c.style);
  }
}

TEST_F(UrlListTest, FindIgnoresCaseAndNeedsACapture) {
  list.Fill(usHtml);
  const int a = list.Find(Url("a.htm"));
  ASSERT_GE(a, 0);
  EXPECT_EQ(list.Find("HTTP://H.EXAMPLE/A.HTM"), a);
  EXPECT_EQ(list.Find(Url("zz.htm")), -1);
  EXPECT_EQ(list.Url(-1), "");
  EXPECT_EQ(list.Url(list.Count()), "");
  list.SetFlags(list.Count(), 3);  // ignored outside the rows
  EXPECT_EQ(list.Flags(list.Count()), 0);
  TUrlList none;
  EXPECT_EQ(none.Find(Url("a.htm")), -1);
  // Another capture empties the list.
  TWeb other;
  list.SetWeb(&other);
  EXPECT_EQ(list.Count(), 0);
}

TEST_F(UrlListTest, SizeSortsBytesBeforeKilobytes) {
  for (const char* n : {"big.jpg", "notes.txt", "song.wav", "pic.gif", "pack.zip"}) {
    TWebFile r(&web);
    ASSERT_TRUE(web.FindUrl(Url(n), r));
    list.Add(r);
  }
  list.SetSort(skSize, soAscending);
  // 1024 and 1500 bytes are both 1 KB: they keep their listed order.
  EXPECT_EQ(Names(list), (std::vector<std::string>{"song.wav", "notes.txt", "pic.gif", "pack.zip", "big.jpg"}));
  list.SetOrder(soDescending);
  EXPECT_EQ(Names(list).front(), "big.jpg");
  EXPECT_EQ(Names(list).back(), "song.wav");
}

TEST(UrlListSizeKey, LargeFilesNeverCollideWithSmallOnes) {
  EXPECT_LT(TUrlList::SizeKey(1023), TUrlList::SizeKey(1024));
  EXPECT_EQ(TUrlList::SizeKey(1024), TUrlList::SizeKey(2047));
  EXPECT_LT(TUrlList::SizeKey(2047), TUrlList::SizeKey(2048));
  // 16 MB and more stayed below 1 KB in a 16-bit key; 64 MB was cut.
  EXPECT_GT(TUrlList::SizeKey(16u << 20), TUrlList::SizeKey(5000));
  EXPECT_GT(TUrlList::SizeKey(uint64_t(80) << 20), TUrlList::SizeKey(uint64_t(20) << 20));
}

TEST_F(UrlListTest, ErrorsSortByTheirCode) {
  list.Fill(usErrors);
  list.SetSort(skState, soAscending);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"gone.htm", "e403.htm", "e404.htm", "e500.htm"}));
}

TEST_F(UrlListTest, TextKeysSortIgnoringCaseAndFollowNewRows) {
  list.Fill(usHtml);
  list.SetSort(skTitle, soAscending);
  EXPECT_EQ(list.TextKeyColumn(), skTitle);
  // Pages without a title come first; "Alpha" before "beta" whatever the case.
  const auto names = Names(list);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(names[2], "a.htm");
  EXPECT_EQ(names[3], "b.htm");
  EXPECT_EQ(list.TextKey(2), "alpha");

  // A byte order would put "BETTER" before "beta".
  Add("m.htm", fsRetrieved, "text/html", "htm", "<title>BETTER</title>");
  TWebFile r(&web);
  ASSERT_TRUE(web.FindUrl(Url("m.htm"), r));
  EXPECT_EQ(list.Add(r), 4);
  EXPECT_EQ(list.TextKey(3), "beta");
  EXPECT_EQ(list.TextKey(4), "better");

  // Another key drops the text keys.
  list.SetSort(skUrl, soAscending);
  EXPECT_EQ(list.TextKeyColumn(), 0);
  EXPECT_EQ(Names(list).front(), "a.htm");
}

TEST_F(UrlListTest, UpdateKeepsFlagsAndMovesTheRow) {
  list.Fill(usImages);
  list.SetSort(skWidth, soAscending);
  ASSERT_EQ(Names(list), (std::vector<std::string>{"pic.gif", "big.jpg"}));
  list.SetFlags(0, TUrlList::rfMarked);
  Change("pic.gif", [](TWebFile& r) { r.SetWidth(2000); });
  TWebFile r(&web);
  ASSERT_TRUE(web.FindUrl(Url("pic.gif"), r));
  EXPECT_EQ(list.Update(r), 1);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"big.jpg", "pic.gif"}));
  EXPECT_EQ(list.Flags(1), TUrlList::rfMarked);
  // Height orders by the other half of the image-size key.
  list.SetSort(skHeight, soAscending);
  EXPECT_EQ(Names(list), (std::vector<std::string>{"pic.gif", "big.jpg"}));
  TWebFile unknown(&web);
  unknown.FullUrl = Url("none.gif");
  EXPECT_EQ(list.Update(unknown), -1);
}

TEST_F(UrlListTest, SortNeedsBothColumnAndOrder) {
  list.Fill(usHtml);
  const auto listed = Names(list);
  list.SetSort(skUrl, soNone);
  EXPECT_EQ(Names(list), listed);
  list.SetSort(skNone, soAscending);
  EXPECT_EQ(Names(list), listed);
  list.SetSort(skUrl, soDescending);
  EXPECT_EQ(Names(list).front(), "now.htm");
}

TEST_F(UrlListTest, MapColumnsUseTheCaptureMapList) {
  list.Fill(usMapList);
  list.SetSort(skMapName, soAscending);
  EXPECT_EQ(list.TextKey(0), "pic.map");
  list.SetSort(skMapPage, soAscending);
  EXPECT_EQ(list.TextKey(0), QString::fromStdString(Url("a.htm")).toCaseFolded());
}

}  // namespace
}  // namespace qlon
