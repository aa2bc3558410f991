#include <QCursor>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QUrl>

#include <gtest/gtest.h>

#include "TestApp.h"

#include "QtShell.h"

namespace qlon::platform {
namespace {

QGuiApplication& App() { return test::TestApp<QGuiApplication>(); }

// Stands in for the desktop's browser and file manager.
class UrlRecorder : public QObject {
  Q_OBJECT
 public slots:
  void open(const QUrl& url) {
    urls.push_back(url);
    busy = QGuiApplication::overrideCursor() && QGuiApplication::overrideCursor()->shape() == Qt::WaitCursor;
  }

 public:
  std::vector<QUrl> urls;
  bool busy = false;
};

TEST(QtShell, OpensUrlsAndPathsUnderTheBusyCursor) {
  App();
  UrlRecorder recorder;
  QDesktopServices::setUrlHandler("http", &recorder, "open");
  QDesktopServices::setUrlHandler("file", &recorder, "open");
  {
    QtShellHandler shell;
    EXPECT_TRUE(OpenItem("http://127.0.0.1:8080/index.htm"));
    EXPECT_TRUE(recorder.busy);
    EXPECT_TRUE(OpenItem("/tmp/Mes webs/page 1.htm"));
    EXPECT_FALSE(OpenItem(""));
  }
  QDesktopServices::unsetUrlHandler("http");
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(recorder.urls.size(), 2u);
  EXPECT_EQ(recorder.urls[0], QUrl("http://127.0.0.1:8080/index.htm"));
  EXPECT_EQ(recorder.urls[1], QUrl::fromLocalFile("/tmp/Mes webs/page 1.htm"));
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace qlon::platform

#include "QtShellTest.moc"
