#include "Tables.h"

#include <algorithm>
#include <numeric>

#include "Sections.h"

namespace qlon::viewer {

namespace {

// Adds `need` to the values in proportion to them; equally when they sum to 0.
void Spread(std::vector<int>& v, int from, int n, int need) {
  if (need <= 0 || n <= 0) return;
  long long sum = 0;
  for (int i = from; i < from + n; ++i) sum += v[i];
  int given = 0;
  for (int i = from; i < from + n; ++i) {
    int add = sum > 0 ? int((long long)v[i] * need / sum) : need / n;
    v[i] += add;
    given += add;
  }
  // What rounding left over goes to the last column, so the span holds the need.
  v[from + n - 1] += need - given;
}

}  // namespace

TCellList::TCellList(TSectionList* list, const TCellList& s) : RowHeight(s.RowHeight), Top(s.Top) {
  for (const auto& c : s.Cells) Cells.push_back(std::make_unique<TCellObj>(list, *c));
}

void TCellList::UpdateFonts() {
  for (auto& c : Cells) c->UpdateFonts();
}

ThtmlTable::ThtmlTable(TSectionList* list, const TAttributeList& attributes, uint8_t justify)
    : TSectionBase(list), Caption(std::make_unique<TCellObj>(list, TAttributeList(), 0)), Justify(justify) {
  for (const TAttribute& a : attributes.Items()) {
    switch (a.Which) {
      case Attr::Border: Border = a.Value > 0; break;
      case Attr::Align: {
        QString s = a.Name.toUpper();
        if (s == "CENTER") Justify = 2;
        else if (s == "RIGHT") Justify = 3;
        break;
      }
      case Attr::CellSpacing: if (a.Value >= 0) CellSpacing = std::min(a.Value, 39) + 1; break;
      case Attr::CellPadding: if (a.Value >= 0) CellPadding = std::min(a.Value, 49) + 1; break;
      case Attr::Width:
        if (a.Name.contains('%')) {
          WidthAsPercent = true;
          if (a.Value >= 1 && a.Value <= 100) SpecWidth = a.Value;
        } else {
          SpecWidth = AttrSize(a.Value);
        }
        break;
      case Attr::BgColor: BgColorSet = ColorFromString(a.Name, BgColor); break;
      case Attr::BorderColor: BorderColorSet = ColorFromString(a.Name, BorderColor); break;
      default: break;
    }
  }
  if (!Border) CellPadding = std::max(0, CellPadding - 1);
}

ThtmlTable::ThtmlTable(TSectionList* list, const ThtmlTable& s)
    : TSectionBase(list, s), Caption(std::make_unique<TCellObj>(list, *s.Caption)), Initialized(s.Initialized),
      Border(s.Border), CaptionOnTop(s.CaptionOnTop), Justify(s.Justify), NumCols(s.NumCols),
      TableWidth(s.TableWidth), CaptionWidth(s.CaptionWidth), SpecWidth(s.SpecWidth),
      WidthAsPercent(s.WidthAsPercent), PixelWidthsOnly(s.PixelWidthsOnly), CaptionHeight(s.CaptionHeight),
      TableHeight(s.TableHeight), CellPadding(s.CellPadding), CellSpacing(s.CellSpacing), Widths(s.Widths),
      Percents(s.Percents), CaptionMinWidth(s.CaptionMinWidth), BgColorSet(s.BgColorSet),
      BorderColorSet(s.BorderColorSet), BgColor(s.BgColor), BorderColor(s.BorderColor), Len(s.Len) {
  for (const auto& r : s.Rows) Rows.push_back(std::make_unique<TCellList>(list, *r));
}

std::unique_ptr<TSectionBase> ThtmlTable::Copy(TSectionList* list) const {
  return std::make_unique<ThtmlTable>(list, *this);
}

void ThtmlTable::Initialize() {
  if (Initialized) return;
  Initialized = true;
  bool somePercent = false, noWidths = true;
  for (auto& row : Rows) {
    auto& cells = row->Cells;
    for (int i = int(cells.size()) - 1; i >= 0; --i) {
      TCellObj& c = *cells[i];
      if (c.AsPercent) somePercent = true;
      if (c.SpecWd > 0) noWidths = false;
      if (BgColorSet && !c.BgColorSet) {
        c.BgColorSet = true;
        c.BgColor = BgColor;
      }
      // A span beyond the column limit only adds empty columns.
      c.ColSpan = std::min(c.ColSpan, kMaxTableColumns + 1);
      for (int k = 1; k < c.ColSpan; ++k)
        cells.insert(cells.begin() + i + 1, TCellObj::Placeholder(ParentSectionList, c.RowSpan));
    }
  }
  PixelWidthsOnly = !somePercent && !noWidths;
  int budget = kMaxSpanPlaceholders;
  int rows = int(Rows.size());
  for (int col = 0;; ++col) {
    bool any = false;
    for (int r = 0; r < rows; ++r) {
      auto& cells = Rows[r]->Cells;
      if (col >= int(cells.size())) continue;
      any = true;
      TCellObj& c = *cells[col];
      c.RowSpan = std::clamp(c.RowSpan, 1, rows - r);
      if (c.RowSpan - 1 > budget) c.RowSpan = 1;
      budget -= c.RowSpan - 1;
      for (int k = 1; k < c.RowSpan; ++k) {
        auto& below = Rows[r + k]->Cells;
        auto ph = TCellObj::Placeholder(ParentSectionList, 1);
        if (col <= int(below.size()))
          below.insert(below.begin() + col, std::move(ph));
        else
          below.push_back(std::move(ph));
      }
    }
    if (!any) break;
  }
  NumCols = 0;
  for (auto& row : Rows) NumCols = std::max(NumCols, int(row->Cells.size()));
  if (NumCols > kMaxTableColumns) {
    // Laid out at the first columns; the viewer reports the problem once.
    static const QString kTooMany = QStringLiteral("Table has too many Columns");
    if (ParentSectionList && !ParentSectionList->LayoutErrors.contains(kTooMany))
      ParentSectionList->LayoutErrors << kTooMany;
    NumCols = kMaxTableColumns;
  }
  Widths.assign(NumCols, 0);
  Percents.assign(NumCols, 0);
}

template <typename F>
void ThtmlTable::ForEachCell(F f) const {
  for (int r = 0; r < int(Rows.size()); ++r) {
    auto& cells = Rows[r]->Cells;
    for (int c = 0; c < int(cells.size()) && c < NumCols; ++c)
      if (!cells[c]->IsPlaceholder()) f(r, c, *cells[c]);
  }
}

TCellObj* ThtmlTable::CellAt(int row, int col) const {
  if (row < 0 || row >= int(Rows.size()) || col < 0 || col >= int(Rows[row]->Cells.size())) return nullptr;
  return Rows[row]->Cells[col].get();
}

void ThtmlTable::CellMinMax(Canvas& canvas, TCellObj& cell, int& min, int& max) {
  int pass = ParentSectionList ? ParentSectionList->LayoutPass : 0;
  if (cell.MeasuredIn != pass || cell.MinW < 0) {
    cell.Cell->MinMaxWidth(canvas, cell.MinW, cell.MaxW);
    cell.MeasuredIn = pass;
  }
  min = cell.MinW;
  max = cell.MaxW;
}

void ThtmlTable::MeasureColumns(Canvas& canvas) {
  mins_.assign(NumCols, 0);
  maxs_.assign(NumCols, 0);
  Percents.assign(NumCols, 0);
  int extra = 2 * CellPadding + CellSpacing;
  int maxSpan = 1;
  ForEachCell([&](int, int, TCellObj& c) { maxSpan = std::max(maxSpan, c.ColSpan); });
  for (int span = 1; span <= maxSpan; ++span) {
    ForEachCell([&](int, int col, TCellObj& c) {
      if (c.ColSpan != span) return;
      int mn, mx;
      CellMinMax(canvas, c, mn, mx);
      mn += extra;
      mx += extra;
      int n = std::min(span, NumCols - col);
      bool pct = c.AsPercent && c.SpecWd > 0;
      if (n == 1) {
        if (!c.AsPercent) {
          mn = std::max(mn, c.SpecWd);
          mx = std::max(mx, c.SpecWd);
        }
        mins_[col] = std::max(mins_[col], mn);
        maxs_[col] = std::max(maxs_[col], mx);
        if (pct) Percents[col] = std::max(Percents[col], c.SpecWd);
        return;
      }
      int sMin = std::accumulate(mins_.begin() + col, mins_.begin() + col + n, 0);
      int sMax = std::accumulate(maxs_.begin() + col, maxs_.begin() + col + n, 0);
      if (sMin < mn) Spread(mins_, col, n, mn - sMin);
      if (sMax < mx) Spread(maxs_, col, n, mx - sMax);
      if (pct) {
        // The span's share goes first to its columns without a percentage.
        int have = std::accumulate(Percents.begin() + col, Percents.begin() + col + n, 0);
        int need = c.SpecWd - have;
        if (need > 0) {
          int free = 0;
          for (int i = col; i < col + n; ++i) free += Percents[i] == 0;
          if (free > 0) {
            int given = 0, k = 0;
            for (int i = col; i < col + n; ++i)
              if (Percents[i] == 0) {
                int add = ++k == free ? need - given : need / free;
                Percents[i] = add;
                given += add;
              }
          } else {
            Spread(Percents, col, n, need);
          }
        }
      }
    });
  }
  for (int i = 0; i < NumCols; ++i) maxs_[i] = std::max(maxs_[i], mins_[i]);
  totalMin_ = std::accumulate(mins_.begin(), mins_.end(), 0);
  totalMax_ = std::accumulate(maxs_.begin(), maxs_.end(), 0);
}

void ThtmlTable::ComputeWidths(int target) {
  Widths.assign(NumCols, 0);
  if (NumCols == 0) return;
  auto proportional = [&] {
    if (target < totalMax_ && totalMax_ != totalMin_) {
      for (int i = 0; i < NumCols; ++i)
        Widths[i] = MulDiv(target - totalMin_, maxs_[i] - mins_[i], totalMax_ - totalMin_) + mins_[i];
    } else {
      Widths = maxs_;
    }
  };
  if (target <= totalMin_) {
    Widths = mins_;
    return;
  }
  if (PixelWidthsOnly) {
    proportional();
    return;
  }
  int pSum = std::accumulate(Percents.begin(), Percents.end(), 0);
  bool hasWidth = SpecWidth > 0;
  if ((pSum >= 1 && pSum <= 100) || hasWidth) {
    pSum = std::min(pSum, 100);
    int nonPctMax = 0, pctNeed = 0, nonPctCount = 0;
    for (int i = 0; i < NumCols; ++i) {
      if (Percents[i] > 0)
        pctNeed = std::max(pctNeed, MulDiv(maxs_[i], 100, Percents[i]));
      else {
        nonPctMax += maxs_[i];
        ++nonPctCount;
      }
    }
    int restNeed = pSum < 100 ? MulDiv(nonPctMax, 100, 100 - pSum) : nonPctMax < 1 ? 0 : 30000;
    int w = std::max(pctNeed, restNeed);
    if (w <= target) {
      if (hasWidth) w = target;
      int rest = MulDiv(w, 100 - pSum, 100);
      for (int i = 0; i < NumCols; ++i) {
        if (Percents[i] > 0)
          Widths[i] = MulDiv(w, Percents[i], 100);
        else
          Widths[i] = nonPctMax > 0 ? MulDiv(maxs_[i], rest, nonPctMax) : rest / std::max(1, nonPctCount);
      }
      return;
    }
    std::vector<int> pct = Percents;
    for (int round = 0; round <= NumCols + 1; ++round) {
      for (int i = 0; i < NumCols; ++i)
        if (pct[i] > 0 && MulDiv(target, pct[i], 100) - 1 < mins_[i]) pct[i] = 0;
      int pctTotal = 0, nonPctMin = 0;
      bool any = false;
      for (int i = 0; i < NumCols; ++i) {
        if (pct[i] > 0) {
          any = true;
          pctTotal += MulDiv(target, pct[i], 100);
        } else {
          nonPctMin += mins_[i];
        }
      }
      if (!any) break;
      if (pctTotal + nonPctMin > target) {
        for (int i = 0; i < NumCols; ++i)
          if (pct[i] > 0) pct[i] = int((long long)pct[i] * std::max(0, target - nonPctMin) / std::max(1, pctTotal));
        continue;
      }
      for (int i = 0; i < NumCols; ++i)
        if (pct[i] > 0) mins_[i] = maxs_[i] = MulDiv(target, pct[i], 100);
      totalMin_ = std::accumulate(mins_.begin(), mins_.end(), 0);
      totalMax_ = std::accumulate(maxs_.begin(), maxs_.end(), 0);
      break;
    }
    if (target <= totalMin_) {
      Widths = mins_;
      return;
    }
  }
  proportional();
}

int ThtmlTable::ColumnOffset(int col) const {
  int x = 0;
  for (int i = 0; i < col && i < NumCols; ++i) x += Widths[i];
  return x;
}

int ThtmlTable::SpanWidth(int col, int span) const {
  int w = 0;
  for (int i = col; i < col + span && i < NumCols; ++i) w += Widths[i];
  return w;
}

void ThtmlTable::MinMaxWidth(Canvas& canvas, int& min, int& max) {
  min = max = 0;
  TSectionList* list = ParentSectionList;
  if (list && list->NestLevel >= kMaxTableNesting) return;
  if (list) ++list->NestLevel;
  Initialize();
  MeasureColumns(canvas);
  min = totalMin_ + CellSpacing;
  max = totalMax_ + CellSpacing;
  if (!WidthAsPercent && SpecWidth > 0) {
    min = std::max(min, SpecWidth);
    max = std::max(max, SpecWidth);
  }
  int cmax;
  CellMinMax(canvas, *Caption, CaptionMinWidth, cmax);
  min = std::max(min, CaptionMinWidth);
  max = std::max(max, min);
  if (list) --list->NestLevel;
}

int ThtmlTable::DrawLogic(Canvas& canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) {
  YValue = y;
  StartCurs = curs;
  SectionHeight = DrawHeight = 0;
  maxWidth = 0;
  Len = 0;
  TSectionList* list = ParentSectionList;
  // Nesting beyond the limit shows nothing rather than exhausting the stack.
  laidOut_ = false;
  if (list && list->NestLevel >= kMaxTableNesting) return 0;
  if (list) ++list->NestLevel;
  laidOut_ = true;

  int li = imgr.LeftIndent(y);
  const int target = TargetWidth(imgr.RightSide(y) - li);
  Initialize();
  MeasureColumns(canvas);
  ComputeWidths(target);
  TableWidth = CellSpacing + std::accumulate(Widths.begin(), Widths.end(), 0);
  int cmin, cmax;
  CellMinMax(canvas, *Caption, cmin, cmax);
  CaptionMinWidth = cmin;
  CaptionWidth = std::max(TableWidth, CaptionMinWidth);

  int inner = 2 * CellPadding + CellSpacing - 1;
  int mw = 0;
  CaptionHeight = 0;
  if (CaptionOnTop && !Caption->Cell->Sections.empty()) {
    CaptionHeight = Caption->Cell->DoLogic(canvas, y, curs, mw, CaptionWidth);
    Caption->VSize = CaptionHeight;
  }
  // Each cell laid out once, in row order, then moved into place below.
  int provisional = y + CaptionHeight + CellSpacing + CellPadding;
  ForEachCell([&](int, int col, TCellObj& c) {
    c.Wd = SpanWidth(col, c.ColSpan);
    int width = std::max(0, c.Wd - inner);
    c.VSize = c.Cell->DoLogic(canvas, provisional, curs, mw, width);
    c.LaidY = provisional;
  });
  SetRowHeights(inner);
  SectionHeight = CaptionHeight;
  for (auto& row : Rows) {
    row->Top = y + SectionHeight;
    SectionHeight = LayoutSum(SectionHeight, row->RowHeight);
  }
  PlaceCells(inner);
  SectionHeight += CellSpacing;
  TableHeight = SectionHeight - CaptionHeight;
  if (!CaptionOnTop && !Caption->Cell->Sections.empty()) {
    // A caption below the table takes its own room under it.
    int h = Caption->Cell->DoLogic(canvas, y + SectionHeight, curs, mw, CaptionWidth);
    Caption->VSize = h;
    SectionHeight += h;
  }
  DrawHeight = SectionHeight;
  Len = curs - StartCurs;
  maxWidth = CaptionWidth + (li - imgr.LfEdge);
  if (list) --list->NestLevel;
  return SectionHeight;
}

int ThtmlTable::TargetWidth(int avail) const {
  int target = (WidthAsPercent && SpecWidth > 0) ? MulDiv(avail, SpecWidth, 100)
               : (!WidthAsPercent && SpecWidth > 0) ? SpecWidth
                                                   : avail;
  return std::max(target - CellSpacing, 20);
}

void ThtmlTable::SetRowHeights(int inner) {
  int rows = int(Rows.size());
  int maxRowSpan = 1;
  ForEachCell([&](int, int, TCellObj& c) { maxRowSpan = std::max(maxRowSpan, c.RowSpan); });
  maxRowSpan_ = maxRowSpan;
  for (int span = 1; span <= maxRowSpan; ++span) {
    for (int r = 0; r + span <= rows; ++r) {
      int tallest = 0;
      bool any = false;
      auto& cells = Rows[r]->Cells;
      for (int col = 0; col < int(cells.size()) && col < NumCols; ++col)
        if (!cells[col]->IsPlaceholder() && cells[col]->RowSpan == span) {
          tallest = std::max(tallest, cells[col]->VSize);
          any = true;
        }
      int h = tallest + inner;
      if (span == 1) {
        Rows[r]->RowHeight = h;
      } else if (any) {
        int sum = 0;
        for (int k = r; k < r + span; ++k) sum = LayoutSum(sum, Rows[k]->RowHeight);
        if (sum < h)
          for (int k = r; k < r + span; ++k) Rows[k]->RowHeight = LayoutSum(Rows[k]->RowHeight, (h - sum) / span + 1);
      }
    }
  }
}

void ThtmlTable::PlaceCells(int inner) {
  const int rows = int(Rows.size());
  ForEachCell([&](int r, int, TCellObj& c) {
    c.Ht = 0;
    for (int k = r; k < r + c.RowSpan && k < rows; ++k) c.Ht = LayoutSum(c.Ht, Rows[k]->RowHeight);
    int free = c.Ht - c.VSize - inner;
    c.YIndent = c.VAlign == 1 ? free / 2 : c.VAlign == 2 ? free : 0;
    c.YIndent = std::max(0, c.YIndent);
    int at = Rows[r]->Top + CellSpacing + CellPadding + c.YIndent;
    if (at != c.LaidY) c.Cell->Shift(at - c.LaidY);
    c.LaidY = at;
  });
}

int ThtmlTable::Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y) {
  (void)x;
  TSectionList& list = *ParentSectionList;
  bool printing = list.Printing || canvas.IsPrinter();
  if (printing) {
    int pageHeight = clip.height();
    int mid = clip.top() + pageHeight / 2;
    if (y > mid && y < list.PageBottom && SectionHeight < pageHeight && y + SectionHeight > list.PageBottom)
      list.PageBottom = y;
  }
  if (y > clip.bottom() || y + SectionHeight < clip.top() || (printing && y >= list.PageBottom) || !laidOut_)
    return LayoutSum(y, SectionHeight);
  int li = imgr.LeftIndent(YValue), rs = imgr.RightSide(YValue);
  int tx = li;
  if (Justify == 2)
    tx = std::max(li, li + (rs - li - TableWidth) / 2);
  else if (Justify == 3)
    tx = std::max(li, rs - TableWidth);
  TablePos = QPoint(tx, y);
  int dy = y - YValue;  // layout to panel coordinates
  int cx = std::max(li, tx + (TableWidth - CaptionWidth) / 2);
  if (CaptionOnTop && !Caption->Cell->Sections.empty()) Caption->Cell->Draw(canvas, clip, cx, y);
  int tableTop = y + CaptionHeight;
  QRect tableBox(tx, tableTop, TableWidth, TableHeight);
  QRegion border;
  if (BorderColorSet) border = QRegion(tableBox.intersected(clip));
  Color dark = clBtnShadow, light = LightEdgeColor(list);
  // Rows are in Y order: start at the first one reaching into the clip.
  auto first = std::partition_point(Rows.begin(), Rows.end(), [&](const std::unique_ptr<TCellList>& row) {
    return row->Top + dy + row->RowHeight + CellSpacing < clip.top();
  });
  // A cell spanning rows starts above the clip yet reaches into it: back up over spans.
  int start = std::max(0, int(first - Rows.begin()) - (maxRowSpan_ - 1));
  for (int r = start; r < int(Rows.size()); ++r) {
    int rowTop = Rows[r]->Top + dy;
    if (rowTop > clip.bottom()) break;
    auto& cells = Rows[r]->Cells;
    for (int col = 0; col < int(cells.size()) && col < NumCols; ++col) {
      TCellObj& c = *cells[col];
      if (c.IsPlaceholder()) continue;
      QRect box(tx + ColumnOffset(col) + CellSpacing, rowTop + CellSpacing, c.Wd - CellSpacing, c.Ht - CellSpacing);
      if (box.top() > clip.bottom() || box.bottom() < clip.top()) continue;
      if (c.BgColorSet) canvas.FillRect(box, c.BgColor | kPaletteRelative);
      c.Cell->Draw(canvas, clip, box.left() + CellPadding, c.LaidY + dy);
      if (Border) {
        box.adjust(-1, -1, 1, 1);
        canvas.Line(QPoint(box.left(), box.bottom()), QPoint(box.left(), box.top()), dark);
        canvas.Line(QPoint(box.left(), box.top()), QPoint(box.right(), box.top()), dark);
        canvas.Line(QPoint(box.right(), box.top()), QPoint(box.right(), box.bottom()), light);
        canvas.Line(QPoint(box.right(), box.bottom()), QPoint(box.left(), box.bottom()), light);
      }
      if (BorderColorSet) border -= QRegion(box);
    }
  }
  if (BorderColorSet) canvas.FillRegion(border, BorderColor | kPaletteRelative);
  if (Border) {
    QRect b = tableBox;
    canvas.Line(QPoint(b.left(), b.bottom()), QPoint(b.left(), b.top()), light);
    canvas.Line(QPoint(b.left(), b.top()), QPoint(b.right(), b.top()), light);
    canvas.Line(QPoint(b.right(), b.top()), QPoint(b.right(), b.bottom() + 1), dark);
    canvas.Line(QPoint(b.left(), b.bottom()), QPoint(b.right(), b.bottom()), dark);
  }
  if (!CaptionOnTop && !Caption->Cell->Sections.empty())
    Caption->Cell->Draw(canvas, clip, cx, y + CaptionHeight + TableHeight);
  return LayoutSum(y, SectionHeight);
}

