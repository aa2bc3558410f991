// The window stand-in as the driver uses it: loaded by name, called through
// its C entry points, drawing with this program's QApplication.
#include "NoticeWindow.h"

#include <dlfcn.h>

#include <filesystem>
#include <thread>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QWindow>
#include <gtest/gtest.h>

#include "AppEnvironment.h"

namespace {

namespace fs = std::filesystem;
const auto* const g_env = qlon::test::AddAppEnvironment<QApplication>();

class NoticeWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
    handle_ = dlopen((folder / kNoticeWindowFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle_, nullptr) << dlerror();
    open = reinterpret_cast<QlonNoticeOpenFn>(dlsym(handle_, kNoticeOpen));
    repaint = reinterpret_cast<QlonNoticeRepaintFn>(dlsym(handle_, kNoticeRepaint));
    close = reinterpret_cast<QlonNoticeCloseFn>(dlsym(handle_, kNoticeClose));
    waitCursor = reinterpret_cast<QlonWaitCursorFn>(dlsym(handle_, kWaitCursor));
    ASSERT_TRUE(open && repaint && close && waitCursor);
  }
  void TearDown() override {
    if (handle_) dlclose(handle_);
  }
  static QDialog* Shown() {
    for (QWidget* w : QApplication::topLevelWidgets())
      if (w->objectName() == "qlonwin_notice" && w->isVisible()) return qobject_cast<QDialog*>(w);
    return nullptr;
  }
  void* handle_ = nullptr;
  QlonNoticeOpenFn open = nullptr;
  QlonNoticeRepaintFn repaint = nullptr;
  QlonNoticeCloseFn close = nullptr;
  QlonWaitCursorFn waitCursor = nullptr;
};

TEST_F(NoticeWindow, ShowsModelessOverItsOwnerAndReachesTheScreenOnRepaint) {
  QWidget hiddenNamesake;
  hiddenNamesake.setWindowTitle("Vellumor");
  QWidget other, owner;
  other.setWindowTitle("Vellumor - autre");
  owner.setWindowTitle("Vellumor");
  owner.resize(400, 300);
  other.show();
  owner.show();
  QApplication::processEvents();

  bool timerRan = false;
  QTimer::singleShot(1, [&] { timerRan = true; });
  void* notice = open("Vellumor", "Vellumor", "Calibrage en cours.\nNe pas ouvrir le cache.");
  ASSERT_NE(notice, nullptr);
  QDialog* dialog = Shown();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->parentWidget(), &owner);  // the visible window of that exact title
  EXPECT_FALSE(dialog->isModal());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(dialog->findChild<QLabel*>("qlonwin_notice_text")->text(),
            QString::fromUtf8("Calibrage en cours.\nNe pas ouvrir le cache."));

  repaint(notice);
  // Painted where the screen shows it, before the caller returns to any event loop.
  EXPECT_TRUE(dialog->windowHandle()->isExposed());
  const QImage onScreen = QGuiApplication::primaryScreen()->grabWindow(dialog->winId()).toImage();
  ASSERT_FALSE(onScreen.isNull());
  EXPECT_EQ(onScreen.convertToFormat(QImage::Format_RGB32), dialog->grab().toImage().convertToFormat(QImage::Format_RGB32));
  EXPECT_FALSE(timerRan);  // the host's timers wait for its own loop

  close(notice);
  EXPECT_EQ(Shown(), nullptr);
  for (int i = 0; i < 100 && !timerRan; ++i) QApplication::processEvents(QEventLoop::WaitForMoreEvents);
  EXPECT_TRUE(timerRan);

  // Without a window of that title it stands alone; one the user closed
  // already is left alone.
  notice = open("Personne", "Vellumor", "x");
  ASSERT_NE(notice, nullptr);
  ASSERT_NE(Shown(), nullptr);
  EXPECT_EQ(Shown()->parentWidget(), nullptr);
  Shown()->close();
  QApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  repaint(notice);
  close(notice);
  close(nullptr);
  repaint(nullptr);
}

TEST_F(NoticeWindow, HourglassOnTheGuiThreadOnlyAndNothingShownOffIt) {
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(waitCursor(1), 1);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  EXPECT_EQ(waitCursor(0), 1);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  void* notice = reinterpret_cast<void*>(1);
  int cursor = -1;
  std::thread worker([&] {
    notice = open("Vellumor", "Vellumor", "x");
    cursor = waitCursor(1);
  });
  worker.join();
  EXPECT_EQ(notice, nullptr);
  EXPECT_EQ(cursor, 0);
  EXPECT_EQ(Shown(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
