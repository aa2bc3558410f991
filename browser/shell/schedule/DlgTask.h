#pragma once
// TDlgTask: edits a job's start rule, its running time limit, whether it is
// asleep and what happens when it ends. The dialog reads a task when made
// and writes it back only through SaveTo, once OK was accepted.
#include <QDialog>
#include <array>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QPushButton;
class QSpinBox;
class QStackedWidget;
class QTimeEdit;

namespace qlon {

class TTask;

class TDlgTask : public QDialog {
  Q_OBJECT
 public:
  // otherJobs: the numbers of the other jobs, offered for "after a task".
  TDlgTask(const TTask& task, std::vector<int> otherJobs, QWidget* parent = nullptr);

  // Writes the dialog's values into the task: rule, limit, flags, and the
  // state (asleep when the box is checked, else waiting).
  void SaveTo(TTask& task) const;
  // The checks of OK; false (after telling the user) when the rule is
  // incomplete.
  bool Validate();
  // OK: accepted only when Validate passes.
  void OkBtnClick();
  void TodayBtnClick();
  void NowBtnClick();

  QComboBox* StartKindCombo;
  QStackedWidget* Pages;
  QSpinBox* DayEdit;
  std::array<QCheckBox*, 12> MonthCheck{};
  std::array<QCheckBox*, 7> DayCheck{};  // Monday first
  QDateEdit* DateEdit;
  QPushButton* TodayBtn;
  QComboBox* TaskCombo;
  QSpinBox* IdleEdit;
  QTimeEdit* StartTimeEdit;
  QPushButton* NowBtn;
  QCheckBox* SuspendCheck;
  QCheckBox* LimitCheck;
  QTimeEdit* LimitEdit;
  QCheckBox* HangUpCheck;
  QCheckBox* CloseCheck;
  QPushButton* OkBtn;
  QPushButton* CancelBtn;

 private:
  // The pages of the start rules, one for each kind of start.
  void buildRulePages(const std::vector<int>& otherJobs);
  // The start time, the limit, the state and what follows the task.
  void buildCommonFields();
  void placeControls();
  void showTask(const TTask& task);
};

}  // namespace qlon
