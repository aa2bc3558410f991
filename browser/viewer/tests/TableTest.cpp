// Tables on the recording canvas (8 px per character, text lines 18 high).
// Without BORDER the padding is 1 and the spacing 3, so every column carries
// Extra = 2 x 1 + 3 = 5 px beyond its content and a row 4 px beyond its
// tallest cell.
#include <gtest/gtest.h>

#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

using test::Attrs;
using test::Doc;
using test::TextCell;

struct TableDoc : Doc {
  ThtmlTable* table = nullptr;
  ThtmlTable& New(const TAttributeList& a = {}) {
    auto t = std::make_unique<ThtmlTable>(&list, a, kLeft);
    table = t.get();
    list.Add(std::move(t));
    return *table;
  }
  TCellList& Row() {
    table->Rows.push_back(std::make_unique<TCellList>());
    return *table->Rows.back();
  }
};

TEST(TableAttributes, PaddingSpacingAndWidth) {
  Doc d;
  ThtmlTable a(&d.list, Attrs({{Attr::CellPadding, "0"}}), kLeft);
  EXPECT_EQ(a.CellPadding, 0);
  ThtmlTable b(&d.list, Attrs({{Attr::CellPadding, "0"}, {Attr::Border, "1"}, {Attr::CellSpacing, "100"}}), kLeft);
  EXPECT_EQ(b.CellPadding, 1);
  EXPECT_EQ(b.CellSpacing, 40);
  ThtmlTable c(&d.list, Attrs({{Attr::Width, "80%"}, {Attr::Align, "center"}, {Attr::BgColor, "bogus"}}), kLeft);
  EXPECT_TRUE(c.WidthAsPercent);
  EXPECT_EQ(c.SpecWidth, 80);
  EXPECT_EQ(c.Justify, 2);
  EXPECT_FALSE(c.BgColorSet);
  TCellObj cell(&d.list, Attrs({{Attr::ColSpan, "0"}, {Attr::Width, "120%"}}), 0);
  EXPECT_EQ(cell.ColSpan, 1);
  EXPECT_TRUE(cell.AsPercent);
  EXPECT_EQ(cell.SpecWd, 0);
}

TEST(TableLayout, ColumnsTakeTheirMaximumsAndCellsAreDrawnInside) {
  TableDoc d;
  d.New();
  d.Row().Add(TextCell(d, u"aa"));
  d.table->Rows[0]->Add(TextCell(d, u"bbbb"));
  EXPECT_EQ(d.Layout(500), 25);
  EXPECT_EQ(d.table->Widths, (std::vector<int>{21, 37}));
  EXPECT_EQ(d.table->TableWidth, 61);
  d.Draw(10);
  EXPECT_EQ(d.canvas.FindText("aa")->a, QPoint(14, 18));
  EXPECT_EQ(d.canvas.FindText("bbbb")->a, QPoint(35, 18));
}

TEST(TableLayout, ColspanPlaceholdersAndColumnLimit) {
  TableDoc d;
  d.New();
  d.Row().Add(TextCell(d, u"a"));
  d.table->Rows[0]->Add(TextCell(d, u"b"));
  d.Row().Add(TextCell(d, u"c", Attrs({{Attr::ColSpan, "3"}})));
  d.Layout(500);
  EXPECT_EQ(d.table->NumCols, 3);
  EXPECT_TRUE(d.table->CellAt(1, 2)->IsPlaceholder());
  EXPECT_TRUE(d.list.LayoutErrors.isEmpty());

  TableDoc wide;
  wide.New();
  for (int i = 0; i < 31; ++i) (i ? *wide.table->Rows[0] : wide.Row()).Add(TextCell(wide, u"x"));
  wide.Layout(500);  // more columns than the limit: laid out at 30, reported once
  EXPECT_EQ(wide.table->NumCols, 30);
  EXPECT_EQ(wide.list.LayoutErrors, QStringList{"Table has too many Columns"});
  wide.Layout(400);
  EXPECT_EQ(wide.list.LayoutErrors.size(), 1);
}

TEST(TableLayout, PixelWidthsAndOverflowAtMinimums) {
  TableDoc d;
  d.New();
  d.Row().Add(TextCell(d, u"a", Attrs({{Attr::Width, "100"}})));
  d.table->Rows[0]->Add(TextCell(d, u"aa bb cc dd"));  // 21 .. 93 px
  d.Layout(500);
  EXPECT_TRUE(d.table->PixelWidthsOnly);
  EXPECT_EQ(d.table->Widths, (std::vector<int>{100, 93}));
  d.Layout(60);
  EXPECT_EQ(d.table->TableWidth, 3 + 100 + 21);  // narrower than its minimum: it overflows
  d.Layout(160);  // between minimum and maximum: shared by the columns' ranges
  EXPECT_EQ(d.table->Widths, (std::vector<int>{100, 57}));
}

