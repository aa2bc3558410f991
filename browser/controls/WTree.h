#pragma once
// TCustomWTree: the program's owner-drawn tree, a one-column grid whose rows
// are the shown nodes of a TWTreeModel: expand buttons and lines, check
// boxes in four styles, folder images and file icons, bold, grey and
// right-aligned suffix texts, a hint for texts cut by the window edge and an
// action zone after the current node's text. The model keeps every count;
// this widget maps pixels to rows and node parts and back.
#include <QPixmap>
#include <functional>
#include <memory>

#include "Gdi.h"
#include "HintUser.h"
#include "WCustomGrid.h"
#include "WTreeModel.h"

namespace qlon::controls {

class TCustomWTree : public TWCustomGrid, public IWTreeHost {
  Q_OBJECT
 public:
  // Tree options.
  enum Option { toActionZone = 1, toCheckFirst = 2, toCheckByHandler = 4 };
  // Node parts under the mouse.
  enum Part { npNone = 0, npButton = 1, npIcon = 2, npCheck = 3, npText = 4, npAction = 5 };

  using EWTreeChange = std::function<void(TCustomWTree* sender, TWTreeNode* node)>;

  explicit TCustomWTree(QWidget* parent = nullptr);
  ~TCustomWTree() override;

  TWTreeModel& Model() { return model_; }
  TWTreeNode* Root() const { return model_.Root(); }

  virtual void InitRoot() {}
  virtual void Clear();
  int AddNode(TWTreeNode* parent, std::unique_ptr<TWTreeNode> node) {
    return model_.AddNode(parent, std::move(node));
  }
  TWTreeNode* AddChild(TWTreeNode* parent, const QString& text, quint8 kind = 0) {
    return model_.AddChild(parent, text, kind);
  }
  void FreeNode(TWTreeNode* node) { model_.FreeNode(node); }
  int GetItemCount() const { return model_.GetItemCount(); }
  TWTreeNode* GetNode(int index) { return model_.GetNode(index); }
  TWTreeNode* GetSelectedNode() { return model_.GetSelectedNode(); }
  int GetSelectedIndex() { return model_.GetSelectedIndex(); }
  void SetSelectedIndex(int index) { model_.SetSelectedIndex(index); }
  void ClearSelection() { model_.ClearSelection(); }
  void FocusNode(TWTreeNode* node) { model_.FocusNode(node); }
  void BeginUpdate() { model_.BeginUpdate(); }
  void EndUpdate() { model_.EndUpdate(); }
  TWTreeNode* FindNodeByTag(quint8 tag) { return model_.FindNodeByTag(tag); }
  void IterateNodes(TWTreeNode* node, const std::function<bool(TWTreeNode*)>& cb) {
    model_.IterateNodes(node, cb);
  }
  void UpdateParentCheck(TWTreeNode* parent) { model_.UpdateParentCheck(parent); }
  void SetCheckPropagation(int mode) { model_.SetCheckPropagation(mode); }
  TWTreeNode* NodeAtRow(int row) { return model_.NodeAtRow(row); }
  // The width a node's row needs to show its caption whole, expanded or not.
  int NodeWidth(TWTreeNode* n) { return nodeWidth(n, nullptr); }
  // The same for a caption at a level (1: the root's children), with an icon.
  int CaptionWidth(int level, const QString& caption) const;
  // Index of the node in the row under a client point; -1 when none.
  int GetNodeIndexAt(int x, int y);

  int Options() const { return options_; }
  void SetOptions(int bits);
  quint8 CheckStyle() const { return checkStyle_; }
  void SetCheckStyle(quint8 style);
  const QPixmap& StateBitmap() const { return stateBitmap_; }
  void SetStateBitmap(const QPixmap& pm);

