#pragma once
// Renders a widget into the build tree's "screens" folder (beside bin/), so
// that a person can look at the dialogs the tests build.
#include <QCoreApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

namespace qlon::test {

inline bool SaveScreenShot(QWidget& widget, const QString& name) {
  if (!widget.testAttribute(Qt::WA_Resized)) widget.adjustSize();
  // Laid out as a person would see it.
  widget.show();
  QCoreApplication::processEvents();
  const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/../screens");
  QDir().mkpath(folder);
  const QPixmap shot = widget.grab();
  return !shot.isNull() && shot.save(folder + QLatin1Char('/') + name + QStringLiteral(".png"));
}

}  // namespace qlon::test
