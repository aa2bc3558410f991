#include "DlgTask.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <cmath>

#include "MessageBox.h"
#include "OkCancelRow.h"
#include "Scheduler.h"
#include "TaskDates.h"
#include "Texts.h"
#include "Utils.h"

namespace qlon {

namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), qsizetype(s.size())); }

}  // namespace

TDlgTask::TDlgTask(const TTask& task, std::vector<int> otherJobs, QWidget* parent) : QDialog(parent) {
  setWindowTitle("Tâche");
  StartKindCombo = new QComboBox(this);
  for (int kind = skMonthly; kind <= skIdle; ++kind) StartKindCombo->addItem(Text(TextAt(kTaskStartKinds, kind)));
  Pages = new QStackedWidget(this);
  buildRulePages(otherJobs);
  buildCommonFields();
  placeControls();
  connect(StartKindCombo, &QComboBox::currentIndexChanged, Pages, &QStackedWidget::setCurrentIndex);
  connect(LimitCheck, &QCheckBox::toggled, LimitEdit, &QWidget::setEnabled);
  connect(TodayBtn, &QPushButton::clicked, this, &TDlgTask::TodayBtnClick);
  connect(NowBtn, &QPushButton::clicked, this, &TDlgTask::NowBtnClick);
  connect(OkBtn, &QPushButton::clicked, this, &TDlgTask::OkBtnClick);
  showTask(task);
}

void TDlgTask::buildRulePages(const std::vector<int>& otherJobs) {
  auto* monthly = new QWidget;
  auto* mg = new QGridLayout(monthly);
  mg->addWidget(new QLabel("Le jour :"), 0, 0);
  DayEdit = new QSpinBox;
  DayEdit->setRange(1, 31);
  mg->addWidget(DayEdit, 0, 1);
  for (int m = 0; m < 12; ++m) {
    MonthCheck[m] = new QCheckBox(Text(kMonthNames[m]));
    MonthCheck[m]->setObjectName(QString("Month%1").arg(m + 1));
    mg->addWidget(MonthCheck[m], 1 + m / 4, m % 4);
  }
  Pages->addWidget(monthly);

  auto* weekly = new QWidget;
  auto* wg = new QGridLayout(weekly);
  for (int d = 0; d < 7; ++d) {
    DayCheck[d] = new QCheckBox(Text(kDayNames[d]));
    DayCheck[d]->setObjectName(QString("DayCheck%1").arg(d));
    wg->addWidget(DayCheck[d], d / 4, d % 4);
  }
  Pages->addWidget(weekly);

  auto* once = new QWidget;
  auto* og = new QHBoxLayout(once);
  og->addWidget(new QLabel("Le :"));
  DateEdit = new QDateEdit;
  DateEdit->setCalendarPopup(true);
  og->addWidget(DateEdit);
  TodayBtn = new QPushButton("Aujourd'hui");
  og->addWidget(TodayBtn);
  Pages->addWidget(once);

  auto* after = new QWidget;
  auto* ag = new QHBoxLayout(after);
  ag->addWidget(new QLabel("Après la tâche :"));
  TaskCombo = new QComboBox;
  for (int n : otherJobs) TaskCombo->addItem(QString::number(n), n);
  ag->addWidget(TaskCombo);
  Pages->addWidget(after);

  auto* idle = new QWidget;
  auto* ig = new QHBoxLayout(idle);
  ig->addWidget(new QLabel("Inactif depuis (minutes) :"));
  IdleEdit = new QSpinBox;
  IdleEdit->setRange(1, 24 * 60);
  ig->addWidget(IdleEdit);
  Pages->addWidget(idle);
}

void TDlgTask::buildCommonFields() {
  StartTimeEdit = new QTimeEdit;
  StartTimeEdit->setDisplayFormat("HH:mm:ss");
  NowBtn = new QPushButton("Heure courante");
  SuspendCheck = new QCheckBox("Suspendre cette tâche");
  LimitCheck = new QCheckBox("Limiter la durée à :");
  LimitEdit = new QTimeEdit;
  LimitEdit->setDisplayFormat("HH:mm:ss");
  HangUpCheck = new QCheckBox("Couper la connexion modem");
  CloseCheck = new QCheckBox("Fermer Quillon en fin de tâche");
}

