#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "WTreeModel.h"

using namespace qlon::controls;

namespace {

std::vector<QString> texts(TWTreeNode* n) {
  std::vector<QString> out;
  for (int i = 0; i < n->ChildCount(); ++i) out.push_back(n->Child(i)->text);
  return out;
}

// A reference tree kept by the most direct means: every expectation is
// recomputed from scratch by walking it.
struct Ref {
  int id;
  QString text;
  bool expanded = false;
  bool sorted = false;
  Ref* parent = nullptr;
  std::vector<std::unique_ptr<Ref>> kids;
};

void preorder(Ref* r, std::vector<Ref*>& all) {
  for (auto& k : r->kids) {
    all.push_back(k.get());
    preorder(k.get(), all);
  }
}

void shownRows(Ref* r, std::vector<Ref*>& rows) {
  for (auto& k : r->kids) {
    rows.push_back(k.get());
    if (k->expanded) shownRows(k.get(), rows);
  }
}

int depth(Ref* r) {
  int d = 0;
  for (; r->parent; r = r->parent) ++d;
  return d;
}

class ModelCheck : public ::testing::Test {
 protected:
  TWTreeModel model;
  Ref root{0, "", true, false, nullptr, {}};
  std::map<int, TWTreeNode*> nodeOf;
  std::map<int, Ref*> refOf;
  int nextId = 1;
  std::mt19937 rng{12345};

  int rnd(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }

  Ref* randomRef(bool allowRoot) {
    std::vector<Ref*> all;
    if (allowRoot) all.push_back(&root);
    preorder(&root, all);
    return all.empty() ? nullptr : all[rnd(int(all.size()))];
  }
  TWTreeNode* nodeFor(Ref* r) { return r == &root ? model.Root() : nodeOf.at(r->id); }

  void insert() {
    Ref* p = randomRef(true);
    auto ref = std::make_unique<Ref>();
    ref->id = nextId++;
    ref->text = QString("n%1").arg(rnd(500));
    ref->parent = p;
    auto node = std::make_unique<TWTreeNode>(ref->text);
    node->data = ref->id;
    nodeOf[ref->id] = node.get();
    refOf[ref->id] = ref.get();
    size_t pos = p->kids.size();
    if (p->sorted && !p->kids.empty()) {
      pos = 0;
      while (pos < p->kids.size() && model.CompareText(p->kids[pos]->text, ref->text) < 0) ++pos;
    }
    p->kids.insert(p->kids.begin() + pos, std::move(ref));
    EXPECT_EQ(model.AddNode(nodeFor(p), std::move(node)), int(pos));
  }

  void erase() {
    Ref* r = randomRef(false);
    if (!r) return;
    // Mostly small branches, so that the tree keeps growing.
    if (rnd(4) != 0)
      while (!r->kids.empty()) r = r->kids[rnd(int(r->kids.size()))].get();
    std::vector<Ref*> sub{r};
    preorder(r, sub);
    TWTreeNode* n = nodeFor(r);
    for (Ref* s : sub) {
      nodeOf.erase(s->id);
      refOf.erase(s->id);
    }
    Ref* p = r->parent;
    p->kids.erase(std::find_if(p->kids.begin(), p->kids.end(), [r](auto& k) { return k.get() == r; }));
    if (p->kids.empty() && p != &root) p->expanded = false;
    model.FreeNode(n);
  }

  void expand() {
    Ref* r = randomRef(false);
    if (!r) return;
    r->expanded = true;
    nodeFor(r)->SetExpanded(true);
  }

  void collapse() {
    Ref* r = randomRef(false);
    if (!r) return;
    std::vector<Ref*> sub{r};
    preorder(r, sub);
    // Collapsing a collapsed node does nothing, even below it.
    if (r->expanded)
      for (Ref* s : sub) s->expanded = false;
    nodeFor(r)->SetExpanded(false);
  }

  void sortSome() {
    Ref* r = randomRef(true);
    r->sorted = true;
    std::stable_sort(r->kids.begin(), r->kids.end(),
                     [this](auto& a, auto& b) { return model.CompareText(a->text, b->text) < 0; });
    nodeFor(r)->SetSortMode(1);
  }

