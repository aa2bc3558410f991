#include "WGrid.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPalette>
#include <QScrollBar>
#include <algorithm>

#include "Gdi.h"

namespace qlon::controls {

// ---- GridLayout -----------------------------------------------------------

int GridLayout::colWidth(int col) const {
  return col >= 0 && col < int(colWidths_.size()) ? colWidths_[col] : 0;
}

void GridLayout::clampCursor() {
  const int firstRow = fixedRows_;
  const int lastRow = std::max(firstRow, rowCount_ - 1);
  row_ = std::clamp(row_, firstRow, lastRow);
  const int lastCol = std::max(fixedCols_, colCount_ - 1);
  col_ = std::clamp(col_, fixedCols_, lastCol);
  topRow_ = std::clamp(topRow_, fixedRows_, maxTopRow());
  leftOffset_ = std::clamp(leftOffset_, 0, maxLeftOffset());
}

void GridLayout::setRowCount(int n) {
  rowCount_ = std::max(0, n);
  clampCursor();
}

void GridLayout::setColCount(int n) {
  colCount_ = std::max(0, n);
  colWidths_.resize(colCount_, defaultColWidth_);
  clampCursor();
}

void GridLayout::setFixedRows(int n) {
  fixedRows_ = std::max(0, n);
  clampCursor();
}

void GridLayout::setFixedCols(int n) {
  fixedCols_ = std::max(0, n);
  clampCursor();
}

void GridLayout::setDefaultRowHeight(int h) {
  rowHeight_ = std::max(1, h);
  clampCursor();
}

void GridLayout::setDefaultColWidth(int w) {
  defaultColWidth_ = std::max(0, w);
  std::fill(colWidths_.begin(), colWidths_.end(), defaultColWidth_);
  clampCursor();
}

void GridLayout::setColWidth(int col, int w) {
  if (col < 0 || col >= colCount_) return;
  colWidths_[col] = std::max(0, w);
  clampCursor();
}

void GridLayout::moveColumn(int from, int to) {
  if (from < 0 || to < 0 || from >= colCount_ || to >= colCount_ || from == to) return;
  const int w = colWidths_[from];
  colWidths_.erase(colWidths_.begin() + from);
  colWidths_.insert(colWidths_.begin() + to, w);
  if (col_ == from) col_ = to;
  clampCursor();
}

void GridLayout::setClientSize(int w, int h) {
  clientW_ = std::max(0, w);
  clientH_ = std::max(0, h);
  clampCursor();
}

void GridLayout::setRow(int row) {
  row_ = row;
  clampCursor();
  if (row_ < topRow_) topRow_ = row_;
  else if (row_ >= topRow_ + visibleRows()) topRow_ = row_ - visibleRows() + 1;
  clampCursor();
}

void GridLayout::setCol(int col) {
  col_ = col;
  clampCursor();
  if (col_ < fixedCols_ || col_ >= colCount_) return;
  // Scroll the column into view, its left edge winning when it is wider
  // than the client area.
  int start = 0;
  for (int c = fixedCols_; c < col_; ++c) start += colWidth(c);
  const int room = std::max(0, clientW_ - fixedWidth());
  if (start + colWidth(col_) > leftOffset_ + room) leftOffset_ = start + colWidth(col_) - room;
  if (start < leftOffset_) leftOffset_ = start;
  clampCursor();
}

void GridLayout::setTopRow(int top) {
  topRow_ = top;
  clampCursor();
}

void GridLayout::setLeftOffset(int pixels) {
  leftOffset_ = pixels;
  clampCursor();
}

int GridLayout::fixedHeight() const { return std::min(fixedRows_, rowCount_) * rowHeight_; }

int GridLayout::fixedWidth() const {
  int w = 0;
  for (int c = 0; c < std::min(fixedCols_, colCount_); ++c) w += colWidths_[c];
  return w;
}

int GridLayout::visibleRows() const {
  return std::max(1, (clientH_ - fixedHeight()) / rowHeight_);
}

int GridLayout::lastVisibleRow() const {
  return std::min(rowCount_ - 1, topRow_ + visibleRows() - 1);
}

int GridLayout::maxTopRow() const {
  return std::max(fixedRows_, rowCount_ - visibleRows());
}

int GridLayout::scrollableWidth() const {
  int w = 0;
  for (int c = fixedCols_; c < colCount_; ++c) w += colWidths_[c];
  return w;
}

int GridLayout::maxLeftOffset() const {
  return std::max(0, scrollableWidth() - std::max(0, clientW_ - fixedWidth()));
}

QRect GridLayout::cellRect(int col, int row) const {
  if (col < 0 || col >= colCount_ || row < 0 || row >= rowCount_) return {};
  int y;
  if (row < fixedRows_) y = row * rowHeight_;
  else y = fixedHeight() + (row - topRow_) * rowHeight_;
  int x = 0;
  if (col < fixedCols_) {
    for (int c = 0; c < col; ++c) x += colWidths_[c];
  } else {
    x = fixedWidth() - leftOffset_;
    for (int c = fixedCols_; c < col; ++c) x += colWidths_[c];
  }
  return QRect(x, y, colWidths_[col], rowHeight_);
}

int GridLayout::rowAt(int y) const {
  if (y < 0) return -1;
  int r;
  if (y < fixedHeight()) r = y / rowHeight_;
  else r = topRow_ + (y - fixedHeight()) / rowHeight_;
  return r < rowCount_ ? r : -1;
}

int GridLayout::colAt(int x) const {
  if (x < 0) return -1;
  int left = 0;
  for (int c = 0; c < std::min(fixedCols_, colCount_); ++c) {
    if (x < left + colWidths_[c]) return c;
    left += colWidths_[c];
  }
  left -= leftOffset_;
  for (int c = fixedCols_; c < colCount_; ++c) {
    if (x < left + colWidths_[c] && x >= left) return c;
    left += colWidths_[c];
  }
  return -1;
}

int GridLayout::sizingColumnAt(int x, int y) const {
  if (!(options_ & ColSizing) || y < 0 || y >= fixedHeight()) return -1;
  for (int c = 0; c < colCount_; ++c) {
    const QRect r = cellRect(c, 0);
    if (std::abs(x - rightOf(r)) <= 2) return c;
  }
  return -1;
}

bool GridLayout::moveByKey(int key, Qt::KeyboardModifiers mods) {
  const bool ctrl = mods & Qt::ControlModifier;
  const bool rowSelect = options_ & RowSelect;
  const int page = visibleRows();
  if (ctrl) {
    switch (key) {
      case Qt::Key_Up: setTopRow(topRow_ - 1); return true;
      case Qt::Key_Down: setTopRow(topRow_ + 1); return true;
      case Qt::Key_PageUp: setRow(topRow_); return true;
      case Qt::Key_PageDown: setRow(lastVisibleRow()); return true;
      case Qt::Key_Home: setCol(fixedCols_); setRow(fixedRows_); return true;
      case Qt::Key_End: setCol(colCount_ - 1); setRow(rowCount_ - 1); return true;
      default: return false;
    }
  }
  switch (key) {
    case Qt::Key_Up: setRow(row_ - 1); return true;
    case Qt::Key_Down: setRow(row_ + 1); return true;
    case Qt::Key_PageUp:
      setTopRow(topRow_ - page);
      setRow(row_ - page);
      return true;
    case Qt::Key_PageDown:
      setTopRow(topRow_ + page);
      setRow(row_ + page);
      return true;
    case Qt::Key_Left:
      if (rowSelect) setLeftOffset(leftOffset_ - colWidth(col_) / 4 - 1);
      else setCol(col_ - 1);
      return true;
    case Qt::Key_Right:
      if (rowSelect) setLeftOffset(leftOffset_ + colWidth(col_) / 4 + 1);
      else setCol(col_ + 1);
      return true;
    case Qt::Key_Home:
      if (rowSelect) setRow(fixedRows_);
      else setCol(fixedCols_);
      return true;
    case Qt::Key_End:
      if (rowSelect) setRow(rowCount_ - 1);
      else setCol(colCount_ - 1);
      return true;
    default: return false;
  }
}

// ---- dragging -----------------------------------------------------------------

namespace {

struct DragState {
  WGrid* source = nullptr;
  WGrid* target = nullptr;
  bool started = false;
  bool accepted = false;
  QPoint startPos;   // global, for a drag that waits for the mouse to move
  QPoint lastPos;    // global
};

DragState& drag() {
  static DragState d;
  return d;
}

constexpr int kDragThreshold = 5;

WGrid* gridAt(QPoint globalPos) {
  for (QWidget* w = QApplication::widgetAt(globalPos); w; w = w->parentWidget())
    if (auto* g = qobject_cast<WGrid*>(w)) return g;
  return nullptr;
}

}  // namespace


bool WGrid::Dragging() const { return drag().source == this && drag().started; }

void WGrid::BeginDrag(bool immediate) {
  DragState& d = drag();
  if (d.source) return;
  d = DragState{};
  d.source = this;
  d.startPos = d.lastPos = QCursor::pos();
  if (!immediate) return;
  state_ = State::Normal;
  d.started = true;
  if (OnStartDrag) OnStartDrag(this);
  viewport()->grabMouse(Qt::DragMoveCursor);
}

void WGrid::dragMoveTo(QPoint globalPos) {
  DragState& d = drag();
  d.lastPos = globalPos;
  WGrid* target = gridAt(globalPos);
  // Without a window system to ask, the source still knows its own area.
  if (!target && rect().contains(mapFromGlobal(globalPos))) target = this;
  auto ask = [&](WGrid* g, TDragState st) {
    const QPoint local = g->viewport()->mapFromGlobal(globalPos);
    bool accept = false;
    g->DragOver(this, local.x(), local.y(), st, accept);
    return accept;
  };
  if (target != d.target) {
    if (d.target) {
      ask(d.target, dsDragLeave);
      d.target->DragFinished();
    }
    d.target = target;
    d.accepted = target && ask(target, dsDragEnter);
  } else if (target) {
    d.accepted = ask(target, dsDragMove);
  }
  viewport()->setCursor(d.accepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
}

void WGrid::EndDrag(bool drop) {
  DragState& d = drag();
  if (d.source != this) return;
  const DragState was = d;
  d = DragState{};
  if (!was.started) return;
  viewport()->releaseMouse();
  viewport()->unsetCursor();
  WGrid* dropped = nullptr;
  if (drop && was.target && was.accepted) {
    const QPoint local = was.target->viewport()->mapFromGlobal(was.lastPos);
    was.target->DragDrop(this, local.x(), local.y());
    dropped = was.target;
  }
  if (was.target) was.target->DragFinished();
  const QPoint local = viewport()->mapFromGlobal(was.lastPos);
  if (OnEndDrag) OnEndDrag(this, dropped, local.x(), local.y());
}

void WGrid::DragOver(WGrid* source, int x, int y, TDragState state, bool& accept) {
  if (OnDragOver) OnDragOver(this, source, x, y, state, accept);
}

void WGrid::DragDrop(WGrid* source, int x, int y) {
  if (OnDragDrop) OnDragDrop(this, source, x, y);
}

// ---- WGrid ------------------------------------------------------------------

WGrid::WGrid(QWidget* parent) : QAbstractScrollArea(parent) {
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setMouseTracking(true);
  viewport()->setAutoFillBackground(false);
  SetScrollBars(ssBoth);
}

WGrid::~WGrid() {
  DragState& d = drag();
  if (d.source == this) {
    if (d.started) viewport()->releaseMouse();
    d = DragState{};
  }
  if (d.target == this) d.target = nullptr;
}

QColor WGrid::Color() const { return viewport()->palette().color(QPalette::Base); }

void WGrid::SetColor(const QColor& c) {
  QPalette pal = viewport()->palette();
  pal.setColor(QPalette::Base, c);
  viewport()->setPalette(pal);
  Invalidate();
}

void WGrid::layoutChanged(int oldRow) {
  syncScrollBars();
  if (oldRow != layout_.row()) RowMoved(oldRow, layout_.row());
}

void WGrid::SetRowCount(int n) {
  if (n == layout_.rowCount()) return;
  const int old = layout_.row();
  layout_.setRowCount(n);
  layoutChanged(old);
  Invalidate();
}

void WGrid::SetColCount(int n) {
  const int old = layout_.row();
  layout_.setColCount(n);
  layoutChanged(old);
  Invalidate();
}

void WGrid::SetFixedRows(int n) {
  const int old = layout_.row();
  layout_.setFixedRows(n);
  layoutChanged(old);
  Invalidate();
}

void WGrid::SetFixedCols(int n) {
  const int old = layout_.row();
  layout_.setFixedCols(n);
  layoutChanged(old);
  Invalidate();
}

void WGrid::SetDefaultRowHeight(int h) {
  const int old = layout_.row();
  layout_.setDefaultRowHeight(h);
  layoutChanged(old);
  Invalidate();
}

void WGrid::SetDefaultColWidth(int w) {
  layout_.setDefaultColWidth(w);
  syncScrollBars();
  Invalidate();
}

void WGrid::SetColWidth(int col, int w) {
  if (layout_.colWidth(col) == w) return;
  layout_.setColWidth(col, w);
  syncScrollBars();
  Invalidate();
}

void WGrid::MoveColumn(int from, int to) {
  if (from == to || from < 0 || to < 0 || from >= ColCount() || to >= ColCount()) return;
  layout_.moveColumn(from, to);
  syncScrollBars();
  Invalidate();
  ColumnMoved(from, to);
}

void WGrid::SetRow(int row) {
  const int old = layout_.row(), oldTop = layout_.topRow();
  layout_.setRow(row);
  layoutChanged(old);
  if (oldTop != layout_.topRow()) Invalidate();
}

void WGrid::SetOptions(int gridOptions) { layout_.setOptions(gridOptions); }

void WGrid::SetScrollBars(ScrollBars bars) {
  scrollBars_ = bars;
  setHorizontalScrollBarPolicy(bars == ssHorizontal || bars == ssBoth ? Qt::ScrollBarAsNeeded
                                                                      : Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(bars == ssVertical || bars == ssBoth ? Qt::ScrollBarAsNeeded
                                                                  : Qt::ScrollBarAlwaysOff);
  syncScrollBars();
}

void WGrid::syncScrollBars() {
  if (syncing_) return;
  syncing_ = true;
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, layout_.maxTopRow() - layout_.fixedRows());
  v->setPageStep(layout_.visibleRows());
  v->setSingleStep(1);
  v->setValue(layout_.topRow() - layout_.fixedRows());
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, layout_.maxLeftOffset());
  h->setPageStep(std::max(1, layout_.clientWidth() - layout_.fixedWidth()));
  h->setSingleStep(layout_.defaultRowHeight());
  h->setValue(layout_.leftOffset());
  syncing_ = false;
}

void WGrid::scrollContentsBy(int, int) {
  if (syncing_) return;
  layout_.setTopRow(verticalScrollBar()->value() + layout_.fixedRows());
  layout_.setLeftOffset(horizontalScrollBar()->value());
  Invalidate();
}

void WGrid::InvalidateCell(int col, int row) {
  const QRect r = layout_.cellRect(col, row);
  if (!r.isEmpty()) viewport()->update(r);
}

void WGrid::InvalidateRow(int row) {
  const QRect r = layout_.cellRect(0, row);
  if (r.height() > 0) viewport()->update(QRect(0, r.y(), viewport()->width(), r.height()));
}

void WGrid::Invalidate() { viewport()->update(); }

void WGrid::DrawCell(QPainter& p, int col, int row, const QRect& rect, int state) {
  Q_UNUSED(col);
  Q_UNUSED(row);
  if (!defaultDrawing_) return;
  p.fillRect(rect, (state & gdFixed) ? palette().color(QPalette::Button) : Color());
}

void WGrid::paintEvent(QPaintEvent* e) {
  ++paintCount_;
  QPainter p(viewport());
  const QRect clip = e->rect();
  p.setClipRect(clip);
  p.fillRect(clip, Color());
  const GridLayout& L = layout_;
  std::vector<int> rows;
  for (int r = 0; r < std::min(L.fixedRows(), L.rowCount()); ++r) rows.push_back(r);
  for (int r = L.topRow(); r < L.rowCount(); ++r) {
    if (L.cellRect(0, r).y() >= viewport()->height()) break;
    rows.push_back(r);
  }
  for (int r : rows) {
    for (int c = 0; c < L.colCount(); ++c) {
      const QRect cr = L.cellRect(c, r);
      if (cr.isEmpty() || !cr.intersects(clip)) continue;
      int state = 0;
      if (r < L.fixedRows() || c < L.fixedCols()) state |= gdFixed;
      else if (r == L.row() && (c == L.col() || (L.options() & GridLayout::RowSelect))) {
        state |= gdSelected;
        if (hasFocus()) state |= gdFocused;
      }
      p.save();
      p.setClipRect(cr.intersected(clip));
      DrawCell(p, c, r, cr, state);
      p.restore();
    }
  }
}

void WGrid::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  const int old = layout_.row();
  layout_.setClientSize(viewport()->width(), viewport()->height());
  layoutChanged(old);
  Resized();
}

