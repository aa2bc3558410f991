#include "FiltersView.h"

#include "Urlutil.h"
#include "Web.h"

namespace qlon::shell {

using controls::TWTreeModel;
using controls::TWTreeNode;

namespace {

// Filter paths are stored without a scheme; the URL parser wants one.
std::string WithScheme(std::string_view url) {
  if (url.find("://") != std::string_view::npos) return std::string(url);
  return "http://" + std::string(url);
}

// Path texts compare exactly, as the filter list compares them.
TWTreeNode* ChildByText(const TWTreeNode* parent, const QString& text) {
  for (int k = 0; k < parent->ChildCount(); ++k)
    if (parent->Child(k)->text == text) return parent->Child(k);
  return nullptr;
}

bool Marked(quint8 state) { return state == kFilterAllowed || state == kFilterExcluded; }

}  // namespace

TFiltersView::TFiltersView(QWidget* parent) : TCustomWTree(parent) {
  OnCheck = [this](TCustomWTree*, TWTreeNode* n) { checked(n); };
  SetOptions(toActionZone | toCheckFirst | toCheckByHandler);
  SetCheckStyle(3);
}

void TFiltersView::SetData(TFilterList* filters, TWeb* web) {
  filters_ = filters;
  web_ = web;
  Rebuild();
}

void TFiltersView::Rebuild() {
  BeginUpdate();
  Clear();
  Root()->SetSortMode(1);
  if (web_ && web_->IsOpen()) {
    for (bool more = web_->FindFirstSite(); more; more = web_->FindNextSite()) {
      addPath(web_->Cursor().FullUrl, 0);
      while (web_->FindNextFolder()) addPath(web_->Cursor().FullUrl, 0);
    }
  }
  if (filters_) {
    filters_->ForEach([this](TTreeNode* n) {
      if (Marked(quint8(n->Data))) addPath(TStringTree::GetTreeNodePath(n), quint8(n->Data));
      return true;
    });
  }
  // Show what each mark covers.
  IterateNodes(Root(), [this](TWTreeNode* n) {
    if (OwnMark(n)) spread(n, OwnMark(n));
    return true;
  });
  EndUpdate();
  SetCheckStyle(2);
}

TWTreeNode* TFiltersView::addPath(std::string_view url, quint8 state) {
  const TUrl u(WithScheme(url));
  if (u.Host.empty()) return nullptr;
  auto findOrAdd = [this](TWTreeNode* parent, const QString& text, quint8 kind, quint8 image, bool box) {
    if (TWTreeNode* n = ChildByText(parent, text)) return n;
    auto node = std::make_unique<TWTreeNode>(text, kind);
    node->image = image;
    if (box) node->flags = TWTreeNode::nfCheckBox | TWTreeNode::nfThreeState;
    TWTreeNode* raw = node.get();
    AddNode(parent, std::move(node));
    raw->SetSortMode(1);
    return raw;
  };
  TWTreeNode* n = findOrAdd(Root(), QString::fromStdString(u.Host + "/"), TWTreeNode::knFolder, kHostImage, true);
  for (size_t k = 1; k < u.Segments.size(); ++k)
    n = findOrAdd(n, QString::fromStdString(u.Segments[k]), TWTreeNode::knFolder, kFolderImage, true);
  if (!u.FileName.empty()) n = findOrAdd(n, QString::fromStdString(u.FileName), TWTreeNode::knFile, 0, false);
  if (Marked(state)) {
    n->checkState = state;
    n->flags &= ~TWTreeNode::nfGrayed;
  }
  return n;
}

std::string TFiltersView::NodePath(const TWTreeNode* node) {
  std::string path;
  for (; node && node->Parent(); node = node->Parent()) path.insert(0, node->text.toStdString());
  return path;
}

quint8 TFiltersView::OwnMark(const TWTreeNode* node) {
  if (!node || (node->flags & TWTreeNode::nfGrayed) || !Marked(node->checkState)) return 0;
  return node->checkState;
}

quint8 TFiltersView::InheritedMark(const TWTreeNode* node) {
  for (TWTreeNode* p = node ? node->Parent() : nullptr; p && p->Parent(); p = p->Parent())
    if (Marked(p->checkState)) return p->checkState;
  return 0;
}

void TFiltersView::ApplyToFilters() {
  if (!filters_) return;
  filters_->Clear();
  // Greyed states are inherited: only a node's own mark is a filter.
  IterateNodes(Root(), [this](TWTreeNode* n) {
    if (quint8 mark = OwnMark(n)) filters_->Add("http://" + NodePath(n), mark);
    return true;
  });
}

TWTreeNode* TFiltersView::FindPath(std::string_view url) {
  const TUrl u(WithScheme(url));
  TWTreeNode* n = ChildByText(Root(), QString::fromStdString(u.Host + "/"));
  for (size_t k = 1; n && k < u.Segments.size(); ++k) n = ChildByText(n, QString::fromStdString(u.Segments[k]));
  if (n && !u.FileName.empty()) n = ChildByText(n, QString::fromStdString(u.FileName));
  return n;
}

void TFiltersView::AddFilterPath(std::string_view url, bool exclude) {
  TWTreeNode* n = FindPath(url);
  if (!n) n = addPath(url, 0);
  if (!n) return;
  if (n->Parent()) n->Parent()->ExpandWithParents();
  SetNodeMark(n, exclude ? kFilterExcluded : kFilterAllowed);
  if (Root()->ChildCount() == 1) Root()->Child(0)->SetExpanded(true);
  InvalidateAll();
}

void TFiltersView::RemoveFilterPath(std::string_view url) {
  if (!filters_) return;
  ApplyToFilters();
  filters_->Delete(WithScheme(url));
  Rebuild();
}

void TFiltersView::checked(TWTreeNode* n) {
  if (!n || n == Root()) return;
  const quint8 inherited = InheritedMark(n);
  const quint8 own = OwnMark(n);
  quint8 next;
  if (inherited == 0) next = TWTreeModel::NextCheckState(own);
  else next = own ? 0 : quint8(3 - inherited);  // only the opposite mark, or none
  SetNodeMark(n, next);
}

void TFiltersView::SetNodeMark(TWTreeNode* n, quint8 state) {
  if (!n || n == Root()) return;
  n->SetGrayed(false);
  n->SetCheckValue(Marked(state) ? state : 0);
  const quint8 spreadState = Marked(state) ? state : InheritedMark(n);
  spread(n, spreadState);
  if (!Marked(state) && spreadState) {
    n->SetCheckValue(spreadState);
    n->SetGrayed(true);
  }
  InvalidateAll();
}

void TFiltersView::spread(TWTreeNode* n, quint8 state) {
  for (int k = 0; k < n->ChildCount(); ++k) {
    TWTreeNode* child = n->Child(k);
    const quint8 own = OwnMark(child);
    if (own && own != state && state) continue;  // the opposite mark keeps its own subtree
    if (own && !state) {
      spread(child, own);
      continue;
    }
    child->SetCheckValue(state);
    child->SetGrayed(state != 0);
    spread(child, state);
  }
}

}  // namespace qlon::shell
