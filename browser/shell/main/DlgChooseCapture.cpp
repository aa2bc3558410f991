#include "DlgChooseCapture.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "Capture.h"
#include "MessageBox.h"
#include "OkCancelRow.h"
#include "Texts.h"
#include "Utils.h"

namespace qlon::shell {

namespace {

// The bits the dialog decides; the others pass through.
constexpr TCaptureFlags kShown = kCaptureMissing | kCaptureUpdate | kCaptureScheduled | kCaptureReset | kCaptureHangUp;

}  // namespace

TDlgChooseCapture::TDlgChooseCapture(TCaptureFlags proposed, QWidget* parent)
    : QDialog(parent), proposed_(proposed) {
  setWindowTitle(QString::fromUtf8(kCaption));
  setModal(true);
  auto* layout = new QVBoxLayout(this);

  auto* kind = new QGroupBox(QString::fromUtf8("Capture à effectuer"), this);
  auto* kindLayout = new QVBoxLayout(kind);
  // The capture kinds are those of a web shortcut, in its order: 0 reset and
  // capture, 1 finish, 2 update, 3 both.
  auto kindRadio = [kind](int k) {
    return new QRadioButton(QString::fromUtf8(TextAt(kShortcutCaptureKinds, k)), kind);
  };
  ResetRadio = kindRadio(0);
  FinishRadio = kindRadio(1);
  UpdateRadio = kindRadio(2);
  FinishUpdateRadio = kindRadio(3);
  for (QRadioButton* b : {ResetRadio, FinishRadio, UpdateRadio, FinishUpdateRadio}) kindLayout->addWidget(b);
  layout->addWidget(kind);

  auto* when = new QGroupBox(QString::fromUtf8("Déroulement"), this);
  auto* whenLayout = new QVBoxLayout(when);
  auto* laterRow = new QHBoxLayout;
  LaterCheck = new QCheckBox(QString::fromUtf8("&Différer la capture au :"), when);
  LaterEdit = new QDateTimeEdit(when);
  LaterEdit->setDisplayFormat(QStringLiteral("dd/MM/yyyy HH:mm"));
  LaterEdit->setCalendarPopup(true);
  laterRow->addWidget(LaterCheck);
  laterRow->addWidget(LaterEdit, 1);
  whenLayout->addLayout(laterRow);
  HangUpCheck = new QCheckBox(QString::fromUtf8("Raccrocher à la &fin de la capture"), when);
  whenLayout->addWidget(HangUpCheck);
  layout->addWidget(when);

  const controls::TOkCancelRow buttons = controls::MakeOkCancelRow(this, this);
  OKBtn = buttons.Ok;
  CancelBtn = buttons.Cancel;
  layout->addLayout(buttons.Layout);
  connect(OKBtn, &QPushButton::clicked, this, &TDlgChooseCapture::accept);
  connect(LaterCheck, &QCheckBox::toggled, LaterEdit, &QWidget::setEnabled);

  if (proposed & kCaptureReset)
    ResetRadio->setChecked(true);
  else if ((proposed & (kCaptureMissing | kCaptureUpdate)) == (kCaptureMissing | kCaptureUpdate))
    FinishUpdateRadio->setChecked(true);
  else if (proposed & kCaptureUpdate)
    UpdateRadio->setChecked(true);
  else
    FinishRadio->setChecked(true);
  // A later start is proposed an hour from now, on the minute.
  QDateTime later = Now().addSecs(3600);
  later.setTime(QTime(later.time().hour(), later.time().minute()));
  LaterEdit->setDateTime(later);
  LaterCheck->setChecked(proposed & kCaptureScheduled);
  LaterEdit->setEnabled(LaterCheck->isChecked());
  HangUpCheck->setChecked(proposed & kCaptureHangUp);
}

TCaptureFlags TDlgChooseCapture::Flags() const {
  TCaptureFlags flags = proposed_ & ~kShown;
  if (ResetRadio->isChecked())
    flags |= kCaptureReset | kCaptureMissing;
  else if (FinishUpdateRadio->isChecked())
    flags |= kCaptureMissing | kCaptureUpdate;
  else if (UpdateRadio->isChecked())
    flags |= kCaptureUpdate;
  else
    flags |= kCaptureMissing;
  if (LaterCheck->isChecked()) flags |= kCaptureScheduled;
  if (HangUpCheck->isChecked()) flags |= kCaptureHangUp;
  return flags;
}

double TDlgChooseCapture::Date() const {
  return LaterCheck->isChecked() ? QDateTimeToDateTime(LaterEdit->dateTime()) : 0;
}

void TDlgChooseCapture::accept() {
  // A start in the past would never come: the scheduler only looks ahead.
  if (LaterCheck->isChecked() && LaterEdit->dateTime() <= Now()) {
    platform::MessageBox(kPastDateText, kCaption, platform::MB_OK | platform::MB_ICONERROR);
    LaterEdit->setFocus();
    return;
  }
  QDialog::accept();
}

}  // namespace qlon::shell
