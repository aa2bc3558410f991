#include "Capabilities.h"

#include <utility>
#include <vector>

#include <gtest/gtest.h>

using namespace qlon::scanner;

namespace {

struct Seen {
  int32_t message;
  int32_t id;
  int32_t valueAtCallback;
};
std::vector<Seen> g_seen;
Capabilities* g_caps = nullptr;

int32_t Record(int32_t message, int32_t id) {
  g_seen.push_back({message, id, g_caps ? g_caps->Current(id) : 0});
  return 0;
}

class FakeDevice : public CapabilityDevice {
 public:
  bool online = false, feeder = false, paper = false;
  int32_t loadedResult = 0, loaded = 0;
  bool DeviceOnline() override { return online; }
  bool FeederUsable() override { return feeder; }
  bool PaperPresent() override { return paper; }
  int32_t PaperLoaded(int32_t* out) override {
    *out = loaded;
    return loadedResult;
  }
};

class CapabilitiesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_seen.clear();
    g_caps = &caps;
    caps.SetNotify(&Record);
    caps.SetDevice(&device);
  }
  void TearDown() override { g_caps = nullptr; }
  Capabilities caps;
  FakeDevice device;
};

}  // namespace

TEST_F(CapabilitiesTest, TablesDifferOnlyWhereModelSixNeedsIt) {
  caps.Select(0);
  const int32_t* ids = nullptr;
  int32_t count = 0;
  ASSERT_EQ(caps.GetList(&ids, &count), 0);
  ASSERT_EQ(count, 34);
  const std::vector<int32_t> listA(ids, ids + count);
  EXPECT_EQ(listA.front(), cap::AutoFeed);
  EXPECT_EQ(listA.back(), cap::Smoothing);
  EXPECT_EQ(caps.Current(cap::PhysicalWidth), 2552);
  EXPECT_EQ(caps.Current(cap::NativeY), 300);

  caps.Select(6);
  ASSERT_EQ(caps.GetList(&ids, &count), 0);
  EXPECT_EQ(std::vector<int32_t>(ids, ids + count), listA);
  EXPECT_EQ(caps.Current(cap::PaperLength), 7016);
  EXPECT_EQ(caps.Current(cap::PhysicalWidth), 5104);
  int32_t kind = -1;
  void* value = nullptr;
  ASSERT_EQ(caps.Get(cap::OpticalY, &kind, &value), 0);
  const auto* e = static_cast<const CapEnum*>(value);
  ASSERT_EQ(kind, kCapEnum);
  EXPECT_EQ(std::vector<int32_t>(e->list, e->list + e->count),
            (std::vector<int32_t>{75, 150, 300, 600, 1200}));
  ASSERT_EQ(caps.Get(cap::XResolution, &kind, &value), 0);
  EXPECT_EQ(static_cast<const CapRange*>(value)->maximum, 9600);

  EXPECT_EQ(caps.GetList(nullptr, &count), -14);
  EXPECT_EQ(caps.GetUnits(cap::XResolution), kUnitsDpi);
  EXPECT_EQ(caps.GetUnits(0x1100), -9);
  int32_t flags = 0;
  ASSERT_EQ(caps.GetFlags(cap::FeederLoaded, &flags), 0);
  EXPECT_EQ(flags, 3);
  ASSERT_EQ(caps.GetFlags(cap::Frame, &flags), 0);
  EXPECT_EQ(flags, 0);
}

TEST_F(CapabilitiesTest, SetChecksEachKindAndKeepsTheValueOnFailure) {
  EXPECT_EQ(caps.Set(cap::Brightness, 101), -7);
  EXPECT_EQ(caps.Set(cap::Brightness, -1), -7);
  EXPECT_EQ(caps.Set(cap::PixelType, 3), -5);
  EXPECT_EQ(caps.Set(cap::NativeX, 400), -25);
  EXPECT_EQ(caps.Set(0x1100, 1), -9);
  EXPECT_EQ(caps.Set(cap::Brightness, intptr_t{1} << 40), -7);
  EXPECT_EQ(caps.Current(cap::Brightness), 50);
  EXPECT_EQ(caps.Current(cap::PixelType), 2);
  EXPECT_TRUE(g_seen.empty());

  ASSERT_EQ(caps.Set(cap::Brightness, 70), 0);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].message, kNotifyValueChanged);
  EXPECT_EQ(g_seen[0].id, cap::Brightness);
  EXPECT_EQ(g_seen[0].valueAtCallback, 70);

  int32_t v = 0;
  EXPECT_EQ(caps.GetValue(cap::Frame, &v), -9);
  ASSERT_EQ(caps.GetValue(cap::Brightness, &v), 0);
  EXPECT_EQ(v, 70);
}

