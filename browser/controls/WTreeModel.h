#pragma once
// The bookkeeping of the owner-drawn tree, without any widget.
//
// Nodes form a tree under an invisible root (index 0, always expanded).
// Every node has:
//   index  its position in a pre-order walk of all nodes, collapsed
//          branches included; computed lazily (below);
//   shown  the rows shown beneath it: for an expanded node the sum over its
//          children c of (1 + shown(c)), for a collapsed node 0. A node
//          expanded inside a collapsed branch keeps its own count, so
//          expanding the branch later adds it whole. The grid's row count is
//          shown(root).
//   level  1 for a top-level node, the parent's + 1 below.
//
// Index cache: all indexes are valid up to the frontier node (in pre-order).
// An insertion, removal or sort moves the frontier back to the last node
// whose index it cannot change; reading an index beyond the frontier numbers
// forward from it. Appending at the end of the tree therefore costs nothing
// extra, and GetNode searches each level by binary search over indexes that
// are known to be valid.
//
// Row lookup walks down from the root using per-node prefix sums of the
// children's (1 + shown), rebuilt lazily after a change below the node, so
// a row costs O(depth * log(children)).
//
// All counts and indexes are int: any tree that fits in memory works.
#include <QCollator>
#include <QString>
#include <exception>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace qlon::controls {

class TWTreeModel;

// Raised when an index names no node: a caller's fault, like an index out
// of a container's range (the event loop shows it as any other exception).
class WTreeError : public std::out_of_range {
 public:
  explicit WTreeError(int index) : std::out_of_range("WTreeError: no node has index " + std::to_string(index)) {}
};

class TWTreeNode {
 public:
  enum Flag : quint16 {
    nfExpanded = 1,
    nfCheckBox = 2,
    nfDisabled = 4,
    nfBold = 8,
    nfSuffix = 16,      // text split at "#", right part in italics at the right edge
    nfThreeState = 32,
    nfGrayed = 64,
    nfStateImage = 128, // image from the tree's StateBitmap
    nfNextCheckStyle = 256,
    nfNoTrailingSlash = 512,
  };
  enum Kind : quint8 { knText = 0, knFolder = 1, knFile = 2, knFileNoIcon = 3 };

  TWTreeNode() = default;
  explicit TWTreeNode(QString text, quint8 kind = knText) : kind(kind), text(std::move(text)) {}
  virtual ~TWTreeNode();  // trees may add node subclasses
  TWTreeNode(const TWTreeNode&) = delete;
  TWTreeNode& operator=(const TWTreeNode&) = delete;

  // Fields the tree's users fill in before AddNode (afterwards use the
  // setters, which redraw).
  quint16 flags = 0;
  quint8 kind = knText;
  quint8 image = 0;      // row of the folder strip (kind 1)
  quint8 tag = 0;
  quint8 checkState = 0; // 0 unchecked, 1 checked, 2 third state, 3 partly checked
  qintptr data = 0;
  QString text;

  TWTreeModel* Tree() const { return tree_; }
  TWTreeNode* Parent() const { return parent_; }
  int ChildCount() const { return int(children_.size()); }
  // nullptr (and a debug log) outside the list.
  TWTreeNode* Child(int pos) const;
  TWTreeNode* LastChild() const { return children_.empty() ? nullptr : children_.back().get(); }
  int Position() const { return pos_; }  // among the parent's children
  int Level() const { return level_; }
  int ShownCount() const { return shown_; }
  bool HasChildren() const { return !children_.empty(); }
  bool IsLastChild() const { return parent_ && pos_ == parent_->ChildCount() - 1; }
  TWTreeNode* PrevSibling() const { return parent_ && pos_ > 0 ? parent_->Child(pos_ - 1) : nullptr; }
  TWTreeNode* NextSibling() const;

  QString GetCaption() const;
  void SetText(const QString& t);
  int GetIndex();
  // True when the parent is expanded.
  bool IsVisible() const { return parent_ && parent_->GetExpanded(); }
  // True when every ancestor is expanded: the node has a row.
  bool IsShown() const;

  bool GetExpanded() const { return flags & nfExpanded; }
  void SetExpanded(bool expanded);
  void ExpandWithParents();
  void FullExpand();

  void SetHasCheckBox(bool on);
  void SetCheckState(quint8 state);
  quint8 GetCheckState() const { return (flags & nfCheckBox) ? checkState : 0; }
  void SetCheckValue(quint8 state);
  void SetChecked(bool on);
  bool GetChecked() const { return checkState != 0; }
  void SetThreeState(bool on) { setFlagQuiet(nfThreeState, on); }
  void SetEnabled(bool on) { setFlag(nfDisabled, !on); }
  bool GetEnabled() const { return !(flags & nfDisabled); }
  void SetGrayed(bool on) { setFlag(nfGrayed, on); }
  void SetShowSuffix(bool on) { setFlagQuiet(nfSuffix, on); }
  // Every flag but the expansion bit, which only SetExpanded changes.
  void SetFlags(quint16 word);

  TWTreeNode* FindChild(const QString& t) const;
  quint8 SortMode() const { return sortMode_; }
  void SetSortMode(quint8 mode);

  // Text width cache of the tree's column-width rule (-1 = unknown).
  int cachedTextWidth = -1;

 private:
  friend class TWTreeModel;
  void setFlag(quint16 bit, bool on);
  void setFlagQuiet(quint16 bit, bool on);
  void invalidate();

