#pragma once
// The settings page widget: shows the controller's Controls and forwards
// the user's actions to it.
#include <QEvent>
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

// A host message: (message number - WM_USER, wParam, lParam).
class HostMessage : public QEvent {
 public:
  HostMessage(int message, void* wParam, intptr_t lParam, bool shift = false)
      : QEvent(static_cast<Type>(QEvent::User + message)), wParam(wParam), lParam(lParam), shift(shift) {}
  void* wParam;
  intptr_t lParam;
  bool shift;
};

class SettingsPage : public QWidget {
 public:
  SettingsPage(QWidget* parent, imgport::ScannerInterface* scanner, PageState* state);
  PageController& Controller() { return controller_; }
  QWidget* Control(int id) const { auto it = controls_.find(id); return it == controls_.end() ? nullptr : it->second; }
  void Sync();
  // Host message WM_USER+110: focus is the widget with the focus (or null),
  // back the host's control to return to.
  void HandOver(QWidget* focus, QWidget* back, bool shift);
  // Host messages as events: QEvent::User + 110 / 111 / 150 (HostMessage).
  static constexpr int kHandOver = 110, kHostWindow = 111, kDescreenAllowed = 150;
  QWidget* HostWindow() const { return hostWindow_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;

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
  QWidget* hostWindow_ = nullptr;
  std::vector<QWidget*> TabStops() const;
};

}  // namespace qlon::scanner::ui
