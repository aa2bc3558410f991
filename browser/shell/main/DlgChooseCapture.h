#pragma once
// TDlgChooseCapture: asks what a capture of the current web is to do, from
// the flags the main window proposes: finish the capture, update what was
// captured, both, or start again from an emptied web; now or at a later date
// and time; and whether to hang up at the end. Bits the dialog does not show
// (update walk, no link resolution, close afterwards, ...) are returned as
// they were proposed.
#include <QDateTime>
#include <QDialog>
#include <cstdint>
#include <functional>

class QCheckBox;
class QDateTimeEdit;
class QPushButton;
class QRadioButton;

namespace qlon::shell {

using TCaptureFlags = uint16_t;

class TDlgChooseCapture : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = "Type de capture";
  static constexpr const char* kPastDateText = "La date de la capture différée est déjà passée.";

  explicit TDlgChooseCapture(TCaptureFlags proposed, QWidget* parent = nullptr);

  // The chosen flags; with 4, the capture starts at Date().
  TCaptureFlags Flags() const;
  // The start date and time (days since 1899-12-30, local time) when
  // kCaptureScheduled is chosen (a later start), else 0.
  double Date() const;

  // The clock a later start is checked against; tests set it.
  std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };

  QRadioButton *FinishRadio, *UpdateRadio, *FinishUpdateRadio, *ResetRadio;
  QCheckBox* LaterCheck;
  QDateTimeEdit* LaterEdit;
  QCheckBox* HangUpCheck;
  QPushButton *OKBtn, *CancelBtn;

  void accept() override;

 private:
  TCaptureFlags proposed_;
};

}  // namespace qlon::shell
