#include <gtest/gtest.h>
#include <dlfcn.h>

#include <QImage>
#include <filesystem>
#include <random>

#include "GifWriter.h"
#include "TempRoot.h"
#include "Zoom.h"

namespace {
namespace fs = std::filesystem;

class ZoomLib : public ::testing::Test {
 protected:
  void SetUp() override {
    handle_ = dlopen((fs::read_symlink("/proc/self/exe").parent_path() / kZoomFileName).c_str(), RTLD_NOW);
    ASSERT_NE(handle_, nullptr) << dlerror();
    stretch_ = reinterpret_cast<StretchFilterDIBProc>(dlsym(handle_, "StretchFilterDIB"));
    convert_ = reinterpret_cast<ConvertDIBProc>(dlsym(handle_, "ConvertDIB"));
    save_ = reinterpret_cast<SaveToGIFProc>(dlsym(handle_, "SaveToGIF"));
    ASSERT_TRUE(stretch_ && convert_ && save_);
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  void* handle_ = nullptr;
  StretchFilterDIBProc stretch_ = nullptr;
  ConvertDIBProc convert_ = nullptr;
  SaveToGIFProc save_ = nullptr;
  qlon::test::TempDir dir_;
};

// Noisy pixels over many colours make the compressor fill and clear its table.
QImage NoisyIndexed(int w, int h, int colours) {
  QImage img(w, h, QImage::Format_Indexed8);
  QList<QRgb> table;
  for (int i = 0; i < colours; ++i) table << qRgb(i, 255 - i, (i * 7) & 0xFF);
  img.setColorTable(table);
  std::mt19937 rng(42);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) img.setPixel(x, y, (x / 3 + y) % 5 == 0 ? rng() % colours : (x + y) % colours);
  return img;
}

TEST_F(ZoomLib, GifRoundTripsThroughQtsDecoder) {
  for (int colours : {2, 3, 16, 200}) {
    QImage src = NoisyIndexed(301, 203, colours);
    std::string path = (dir_.path() / ("g" + std::to_string(colours) + ".gif")).string();
    ASSERT_EQ(save_(&src, path.c_str()), 1);
    QImage back(QString::fromStdString(path));
    ASSERT_EQ(back.size(), src.size()) << colours;
    bool same = true;
    for (int y = 0; y < src.height() && same; ++y)
      for (int x = 0; x < src.width() && same; ++x) same = back.pixel(x, y) == src.pixel(x, y);
    EXPECT_TRUE(same) << colours << " colours";
  }
}

TEST_F(ZoomLib, TransparentEntryGetsAControlExtension) {
  QImage img(2, 2, QImage::Format_Indexed8);
  img.setColorTable({qRgba(0, 0, 0, 0), qRgb(255, 0, 0)});
  img.fill(1);
  img.setPixel(0, 0, 0);
  std::string gif = qlon::zoom::EncodeGif(img);
  EXPECT_NE(gif.find("\x21\xF9\x04\x01"), std::string::npos);
  QImage back = QImage::fromData(reinterpret_cast<const uchar*>(gif.data()), int(gif.size()), "GIF");
  EXPECT_EQ(qAlpha(back.pixel(0, 0)), 0);
  EXPECT_EQ(back.pixel(1, 1), qRgb(255, 0, 0));
  EXPECT_TRUE(qlon::zoom::EncodeGif(QImage(2, 2, QImage::Format_RGB32)).empty());
}

TEST_F(ZoomLib, StretchAndConvert) {
  QImage src(800, 600, QImage::Format_RGB32);
  src.fill(qRgb(10, 20, 30));
  QImage out;
  ASSERT_EQ(stretch_(&src, 0, 0, 800, 600, 160, 120, 1, &out), 1);
  EXPECT_EQ(out.size(), QSize(160, 120));
  EXPECT_EQ(stretch_(&src, 0, 0, 800, 600, 0, 120, 1, &out), 0);
  EXPECT_TRUE(out.isNull());
  QImage small;
  ASSERT_EQ(convert_(&src, 8, &small), 1);
  EXPECT_EQ(small.format(), QImage::Format_Indexed8);
  EXPECT_LE(small.colorCount(), 256);
  std::string path = (dir_.path() / "thumb.gif").string();
  EXPECT_EQ(save_(&src, path.c_str()), 1);  // reduced to 256 colours on the way
  EXPECT_EQ(QImage(QString::fromStdString(path)).size(), QSize(800, 600));
  EXPECT_EQ(save_(&src, (dir_.path() / "no" / "such" / "x.gif").c_str()), 0);
}

}  // namespace
