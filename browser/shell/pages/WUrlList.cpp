#include "WUrlList.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <algorithm>

#include "Gdi.h"
#include "MenusEx.h"
#include "Profile.h"
#include "Texts.h"
#include "TextFit.h"
#include "TreeBitmaps.h"
#include "Web.h"
#include "WebFile.h"

namespace qlon {

using controls::WGrid;

namespace {

constexpr const char* kColsSection = "cols";

TColHeader Column(int id) { return *DefaultColumn(id); }

TUrlListLayout Make(std::initializer_list<int> ids, int sortColumn = skNone, int sortOrder = soNone) {
  TUrlListLayout layout;
  layout.SortColumn = sortColumn;
  layout.SortOrder = sortOrder;
  for (int id : ids) layout.Cols.push_back(Column(id));
  return layout;
}

// A 10 x 10 check mark on magenta, the key colour of the program's strips.
QPixmap MakeMarkBitmap() {
  QImage img(TWUrlList::kMarkBox, TWUrlList::kMarkBox, QImage::Format_RGB32);
  img.fill(QColor(255, 0, 255));
  QPainter p(&img);
  p.setPen(QPen(QColor(0, 0, 128), 2));
  p.drawLine(2, 5, 4, 8);
  p.drawLine(4, 8, 8, 2);
  p.end();
  QPixmap pm = QPixmap::fromImage(img);
  pm.setMask(pm.createMaskFromColor(QColor(255, 0, 255)));
  return pm;
}

std::pair<int, int> ParsePair(const std::string& text, bool& ok) {
  const size_t comma = text.find(',');
  ok = false;
  if (comma == std::string::npos) return {0, 0};
  bool a = false, b = false;
  const int x = QString::fromStdString(text.substr(0, comma)).trimmed().toInt(&a);
  const int y = QString::fromStdString(text.substr(comma + 1)).trimmed().toInt(&b);
  ok = a && b;
  return {x, y};
}

}  // namespace

std::string StyleName(TWUrlListStyle style) {
  static constexpr const char* names[] = {"",       "HTML",    "Fichier", "Images",  "Sons",
                                          "Vidéos", "Erreurs", "Filtres", "Sockets", "Map"};
  return style <= usMapList ? names[style] : "";
}

TUrlListLayout DefaultLayout(TWUrlListStyle style) {
  switch (style) {
    case usHtml:
      return Make({0, 1, 2, 5, 8});
    case usFile:
      return Make({0, 4, 3, 5, 2});
    case usImages:
      return Make({0, 4, 6, 7, 5, 2});
    case usSound:
    case usVideo:
      return Make({0, 4, 3, 5, 2});
    case usErrors:
      return Make({0, 8, 2});
    case usFiltered:
      return Make({0, 8});
    case usRequest:
      return Make({0, 8, 5});
    case usMapList:
      return Make({0, 9, 10, 6, 7});
    default:
      return Make({0});
  }
}

TWUrlList::TWUrlList(TWUrlListStyle first, TWUrlListStyle last, QWidget* parent)
    : TWCustomGrid(parent), first_(first), last_(last) {
  setObjectName("WUrlList");
  for (int s = 0; s < int(layouts_.size()); ++s) layouts_[size_t(s)] = DefaultLayout(TWUrlListStyle(s));
  markBitmap_ = MakeMarkBitmap();
  SetFixedCols(0);
  SetFixedRows(1);
  SetRowCount(1);
  SetDefaultRowHeight(fontMetrics().height() + 4);
  SetOptions(controls::GridLayout::ColSizing | controls::GridLayout::RowSelect | controls::GridLayout::ColMoving);
  buildColumnMenu();
  OnPopupMenu = [](QMenu* menu, QPoint pos) { menu->popup(pos); };
  SetStyle(first);
}

TWUrlList::~TWUrlList() = default;

// ------------------------------------------------------------------ rows

void TWUrlList::SetWeb(TWeb* web) {
  if (web == list_.Web()) return;
  list_.SetWeb(web);
  currentUrls_.fill({});
  Reload();
}

void TWUrlList::Reload() {
  DropPending();
  const std::string current = list_.Url(CurrentIndex());
  list_.Clear();
  selectedCount_ = markedCount_ = 0;
  if (!NoExplore && list_.Web()) {
    const bool report = style_ >= usHtml && style_ <= usFiltered && OnProgress;
    const int total = int(std::min<uint32_t>(list_.Web()->GetCount(), INT32_MAX));
    std::function<void(int)> progress;
    if (report) {
      OnProgress(this, 0, total);
      progress = [this, total](int visited) { OnProgress(this, visited, total); };
    }
    list_.Fill(style_, progress);
    if (report) OnProgress(this, -1, total);
  }
  syncRows();
  restoreCurrent(current);
  changed();
}

void TWUrlList::DropPending() {
  sortPending_ = dragPending_ = false;
  sortCol_ = -1;
}

void TWUrlList::syncRows() {
  SetRowCount(1 + list_.Count());
  Invalidate();
}

void TWUrlList::changed() {
  if (Onchange) Onchange(this);
}

void TWUrlList::restoreCurrent(const std::string& url) {
  const int i = url.empty() ? -1 : list_.Find(url);
  SetRow(i >= 0 ? i + 1 : 1);
}

int TWUrlList::CurrentIndex() const {
  const int i = Row() - 1;
  return i >= 0 && i < list_.Count() ? i : -1;
}

bool TWUrlList::CurrentRecord(TWebFile& record) const { return list_.Lookup(CurrentIndex(), record); }

void TWUrlList::WebFileChanged(const TWebFile& record) {
  TWeb* web = list_.Web();
  if (!web) return;
  const std::string current = list_.Url(CurrentIndex());
  const int i = list_.Find(record.FullUrl);
  const bool listed = BelongsToStyle(style_, record, *web);
  if (listed && i >= 0) {
    const int at = list_.Update(record);
    if (at == i) {
      InvalidateRow(i + 1);
      return;
    }
  } else if (listed) {
    list_.Add(record);
  } else if (i >= 0) {
    const uint8_t flags = list_.Flags(i);
    if (flags & TUrlList::rfSelected) --selectedCount_;
    if (flags & TUrlList::rfMarked) --markedCount_;
    list_.Delete(i);
  } else {
    return;
  }
  syncRows();
  restoreCurrent(current);
  changed();
}

int TWUrlList::AddRecord(const TWebFile& record) {
  const int i = list_.Add(record);
  syncRows();
  changed();
  return i;
}

void TWUrlList::forEachFlag(uint8_t flag, const std::function<bool(TWebFile&)>& callback) {
  TWeb* web = list_.Web();
  if (!web) return;
  // The URLs first: a callback may change the records and so the rows.
  std::vector<std::string> urls;
  for (int i = 0; i < list_.Count(); ++i)
    if (list_.Flags(i) & flag) urls.push_back(list_.Url(i));
  TWebFile record(web);
  for (const std::string& url : urls)
    if (web->FindUrl(url, record) && !callback(record)) break;
}

void TWUrlList::ForEachSelected(const std::function<bool(TWebFile&)>& callback) {
  forEachFlag(TUrlList::rfSelected, callback);
}

void TWUrlList::ForEachMarked(const std::function<bool(TWebFile&)>& callback) {
  forEachFlag(TUrlList::rfMarked, callback);
}

// ---------------------------------------------------------------- styles

void TWUrlList::SetStyle(TWUrlListStyle style) {
  if (style < first_ || style > last_) return;
  if (style == style_) {
    Invalidate();
    return;
  }
  if (OnStyleChanging) OnStyleChanging(this, style);
  if (style_ != usNone) {
    StoreLiveLayout();
    currentUrls_[style_] = list_.Url(CurrentIndex());
  }
  style_ = style;
  applyColumns();
  if (style == usRequest) NoSort = true;
  list_.Clear();
  selectedCount_ = markedCount_ = 0;
  syncRows();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  Reload();
  restoreCurrent(currentUrls_[style_]);
  if (OnStyleChanged) OnStyleChanged(this);
}

void TWUrlList::applyColumns() {
  const TUrlListLayout& layout = layouts_[style_];
  cols_ = layout.Cols;
  if (cols_.empty()) cols_.push_back(Column(0));
  SetColCount(int(cols_.size()));
  for (int c = 0; c < int(cols_.size()); ++c) SetColWidth(c, std::max(1, cols_[size_t(c)].Width));
  list_.SetSort(NoSort ? skNone : layout.SortColumn, NoSort ? soNone : layout.SortOrder);
  Invalidate();
}

void TWUrlList::StoreLiveLayout() {
  if (style_ == usNone) return;
  TUrlListLayout& layout = layouts_[style_];
  for (int c = 0; c < int(cols_.size()); ++c) cols_[size_t(c)].Width = ColWidth(c);
  layout.Cols = cols_;
  if (!NoSort) {
    layout.SortColumn = list_.SortColumn();
    layout.SortOrder = list_.SortOrder();
  }
}

void TWUrlList::SetLayout(TWUrlListStyle style, const TUrlListLayout& layout) {
  if (style > usMapList) return;
  layouts_[style] = layout;
  if (layouts_[style].Cols.size() > size_t(kMaxColumns)) layouts_[style].Cols.resize(kMaxColumns);
  if (style == style_) {
    applyColumns();
    list_.Sort();
    Invalidate();
  }
}

void TWUrlList::LoadLayouts(const std::filesystem::path& iniFile) {
  StoreLiveLayout();
  for (int s = first_; s <= last_; ++s) {
    TUrlListLayout layout = layouts_[size_t(s)];
    const std::string name = StyleName(TWUrlListStyle(s));
    const int count = std::clamp(
        profile::GetPrivateProfileInt(kColsSection, name + "_ColCount", int(layout.Cols.size()), iniFile), 1,
        kMaxColumns);
    // A longer layout starts its new columns on ids it does not show yet.
    for (int id = 0; int(layout.Cols.size()) < count && id <= 10; ++id)
      if (std::none_of(layout.Cols.begin(), layout.Cols.end(), [&](const TColHeader& c) { return c.Id == id; }))
        layout.Cols.push_back(Column(id));
    layout.Cols.resize(size_t(count), Column(0));
    bool ok = false;
    const std::string sort = profile::GetPrivateProfileString(kColsSection, name + "_Sort", "", iniFile);
    if (auto [column, order] = ParsePair(sort, ok); ok && column >= skNone && column <= skMapName && order >= 0 &&
                                                     order <= soAscending) {
      layout.SortColumn = column;
      layout.SortOrder = order;
    }
    for (int i = 0; i < count; ++i) {
      const std::string value =
          profile::GetPrivateProfileString(kColsSection, name + "_Col" + std::to_string(i), "", iniFile);
      auto [width, id] = ParsePair(value, ok);
      if (!ok || !DefaultColumn(id) || width < 1 || width > 4096) continue;
      TColHeader col = Column(id);
      col.Width = width;
      layout.Cols[size_t(i)] = col;
    }
    layouts_[size_t(s)] = layout;
  }
  if (style_ != usNone) {
    applyColumns();
    list_.Sort();
    Invalidate();
  }
}

void TWUrlList::SaveLayouts(const std::filesystem::path& iniFile) {
  StoreLiveLayout();
  for (int s = first_; s <= last_; ++s) {
    const TUrlListLayout& layout = layouts_[size_t(s)];
    const std::string name = StyleName(TWUrlListStyle(s));
    profile::WritePrivateProfileString(kColsSection, name + "_ColCount", std::to_string(layout.Cols.size()),
                                       iniFile);
    profile::WritePrivateProfileString(
        kColsSection, name + "_Sort",
        std::to_string(layout.SortColumn) + "," + std::to_string(layout.SortOrder), iniFile);
    for (size_t i = 0; i < layout.Cols.size(); ++i)
      profile::WritePrivateProfileString(
          kColsSection, name + "_Col" + std::to_string(i),
          std::to_string(layout.Cols[i].Width) + "," + std::to_string(layout.Cols[i].Id), iniFile);
  }
}

void TWUrlList::ColumnMoved(int from, int to) {
  if (from < 0 || to < 0 || from >= int(cols_.size()) || to >= int(cols_.size())) return;
  TColHeader moved = cols_[size_t(from)];
  cols_.erase(cols_.begin() + from);
  cols_.insert(cols_.begin() + to, moved);
  StoreLiveLayout();
}

void TWUrlList::SortByColumn(int col) {
  if (NoSort || col < 0 || col >= int(cols_.size())) return;
  const int key = SortKeyOfColumn(cols_[size_t(col)].Id);
  if (key == skNone) return;
  applySort(key, key == list_.SortColumn() && list_.SortOrder() == soAscending ? soDescending : soAscending);
}

void TWUrlList::applySort(int key, int order) {
  const std::string current = list_.Url(CurrentIndex());
  list_.SetSort(key, order);
  layouts_[style_].SortColumn = key;
  layouts_[style_].SortOrder = order;
  restoreCurrent(current);
  Invalidate();
  if (OnSortChange) OnSortChange(this);
}

// --------------------------------------------------------- column menu

void TWUrlList::buildColumnMenu() {
  columnMenu_ = new controls::TPopupMenuEx(this);
  columnMenu_->setObjectName("WUrlListMenu");
  auto caption = [](int i) { return QString::fromUtf8(TextAt(kColumnMenuCaptions, i).data()); };
  auto sortBy = [this](int order) {
    if (NoSort || menuCol_ < 0 || menuCol_ >= int(cols_.size())) return;
    if (const int key = SortKeyOfColumn(cols_[size_t(menuCol_)].Id)) applySort(key, order);
  };
  columnMenu_->addAction(caption(0), this, [=] { sortBy(soAscending); });
  columnMenu_->addAction(caption(1), this, [=] { sortBy(soDescending); });
  columnMenu_->addAction(caption(2), this, [this] {
    if (menuCol_ > 0) MoveColumn(menuCol_, menuCol_ - 1);
  });
  columnMenu_->addAction(caption(3), this, [this] {
    if (menuCol_ >= 0 && menuCol_ + 1 < int(cols_.size())) MoveColumn(menuCol_, menuCol_ + 1);
  });
  columnMenu_->addAction(caption(4), this, [this] {
    if (menuCol_ < 0 || menuCol_ >= int(cols_.size()) || cols_.size() < 2) return;
    StoreLiveLayout();
    layouts_[style_].Cols.erase(layouts_[style_].Cols.begin() + menuCol_);
    applyColumns();
  });
  QMenu* add = columnMenu_->addMenu(caption(5));
  connect(add, &QMenu::aboutToShow, this, [this, add] {
    add->clear();
    for (int id = 0; id <= 10; ++id) {
      if (std::any_of(cols_.begin(), cols_.end(), [&](const TColHeader& c) { return c.Id == id; })) continue;
      add->addAction(QString::fromStdString(Column(id).Caption), this, [this, id] {
        if (int(cols_.size()) >= kMaxColumns) return;
        StoreLiveLayout();
        auto& cols = layouts_[style_].Cols;
        const int at = menuCol_ >= 0 && menuCol_ < int(cols.size()) ? menuCol_ + 1 : int(cols.size());
        cols.insert(cols.begin() + at, Column(id));
        applyColumns();
      });
    }
  });
}

void TWUrlList::popup(QMenu* menu, QPoint local) {
  if (menu && OnPopupMenu) OnPopupMenu(menu, viewport()->mapToGlobal(local));
}

// ------------------------------------------------------ selection, marks

void TWUrlList::MarkOperation(bool selectedOnly, int op) {
  if (!HasMarks()) return;
  int marked = 0;
  for (int i = 0; i < list_.Count(); ++i) {
    uint8_t flags = list_.Flags(i);
    if (!selectedOnly || (flags & TUrlList::rfSelected)) {
      if (op == 0)
        flags &= uint8_t(~TUrlList::rfMarked);
      else if (op == 1)
        flags |= TUrlList::rfMarked;
      else
        flags ^= TUrlList::rfMarked;
      list_.SetFlags(i, flags);
    }
    if (flags & TUrlList::rfMarked) ++marked;
  }
  markedCount_ = marked;
  Invalidate();
}

void TWUrlList::ClearMarks() {
  MarkOperation(false, 0);
  markedCount_ = 0;
  Invalidate();
  shiftHeld_ = ctrlHeld_ = false;
}

void TWUrlList::Invert() {
  SelectRow(Row(), 1);
  MarkOperation(true, 2);
}

void TWUrlList::ClearSelection() {
  if (selectedCount_ == 0) return;
  for (int i = 0; i < list_.Count(); ++i) list_.SetFlags(i, list_.Flags(i) & uint8_t(~TUrlList::rfSelected));
  selectedCount_ = 0;
  Invalidate();
}

void TWUrlList::SelectRow(int row, int op) {
  const int i = row - 1;
  if (i < 0 || i >= list_.Count()) return;
  const uint8_t flags = list_.Flags(i);
  const bool was = flags & TUrlList::rfSelected;
  const bool now = op == 0 ? false : op == 1 ? true : !was;
  if (was == now) return;
  list_.SetFlags(i, now ? flags | TUrlList::rfSelected : flags & uint8_t(~TUrlList::rfSelected));
  selectedCount_ += now ? 1 : -1;
  InvalidateRow(row);
}

void TWUrlList::SelectRange(int first, int last, int op) {
  if (first > last) std::swap(first, last);
  for (int r = first; r <= last; ++r) SelectRow(r, op);
  for (int r = first; r <= last; ++r) InvalidateRow(r);
}

// ---------------------------------------------------------------- input

void TWUrlList::KeyDown(int& key, Qt::KeyboardModifiers mods) {
  if (TriggerPopupShortcut(key, mods)) {
    key = 0;
    return;
  }
  if (key != Qt::Key_Space && key != Qt::Key_Control && !shiftHeld_ && selectedCount_ > 0) ClearSelection();
  switch (key) {
    case Qt::Key_Shift:
      if (!shiftHeld_) {
        anchor_ = lastRow_ = Row();
        shiftHeld_ = true;
      }
      break;
    case Qt::Key_Control:
      if (!ctrlHeld_) {
        anchor_ = lastRow_ = Row();
        ctrlHeld_ = true;
      }
      break;
    case Qt::Key_Escape:
      ClearMarks();
      break;
    case Qt::Key_Space:
      Invert();
      break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
      TWCustomGrid::KeyDown(key, mods);
      if (shiftHeld_ || ctrlHeld_) SelectRange(lastRow_, Row(), 1);
      lastRow_ = Row();
      return;
    case Qt::Key_Up:
      if (shiftHeld_) {
        SelectRow(Row(), Row() > anchor_ ? 0 : 1);
        lastRow_ = Row();
      }
      break;
    case Qt::Key_Down:
      if (shiftHeld_) {
        SelectRow(Row(), Row() < anchor_ ? 0 : 1);
        lastRow_ = Row();
      }
      break;
    default:
      break;
  }
  TWCustomGrid::KeyDown(key, mods);
}

void TWUrlList::keyReleaseEvent(QKeyEvent* e) {
  // The range ends with the key that began it.
  if (e->key() == Qt::Key_Shift) shiftHeld_ = false;
  if (e->key() == Qt::Key_Control) ctrlHeld_ = false;
  TWCustomGrid::keyReleaseEvent(e);
}

bool TWUrlList::TriggerPopupShortcut(int key, Qt::KeyboardModifiers mods) {
  // The style menu's shortcuts work while the list has the focus, as its
  // menu's would on a right click; the menu is brought up to date first.
  if (!(mods & Qt::ControlModifier) || key == Qt::Key_Control || style_ > usMapList) return false;
  QMenu* menu = popups_[style_];
  if (!menu) return false;
  emit menu->aboutToShow();
  const QKeySequence pressed(QKeyCombination(mods & ~Qt::KeypadModifier, Qt::Key(key)));
  for (QAction* action : menu->actions()) {
    if (action->isSeparator() || action->shortcut() != pressed) continue;
    if (action->isEnabled()) action->trigger();
    return true;
  }
  return false;
}

void TWUrlList::focusOutEvent(QFocusEvent* e) {
  shiftHeld_ = ctrlHeld_ = false;
  DropPending();
  TWCustomGrid::focusOutEvent(e);
}

TWUrlList::HeaderHit TWUrlList::HeaderHitTest(int x, int y) const {
  const auto& L = layout();
  if (L.rowAt(y) != 0) return hhNone;
  if (L.sizingColumnAt(x, y) >= 0) return hhSizing;
  const int c = L.colAt(x);
  if (c < 0) return hhNone;
  return x - L.cellRect(c, 0).x() < kGripWidth ? hhDrag : hhSort;
}

void TWUrlList::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) {
  DropPending();
  const int pressRow = layout().rowAt(y);
  if (button == Qt::RightButton) {
    if (pressRow == 0) {
      menuCol_ = layout().colAt(x);
      popup(columnMenu_, QPoint(x, y));
    } else if (style_ <= usMapList) {
      popup(popups_[style_], QPoint(x, y));
    }
    return;
  }
  if (pressRow == 0) {
    const HeaderHit hit = button == Qt::LeftButton ? HeaderHitTest(x, y) : hhNone;
    if (hit == hhSort) {
      sortPending_ = true;
      sortCol_ = layout().colAt(x);
      InvalidateRow(0);
      if (OnMouseDown) OnMouseDown(this, button, mods, x, y);
    } else {
      if (hit == hhDrag) {
        dragPending_ = true;
        InvalidateRow(0);
      }
      TWCustomGrid::MouseDown(button, mods, x, y);
    }
  } else {
    const int before = Row();
    if (shiftHeld_ && !ctrlHeld_ && anchor_ == before) lastRow_ = before;
    TWCustomGrid::MouseDown(button, mods, x, y);
    if (pressRow > 0 && button == Qt::LeftButton) {
      // Ctrl adds or removes one row, Shift selects from the anchor.
      if (ctrlHeld_) {
        if (selectedCount_ == 0 && before != Row()) SelectRow(before, 1);
        SelectRow(Row(), 2);
      } else if (shiftHeld_) {
        SelectRange(anchor_, Row(), 1);
      }
      lastRow_ = Row();
    }
  }
  if (!shiftHeld_ && !ctrlHeld_ && selectedCount_ > 0) ClearSelection();
}