  // Node part under a client point (0 when no node is there).
  int PartAt(int x, int y);
  // Records the row and part under a point and redraws both rows; the
  // trees' drag-over handlers call it.
  void TrackMouse(int x, int y);
  // A drag over this control is in progress: the row under the mouse takes
  // the selected look instead of the current row.
  void SetDragOver(bool on);
  bool DragOver() const { return dragOver_; }
  // Toggles the check box of the selected node (click or Space).
  void ToggleCheck();
  void FullExpand() { model_.FullExpandAll(); }
  TUserHint& Hint() { return *hint_; }
  int MouseRow() const { return track_.row; }
  int MousePart() const { return track_.part; }
  int CurrentRowPart() const { return track_.currentRowPart; }

  EWTreeChange OnBeforeExpand, OnBeforeCollapse, OnAfterExpand, OnAfterCollapse;
  EWTreeChange OnAction, OnCheck;
  std::function<void()> OnBeep;  // tests and headless runs count the beeps

  // IWTreeHost
  int CurrentRow() const override { return Row(); }
  void SetCurrentRow(int row) override { SetRow(row); }
  void RowCountChanged(int rows) override { SetRowCount(rows); }
  void InvalidateNode(TWTreeNode* node) override;
  void InvalidateAll() override { Invalidate(); }
  void AdjustColumnWidth() override;
  void BeforeExpand(TWTreeNode* n) override;
  void AfterExpand(TWTreeNode* n) override;
  void BeforeCollapse(TWTreeNode* n) override;
  void AfterCollapse(TWTreeNode* n) override;
  void NodeFreed(TWTreeNode* n) override;
  void NodeAdded(TWTreeNode* n) override;

  // Draws the node of a row into rect (the paint event and tests use it).
  void PaintRow(QPainter& p, int row, const QRect& rect, bool focused);

 protected:
  void DrawCell(QPainter& p, int col, int row, const QRect& rect, int state) override;
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) override;
  void MouseMove(Qt::MouseButtons buttons, int x, int y) override;
  void Click() override;
  void DblClick() override;
  void KeyDown(int& key, Qt::KeyboardModifiers mods) override;
  void KeyPress(QChar& ch) override;
  void MouseLeave() override;
  void Resized() override;
  void DragOver(WGrid* source, int x, int y, TDragState state, bool& accept) override;
  void DragFinished() override { SetDragOver(false); }
  void changeEvent(QEvent* e) override;
  void Beep();

 private:
  struct Zone {
    enum What { Box, StateImage, Icon, Text, Action } what;
    int part;
    int x, w;
  };
  struct Geometry {
    int buttonX = 0;
    int textX = 0, textW = 0;  // text rectangle: textX .. textX + textW
    std::vector<Zone> zones;   // after the button, in drawing order
  };
  // One layout for drawing and hit-testing: left is the cell's left edge.
  Geometry layoutNode(TWTreeNode* n, int left);
  int textWidth(TWTreeNode* n);
  int nodeWidth(TWTreeNode* n, TWTreeNode* selected);
  bool horizontalScroll() const { return scrollBars() == ssHorizontal || scrollBars() == ssBoth; }
  QFont nodeFont(TWTreeNode* n) const;
  bool selectedLook(int row) const;
  void selectCurrentRow();
  void treeKey(int key, Qt::KeyboardModifiers mods);
  void updateHint();

  struct Tracking {
    QPoint pos;
    int prevRow = -1, row = -1;
    int prevPart = 0, part = 0;
    int currentRowPart = 0;
    TWTreeNode* node = nullptr;
  };

  TWTreeModel model_;
  std::unique_ptr<TUserHint> hint_;
  Tracking track_;
  int options_ = toActionZone;
  quint8 checkStyle_ = 0;
  QPixmap stateBitmap_;
  ImageStrip stateStrip_;  // the state bitmap cut into squares, magenta keyed
  bool dragOver_ = false;
  bool destroying_ = false;
};

// The tree as forms place it (the scheduler's task view).
class TWTree : public TCustomWTree {
  Q_OBJECT
 public:
  using TCustomWTree::TCustomWTree;
};

}  // namespace qlon::controls
