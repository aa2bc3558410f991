#pragma once
// Placing the program's windows: dialogs centred on the main form or the
// screen, a stored window place pulled back onto the screen.
#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace qlon::controls {

// The top-left corner that centres a form of that size on the main form,
// or without one on a screen of that size (origin 0, 0). Halves round
// toward zero, also for a form larger than its host.
QPoint CenterForm(QSize form, const QRect* mainForm, QSize screen);

// Centres a top-level widget on its parent's window, or on the screen.
void CenterWidget(QWidget* form);

// A window's place: the frame's corner and size.
struct TWindowBounds {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool operator==(const TWindowBounds&) const = default;
};
// The place pulled back onto a screen of that size: no larger than the
// screen, its right and bottom edges on it, then its left and top.
TWindowBounds ClampToScreen(TWindowBounds bounds, int screenWidth, int screenHeight);

}  // namespace qlon::controls
