#pragma once
// TWUrlList: the owner-drawn grid that shows a capture's URL records, one
// style at a time (pages, documents, images, sounds, videos, errors,
// filtered links; the requests of a running capture; the image maps).
// Its rows are a TUrlList; this widget draws them, keeps one column layout
// per style (saved in section "cols" of "quillon.ini") and serves the
// selection and marking protocol of the keyboard and the mouse:
//
//   row flags  bit 1 marked (a mark box, kept while the selection changes),
//              bit 2 selected (highlighted); the counts always equal the
//              number of rows with the bit set
//   keys       Shift/Ctrl start a range at the current row; Shift+Up/Down
//              select the rows passed and deselect them on the way back;
//              PgUp/PgDn extend the range; Space selects the current row
//              and toggles the marks of the selection; Escape clears the
//              marks; any other key without Shift drops the selection
//   header     a press on a caption sorts by the column on release (again:
//              the other order); a press on the grip at a caption's left
//              edge drags the column; the right button opens the column menu
//
// Grid row r shows list row r - 1 (row 0 is the header).
#include <QPixmap>
#include <array>
#include <filesystem>
#include <functional>
#include <vector>

#include "Types.h"
#include "UrlListUnit.h"
#include "WCustomGrid.h"

class QMenu;

namespace qlon {

class TWeb;
class TWebFile;

namespace controls {
class TPopupMenuEx;
}

struct TUrlListLayout {
  int SortColumn = skNone;  // a TUrlSortKey
  int SortOrder = soNone;
  std::vector<TColHeader> Cols;
  bool operator==(const TUrlListLayout&) const = default;
};

// The layout a style starts with; its name ("HTML" ... "Map"), empty for usNone.
TUrlListLayout DefaultLayout(TWUrlListStyle style);
std::string StyleName(TWUrlListStyle style);

class TWUrlList : public controls::TWCustomGrid {
  Q_OBJECT
 public:
  static constexpr int kMaxColumns = 10;
  static constexpr int kGripWidth = 8;  // the drag grip at a caption's left edge
  static constexpr int kMarkBox = 10;
  enum HeaderHit { hhNone, hhSort, hhDrag, hhSizing };

  // The grid lists the styles first..last (UrlList 1..7, RequestList 8, MapList 9).
  TWUrlList(TWUrlListStyle first, TWUrlListStyle last, QWidget* parent = nullptr);
  ~TWUrlList() override;

  TUrlList& List() { return list_; }
  const TUrlList& List() const { return list_; }
  TWeb* Web() const { return list_.Web(); }
  // Empties the rows; refills them from the new capture.
  void SetWeb(TWeb* web);
  void Reload();
  // Forgets a header press or column drag in progress (before any command).
  void DropPending();

  TWUrlListStyle Style() const { return style_; }
  void SetStyle(TWUrlListStyle style);
  TWUrlListStyle SearchStyle = usNone;
  bool NoSort = false;
  bool NoExplore = false;  // the caller fills the rows; styles do not walk the capture

  // A record was added or changed: its row is added, refreshed or removed
  // as the current style lists it or not.
  void WebFileChanged(const TWebFile& record);
  // Lists a record whatever the style (the rows of a search); its row index.
  int AddRecord(const TWebFile& record);

  // Calls back with the record of each selected (marked) row, in row order,
  // until the callback returns false.
  void ForEachSelected(const std::function<bool(TWebFile&)>& callback);
  void ForEachMarked(const std::function<bool(TWebFile&)>& callback);

  // Column layouts.
  const std::vector<TColHeader>& Columns() const { return cols_; }
  const TUrlListLayout& Layout(TWUrlListStyle style) const { return layouts_.at(style); }
  void SetLayout(TWUrlListStyle style, const TUrlListLayout& layout);
  // The live widths and order of the current style's columns, into its layout.
  void StoreLiveLayout();
  void LoadLayouts(const std::filesystem::path& iniFile);
  void SaveLayouts(const std::filesystem::path& iniFile);

  // Sorting by a grid column: ascending first, the other order when it is
  // the sort column already.
  void SortByColumn(int col);

