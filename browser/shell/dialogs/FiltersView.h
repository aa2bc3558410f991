#pragma once
// TFiltersView: the sites and folders of a capture merged with its URL
// filter tree, one node per host, directory and file, each with a
// three-state box: none, allowed (1) or excluded (2). A marked node's state
// is spread, greyed, over its subtree, except where a descendant carries
// the opposite mark. ApplyToFilters writes the marks back into the filter
// list; neither the list nor the capture is owned.
#include <string>
#include <string_view>

#include "StringTree.h"
#include "WTree.h"

namespace qlon {
class TWeb;
}

namespace qlon::shell {

class TFiltersView : public controls::TCustomWTree {
  Q_OBJECT
 public:
  static constexpr quint8 kHostImage = 14;
  static constexpr quint8 kFolderImage = 0;

  explicit TFiltersView(QWidget* parent = nullptr);

  void SetData(TFilterList* filters, TWeb* web);
  TFilterList* Filters() const { return filters_; }
  void Rebuild();
  void ApplyToFilters();
  controls::TWTreeNode* FindPath(std::string_view url);
  void AddFilterPath(std::string_view url, bool exclude);
  void RemoveFilterPath(std::string_view url);

  // Sets a node's own mark as a click would have chosen it, then spreads it.
  void SetNodeMark(controls::TWTreeNode* node, quint8 state);
  // The path a node stands for, as the filter list writes it: "host/dir/file".
  static std::string NodePath(const controls::TWTreeNode* node);
  // The mark a node has by itself (0 for a greyed, inherited one).
  static quint8 OwnMark(const controls::TWTreeNode* node);
  // The mark of the nearest marked ancestor, 0 when none.
  static quint8 InheritedMark(const controls::TWTreeNode* node);

 private:
  controls::TWTreeNode* addPath(std::string_view url, quint8 state);
  void checked(controls::TWTreeNode* node);
  void spread(controls::TWTreeNode* node, quint8 state);

  TFilterList* filters_ = nullptr;
  TWeb* web_ = nullptr;
};

}  // namespace qlon::shell
