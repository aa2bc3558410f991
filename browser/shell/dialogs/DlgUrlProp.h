#pragma once
// TDlgUrlProp: the properties of one URL record of a capture: its URL, page
// title, state, file date, MIME type, levels, login and local file. OK
// checks every field first and writes the record back only when all are
// sound; a refused field is named in a message and the stored record stays
// as it was.
//
// The title is read from the page's local file and the state is kept by the
// capture run (its counters follow it), so both are shown, not edited.
#include <QDialog>
#include <string>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace qlon {
class TWeb;
class TWebFile;
}  // namespace qlon

namespace qlon::shell {

class TDlgUrlProp : public QDialog {
  Q_OBJECT
 public:
  static constexpr const char* kCaption = "Propriétés de l'URL";

  // The record must belong to the web (as found in it); the web outlives
  // the dialog.
  TDlgUrlProp(TWeb& web, const TWebFile& record, QWidget* parent = nullptr);

  // Writes the edits into the web; false, with a message and nothing
  // written, when a field is refused or the record is no longer there.
  bool Apply();
  // The record's URL, the new one after an accepted change.
  const std::string& Url() const { return url_; }

  QLineEdit* UrlEdit;
  QLabel *TitleLabel, *StateLabel, *SizeLabel;
  QDateTimeEdit* DateEdit;
  QComboBox* MimeCombo;
  QSpinBox *WebLevelSpin, *LinkLevelSpin;
  QLineEdit *UserEdit, *PasswordEdit;
  QLineEdit* LocalNameEdit;
  QLabel* LocalPathLabel;
  QPushButton *OKBtn, *CancelBtn;

  void accept() override;

 private:
  bool refuse(const std::string& text);
  bool moveRecord(TWebFile& record, const std::string& url);

  TWeb& web_;
  std::string url_;
  bool redirect_ = false;
};

}  // namespace qlon::shell