  void fullExpand() {
    Ref* r = randomRef(false);
    if (!r) return;
    std::vector<Ref*> sub{r};
    preorder(r, sub);
    for (Ref* s : sub)
      if (s == r || !s->kids.empty()) s->expanded = true;
    nodeFor(r)->FullExpand();
  }

  void probeSomeIndexes() {
    // Out-of-order reads move the index frontier around before the full check.
    std::vector<Ref*> all;
    preorder(&root, all);
    for (int k = 0; k < 3 && !all.empty(); ++k) {
      const int i = rnd(int(all.size()));
      ASSERT_EQ(nodeFor(all[i])->GetIndex(), i + 1);
    }
  }

  void run(int steps) {
    for (int step = 0; step < steps; ++step) {
      const int op = rnd(100);
      if (op < 55 || model.GetItemCount() < 20) insert();
      else if (op < 67) erase();
      else if (op < 83) expand();
      else if (op < 93) collapse();
      else if (op < 97) sortSome();
      else fullExpand();
      probeSomeIndexes();
      if (step % 4 == 0 || step > steps - 100) {
        compare();
        if (HasFatalFailure()) FAIL() << "after step " << step;
      }
    }
  }

  void compare() {
    std::vector<Ref*> all, rows;
    preorder(&root, all);
    shownRows(&root, rows);
    ASSERT_EQ(model.GetItemCount(), int(all.size()));
    ASSERT_EQ(model.RowCount(), int(rows.size()));
    for (size_t i = 0; i < all.size(); ++i) {
      TWTreeNode* n = model.GetNode(int(i + 1));
      ASSERT_EQ(n->data, all[i]->id) << "index " << i + 1;
      ASSERT_EQ(n->Level(), depth(all[i]));
      ASSERT_EQ(n->GetExpanded(), all[i]->expanded);
    }
    for (size_t i = all.size(); i-- > 0;) ASSERT_EQ(nodeFor(all[i])->GetIndex(), int(i + 1));
    for (size_t r = 0; r < rows.size(); ++r) {
      TWTreeNode* n = model.NodeAtRow(int(r));
      ASSERT_NE(n, nullptr);
      ASSERT_EQ(n->data, rows[r]->id) << "row " << r;
      ASSERT_EQ(model.RowOf(n), int(r));
    }
    ASSERT_EQ(model.NodeAtRow(int(rows.size())), nullptr);
  }
};

}  // namespace

TEST_F(ModelCheck, RandomOperationsKeepRowsIndexesAndLevels) {
  run(4000);
  EXPECT_GT(model.GetItemCount(), 1000);
}

TEST_F(ModelCheck, RandomOperationsUnderSortedRoot) {
  // Insertions before every other node move the index frontier to the root.
  root.sorted = true;
  model.Root()->SetSortMode(1);
  run(1500);
}

TEST_F(ModelCheck, UpdateBlocksDeferRowCountButNotCorrectness) {
  model.BeginUpdate();
  model.BeginUpdate();
  for (int i = 0; i < 300; ++i) insert();
  model.EndUpdate();
  for (int i = 0; i < 50; ++i) expand();
  model.EndUpdate();
  compare();
}

TEST(WTreeModel, EmptyTreeHasNoRowsAndNoItems) {
  TWTreeModel m;
  EXPECT_EQ(m.RowCount(), 0);
  EXPECT_EQ(m.GetItemCount(), 0);
  EXPECT_EQ(m.NodeAtRow(0), nullptr);
  EXPECT_EQ(m.GetNode(0), m.Root());
  EXPECT_THROW(m.GetNode(1), WTreeError);
  EXPECT_EQ(m.GetSelectedNode(), m.Root());
}

