#include "FormUtil.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include "Utils.h"

namespace qlon::controls {

void CenterWidget(QWidget* form) {
  Bounds b{form->x(), form->y(), form->width(), form->height()};
  const QWidget* main = form->parentWidget() ? form->parentWidget()->window() : nullptr;
  Bounds mb;
  if (main) mb = Bounds{main->x(), main->y(), main->width(), main->height()};
  const QScreen* s = QGuiApplication::primaryScreen();
  const QSize screen = s ? s->size() : QSize(1024, 768);
  CenterForm(b, main ? &mb : nullptr, screen.width(), screen.height());
  form->move(b.left, b.top);
}

}  // namespace qlon::controls
