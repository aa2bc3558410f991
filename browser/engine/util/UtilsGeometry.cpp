#include "UtilsGeometry.h"

#include <algorithm>
#include <filesystem>

#include <QMimeDatabase>
#include <QString>

#include "UtilsText.h"

namespace qlon {

namespace {

// Byte offset of the first n code points of a UTF-8 text.
std::size_t CodePointOffset(std::string_view text, std::size_t n) {
  std::size_t i = 0;
  while (i < text.size() && n > 0) {
    ++i;
    while (i < text.size() && IsUtf8Continuation(static_cast<unsigned char>(text[i]))) ++i;
    --n;
  }
  return i;
}

std::size_t CodePointCount(std::string_view text) {
  std::size_t n = 0;
  for (char c : text)
    if (!IsUtf8Continuation(static_cast<unsigned char>(c))) ++n;
  return n;
}

}  // namespace

Rect NormalizeRect(const Rect& r) {
  return {std::min(r.left, r.right), std::min(r.top, r.bottom), std::max(r.left, r.right), std::max(r.top, r.bottom)};
}

void ListBoxDeleteSelected(ListBoxModel& list) {
  const int former = list.ItemIndex();
  for (int i = list.Count() - 1; i >= 0; --i)
    if (list.Selected(i)) list.Delete(i);
  const int count = list.Count();
  if (count == 0 || former < 0) {
    list.SetItemIndex(-1);
    return;
  }
  const int current = std::min(former, count - 1);
  list.SetItemIndex(current);
  if (list.MultiSelect()) list.SetSelected(current, true);
}

void FitTextEllipsis(const TextExtent& canvas, std::string_view text, Rect& rect, std::string& result, bool keepEnd,
                     bool shorten) {
  result = std::string(text);
  if (text.empty()) return;
  int fit = 0, width = 0;
  canvas.Measure(text, rect.right - rect.left, fit, width);
  const std::size_t length = CodePointCount(text);
  if (shorten && fit >= 0 && static_cast<std::size_t>(fit) < length) {
    std::size_t keep = static_cast<std::size_t>(fit);
    std::string dots;
    if (keep == 0) {
      keep = 1;
    } else if (keep == 2 || keep == 3) {
      keep -= 1;
      dots = ".";
    } else if (keep > 3) {
      keep -= 2;
      dots = "...";
    }
    if (keepEnd)
      result = dots + std::string(text.substr(CodePointOffset(text, length - keep)));
    else
      result = std::string(text.substr(0, CodePointOffset(text, keep))) + dots;
  }
  rect.right = rect.left + width + 2;
}

std::string ShellIconName(const std::string& file, int flags) {
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) return flags & kIconOpen ? "folder-open" : "folder";
  static const QMimeDatabase db;
  const QMimeType type = db.mimeTypeForFile(QString::fromStdString(file));
  if (!type.isValid()) return {};
  return type.iconName().toStdString();
}

void DrawShellIcon(IconCanvas& canvas, int x, int y, int flags, const std::string& file) {
  const std::string icon = ShellIconName(file, flags);
  if (!icon.empty()) canvas.DrawIcon(icon, x, y, flags & kIconSmall ? 16 : 32, flags);
}

}  // namespace qlon

