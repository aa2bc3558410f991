#pragma once
// TCaptureRoad: one capture of the current web, from the choice of what to
// capture to the last follow-up, whoever asks for it (the start command, a
// web shortcut, the scheduler, the URL commands). A run goes:
//
//    1. the docked dialogs store their edits; kCaptureReset: the web is reset
//    2. mode "running", the run's lists emptied, the capture page (unless
//       kCaptureScheduled: the scheduler's own page stays)
//    3. dial-up (unless scheduled: the job dialled); a failure ends here
//    4. the web prepares its queues, or queues the records asked for; an
//       update with none waiting walks the site from its start page
//    5. the run (TCapture), stepped on the GUI thread until it ends
//    6. mode "web open"; after a whole update walk, the records no page
//       links to any more go
//    7. thumbnails and link resolution with the index pages (unless
//       kCaptureNoResolve, or the run ended on a full disk)
//    8. the default title, the lists shown again, the web saved
//    9. the report: to the user when the disk was full or nothing came,
//       and of the addresses the run found but the capture file had no
//       number for; or to the scheduler (a full disk ends its step in error)
//   10. kCaptureClose or a close asked during the run: the program closes;
//       otherwise the bookmark, the summary page, and the hang-up
//       (kCaptureHangUp)
//
// An exception anywhere in 1 to 8 ends the run at 9 with the web saved; a
// failed dial-up ends it with the web as it was. Either way the window is
// back in mode "web open".
//
// The road meets the window at ICaptureRoadHost: the questions (modal
// dialogs), the state on screen and the lists the run fills. The road is the
// run's ICaptureHost: it answers the run's question itself and passes the
// rest on to the window.
//
// Nobody watching (TUnattended active: a shortcut that closes the program,
// the scheduler, no screen). Every message box of the road goes through one
// table of its boxes, each with the answer it takes then, the one that
// changes nothing the user set:
//   a start address moved      No: the web keeps its start address
//   the start address failed   No: the web's options stay as they are
//   close during the run       Cancel: the run goes on (a scheduled run is
//                              aborted without a question)
//   messages (dial-up, URL or proxy error, link resolution, a disk full
//   that stopped the run, addresses the capture file had no room for)
//                              their button
// The box is reported on standard error, and in the job's journal during a
// scheduled run; an error box also counts as the run's failure.
#include <QObject>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "Capture.h"
#include "MainTypes.h"
#include "Utils.h"

class QDateTime;
class QDialog;
class QWidget;

namespace qlon {

class TRas;
class TScheduler;
class TSetup;
class TWeb;
class TWebFile;

namespace shell {

class TUnattended;
class TWSocketList;

// What the road needs of the main window.
class ICaptureRoadHost {
 public:
  virtual ~ICaptureRoadHost() = default;
  virtual TWeb* CurrentWeb() = 0;

  // The questions: a modal dialog of the road, made under DialogParent;
  // the dialog's result.
  virtual int ExecModal(QDialog& dialog) = 0;
  virtual QWidget* DialogParent() = 0;

  // The state on screen.
  virtual void SetMode(TMainMode mode) = 0;
  virtual void SetView(TMainView view) = 0;
  // Shows the page of a web-tree tag.
  virtual void SelectTreePage(int tag) = 0;
  virtual void RefreshStatusHints() = 0;

  // The web.
  virtual void CommitDialogs() = 0;
  virtual void ResetWeb() = 0;
  // Saves the web; false, with the reason in `failure`, when it cannot
  // (the road reports it with the run's other failures).
  virtual bool SaveWeb(std::string* failure) = 0;

  // The lists: emptied when a run starts, shown again when it has ended
  // (the tree back on the web's page unless the run was scheduled).
  virtual void ClearRunLists() = 0;
  virtual void ShowRunEnd(bool scheduled) = 0;
  // What the run reports while it goes.
  virtual void UpdateCountLabels() = 0;
  virtual void AddWebFileToLists(const TWebFile& record) = 0;
  virtual void RefreshWebTree() = 0;
  virtual void ShowElapsed(const std::string& text) = 0;
  virtual TWSocketList& Connections() = 0;

  // The follow-up.
  virtual void AddBookmark() = 0;
  // Opens a page of the web's folder in the browser when it exists.
  virtual void OpenWebPage(const std::string& relative) = 0;
  // Closes the program once the current event has been served.
  virtual void CloseProgram() = 0;
  // nullptr when the program has no scheduler.
  virtual TScheduler* Scheduler() = 0;
};

class TCaptureRoad : public QObject, private ICaptureHost {
 public:
  // `ras` is the dial-up entry; its connect and disconnect events end a
  // dial wait.
  TCaptureRoad(ICaptureRoadHost& host, TSetup& setup, TRas& ras, TUnattended& unattended);
  ~TCaptureRoad() override;
  TCaptureRoad(const TCaptureRoad&) = delete;
  TCaptureRoad& operator=(const TCaptureRoad&) = delete;