TCellObj* ThtmlTable::CellAtPoint(int x, int y) const {
  for (int r = 0; r < int(Rows.size()); ++r) {
    const auto& cells = Rows[r]->Cells;
    for (int col = 0; col < int(cells.size()) && col < NumCols; ++col) {
      TCellObj& c = *cells[col];
      if (c.IsPlaceholder()) continue;
      int left = TablePos.x() + ColumnOffset(col) + CellSpacing;
      int top = Rows[r]->Top + CellSpacing;
      if (x >= left && x < left + c.Wd - CellSpacing && y >= top && y < top + c.Ht - CellSpacing) return &c;
    }
  }
  return nullptr;
}

bool ThtmlTable::GetURL(Canvas& canvas, int x, int y, TUrlTarget& link) {
  if (TCellObj* c = CellAtPoint(x, y)) return c->Cell->GetURL(canvas, x, y, link);
  return Caption->Cell->GetURL(canvas, x, y, link);
}

int ThtmlTable::FindCursor(Canvas& canvas, int x, int y, int& lineHeight, int& lineTop, int& caretX) {
  if (TCellObj* c = CellAtPoint(x, y)) return c->Cell->FindCursor(canvas, x, y, lineHeight, lineTop, caretX);
  return Caption->Cell->FindCursor(canvas, x, y, lineHeight, lineTop, caretX);
}