bool WGrid::viewportEvent(QEvent* e) {
  if (e->type() == QEvent::Leave) MouseLeave();
  if (e->type() == QEvent::Resize) {
    layout_.setClientSize(viewport()->width(), viewport()->height());
    syncScrollBars();
  }
  return QAbstractScrollArea::viewportEvent(e);
}

void WGrid::RowMoved(int oldRow, int newRow) {
  InvalidateRow(oldRow);
  InvalidateRow(newRow);
}

void WGrid::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) {
  if (OnMouseDown) OnMouseDown(this, button, mods, x, y);
  if (button != Qt::LeftButton) return;
  const int sc = layout_.sizingColumnAt(x, y);
  if (sc >= 0) {
    state_ = State::Sizing;
    sizingCol_ = sc;
    return;
  }
  const int r = layout_.rowAt(y), c = layout_.colAt(x);
  if ((layout_.options() & GridLayout::ColMoving) && r >= 0 && r < layout_.fixedRows() &&
      c >= layout_.fixedCols()) {
    state_ = State::Moving;
    movingCol_ = c;
    return;
  }
  if (r < layout_.fixedRows() || c < layout_.fixedCols()) return;
  const int old = layout_.row();
  layout_.setRow(r);
  layout_.setCol(c);
  layoutChanged(old);
  state_ = State::Selecting;
}