// Controls made without a parent join the dialog here, in the order Tab
// visits them.
void TDlgTask::placeControls() {
  auto* layout = new QVBoxLayout(this);
  auto* rule = new QFormLayout;
  rule->addRow("Démarrage :", StartKindCombo);
  layout->addLayout(rule);
  layout->addWidget(Pages);
  auto* time = new QHBoxLayout;
  time->addWidget(new QLabel("Heure de démarrage :"));
  time->addWidget(StartTimeEdit);
  time->addWidget(NowBtn);
  layout->addLayout(time);
  auto* limit = new QHBoxLayout;
  limit->addWidget(LimitCheck);
  limit->addWidget(LimitEdit);
  layout->addLayout(limit);
  layout->addWidget(SuspendCheck);
  auto* end = new QGroupBox("En fin de tâche");
  auto* eg = new QVBoxLayout(end);
  eg->addWidget(HangUpCheck);
  eg->addWidget(CloseCheck);
  layout->addWidget(end);
  const controls::TOkCancelRow buttons = controls::MakeOkCancelRow(this);
  OkBtn = buttons.Ok;
  CancelBtn = buttons.Cancel;
  layout->addLayout(buttons.Layout);
}

void TDlgTask::showTask(const TTask& task) {
  // A new task (no rule yet) starts on the monthly page.
  const int kind = task.StartKind >= skMonthly && task.StartKind <= skIdle ? task.StartKind : skMonthly;
  StartKindCombo->setCurrentIndex(kind - 1);
  Pages->setCurrentIndex(kind - 1);
  DayEdit->setValue(std::clamp<int>(task.Day, 1, 31));
  for (int m = 0; m < 12; ++m) MonthCheck[m]->setChecked((task.Months >> (m + 1)) & 1);
  for (int d = 0; d < 7; ++d) DayCheck[d]->setChecked((task.WeekDays >> d) & 1);
  const QDateTime start = DateTimeToQDateTime(task.StartDate);
  DateEdit->setDate(task.StartDate >= 1 ? start.date() : QDate::currentDate());
  StartTimeEdit->setTime(TimeOfDayOf(task.StartDate));
  const int wait = TaskCombo->findData(int(task.WaitFor));
  if (wait >= 0) TaskCombo->setCurrentIndex(wait);
  IdleEdit->setValue(std::max(1, int(task.IdleMinutes)));
  SuspendCheck->setChecked(task.GetState() == tsAsleep);
  LimitCheck->setChecked(task.MaxDurationOn);
  LimitEdit->setTime(task.MaxDurationOn ? TimeOfDayOf(task.MaxDuration) : QTime(0, 5, 0));
  LimitEdit->setEnabled(task.MaxDurationOn);
  HangUpCheck->setChecked(task.Flags & kTaskHangUp);
  CloseCheck->setChecked(task.Flags & kTaskCloseProgram);
}

void TDlgTask::SaveTo(TTask& task) const {
  const auto kind = static_cast<TTaskStartKind>(StartKindCombo->currentIndex() + 1);
  task.StartKind = kind;
  task.Day = std::uint8_t(DayEdit->value());
  task.Months = 0;
  for (int m = 0; m < 12; ++m)
    if (MonthCheck[m]->isChecked()) task.Months |= std::uint16_t(1u << (m + 1));
  task.WeekDays = 0;
  for (int d = 0; d < 7; ++d)
    if (DayCheck[d]->isChecked()) task.WeekDays |= std::uint8_t(1u << d);
  const double time = DayFraction(StartTimeEdit->time());
  task.StartDate = kind == skOnce ? QDateTimeToDateTime(QDateTime(DateEdit->date(), QTime(0, 0))) + time : time;
  task.WaitFor = TaskCombo->currentIndex() >= 0 ? std::uint32_t(TaskCombo->currentData().toInt()) : 0;
  task.IdleMinutes = IdleEdit->value();
  task.MaxDurationOn = LimitCheck->isChecked();
  task.MaxDuration = DayFraction(LimitEdit->time());
  task.Flags = std::uint8_t(task.Flags & ~(kTaskHangUp | kTaskCloseProgram));
  if (HangUpCheck->isChecked()) task.Flags |= kTaskHangUp;
  if (CloseCheck->isChecked()) task.Flags |= kTaskCloseProgram;
  task.SetState(SuspendCheck->isChecked() ? tsAsleep : tsWaiting);
}

bool TDlgTask::Validate() {
  const int kind = StartKindCombo->currentIndex() + 1;
  const auto none = [](const auto& boxes) {
    return std::none_of(boxes.begin(), boxes.end(), [](QCheckBox* b) { return b->isChecked(); });
  };
  const char* refusal = nullptr;
  if (kind == skMonthly && none(MonthCheck)) refusal = "Vous devez choisir les mois!";
  if (kind == skWeekDays && none(DayCheck)) refusal = "Vous devez choisir les jours!";
  if (!refusal) return true;
  platform::MessageBox(refusal, "Attention!", platform::MB_OK | platform::MB_ICONWARNING);
  return false;
}

void TDlgTask::OkBtnClick() {
  if (Validate()) accept();
}

void TDlgTask::TodayBtnClick() { DateEdit->setDate(QDate::currentDate()); }

void TDlgTask::NowBtnClick() { StartTimeEdit->setTime(QTime::currentTime()); }

}  // namespace qlon