int ThtmlTable::FindString(int from, const QString& text, bool matchCase) {
  if (CaptionOnTop)
    if (int r = Caption->Cell->FindString(from, text, matchCase); r >= 0) return r;
  int found = -1;
  for (auto& row : Rows) {
    for (auto& c : row->Cells)
      if (!c->IsPlaceholder() && (found = c->Cell->FindString(from, text, matchCase)) >= 0) return found;
  }
  return CaptionOnTop ? -1 : Caption->Cell->FindString(from, text, matchCase);
}

bool ThtmlTable::FindCursorPos(int pos, int& y, int& x) {
  if (Caption->Cell->FindCursorPos(pos, y, x)) return true;
  for (auto& row : Rows)
    for (auto& c : row->Cells)
      if (!c->IsPlaceholder() && c->Cell->FindCursorPos(pos, y, x)) return true;
  return false;
}

void ThtmlTable::CopyToClipboard() {
  if (CaptionOnTop) Caption->Cell->CopyToClipboard();
  for (auto& row : Rows)
    for (auto& c : row->Cells)
      if (!c->IsPlaceholder()) c->Cell->CopyToClipboard();
  if (!CaptionOnTop) Caption->Cell->CopyToClipboard();
}

void ThtmlTable::UpdateFonts() {
  for (auto& row : Rows) row->UpdateFonts();
  Caption->UpdateFonts();
}

void ThtmlTable::Shift(int dy) {
  YValue += dy;
  for (auto& row : Rows) {
    row->Top += dy;
    for (auto& c : row->Cells) {
      c->Cell->Shift(dy);
      c->LaidY += dy;
    }
  }
  Caption->Cell->Shift(dy);
}

}  // namespace qlon::viewer
