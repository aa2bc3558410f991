// Drops on the main window's drop target, delivered as a window system
// would: drag entry, then the drop.
#include "UrlDropTarget.h"

#include <gtest/gtest.h>

#include <QDropEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QUrl>
#include <QWidget>

#include "TempRoot.h"

namespace qlon {
namespace {

class UrlDropTargetTest : public ::testing::Test {
 protected:
  UrlDropTargetTest() : target_(&widget_), dropped_(&target_, &TUrlDropTarget::UrlDropped) {
    target_.SetActive(true);
  }
  // Whether the drag was accepted at its entry; the drop follows it.
  bool Drop(const QMimeData& data) {
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget_, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(&widget_, &drop);
    EXPECT_EQ(enter.isAccepted(), drop.isAccepted());
    return enter.isAccepted();
  }
  QString Last() const { return dropped_.isEmpty() ? QString() : dropped_.last().at(0).toString(); }
  static QMimeData* Uris(const QList<QUrl>& urls) {
    auto* data = new QMimeData;
    data->setUrls(urls);
    return data;
  }
  QString Local(const std::string& name) const { return QString::fromStdString((dir_.path() / name).string()); }

  test::TempDir dir_;
  QWidget widget_;
  TUrlDropTarget target_;
  QSignalSpy dropped_;
};

TEST_F(UrlDropTargetTest, UriListGivesItsFirstUsableAddress) {
  std::unique_ptr<QMimeData> data(Uris({QUrl("javascript:alert(1)"), QUrl("http://www.example.com/a.html")}));
  EXPECT_TRUE(Drop(*data));
  EXPECT_EQ(Last(), "http://www.example.com/a.html");

  test::WriteFileBytes(dir_.path() / "page.htm", "<html></html>");
  data.reset(Uris({QUrl::fromLocalFile(Local("page.htm"))}));
  EXPECT_TRUE(Drop(*data));
  EXPECT_EQ(Last(), "file://" + Local("page.htm"));
  EXPECT_EQ(dropped_.count(), 2);
}

TEST_F(UrlDropTargetTest, DroppedShortcutFilesGiveTheAddressInside) {
  test::WriteFileBytes(dir_.path() / "Site.URL", "[InternetShortcut]\r\nURL=ftp://ftp.example.com/pub/\r\n");
  std::unique_ptr<QMimeData> data(Uris({QUrl::fromLocalFile(Local("Site.URL"))}));
  EXPECT_TRUE(Drop(*data));
  EXPECT_EQ(Last(), "ftp://ftp.example.com/pub/");

  test::WriteFileBytes(dir_.path() / "lien.desktop", "[Desktop Entry]\nType=Link\nURL=http://lien/\n");
  data.reset(Uris({QUrl::fromLocalFile(Local("lien.desktop"))}));
  EXPECT_TRUE(Drop(*data));
  EXPECT_EQ(Last(), "http://lien/");

  // A shortcut without an address, or to something a capture cannot start
  // from, is not taken as a file either.
  test::WriteFileBytes(dir_.path() / "vide.url", "[InternetShortcut]\nIconIndex=0\n");
  test::WriteFileBytes(dir_.path() / "mail.url", "[InternetShortcut]\nURL=mailto:x@example.com\n");
  data.reset(Uris({QUrl::fromLocalFile(Local("vide.url")), QUrl::fromLocalFile(Local("mail.url"))}));
  EXPECT_FALSE(Drop(*data));
  EXPECT_EQ(dropped_.count(), 2);
}

TEST_F(UrlDropTargetTest, PlainTextCountsOnlyWhenItIsAnAddress) {
  QMimeData data;
  data.setText("  \n  http://www.example.com/x  \nsecond line");
  EXPECT_TRUE(Drop(data));
  EXPECT_EQ(Last(), "http://www.example.com/x");

  for (const QString& garbage : {QString(""), QString("   "), QString("bonjour"), QString("www.example.com"),
                                 QString("http://"), QString("http://a/\x01x"), QString("https:x"),
                                 "http://a/" + QString(9000, 'x')}) {
    data.setText(garbage);
    EXPECT_FALSE(Drop(data)) << garbage.left(40).toStdString();
  }
  EXPECT_EQ(dropped_.count(), 1);
}

TEST_F(UrlDropTargetTest, InactiveTargetTakesNothing) {
  target_.SetActive(false);
  EXPECT_FALSE(widget_.acceptDrops());
  QMimeData data;
  data.setText("http://www.example.com/");
  Drop(data);
  EXPECT_EQ(dropped_.count(), 0);
  target_.SetActive(true);
  EXPECT_TRUE(Drop(data));
  EXPECT_EQ(dropped_.count(), 1);
}

}  // namespace
}  // namespace qlon
