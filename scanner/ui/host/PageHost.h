#pragma once
// A scanning host's dialog: loads tq21uui.so by path, embeds the settings
// page (CreateUserInterface) in its client area and talks to it with the
// page messages. It shows the status lines the page sends for the control
// under the mouse, closes when the page asks it to, and counts the
// diagnostics dialogs that went away.
//
// Widget tree: PageHost > client area > page > controls, so the window
// three levels above a control is this host.
#include <QPointer>
#include <QWidget>
#include <string>

#include "DynamicLibrary.h"

class QLabel;
class QPushButton;

namespace qlon::imgport {
class ScannerInterface;
}

namespace qlon::scanner::host {

class PageHost : public QWidget {
 public:
  PageHost(const std::string& uiLibrary, imgport::ScannerInterface* scanner, QWidget* parent = nullptr);
  ~PageHost() override;
  PageHost(const PageHost&) = delete;
  PageHost& operator=(const PageHost&) = delete;

  // Empty when the page is shown; else why not.
  const std::string& Error() const { return error_; }
  QWidget* Page() const { return page_.data(); }
  QWidget* Client() const { return client_; }
  QPushButton* OkButton() const { return ok_; }
  QString StatusLine() const;
  int StatusMessages() const { return statusMessages_; }
  int DiagnosticsClosed() const { return diagnosticsClosed_; }
  bool CloseRequested() const { return closeRequested_; }

  // WM_USER+110: hands the keyboard to the page (or asks it for it back);
  // focus is the widget with the focus, the return goes to OK.
  void HandOver(QWidget* focus, bool shift);
  void AllowDescreen(bool allowed);
  // Destroys the page and unloads the library, which writes its state back
  // (the destructor does the same).
  void Unload();

 protected:
  bool event(QEvent* event) override;
  // Tab and Shift-Tab: the page is asked (WM_USER+110) whether the focus
  // leaves it, and the host's last control hands the focus into it.
  bool focusNextPrevChild(bool next) override;

 private:
  platform::TDynamicLibrary library_;
  QWidget* client_;
  QPointer<QWidget> page_;
  QLabel* status_;
  QPushButton *ok_, *cancel_;
  std::string error_;
  int statusMessages_ = 0, diagnosticsClosed_ = 0;
  bool closeRequested_ = false;
};

}  // namespace qlon::scanner::host
