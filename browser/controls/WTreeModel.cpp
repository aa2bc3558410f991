#include "WTreeModel.h"

#include <QDebug>
#include <QLoggingCategory>
#include <algorithm>

namespace qlon::controls {

namespace {
Q_LOGGING_CATEGORY(lcTree, "qlon.controls.tree", QtWarningMsg)
}

// ---- TWTreeNode -------------------------------------------------------------

TWTreeNode::~TWTreeNode() {
  // Iterative, so a deep chain of nodes cannot exhaust the stack.
  std::vector<std::unique_ptr<TWTreeNode>> pending = std::move(children_);
  while (!pending.empty()) {
    std::unique_ptr<TWTreeNode> n = std::move(pending.back());
    pending.pop_back();
    for (auto& c : n->children_) pending.push_back(std::move(c));
    n->children_.clear();
  }
}

TWTreeNode* TWTreeNode::Child(int pos) const {
  if (pos < 0 || pos >= ChildCount()) {
    qCDebug(lcTree) << "child" << pos << "outside" << ChildCount() << "children of" << text;
    return nullptr;
  }
  return children_[pos].get();
}

TWTreeNode* TWTreeNode::NextSibling() const {
  return parent_ && pos_ + 1 < parent_->ChildCount() ? parent_->children_[pos_ + 1].get() : nullptr;
}

QString TWTreeNode::GetCaption() const {
  QString s = text;
  if ((flags & nfNoTrailingSlash) && (s.endsWith('/') || s.endsWith('\\'))) s.chop(1);
  if (kind == knFile || kind == knFileNoIcon) {
    const qsizetype cut = std::max(s.lastIndexOf('/'), s.lastIndexOf('\\'));
    if (cut >= 0) s = s.mid(cut + 1);
  }
  return s;
}

void TWTreeNode::SetText(const QString& t) {
  text = t;
  cachedTextWidth = -1;
  if (tree_ && IsVisible()) {
    tree_->Host().InvalidateNode(this);
    if (!tree_->Updating()) tree_->Host().AdjustColumnWidth();
  }
}

int TWTreeNode::GetIndex() {
  if (!tree_) return index_;
  if (this == tree_->Root()) return 0;
  TWTreeModel& t = *tree_;
  if (TWTreeModel::comparePos(this, t.frontier_) <= 0) return index_;
  // Number forward from the frontier up to this node.
  TWTreeNode* cur = t.frontier_;
  int idx = cur->index_;
  while (cur != this) {
    cur = TWTreeModel::NextInPreOrder(cur);
    cur->index_ = ++idx;
  }
  t.frontier_ = this;
  return index_;
}

bool TWTreeNode::IsShown() const {
  for (const TWTreeNode* p = parent_; p; p = p->parent_)
    if (!p->GetExpanded()) return false;
  return parent_ != nullptr;
}

void TWTreeNode::SetExpanded(bool expanded) {
  if (!tree_) {
    setFlagQuiet(nfExpanded, expanded);
    return;
  }
  if (expanded) tree_->expand(this);
  else tree_->collapse(this);
}

void TWTreeNode::ExpandWithParents() {
  std::vector<TWTreeNode*> chain;
  for (TWTreeNode* p = parent_; p && p->parent_; p = p->parent_) chain.push_back(p);
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) (*it)->SetExpanded(true);
  SetExpanded(true);
}

void TWTreeNode::FullExpand() {
  if (!tree_) return;
  TWTreeModel& t = *tree_;
  t.BeginUpdate();
  std::vector<TWTreeNode*> pending{this};
  while (!pending.empty()) {
    TWTreeNode* n = pending.back();
    pending.pop_back();
    n->SetExpanded(true);  // hooks may add children: read the list afterwards
    for (auto& c : n->children_)
      if (c->HasChildren()) pending.push_back(c.get());
  }
  t.EndUpdate();
}

void TWTreeNode::invalidate() {
  if (tree_) tree_->Host().InvalidateNode(this);
}

void TWTreeNode::setFlag(quint16 bit, bool on) {
  const quint16 old = flags;
  setFlagQuiet(bit, on);
  if (flags != old) invalidate();
}

