#pragma once
// The saved capture configurations ("profiles.ini"): TDlgProfileList lists,
// deletes and saves them, TDlgNameProfile asks the name to save under.
#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;
class QListWidget;
class QPushButton;

namespace qlon {
class TOptions;
class TProfileList;
}  // namespace qlon

namespace qlon::shell {

class TDlgNameProfile : public QDialog {
  Q_OBJECT
 public:
  explicit TDlgNameProfile(QWidget* parent = nullptr);
  // Runs the dialog; the name typed, when closed with OK.
  bool Execute(std::string& name);
  // A name a profile section can carry: not blank, no line break, no "]".
  static bool IsValidName(const QString& name);

  QLineEdit* NameEdit;
  QPushButton* OKBtn;
};

class TDlgProfileList : public QDialog {
  Q_OBJECT
 public:
  // Works on the list and the current options handed to it; owns neither.
  TDlgProfileList(TProfileList& profiles, TOptions& current, QWidget* parent = nullptr);

  void Refill();
  // Asks, then deletes the selected profile.
  void DeleteClick();
  // Asks a name (and, for a name in use, whether to overwrite), then saves
  // the current options under it. True when saved.
  bool SaveClick();

  // How the name is asked; tests replace it.
  std::function<bool(std::string& name)> AskName;

  QListWidget* ProfileList;
  QPushButton* DeleteBtn;
  QPushButton* SaveBtn;

 private:
  TProfileList& profiles_;
  TOptions& current_;
};

}  // namespace qlon::shell
