// The web tree and the URL grid at the limits of their old 16-bit counts: a
// tree of 32,767 nodes besides its root (16-bit signed node indexes) and of
// 65,535 rows (unsigned 16-bit shown counts), grids of as many rows, and the
// grid's 16-bit sort keys, each at one below, at and one above, opened in the main window as a person does: the
// images page shown, its folder expanded, the tree and the grid taken to
// their last row with the keyboard and drawn there.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QtTest/QTest>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>

#include "MainWindowFixture.h"
#include "UrlListUnit.h"
#include "WUrlList.h"
#include "WebTree.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using controls::TWTreeNode;

constexpr int kTreeLimit = 32767;   // nodes besides the root
constexpr int kShownLimit = 65535;  // rows shown beneath a node

// Image i's name: the tree shows it, the grid's list keeps its order.
std::string ImageName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "img%06d.gif", i);
  return name;
}

class WebLimitsTest : public test::MainWindowFixture {
 protected:
  // A capture of `count` retrieved images, made once for the whole suite.
  static const fs::path& ImagesWeb(int count) {
    static std::map<int, fs::path> webs;
    static test::TempDir dir;
    auto it = webs.find(count);
    if (it != webs.end()) return it->second;
    const fs::path folder = dir.path() / std::to_string(count);
    fs::create_directories(folder);
    TWeb web;
    web.CreateNew(folder / "local.web");
    web.StartEntries = {{"http://h.example/", "", "", ""}};
    TWebFile r(&web);
    for (int i = 0; i < count; ++i) {
      r.Clear();
      r.SetState(fsRetrieved);
      SetContentType(r, "image/gif", "gif");
      r.SetLocalName("h.example/" + ImageName(i));
      r.SetWidth(uint16_t(i % 640 + 1));
      r.SetHeight(uint16_t(i % 480 + 1));
      EXPECT_TRUE(web.AddUrl("http://h.example/" + ImageName(i), r)) << i;
    }
    web.MimeCategorySet = 1u << mcImage;
    web.RetrievedCount = uint64_t(count);
    web.Save();
    return webs.emplace(count, folder / "local.web").first->second;
  }

  void Open(const fs::path& web) {
    Make();
    win_->resize(900, 600);
    win_->show();
    Probe().OpenWebFile(web.string());
    ASSERT_NE(win_->CurrentWeb(), nullptr);
  }
  void Key(QWidget* w, int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    w->setFocus();
    QTest::keyClick(w, Qt::Key(key), mods);
  }
};

// Whether a cell's row lies whole inside the grid's window.
bool RowShown(controls::WGrid& grid, int row) {
  const QRect cell = grid.CellRect(0, row);
  return cell.isValid() && cell.top() >= 0 && cell.bottom() < grid.viewport()->height();
}
// Whether the row is drawn as the current one: highlighted on screen.
bool RowDrawnCurrent(controls::WGrid& grid, int row) {
  const QImage shot = grid.viewport()->grab().toImage();
  const QRect cell = grid.CellRect(0, row).intersected(shot.rect());
  const QRgb highlight = grid.palette().color(QPalette::Highlight).rgb();
  int n = 0;
  for (int y = cell.top(); y <= cell.bottom(); ++y)
    for (int x = cell.left(); x <= cell.right(); ++x) n += (shot.pixel(x, y) & 0xFFFFFF) == (highlight & 0xFFFFFF);
  return n > cell.width();
}