void TWTreeNode::setFlagQuiet(quint16 bit, bool on) {
  flags = on ? (flags | bit) : (flags & ~bit);
}

void TWTreeNode::SetFlags(quint16 word) {
  const quint16 old = flags;
  flags = quint16((word & ~nfExpanded) | (flags & nfExpanded));
  if ((old ^ flags) & nfBold) cachedTextWidth = -1;
  if (flags != old) invalidate();
}

void TWTreeNode::SetHasCheckBox(bool on) { setFlag(nfCheckBox, on); }

void TWTreeNode::SetCheckState(quint8 state) {
  const bool changed = !(flags & nfCheckBox) || checkState != state;
  flags |= nfCheckBox;
  checkState = state;
  if (changed) invalidate();
}

void TWTreeNode::SetCheckValue(quint8 state) {
  if (checkState == state) return;
  checkState = state;
  invalidate();
}

void TWTreeNode::SetChecked(bool on) {
  SetCheckState(on ? 1 : 0);
  if (tree_) tree_->UpdateParentCheck(parent_);
}

TWTreeNode* TWTreeNode::FindChild(const QString& t) const {
  for (auto& c : children_)
    if (c->text.compare(t, Qt::CaseInsensitive) == 0) return c.get();
  return nullptr;
}

void TWTreeNode::SetSortMode(quint8 mode) {
  sortMode_ = mode;
  if (mode != 0 && ChildCount() >= 2 && tree_) tree_->sortChildren(this);
}

// ---- TWTreeModel ------------------------------------------------------------

TWTreeModel::TWTreeModel(IWTreeHost* host) : host_(host ? host : &ownHost_) {
  collator_.setCaseSensitivity(Qt::CaseInsensitive);
  initRoot(false);
}

TWTreeModel::~TWTreeModel() = default;

void TWTreeModel::initRoot(bool notify) {
  root_ = std::make_unique<TWTreeNode>();
  root_->tree_ = this;
  root_->flags = TWTreeNode::nfExpanded;
  root_->index_ = 0;
  selected_ = frontier_ = root_.get();
  count_ = 0;
  updateCount_ = 0;
  lastRowCount_ = 0;
  // Not from the constructor: the host may be the widget being built.
  if (notify) host_->RowCountChanged(0);
}

void TWTreeModel::Clear() {
  IterateNodes(root_.get(), [this](TWTreeNode* n) { host_->NodeFreed(n); return true; });
  root_.reset();
  initRoot(true);
  host_->InvalidateAll();
}

int TWTreeModel::CompareText(const QString& a, const QString& b) const {
  return collator_.compare(a, b);
}

void TWTreeModel::adopt(TWTreeNode* parent, TWTreeNode* node) {
  // A node may arrive with children built beforehand: link the subtree and
  // compute its counts bottom-up.
  node->tree_ = this;
  node->parent_ = parent;
  node->level_ = parent->level_ + 1;
  node->index_ = -1;
  node->prefixDirty_ = true;
  ++count_;
  for (int i = 0; i < node->ChildCount(); ++i) {
    node->children_[i]->pos_ = i;
    adopt(node, node->children_[i].get());
  }
  node->shown_ = 0;
  if (node->GetExpanded())
    for (auto& c : node->children_) node->shown_ += 1 + c->shown_;
}

int TWTreeModel::AddNode(TWTreeNode* parent, std::unique_ptr<TWTreeNode> node) {
  if (!parent) parent = root_.get();
  // A node lives in one tree, under a parent of this tree.
  if (!node || node->tree_ || parent->tree_ != this) return -1;
  auto& list = parent->children_;
  int pos = int(list.size());
  if (parent->sortMode_ != 0 && !list.empty()) {
    auto it = std::lower_bound(list.begin(), list.end(), node->text,
                               [this](const std::unique_ptr<TWTreeNode>& c, const QString& t) {
                                 return CompareText(c->text, t) < 0;
                               });
    pos = int(it - list.begin());
  }
  moveFrontierBack(pos == 0 ? parent : lastDescendant(list[pos - 1].get()));
  TWTreeNode* n = node.get();
  list.insert(list.begin() + pos, std::move(node));
  for (int i = pos; i < int(list.size()); ++i) list[i]->pos_ = i;
  adopt(parent, n);
  addToChain(parent, 1 + n->shown_);
  structureChanged();
  if (!Updating()) host_->NodeAdded(n);
  return pos;
}