TEST_F(CapabilitiesTest, SettingTheCurrentValueIsSilentEvenWhenReadOnly) {
  EXPECT_EQ(caps.Set(cap::NativeX, 300), 0);
  EXPECT_EQ(caps.Set(cap::PixelType, 2), 0);
  const int32_t frame[4] = {0, 0, 637, 825};
  EXPECT_EQ(caps.Set(cap::Frame, reinterpret_cast<intptr_t>(frame)), 0);
  EXPECT_TRUE(g_seen.empty());
}

TEST_F(CapabilitiesTest, FramesWithNegativeOriginOrEmptyExtentAreRefused) {
  const int32_t bad[][4] = {{-1, 0, 10, 10}, {0, -5, 10, 10}, {0, 0, 0, 10}, {0, 0, 10, -3}};
  for (const auto& f : bad)
    EXPECT_EQ(caps.Set(cap::Frame, reinterpret_cast<intptr_t>(f)), -7) << f[0] << f[1] << f[2] << f[3];
  EXPECT_EQ(caps.Set(cap::Frame, 0), -14);
  const int32_t good[4] = {10, 20, 300, 200};
  ASSERT_EQ(caps.Set(cap::Frame, reinterpret_cast<intptr_t>(good)), 0);
  CapFrame f{};
  ASSERT_TRUE(caps.FrameOf(&f));
  EXPECT_EQ(f.left, 10);
  EXPECT_EQ(f.height, 200);
  ASSERT_EQ(g_seen.size(), 1u);
  EXPECT_EQ(g_seen[0].id, cap::Frame);
}

TEST_F(CapabilitiesTest, ResolutionChoosesTheOpticalResolutionSilently) {
  struct Case { int model; int32_t requested; int32_t optical; } cases[] = {
      {0, 101, 150}, {0, 600, 300}, {0, 76, 150}, {0, 50, 75}, {0, 151, 300},
      {6, 601, 1200}, {6, 9600, 1200}, {6, 300, 300},
  };
  for (const Case& c : cases) {
    caps.Select(c.model);
    g_seen.clear();
    ASSERT_EQ(caps.Set(cap::YResolution, c.requested), 0);
    EXPECT_EQ(caps.Current(cap::OpticalY), c.optical) << c.model << " " << c.requested;
    ASSERT_EQ(g_seen.size(), 1u);
    EXPECT_EQ(g_seen[0].id, cap::YResolution);
  }
  caps.Select(6);
  ASSERT_EQ(caps.Set(cap::XResolution, 1000), 0);
  EXPECT_EQ(caps.Current(cap::OpticalX), 600);

  caps.Select(0);
  ASSERT_EQ(caps.Set(cap::XResolution, 100), 0);
  ASSERT_EQ(caps.Set(cap::Smoothing, 1), 0);
  EXPECT_EQ(caps.Current(cap::OpticalX), 300);
  EXPECT_EQ(caps.Current(cap::OpticalY), 300);
  ASSERT_EQ(caps.Set(cap::YResolution, 50), 0);
  EXPECT_EQ(caps.Current(cap::OpticalY), 300);
  ASSERT_EQ(caps.Set(cap::Smoothing, 0), 0);
  EXPECT_EQ(caps.Current(cap::OpticalX), 150);
  EXPECT_EQ(caps.Current(cap::OpticalY), 75);
}

TEST_F(CapabilitiesTest, PaperSizeSharesItsCellAndIsStoredBeforeTheHostHears) {
  caps.Select(5);
  ASSERT_EQ(caps.Set(cap::PaperWidth, 2000), 0);
  EXPECT_EQ(caps.Current(cap::PhysicalWidth), 2000);
  ASSERT_EQ(g_seen.size(), 2u);
  EXPECT_EQ(g_seen[0].id, cap::PhysicalWidth);
  EXPECT_EQ(g_seen[0].valueAtCallback, 2000);
  EXPECT_EQ(g_seen[1].id, cap::PaperWidth);
  EXPECT_EQ(caps.Default(cap::PhysicalWidth), 2552);

  EXPECT_EQ(caps.Set(cap::PaperWidth, 99), -1);
  EXPECT_EQ(caps.Set(cap::PaperWidth, 2553), -1);
  EXPECT_EQ(caps.Set(cap::PaperLength, 7017), -1);  // table A on model 5
  EXPECT_EQ(caps.Current(cap::PhysicalWidth), 2000);

  caps.Select(2);
  EXPECT_EQ(caps.Set(cap::PaperLength, 9000), 0);  // other models take any positive size
  EXPECT_EQ(caps.Current(cap::PhysicalHeight), 9000);
  EXPECT_EQ(caps.Set(cap::PaperLength, 0), -1);
  EXPECT_EQ(caps.Current(cap::PhysicalHeight), 9000);
}

