#include "Splash.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace qlon::controls {

namespace {

class SplashWindow : public QWidget {
 public:
  explicit SplashWindow(const QPixmap& pm, bool topMost)
      : QWidget(nullptr, Qt::SplashScreen | Qt::FramelessWindowHint |
                             (topMost ? Qt::WindowStaysOnTopHint : Qt::WindowFlags())),
        pm_(pm) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setWindowTitle(QCoreApplication::applicationName());
    resize(pm.size());
    setCursor(Qt::WaitCursor);  // on this window only: nothing global to restore
    if (QScreen* s = QGuiApplication::primaryScreen()) {
      const QRect g = s->geometry();
      move(g.x() + (g.width() - width()) / 2, g.y() + (g.height() - height()) / 2);
    }
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), QColor(192, 192, 192));
    p.drawPixmap(0, 0, pm_);
  }

 private:
  QPixmap pm_;
};

QWidget*& window() {
  static QWidget* w = nullptr;
  return w;
}

QPixmap& bitmap() {
  static QPixmap pm;
  return pm;
}

}  // namespace

TSplash::TSplash(QObject* parent) : QObject(parent), timer_(std::make_unique<QTimer>()) {
  timer_->setSingleShot(true);
  connect(timer_.get(), &QTimer::timeout, this, [this] {
    Hide();
    timer_.release()->deleteLater();  // not inside its own signal
  });
}

TSplash::~TSplash() = default;

QWidget* TSplash::Window() { return window(); }
const QPixmap& TSplash::SplashBitmap() { return bitmap(); }

void TSplash::SetPicture(const QPixmap& pm) {
  picture_ = pm;
  bitmap() = pm;
  resource_.clear();
}

void TSplash::SetResource(const QString& name) {
  if (name == resource_) return;
  resource_ = name;
  picture_ = QPixmap();
  if (name.isEmpty()) return;
  const QString dir = QCoreApplication::applicationDirPath() + "/";
  for (const QString& path : {":/" + name, dir + name, dir + name + ".bmp", dir + name + ".png"}) {
    QPixmap pm(path);
    if (!pm.isNull()) {
      bitmap() = pm;
      return;
    }
  }
}

void TSplash::SetDelay(int ms) {
  if (ms == delay_) return;
  delay_ = std::max(0, ms);
  AutoDestroy = true;
}

void TSplash::Loaded() {
  if (AutoCreate && !bitmap().isNull()) Show();
}

void TSplash::Show() {
  if (window() || bitmap().isNull()) return;
  if (OnSplash) OnSplash(this);
  window() = new SplashWindow(bitmap(), TopMost);
  if (MouseCapture) window()->grabMouse();
  window()->show();
  QCoreApplication::processEvents();
  if (AutoDestroy && timer_) {
    timer_->start(delay_ == 0 ? 10 : delay_);
  } else {
    timer_.reset();
  }
}

void TSplash::Hide() {
  if (QWidget* w = window()) {
    if (MouseCapture) w->releaseMouse();
    delete w;
    window() = nullptr;
  }
  // The splash is shown once: its picture (and bitmap) go with it.
  picture_ = QPixmap();
  bitmap() = QPixmap();
}

}  // namespace qlon::controls
