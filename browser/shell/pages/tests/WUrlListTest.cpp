#include "WUrlList.h"

#include <gtest/gtest.h>

#include <QTest>

#include "CaptureFixture.h"
#include "Profile.h"

namespace qlon {
namespace {

using test::CaptureFixture;

class WUrlListTest : public ::testing::Test, public CaptureFixture {
 protected:
  WUrlListTest() : grid(usHtml, usFiltered) {
    grid.resize(600, 300);
    grid.SetWeb(&web);
  }
  std::vector<std::string> Rows() const {
    std::vector<std::string> out;
    for (int i = 0; i < grid.List().Count(); ++i) out.push_back(grid.List().Url(i).substr(17));
    return out;
  }
  test::TempRoot root_;
  TWUrlList grid;
};

TEST_F(WUrlListTest, StyleChangeRaisesEventsAndKeepsTheCurrentRowPerStyle) {
  std::vector<std::string> events;
  grid.OnStyleChanging = [&](TWUrlList* g, TWUrlListStyle s) {
    events.push_back("changing " + std::to_string(s) + " from " + std::to_string(g->Style()));
  };
  grid.OnStyleChanged = [&](TWUrlList* g) { events.push_back("changed " + std::to_string(g->Style())); };
  grid.OnProgress = [&](TWUrlList*, int position, int total) {
    EXPECT_EQ(total, int(web.GetCount()));
    events.push_back("progress " + std::to_string(position));
  };

  EXPECT_EQ(grid.RowCount(), 1 + 4);
  grid.SetRow(1 + grid.List().Find(Url("b.htm")));
  grid.SetStyle(usImages);
  // The fill reports every record of the capture looked at.
  const std::string all = "progress " + std::to_string(web.GetCount());
  EXPECT_EQ(events, (std::vector<std::string>{"changing 3 from 1", "progress 0", all, "progress -1", "changed 3"}));
  EXPECT_EQ(grid.RowCount(), 1 + 2);
  EXPECT_EQ(grid.Columns().size(), DefaultLayout(usImages).Cols.size());
  grid.SetStyle(usHtml);
  EXPECT_EQ(grid.List().Url(grid.CurrentIndex()), Url("b.htm"));
  events.clear();
  grid.SetStyle(usHtml);  // same style: only a repaint
  EXPECT_TRUE(events.empty());
  grid.SetStyle(usRequest);  // not a style of this grid
  EXPECT_EQ(grid.Style(), usHtml);
}

TEST_F(WUrlListTest, RequestListNeverSorts) {
  TWUrlList requests(usRequest, usRequest);
  requests.SetWeb(&web);
  EXPECT_TRUE(requests.NoSort);
  EXPECT_EQ(requests.RowCount(), 2);
  requests.SortByColumn(0);
  EXPECT_EQ(requests.List().SortOrder(), soNone);
}

TEST_F(WUrlListTest, ChangedRecordsRefreshTheirRows) {
  int changes = 0;
  grid.Onchange = [&](TWUrlList*) { ++changes; };
  grid.SortByColumn(0);  // URL ascending
  ASSERT_EQ(Rows(), (std::vector<std::string>{"a.htm", "b.htm", "c.htm", "now.htm"}));
  // A new page takes its sorted place; the current row stays on its record.
  grid.SetRow(1 + grid.List().Find(Url("c.htm")));
  Add("ab.htm", fsRetrieved, "text/html", "htm", "<title>x</title>");
  TWebFile r(&web);
  ASSERT_TRUE(web.FindUrl(Url("ab.htm"), r));
  grid.WebFileChanged(r);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a.htm", "ab.htm", "b.htm", "c.htm", "now.htm"}));
  EXPECT_EQ(grid.RowCount(), 6);
  EXPECT_EQ(grid.List().Url(grid.CurrentIndex()), Url("c.htm"));
  // A page that failed leaves the pages for the errors.
  Change("c.htm", [](TWebFile& x) { x.SetError(404); });
  ASSERT_TRUE(web.FindUrl(Url("c.htm"), r));
  grid.WebFileChanged(r);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a.htm", "ab.htm", "b.htm", "now.htm"}));
  EXPECT_EQ(changes, 2);
  // A record of another style changes nothing.
  ASSERT_TRUE(web.FindUrl(Url("pic.gif"), r));
  grid.WebFileChanged(r);
  EXPECT_EQ(changes, 2);
  grid.SetStyle(usErrors);
  EXPECT_GE(grid.List().Find(Url("c.htm")), 0);
}

TEST_F(WUrlListTest, CellTexts) {
  TWebFile r(&web);
  ASSERT_TRUE(web.FindUrl(Url("pic.gif"), r));
  EXPECT_EQ(grid.CellText(r, 0), QString::fromStdString(Url("pic.gif")));
  EXPECT_EQ(grid.CellText(r, 3), "image/gif");
  EXPECT_EQ(grid.CellText(r, 4), "pic.gif");
  EXPECT_EQ(grid.CellText(r, 6), "40");
  EXPECT_EQ(grid.CellText(r, 7), "30");
  EXPECT_EQ(grid.CellText(r, 10), QString::fromStdString(Url("a.htm")));
  EXPECT_EQ(grid.CellText(r, 2), "");  // no date
  ASSERT_TRUE(web.FindUrl(Url("a.htm"), r));
  EXPECT_EQ(grid.CellText(r, 1), "Alpha");
  EXPECT_EQ(grid.CellText(r, 10), "");
  ASSERT_TRUE(web.FindUrl(Url("e404.htm"), r));
  EXPECT_EQ(grid.CellText(r, 8), QString::fromUtf8(r.GetStateText().c_str()));
  EXPECT_FALSE(grid.CellText(r, 8).isEmpty());
}

TEST_F(WUrlListTest, LayoutsRoundTripThroughTheIniFile) {
  const auto ini = Folder() / "quillon.ini";
  grid.SetColWidth(1, 321);
  grid.SortByColumn(0);
  grid.SaveLayouts(ini);
  EXPECT_EQ(profile::GetPrivateProfileString("cols", "HTML_ColCount", "", ini), "5");
  EXPECT_EQ(profile::GetPrivateProfileString("cols", "HTML_Col1", "", ini), "321,1");
  EXPECT_EQ(profile::GetPrivateProfileString("cols", "HTML_Sort", "", ini), "1,2");
  EXPECT_EQ(profile::GetPrivateProfileString("cols", "Vidéos_Col0", "", ini), "200,0");
  EXPECT_EQ(profile::GetPrivateProfileString("cols", "Sockets_ColCount", "", ini), "");  // not this grid's

  TWUrlList other(usHtml, usFiltered);
  other.LoadLayouts(ini);
  EXPECT_EQ(other.Layout(usHtml), grid.Layout(usHtml));
  EXPECT_EQ(other.ColWidth(1), 321);
  EXPECT_EQ(other.Columns()[1].Caption, "Titre");
}

TEST_F(WUrlListTest, MissingOrBadLayoutKeysLeaveTheLayout) {
  const auto ini = Folder() / "quillon.ini";
  const TUrlListLayout before = grid.Layout(usImages);
  profile::WritePrivateProfileString("cols", "HTML_Col0", "junk", ini);
  profile::WritePrivateProfileString("cols", "HTML_Col1", "90,77", ini);  // no such column
  profile::WritePrivateProfileString("cols", "HTML_Col2", "120,9", ini);
  profile::WritePrivateProfileString("cols", "HTML_Sort", "5", ini);
  grid.LoadLayouts(ini);
  EXPECT_EQ(grid.Layout(usImages), before);
  const auto& html = grid.Layout(usHtml);
  EXPECT_EQ(html.Cols.size(), DefaultLayout(usHtml).Cols.size());
  EXPECT_EQ(html.Cols[0], DefaultLayout(usHtml).Cols[0]);
  EXPECT_EQ(html.Cols[1], DefaultLayout(usHtml).Cols[1]);
  EXPECT_EQ(html.Cols[2].Caption, "Image Map");
  EXPECT_EQ(html.Cols[2].Width, 120);
  EXPECT_EQ(html.SortOrder, soNone);
  // A longer count takes columns not shown yet; a huge one stops at ten.
  profile::WritePrivateProfileString("cols", "Sons_ColCount", "99", ini);
  grid.LoadLayouts(ini);
  const auto& sons = grid.Layout(usSound).Cols;
  ASSERT_EQ(sons.size(), size_t(TWUrlList::kMaxColumns));
  for (size_t i = 0; i < sons.size(); ++i)
    for (size_t j = i + 1; j < sons.size(); ++j) EXPECT_NE(sons[i].Id, sons[j].Id);
}

TEST_F(WUrlListTest, ForEachVisitsSelectedAndMarkedRowsUntilStopped) {
  grid.SortByColumn(0);
  grid.SelectRange(1, 3, 1);
  grid.MarkOperation(true, 1);
  grid.SelectRow(1, 0);
  std::vector<std::string> seen;
  grid.ForEachSelected([&](TWebFile& r) {
    seen.push_back(r.FullUrl);
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{Url("b.htm"), Url("c.htm")}));
  seen.clear();
  grid.ForEachMarked([&](TWebFile& r) {
    seen.push_back(r.FullUrl);
    return false;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{Url("a.htm")}));
  EXPECT_EQ(grid.MarkedCount(), 3);
}

}  // namespace
}  // namespace qlon
