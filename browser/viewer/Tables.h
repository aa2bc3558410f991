#pragma once
// The table section: rows of cells, each cell a TCell of sections, so tables
// nest. Column widths come from the cells' minimum and maximum content widths,
// their WIDTH in pixels or percent, COLSPAN and ROWSPAN, padding, spacing and
// the table's own width.
//
// Spans are normalised once (Initialize): a cell spanning n columns is
// followed by n - 1 placeholders (ColSpan 0), and every row it spans below
// gets placeholders at its columns, so each row holds one entry per column.
// Each cell's content is laid out once per layout, in row order (document
// positions run that way), and then moved to its row and vertical alignment.
#include <memory>
#include <vector>

#include "SectionList.h"

namespace qlon::viewer {

inline constexpr int kMaxTableColumns = 30;
inline constexpr int kMaxTableNesting = 64;
// Placeholders the row spans of one table may add; beyond it spans are cut.
inline constexpr int kMaxSpanPlaceholders = 1000000;

class TCellList {
 public:
  std::vector<std::unique_ptr<TCellObj>> Cells;
  int RowHeight = 0;
  int Top = 0;  // document Y of the row from the last layout

  TCellList() = default;
  TCellList(TSectionList* list, const TCellList& source);
  void Add(std::unique_ptr<TCellObj> cell) { Cells.push_back(std::move(cell)); }
  void UpdateFonts();
};

class ThtmlTable : public TSectionBase {
 public:
  std::vector<std::unique_ptr<TCellList>> Rows;
  std::unique_ptr<TCellObj> Caption;
  bool Initialized = false;
  bool Border = false;
  bool CaptionOnTop = true;
  uint8_t Justify = 1;  // 1 left, 2 centre, 3 right
  int NumCols = 0;
  int TableWidth = 0, CaptionWidth = 0;
  int SpecWidth = 0;
  bool WidthAsPercent = false;
  bool PixelWidthsOnly = false;
  int CaptionHeight = 0, TableHeight = 0;
  int CellPadding = 2, CellSpacing = 3;
  std::vector<int> Widths, Percents;
  int CaptionMinWidth = 0;
  QPoint TablePos;
  bool BgColorSet = false, BorderColorSet = false;
  Color BgColor = 0, BorderColor = 0;
  int Len = 0;

  ThtmlTable(TSectionList* list, const TAttributeList& attributes, uint8_t justify);
  ThtmlTable(TSectionList* list, const ThtmlTable& source);

  std::unique_ptr<TSectionBase> Copy(TSectionList* list) const override;
  void CopyToClipboard() override;
  int DrawLogic(Canvas& canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y) override;
  bool GetURL(Canvas& canvas, int x, int y, TUrlTarget& link) override;
  int FindCursor(Canvas& canvas, int x, int y, int& lineHeight, int& lineTop, int& caretX) override;
  int FindString(int from, const QString& text, bool matchCase) override;
  bool FindCursorPos(int pos, int& y, int& x) override;
  void UpdateFonts() override;
  void MinMaxWidth(Canvas& canvas, int& min, int& max) override;
  int Length() const override { return Len; }
  void Shift(int dy) override;

  void Initialize();
  // The cell covering (row, column) of the normalised grid, or nullptr.
  TCellObj* CellAt(int row, int col) const;

 private:
  std::vector<int> mins_, maxs_;
  int totalMin_ = 0, totalMax_ = 0;
  bool laidOut_ = false;
  int maxRowSpan_ = 1;  // false when nested too deep to be laid out

  void CellMinMax(Canvas& canvas, TCellObj& cell, int& min, int& max);
  void MeasureColumns(Canvas& canvas);
  void ComputeWidths(int target);
  // The width the columns share, from the room beside the table's margins.
  int TargetWidth(int avail) const;
  // Each row as tall as its tallest cell; a cell spanning rows that are too
  // short for it shares what it lacks among them.
  void SetRowHeights(int inner);
  // Each cell (laid out once at a provisional top) moved to its row, with
  // its vertical alignment.
  void PlaceCells(int inner);
  int ColumnOffset(int col) const;
  int SpanWidth(int col, int span) const;
  // Visits every real cell of the laid-out columns with its row and column.
  template <typename F> void ForEachCell(F f) const;
  // The cell whose box holds the point (document Y), or nullptr.
  TCellObj* CellAtPoint(int x, int y) const;
};

}  // namespace qlon::viewer
