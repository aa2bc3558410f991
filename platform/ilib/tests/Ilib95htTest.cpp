#include <gtest/gtest.h>
#include <dlfcn.h>
#include <unistd.h>

#include <QImage>
#include <filesystem>

#include "Ilib95ht.h"
#include "TempRoot.h"

namespace {
namespace fs = std::filesystem;

fs::path ProgramFolder() { return fs::read_symlink("/proc/self/exe").parent_path(); }

class Ilib : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen((ProgramFolder() / kIlibFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  IlibLoader loader(const char* name) { return reinterpret_cast<IlibLoader>(dlsym(handle_, name)); }
  std::string Write(const char* name, const char* format, int w, int h) {
    QImage img(w, h, QImage::Format_RGB32);
    img.fill(qRgb(10, 200, 30));
    std::string path = (dir_.path() / name).string();
    EXPECT_TRUE(img.save(QString::fromStdString(path), format));
    return path;
  }
  void* handle_ = nullptr;
  qlon::test::TempDir dir_;
};

int Go(int) { return 1; }
int Stop(int) { return 0; }

TEST_F(Ilib, DecodesEachKindByItsOwnLoaderOnly) {
  std::string bmp = Write("a.bmp", "BMP", 7, 5), jpg = Write("b.jpg", "JPEG", 9, 4);
  QImage out;
  void* pal = reinterpret_cast<void*>(1);
  ASSERT_GE(loader(kIlibBmp)(bmp.c_str(), 24, 1, &out, &pal, Go, 0), 1);
  EXPECT_EQ(out.size(), QSize(7, 5));
  EXPECT_EQ(pal, nullptr);
  ASSERT_GE(loader(kIlibJpeg)(jpg.c_str(), 24, 1, &out, &pal, Go, 0), 1);
  EXPECT_EQ(out.size(), QSize(9, 4));
  // A BMP handed to the JPEG loader is a failure, not a guess.
  EXPECT_LT(loader(kIlibJpeg)(bmp.c_str(), 24, 1, &out, &pal, Go, 0), 1);
  EXPECT_TRUE(out.isNull());
}

TEST_F(Ilib, GifKeepsItsTransparency) {
  // 1 x 1 GIF89a, two-entry colour table, index 0 transparent.
  const unsigned char gif[] = {'G', 'I', 'F', '8', '9', 'a', 1, 0, 1, 0, 0x80, 0, 0, 0x10, 0x20, 0x30, 0xFF, 0xFF,
                               0xFF, 0x21, 0xF9, 4, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 2, 0x44, 1, 0,
                               0x3B};
  std::string path = (dir_.path() / "t.gif").string();
  qlon::test::WriteFileBytes(path, std::string(reinterpret_cast<const char*>(gif), sizeof gif));
  auto gifLoader = reinterpret_cast<IlibGifLoader>(dlsym(handle_, kIlibGif));
  QImage out;
  void* pal;
  ASSERT_GE(gifLoader(path.c_str(), 24, 1, &out, &pal, Go, 0, "lzw"), 1);
  EXPECT_EQ(qAlpha(out.pixel(0, 0)), 0);
}

TEST_F(Ilib, ProgressZeroStopsAndMissingFileFails) {
  std::string bmp = Write("a.bmp", "BMP", 3, 3);
  QImage out;
  void* pal;
  EXPECT_LT(loader(kIlibBmp)(bmp.c_str(), 24, 1, &out, &pal, Stop, 0), 1);
  EXPECT_TRUE(out.isNull());
  EXPECT_LT(loader(kIlibBmp)((dir_.path() / "none.bmp").c_str(), 24, 1, &out, &pal, Go, 0), 1);
  EXPECT_LT(loader(kIlibBmp)(nullptr, 24, 1, &out, &pal, Go, 0), 1);
}

}  // namespace
