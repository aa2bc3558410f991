#include "WTree.h"

#include <QApplication>
#include <QEvent>
#include <QPainter>
#include <QPalette>

#include "TreeBitmaps.h"

namespace qlon::controls {

namespace {
constexpr int kButton = 18;  // button, check box and icon zones
constexpr int kAction = 18;
}  // namespace

TCustomWTree::TCustomWTree(QWidget* parent)
    : TWCustomGrid(parent), model_(this), hint_(std::make_unique<TUserHint>(this)) {
  resize(121, 97);
  SetColor(palette().color(QPalette::Base));
  SetDefaultRowHeight(18);
  SetDefaultDrawing(false);
  SetOptions(toActionZone);
  WGrid::SetOptions(0);
  SetFixedRows(0);
  SetFixedCols(0);
  SetColCount(1);
  SetRowCount(0);
}

TCustomWTree::~TCustomWTree() { destroying_ = true; }

void TCustomWTree::Clear() {
  model_.Clear();
  track_ = Tracking{};
  InitRoot();
}

int TCustomWTree::GetNodeIndexAt(int x, int y) {
  Q_UNUSED(x);
  const int row = layout().rowAt(y);
  TWTreeNode* n = row >= 0 ? model_.NodeAtRow(row) : nullptr;
  return n ? n->GetIndex() : -1;
}

void TCustomWTree::SetOptions(int bits) {
  if (bits == options_) return;
  options_ = bits;
  Invalidate();
}

void TCustomWTree::SetCheckStyle(quint8 style) {
  style = std::min<quint8>(style, 3);
  if (style == checkStyle_) return;
  checkStyle_ = style;
  Invalidate();
}

void TCustomWTree::SetStateBitmap(const QPixmap& pm) {
  stateBitmap_ = pm;
  const int h = pm.height();
  stateStrip_ = h > 0 ? ImageStrip(pm.toImage(), h, h, QColor(255, 0, 255)) : ImageStrip();
  Invalidate();
}

QFont TCustomWTree::nodeFont(TWTreeNode* n) const {
  QFont f = font();
  if (n->flags & TWTreeNode::nfBold) f.setBold(true);
  return f;
}

int TCustomWTree::textWidth(TWTreeNode* n) {
  if (n->cachedTextWidth < 0) n->cachedTextWidth = QFontMetrics(nodeFont(n)).horizontalAdvance(n->GetCaption());
  return n->cachedTextWidth;
}

TCustomWTree::Geometry TCustomWTree::layoutNode(TWTreeNode* n, int left) {
  Geometry g;
  g.buttonX = left + DefaultRowHeight() * (n->Level() - 1);
  int x = g.buttonX + kButton;
  auto add = [&](Zone::What what, int part, int w) {
    g.zones.push_back({what, part, x, w});
    x += w;
  };
  const bool check = n->flags & TWTreeNode::nfCheckBox;
  const bool state = (n->flags & TWTreeNode::nfStateImage) && !stateBitmap_.isNull();
  const int stateW = stateBitmap_.height() + 2;
  const bool checkFirst = options_ & toCheckFirst;
  const bool icon = n->kind == TWTreeNode::knFolder || n->kind == TWTreeNode::knFile;
  if (n->kind > TWTreeNode::knFileNoIcon) return g;
  if (n->kind == TWTreeNode::knText || checkFirst) {
    if (check) add(Zone::Box, npCheck, kButton);
    if (state) add(Zone::StateImage, npCheck, stateW);
    if (icon) add(Zone::Icon, npIcon, kButton);
  } else {
    if (state) add(Zone::StateImage, npCheck, stateW);
    if (icon) add(Zone::Icon, npIcon, kButton);
    if (check) add(Zone::Box, npCheck, kButton);
  }
  const int w = textWidth(n) + 1;
  g.textX = x + 2;
  g.textW = w + 1;
  add(Zone::Text, npText, 2 + g.textW);
  if (options_ & toActionZone) add(Zone::Action, npAction, kAction);
  return g;
}

int TCustomWTree::PartAt(int x, int y) {
  const int row = layout().rowAt(y);
  TWTreeNode* n = row >= 0 ? model_.NodeAtRow(row) : nullptr;
  if (!n) return npNone;
  const Geometry g = layoutNode(n, CellRect(0, row).x());
  if (x < g.buttonX) return npNone;
  if (n->HasChildren() && x < g.buttonX + kButton) return npButton;
  // A leaf has no button: its pixels belong to the zone after it.
  for (const Zone& z : g.zones)
    if (x < z.x + z.w) return z.part;
  return npNone;
}

bool TCustomWTree::selectedLook(int row) const {
  return dragOver_ ? row == track_.row : row == Row();
}

void TCustomWTree::DrawCell(QPainter& p, int col, int row, const QRect& rect, int) {
  if (col == 0) {
    PaintRow(p, row, rect, hasFocus());
    return;
  }
  p.fillRect(rect, Color());
  if (TWTreeNode* n = model_.NodeAtRow(row)) {
    p.setPen(palette().color(QPalette::Text));
    p.drawText(rect.adjusted(2, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
               n->GetCaption());
  }
}

void TCustomWTree::PaintRow(QPainter& p, int row, const QRect& rect, bool focused) {
  p.fillRect(rect, Color());
  if (model_.GetItemCount() == 0) return;
  TWTreeNode* n = model_.NodeAtRow(row);
  if (!n) return;
  const bool current = row == Row();
  const bool sel = selectedLook(row);
  const QFont font = nodeFont(n);
  p.setFont(font);
  const int top = rect.y();
  const int cellRight = rightOf(rect);
  const int drh = DefaultRowHeight();
  const ImageStrip& buttons = TreeButtonStrip();

  for (TWTreeNode* a = n->Parent(); a && a->Parent(); a = a->Parent())
    if (!a->IsLastChild()) buttons.draw(p, rect.x() + drh * (a->Level() - 1), top, 4, 0);

  const Geometry g = layoutNode(n, rect.x());
  const bool last = n->IsLastChild();
  int button = last ? 3 : 2;
  if (n->HasChildren()) button = n->GetExpanded() ? (last ? 5 : 0) : (last ? 6 : 1);
  buttons.draw(p, g.buttonX, top, button, 0);

  const bool dim = !n->GetEnabled() || (n->flags & TWTreeNode::nfGrayed);
  for (const Zone& z : g.zones) {
    if (z.what == Zone::Box) {
      const int st = n->checkState & 0x7F;
      // State 3 (partly checked) shows the checked mark on its silver square.
      int col = st == 3 ? 1 : std::min(st, 2);
      if (!n->GetEnabled()) col += 3;
      const int styleRow = std::min(3, checkStyle_ + ((n->flags & TWTreeNode::nfNextCheckStyle) ? 1 : 0));
      TreeCheckStrip().draw(p, z.x + 1, top + 1, col, styleRow, st == 3);
    } else if (z.what == Zone::StateImage) {
      stateStrip_.draw(p, z.x + 1, top + 1, n->checkState, 0);
    } else if (z.what == Zone::Icon) {
      if (n->kind == TWTreeNode::knFolder) {
        int col = dim ? 2 : (current ? 1 : 0);
        if (n->GetExpanded() || (current && !n->HasChildren())) col += 3;
        TreeFolderStrip().draw(p, z.x, top, col, std::min<int>(n->image, 16));
      } else {
        p.drawPixmap(z.x, top, FileTypeIcon(n->GetCaption(), current));
      }
    }
  }

  if (n->kind > TWTreeNode::knFileNoIcon) return;  // neither icon nor text

  // Text.
  const bool suffix = n->flags & TWTreeNode::nfSuffix;
  const QRect textRect = ltrb(g.textX, top, suffix ? cellRight : g.textX + g.textW, bottomOf(rect));
  const QPalette& pal = palette();
  if (sel) p.fillRect(textRect, pal.color(QPalette::Highlight));
  QColor ink = sel ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text);
  if (dim) ink = pal.color(QPalette::Disabled, QPalette::Text);
  p.setPen(ink);
  const QString caption = n->GetCaption();
  const int flagsText = Qt::TextSingleLine | Qt::AlignVCenter;
  const qsizetype hash = suffix ? caption.indexOf('#') : -1;
  if (hash >= 0) {
    p.drawText(ltrb(g.textX, top, cellRight, bottomOf(rect)), flagsText | Qt::AlignLeft, caption.left(hash));
    QFont italic = font;
    italic.setItalic(true);
    p.setFont(italic);
    // An italic's last letter leans past its advance: kept off the cell's edge.
    const int lean = QFontMetrics(italic).averageCharWidth() / 2 + 2;
    p.drawText(ltrb(g.textX, top, cellRight - lean, bottomOf(rect)), flagsText | Qt::AlignRight, caption.mid(hash + 1));
    p.setFont(font);
  } else {
    p.drawText(textRect, flagsText | Qt::AlignLeft, caption);
  }

  if (n->kind == TWTreeNode::knFile && current && (options_ & toActionZone)) {
    const QString ext = caption.contains('.') ? caption.section('.', -1) : QString();
    p.drawPixmap(g.textX + g.textW + 2, top + 1, AssociatedProgramIcon(ext, track_.currentRowPart == npAction));
  }
  if (current && focused) {
    QPen dotted(ink, 1, Qt::DotLine);
    p.setPen(dotted);
    p.setBrush(Qt::NoBrush);
    p.drawRect(textRect.adjusted(0, 0, -1, -1));
  }
}

void TCustomWTree::InvalidateNode(TWTreeNode* node) {
  const int row = model_.RowOf(node);
  if (row >= 0) InvalidateCell(0, row);
}

int TCustomWTree::CaptionWidth(int level, const QString& caption) const {
  return level * DefaultRowHeight() + 16 + QFontMetrics(font()).horizontalAdvance(caption) + 6;
}

int TCustomWTree::nodeWidth(TWTreeNode* n, TWTreeNode* selected) {
  int w = n->Level() * DefaultRowHeight() + (n->kind != 0 ? 16 : 0) + textWidth(n) + 6;
  if (n->flags & TWTreeNode::nfCheckBox) w += 16;
  if (n == selected && n->kind == TWTreeNode::knFile && (options_ & toActionZone)) w += 20;
  if ((n->flags & TWTreeNode::nfStateImage) && !stateBitmap_.isNull()) w += stateBitmap_.height() + 2;
  return w;
}

void TCustomWTree::NodeAdded(TWTreeNode* n) {
  // One more node only widens the column: no need to measure the others.
  if (destroying_ || !horizontalScroll() || !n->IsShown()) return;
  const int w = nodeWidth(n, model_.RawSelection());
  if (w > ColWidth(0)) SetColWidth(0, w);
}

void TCustomWTree::AdjustColumnWidth() {
  if (destroying_ || model_.Updating()) return;
  if (!horizontalScroll()) {
    SetColWidth(0, viewport()->width());
    return;
  }
  TWTreeNode* selected = model_.RawSelection();
  int widest = 0;
  std::vector<TWTreeNode*> pending;
  TWTreeNode* root = model_.Root();
  for (int i = root->ChildCount() - 1; i >= 0; --i) pending.push_back(root->Child(i));
  while (!pending.empty()) {
    TWTreeNode* n = pending.back();
    pending.pop_back();
    widest = std::max(widest, nodeWidth(n, selected));
    if (n->GetExpanded())
      for (int i = n->ChildCount() - 1; i >= 0; --i) pending.push_back(n->Child(i));
  }
  SetColWidth(0, std::max(widest, viewport()->width()));
}

void TCustomWTree::Resized() { AdjustColumnWidth(); }

void TCustomWTree::changeEvent(QEvent* e) {
  TWCustomGrid::changeEvent(e);
  if (e->type() == QEvent::FontChange) {
    model_.IterateNodes(model_.Root(), [](TWTreeNode* n) { n->cachedTextWidth = -1; return true; });
    AdjustColumnWidth();
  }
}

void TCustomWTree::BeforeExpand(TWTreeNode* n) { if (OnBeforeExpand) OnBeforeExpand(this, n); }
void TCustomWTree::AfterExpand(TWTreeNode* n) { if (OnAfterExpand) OnAfterExpand(this, n); }
void TCustomWTree::BeforeCollapse(TWTreeNode* n) { if (OnBeforeCollapse) OnBeforeCollapse(this, n); }
void TCustomWTree::AfterCollapse(TWTreeNode* n) { if (OnAfterCollapse) OnAfterCollapse(this, n); }

void TCustomWTree::NodeFreed(TWTreeNode* n) {
  if (track_.node == n) track_.node = nullptr;
}

void TCustomWTree::Beep() {
  if (OnBeep) OnBeep();
  else QApplication::beep();
}

void TCustomWTree::TrackMouse(int x, int y) {
  track_.pos = QPoint(x, y);
  track_.prevRow = track_.row;
  track_.prevPart = track_.part;
  track_.row = layout().rowAt(y);
  track_.node = track_.row >= 0 ? model_.NodeAtRow(track_.row) : nullptr;
  track_.part = track_.node ? PartAt(x, y) : npNone;
  const int oldCurrentPart = track_.currentRowPart;
  if (track_.row == Row() && track_.node) track_.currentRowPart = track_.part;
  else track_.currentRowPart = npNone;
  if ((options_ & toActionZone) && (oldCurrentPart == npAction) != (track_.currentRowPart == npAction))
    InvalidateRow(Row());
  if (track_.prevRow != track_.row) {
    InvalidateRow(track_.prevRow);
    InvalidateRow(track_.row);
  }
}

void TCustomWTree::SetDragOver(bool on) {
  if (dragOver_ == on) return;
  dragOver_ = on;
  Invalidate();
}

void TCustomWTree::DragOver(WGrid* source, int x, int y, TDragState state, bool& accept) {
  SetDragOver(state != dsDragLeave);
  TWCustomGrid::DragOver(source, x, y, state, accept);
}

void TCustomWTree::updateHint() {
  TWTreeNode* n = track_.node;
  if (n && track_.part == npText) {
    const int row = track_.row;
    const Geometry g = layoutNode(n, CellRect(0, row).x());
    if (g.textX + textWidth(n) > viewport()->width()) {
      const QPoint at = viewport()->mapToGlobal(QPoint(g.textX, CellRect(0, row).y())) - QPoint(1, 1);
      hint_->setFont(nodeFont(n));
      hint_->ShowHintAt(this, at, false, n->GetCaption());
      return;
    }
  }
  hint_->HideHint();
}

void TCustomWTree::MouseMove(Qt::MouseButtons buttons, int x, int y) {
  TWCustomGrid::MouseMove(buttons, x, y);
  const int prevRow = track_.row, prevPart = track_.part;
  TrackMouse(x, y);
  if (prevRow != track_.row || (prevPart == npText) != (track_.part == npText)) updateHint();
}

void TCustomWTree::MouseLeave() { hint_->HideHint(); }

void TCustomWTree::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) {
  TWCustomGrid::MouseDown(button, mods, x, y);
  model_.ClearSelection();
  model_.GetSelectedNode();
}

