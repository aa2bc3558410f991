#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "TempRoot.h"
#include "UtilsGeometry.h"

namespace qlon {
namespace {

TEST(Geometry, NormalizeRectOrdersCorners) {
  EXPECT_EQ(NormalizeRect({10, 20, 0, 5}), (Rect{0, 5, 10, 20}));
  EXPECT_EQ(NormalizeRect({0, 5, 10, 20}), (Rect{0, 5, 10, 20}));
}

class VectorListBox : public ListBoxModel {
 public:
  VectorListBox(std::vector<std::string> items, std::vector<bool> selected, int current, bool multi)
      : items(std::move(items)), selected(std::move(selected)), current(current), multi(multi) {}
  int Count() const override { return static_cast<int>(items.size()); }
  bool Selected(int i) const override { return selected[static_cast<std::size_t>(i)]; }
  void Delete(int i) override {
    items.erase(items.begin() + i);
    selected.erase(selected.begin() + i);
  }
  int ItemIndex() const override { return current; }
  void SetItemIndex(int i) override { current = i; }
  bool MultiSelect() const override { return multi; }
  void SetSelected(int i, bool s) override { selected[static_cast<std::size_t>(i)] = s; }
  std::vector<std::string> items;
  std::vector<bool> selected;
  int current;
  bool multi;
};

TEST(ListBoxDeleteSelected, FormerIndexOrLastBecomesCurrent) {
  VectorListBox a({"a", "b", "c", "d"}, {false, true, true, false}, 1, true);
  ListBoxDeleteSelected(a);
  EXPECT_EQ(a.items, (std::vector<std::string>{"a", "d"}));
  EXPECT_EQ(a.current, 1);
  EXPECT_TRUE(a.selected[1]);

  VectorListBox b({"a", "b", "c"}, {false, true, true}, 2, false);
  ListBoxDeleteSelected(b);
  EXPECT_EQ(b.items, std::vector<std::string>{"a"});
  EXPECT_EQ(b.current, 0);
  EXPECT_FALSE(b.selected[0]);  // single-select lists only move the current item

  VectorListBox c({"a", "b"}, {true, true}, 0, true);
  ListBoxDeleteSelected(c);
  EXPECT_TRUE(c.items.empty());
  EXPECT_EQ(c.current, -1);
}

// Every character (code point) is 10 pixels wide.
class FixedWidth : public TextExtent {
 public:
  void Measure(std::string_view text, int maxWidth, int& fit, int& width) const override {
    int n = 0;
    for (char c : text)
      if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
    width = n * 10;
    fit = std::min(n, maxWidth / 10);
  }
};

TEST(FitTextEllipsis, ShortensWithDotsByRoom) {
  struct Row {
    int room;
    bool keepEnd;
    const char* expected;
  };
  const Row rows[] = {
      {0, false, "a"},       {1, false, "a"},         {2, false, "a."},   {3, false, "ab."},
      {4, false, "ab..."},   {6, false, "abcd..."},   {6, true, "...ghij"}, {3, true, ".ij"},
      {10, false, "abcdefghij"},
  };
  const FixedWidth canvas;
  for (const Row& r : rows) {
    Rect rect{5, 0, 5 + r.room * 10, 10};
    std::string result;
    FitTextEllipsis(canvas, "abcdefghij", rect, result, r.keepEnd, true);
    EXPECT_EQ(result, r.expected) << r.room;
    EXPECT_EQ(rect.right, 5 + 100 + 2);  // the whole text's width
  }
  Rect rect{0, 0, 30, 10};
  std::string result;
  FitTextEllipsis(canvas, "abcdefghij", rect, result, false, false);
  EXPECT_EQ(result, "abcdefghij");
  FitTextEllipsis(canvas, "éàüöç", rect = {0, 0, 40, 10}, result, false, true);
  EXPECT_EQ(result, "éà...");  // characters, not bytes
  FitTextEllipsis(canvas, "", rect = {0, 0, 40, 10}, result, false, true);
  EXPECT_EQ(result, "");
  EXPECT_EQ(rect.right, 40);
}

class RecordingCanvas : public IconCanvas {
 public:
  bool DrawIcon(const std::string& icon, int x, int y, int size, int flags) override {
    drawn.push_back(icon + "@" + std::to_string(x) + "," + std::to_string(y) + "/" + std::to_string(size) + "/" +
                    std::to_string(flags));
    return true;
  }
  std::vector<std::string> drawn;
};

TEST(DrawShellIcon, TheTypesIconInItsSize) {
  test::TempDir dir;
  RecordingCanvas canvas;
  DrawShellIcon(canvas, 3, 4, kIconSmall | kIconSelected, "page.htm");
  DrawShellIcon(canvas, 0, 0, 0, dir.path().string());
  DrawShellIcon(canvas, 0, 0, kIconOpen, dir.path().string());
  EXPECT_EQ(canvas.drawn, (std::vector<std::string>{"text-html@3,4/16/18", "folder@0,0/32/0", "folder-open@0,0/32/64"}));
}

}  // namespace
}  // namespace qlon