TEST(WTreeModel, SortedParentInsertsCaseInsensitively) {
  TWTreeModel m;
  TWTreeNode* p = m.AddChild(nullptr, "p");
  p->SetSortMode(1);
  m.AddChild(p, "b");
  m.AddChild(p, "A");
  m.AddChild(p, "c");
  EXPECT_EQ(texts(p), (std::vector<QString>{"A", "b", "c"}));
  // Equal texts go before the first equal one.
  TWTreeNode* dup = m.AddChild(p, "B");
  EXPECT_EQ(dup->Position(), 1);
  // Sorting an unsorted parent later reorders and renumbers.
  TWTreeNode* q = m.AddChild(nullptr, "q");
  for (const char* t : {"z", "y", "x"}) m.AddChild(q, t);
  q->SetSortMode(2);
  EXPECT_EQ(texts(q), (std::vector<QString>{"x", "y", "z"}));
  EXPECT_EQ(q->Child(0)->GetIndex(), q->GetIndex() + 1);
}

TEST(WTreeModel, CollapseHidesWholeBranchAndLeavesItCollapsed) {
  TWTreeModel m;
  TWTreeNode* a = m.AddChild(nullptr, "a");
  TWTreeNode* b = m.AddChild(a, "b");
  TWTreeNode* c = m.AddChild(b, "c");
  m.AddChild(c, "d");
  m.AddChild(nullptr, "e");
  a->SetExpanded(true);
  b->SetExpanded(true);
  c->SetExpanded(true);
  EXPECT_EQ(m.RowCount(), 5);
  a->SetExpanded(false);
  EXPECT_EQ(m.RowCount(), 2);
  EXPECT_FALSE(b->GetExpanded());
  EXPECT_FALSE(c->GetExpanded());
  a->SetExpanded(true);
  EXPECT_EQ(m.RowCount(), 3);
}

TEST(WTreeModel, ExpandingInsideCollapsedBranchCountsWhenShown) {
  TWTreeModel m;
  TWTreeNode* a = m.AddChild(nullptr, "a");
  TWTreeNode* b = m.AddChild(a, "b");
  m.AddChild(b, "c1");
  m.AddChild(b, "c2");
  b->SetExpanded(true);  // hidden: a is collapsed
  EXPECT_EQ(m.RowCount(), 1);
  a->SetExpanded(true);
  EXPECT_EQ(m.RowCount(), 4);
  EXPECT_EQ(m.NodeAtRow(3)->text, "c2");
  // A node added already expanded under a shown parent.
  auto n = std::make_unique<TWTreeNode>("x");
  n->flags = TWTreeNode::nfExpanded;
  TWTreeNode* x = n.get();
  m.AddNode(b, std::move(n));
  m.AddChild(x, "y");
  EXPECT_EQ(m.RowCount(), 6);
  EXPECT_EQ(m.NodeAtRow(5)->text, "y");
}

TEST(WTreeModel, FreeingLastChildMovesCurrentRow) {
  TWTreeModel m;
  TWTreeNode* a = m.AddChild(nullptr, "a");
  TWTreeNode* c1 = m.AddChild(a, "c1");
  TWTreeNode* c2 = m.AddChild(a, "c2");
  m.AddChild(nullptr, "z");
  a->SetExpanded(true);
  m.SelectNode(c2);
  EXPECT_EQ(m.Host().CurrentRow(), 2);
  m.FreeNode(c2);
  EXPECT_EQ(m.Host().CurrentRow(), m.RowOf(c1));
  EXPECT_EQ(m.RawSelection(), m.Root());
  m.FreeNode(c1);
  EXPECT_EQ(m.Host().CurrentRow(), 0);
  EXPECT_FALSE(a->GetExpanded());
  EXPECT_EQ(m.RowCount(), 2);
}

