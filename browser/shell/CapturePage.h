#pragma once
// TCapturePage: the main window's capture page (CaptureFrame, the view
// mvCapture): the counters of the current web (links, to capture, ignored,
// errors, to update, captured, the run's duration), the records being
// requested (RequestList) and the connections of the run (SocketList,
// under the requests in the splitter).
#include <QFrame>
#include <string>

class QLabel;
class QSplitter;

namespace qlon {
class TSetup;
class TWUrlList;
class TWeb;
class TWebFile;
}  // namespace qlon

namespace qlon::shell {

class TWSocketList;

class TCapturePage : public QFrame {
  Q_OBJECT
 public:
  explicit TCapturePage(TSetup& setup, QWidget* parent = nullptr);

  // The page shown: as many connection rows as the settings allow.
  void ShowPage();
  // The web whose records the request list shows (nullptr: none); the
  // duration of an earlier run goes.
  void SetWeb(TWeb* web);
  // The web's counters; none: empty.
  void UpdateCountLabels(const TWeb* web);
  void ShowElapsed(const std::string& text);
  // A run begins: the requests reloaded, the connections emptied.
  void ClearRunLists();
  // The web was reset: no duration, the requests reloaded, no connection.
  void ResetWeb(TWeb* web);
  void RecordChanged(const TWebFile& record);
  // The connections' share of the splitter into the settings, and back.
  void SaveLayout();
  void RestoreLayout();

  // Components the main window and the run drive, named as the form's.
  TWUrlList* RequestList;
  TWSocketList* SocketList;

 private:
  // The connections' frame between three rows and all of its rows.
  void FitSockets();

  TSetup& setup_;
  QLabel *LinkCountLabel, *ToRetrieveCountLabel, *FilteredCountLabel, *ErrorCountLabel, *ToUpdateCountLabel,
      *CapturedCountLabel, *ElapsedLabel;
  QSplitter* CaptureSplitter;
  QFrame* SocketsFrame;
};

}  // namespace qlon::shell