TEST_F(CapabilitiesTest, FeederAndOnlineHooksAskTheDevice) {
  EXPECT_EQ(caps.Set(cap::DeviceOnline, 1), -1);
  device.online = true;
  EXPECT_EQ(caps.Set(cap::DeviceOnline, 1), 0);

  int32_t kind;
  void* value;
  device.online = false;
  ASSERT_EQ(caps.Get(cap::DeviceOnline, &kind, &value), 0);
  EXPECT_EQ(static_cast<CapEnum*>(value)->current, 0);

  // The real lists hold only 0, so the feeder paths run on a widened list.
  ASSERT_EQ(caps.ReplaceList(cap::FeederEnabled, {0, 1}, 0), 0);
  ASSERT_EQ(caps.ReplaceList(cap::AutoFeed, {0, 1}, 0), 0);
  EXPECT_EQ(g_seen.back().message, kNotifyAllowedValuesChanged);
  EXPECT_EQ(caps.Set(cap::AutoFeed, 1), -1);  // feeder not enabled
  EXPECT_EQ(caps.Set(cap::FeederEnabled, 1), -1);
  device.feeder = true;
  g_seen.clear();
  ASSERT_EQ(caps.Set(cap::FeederEnabled, 1), 0);
  ASSERT_EQ(g_seen.size(), 3u);
  EXPECT_EQ(g_seen[0].id, cap::PhysicalWidth);
  EXPECT_EQ(g_seen[1].id, cap::PhysicalHeight);
  EXPECT_EQ(g_seen[2].id, cap::FeederEnabled);
  ASSERT_EQ(caps.Set(cap::AutoFeed, 1), 0);

  EXPECT_EQ(caps.Get(cap::AutoFeed, &kind, &value), -17);
  device.paper = true;
  EXPECT_EQ(caps.Get(cap::AutoFeed, &kind, &value), 0);

  device.loaded = 1;
  ASSERT_EQ(caps.Get(cap::FeederLoaded, &kind, &value), 0);
  EXPECT_EQ(caps.Current(cap::FeederLoaded), 1);
  device.loadedResult = -62;
  EXPECT_EQ(caps.Get(cap::FeederLoaded, &kind, &value), -19);
  EXPECT_EQ(caps.Current(cap::FeederLoaded), 0);

  ASSERT_EQ(caps.Set(cap::FeederEnabled, 0), 0);
  EXPECT_EQ(caps.Current(cap::AutoFeed), 0);
  device.loadedResult = 0;
  ASSERT_EQ(caps.Get(cap::FeederLoaded, &kind, &value), 0);
  EXPECT_EQ(caps.Current(cap::FeederLoaded), 0);
}

TEST_F(CapabilitiesTest, SwitchingTheFeederOffRestoresWideModelsPaper) {
  caps.Select(6);
  device.feeder = true;
  ASSERT_EQ(caps.ReplaceList(cap::FeederEnabled, {0, 1}, 0), 0);
  ASSERT_EQ(caps.Set(cap::FeederEnabled, 1), 0);
  ASSERT_EQ(caps.Set(cap::PaperWidth, 3000), 0);
  ASSERT_EQ(caps.Set(cap::FeederEnabled, 0), 0);
  EXPECT_EQ(caps.Current(cap::PhysicalWidth), 5104);

  caps.Select(1);
  ASSERT_EQ(caps.ReplaceList(cap::FeederEnabled, {0, 1}, 1), 0);
  ASSERT_EQ(caps.Set(cap::PaperWidth, 3000), 0);
  ASSERT_EQ(caps.Set(cap::FeederEnabled, 0), 0);
  EXPECT_EQ(caps.Current(cap::PhysicalWidth), 3000);
}

TEST_F(CapabilitiesTest, SelectingATableRestoresTheDefaults) {
  ASSERT_EQ(caps.Set(cap::PixelType, 0), 0);
  caps.Select(0);
  EXPECT_EQ(caps.Current(cap::PixelType), 2);
  EXPECT_EQ(caps.Current(cap::OpticalX), 75);
}