TEST(TableLayout, PercentColumnsOfAFixedWidthTable) {
  TableDoc d;
  d.New(Attrs({{Attr::Width, "400"}}));
  d.Row().Add(TextCell(d, u"a", Attrs({{Attr::Width, "25%"}})));
  d.table->Rows[0]->Add(TextCell(d, u"b"));
  d.Layout(800);
  EXPECT_EQ(d.table->Widths, (std::vector<int>{99, 298}));
  EXPECT_EQ(d.table->TableWidth, 400);
}

TEST(TableLayout, PercentThatCannotHoldItsMinimumIsDropped) {
  TableDoc d;
  d.New();
  d.Row().Add(TextCell(d, u"a", Attrs({{Attr::Width, "10%"}})));
  d.table->Rows[0]->Add(TextCell(d, u"bbbbbbbbbb", Attrs({{Attr::Width, "10%"}})));
  d.Layout(500);
  EXPECT_EQ(d.table->Widths, (std::vector<int>{50, 85}));
}

TEST(TableLayout, PercentTableWidthAndCentring) {
  TableDoc d;
  d.New(Attrs({{Attr::Width, "50%"}, {Attr::Align, "center"}}));
  d.Row().Add(TextCell(d, u"a"));
  d.Layout(400);
  EXPECT_EQ(d.table->TableWidth, 200);
  d.Draw(0);
  EXPECT_EQ(d.canvas.FindText("a")->a.x(), 100 + 3 + 1);
}

TEST(TableLayout, RowSpanSharesItsHeightAndValignPlacesContent) {
  TableDoc d;
  d.New();
  auto tall = std::make_unique<TCellObj>(&d.list, Attrs({{Attr::RowSpan, "2"}}), 0);
  for (int i = 0; i < 3; ++i) {
    auto s = std::make_unique<TSection>(&d.list, 0, d.font, nullptr, kLeft);
    s->AddText(u"a");
    tall->Cell->Add(std::move(s));
  }
  d.Row().Add(std::move(tall));
  d.table->Rows[0]->Add(TextCell(d, u"b", {}, 1));
  d.Row().Add(TextCell(d, u"c"));
  EXPECT_EQ(d.Layout(500), 63);
  EXPECT_EQ(d.table->Rows[0]->RowHeight, 30);
  EXPECT_EQ(d.table->Rows[1]->RowHeight, 30);
  EXPECT_TRUE(d.table->CellAt(1, 0)->IsPlaceholder());
  EXPECT_EQ(d.table->CellAt(0, 1)->YIndent, 4);
  d.Draw(0);
  EXPECT_EQ(d.canvas.FindText("b")->a, QPoint(13 + 3 + 1, 8 + 14));
  EXPECT_EQ(d.canvas.FindText("c")->a, QPoint(17, 30 + 4 + 14));
  // A clip below the first row still meets the cell spanning down from it.
  d.Draw(0, QRect(0, 45, 500, 100));
  EXPECT_NE(d.canvas.FindText("a"), nullptr);
  EXPECT_EQ(d.canvas.FindText("b"), nullptr);
}

TEST(TableLayout, NestedTableInsideACell) {
  TableDoc d;
  d.New();
  auto outer = std::make_unique<TCellObj>(&d.list, TAttributeList(), 0);
  auto inner = std::make_unique<ThtmlTable>(&d.list, TAttributeList(), kLeft);
  inner->Rows.push_back(std::make_unique<TCellList>());
  inner->Rows[0]->Add(TextCell(d, u"aa"));
  inner->Rows[0]->Add(TextCell(d, u"bbbb"));
  ThtmlTable& in = *inner;
  outer->Cell->Add(std::move(inner));
  d.Row().Add(std::move(outer));
  EXPECT_EQ(d.Layout(500), 32);
  EXPECT_EQ(d.table->Widths, std::vector<int>{66});
  EXPECT_EQ(in.TableWidth, 61);
  d.Draw(0);
  EXPECT_EQ(d.canvas.FindText("aa")->a, QPoint(8, 22));
  EXPECT_EQ(d.canvas.FindText("bbbb")->a, QPoint(29, 22));
}

TEST(TableLayout, BordersBackgroundsAndBorderColour) {
  TableDoc d;
  d.New(Attrs({{Attr::Border, "1"}, {Attr::BgColor, "red"}, {Attr::BorderColor, "#00ff00"}}));
  d.Row().Add(TextCell(d, u"a"));
  d.Layout(300);
  d.Draw(0);
  auto fills = d.canvas.CallsOf(RecordingCanvas::Op::FillRect);
  ASSERT_EQ(fills.size(), 1u);
  EXPECT_EQ(fills[0].color, 0x0000FFu);  // the cell takes the table's BGCOLOR
  auto regions = d.canvas.CallsOf(RecordingCanvas::Op::Region);
  ASSERT_EQ(regions.size(), 1u);
  EXPECT_EQ(regions[0].color, 0x00FF00u);
  EXPECT_FALSE(regions[0].region.contains(fills[0].rect.center()));
  EXPECT_EQ(d.canvas.CallsOf(RecordingCanvas::Op::Line).size(), 8u);  // cell and table frames
}