void TWUrlList::MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) {
  if (sortPending_) {
    const int col = sortCol_;
    sortPending_ = false;
    sortCol_ = -1;
    InvalidateRow(0);
    SortByColumn(col);
  }
  if (dragPending_) {
    dragPending_ = false;
    InvalidateRow(0);
  }
  TWCustomGrid::MouseUp(button, mods, x, y);
}

void TWUrlList::Click() {
  TWCustomGrid::Click();
  TWebFile record(list_.Web());
  if (OnWebFileClick && CurrentRecord(record)) OnWebFileClick(this, record);
}

void TWUrlList::DblClick() {
  TWCustomGrid::DblClick();
  TWebFile record(list_.Web());
  if (OnWebFileDblClick && CurrentRecord(record)) OnWebFileDblClick(this, record);
}

// -------------------------------------------------------------- drawing

QString TWUrlList::CellText(const TWebFile& record, int columnId) const {
  switch (columnId) {
    case 0:
      return QString::fromStdString(record.FullUrl);
    case 1:
      return QString::fromStdString(record.GetTitle());
    case 2: {
      const double days = record.GetFileDate();
      if (days == 0) return {};
      const QDateTime t = QDateTime(QDate(1899, 12, 30), QTime(0, 0)).addMSecs(qint64(days * 86400000.0 + 0.5));
      return t.toString("dd/MM/yyyy HH:mm:ss");
    }
    case 3:
      return record.Owner ? QString::fromStdString(GetContentType(record)) : QString();
    case 4:
    case 9:
      return QString::fromStdString(record.GetFileName());
    case 5:
      return QString::fromStdString(record.GetSizeText());
    case 6:
      return QString::number(record.GetWidth());
    case 7:
      return QString::number(record.GetHeight());
    case 8:
      return QString::fromStdString(record.GetStateText());
    case 10: {
      const TWeb* web = list_.Web();
      if (!web) return {};
      const int m = web->Maps.IndexOfName(record.GetLocalName());
      return m >= 0 ? QString::fromStdString(web->Maps[m].PageUrl) : QString();
    }
    default:
      return {};
  }
}

