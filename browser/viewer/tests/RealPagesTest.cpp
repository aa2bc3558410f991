// Real pages: the HTML manual of a Debian documentation package, loaded,
// laid out and painted to PNG files as a user would see them. Skipped when
// the package is not installed. QLON_VIEWER_PNG_DIR keeps the pictures.
#include <gtest/gtest.h>

#include <QDir>
#include <QImage>
#include <filesystem>

#include "Htmlview.h"
#include "TempRoot.h"
#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

const char* const kDocFolder = "/usr/share/doc/lua5.2";

TEST(RealPages, DocumentationSetRendersToPng) {
  if (!std::filesystem::exists(std::filesystem::path(kDocFolder) / "manual.html"))
    GTEST_SKIP() << kDocFolder << " is not installed";
  qlon::test::TempDir temp;
  QString out = qEnvironmentVariableIsSet("QLON_VIEWER_PNG_DIR") ? qEnvironmentVariable("QLON_VIEWER_PNG_DIR")
                                                                 : QString::fromStdString(temp.path().string());
  QDir().mkpath(out);

  THTMLViewer viewer;
  viewer.resize(800, 600);
  viewer.SetDefBackground(clWhite);
  viewer.SetDefFontColor(clBlack);
  viewer.SetViewImages(true);
  viewer.SetHistoryMaxCount(10);
  viewer.show();
  auto shoot = [&](const QString& name) {
    QImage img = viewer.grab().toImage();
    EXPECT_GT(test::DarkPixels(img, 128), 2000) << name.toStdString();
    EXPECT_TRUE(img.save(out + '/' + name + ".png")) << name.toStdString();
  };

  int pages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kDocFolder)) {
    if (entry.path().extension() != ".html") continue;
    QString file = QString::fromStdString(entry.path().string());
    ASSERT_NO_THROW(viewer.LoadFromFile(file)) << entry.path();
    EXPECT_FALSE(viewer.GetDocumentTitle().isEmpty()) << entry.path();
    EXPECT_GT(viewer.DocHeight(), 600) << entry.path();
    shoot(QString::fromStdString(entry.path().stem().string()));
    ++pages;
  }
  EXPECT_GE(pages, 3);

  // The contents page: its logo comes through the image cache; a link into
  // the manual follows to the section's anchor.
  viewer.LoadFromFile(QString(kDocFolder) + "/contents.html");
  EXPECT_GE(viewer.SectionList().BitmapList.Count(), 1);
  ASSERT_TRUE(viewer.PositionTo("#contents"));
  shoot("contents-at-contents");
  viewer.LoadFromFile(QString(kDocFolder) + "/manual.html#6.4");
  EXPECT_GT(viewer.VScrollPosition(), 10000);
  EXPECT_EQ(viewer.VScrollPosition(), viewer.AnchorY("6.4"));
  shoot("manual-at-6.4");
  ASSERT_GE(viewer.History().size(), 2);
  EXPECT_EQ(viewer.History()[0], QString(kDocFolder) + "/manual.html");
  EXPECT_EQ(viewer.History()[1], QString(kDocFolder) + "/contents.html");

  QImage thumb = viewer.MakePageBitmap(200, 150, true, true, 1);
  ASSERT_FALSE(thumb.isNull());
  EXPECT_TRUE(thumb.save(out + "/manual-thumbnail.png"));
}

}  // namespace
}  // namespace qlon::viewer