void WGrid::MouseMove(Qt::MouseButtons buttons, int x, int y) {
  if (OnMouseMove) OnMouseMove(this, buttons, x, y);
  if (state_ == State::Sizing) {
    const QRect r = layout_.cellRect(sizingCol_, 0);
    layout_.setColWidth(sizingCol_, std::max(1, x - r.x()));
    syncScrollBars();
    Invalidate();
    return;
  }
  if (state_ == State::Moving) {
    viewport()->setCursor(Qt::SizeHorCursor);
    return;
  }
  if (state_ == State::Selecting && (buttons & Qt::LeftButton)) {
    const int r = layout_.rowAt(y);
    if (r >= layout_.fixedRows() && r != layout_.row()) SetRow(r);
  }
  viewport()->setCursor(layout_.sizingColumnAt(x, y) >= 0 ? Qt::SplitHCursor : Qt::ArrowCursor);
}

void WGrid::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) {
  const State was = state_;
  state_ = State::Normal;
  if (was == State::Sizing) {
    ColWidthsChanged();
  } else if (was == State::Moving) {
    viewport()->unsetCursor();
    const int to = layout_.colAt(x);
    if (to >= layout_.fixedCols()) MoveColumn(movingCol_, to);
  } else if (was == State::Selecting) {
    // The row under the mouse is current now: let the descendants record
    // it before the click is served.
    MouseMove(Qt::NoButton, x, y);
    Click();
  }
  if (OnMouseUp) OnMouseUp(this, button, mods, x, y);
}

