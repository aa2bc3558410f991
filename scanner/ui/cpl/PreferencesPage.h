#pragma once
// The "Préférences" property page: its controls edit Preferences in memory,
// changed() tells the sheet (PSM_CHANGED), apply() saves (PSN_APPLY).
// F1 on a control and its context menu open the help topic of the control.
#include <QWidget>

#include "Preferences.h"

class QCheckBox;
class QLabel;
class QRadioButton;

namespace qlon::scanner::cpl {

class PreferencesPage : public QWidget {
  Q_OBJECT
 public:
  PreferencesPage(const std::string& deviceKey, QWidget* parent = nullptr);
  const Preferences& Values() const { return prefs_; }
  QWidget* Control(int id) const;
  // WM_HELP / WM_CONTEXTMENU for a control: true when its topic opened.
  bool Help(int controlId, bool contextMenu);
  // The help file: "HelpFile" of the device key, a bare name beside this library.
  std::string HelpFilePath() const;

 public slots:
  void apply();

 signals:
  void changed();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Show();
  void LoadLogo();
  std::string key_;
  Preferences prefs_;
  QCheckBox *hiDef_, *text_, *color_, *profile_, *close_;
  QRadioButton *auto_, *saved_, *none_;
  QLabel *intro_, *previewTitle_, *logo_;
};

// The help topic of a control (0 for none): 401 to 404 by group.
uint32_t HelpTopicOf(int controlId);
// The colour-matching logo "IDB_CMLOGO" with its light grey (192, 192, 192)
// shown in the button face colour.
QImage ColourMatchLogo(QColor buttonFace);

}  // namespace qlon::scanner::cpl
