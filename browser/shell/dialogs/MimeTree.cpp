#include "MimeTree.h"

#include <QGuiApplication>

#include "Texts.h"

namespace qlon::shell {

using controls::TWTreeNode;

namespace {
QString CategoryTitle(int category) {
  const std::string_view t = TextAt(kMimeCategoryTitles, category);
  return QString::fromUtf8(t.data(), qsizetype(t.size()));
}
}  // namespace

TMimeTree::TMimeTree(QWidget* parent) : TCustomWTree(parent) {
  SetCheckPropagation(2);
  OnCheck = [this](TCustomWTree*, TWTreeNode* n) { checked(n); };
  OnAfterExpand = [this](TCustomWTree*, TWTreeNode* n) { expansionChanged(n); };
  OnAfterCollapse = OnAfterExpand;
  OnStartDrag = [this](WGrid*) { dragSource_ = GetSelectedNode(); };
  OnDragOver = [this](WGrid*, WGrid* source, int x, int y, controls::TDragState state, bool& accept) {
    if (source != this || !dragSource_) return;
    if (state == controls::dsDragLeave) {
      dropTarget_ = nullptr;
      return;
    }
    const int index = GetNodeIndexAt(x, y);
    dropTarget_ = index >= 0 ? GetNode(index) : nullptr;
    accept = AcceptsDrop(dropTarget_);
    if (accept || dropTarget_ == dragSource_) TrackMouse(x, y);
  };
  OnDragDrop = [this](WGrid*, WGrid* source, int, int) {
    if (source == this) DropOn(dropTarget_);
  };
  OnEndDrag = [this](WGrid*, WGrid*, int, int) { endTypeDrag(); };
}

void TMimeTree::SetMimeList(TMimeList* list) {
  if (list == list_) return;
  list_ = list;
  Rebuild();
}

void TMimeTree::Rebuild(const TMimeItem* select) {
  rebuilding_ = true;
  dragSource_ = dropTarget_ = nullptr;
  BeginUpdate();
  Clear();
  TWTreeNode* remembered = nullptr;
  if (list_) {
    for (int c = 0; c < 6; ++c) {
      const bool enabled = list_->GetCategoryEnabled(c);
      auto cat = std::make_unique<TWTreeNode>(CategoryTitle(c),
                                              TWTreeNode::knFolder);
      cat->tag = kCategoryTag;
      cat->image = kCategoryImages[c];
      cat->data = c;
      cat->flags = TWTreeNode::nfCheckBox;
      cat->checkState = enabled ? 1 : 0;
      TWTreeNode* catNode = cat.get();
      AddNode(nullptr, std::move(cat));
      for (int i = 0; i < list_->Count(); ++i) {
        const TMimeItem* item = list_->GetItem(i);
        if (!item || item->Category != c) continue;
        auto type = std::make_unique<TWTreeNode>(
            QString::fromStdString(item->Extensions + "#" + item->ContentType), TWTreeNode::knText);
        type->data = i;
        type->flags = TWTreeNode::nfCheckBox | TWTreeNode::nfSuffix | (enabled ? 0 : TWTreeNode::nfDisabled);
        type->checkState = item->Params.Disabled ? 0 : 1;
        if (item == select) remembered = type.get();
        AddNode(catNode, std::move(type));
      }
      catNode->SetExpanded(list_->GetCategoryExpanded(c));
      UpdateParentCheck(catNode);
    }
  }
  EndUpdate();
  if (remembered) {
    remembered->ExpandWithParents();
    Model().SelectNode(remembered);
  }
  rebuilding_ = false;
}

int TMimeTree::categoryOf(const TWTreeNode* n) const {
  if (!n || n == Root()) return -1;
  if (IsCategoryNode(n)) return int(n->data);
  const TMimeItem* item = itemOf(n);
  return item ? item->Category : -1;
}

TMimeItem* TMimeTree::itemOf(const TWTreeNode* n) const {
  if (!list_ || !n || IsCategoryNode(n) || n == Root()) return nullptr;
  return list_->GetItem(int(n->data));
}

TMimeItem* TMimeTree::GetSelectedMimeItem() { return itemOf(GetSelectedNode()); }

int TMimeTree::GetSelectedCategory() { return categoryOf(GetSelectedNode()); }

void TMimeTree::AddMimeItem(const TMimeItem& item) {
  if (!list_) return;
  const int slot = list_->AddType(item.ContentType, item.Extensions, item.Params.Flags, item.Category,
                                  !item.Params.Disabled);
  Rebuild(slot >= 0 ? list_->GetItem(slot) : nullptr);
}

void TMimeTree::UpdateSelectedItem(const TMimeItem& item) {
  TMimeItem* target = GetSelectedMimeItem();
  if (!target) return;
  TMimeList* owner = target->Owner;
  target->Assign(item);
  target->Owner = owner;
  Rebuild(target);
}

void TMimeTree::EnableAllCategories() {
  if (!list_) return;
  for (int c = 0; c < 6; ++c) list_->EnableCategory(c, true);
  Rebuild(GetSelectedMimeItem());
}

void TMimeTree::checked(TWTreeNode* n) {
  if (!list_) return;
  if (IsCategoryNode(n)) {
    const bool on = n->GetChecked();
    list_->SetCategoryEnabled(int(n->data), on);
    for (int k = 0; k < n->ChildCount(); ++k) {
      TWTreeNode* child = n->Child(k);
      TMimeItem* item = itemOf(child);
      if (!item) continue;
      item->SetEnabled(on);
      // A fixed type keeps its state whatever the category says.
      child->SetCheckValue(item->Params.Disabled ? 0 : 1);
      child->SetEnabled(on);
    }
    UpdateParentCheck(n);
  } else if (TMimeItem* item = itemOf(n)) {
    item->SetEnabled(n->GetChecked());
    if (n->GetChecked() == bool(item->Params.Disabled)) n->SetChecked(!item->Params.Disabled);
  }
}

void TMimeTree::expansionChanged(TWTreeNode* n) {
  if (!rebuilding_ && list_ && IsCategoryNode(n)) list_->SetCategoryExpanded(int(n->data), n->GetExpanded());
}

bool TMimeTree::StartTypeDrag() {
  TWTreeNode* n = GetSelectedNode();
  if (!itemOf(n)) return false;
  dragging_ = true;
  dragSource_ = n;
  dropTarget_ = nullptr;
  return true;
}

bool TMimeTree::AcceptsDrop(TWTreeNode* target) const {
  const TMimeItem* source = itemOf(dragSource_);
  const int category = categoryOf(target);
  return source && category >= 0 && category != source->Category;
}

void TMimeTree::DropOn(TWTreeNode* target) {
  TMimeItem* source = itemOf(dragSource_);
  const bool accepted = AcceptsDrop(target);
  const int category = categoryOf(target);
  dragging_ = false;
  if (!accepted) return;
  source->Category = uint8_t(category);
  Rebuild(source);
}

void TMimeTree::endTypeDrag() {
  dragging_ = false;
  dragSource_ = dropTarget_ = nullptr;
  SetDragOver(false);
}

void TMimeTree::MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers mods, int x, int y) {
  if (button == Qt::LeftButton && (mods & Qt::ShiftModifier) && StartTypeDrag()) {
    BeginDrag(true);
    return;
  }
  TCustomWTree::MouseDown(button, mods, x, y);
}

void TMimeTree::MouseMove(Qt::MouseButtons buttons, int x, int y) {
  if (dragging_ && !(QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier)) {
    EndDrag(false);
    endTypeDrag();
    return;
  }
  TCustomWTree::MouseMove(buttons, x, y);
}

void TMimeTree::NodeFreed(TWTreeNode* n) {
  if (n == dragSource_) dragSource_ = nullptr;
  if (n == dropTarget_) dropTarget_ = nullptr;
  TCustomWTree::NodeFreed(n);
}

}  // namespace qlon::shell
