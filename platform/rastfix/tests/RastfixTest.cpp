#include "Rastfix.h"

#include <dlfcn.h>

#include <filesystem>
#include <vector>

#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

class Rastfix : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    handle_ = dlopen((folder / kRastfixFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    auto fn = reinterpret_cast<RastfixInterfaceFn>(dlsym(handle_, kRastfixInterface));
    ASSERT_NE(fn, nullptr);
    enhancer_ = fn();
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  void* handle_ = nullptr;
  C_ImageEnhanceInterface* enhancer_ = nullptr;
};

}  // namespace

TEST_F(Rastfix, HalvesGreyByAveragingAndKeepsPadding) {
  // 4 x 2 grey -> 2 x 1: each target pixel the mean of a 2 x 2 block.
  std::vector<uint8_t> src = {10, 20, 100, 200, 30, 40, 50, 50};
  std::vector<uint8_t> dst(4, 0xEE);
  CImageData in(src.data(), 4, 2, 8), out(dst.data(), 2, 1, 8);
  EXPECT_EQ(in.ImageSize(), 8);
  EXPECT_EQ(out.ImageSize(), 4);
  ASSERT_EQ(enhancer_->Scale(in, out), 0);
  EXPECT_EQ(dst[0], 25);
  EXPECT_EQ(dst[1], 100);
  EXPECT_EQ(dst[2], 0xEE);  // row padding is not image
}

TEST_F(Rastfix, EnlargesColourAndLineArtByRepetition) {
  std::vector<uint8_t> src = {1, 2, 3, 0};  // one RGB pixel, padded row
  std::vector<uint8_t> dst(2 * 8, 0);      // 2 x 2 RGB, rows of 8 bytes
  CImageData in(src.data(), 1, 1, 24), out(dst.data(), 2, 2, 24);
  ASSERT_EQ(enhancer_->Scale(in, out), 0);
  EXPECT_EQ(std::vector<uint8_t>(dst.begin() + 8, dst.begin() + 14), (std::vector<uint8_t>{1, 2, 3, 1, 2, 3}));

  std::vector<uint8_t> bits = {0xA0, 0, 0, 0};  // 1 0 1 0
  std::vector<uint8_t> wide(4, 0);
  CImageData art(bits.data(), 4, 1, 1), twice(wide.data(), 8, 1, 1);
  ASSERT_EQ(enhancer_->Scale(art, twice), 0);
  EXPECT_EQ(wide[0], 0xCC);  // 11 00 11 00
}

TEST_F(Rastfix, RefusesInvalidImages) {
  std::vector<uint8_t> buf(64);
  CImageData grey(buf.data(), 4, 2, 8), colour(buf.data(), 4, 2, 24), empty(buf.data(), 0, 2, 8),
      odd(buf.data(), 4, 2, 16), none(nullptr, 4, 2, 8);
  EXPECT_EQ(enhancer_->Scale(grey, colour), -1);
  EXPECT_EQ(enhancer_->Scale(empty, grey), -1);
  EXPECT_EQ(enhancer_->Scale(odd, odd), -1);
  EXPECT_EQ(enhancer_->Scale(none, grey), -1);
  EXPECT_EQ(empty.ImageSize(), 0);
}
