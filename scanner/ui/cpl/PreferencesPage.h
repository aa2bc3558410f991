#pragma once
// The "Préférences" property page: its controls edit Preferences in memory,
// changed() tells the sheet, apply() saves.
#include <QWidget>

#include "Preferences.h"

class QCheckBox;
class QRadioButton;

namespace qlon::scanner::cpl {

class PreferencesPage : public QWidget {
  Q_OBJECT
 public:
  PreferencesPage(const std::string& deviceKey, QWidget* parent = nullptr);
  void apply();
  const Preferences& Values() const { return prefs_; }
  QWidget* Control(int id) const;

 signals:
  void changed();

 private:
  void Show();
  std::string key_;
  Preferences prefs_;
  QCheckBox *hiDef_, *text_, *color_, *profile_, *close_;
  QRadioButton *auto_, *saved_, *none_;
};

}  // namespace qlon::scanner::cpl