TEST(TableLayout, SpanningOnlyRowAndEmptyCellsNeverDivideByZero) {
  TableDoc d;
  d.New();
  d.Row().Add(std::make_unique<TCellObj>(&d.list, Attrs({{Attr::ColSpan, "3"}}), 0));
  d.Row().Add(TextCell(d, u"xxxx", Attrs({{Attr::ColSpan, "2"}})));
  d.Layout(500);
  ASSERT_EQ(d.table->Widths.size(), 3u);
  for (int w : d.table->Widths) EXPECT_GE(w, 0);
  EXPECT_GE(d.table->Widths[0] + d.table->Widths[1], 37);
}

TEST(Hostile, HugeSpansAreBounded) {
  TableDoc d;
  d.New();
  d.Row().Add(TextCell(d, u"a", Attrs({{Attr::ColSpan, "100000000"}, {Attr::RowSpan, "100000000"}})));
  d.Row().Add(TextCell(d, u"b"));
  d.Layout(500);
  EXPECT_EQ(d.table->NumCols, 30);
  EXPECT_EQ(d.table->CellAt(0, 0)->RowSpan, 2);
  EXPECT_LE(d.table->Rows[0]->Cells.size(), 31u);
}

TEST(Hostile, DeepNestingIsCutNotCrashed) {
  TableDoc d;
  d.New();
  ThtmlTable* t = d.table;
  for (int i = 0; i < 1000; ++i) {
    t->Rows.push_back(std::make_unique<TCellList>());
    auto cell = std::make_unique<TCellObj>(&d.list, TAttributeList(), 0);
    auto inner = std::make_unique<ThtmlTable>(&d.list, TAttributeList(), kLeft);
    ThtmlTable* next = inner.get();
    cell->Cell->Add(std::move(inner));
    t->Rows[0]->Add(std::move(cell));
    t = next;
  }
  EXPECT_GT(d.Layout(800), 0);
  d.Draw(0);
}

TEST(Hostile, HundredThousandCells) {
  TableDoc d;
  d.New();
  for (int r = 0; r < 10000; ++r) {
    TCellList& row = d.Row();
    for (int c = 0; c < 10; ++c) row.Add(TextCell(d, u"x"));
  }
  EXPECT_EQ(d.Layout(1000), 10000 * 22 + 3);
  d.Draw(0, QRect(0, 5000, 1000, 500));
  EXPECT_LT(d.canvas.Texts().size(), 300u);  // only the rows meeting the clip
}

}  // namespace
}  // namespace qlon::viewer

namespace qlon::viewer {
namespace {

// Sizes past any real page saturate instead of overflowing the sums.
TEST(Hostile, HugeSizesSaturate) {
  test::Doc d;
  for (int i = 0; i < 30; ++i) {
    TSection& s = d.Para(u"");
    for (int k = 0; k < 1000; ++k)
      s.AddImage(test::Attrs({{Attr::Src, "1x1.gif"}, {Attr::Width, "2147483647"}, {Attr::Height, "2147483647"}}));
  }
  auto t = std::make_unique<ThtmlTable>(&d.list, test::Attrs({{Attr::Width, "2147483647"}}), kLeft);
  t->Rows.push_back(std::make_unique<TCellList>());
  for (int c = 0; c < 30; ++c) t->Rows[0]->Add(test::TextCell(d, u"x", test::Attrs({{Attr::Width, "2147483000"}})));
  d.list.Add(std::move(t));
  int h = d.Layout(500);
  EXPECT_GT(h, 0);
  EXPECT_LE(h, kMaxLayoutY);
  d.Draw(0, QRect(0, 0, 500, 500));
}

// A table without rows, and rows without cells, still lay out.
TEST(Hostile, EmptyTables) {
  test::Doc d;
  d.list.Add(std::make_unique<ThtmlTable>(&d.list, TAttributeList(), kLeft));
  auto t = std::make_unique<ThtmlTable>(&d.list, TAttributeList(), kLeft);
  t->Rows.push_back(std::make_unique<TCellList>());
  t->Rows.push_back(std::make_unique<TCellList>());
  d.list.Add(std::move(t));
  EXPECT_EQ(d.Layout(0), 3 + 2 * 4 + 3);  // an empty row keeps its padding
  d.Draw(0);
}

}  // namespace
}  // namespace qlon::viewer