TEST(WTreeModel, SelectionFallsBackToShownAncestor) {
  TWTreeModel m;
  TWTreeNode* a = m.AddChild(nullptr, "a");
  TWTreeNode* b = m.AddChild(a, "b");
  TWTreeNode* c = m.AddChild(b, "c");
  a->SetExpanded(true);
  b->SetExpanded(true);
  m.SetSelectedIndex(c->GetIndex());
  EXPECT_EQ(m.GetSelectedNode(), c);
  a->SetExpanded(false);
  EXPECT_EQ(m.GetSelectedNode(), a);
  // Index 0 means the first node; updates ignore selection changes.
  m.SetSelectedIndex(0);
  EXPECT_EQ(m.GetSelectedNode(), a);
  m.BeginUpdate();
  m.ClearSelection();
  m.SetSelectedIndex(1);
  EXPECT_EQ(m.RawSelection(), m.Root());
  m.EndUpdate();
  // With no explicit selection the current row decides.
  m.Host().SetCurrentRow(0);
  EXPECT_EQ(m.GetSelectedNode(), a);
}

TEST(WTreeModel, PropagationModeTwoMarksPartialCategory) {
  TWTreeModel m;
  m.SetCheckPropagation(2);
  TWTreeNode* cat = m.AddChild(nullptr, "text");
  TWTreeNode* t1 = m.AddChild(cat, "text/html");
  TWTreeNode* t2 = m.AddChild(cat, "text/plain");
  cat->SetChecked(true);
  t1->SetChecked(true);
  t2->SetChecked(true);
  EXPECT_EQ(cat->GetCheckState(), 1);
  t2->SetChecked(false);
  EXPECT_EQ(cat->GetCheckState(), 3);
  t2->SetChecked(true);
  EXPECT_EQ(cat->GetCheckState(), 1);
  // An unchecked category is left alone.
  cat->SetChecked(false);
  t1->SetChecked(false);
  EXPECT_EQ(cat->GetCheckState(), 0);
}

TEST(WTreeModel, PropagationModeOneMarksCategoryWithCheckedDescendant) {
  TWTreeModel m;
  m.SetCheckPropagation(1);
  TWTreeNode* cat = m.AddChild(nullptr, "c");
  TWTreeNode* t = m.AddChild(cat, "t");
  cat->SetChecked(true);
  t->SetChecked(true);
  EXPECT_EQ(cat->GetCheckState(), 3);
  t->SetChecked(false);
  EXPECT_EQ(cat->GetCheckState(), 1);
}

TEST(WTreeModel, NextCheckStateCyclesAndRecoversFromPartial) {
  EXPECT_EQ(TWTreeModel::NextCheckState(0), 1);
  EXPECT_EQ(TWTreeModel::NextCheckState(1), 2);
  EXPECT_EQ(TWTreeModel::NextCheckState(2), 0);
  EXPECT_EQ(TWTreeModel::NextCheckState(3), 0);
  EXPECT_EQ(TWTreeModel::NextCheckState(0x81), 2);
}

TEST(WTreeModel, FindAndIterate) {
  TWTreeModel m;
  TWTreeNode* a = m.AddChild(nullptr, "a");
  TWTreeNode* b = m.AddChild(a, "B");
  TWTreeNode* c = m.AddChild(nullptr, "c");
  a->tag = 7;
  c->tag = 7;
  EXPECT_EQ(m.FindNodeByTag(7), a);
  m.SelectNode(c);
  EXPECT_EQ(m.FindNodeByTag(7), c);
  EXPECT_EQ(m.FindNodeByTag(9), nullptr);
  EXPECT_EQ(a->FindChild("b"), b);
  EXPECT_EQ(a->FindChild("x"), nullptr);
  int calls = 0;
  m.IterateNodes(b, [&](TWTreeNode*) { return ++calls, true; });
  EXPECT_EQ(calls, 0);
  std::vector<QString> seen;
  m.IterateNodes(m.Root(), [&](TWTreeNode* n) { seen.push_back(n->text); return n != b; });
  EXPECT_EQ(seen, (std::vector<QString>{"a", "B"}));
}

TEST(WTreeModel, CaptionRules) {
  TWTreeNode n("http://host/dir/page.htm", TWTreeNode::knFile);
  EXPECT_EQ(n.GetCaption(), "page.htm");
  n.kind = TWTreeNode::knText;
  EXPECT_EQ(n.GetCaption(), "http://host/dir/page.htm");
  n.text = "C:\\dir\\";
  n.flags = TWTreeNode::nfNoTrailingSlash;
  EXPECT_EQ(n.GetCaption(), "C:\\dir");
  n.kind = TWTreeNode::knFileNoIcon;
  EXPECT_EQ(n.GetCaption(), "dir");
}