void TCustomWTree::selectCurrentRow() {
  if (model_.GetItemCount() == 0) return;
  if (TWTreeNode* n = model_.NodeAtRow(Row())) model_.SelectNode(n);
}

void TCustomWTree::ToggleCheck() {
  TWTreeNode* n = model_.GetSelectedNode();
  if (n == model_.Root() || !(n->flags & TWTreeNode::nfCheckBox) || !n->GetEnabled()) return;
  if (!((options_ & toCheckByHandler) && OnCheck)) {
    if (n->flags & TWTreeNode::nfThreeState) n->SetCheckState(TWTreeModel::NextCheckState(n->checkState));
    else n->SetChecked(!n->GetChecked());
  }
  if (OnCheck) OnCheck(this, n);
}

void TCustomWTree::Click() {
  selectCurrentRow();
  TWTreeNode* n = model_.GetSelectedNode();
  if (n != model_.Root()) {
    switch (track_.currentRowPart) {
      case npButton:
      case npIcon:
        if (n->HasChildren()) n->SetExpanded(!n->GetExpanded());
        break;
      case npCheck: ToggleCheck(); break;
      case npAction:
        if (OnAction) OnAction(this, n);
        break;
      default: break;
    }
  }
  TWCustomGrid::Click();
}

void TCustomWTree::DblClick() {
  selectCurrentRow();
  TWTreeNode* n = model_.GetSelectedNode();
  if (n != model_.Root() && (track_.currentRowPart == npText || track_.currentRowPart == npAction) && OnAction)
    OnAction(this, n);
  TWCustomGrid::DblClick();
}