void WGrid::Click() {
  if (OnClick) OnClick(this);
}

void WGrid::DblClick() {
  if (OnDblClick) OnDblClick(this);
}

void WGrid::KeyDown(int& key, Qt::KeyboardModifiers mods) {
  if (OnKeyDown) OnKeyDown(this, key, mods);
  if (key == 0) return;
  const int old = layout_.row(), oldTop = layout_.topRow(), oldLeft = layout_.leftOffset();
  if (layout_.moveByKey(key, mods)) {
    layoutChanged(old);
    if (oldTop != layout_.topRow() || oldLeft != layout_.leftOffset()) Invalidate();
    // Moving the cursor from the keyboard is a click on the new cell.
    if (old != layout_.row()) Click();
  }
}

void WGrid::KeyPress(QChar& ch) {
  if (OnKeyPress) OnKeyPress(this, ch);
}

void WGrid::mousePressEvent(QMouseEvent* e) {
  const QPoint pt = e->position().toPoint();
  MouseDown(e->button(), e->modifiers(), pt.x(), pt.y());
  if (dragMode_ == dmAutomatic && e->button() == Qt::LeftButton && !drag().source) {
    BeginDrag(false);
    drag().startPos = drag().lastPos = e->globalPosition().toPoint();
  }
}

void WGrid::mouseMoveEvent(QMouseEvent* e) {
  const QPoint pt = e->position().toPoint();
  const QPoint global = e->globalPosition().toPoint();
  DragState& d = drag();
  if (d.source == this && !d.started && (global - d.startPos).manhattanLength() >= kDragThreshold) {
    d.started = true;
    state_ = State::Normal;
    if (OnStartDrag) OnStartDrag(this);
    viewport()->grabMouse(Qt::DragMoveCursor);
  }
  MouseMove(e->buttons(), pt.x(), pt.y());
  if (Dragging()) dragMoveTo(global);  // unless the move handler ended it
}

