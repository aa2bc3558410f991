#include "FiltersView.h"

#include <gtest/gtest.h>

#include "TempRoot.h"
#include "Web.h"

namespace qlon::shell {
namespace {

using controls::TWTreeNode;

class FiltersViewTest : public ::testing::Test {
 protected:
  void Click(TWTreeNode* n) {
    view.Model().SelectNode(n);
    view.ToggleCheck();
  }
  TFilterList filters;
  TFiltersView view;
};

TEST_F(FiltersViewTest, EmptyCaptureAndFiltersGiveEmptyTreeAndApplyEmptiesList) {
  view.SetData(&filters, nullptr);
  EXPECT_EQ(view.Root()->ChildCount(), 0);
  filters.Add("http://a.example/x/", kFilterExcluded);
  view.ApplyToFilters();
  EXPECT_EQ(filters.GetCount(), 0);
  EXPECT_EQ(view.CheckStyle(), 2);
}

TEST_F(FiltersViewTest, FiltersShowWithTheirHostAndFolders) {
  filters.Add("http://a.example/private/deep/", kFilterExcluded);
  filters.Add("http://a.example/private/deep/ok.htm", kFilterAllowed);
  view.SetData(&filters, nullptr);
  TWTreeNode* host = view.FindPath("http://a.example/");
  ASSERT_NE(host, nullptr);
  EXPECT_EQ(host->text, "a.example/");
  EXPECT_EQ(host->image, TFiltersView::kHostImage);
  TWTreeNode* deep = view.FindPath("http://a.example/private/deep/");
  ASSERT_NE(deep, nullptr);
  EXPECT_EQ(TFiltersView::OwnMark(deep), kFilterExcluded);
  EXPECT_EQ(TFiltersView::OwnMark(deep->Parent()), 0);
  TWTreeNode* file = view.FindPath("http://a.example/private/deep/ok.htm");
  ASSERT_NE(file, nullptr);
  EXPECT_FALSE(file->flags & TWTreeNode::nfCheckBox);
  EXPECT_EQ(TFiltersView::OwnMark(file), kFilterAllowed) << "the opposite mark keeps its own";
  EXPECT_EQ(view.FindPath("http://a.example/other/"), nullptr);

  // Writing back gives the same filtering.
  view.ApplyToFilters();
  EXPECT_TRUE(filters.IsExcluded("http://a.example/private/deep/x.htm"));
  EXPECT_TRUE(filters.IsAllowed("http://a.example/private/deep/ok.htm"));
  EXPECT_FALSE(filters.IsExcluded("http://a.example/private/y.htm"));
}

TEST_F(FiltersViewTest, CheckCycleFollowsTheInheritedMark) {
  filters.Add("http://a.example/d/e/", 0);
  view.SetData(&filters, nullptr);
  view.AddFilterPath("http://a.example/d/e/", false);  // folder nodes for the path
  view.SetNodeMark(view.FindPath("http://a.example/d/e/"), 0);
  TWTreeNode* d = view.FindPath("http://a.example/d/");
  TWTreeNode* e = view.FindPath("http://a.example/d/e/");
  ASSERT_TRUE(d && e);

  Click(d);
  EXPECT_EQ(TFiltersView::OwnMark(d), kFilterAllowed);
  EXPECT_EQ(e->checkState, kFilterAllowed);
  EXPECT_TRUE(e->flags & TWTreeNode::nfGrayed) << "spread over the subtree";
  Click(e);
  EXPECT_EQ(TFiltersView::OwnMark(e), kFilterExcluded) << "below an allowed folder only excluded or none";
  Click(e);
  EXPECT_EQ(TFiltersView::OwnMark(e), 0);
  EXPECT_EQ(e->checkState, kFilterAllowed) << "back to the inherited look";
  Click(e);
  Click(d);  // allowed -> excluded: the excluded child loses its now redundant mark
  EXPECT_EQ(TFiltersView::OwnMark(d), kFilterExcluded);
  EXPECT_EQ(TFiltersView::OwnMark(e), 0);
  Click(d);
  EXPECT_EQ(TFiltersView::OwnMark(d), 0);
  EXPECT_EQ(e->checkState, 0);

  Click(d);
  Click(e);
  view.ApplyToFilters();
  EXPECT_TRUE(filters.IsAllowed("http://a.example/d/x.htm"));
  EXPECT_TRUE(filters.IsExcluded("http://a.example/d/e/x.htm"));
  EXPECT_NE(filters.Find("http://a.example/d/"), nullptr);
  EXPECT_EQ(filters.Find("http://a.example/d/")->Data, kFilterAllowed)
      << "an inherited state is not written as a filter of its own";
}

TEST_F(FiltersViewTest, AddAndRemoveFilterPaths) {
  view.SetData(&filters, nullptr);
  view.AddFilterPath("http://b.example/ads/", true);
  view.AddFilterPath("http://b.example/ads/keep/", false);
  view.AddFilterPath("http://c.example/", false);
  view.ApplyToFilters();
  EXPECT_TRUE(filters.IsExcluded("http://b.example/ads/x.gif"));
  EXPECT_TRUE(filters.IsAllowed("http://b.example/ads/keep/x.gif"));
  EXPECT_TRUE(filters.IsAllowed("http://c.example/x.htm"));
  EXPECT_TRUE(view.FindPath("http://b.example/")->GetExpanded());

  view.RemoveFilterPath("http://b.example/ads/keep/");
  EXPECT_EQ(view.FindPath("http://b.example/ads/keep/"), nullptr);
  EXPECT_TRUE(filters.IsExcluded("http://b.example/ads/keep/x.gif"));
  view.ApplyToFilters();
  EXPECT_TRUE(filters.IsExcluded("http://b.example/ads/keep/x.gif"));
  EXPECT_TRUE(filters.IsAllowed("http://c.example/x.htm"));
}

TEST_F(FiltersViewTest, CaptureSitesAndFoldersAreMergedWithFilters) {
  test::TempDir dir;
  TWeb web;
  web.CreateNew(dir.path() / "local.web");
  for (const char* url : {"http://a.example/x/page.htm", "http://a.example/y/z/p.htm", "http://b.example/i.htm"}) {
    TWebFile r(&web);
    ASSERT_TRUE(web.AddUrl(url, r));
  }
  filters.Add("http://a.example/x/", kFilterExcluded);
  view.SetData(&filters, &web);
  ASSERT_EQ(view.Root()->ChildCount(), 2);
  EXPECT_EQ(view.Root()->Child(0)->text, "a.example/");
  EXPECT_NE(view.FindPath("http://a.example/y/z/"), nullptr);
  EXPECT_NE(view.FindPath("http://b.example/"), nullptr);
  TWTreeNode* x = view.FindPath("http://a.example/x/");
  ASSERT_NE(x, nullptr);
  EXPECT_EQ(TFiltersView::OwnMark(x), kFilterExcluded);
  Click(view.FindPath("http://a.example/y/"));
  view.ApplyToFilters();
  EXPECT_TRUE(filters.IsAllowed("http://a.example/y/z/p.htm"));
  EXPECT_TRUE(filters.IsExcluded("http://a.example/x/page.htm"));
  web.Close();
}

}  // namespace
}  // namespace qlon::shell
