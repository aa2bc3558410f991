#include "WindowNotice.h"

#include <filesystem>

#include "ErrorState.h"

namespace qlon::scanner {

WindowNotice::~WindowNotice() { Close(); }

bool WindowNotice::Load() {
  if (tried_) return library_.IsOpen();
  tried_ = true;
  namespace fs = std::filesystem;
  std::error_code ec;
  const fs::path self(modulePath_);
  // The stand-in brings the GUI libraries with it: it stays loaded (it is
  // never unloaded under a host that still runs them).
  for (const fs::path& folder : {self.parent_path(), fs::canonical(self, ec).parent_path()}) {
    if (folder.empty()) continue;
    platform::TDynamicLibrary library(folder / kNoticeWindowFileName, platform::TDynamicLibrary::Residence::Resident);
    if (!library) continue;
    library.Bind(open_, kNoticeOpen);
    library.Bind(repaint_, kNoticeRepaint);
    library.Bind(close_, kNoticeClose);
    library.Bind(waitCursor_, kWaitCursor);
    if (open_ && repaint_ && close_ && waitCursor_) {
      library_ = std::move(library);
      return true;
    }
  }
  return false;
}

void WindowNotice::Show() {
  if (notice_ || !Load()) return;
  notice_ = open_(kOwnerTitle, kOwnerTitle, DriverString(kCalibratingText));
}

void WindowNotice::Repaint() {
  if (notice_) repaint_(notice_);
}

void WindowNotice::WaitCursor(bool on) {
  // Only the hourglass this notice put up is taken back.
  if (on && !waiting_ && library_) {
    waiting_ = waitCursor_(1) != 0;
  } else if (!on && waiting_) {
    waitCursor_(0);
    waiting_ = false;
  }
}

void WindowNotice::Close() {
  WaitCursor(false);
  if (notice_) close_(notice_);
  notice_ = nullptr;
}

}  // namespace qlon::scanner