void TWUrlList::DrawCell(QPainter& p, int col, int row, const QRect& rect, int state) {
  Q_UNUSED(state);
  PaintCell(p, col, row, rect);
}

void TWUrlList::drawHeader(QPainter& p, int col, const QRect& rect) {
  const bool pressed = (sortPending_ && sortCol_ == col) || (dragPending_ && Col() == col);
  p.fillRect(rect, palette().color(pressed ? QPalette::Mid : QPalette::Button));
  controls::draw3dFrame(p, rect, palette().color(pressed ? QPalette::Dark : QPalette::Light),
                        palette().color(pressed ? QPalette::Light : QPalette::Dark));
  if (col < 0 || col >= int(cols_.size())) return;
  // The drag grip: two short ridges at the left edge.
  p.setPen(palette().color(QPalette::Dark));
  const int gy = rect.y() + rect.height() / 2;
  p.drawLine(rect.x() + 3, gy - 3, rect.x() + 3, gy + 3);
  p.drawLine(rect.x() + 5, gy - 3, rect.x() + 5, gy + 3);
  QRect text = rect.adjusted(kGripWidth, 0, -2, 0);
  const bool sorted = !NoSort && list_.SortOrder() != soNone &&
                      SortKeyOfColumn(cols_[size_t(col)].Id) == list_.SortColumn() && list_.SortColumn() != skNone;
  if (sorted && text.width() > 12) {
    // The sort arrow: pointing up for ascending, down for descending.
    const int ax = controls::rightOf(text) - 8, ay = gy;
    QPolygon arrow;
    if (list_.SortOrder() == soAscending)
      arrow << QPoint(ax - 4, ay + 2) << QPoint(ax + 4, ay + 2) << QPoint(ax, ay - 3);
    else
      arrow << QPoint(ax - 4, ay - 2) << QPoint(ax + 4, ay - 2) << QPoint(ax, ay + 3);
    p.setBrush(palette().color(QPalette::ButtonText));
    p.setPen(Qt::NoPen);
    p.drawPolygon(arrow);
    text.setRight(text.right() - 14);
  }
  p.setPen(palette().color(QPalette::ButtonText));
  const QString caption = QString::fromStdString(cols_[size_t(col)].Caption);
  p.drawText(text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
             controls::FitTextEllipsis(p.fontMetrics(), caption, text.width(), false));
}