  TWTreeModel* tree_ = nullptr;
  TWTreeNode* parent_ = nullptr;
  std::vector<std::unique_ptr<TWTreeNode>> children_;
  int index_ = -1;
  int shown_ = 0;
  int pos_ = 0;
  int level_ = 0;
  quint8 sortMode_ = 0;
  bool prefixDirty_ = true;
  std::vector<int> prefix_;  // prefix_[k] = sum over children j < k of 1 + shown(j)
};

// What the model needs of the widget showing it: the grid's current row,
// redraws and the expansion hooks. The default keeps a current row only,
// for trees driven without a window.
class IWTreeHost {
 public:
  virtual ~IWTreeHost() = default;
  virtual int CurrentRow() const { return row_; }
  virtual void SetCurrentRow(int row) { row_ = row; }
  virtual void RowCountChanged(int rows) {
    if (row_ >= rows) row_ = rows > 0 ? rows - 1 : 0;
  }
  virtual void InvalidateNode(TWTreeNode*) {}
  virtual void InvalidateAll() {}
  virtual void AdjustColumnWidth() {}
  virtual void BeforeExpand(TWTreeNode*) {}
  virtual void AfterExpand(TWTreeNode*) {}
  virtual void BeforeCollapse(TWTreeNode*) {}
  virtual void AfterCollapse(TWTreeNode*) {}
  // The node is about to be freed (drop every reference to it).
  virtual void NodeFreed(TWTreeNode*) {}
  // A node was added outside an update block.
  virtual void NodeAdded(TWTreeNode*) {}

 private:
  int row_ = 0;
};

class TWTreeModel {
 public:
  explicit TWTreeModel(IWTreeHost* host = nullptr);
  ~TWTreeModel();
  TWTreeModel(const TWTreeModel&) = delete;
  TWTreeModel& operator=(const TWTreeModel&) = delete;

  IWTreeHost& Host() const { return *host_; }
  TWTreeNode* Root() const { return root_.get(); }

  void Clear();
  // Adds node under parent (nullptr: the root), sorted when the parent
  // keeps its children sorted; returns its position among the children,
  // -1 (and the node freed) for a node already in a tree or a foreign parent.
  int AddNode(TWTreeNode* parent, std::unique_ptr<TWTreeNode> node);
  TWTreeNode* AddChild(TWTreeNode* parent, const QString& text, quint8 kind = 0);
  // Frees the node and its subtree (the root: clears the tree).
  void FreeNode(TWTreeNode* node);

  int GetItemCount() const { return count_; }
  int RowCount() const { return root_->shown_; }
  TWTreeNode* GetNode(int index);
  TWTreeNode* NodeAtRow(int row);
  int RowOf(TWTreeNode* node);  // -1 when the node has no row

  TWTreeNode* GetSelectedNode();
  int GetSelectedIndex() { return GetSelectedNode()->GetIndex(); }
  void SetSelectedIndex(int index);
  void SelectNode(TWTreeNode* node);  // node (or its nearest shown ancestor) becomes current
  void ClearSelection() { selected_ = root_.get(); }
  TWTreeNode* RawSelection() const { return selected_; }
  void FocusNode(TWTreeNode* node);

  void BeginUpdate();
  void EndUpdate();
  bool Updating() const { return updateCount_ > 0; }

  TWTreeNode* FindNodeByTag(quint8 tag);
  // callback for every descendant of node in pre-order until it returns false.
  void IterateNodes(TWTreeNode* node, const std::function<bool(TWTreeNode*)>& callback);
  void FullExpandAll() { root_->FullExpand(); }

  int CheckPropagation() const { return propagation_; }
  void SetCheckPropagation(int mode) { propagation_ = mode; }
  void UpdateParentCheck(TWTreeNode* parent);
  // Next state of a three-state box: 0 -> 1 -> 2 -> 0; anything else -> 0.
  static quint8 NextCheckState(quint8 state);

  // The deepest node on the path to node that has a row (node itself when shown).
  TWTreeNode* NearestShown(TWTreeNode* node) const;
  int CompareText(const QString& a, const QString& b) const;
  static TWTreeNode* NextInPreOrder(TWTreeNode* n);

 private:
  friend class TWTreeNode;
  void initRoot(bool notify);
  void adopt(TWTreeNode* parent, TWTreeNode* node);
  static TWTreeNode* lastDescendant(TWTreeNode* n);
  static TWTreeNode* preOrderPred(TWTreeNode* n);
  static int comparePos(const TWTreeNode* a, const TWTreeNode* b);
  void moveFrontierBack(TWTreeNode* n);
  static void addToChain(TWTreeNode* from, int delta);
  static void ensurePrefix(TWTreeNode* n);
  void expand(TWTreeNode* n);
  void collapse(TWTreeNode* n);
  void sortChildren(TWTreeNode* n);
  void structureChanged();
  void updateRowCount();

  IWTreeHost ownHost_;
  IWTreeHost* host_;
  std::unique_ptr<TWTreeNode> root_;
  TWTreeNode* frontier_ = nullptr;
  TWTreeNode* selected_ = nullptr;
  int count_ = 0;
  int updateCount_ = 0;
  int lastRowCount_ = 0;
  int propagation_ = 0;
  QCollator collator_;
};

}  // namespace qlon::controls