TWTreeNode* TWTreeModel::AddChild(TWTreeNode* parent, const QString& text, quint8 kind) {
  auto node = std::make_unique<TWTreeNode>(text, kind);
  TWTreeNode* n = node.get();
  AddNode(parent, std::move(node));
  return n;
}

void TWTreeModel::FreeNode(TWTreeNode* node) {
  if (!node || node->tree_ != this) return;
  if (node == root_.get()) {
    Clear();
    return;
  }
  moveFrontierBack(preOrderPred(node));
  int freed = 1;
  host_->NodeFreed(node);
  IterateNodes(node, [&](TWTreeNode* n) {
    ++freed;
    host_->NodeFreed(n);
    return true;
  });
  for (TWTreeNode* s = selected_; s; s = s->parent_)
    if (s == node) { selected_ = root_.get(); break; }
  TWTreeNode* parent = node->parent_;
  const bool wasLast = node->IsLastChild();
  const bool parentShown = parent == root_.get() || parent->IsShown();
  addToChain(parent, -(1 + node->shown_));
  auto& list = parent->children_;
  const int pos = node->pos_;
  list.erase(list.begin() + pos);  // frees the subtree
  for (int i = pos; i < int(list.size()); ++i) list[i]->pos_ = i;
  count_ -= freed;
  if (list.empty() && parent != root_.get()) parent->flags &= ~TWTreeNode::nfExpanded;
  structureChanged();
  // The cursor follows the branch only where the branch has rows.
  if (parentShown && parent != root_.get() && list.empty()) FocusNode(parent);
  else if (parentShown && wasLast && !list.empty() && parent->GetExpanded())
    FocusNode(list.back().get());
}

TWTreeNode* TWTreeModel::lastDescendant(TWTreeNode* n) {
  while (n->HasChildren()) n = n->children_.back().get();
  return n;
}

TWTreeNode* TWTreeModel::preOrderPred(TWTreeNode* n) {
  if (!n->parent_) return nullptr;
  if (n->pos_ == 0) return n->parent_;
  return lastDescendant(n->parent_->children_[n->pos_ - 1].get());
}

TWTreeNode* TWTreeModel::NextInPreOrder(TWTreeNode* n) {
  if (n->HasChildren()) return n->children_.front().get();
  for (; n; n = n->parent_)
    if (TWTreeNode* s = n->NextSibling()) return s;
  return nullptr;
}

int TWTreeModel::comparePos(const TWTreeNode* a, const TWTreeNode* b) {
  if (a == b) return 0;
  // Fast answers for the usual frontier positions (the root, a parent).
  if (!b->parent_ || b == a->parent_) return 1;
  if (!a->parent_ || a == b->parent_) return -1;
  int da = a->level_, db = b->level_;
  const TWTreeNode* x = a;
  const TWTreeNode* y = b;
  while (da > db) { x = x->parent_; --da; }
  while (db > da) { y = y->parent_; --db; }
  if (x == y) return a->level_ < b->level_ ? -1 : 1;  // an ancestor comes first
  while (x->parent_ != y->parent_) {
    x = x->parent_;
    y = y->parent_;
  }
  return x->pos_ < y->pos_ ? -1 : 1;
}

void TWTreeModel::moveFrontierBack(TWTreeNode* n) {
  if (n && comparePos(n, frontier_) < 0) frontier_ = n;
}

void TWTreeModel::addToChain(TWTreeNode* from, int delta) {
  from->prefixDirty_ = true;
  for (TWTreeNode* a = from; a && a->GetExpanded(); a = a->parent_) {
    a->shown_ += delta;
    if (a->parent_) a->parent_->prefixDirty_ = true;
  }
}

void TWTreeModel::ensurePrefix(TWTreeNode* n) {
  if (!n->prefixDirty_) return;
  n->prefix_.resize(n->children_.size() + 1);
  int sum = 0;
  for (size_t k = 0; k < n->children_.size(); ++k) {
    n->prefix_[k] = sum;
    sum += 1 + n->children_[k]->shown_;
  }
  n->prefix_.back() = sum;
  n->prefixDirty_ = false;
}

