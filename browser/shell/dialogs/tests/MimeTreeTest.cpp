#include "MimeTree.h"

#include <gtest/gtest.h>


namespace qlon::shell {
namespace {

using controls::TWTreeNode;

class MimeTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    list.Clear();
    html = list.AddType("text/html", "htm,html", 0, mcHtml, true);
    plain = list.AddType("text/plain", "txt", 0, mcTexte, true);
    gif = list.AddType("image/gif", "gif", 0, mcImage, true);
    jpeg = list.AddType("image/jpeg", "jpg,jpeg", 0, mcImage, false);
    for (int c = 0; c < kMimeCategoryCount; ++c) list.SetCategoryEnabled(c, true);
    tree.SetMimeList(&list);
  }
  TWTreeNode* Category(int c) { return tree.Root()->Child(c); }
  TWTreeNode* TypeNode(int slot) {
    TWTreeNode* found = nullptr;
    tree.IterateNodes(tree.Root(), [&](TWTreeNode* n) {
      if (!TMimeTree::IsCategoryNode(n) && n->data == slot) found = n;
      return !found;
    });
    return found;
  }
  // Only a shown node can be the current one.
  void Select(TWTreeNode* n) {
    n->ExpandWithParents();
    tree.Model().SelectNode(n);
    ASSERT_EQ(tree.GetSelectedNode(), n);
  }
  void Toggle(TWTreeNode* n) {
    Select(n);
    tree.ToggleCheck();
  }

  TMimeList list;
  TMimeTree tree;
  int html = 0, plain = 0, gif = 0, jpeg = 0;
};

TEST_F(MimeTreeTest, ShowsSixCategoriesWithTheirTypesAndStates) {
  ASSERT_EQ(tree.Root()->ChildCount(), 6);
  EXPECT_EQ(Category(0)->text, "Pages HTML");
  EXPECT_EQ(Category(2)->text, "Images");
  EXPECT_EQ(Category(2)->image, 11);
  EXPECT_EQ(Category(2)->tag, TMimeTree::kCategoryTag);
  ASSERT_EQ(Category(2)->ChildCount(), 2);
  EXPECT_EQ(Category(2)->Child(0)->text, "gif#image/gif");
  EXPECT_EQ(Category(0)->Child(0)->text, "htm,html#text/html");
  EXPECT_TRUE(Category(2)->Child(0)->GetChecked());
  EXPECT_FALSE(TypeNode(jpeg)->GetChecked());
  EXPECT_EQ(Category(2)->GetCheckState(), 3) << "a checked category with an unchecked type is partly checked";
  EXPECT_EQ(Category(0)->GetCheckState(), 1);
  EXPECT_EQ(Category(5)->ChildCount(), 0);
}

TEST_F(MimeTreeTest, OnlyDefaultTypesGiveEmptyCategories) {
  TMimeList other;
  other.Clear();
  other.AddType("x/y", "xy", 0, mcDefaut, true);
  tree.SetMimeList(&other);
  ASSERT_EQ(tree.Root()->ChildCount(), 6);
  for (int c = 0; c < 6; ++c) EXPECT_EQ(Category(c)->ChildCount(), 0);
  tree.SetMimeList(nullptr);
  EXPECT_EQ(tree.Root()->ChildCount(), 0);
}

TEST_F(MimeTreeTest, CheckingWritesBackToTheTable) {
  Toggle(TypeNode(gif));
  EXPECT_EQ(list.GetItem(gif)->Params.Disabled, 1);
  EXPECT_EQ(Category(2)->GetCheckState(), 3);

  // Unchecking a category disables all its types and their boxes.
  Toggle(Category(2));
  EXPECT_FALSE(list.GetCategoryEnabled(mcImage));
  for (int slot : {gif, jpeg}) {
    EXPECT_FALSE(TypeNode(slot)->GetChecked());
    EXPECT_FALSE(TypeNode(slot)->GetEnabled());
    EXPECT_EQ(list.GetItem(slot)->Params.Disabled, 1);
  }
  // And checking it again re-enables them all, surviving a rebuild.
  Toggle(Category(2));
  tree.Rebuild();
  EXPECT_TRUE(list.GetCategoryEnabled(mcImage));
  for (int slot : {gif, jpeg}) {
    EXPECT_TRUE(TypeNode(slot)->GetChecked());
    EXPECT_TRUE(TypeNode(slot)->GetEnabled());
    EXPECT_EQ(list.GetItem(slot)->Params.Disabled, 0);
  }
  // A disabled category's types come back unavailable after a rebuild.
  list.SetCategoryEnabled(mcTexte, false);
  tree.Rebuild();
  EXPECT_FALSE(TypeNode(plain)->GetEnabled());
}

