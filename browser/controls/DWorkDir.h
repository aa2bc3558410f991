#pragma once
// TDlgWorkPath: asks for the program's work folder on first start. It
// closes only through OK, on a folder that exists or that it created.
#include <QDialog>
#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;

namespace qlon::controls {

class TDlgDir;

class TDlgWorkPath : public QDialog {
  Q_OBJECT
 public:
  // defaultFolder: proposed when the dialog first shows (ends with "/").
  explicit TDlgWorkPath(QString defaultFolder, QWidget* parent = nullptr);

  // The folder chosen, read after the dialog closed.
  QString WorkPath;

  QLineEdit* WorkPathEdit;
  // The whole folder, on lines broken after a "/", under the field when it
  // cannot show it all.
  QLabel* WholePathLabel;
  QPushButton* BrowseBtn;
  QPushButton* OKBtn;

  // Runs the folder dialog modally; tests replace it.
  std::function<bool(TDlgDir&)> RunDirDialog;

  void BrowseClick();
  // The close query: true when the dialog may close.
  bool CanClose();

  // The default work folder: a folder of the user's (the program's own
  // folder is not writable on this system).
  static QString DefaultWorkFolder();

 protected:
  void showEvent(QShowEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void accept() override;
  void reject() override {}  // no way out but OK

 private:
  void editChanged();
  void ShowWholePath();
  QString default_;
  bool shown_ = false;
};

}  // namespace qlon::controls