// Webs of as many images that their tree holds one node below, at and one
// above its limit, then as many rows: at each, the images folder opened from the keyboard, the
// tree scrolled to its last image and that row clicked, and the images grid
// taken to its last row.
TEST_F(WebLimitsTest, TreeAndGridOfImagesAroundTheTreesLimit) {
  Open(ImagesWeb(1));
  TWebTree& tree = *Probe().Tree();
  TWUrlList& grid = *Probe().UrlList();
  auto openFolder = [&] {
    TWTreeNode* folder = tree.ImagesFolder();
    EXPECT_NE(folder, nullptr);
    if (!folder) return folder;
    tree.Model().SelectNode(folder);
    Key(&tree, Qt::Key_Plus);
    return folder;
  };
  ASSERT_EQ(openFolder()->ChildCount(), 1);
  // Besides the images: the web's pages and the program's (some collapsed).
  const int fixedNodes = tree.Model().GetItemCount() - 1, fixedRows = tree.Model().RowCount() - 1;
  struct Limit {
    int nodes, rows;  // one of them set
  };
  std::vector<Limit> limits;
  for (int d : {-1, 0, 1}) limits.push_back({kTreeLimit + d, 0});
  for (int d : {-1, 0, 1}) limits.push_back({0, kShownLimit + d});
  for (const Limit& limit : limits) {
    SCOPED_TRACE(limit.nodes ? "nodes " + std::to_string(limit.nodes) : "rows " + std::to_string(limit.rows));
    const int images = limit.nodes ? limit.nodes - fixedNodes : limit.rows - fixedRows;
    Probe().OpenWebFile(ImagesWeb(images).string());
    TWTreeNode* folder = openFolder();
    ASSERT_NE(folder, nullptr);
    ASSERT_EQ(folder->ChildCount(), images);
    ASSERT_EQ(tree.Model().GetItemCount(), fixedNodes + images);
    ASSERT_EQ(tree.Model().RowCount(), fixedRows + images);
    EXPECT_EQ(grid.Style(), usImages);
    EXPECT_EQ(grid.List().Count(), images);
    EXPECT_EQ(grid.RowCount(), images + grid.FixedRows());

    // The tree scrolled (its bar dragged) to its last image, which is clicked.
    TWTreeNode* last = folder->LastChild();
    EXPECT_EQ(last->text.toStdString(), "h.example/" + ImageName(images - 1));
    const int row = tree.Model().RowOf(last);
    EXPECT_EQ(tree.Model().NodeAtRow(row), last);
    EXPECT_EQ(tree.Model().GetNode(last->GetIndex()), last);
    tree.verticalScrollBar()->setValue(tree.verticalScrollBar()->maximum());
    ASSERT_TRUE(RowShown(tree, row)) << row;
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.CellRect(0, row).center());
    EXPECT_EQ(tree.GetSelectedNode(), last);
    EXPECT_TRUE(RowDrawnCurrent(tree, row));
    Key(&tree, Qt::Key_Up);
    EXPECT_EQ(tree.GetSelectedNode()->text.toStdString(), "h.example/" + ImageName(images - 2));
    Key(&tree, Qt::Key_Down);
    EXPECT_EQ(tree.GetSelectedNode(), last);
    Key(&tree, Qt::Key_Down);  // the next page of the program
    EXPECT_EQ(tree.Model().RowOf(tree.GetSelectedNode()), row + 1);

    // The grid to its end: its last row is the last image listed.
    Key(&grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_EQ(grid.Row(), grid.RowCount() - 1);
    EXPECT_TRUE(RowShown(grid, grid.Row())) << grid.Row();
    EXPECT_TRUE(RowDrawnCurrent(grid, grid.Row()));
    EXPECT_EQ(grid.verticalScrollBar()->value(), grid.verticalScrollBar()->maximum());
    EXPECT_EQ(grid.List().Url(grid.Row() - grid.FixedRows()), "http://h.example/" + ImageName(images - 1));
  }
}

// The page of an error: named so that the capture lists it in the reverse
// order of its code.
std::string ErrorPage(int code) { return "e" + std::to_string(99999 - code) + ".htm"; }

