#pragma once
// TDlgNewFolder: asks for the name of a folder to create in the current one.
#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qlon::controls {

class TDlgNewFolder : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgNewFolder(QWidget* parent = nullptr);
  QLabel* CurrentFolderLabel;
  QLineEdit* Edit;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;

 protected:
  // The current folder shown whole: the dialog widens for it, up to the
  // screen; a path wider still keeps its end, whole in its tip.
  void showEvent(QShowEvent* event) override;

 private:
  void editChanged();
};

}  // namespace qlon::controls