TEST(WTreeModel, HooksRunAroundExpansionAndMayFillChildren) {
  struct Host : IWTreeHost {
    std::vector<std::string> log;
    TWTreeModel* m = nullptr;
    void BeforeExpand(TWTreeNode* n) override {
      log.push_back("before-expand " + std::to_string(n->GetExpanded()));
      if (!n->HasChildren()) m->AddChild(n, "lazy");
    }
    void AfterExpand(TWTreeNode*) override { log.push_back("after-expand"); }
    void BeforeCollapse(TWTreeNode* n) override { log.push_back("before-collapse " + std::to_string(n->GetExpanded())); }
    void AfterCollapse(TWTreeNode*) override { log.push_back("after-collapse"); }
  } host;
  TWTreeModel m(&host);
  host.m = &m;
  TWTreeNode* a = m.AddChild(nullptr, "a");
  a->SetExpanded(true);
  EXPECT_EQ(m.RowCount(), 2);  // the child added by the hook is shown
  a->SetExpanded(true);        // already expanded: nothing
  a->SetExpanded(false);
  EXPECT_EQ(host.log, (std::vector<std::string>{"before-expand 0", "after-expand", "before-collapse 0",
                                                "after-collapse"}));
}

TEST(WTreeModel, SetFlagsKeepsExpansionConsistent) {
  TWTreeModel m;
  TWTreeNode* a = m.AddChild(nullptr, "a");
  m.AddChild(a, "b");
  a->SetFlags(TWTreeNode::nfExpanded | TWTreeNode::nfBold);
  EXPECT_FALSE(a->GetExpanded());
  EXPECT_EQ(m.RowCount(), 1);
  EXPECT_TRUE(a->flags & TWTreeNode::nfBold);
}

TEST(WTreeModel, DeepChainFreesWithoutRecursion) {
  TWTreeModel m;
  TWTreeNode* n = nullptr;
  for (int i = 0; i < 200000; ++i) n = m.AddChild(n, "x");
  EXPECT_EQ(m.GetItemCount(), 200000);
  EXPECT_EQ(n->GetIndex(), 200000);
  m.Clear();
  EXPECT_EQ(m.GetItemCount(), 0);
}

TEST(WTreeModel, IndexesFollowInsertAndFreeAtTheFront) {
  TWTreeModel m;
  m.Root()->SetSortMode(1);
  TWTreeNode* b = m.AddChild(nullptr, "b");
  TWTreeNode* c = m.AddChild(nullptr, "c");
  m.AddChild(b, "b1");
  EXPECT_EQ(c->GetIndex(), 3);
  TWTreeNode* a = m.AddChild(nullptr, "a");
  EXPECT_EQ(a->GetIndex(), 1);
  EXPECT_EQ(m.GetNode(2), b);
  EXPECT_EQ(c->GetIndex(), 4);
  m.FreeNode(a);
  EXPECT_EQ(m.GetNode(1), b);
  EXPECT_EQ(c->GetIndex(), 3);
  m.FreeNode(b);
  EXPECT_EQ(c->GetIndex(), 1);
  EXPECT_EQ(m.GetItemCount(), 1);
}

TEST(WTreeModel, RefusesNodesThatBelongElsewhere) {
  TWTreeModel a, b;
  TWTreeNode* inA = a.AddChild(nullptr, "a");
  EXPECT_EQ(b.AddNode(inA, std::make_unique<TWTreeNode>("x")), -1);
  EXPECT_EQ(b.AddNode(nullptr, nullptr), -1);
  EXPECT_EQ(a.GetItemCount(), 1);
  EXPECT_EQ(b.GetItemCount(), 0);
  b.FreeNode(inA);  // not b's: ignored
  EXPECT_EQ(a.GetItemCount(), 1);
}