TWTreeNode* TWTreeModel::GetNode(int index) {
  if (index == 0) return root_.get();
  if (index < 0 || index > count_) throw WTreeError(index);
  if (index > frontier_->index_) {
    TWTreeNode* cur = frontier_;
    while (cur->index_ < index) {
      TWTreeNode* next = NextInPreOrder(cur);
      if (!next) throw WTreeError(index);
      next->index_ = cur->index_ + 1;
      cur = next;
    }
    frontier_ = cur;
    return cur;
  }
  // Binary search per level; along the frontier's own path only the
  // children up to the path are numbered.
  std::vector<TWTreeNode*> path(frontier_->level_ + 1);
  for (TWTreeNode* p = frontier_; p; p = p->parent_) path[p->level_] = p;
  TWTreeNode* x = root_.get();
  while (x->index_ != index) {
    auto& list = x->children_;
    int hi = int(list.size()) - 1;
    if (x->level_ + 1 < int(path.size()) && path[x->level_] == x) hi = path[x->level_ + 1]->pos_;
    int lo = 0, found = -1;
    while (lo <= hi) {
      const int mid = (lo + hi) / 2;
      if (list[mid]->index_ <= index) { found = mid; lo = mid + 1; }
      else hi = mid - 1;
    }
    if (found < 0) throw WTreeError(index);
    x = list[found].get();
  }
  return x;
}

TWTreeNode* TWTreeModel::NodeAtRow(int row) {
  if (row < 0 || row >= root_->shown_) return nullptr;
  TWTreeNode* x = root_.get();
  for (;;) {
    if (x->shown_ == x->ChildCount()) return x->children_[row].get();
    ensurePrefix(x);
    const auto it = std::upper_bound(x->prefix_.begin(), x->prefix_.end() - 1, row);
    const int k = int(it - x->prefix_.begin()) - 1;
    if (row == x->prefix_[k]) return x->children_[k].get();
    row -= x->prefix_[k] + 1;
    x = x->children_[k].get();
  }
}

int TWTreeModel::RowOf(TWTreeNode* node) {
  if (!node || node->tree_ != this || node == root_.get() || !node->IsShown()) return -1;
  int row = -1;
  for (TWTreeNode* x = node; x->parent_; x = x->parent_) {
    TWTreeNode* p = x->parent_;
    if (p->shown_ == p->ChildCount()) row += x->pos_ + 1;
    else {
      ensurePrefix(p);
      row += p->prefix_[x->pos_] + 1;
    }
  }
  return row;
}

TWTreeNode* TWTreeModel::NearestShown(TWTreeNode* node) const {
  if (!node || node == root_.get()) return node;
  std::vector<TWTreeNode*> path;
  for (TWTreeNode* p = node; p->parent_; p = p->parent_) path.push_back(p);
  TWTreeNode* x = path.back();
  for (auto it = path.rbegin(); it + 1 != path.rend() && x->GetExpanded(); ++it) x = *(it + 1);
  return x;
}

TWTreeNode* TWTreeModel::GetSelectedNode() {
  if (selected_ == root_.get() && count_ > 0)
    if (TWTreeNode* n = NodeAtRow(host_->CurrentRow())) selected_ = n;
  if (selected_ != root_.get() && !selected_->IsShown()) selected_ = NearestShown(selected_);
  return selected_;
}

void TWTreeModel::SetSelectedIndex(int index) {
  if (Updating()) return;
  if (index == 0 && count_ > 0) index = 1;
  if (index < 1) return;
  TWTreeNode* n = (selected_ != root_.get() && selected_->GetIndex() == index) ? selected_
                                                                               : GetNode(index);
  SelectNode(n);
}

void TWTreeModel::SelectNode(TWTreeNode* node) {
  if (!node) return;
  selected_ = NearestShown(node);
  FocusNode(selected_);
}

void TWTreeModel::FocusNode(TWTreeNode* node) {
  const int row = RowOf(node);
  if (row >= 0) host_->SetCurrentRow(row);
}

void TWTreeModel::BeginUpdate() { ++updateCount_; }

void TWTreeModel::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ > 0) return;
  structureChanged();
  host_->AdjustColumnWidth();
}

