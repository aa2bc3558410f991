#include "FormUtil.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

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

}  // namespace qlon::controls
