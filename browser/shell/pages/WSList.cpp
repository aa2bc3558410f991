#include "WSList.h"

#include <QPainter>
#include <cmath>

#include "Gdi.h"
#include "Texts.h"
#include "TextFit.h"

namespace qlon::shell {

TWSocketList::TWSocketList(QWidget* parent) : controls::TWCustomGrid(parent) {
  SetOptions(controls::GridLayout::ColSizing);
  SetDefaultDrawing(false);
  SetDefaultRowHeight(17);
  SetColCount(5);
  SetDefaultColWidth(100);
  SetRowCount(2);
  SetFixedCols(0);
  SetFixedRows(1);
  SetScrollBars(ssBoth);
  Clear();
}

void TWSocketList::Clear() {
  captions_ = {"Web", "Url", "Etat", "Taille", "Avancement"};
  for (Row& r : rows_) {
    r.web.clear();
    r.url.clear();
    r.size = 0;
    r.progress = 0;
  }
  Invalidate();
}

void TWSocketList::SetSocketCount(int n) { SetRowCount(std::clamp(n, 0, kRows) + 1); }

void TWSocketList::SetWeb(int index, const QString& text) {
  if (!valid(index)) return;
  rows_[index].web = text;
  InvalidateCell(0, index + 1);
}

void TWSocketList::SetUrl(int index, const QString& text) {
  if (!valid(index)) return;
  rows_[index].url = text;
  InvalidateCell(1, index + 1);
}

void TWSocketList::SetState(int index, THTTP_STATE state) {
  if (!valid(index)) return;
  rows_[index].state = state;
  InvalidateCell(2, index + 1);
  InvalidateCell(4, index + 1);
}

void TWSocketList::SetSize(int index, qint32 bytes) {
  if (!valid(index)) return;
  rows_[index].size = bytes;
  InvalidateCell(3, index + 1);
}

void TWSocketList::SetProgress(int index, qint32 percent) {
  if (!valid(index)) return;
  rows_[index].progress = percent;
  InvalidateCell(4, index + 1);
}

void TWSocketList::Resized() {
  const int w = viewport()->width();
  static constexpr int share[5] = {20, 30, 15, 15, 20};
  for (int c = 0; c < 5; ++c) SetColWidth(c, w * share[c] / 100);
}

void TWSocketList::DrawCell(QPainter& p, int col, int row, const QRect& rect, int) {
  PaintCell(p, col, row, rect);
}

void TWSocketList::drawText(QPainter& p, const QRect& cell, const QString& text, bool path) {
  const QFontMetrics fm(p.font());
  const QRect r = cell.translated(0, 2).adjusted(1, 1, -1, -1);
  const QString shown = path ? controls::FitPathEllipsis(fm, text, r.width())
                             : controls::FitTextEllipsis(fm, text, r.width(), false);
  p.setPen(palette().color(QPalette::Text));
  p.drawText(r, Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, shown);
}

void TWSocketList::drawProgress(QPainter& p, const QRect& cell, const Row& r) {
  const int left = cell.x(), top = cell.y(), right = controls::rightOf(cell), bottom = controls::bottomOf(cell);
  const int n = (right - left) / 5;
  // Half-to-even under the default rounding mode.
  const int filled = int(std::nearbyint(n * r.progress * 0.01));
  const bool busy = r.state == sLookup || r.state == sConnexion || r.state == sRequest ||
                    r.state == sReceive;
  const QColor red = controls::fromColorRef(0x0000FF);
  const QColor rest = controls::fromColorRef(busy ? 0x800000 : 0xC0C0C0);
  for (int k = 0; left + 8 + 5 * k <= right - 4; ++k)
    p.fillRect(controls::ltrb(left + 4 + 5 * k, top + 4, left + 8 + 5 * k, bottom - 4), k < filled ? red : rest);
}

void TWSocketList::PaintCell(QPainter& p, int col, int row, const QRect& rect) {
  p.setFont(font());
  if (row == 0) {
    const QColor black(Qt::black);
    int l = rect.x(), t = rect.y(), r = controls::rightOf(rect), b = controls::bottomOf(rect);
    p.fillRect(controls::ltrb(l, b - 1, r, b), black);
    --b;
    if (col > 0) { p.fillRect(controls::ltrb(l, t, l + 1, b), black); ++l; }
    if (col == ColCount() - 1) { p.fillRect(controls::ltrb(r - 1, t, r, b), black); --r; }
    const QRect inner = controls::draw3dFrame(p, controls::ltrb(l, t, r, b), Qt::white, controls::fromColorRef(0x808080));
    p.fillRect(inner, controls::fromColorRef(0xC0C0C0));
    if (col >= 0 && col < 5) drawText(p, rect, captions_[col], false);
    return;
  }
  p.fillRect(rect, Color());
  if (row - 1 >= kRows) return;
  const Row& data = rows_[row - 1];
  switch (col) {
    case 0: drawText(p, rect, data.web, false); break;
    case 1: drawText(p, rect, data.url, true); break;
    case 2: drawText(p, rect, QString::fromUtf8(HttpStateText(data.state)), false); break;
    case 3: drawText(p, rect, QString::number(data.size), false); break;
    case 4: drawProgress(p, rect, data); break;
    default: break;
  }
}

}  // namespace qlon::shell