void TWTreeModel::structureChanged() {
  if (Updating()) return;
  updateRowCount();
  host_->InvalidateAll();
}

void TWTreeModel::updateRowCount() {
  if (Updating() || root_->shown_ == lastRowCount_) return;
  lastRowCount_ = root_->shown_;
  host_->RowCountChanged(lastRowCount_);
}

TWTreeNode* TWTreeModel::FindNodeByTag(quint8 tag) {
  if (selected_ != root_.get() && selected_->tag == tag) return selected_;
  TWTreeNode* found = nullptr;
  IterateNodes(root_.get(), [&](TWTreeNode* n) {
    if (n->tag == tag) found = n;
    return !found;
  });
  return found;
}

void TWTreeModel::IterateNodes(TWTreeNode* node, const std::function<bool(TWTreeNode*)>& callback) {
  if (!node) return;
  std::vector<TWTreeNode*> pending;
  for (auto it = node->children_.rbegin(); it != node->children_.rend(); ++it) pending.push_back(it->get());
  while (!pending.empty()) {
    TWTreeNode* n = pending.back();
    pending.pop_back();
    if (!callback(n)) return;
    for (auto it = n->children_.rbegin(); it != n->children_.rend(); ++it) pending.push_back(it->get());
  }
}

quint8 TWTreeModel::NextCheckState(quint8 state) {
  const int next = (state & 0x7F) + 1;
  return next >= 3 ? 0 : quint8(next);
}

void TWTreeModel::UpdateParentCheck(TWTreeNode* parent) {
  if (propagation_ == 0 || !parent || parent == root_.get() || !parent->GetChecked()) return;
  bool flag = false;
  IterateNodes(parent, [&](TWTreeNode* n) {
    flag = propagation_ == 1 ? n->GetChecked() : !n->GetChecked();
    return !flag;
  });
  parent->SetCheckValue(flag ? 3 : 1);
}

void TWTreeModel::expand(TWTreeNode* n) {
  if (n == root_.get() || n->GetExpanded()) return;
  for (TWTreeNode* p = n->parent_; p && p != root_.get(); p = p->parent_)
    if (!p->GetExpanded()) qCDebug(lcTree) << "expanding" << n->text << "inside collapsed" << p->text;
  host_->BeforeExpand(n);
  n->flags |= TWTreeNode::nfExpanded;
  int delta = 0;
  for (auto& c : n->children_) delta += 1 + c->shown_;
  n->shown_ = 0;
  n->prefixDirty_ = true;
  addToChain(n, delta);
  if (!Updating()) {
    if (n->IsShown()) host_->AdjustColumnWidth();
    updateRowCount();
    host_->InvalidateAll();
  }
  host_->AfterExpand(n);
}

void TWTreeModel::collapse(TWTreeNode* n) {
  if (n == root_.get() || !n->GetExpanded()) return;
  const int delta = n->shown_;
  IterateNodes(n, [](TWTreeNode* d) {
    d->flags &= ~TWTreeNode::nfExpanded;
    d->shown_ = 0;
    d->prefixDirty_ = true;
    return true;
  });
  n->shown_ = 0;
  n->flags &= ~TWTreeNode::nfExpanded;
  n->prefixDirty_ = true;
  addToChain(n->parent_, -delta);
  if (!Updating()) {
    updateRowCount();
    host_->InvalidateAll();
  }
  host_->BeforeCollapse(n);
  if (!Updating()) {
    if (n->IsShown()) host_->AdjustColumnWidth();
    updateRowCount();
  }
  host_->AfterCollapse(n);
}

void TWTreeModel::sortChildren(TWTreeNode* n) {
  moveFrontierBack(n);
  auto& list = n->children_;
  std::stable_sort(list.begin(), list.end(),
                   [this](const std::unique_ptr<TWTreeNode>& a, const std::unique_ptr<TWTreeNode>& b) {
                     return CompareText(a->text, b->text) < 0;
                   });
  for (int i = 0; i < int(list.size()); ++i) list[i]->pos_ = i;
  n->prefixDirty_ = true;
  if (!Updating() && n->GetExpanded()) host_->InvalidateAll();
}

}  // namespace qlon::controls
