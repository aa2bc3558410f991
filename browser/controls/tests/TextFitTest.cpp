#include <gtest/gtest.h>

#include "TextFit.h"

using namespace qlon::controls;

TEST(TextFit, ShortensByTheCountThatFits) {
  QFont mono("DejaVu Sans Mono", 10);
  const QFontMetrics fm(mono);
  const int w = fm.horizontalAdvance('x');
  const QString t = "abcdefghij";
  EXPECT_EQ(FitTextEllipsis(fm, t, 10 * w, false), t);
  EXPECT_EQ(FitTextEllipsis(fm, t, 6 * w, false), "abcd...");
  EXPECT_EQ(FitTextEllipsis(fm, t, 6 * w, true), "...ghij");
  EXPECT_EQ(FitTextEllipsis(fm, t, 3 * w, false), "ab.");
  EXPECT_EQ(FitTextEllipsis(fm, t, 1 * w, false), "a");
  EXPECT_EQ(FitTextEllipsis(fm, t, 0, false), "a");
  EXPECT_EQ(FitTextEllipsis(fm, t, 0, false, false), t);
  EXPECT_EQ(FitTextEllipsis(fm, "", 0, false), "");
}

TEST(TextFit, PathKeepsLongestTailFromASeparator) {
  QFont mono("DejaVu Sans Mono", 10);
  const QFontMetrics fm(mono);
  const int w = fm.horizontalAdvance('x');
  const QString url = "http://host/dir/sub/file.htm";
  EXPECT_EQ(FitPathEllipsis(fm, url, 100 * w), url);
  EXPECT_EQ(FitPathEllipsis(fm, url, 17 * w), ".../sub/file.htm");
  EXPECT_EQ(FitPathEllipsis(fm, url, 13 * w), ".../file.htm");
  // Even the last tail is too wide: the end of the text is kept.
  EXPECT_EQ(FitPathEllipsis(fm, url, 8 * w), "...le.htm");  // 8 fit: 6 + dots
}
