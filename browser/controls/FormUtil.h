#pragma once
// Placing the program's dialogs: centred on the main form or the screen.
class QWidget;

namespace qlon::controls {

// Centres a top-level widget on its parent's window, or on the screen.
void CenterWidget(QWidget* form);

}  // namespace qlon::controls
