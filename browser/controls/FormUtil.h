#pragma once
// Placing the program's dialogs: centred on the main form or the screen.
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

}  // namespace qlon::controls
