#include "DlgTaskWeb.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>

#include "MessageBox.h"
#include "OkCancelRow.h"
#include "RecentWebs.h"
#include "Scheduler.h"
#include "TaskDates.h"
#include "WCheckListBox.h"

namespace qlon {

namespace fs = std::filesystem;

TDlgTaskWeb::TDlgTaskWeb(const TTaskWeb& task, const fs::path& workFolder, bool listMode, QWidget* parent)
    : QDialog(parent), listMode_(listMode) {
  setWindowTitle(listMode ? "Ajouter une liste de webs..." : "Web");
  ChooseFile = [](QWidget* owner) {
    return QFileDialog::getOpenFileName(owner, "Choisir un web", {}, "fichier Web (*.web)");
  };
  const std::vector<std::string> recent = shell::TRecentWebs::Read(workFolder);
  auto* layout = new QVBoxLayout(this);
  if (listMode) {
    WebList = new TWCheckListBox(this);
    for (const std::string& w : recent) WebList->addItem(QString::fromStdString(w));
    layout->addWidget(new QLabel("Webs à ajouter :"));
    layout->addWidget(WebList);
  } else {
    WebCombo = new QComboBox(this);
    WebCombo->setEditable(true);
    for (const std::string& w : recent) WebCombo->addItem(QString::fromStdString(w));
    WebCombo->setCurrentText(QString::fromStdString(task.WebPath));
    BrowseBtn = new QPushButton("&Parcourir...", this);
    auto* file = new QHBoxLayout;
    file->addWidget(new QLabel("Web :"));
    file->addWidget(WebCombo, 1);
    file->addWidget(BrowseBtn);
    layout->addLayout(file);
    connect(BrowseBtn, &QPushButton::clicked, this, &TDlgTaskWeb::BrowseBtnClick);
  }
  auto* actions = new QGroupBox("Travail à effectuer", this);
  auto* ag = new QVBoxLayout(actions);
  ResetCheck = new QCheckBox("Capturer complétement (avec réinitialisation du web local)");
  CaptureCheck = new QCheckBox("Terminer la capture");
  UpdateCheck = new QCheckBox("Mettre à jour la capture");
  ResolveCheck = new QCheckBox("Résoudre les liens en fin de capture");
  for (QCheckBox* b : {ResetCheck, CaptureCheck, UpdateCheck, ResolveCheck}) ag->addWidget(b);
  layout->addWidget(actions);
  LimitCheck = new QCheckBox("Limiter ce travail à :");
  LimitEdit = new QTimeEdit;
  LimitEdit->setDisplayFormat("HH:mm:ss");
  auto* limit = new QHBoxLayout;
  limit->addWidget(LimitCheck);
  limit->addWidget(LimitEdit);
  layout->addLayout(limit);
  SuspendCheck = new QCheckBox("Suspendre.");
  layout->addWidget(SuspendCheck);
  const controls::TOkCancelRow buttons = controls::MakeOkCancelRow(this);
  OkBtn = buttons.Ok;
  CancelBtn = buttons.Cancel;
  layout->addLayout(buttons.Layout);
  connect(LimitCheck, &QCheckBox::toggled, LimitEdit, &QWidget::setEnabled);
  connect(OkBtn, &QPushButton::clicked, this, &TDlgTaskWeb::OkBtnClick);

  ResetCheck->setChecked(task.Actions & kActionReset);
  CaptureCheck->setChecked(task.Actions & kActionCapture);
  UpdateCheck->setChecked(task.Actions & kActionUpdate);
  ResolveCheck->setChecked(task.Actions & kActionResolveLinks);
  LimitCheck->setChecked(task.MaxDurationOn);
  LimitEdit->setTime(task.MaxDurationOn ? TimeOfDayOf(task.MaxDuration) : QTime(0, 5, 0));
  LimitEdit->setEnabled(task.MaxDurationOn);
  SuspendCheck->setChecked(task.GetState() == tsAsleep);
}

void TDlgTaskWeb::SaveTo(TTaskWeb& task) const {
  if (WebCombo) task.WebPath = WebCombo->currentText().trimmed().toStdString();
  std::uint8_t actions = 0;
  if (ResetCheck->isChecked()) actions |= kActionReset;
  if (CaptureCheck->isChecked()) actions |= kActionCapture;
  if (UpdateCheck->isChecked()) actions |= kActionUpdate;
  if (ResolveCheck->isChecked()) actions |= kActionResolveLinks;
  task.Actions = actions;
  task.MaxDurationOn = LimitCheck->isChecked();
  task.MaxDuration = DayFraction(LimitEdit->time());
  task.SetState(SuspendCheck->isChecked() ? tsAsleep : tsWaiting);
}

std::vector<std::string> TDlgTaskWeb::CheckedWebs() const {
  std::vector<std::string> webs;
  if (!WebList) return webs;
  for (int i = 0; i < WebList->count(); ++i)
    if (WebList->Checked(i)) webs.push_back(WebList->item(i)->text().toStdString());
  return webs;
}

bool TDlgTaskWeb::Validate() {
  const char* refusal = nullptr;
  if (!ResetCheck->isChecked() && !CaptureCheck->isChecked() && !UpdateCheck->isChecked() &&
      !ResolveCheck->isChecked())
    refusal = "Vous devez préciser un travail à effectuer!";
  // A step without a capture file could never run.
  else if (WebCombo && WebCombo->currentText().trimmed().isEmpty())
    refusal = "Vous devez choisir un web!";
  if (!refusal) return true;
  platform::MessageBox(refusal, "Attention!", platform::MB_OK | platform::MB_ICONWARNING);
  return false;
}

void TDlgTaskWeb::OkBtnClick() {
  if (Validate()) accept();
}

void TDlgTaskWeb::BrowseBtnClick() {
  const QString file = ChooseFile ? ChooseFile(this) : QString();
  if (!file.isEmpty() && WebCombo) WebCombo->setCurrentText(file);
}

}  // namespace qlon