void WGrid::mouseReleaseEvent(QMouseEvent* e) {
  const QPoint pt = e->position().toPoint();
  if (drag().source == this) {
    const bool started = drag().started;
    if (started) drag().lastPos = e->globalPosition().toPoint();
    EndDrag(true);
    if (started) {
      state_ = State::Normal;
      return;  // a drop is no click
    }
  }
  MouseUp(e->button(), e->modifiers(), pt.x(), pt.y());
}

void WGrid::mouseDoubleClickEvent(QMouseEvent* e) {
  // A double click is its own event: it neither starts a selection nor
  // ends in a second click.
  if (e->button() == Qt::LeftButton) DblClick();
}

void WGrid::keyReleaseEvent(QKeyEvent* e) {
  if (OnKeyUp) OnKeyUp(this, e->key(), e->modifiers());
  QAbstractScrollArea::keyReleaseEvent(e);
}

void WGrid::keyPressEvent(QKeyEvent* e) {
  if (e->key() == Qt::Key_Escape && Dragging()) {
    EndDrag(false);
    e->accept();
    return;
  }
  int key = e->key();
  KeyDown(key, e->modifiers());
  const QString text = e->text();
  if (key != 0 && !(e->modifiers() & Qt::ControlModifier) && text.size() == 1 && text[0].isPrint()) {
    QChar ch = text[0];
    KeyPress(ch);
  }
  // Enter stays here so that a dialog's default button does not fire;
  // Escape still reaches the dialog.
  e->setAccepted(e->key() != Qt::Key_Escape);
}

void WGrid::focusInEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusInEvent(e);
  InvalidateRow(layout_.row());
  if (OnEnter) OnEnter(this);
}

void WGrid::focusOutEvent(QFocusEvent* e) {
  QAbstractScrollArea::focusOutEvent(e);
  InvalidateRow(layout_.row());
  if (OnExit) OnExit(this);
}

}  // namespace qlon::controls