TEST_F(MimeTreeTest, FixedTypeStaysCheckedWhenItsCategoryIsUnchecked) {
  list.GetItem(html)->Params.Flags |= kMimeFixed;
  tree.Rebuild();
  Toggle(Category(0));
  EXPECT_TRUE(TypeNode(html)->GetChecked());
  EXPECT_EQ(list.GetItem(html)->Params.Disabled, 0);
}

TEST_F(MimeTreeTest, ExpansionIsKeptInTheTable) {
  Category(3)->SetExpanded(true);
  EXPECT_TRUE(list.GetCategoryExpanded(mcSon));
  Category(3)->SetExpanded(false);
  EXPECT_FALSE(list.GetCategoryExpanded(mcSon));
  list.SetCategoryExpanded(mcImage, true);
  tree.Rebuild();
  EXPECT_TRUE(Category(2)->GetExpanded());
  EXPECT_FALSE(Category(0)->GetExpanded());
}

TEST_F(MimeTreeTest, SelectionAddUpdateAndEnableAll) {
  tree.Model().SelectNode(Category(1));
  EXPECT_EQ(tree.GetSelectedMimeItem(), nullptr);
  EXPECT_EQ(tree.GetSelectedCategory(), mcTexte);

  TMimeItem added;
  added.ContentType = "audio/wav";
  added.Extensions = "wav";
  added.Category = mcSon;
  tree.AddMimeItem(added);
  ASSERT_NE(tree.GetSelectedMimeItem(), nullptr) << "the new type is selected";
  EXPECT_EQ(tree.GetSelectedMimeItem()->ContentType, "audio/wav");
  EXPECT_EQ(tree.GetSelectedCategory(), mcSon);
  EXPECT_EQ(Category(3)->ChildCount(), 1);

  TMimeItem edited;
  edited.ContentType = "audio/x-wav";
  edited.Extensions = "wav,wave";
  edited.Category = mcSon;
  tree.UpdateSelectedItem(edited);
  TMimeItem* item = list.FindType("audio/x-wav");
  ASSERT_NE(item, nullptr);
  EXPECT_EQ(item->Owner, &list);
  EXPECT_EQ(Category(3)->Child(0)->text, "wav,wave#audio/x-wav");

  for (int c = 0; c < 6; ++c) list.EnableCategory(c, false);
  tree.EnableAllCategories();
  for (int c = 0; c < 6; ++c) EXPECT_TRUE(list.GetCategoryEnabled(c));
  EXPECT_EQ(list.GetItem(jpeg)->Params.Disabled, 0);
  EXPECT_EQ(Category(2)->GetCheckState(), 1);
}

TEST_F(MimeTreeTest, DragMovesATypeOnlyToAnotherCategory) {
  tree.Model().SelectNode(Category(2));
  EXPECT_FALSE(tree.StartTypeDrag()) << "a category cannot be dragged";

  Select(TypeNode(gif));
  ASSERT_TRUE(tree.StartTypeDrag());
  EXPECT_FALSE(tree.AcceptsDrop(TypeNode(jpeg)));
  EXPECT_FALSE(tree.AcceptsDrop(Category(2)));
  tree.DropOn(TypeNode(jpeg));
  EXPECT_EQ(list.GetItem(gif)->Category, mcImage);
  EXPECT_FALSE(tree.TypeDragging());

  Select(TypeNode(gif));
  ASSERT_TRUE(tree.StartTypeDrag());
  EXPECT_TRUE(tree.AcceptsDrop(TypeNode(plain)));
  tree.DropOn(TypeNode(plain));
  EXPECT_EQ(list.GetItem(gif)->Category, mcTexte);
  EXPECT_EQ(Category(1)->ChildCount(), 2);

  Select(TypeNode(gif));
  ASSERT_TRUE(tree.StartTypeDrag());
  tree.DropOn(Category(4));
  EXPECT_EQ(list.GetItem(gif)->Category, mcVideo);
  EXPECT_EQ(tree.GetSelectedMimeItem(), list.GetItem(gif));
}

}  // namespace
}  // namespace qlon::shell