// The grid's sort keys of a row around their old 16-bit bounds, sorted by a
// click on the column's title: error codes (11 bits above the state), sizes
// (bytes below 1 KiB, else KiB, which once flagged 0x4000 in 16 bits) and
// image sizes (16 bits each).
TEST_F(WebLimitsTest, GridSortsKeysAroundTheirOldBounds) {
  const fs::path folder = fs::path(work_) / "keys";
  fs::create_directories(folder);
  const std::vector<int> codes = {2048, 65535, 404, 2046, 65534, 2047};
  const std::vector<uint64_t> sizes = {65537ull << 10, 1023,          16384ull << 10, 1024,           16385ull << 10,
                                       65535ull << 10, 16383ull << 10, 2048,           65536ull << 10, 1};
  const std::vector<int> widths = {65535, 1, 65534, 32768, 32767};
  {
    TWeb web;
    web.CreateNew(folder / "local.web");
    web.StartEntries = {{"http://h.example/", "", "", ""}};
    TWebFile r(&web);
    for (int code : codes) {
      r.Clear();
      SetContentType(r, "text/html", "htm");
      r.SetError(code);
      EXPECT_TRUE(web.AddUrl("http://h.example/" + ErrorPage(code), r));
    }
    // A retrieved record of that name and type, changed by `fill`, then added.
    auto retrieved = [&](const std::string& name, const std::string& type, const std::function<void()>& fill) {
      r.Clear();
      r.SetState(fsRetrieved);
      SetContentType(r, type, name.substr(name.rfind('.') + 1));
      r.SetLocalName(name);
      fill();
      EXPECT_TRUE(web.AddUrl("http://h.example/" + name, r));
    };
    for (uint64_t size : sizes) {
      const std::string name = "f" + std::to_string(size) + ".zip";
      retrieved(name, "application/zip", [&] {
        test::WriteFileBytes(folder / name, "");
        fs::resize_file(folder / name, size);  // sparse
      });
    }
    for (int width : widths)
      retrieved("w" + std::to_string(width) + ".gif", "image/gif", [&] {
        r.SetWidth(uint16_t(width));
        r.SetHeight(uint16_t(65535 - width));
      });
    web.MimeCategorySet = 1u << mcImage | 1u << mcAutre;
    web.ErrorCount = codes.size();
    web.RetrievedCount = sizes.size() + widths.size();
    web.Save();
  }
  Open(folder / "local.web");
  TWebTree& tree = *Probe().Tree();
  TWUrlList& grid = *Probe().UrlList();
  // A page of the tree clicked, then the title of a column: the rows' order.
  auto sorted = [&](int tag, TWUrlListStyle style, int columnId) {
    TWTreeNode* node = tree.FindNodeByTag(quint8(tag));
    EXPECT_NE(node, nullptr) << tag;
    if (!node) return std::vector<std::string>{};
    QTest::mouseClick(tree.viewport(), Qt::LeftButton, {}, tree.CellRect(0, tree.Model().RowOf(node)).center());
    EXPECT_TRUE(Pump([&] { return grid.Style() == style; }, 5)) << tag;
    int col = -1;
    for (size_t c = 0; c < grid.Columns().size(); ++c)
      if (grid.Columns()[c].Id == columnId) col = int(c);
    EXPECT_GE(col, 0) << columnId;
    if (col < 0) return std::vector<std::string>{};
    grid.horizontalScrollBar()->setValue(grid.CellRect(col, 0).left());
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(col, 0).center());
    EXPECT_EQ(grid.List().SortOrder(), soAscending);
    std::vector<std::string> rows;
    for (int i = 0; i < grid.List().Count(); ++i) rows.push_back(grid.List().Url(i).substr(17));
    return rows;
  };
  std::vector<std::string> byCode;
  for (int code : {404, 2046, 2047, 2048, 65534, 65535}) byCode.push_back(ErrorPage(code));
  EXPECT_EQ(sorted(tpErrors, usErrors, 8), byCode);
  std::vector<std::string> bySize;
  std::vector<uint64_t> ascending = sizes;
  std::sort(ascending.begin(), ascending.end());
  for (uint64_t size : ascending) bySize.push_back("f" + std::to_string(size) + ".zip");
  EXPECT_EQ(sorted(tpOthers, usFile, 5), bySize);
  EXPECT_EQ(sorted(tpImages, usImages, 6), (std::vector<std::string>{"w1.gif", "w32767.gif", "w32768.gif",
                                                                     "w65534.gif", "w65535.gif"}));
  EXPECT_EQ(sorted(tpImages, usImages, 7), (std::vector<std::string>{"w65535.gif", "w65534.gif", "w32768.gif",
                                                                     "w32767.gif", "w1.gif"}));
}

}  // namespace
}  // namespace qlon
