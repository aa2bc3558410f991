#pragma once
// The owner-drawn grid every list and tree of the program is built on.
//
// GridLayout is the grid's geometry and cursor as plain data: row and column
// counts, fixed rows and columns at the top and left, one height for every
// row, a width per column, the current cell, the first scrollable row shown
// (TopRow) and a pixel offset of the scrollable columns. It maps cells to
// client rectangles and points back to cells, and moves the current cell for
// the navigation keys. WGrid is the widget: a QAbstractScrollArea that paints
// the visible cells through the virtual DrawCell, keeps the scroll bars in
// step with the layout and turns mouse and keys into cursor moves before a
// descendant sees them.
//
// Rows and columns are ints: a grid may hold any number of rows.
#include <QAbstractScrollArea>
#include <QRect>
#include <functional>
#include <vector>

namespace qlon::controls {

class GridLayout {
 public:
  enum Option { ColSizing = 1, RowSelect = 2, ColMoving = 4 };

  int rowCount() const { return rowCount_; }
  int colCount() const { return colCount_; }
  int fixedRows() const { return fixedRows_; }
  int fixedCols() const { return fixedCols_; }
  int defaultRowHeight() const { return rowHeight_; }
  int defaultColWidth() const { return defaultColWidth_; }
  int colWidth(int col) const;
  int row() const { return row_; }
  int col() const { return col_; }
  int topRow() const { return topRow_; }
  int leftOffset() const { return leftOffset_; }
  int clientWidth() const { return clientW_; }
  int clientHeight() const { return clientH_; }
  int options() const { return options_; }

  void setRowCount(int n);
  void setColCount(int n);
  void setFixedRows(int n);
  void setFixedCols(int n);
  void setDefaultRowHeight(int h);
  // Resets every column to the new width, as the grid always did.
  void setDefaultColWidth(int w);
  void setColWidth(int col, int w);
  // Moves a column (and its width) to another place.
  void moveColumn(int from, int to);
  void setClientSize(int w, int h);
  void setOptions(int options) { options_ = options; }

  // Moves the current cell (clamped to the scrollable cells) and scrolls
  // it into view.
  void setRow(int row);
  void setCol(int col);
  void setTopRow(int top);        // clamped to fixedRows()..maxTopRow()
  void setLeftOffset(int pixels); // clamped to 0..maxLeftOffset()

  int fixedHeight() const;
  int fixedWidth() const;
  // Scrollable rows that fit whole below the fixed rows (at least 1).
  int visibleRows() const;
  int lastVisibleRow() const;
  int maxTopRow() const;
  int scrollableWidth() const;  // total width of the scrollable columns
  int maxLeftOffset() const;

  QRect cellRect(int col, int row) const;
  // Cell under a client point: (col, row), -1 for a coordinate outside.
  int rowAt(int y) const;
  int colAt(int x) const;
  // Column whose right border lies within 2 pixels of x on a fixed row,
  // -1 when none (or when the option is off).
  int sizingColumnAt(int x, int y) const;

  // Cursor keys, pages, Home/End with and without Ctrl, as the grid moves
  // the current cell; true when the key is a navigation key.
  bool moveByKey(int key, Qt::KeyboardModifiers mods);

 private:
  void clampCursor();
  int rowCount_ = 5, colCount_ = 5, fixedRows_ = 1, fixedCols_ = 1;
  int rowHeight_ = 24, defaultColWidth_ = 64;
  std::vector<int> colWidths_ = std::vector<int>(5, 64);
  int row_ = 1, col_ = 1, topRow_ = 1, leftOffset_ = 0;
  int clientW_ = 0, clientH_ = 0;
  int options_ = 0;
};

enum TDragState { dsDragEnter, dsDragLeave, dsDragMove };
enum TDragMode { dmManual, dmAutomatic };

class WGrid : public QAbstractScrollArea {
  Q_OBJECT
 public:
  enum ScrollBars { ssNone, ssHorizontal, ssVertical, ssBoth };
  enum CellState { gdSelected = 1, gdFocused = 2, gdFixed = 4 };

  explicit WGrid(QWidget* parent = nullptr);
  ~WGrid() override;

  const GridLayout& layout() const { return layout_; }
  int RowCount() const { return layout_.rowCount(); }
  int ColCount() const { return layout_.colCount(); }
  int FixedRows() const { return layout_.fixedRows(); }
  int Row() const { return layout_.row(); }
  int Col() const { return layout_.col(); }
  int TopRow() const { return layout_.topRow(); }
  int DefaultRowHeight() const { return layout_.defaultRowHeight(); }
  int ColWidth(int col) const { return layout_.colWidth(col); }
  int HorzScrollPos() const { return layout_.leftOffset(); }
  ScrollBars scrollBars() const { return scrollBars_; }
  bool DefaultDrawing() const { return defaultDrawing_; }

