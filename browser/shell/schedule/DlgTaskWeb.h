#pragma once
// TDlgTaskWeb: edits one web step of a job (its capture file, actions,
// running time limit and whether it is asleep), or, in list mode, picks
// several capture files at once among the recent webs (RecentWebs.h), all
// of them getting the dialog's settings.
#include <QDialog>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QPushButton;
class QTimeEdit;

namespace qlon {

class TTaskWeb;
class TWCheckListBox;

class TDlgTaskWeb : public QDialog {
  Q_OBJECT
 public:
  TDlgTaskWeb(const TTaskWeb& task, const std::filesystem::path& workFolder, bool listMode,
              QWidget* parent = nullptr);

  bool ListMode() const { return listMode_; }
  // Writes the capture file (not in list mode), actions, limit and state.
  void SaveTo(TTaskWeb& task) const;
  // The files checked in list mode.
  std::vector<std::string> CheckedWebs() const;
  bool Validate();
  void OkBtnClick();
  void BrowseBtnClick();

  // Asks for a capture file; the file dialog by default. Empty: cancelled.
  std::function<QString(QWidget* parent)> ChooseFile;

  QComboBox* WebCombo = nullptr;      // single mode
  QPushButton* BrowseBtn = nullptr;   // single mode
  TWCheckListBox* WebList = nullptr;  // list mode
  QCheckBox* ResetCheck;
  QCheckBox* CaptureCheck;
  QCheckBox* UpdateCheck;
  QCheckBox* ResolveCheck;
  QCheckBox* LimitCheck;
  QTimeEdit* LimitEdit;
  QCheckBox* SuspendCheck;
  QPushButton* OkBtn;
  QPushButton* CancelBtn;

 private:
  bool listMode_;
};

}  // namespace qlon
