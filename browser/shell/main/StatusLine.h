#pragma once
// The main window's status line: the hint of the page shown (or the
// dial-up state), the progress of a list that fills, and the scheduler's
// state at its right end.
class QLabel;
class QProgressBar;
class QStatusBar;
class QString;

namespace qlon::shell {

class TStatusLine {
 public:
  // Its parts are children of the window's status bar.
  explicit TStatusLine(QStatusBar& bar);

  void ShowHint(const QString& text);
  void ShowScheduler(const QString& text);
  // A list's fill: position 0 of `total` shows the bar, a negative one
  // hides it. Painted at once: the list fills without the event loop.
  void ShowListProgress(int position, int total);

 private:
  QStatusBar& bar_;
  QLabel *hint_, *scheduler_;
  QProgressBar* progress_;
};

}  // namespace qlon::shell
