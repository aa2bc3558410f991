#pragma once
// TDlgDir: lets the user pick a folder in the folder tree and create new
// folders there. The path it returns always ends with "/".
#include <QDialog>
#include <functional>

#include "SystemTreeView.h"

class QLabel;
class QPushButton;

namespace qlon::controls {

class TDlgNewFolder;

class TDlgDir : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgDir(QWidget* parent = nullptr);

  void SetPath(const QString& path);
  QString GetPath() const;
  bool Execute();

  QLabel* PathLabel;
  TSystemTreeView* SystemTreeView;
  QPushButton* OKBtn;
  QPushButton* CancelBtn;
  QPushButton* NewFolderBtn;

  // Runs the new-folder dialog modally; tests replace it.
  std::function<int(TDlgNewFolder&)> RunNewFolder;

  void NewFolderClick();

 protected:
  void showEvent(QShowEvent* e) override;
  void done(int result) override;
  void resizeEvent(QResizeEvent* e) override;

 private:
  void selectionChanged(TWTreeNode* node);
  void updatePathLabel();
  QString path_;
};

// The folder with one trailing "/"; empty stays empty.
QString WithTrailingSlash(const QString& path);

}  // namespace qlon::controls
