#pragma once
// Runs that nobody watches: a ".wbs" shortcut that closes the program when
// its capture ends, a capture started by the scheduler, or a program with no
// screen (Qt's offscreen platform). Such a run never waits for a person:
//   - every question takes the answer that changes nothing the user set:
//     Cancel when the box offers it, else No, else Abort, else its only or
//     default button (an "OK" that merely acknowledges);
//   - every message that would have been shown goes to standard error and,
//     during a scheduled capture, to its task's journal.
//
// All boxes of the program go through platform::MessageBox, so this is the
// one place that decides: TUnattended is installed over the handler that
// shows the boxes and passes them on while a person is there. Dialogs that
// would wait for an answer ask MayAsk() first.
#include <atomic>
#include <functional>
#include <string>

#include "MessageBox.h"

namespace qlon::shell {

class TUnattended : public platform::MessageBoxHandler {
 public:
  enum Reason : unsigned { NoScreen = 1, Shortcut = 2, Scheduled = 4 };

  // Installs itself over the current handler for its lifetime.
  TUnattended();
  ~TUnattended() override;
  TUnattended(const TUnattended&) = delete;
  TUnattended& operator=(const TUnattended&) = delete;

  // The last one created that is still alive; nullptr when none.
  static TUnattended* Current();

  void Set(Reason reason, bool on);
  bool Active() const { return reasons_.load() != 0; }
  bool Has(Reason reason) const { return (reasons_.load() & reason) != 0; }

  int Show(const platform::MessageBoxRequest& request) override;
  static int Answer(const platform::MessageBoxRequest& request);
  // A box answered in the person's place with `answer` (a caller that
  // knows better than Answer): reported, and counted when it is an error
  // or a warning. Returns the answer.
  int Answered(const platform::MessageBoxRequest& request, int answer);
  // Writes a message nobody will see on a screen: "qlon98: [caption] text"
  // on standard error, and "[caption] text" into the journal when one is set;
  // one line, printable (PrintableText).
  void Report(const std::string& caption, const std::string& text);
  // During a scheduled capture: its task's journal (GUI thread only).
  std::function<void(const std::string& line)> Journal;
  // Error and warning boxes answered here; the program's exit status says so.
  int Failures() const { return failures_.load(); }

 private:
  platform::MessageBoxHandler* shown_;
  TUnattended* outer_;
  std::atomic<unsigned> reasons_{0};
  std::atomic<int> failures_{0};
};

// A reason set for the life of the scope, with the journal its messages
// also go to; what was set before comes back at its end.
class TUnattendedScope {
 public:
  TUnattendedScope(TUnattended& unattended, TUnattended::Reason reason,
                   std::function<void(const std::string& line)> journal);
  ~TUnattendedScope();
  TUnattendedScope(const TUnattendedScope&) = delete;
  TUnattendedScope& operator=(const TUnattendedScope&) = delete;

 private:
  TUnattended& unattended_;
  TUnattended::Reason reason_;
  bool wasSet_;
  std::function<void(const std::string& line)> journal_;
};

// Whether a dialog may wait for a person now. When not, the dialog is not
// shown: `caption` is reported and the caller takes it as cancelled.
bool MayAsk(const std::string& caption);

}  // namespace qlon::shell
