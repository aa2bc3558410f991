#pragma once
// The settings page widget: shows the controller's Controls and forwards
// the user's actions to it.
#include <QWidget>
#include <map>

#include "PageController.h"

class QComboBox;
class QSlider;
class QLineEdit;
class QCheckBox;
class QRadioButton;
class QLabel;
class QPushButton;

namespace qlon::scanner::ui {

class SettingsPage : public QWidget {
 public:
  SettingsPage(QWidget* parent, imgport::ScannerInterface* scanner, PageState* state);
  PageController& Controller() { return controller_; }
  QWidget* Control(int id) const { auto it = controls_.find(id); return it == controls_.end() ? nullptr : it->second; }
  void Sync();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Warn(const std::string& text);
  PageController controller_;
  std::map<int, QWidget*> controls_;
  QComboBox *source_, *paper_, *halftone_;
  QSlider* track_;
  QLineEdit* edit_;
  QCheckBox* descreen_;
  QRadioButton *auto_, *manual_;
  QLabel *model_, *version_, *port_, *info_;
  bool syncing_ = false;
};

}  // namespace qlon::scanner::ui
