#include "TextFit.h"

namespace qlon::controls {

int FitCount(const QFontMetrics& fm, const QString& text, int maxWidth) {
  int lo = 0, hi = int(text.size());
  while (lo < hi) {
    const int mid = (lo + hi + 1) / 2;
    if (fm.horizontalAdvance(text.left(mid)) <= maxWidth) lo = mid;
    else hi = mid - 1;
  }
  return lo;
}

QString FitTextEllipsis(const QFontMetrics& fm, const QString& text, int maxWidth,
                        bool keepEnd, bool shorten) {
  if (text.isEmpty() || !shorten) return text;
  int f = FitCount(fm, text, maxWidth);
  if (f >= text.size()) return text;
  QString dots;
  if (f == 0) f = 1;
  else if (f == 2 || f == 3) { f -= 1; dots = "."; }
  else if (f > 3) { f -= 2; dots = "..."; }
  return keepEnd ? dots + text.right(f) : text.left(f) + dots;
}

QString FitPathEllipsis(const QFontMetrics& fm, const QString& text, int maxWidth) {
  if (fm.horizontalAdvance(text) <= maxWidth) return text;
  QString best;
  for (qsizetype i = text.size() - 1; i >= 0; --i) {
    if (text[i] != '/' && text[i] != '\\') continue;
    const QString candidate = "..." + text.mid(i, 255);
    if (fm.horizontalAdvance(candidate) >= maxWidth) break;
    best = candidate;
  }
  return best.isEmpty() ? FitTextEllipsis(fm, text, maxWidth, true) : best;
}

}  // namespace qlon::controls