void TCustomWTree::KeyDown(int& key, Qt::KeyboardModifiers mods) {
  // Clicks raised by keys are no clicks on a part of a node.
  track_.currentRowPart = npNone;
  TWCustomGrid::KeyDown(key, mods);
  if (key == 0 || model_.GetItemCount() == 0) return;
  const int rowAfterGrid = Row();
  treeKey(key, mods);
  if (Row() != rowAfterGrid) Click();
}

void TCustomWTree::treeKey(int key, Qt::KeyboardModifiers mods) {
  TWTreeNode* n = model_.NodeAtRow(Row());
  if (!n) return;
  const bool ctrl = mods & Qt::ControlModifier;
  TWTreeNode* root = model_.Root();
  switch (key) {
    case Qt::Key_Right:
      if (n->HasChildren() && n->GetExpanded()) model_.SelectNode(n->Child(0));
      else Beep();
      return;
    case Qt::Key_Left:
      if (n->Parent() == root) Beep();
      else model_.SelectNode(n->Parent());
      return;
    case Qt::Key_Up:
      if (!ctrl) break;
      if (TWTreeNode* s = n->PrevSibling()) model_.SelectNode(s);
      else Beep();
      return;
    case Qt::Key_Down:
      if (!ctrl) break;
      if (TWTreeNode* s = n->NextSibling()) model_.SelectNode(s);
      else Beep();
      return;
    case Qt::Key_Asterisk:
      if (ctrl && (mods & Qt::KeypadModifier)) {
        FullExpand();
        return;
      }
      break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      model_.SelectNode(n);
      if (n->HasChildren()) n->SetExpanded(!n->GetExpanded());
      else {
        // A leaf's Enter is its action, wherever the mouse was last.
        if (OnAction) OnAction(this, n);
        TWCustomGrid::DblClick();
      }
      return;
    case Qt::Key_Space:
      model_.SelectNode(n);
      ToggleCheck();
      return;
    case Qt::Key_End: {
      TWTreeNode* last = root->LastChild();
      while (last->GetExpanded() && last->HasChildren()) last = last->LastChild();
      model_.SelectNode(last);
      return;
    }
    case Qt::Key_Home: model_.SelectNode(root->Child(0)); return;
    default: break;
  }
  model_.SelectNode(model_.NodeAtRow(Row()));
}

void TCustomWTree::KeyPress(QChar& ch) {
  TWCustomGrid::KeyPress(ch);
  if (ch.isNull()) return;
  TWTreeNode* n = model_.GetSelectedNode();
  if (n == model_.Root()) return;
  if (ch == '*') n->FullExpand();
  else if (ch == '+') n->SetExpanded(true);
  else if (ch == '-') n->SetExpanded(false);
}

}  // namespace qlon::controls