  // The start command: proposes the flags from the web's queues, shows the
  // choose-capture dialog, then schedules a later start or runs now.
  void Start();
  // One capture to its end. urls: only those records (for update with
  // kCaptureUpdate); none: the web's queues, prepared first when `prepare`. True
  // when the run went through; false without a web, while another run
  // holds it, or when the dial-up failed.
  bool Run(uint16_t flags, const StringList* urls, bool prepare);
  // The stop command: a dial wait ends; a run asks the stop dialog, then
  // stops (the transfers under way finish when the dialog says so).
  void Stop();
  // A close asked during a run (see the header); the window stays open
  // until the run has ended.
  void RequestClose();
  // The scheduler ends a web step: only its own run of that web stops.
  void StopScheduledRun(const std::filesystem::path& webFile);
  // A scheduler job of one step that captures the web at `date`.
  void ScheduleCapture(const std::string& webFile, uint16_t flags, const QDateTime& date);
  // The time limit (minutes, 0 none) of the next run only.
  void LimitNextRun(int32_t minutes) { nextLimit_ = minutes; }

  TDialResult Dial();
  // true: hangs the connection up; false: only ends a dial wait.
  void HangUp(bool hangUp);
  // A dial wait ends (the stop command, a close, the entry's events).
  void CancelDial() { dialing_ = false; }
  // Thumbnails (when the web asks for them), then link resolution and the
  // index pages, in their progress dialogs.
  void ResolveLinks(bool fromMenu);

  bool Running() const { return capturing_; }
  uint16_t Flags() const { return flags_; }
  // The run inside its loop; nullptr otherwise.
  TCapture* Capture() const { return capture_.get(); }
  bool ConnectionFound() const { return connectionFound_; }

 private:
  enum TBox : int;
  struct TRunOutcome;
  int Ask(TBox box, const std::string& text);
  // The steps of a run.
  void showRunStart(TWeb& web, uint16_t flags, TRunOutcome& run);
  void queueRun(TWeb& web, uint16_t& flags, const StringList* urls, bool prepare);
  void captureQueued(TWeb& web, uint16_t flags, TRunOutcome& run);
  void takeCaptureResults(TRunOutcome& run);
  void finishRun(TWeb& web, uint16_t flags, TRunOutcome& run);
  void reportRun(const TWeb& web, uint16_t flags, const StringList* urls, const TRunOutcome& run);
  bool followUp(TWeb& web, uint16_t flags, const TRunOutcome& run);
  void ReportNothingCaptured(uint16_t flags, bool stopped, const StringList* urls);
  void ReportEmptyCapture();
  void AskUrlChange();
  void ReportToScheduler(bool ran, bool stopped, const StringList* urls, const std::string& failure, bool storeFailed);
  void JournalScheduledRun(const std::string& line);

  // ICaptureHost
  void UpdateCountLabels() override;
  void AddWebFileToLists(const TWebFile& record) override;
  bool ConfirmMovedStartUrl(const TWebFile& record, const std::string& location) override;
  void RefreshWebTree() override;
  void ShowElapsed(const std::string& text) override;
  void SetConnectionWeb(int row, const std::string& text) override;
  void SetConnectionUrl(int row, const std::string& text) override;
  void SetConnectionState(int row, THTTP_STATE state) override;
  void SetConnectionSize(int row, int64_t size) override;
  void SetConnectionProgress(int row, int percent) override;

  ICaptureRoadHost& host_;
  TSetup& setup_;
  TRas& ras_;
  TUnattended& unattended_;
  std::unique_ptr<TCapture> capture_;
  uint16_t flags_ = 0;
  bool capturing_ = false;     // from the start of Run to its end
  bool closeAfter_ = false;    // a close was asked during the run
  uint32_t closeRequests_ = 0;
  bool dialing_ = false;
  bool connectionFound_ = false;  // the connection was open already: hung up by name
  // The last failed request of the run: its HTTP status (0 for a network
  // failure) and address.
  int lastErrorCode_ = 0;
  std::string lastErrorUrl_;
  std::optional<int32_t> nextLimit_;
};

}  // namespace shell
}  // namespace qlon