  // Selection and marks (rows are grid rows).
  int SelectedCount() const { return selectedCount_; }
  int MarkedCount() const { return markedCount_; }
  int Anchor() const { return anchor_; }
  bool ShiftHeld() const { return shiftHeld_; }
  bool CtrlHeld() const { return ctrlHeld_; }
  bool SortClickPending() const { return sortPending_; }
  bool ColumnDragPending() const { return dragPending_; }
  bool HasMarks() const { return style_ != usErrors && style_ != usFiltered; }
  // op: 0 clear, 1 set, 2 toggle.
  void MarkOperation(bool selectedOnly, int op);
  void MarkAll() { MarkOperation(false, 1); }
  void ClearMarks();
  void Invert();
  void ClearSelection();
  void SelectRow(int row, int op);
  void SelectRange(int first, int last, int op);
  // The list row of the current grid row; -1 when the list is empty.
  int CurrentIndex() const;
  bool CurrentRecord(TWebFile& record) const;

  HeaderHit HeaderHitTest(int x, int y) const;

  // Menus: the column menu is the grid's own; the style menus are the main
  // window's. OnPopupMenu opens a menu (tests replace it).
  controls::TPopupMenuEx* ColumnMenu() const { return columnMenu_; }
  int ColumnMenuColumn() const { return menuCol_; }
  // The column the column menu acts on when opened from elsewhere than the header.
  void SetColumnMenuColumn(int col) { menuCol_ = col; }
  void SetStylePopup(TWUrlListStyle style, QMenu* menu) { popups_.at(style) = menu; }
  std::function<void(QMenu* menu, QPoint globalPos)> OnPopupMenu;

  // Draws one cell onto any painter (the paint event and tests use it).
  void PaintCell(QPainter& p, int col, int row, const QRect& rect);
  // The text a data cell shows, by column id.
  QString CellText(const TWebFile& record, int columnId) const;

  std::function<void(TWUrlList*)> Onchange;
  std::function<void(TWUrlList*, TWUrlListStyle newStyle)> OnStyleChanging;
  std::function<void(TWUrlList*)> OnStyleChanged;
  std::function<void(TWUrlList*, TWebFile&)> OnWebFileClick, OnWebFileDblClick;
  std::function<void(TWUrlList*)> OnSortChange;
  // While a style of the list fills: position 0 before (with the capture's
  // record count), the records looked at meanwhile, -1 when done.
  std::function<void(TWUrlList*, int position, int total)> OnProgress;

 protected:
  void DrawCell(QPainter& p, int col, int row, const QRect& rect, int state) override;
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) override;
  void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) override;
  void KeyDown(int& key, Qt::KeyboardModifiers mods) override;
  void Click() override;
  void DblClick() override;
  void ColumnMoved(int from, int to) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;

 private:
  void applyColumns();
  void applySort(int key, int order);
  void syncRows();
  void changed();
  void buildColumnMenu();
  void popup(QMenu* menu, QPoint local);
  // Runs the style menu's item whose shortcut is the key pressed.
  bool TriggerPopupShortcut(int key, Qt::KeyboardModifiers mods);
  void forEachFlag(uint8_t flag, const std::function<bool(TWebFile&)>& callback);
  void restoreCurrent(const std::string& url);
  void drawHeader(QPainter& p, int col, const QRect& rect);

  TWUrlListStyle first_, last_;
  TWUrlListStyle style_ = usNone;
  TUrlList list_;
  std::vector<TColHeader> cols_;
  std::array<TUrlListLayout, 10> layouts_;
  std::array<std::string, 10> currentUrls_;
  std::array<QMenu*, 10> popups_{};
  controls::TPopupMenuEx* columnMenu_ = nullptr;
  int menuCol_ = -1;
  QPixmap markBitmap_;

  int selectedCount_ = 0, markedCount_ = 0;
  bool shiftHeld_ = false, ctrlHeld_ = false;
  int anchor_ = 1, lastRow_ = 1;
  bool sortPending_ = false, dragPending_ = false;
  int sortCol_ = -1;
};

}  // namespace qlon
