#pragma once
// The shell's message box: MessageBox requests shown as a modal
// QMessageBox with French button texts, the box's icon, default and escape
// buttons. Install it once the QApplication exists:
//
//   qlon::platform::QtMessageBoxHandler boxes;   // lives as long as the app
#include "MessageBox.h"

class QMessageBox;

namespace qlon::platform {

class QtMessageBoxHandler : public MessageBoxHandler {
 public:
  QtMessageBoxHandler();  // installs itself
  ~QtMessageBoxHandler() override;
  QtMessageBoxHandler(const QtMessageBoxHandler&) = delete;
  QtMessageBoxHandler& operator=(const QtMessageBoxHandler&) = delete;

  int Show(const MessageBoxRequest& request) override;

  // The box for a request, not shown; each button carries its result in
  // the property "messageBoxResult".
  static QMessageBox* Build(const MessageBoxRequest& request);

 private:
  MessageBoxHandler* previous_;
};

}  // namespace qlon::platform
