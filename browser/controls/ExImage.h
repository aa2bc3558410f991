#pragma once
// Picture controls of the image views and the image-map editor.
// TQLImage shows a picture with automatic sizing, stretching, centring and
// transparency. TExImage shows a bitmap with its own scroll bars, scrolls by
// mouse drag and arrow keys, and lets its owner draw over the visible part
// through OnPaint (the image-map editor draws its zones there).
#include <QAbstractScrollArea>
#include <QImage>
#include <QPainter>
#include <QWidget>
#include <functional>

namespace qlon::controls {

class TQLImage : public QWidget {
  Q_OBJECT
 public:
  explicit TQLImage(QWidget* parent = nullptr);

  const QImage& Picture() const { return picture_; }
  void SetPicture(const QImage& picture);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on);
  bool Center() const { return center_; }
  void SetCenter(bool on);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool on);

  // Where the picture is drawn in the client area.
  QRect DestRect() const;
  // The control covers all its pixels (no background shows through).
  bool IsOpaque() const { return opaque_; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void pictureChanged();
  QImage picture_;
  QImage drawn_;  // the picture with its transparent colour keyed out
  bool autoSize_ = false, stretch_ = false, center_ = false, transparent_ = false;
  bool opaque_ = false;
  bool drawing_ = false;
};

class TExImage : public QAbstractScrollArea {
  Q_OBJECT
 public:
  // Scroll command codes, as the scroll bars send them.
  enum ScrollCode {
    SB_LINEUP, SB_LINEDOWN, SB_PAGEUP, SB_PAGEDOWN, SB_THUMBPOSITION, SB_THUMBTRACK, SB_TOP, SB_BOTTOM,
    SB_ENDSCROLL
  };

  explicit TExImage(QWidget* parent = nullptr);

  const QImage& Bitmap() const { return bitmap_; }
  void SetBitmap(const QImage& bitmap);
  // The owner draws into the bitmap through this painter; the control
  // follows the change when the painter's scope ends.
  class Canvas {
   public:
    explicit Canvas(TExImage& owner) : owner_(owner), painter_(&owner.bitmap_) {}
    ~Canvas() {
      painter_.end();
      owner_.BitmapChanged();
    }
    QPainter& operator*() { return painter_; }
    QPainter* operator->() { return &painter_; }

   private:
    TExImage& owner_;
    QPainter painter_;
  };
  Canvas GetCanvas() { return Canvas(*this); }
  void BitmapChanged();

  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool on);
  bool Stretch() const { return stretch_; }
  void SetStretch(bool on);
  bool Center() const { return center_; }
  void SetCenter(bool on);
  bool ShowScroll() const { return showScroll_; }
  void SetShowScroll(bool on) { showScroll_ = on; }
  bool ScrollMouse() const { return scrollMouse_; }
  void SetScrollMouse(bool on) { scrollMouse_ = on; }
  QColor Color() const { return color_; }
  void SetColor(const QColor& c);

  bool ScrollingActive() const { return showScroll_ && !autoSize_ && !stretch_; }
  int HorzPos() const;
  int VertPos() const;
  int HorzRange() const;
  int VertRange() const;
  void ScrollHorizontal(int delta);
  void ScrollVertical(int delta);
  // A scroll bar command: lines move by 1, pages by 16, top and bottom go
  // to either end, thumb codes to the given position.
  void ScrollMessage(Qt::Orientation bar, int code, int thumbPos = 0);
  // Where the bitmap's visible part lands in the client area.
  QPoint Margins() const;
  bool IsOpaque() const { return opaque_; }

  // (sender, painter on the client area, horizontal offset, vertical
  // offset, vertical margin)
  std::function<void(TExImage*, QPainter&, int, int, int)> OnPaint;

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void updateScrollBars();
  void fillBands(QPainter& p, const QRect& image);
  QImage bitmap_;
  bool autoSize_ = false, stretch_ = false, center_ = false;
  bool showScroll_ = true, scrollMouse_ = true;
  bool opaque_ = false;
  QColor color_;
  QPoint lastMouse_;
};

}  // namespace qlon::controls
