#pragma once
// TSplash: a borderless picture window centred on the screen for a delay.
// At most one splash window exists at a time, whichever TSplash shows it.
#include <QObject>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

namespace qlon::controls {

class TSplash : public QObject {
  Q_OBJECT
 public:
  explicit TSplash(QObject* parent = nullptr);
  ~TSplash() override;

  const QPixmap& Picture() const { return picture_; }
  // Copies the picture, which becomes the splash bitmap; Resource empties.
  void SetPicture(const QPixmap& pm);
  const QString& Resource() const { return resource_; }
  // A bitmap of the program's resources (":/name") or beside the program
  // ("name", "name.bmp", "name.png"); the picture is cleared.
  void SetResource(const QString& name);
  int Delay() const { return delay_; }
  void SetDelay(int ms);  // also sets AutoDestroy

  bool TopMost = true;
  bool AutoCreate = true;
  bool AutoDestroy = true;
  bool MouseCapture = false;
  std::function<void(TSplash*)> OnSplash;

  // After the owner's set-up: shows the splash when AutoCreate is set and
  // a splash bitmap exists.
  void Loaded();
  void Show();
  void Hide();

  // The splash window (nullptr when none) and bitmap, shared by all splashes.
  static QWidget* Window();
  static const QPixmap& SplashBitmap();
  bool HasTimer() const { return timer_ != nullptr; }

 private:
  QPixmap picture_;
  QString resource_;
  int delay_ = 1000;
  std::unique_ptr<QTimer> timer_;
};

}  // namespace qlon::controls