void TWUrlList::PaintCell(QPainter& p, int col, int row, const QRect& rect) {
  if (row == 0) {
    drawHeader(p, col, rect);
    return;
  }
  const int i = row - 1;
  TWebFile record(list_.Web());
  if (col < 0 || col >= int(cols_.size()) || !list_.Lookup(i, record)) return;
  const uint8_t flags = list_.Flags(i);
  const bool highlight = style_ != usRequest && (row == Row() || (flags & TUrlList::rfSelected));
  p.fillRect(rect, highlight ? palette().color(QPalette::Highlight) : Color());
  const QColor ink = highlight ? palette().color(QPalette::HighlightedText) : palette().color(QPalette::Text);
  const int id = cols_[size_t(col)].Id;
  int x = rect.x() + 4;
  if (col == 0) {
    const int by = rect.y() + (rect.height() - kMarkBox) / 2;
    if ((flags & TUrlList::rfMarked) && HasMarks()) p.drawPixmap(rect.x() + 2, by, markBitmap_);
    x = rect.x() + 2 + kMarkBox + 2;
  }
  if (id == 4 && (style_ == usFile || style_ == usImages)) {
    const QPixmap icon = controls::FileTypeIcon(QString::fromStdString(record.GetFileName()), row == Row());
    p.drawPixmap(x, rect.y() + (rect.height() - icon.height()) / 2, icon);
    x += 20;
  }
  const int width = controls::rightOf(rect) - x - 2;
  if (width <= 0) return;
  p.setPen(ink);
  p.setBackgroundMode(Qt::TransparentMode);
  const QString text = controls::FitTextEllipsis(p.fontMetrics(), CellText(record, id), width, false);
  p.drawText(QRect(x, rect.y(), width, rect.height()), Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, text);
}

}  // namespace qlon
