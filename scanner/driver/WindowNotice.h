#pragma once
// The calibration notice on the host's screen. The driver links no GUI: it
// loads the window stand-in (qlonwin.so) by name at the first calibration,
// from its own folder, and the stand-in draws with the host's application.
// In a host without one, or without the stand-in, nothing is shown and the
// calibration runs the same.
#include <string>

#include "DynamicLibrary.h"
#include "NoticeWindow.h"
#include "ScsiCommands.h"

namespace qlon::scanner {

class WindowNotice : public CalibrationNotice {
 public:
  // Owner of the notice: the host's top-level window of this title.
  static constexpr const char* kOwnerTitle = "Vellumor";

  // modulePath: the driver library's file; the stand-in lies beside it, or
  // beside the file it links to.
  explicit WindowNotice(std::string modulePath) : modulePath_(std::move(modulePath)) {}
  ~WindowNotice() override;
  WindowNotice(const WindowNotice&) = delete;
  WindowNotice& operator=(const WindowNotice&) = delete;

  void Show() override;  // kCalibratingText of the driver
  void Repaint() override;
  void WaitCursor(bool on) override;
  void Close() override;

 private:
  bool Load();

  std::string modulePath_;
  bool tried_ = false;
  platform::TDynamicLibrary library_;
  QlonNoticeOpenFn open_ = nullptr;
  QlonNoticeRepaintFn repaint_ = nullptr;
  QlonNoticeCloseFn close_ = nullptr;
  QlonWaitCursorFn waitCursor_ = nullptr;
  void* notice_ = nullptr;
  bool waiting_ = false;
};

}  // namespace qlon::scanner
