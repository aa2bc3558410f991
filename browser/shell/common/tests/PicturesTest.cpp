// The program's pictures: every name the code asks for exists, and the
// files the build draws lie beside the program.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QRegularExpression>

#include "Pictures.h"

namespace qlon::shell {
namespace {

TEST(Pictures, EveryNameTheCodeLoadsIsDrawn) {
  for (const QString& name : ProgramBitmapNames())
    EXPECT_FALSE(ProgramBitmap(name).isNull()) << name.toStdString();
  EXPECT_EQ(ProgramBitmap("palettebmp").size(), QSize(16, 16));
  EXPECT_EQ(ProgramBitmap("FRAME_160X120").size(), QSize(168, 128));
  EXPECT_TRUE(ProgramBitmap("NO_SUCH_PICTURE").isNull());

  // Every name a source asks for by name.
  const QRegularExpression call(R"re(ProgramBitmap\("([^"]+)"\))re");
  int asked = 0;
  const QString source = qEnvironmentVariable("QLON_SOURCE_DIR") + "/browser";
  for (QDirIterator it(source, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
    const QString file = it.next();
    if (file.contains("/tests/")) continue;
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    for (auto m = call.globalMatch(QString::fromUtf8(f.readAll())); m.hasNext(); ++asked) {
      const QString name = m.next().captured(1);
      EXPECT_FALSE(ProgramBitmap(name).isNull()) << file.toStdString() << " asks for " << name.toStdString();
    }
  }
  EXPECT_GE(asked, 4) << "the windows' pictures were not found in the sources";
}

TEST(Pictures, TheBuildPutsTheirFilesBesideTheProgram) {
  const QString folder = QCoreApplication::applicationDirPath() + "/";
  const auto files = InstalledPictures();
  ASSERT_GE(files.size(), 2 * std::size(kIconSizes) + 1);
  for (const TInstalledPicture& file : files) {
    const QImage installed(folder + file.File);
    ASSERT_FALSE(installed.isNull()) << "missing from the build: " << file.File.toStdString();
    EXPECT_EQ(installed.size(), file.Picture.size()) << file.File.toStdString();
  }
  EXPECT_FALSE(QImage(folder + kBackgroundFile).isNull());
  // The window icon has every size the desktop's theme has.
  const QIcon icon = ProgramIcon();
  for (int size : kIconSizes) EXPECT_EQ(icon.pixmap(size).width(), size);
}

}  // namespace
}  // namespace qlon::shell
