#include "NoticeWindow.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QStyle>
#include <QThread>
#include <QWindow>

#define QLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

// How long a repaint waits at most for the window system to expose a
// notice that has just appeared.
constexpr qint64 kExposeWaitMs = 250;
// What a repaint lets through while it waits, as a splash screen does: the
// window system's events and what was posted, never the user's clicks,
// sockets or the host's timers, which must not run inside the caller's (a
// driver's) call.
constexpr QEventLoop::ProcessEventsFlags kWindowEvents = QEventLoop::ExcludeUserInputEvents |
                                                         QEventLoop::ExcludeSocketNotifiers |
                                                         QEventLoop::X11ExcludeTimers;

bool OnGuiThread() {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  return app && QThread::currentThread() == app->thread();
}

QWidget* Owner(const QString& title) {
  QWidget* hidden = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets()) {
    if (w->windowTitle() != title) continue;
    if (w->isVisible()) return w;
    if (!hidden) hidden = w;
  }
  return hidden;
}

// The handle a caller keeps: the notice may go before it (the user closed
// it, or its owner went).
struct Notice {
  QPointer<QDialog> dialog;
};

}  // namespace

QLON_EXPORT void* qlonwin_notice_open(const char* ownerTitle, const char* caption, const char* text) {
  if (!OnGuiThread()) return nullptr;
  auto* dialog = new QDialog(ownerTitle ? Owner(QString::fromUtf8(ownerTitle)) : nullptr);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  dialog->setObjectName("qlonwin_notice");
  dialog->setWindowTitle(QString::fromUtf8(caption ? caption : ""));
  auto* icon = new QLabel;
  const int side = dialog->style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, dialog);
  icon->setPixmap(dialog->style()->standardIcon(QStyle::SP_MessageBoxInformation, nullptr, dialog).pixmap(side, side));
  auto* label = new QLabel(QString::fromUtf8(text ? text : ""));
  label->setObjectName("qlonwin_notice_text");
  label->setTextFormat(Qt::PlainText);
  // A raised panel, so that it reads as a box of its own even where no
  // window manager draws a frame.
  auto* panel = new QFrame;
  panel->setFrameStyle(QFrame::Panel | QFrame::Raised);
  auto* fill = new QHBoxLayout(dialog);
  fill->setContentsMargins(0, 0, 0, 0);
  fill->addWidget(panel);
  auto* row = new QHBoxLayout(panel);
  row->setContentsMargins(20, 16, 28, 16);
  row->setSpacing(16);
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addWidget(label, 1);
  dialog->setModal(false);
  dialog->show();
  return new Notice{dialog};
}

QLON_EXPORT void qlonwin_notice_repaint(void* handle) {
  if (!handle || !OnGuiThread()) return;
  QPointer<QDialog>& dialog = static_cast<Notice*>(handle)->dialog;
  QElapsedTimer waited;
  waited.start();
  while (dialog && dialog->windowHandle() && !dialog->windowHandle()->isExposed()) {
    QCoreApplication::processEvents(kWindowEvents);
    if (waited.elapsed() >= kExposeWaitMs) break;
    if (dialog && dialog->windowHandle() && !dialog->windowHandle()->isExposed()) QThread::msleep(5);
  }
  if (dialog) dialog->repaint();
}

QLON_EXPORT void qlonwin_notice_close(void* handle) {
  auto* notice = static_cast<Notice*>(handle);
  if (!notice) return;
  // Off the GUI thread the widget cannot be touched; Qt deletes it later.
  if (notice->dialog) {
    if (OnGuiThread())
      delete notice->dialog.data();
    else
      notice->dialog->deleteLater();
  }
  delete notice;
}

QLON_EXPORT int qlonwin_wait_cursor(int on) {
  if (!OnGuiThread()) return 0;
  if (on)
    QApplication::setOverrideCursor(Qt::WaitCursor);
  else
    QApplication::restoreOverrideCursor();
  return 1;
}
