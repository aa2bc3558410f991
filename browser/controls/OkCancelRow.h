#pragma once
// The row that ends the program's dialogs: "&OK", the default button, and
// "&Annuler", which rejects the dialog, at the right of the row. What OK
// does is the dialog's.
class QDialog;
class QHBoxLayout;
class QPushButton;
class QWidget;

namespace qlon::controls {

struct TOkCancelRow {
  QHBoxLayout* Layout;
  QPushButton* Ok;
  QPushButton* Cancel;
};

// The buttons are made with the parent given (none: they join the dialog
// with the row), so that Tab reaches them where the row is placed.
TOkCancelRow MakeOkCancelRow(QDialog* dialog, QWidget* parent = nullptr);

}  // namespace qlon::controls
