#pragma once
// The settings page widget: shows the controller's Controls, forwards the
// user's actions to it, and serves the host messages (PageMessages.h), the
// tooltips with their status lines, the threshold edit's keys, the
// diagnostics dialog, the calibration and the help file.
#include <QPixmap>
#include <QPointer>
#include <QWidget>
#include <map>
#include <vector>

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
  // WM_USER+110: focus is the widget with the focus (or null), back the
  // host's control to return to.
  void HandOver(QWidget* focus, QWidget* back, bool shift);
  QWidget* HostWindow() const { return hostWindow_; }
  // The page's tab stops in focus order.
  std::vector<QWidget*> TabStops() const;

  // Button 1008 and 1009: what a click does.
  void TestScanner();
  void Calibrate();
  // The tip of a control (the part after the line break of its string),
  // after posting its status line to the window three levels above it.
  QString TipFor(QWidget* control);
  // "pxui.hlp" beside this library; empty when there is none.
  static std::string HelpFile();
  static bool OpenHelp(uint32_t topic);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  bool EditKey(QKeyEvent* key);
  void AcceptEdit(bool onEnter);
  // WM_USER+101: the box is shown from the event loop, then the focus goes to the control.
  void PostWarning(const std::string& text, int controlId);
  PageController controller_;
  std::map<int, QWidget*> controls_;
  QComboBox *source_, *paper_, *halftone_;
  QSlider* track_;
  QLineEdit* edit_;
  QCheckBox* descreen_;
  QRadioButton *auto_, *manual_;
  QLabel *model_, *version_, *port_, *info_, *preview_;
  QPushButton *test_, *calibrate_;
  std::vector<QPixmap> bitmaps_;  // the halftone previews, freed with the page
  bool syncing_ = false;
  bool inDiagnostics_ = false;
  QPointer<QWidget> hostWindow_;
};

// The status-line text (before the line break) and tip (after it) of a
// control's string; a control without a string has neither.
std::pair<std::string, std::string> TipTexts(int controlId);

}  // namespace qlon::scanner::ui
