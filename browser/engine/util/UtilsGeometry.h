#pragma once
// Geometry and windows. The engine opens no window: these routines act on
// a window through the small interfaces below, so that they run and are
// tested without one. The program's own controls measure, shorten and
// draw with Qt (controls/TextFit.h and the grids) and do not call them.
#include <string>
#include <string_view>

namespace qlon {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Rect&) const = default;
};
Rect NormalizeRect(const Rect& rect);

class ListBoxModel {
 public:
  virtual ~ListBoxModel() = default;
  virtual int Count() const = 0;
  virtual bool Selected(int index) const = 0;
  virtual void Delete(int index) = 0;
  virtual int ItemIndex() const = 0;  // the current item, -1 for none
  virtual void SetItemIndex(int index) = 0;
  virtual bool MultiSelect() const = 0;
  virtual void SetSelected(int index, bool selected) = 0;
};
// Deletes the selected items; the item now at the former current index
// (or the last one) becomes current, and selected in a multi-select list.
void ListBoxDeleteSelected(ListBoxModel& list);

// GetTextExtentExPoint of a canvas: how many characters (UTF-8 code points)
// of the text fit in maxWidth, and the width of the whole text.
class TextExtent {
 public:
  virtual ~TextExtent() = default;
  virtual void Measure(std::string_view text, int maxWidth, int& fit, int& width) const = 0;
};
// result = the text, shortened with dots to the characters that fit in the
// rectangle when shorten is set (keeping its end or its start); the
// rectangle's right edge becomes left + the whole text's width + 2.
void FitTextEllipsis(const TextExtent& canvas, std::string_view text, Rect& rect, std::string& result, bool keepEnd,
                     bool shorten);

// DrawShellIcon flags.
inline constexpr int kIconSmall = 2;
inline constexpr int kIconSelected = 16;
inline constexpr int kIconLinkOverlay = 32;
inline constexpr int kIconOpen = 64;
class IconCanvas {
 public:
  virtual ~IconCanvas() = default;
  // Draws the themed icon (or icon file) at (x, y); false when there is none.
  virtual bool DrawIcon(const std::string& icon, int x, int y, int size, int flags) = 0;
};
// The icon of the file's type (a folder's for a folder), 16 or 32 pixels.
void DrawShellIcon(IconCanvas& canvas, int x, int y, int flags, const std::string& file);
std::string ShellIconName(const std::string& file, int flags);

}  // namespace qlon
