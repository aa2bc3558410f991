#pragma once
// The shell handler of the program with windows: documents and URLs open
// through QDesktopServices (the desktop's own rules, xdg-open underneath)
// under the busy cursor, as ShellExecute did under the hourglass. Install
// it once the QGuiApplication exists:
//
//   qlon::platform::QtShellHandler shell;   // lives as long as the app
#include "Shell.h"

namespace qlon::platform {

class QtShellHandler : public ShellHandler {
 public:
  QtShellHandler();  // installs itself
  ~QtShellHandler() override;
  QtShellHandler(const QtShellHandler&) = delete;
  QtShellHandler& operator=(const QtShellHandler&) = delete;

  // A path (absolute, or relative to the current folder) opens as a file
  // URL; anything with a scheme opens as that URL.
  bool OpenItem(const std::string& item) override;
  bool StartCommand(const std::string& commandLine) override;

 private:
  ShellHandler* previous_;
};

}  // namespace qlon::platform
