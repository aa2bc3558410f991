#pragma once
// TMimeTree: a capture's MIME table as a tree of the six capture categories,
// each holding its types, with check boxes that enable or disable them for
// capture. A type can be dragged (Shift + left button) into another category.
// The tree edits the table in place; it does not own it.
#include "Mime.h"
#include "WTree.h"

namespace qlon::shell {

class TMimeTree : public controls::TCustomWTree {
  Q_OBJECT
 public:
  static constexpr quint8 kCategoryTag = 255;
  // Folder-strip rows of the categories Html .. Autre.
  static constexpr quint8 kCategoryImages[6] = {6, 3, 11, 7, 8, 12};

  explicit TMimeTree(QWidget* parent = nullptr);

  TMimeList* MimeList() const { return list_; }
  void SetMimeList(TMimeList* list);
  void Rebuild(const TMimeItem* select = nullptr);

  TMimeItem* GetSelectedMimeItem();
  // -1 without a selection.
  int GetSelectedCategory();
  void AddMimeItem(const TMimeItem& item);
  void UpdateSelectedItem(const TMimeItem& item);
  void EnableAllCategories();

  // The drag steps, reachable without a mouse: the source is the selected
  // type node; a drop is accepted on a node of another category.
  bool StartTypeDrag();
  bool AcceptsDrop(controls::TWTreeNode* target) const;
  void DropOn(controls::TWTreeNode* target);
  bool TypeDragging() const { return dragging_; }
  controls::TWTreeNode* DropTarget() const { return dropTarget_; }

  static bool IsCategoryNode(const controls::TWTreeNode* n) { return n && n->tag == kCategoryTag; }

 protected:
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) override;
  void MouseMove(Qt::MouseButtons buttons, int x, int y) override;
  void NodeFreed(controls::TWTreeNode* n) override;

 private:
  int categoryOf(const controls::TWTreeNode* n) const;
  TMimeItem* itemOf(const controls::TWTreeNode* n) const;
  void checked(controls::TWTreeNode* n);
  void expansionChanged(controls::TWTreeNode* n);
  void endTypeDrag();

  TMimeList* list_ = nullptr;
  bool rebuilding_ = false;
  bool dragging_ = false;
  controls::TWTreeNode* dragSource_ = nullptr;
  controls::TWTreeNode* dropTarget_ = nullptr;
};

}  // namespace qlon::shell