  void SetRowCount(int n);
  void SetColCount(int n);
  void SetFixedRows(int n);
  void SetFixedCols(int n);
  void SetDefaultRowHeight(int h);
  void SetDefaultColWidth(int w);
  void SetColWidth(int col, int w);
  void SetRow(int row);
  void SetOptions(int gridOptions);
  void SetScrollBars(ScrollBars bars);
  void SetDefaultDrawing(bool on) { defaultDrawing_ = on; }
  QColor Color() const;
  void SetColor(const QColor& c);

  QRect CellRect(int col, int row) const { return layout_.cellRect(col, row); }
  // Moves a column with its width; ColumnMoved tells the descendant.
  void MoveColumn(int from, int to);
  void InvalidateCell(int col, int row);
  void InvalidateRow(int row);
  void Invalidate();
  // Number of paint events served so far (paint lock checks count them).
  int paintCount() const { return paintCount_; }

  // Dragging between the program's grids. The drag lives inside the
  // program: the source holds the mouse, the grid under the mouse is asked
  // whether it accepts, and a release drops on it. A move handler may end
  // the drag itself (EndDrag), which a system drag could not express.
  // Not immediate: the drag starts once the mouse moved a few pixels.
  void BeginDrag(bool immediate);
  void EndDrag(bool drop);
  bool Dragging() const;
  TDragMode DragMode() const { return dragMode_; }
  void SetDragMode(TDragMode m) { dragMode_ = m; }
  std::function<void(WGrid* sender)> OnStartDrag;
  std::function<void(WGrid* sender, WGrid* source, int x, int y, TDragState state, bool& accept)> OnDragOver;
  std::function<void(WGrid* sender, WGrid* source, int x, int y)> OnDragDrop;
  // target is nullptr when nothing was dropped.
  std::function<void(WGrid* sender, WGrid* target, int x, int y)> OnEndDrag;

  // Delphi-style single-handler events. OnClick follows a mouse click on a
  // cell and every cursor move made from the keyboard.
  std::function<void(WGrid*)> OnClick, OnDblClick;
  // Runs before the grid moves its cursor; setting key to 0 consumes it.
  std::function<void(WGrid*, int& key, Qt::KeyboardModifiers)> OnKeyDown;
  std::function<void(WGrid*, QChar& ch)> OnKeyPress;
  std::function<void(WGrid*, int key, Qt::KeyboardModifiers)> OnKeyUp;
  std::function<void(WGrid*, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y)> OnMouseDown, OnMouseUp;
  std::function<void(WGrid*, Qt::MouseButtons, int x, int y)> OnMouseMove;
  std::function<void(WGrid*)> OnEnter, OnExit;

 protected:
  // Draws one cell; rect is the cell's client rectangle.
  virtual void DrawCell(QPainter& p, int col, int row, const QRect& rect, int state);
  // Input hooks in the grid's order: the Qt events call these.
  virtual void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
  virtual void MouseMove(Qt::MouseButtons buttons, int x, int y);
  virtual void MouseUp(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y);
  virtual void Click();
  virtual void DblClick();
  virtual void KeyDown(int& key, Qt::KeyboardModifiers mods);
  virtual void KeyPress(QChar& ch);
  virtual void MouseLeave() {}
  // After the client size changed and the layout followed.
  virtual void Resized() {}
  // After the current row changed by any means.
  virtual void RowMoved(int oldRow, int newRow);
  // After the user dragged a column border.
  virtual void ColWidthsChanged() {}
  // After a column moved (by the user dragging its title, or MoveColumn).
  virtual void ColumnMoved(int from, int to) { Q_UNUSED(from); Q_UNUSED(to); }
  // A drag is over this grid (client coordinates); accept starts false.
  virtual void DragOver(WGrid* source, int x, int y, TDragState state, bool& accept);
  virtual void DragDrop(WGrid* source, int x, int y);
  // The drag that was over this grid ended (dropped or not).
  virtual void DragFinished() {}

  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void keyReleaseEvent(QKeyEvent* e) override;
  void focusInEvent(QFocusEvent* e) override;
  void focusOutEvent(QFocusEvent* e) override;
  bool viewportEvent(QEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

  void syncScrollBars();
  // Applies a layout change made through mutable access, then repaints.
  GridLayout& mutableLayout() { return layout_; }
  void layoutChanged(int oldRow);

 private:
  enum class State { Normal, Selecting, Sizing, Moving };
  void dragMoveTo(QPoint globalPos);
  TDragMode dragMode_ = dmManual;
  GridLayout layout_;
  ScrollBars scrollBars_ = ssBoth;
  bool defaultDrawing_ = true;
  bool syncing_ = false;
  State state_ = State::Normal;
  int sizingCol_ = -1;
  int movingCol_ = -1;
  int paintCount_ = 0;
};

}  // namespace qlon::controls
