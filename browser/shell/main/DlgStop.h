#pragma once
// TDlgStop: asks how to stop a running capture. Accepted with the box
// checked, the transfers under way are let finish; unchecked, they are cut.
#include <QDialog>

class QCheckBox;
class QPushButton;

namespace qlon {

class TDlgStop : public QDialog {
 public:
  explicit TDlgStop(QWidget* parent = nullptr);

  QCheckBox* CheckBox = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

  // Whether the running file transfers are to finish.
  bool FinishTransfers() const;
};

}  // namespace qlon
