#include "FormUtil.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace qlon::controls {

QPoint CenterForm(QSize form, const QRect* mainForm, QSize screen) {
  // Integer division rounds toward zero, as the halves must.
  if (mainForm)
    return {mainForm->x() + (mainForm->width() - form.width()) / 2,
            mainForm->y() + (mainForm->height() - form.height()) / 2};
  return {(screen.width() - form.width()) / 2, (screen.height() - form.height()) / 2};
}

void CenterWidget(QWidget* form) {
  const QWidget* main = form->parentWidget() ? form->parentWidget()->window() : nullptr;
  // pos() is the frame's corner, as the form's own move() takes it.
  const QRect mainRect = main ? QRect(main->pos(), main->size()) : QRect();
  const QScreen* s = QGuiApplication::primaryScreen();
  const QSize screen = s ? s->size() : QSize(1024, 768);
  form->move(CenterForm(form->size(), main ? &mainRect : nullptr, screen));
}

TWindowBounds ClampToScreen(TWindowBounds b, int screenWidth, int screenHeight) {
  b.Height = std::min(b.Height, screenHeight);
  b.Width = std::min(b.Width, screenWidth);
  if (b.Top + b.Height > screenHeight) b.Top = screenHeight - b.Height;
  if (b.Left + b.Width > screenWidth) b.Left = screenWidth - b.Width;
  b.Top = std::max(b.Top, 0);
  b.Left = std::max(b.Left, 0);
  return b;
}

}  // namespace qlon::controls
