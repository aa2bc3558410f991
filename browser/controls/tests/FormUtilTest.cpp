#include <gtest/gtest.h>

#include "FormUtil.h"

using namespace qlon::controls;

TEST(CenterForm, OnTheMainFormOrTheScreen) {
  const QRect main(100, 50, 800, 600);
  EXPECT_EQ(CenterForm({441, 380}, &main, {1024, 768}), QPoint(279, 160));
  EXPECT_EQ(CenterForm({441, 380}, nullptr, {1024, 768}), QPoint(291, 194));
  EXPECT_EQ(CenterForm({1031, 800}, nullptr, {1024, 768}), QPoint(-3, -16));  // rounds toward zero
}

TEST(ClampToScreen, StoredPlacesArePulledBackOntoTheScreen) {
  EXPECT_EQ(ClampToScreen({900, 700, 400, 300}, 1024, 768), (TWindowBounds{624, 468, 400, 300}));
  EXPECT_EQ(ClampToScreen({-50, -10, 400, 300}, 1024, 768), (TWindowBounds{0, 0, 400, 300}));
  EXPECT_EQ(ClampToScreen({10, 10, 2000, 1000}, 1024, 768), (TWindowBounds{0, 0, 1024, 768}));
  EXPECT_EQ(ClampToScreen({10, 20, 400, 300}, 1024, 768), (TWindowBounds{10, 20, 400, 300}));
}
