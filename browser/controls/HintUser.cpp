#include "HintUser.h"

#include <QApplication>
#include <QBitmap>
#include <QCursor>
#include <QImage>
#include <QPainter>
#include <QScreen>

namespace qlon::controls {

QEvent::Type HintShowEvent::eventType() {
  static const int type = QEvent::registerEventType();
  return QEvent::Type(type);
}

TUserHint::TUserHint(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus) {
  setAttribute(Qt::WA_ShowWithoutActivating);
  setAttribute(Qt::WA_TransparentForMouseEvents);
  if (parent) setFont(parent->font());
}

int TUserHint::VisibleCursorHeight() {
  constexpr int kDefault = 20;  // no monochrome cursor to read
  const QCursor* c = QApplication::overrideCursor();
  const QCursor cur = c ? *c : QCursor();
  const QBitmap mask = cur.mask();
  if (mask.isNull()) return kDefault;
  const QImage img = mask.toImage().convertToFormat(QImage::Format_Mono);
  for (int y = img.height() - 1; y >= 0; --y)
    for (int x = 0; x < img.width(); ++x)
      if (img.pixelIndex(x, y) != 0) return y + 1;
  return kDefault;
}

QRect TUserHint::HintRect(int maxWidth, const QString& text) const {
  const QFontMetrics fm(font());
  const QRect r = fm.boundingRect(QRect(0, 0, std::max(1, maxWidth - 6), 1 << 20),
                                  Qt::TextWordWrap, text);
  return QRect(0, 0, r.width() + 6, r.height() + 4);
}

void TUserHint::ShowHintAt(QWidget* control, QPoint pos, bool moveDown, const QString& text) {
  if (moveDown) pos.ry() += VisibleCursorHeight();
  if (control) {
    HintShowEvent ask;
    QCoreApplication::sendEvent(control, &ask);
    if (ask.cancel) return;
  }
  QScreen* screen = QGuiApplication::screenAt(pos);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const int limit = screen ? screen->geometry().width() : 1024;
  text_ = text;
  setGeometry(HintRect(limit, text).translated(pos));
  show();
  update();
}

void TUserHint::HideHint() {
  if (isVisible()) hide();
}

void TUserHint::paintEvent(QPaintEvent*) {
  QPainter p(this);
  const QPalette& pal = QApplication::palette();
  p.fillRect(rect(), pal.color(QPalette::ToolTipBase));
  p.setPen(Qt::black);
  p.drawRect(rect().adjusted(0, 0, -1, -1));
  p.setPen(pal.color(QPalette::ToolTipText));
  p.drawText(rect().adjusted(1, 1, -1, -1).translated(2, 2), Qt::TextWordWrap, text_);
}

}  // namespace qlon::controls
