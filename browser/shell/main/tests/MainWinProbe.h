#pragma once
// The main window as its tests reach it. Its widgets are found by their
// object names, as a person finds them on the screen; the state and the
// commands a test drives without a person's clicks go through the window's
// private members (the probe is its friend): the open web's session, the
// road, the docked dialogs, what the timers serve and the capture message.
#include <QAction>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>
#include <stdexcept>

#include "CaptureRoad.h"
#include "DlgScheduler.h"
#include "DockedForms.h"
#include "Main.h"
#include "MapEditor.h"
#include "SearchPane.h"
#include "UrlCommands.h"
#include "UrlPage.h"
#include "WUrlList.h"
#include "WaitCursor.h"
#include "WebSession.h"
#include "WebTree.h"

namespace qlon::test {

class TMainWinProbe {
 public:
  explicit TMainWinProbe(TMainWin& win) : win_(win) {}

  // A child of the window by its object name; a missing one fails the test.
  template <class T>
  T* Find(const char* name) const {
    T* found = win_.findChild<T*>(QString::fromLatin1(name));
    if (!found) throw std::logic_error(std::string("the main window has no ") + name);
    return found;
  }

  // ---- widgets
  QMenu* MenuFile() const { return Find<QMenu>("MenuFile"); }
  QAction* MenuFileNew() const { return Find<QAction>("MenuFileNew"); }
  QAction* MenuFileOpen() const { return Find<QAction>("MenuFileOpen"); }
  QAction* MenuFileSave() const { return Find<QAction>("MenuFileSave"); }
  QAction* MenuFileClose() const { return Find<QAction>("MenuFileClose"); }
  QAction* MenuWebCopy() const { return Find<QAction>("MenuWebCopy"); }
  QAction* MenuWebMove() const { return Find<QAction>("MenuWebMove"); }
  QAction* MenuCaptureStart() const { return Find<QAction>("MenuCaptureStart"); }
  QAction* KeepImageRatioCheck() const { return Find<QAction>("KeepImageRatioCheck"); }
  QAction* BrowserPopupLoadIndex() const { return Find<QAction>("BrowserPopupLoadIndex"); }
  QAction* BrowserPopupLoadSommaire() const { return Find<QAction>("BrowserPopupLoadSommaire"); }
  QAction* BrowserPopupLoadBookmarks() const { return Find<QAction>("BrowserPopupLoadBookmarks"); }
  QAction* BrowserPopupSelect() const { return Find<QAction>("BrowserPopupSelect"); }
  QToolButton* NewBtn() const { return Find<QToolButton>("NewBtn"); }
  QToolButton* CaptureBtn() const { return Find<QToolButton>("CaptureBtn"); }
  QToolButton* StopBtn() const { return Find<QToolButton>("StopBtn"); }
  QToolButton* UrlActionBtn() const { return Find<QToolButton>("UrlActionBtn"); }
  QToolButton* PageActionBtn() const { return Find<QToolButton>("PageActionBtn"); }
  QToolButton* ImageActionBtn() const { return Find<QToolButton>("ImageActionBtn"); }
  QToolButton* MarquageButton() const { return Find<QToolButton>("MarquageButton"); }
  QToolButton* UrlOptionsBtn() const { return Find<QToolButton>("UrlOptionsBtn"); }
  QToolButton* ConsulterBtn() const { return Find<QToolButton>("ConsulterBtn"); }
  QToolButton* BrowserBtn() const { return Find<QToolButton>("BrowserBtn"); }
  QMenu* MenuHtmlPage() const { return Find<QMenu>("MenuHtmlPage"); }
  QAction* MenuHTMLPageSommaire() const { return Find<QAction>("MenuHTMLPageSommaire"); }
  QAction* MenuCaptureResolveLinks() const { return Find<QAction>("MenuCaptureResolveLinks"); }
  QAction* MenuHelpAbout() const { return Find<QAction>("MenuHelpAbout"); }
  QFrame* WTreeFrame() const { return Find<QFrame>("WTreeFrame"); }
  QFrame* RightFrame() const { return Find<QFrame>("RightFrame"); }
  QFrame* ImageWallFrame() const { return Find<QFrame>("ImageWallFrame"); }
  QFrame* CaptureFrame() const { return Find<QFrame>("CaptureFrame"); }
  QFrame* CfgWebFrame() const { return Find<QFrame>("CfgWebFrame"); }
  QFrame* HelpFrame() const { return Find<QFrame>("HelpFrame"); }
  QFrame* SchedulerFrame() const { return Find<QFrame>("SchedulerFrame"); }
  QLabel* Image() const { return Find<QLabel>("Image"); }
  QLabel* CapturedCountLabel() const { return Find<QLabel>("CapturedCountLabel"); }
  QLabel* StatusInfo1() const { return Find<QLabel>("StatusInfo1"); }
  QProgressBar* StatusProgressBar() const { return Find<QProgressBar>("StatusProgressBar"); }
  QTimer* TreeTimer() const { return Find<QTimer>("TreeTimer"); }
  QTimer* ViewTimer() const { return Find<QTimer>("ViewTimer"); }
  TWebTree* Tree() const { return Find<TWebTree>("Tree"); }
  TWUrlList* UrlList() const { return Find<TWUrlList>("UrlList"); }
  TWUrlList* MapList() const { return Find<TWUrlList>("MapList"); }
  TMapEditor* MapEditor() const { return Find<TMapEditor>("MapFrame"); }
  shell::TSearchPane* SearchPanel() const { return Find<shell::TSearchPane>("SearchPanel"); }
  shell::TUrlPage* UrlPage() const { return Find<shell::TUrlPage>("UrlsFrame"); }
  TUrlCommands* UrlCommands() const { return UrlPage()->UrlCommands.get(); }

  // ---- state
  shell::TCaptureRoad& Road() const { return *win_.road_; }
  TDlgScheduler* DlgScheduler() const { return win_.Docked->Scheduler; }
  shell::TDlgSetup* DlgSetup() const { return win_.Docked->Options; }
  shell::TDlgWeb* DlgWeb() const { return win_.Docked->WebConfig; }
  TRas* RasEntry() const { return win_.RasEntry; }
  shell::TWebSession& Session() const { return *win_.session_; }
  const QStringList& RecentPaths() const { return Session().Recent().Paths(); }
  TWebTreePage PageTag() const { return win_.PageTag; }

  // ---- what the window asks of its surroundings
  std::function<int(QDialog&)>& ExecDialog() const { return win_.Asks.ExecDialog; }
  std::function<bool(shell::TDlgWeb&)>& RunWebDialog() const { return win_.Asks.RunWebDialog; }
  std::function<QString()>& AskOpenWebFile() const { return win_.Asks.OpenWebFile; }
  std::function<bool(const std::string&)>& OpenAddress() const { return win_.Asks.OpenAddress; }

  // ---- commands
  void SetMode(TMainMode mode) const { win_.SetMode(mode); }
  // The open web's session, as the menus and the command line drive it.
  void OpenWebFile(const std::string& path) const { Session().Open(path, false); }
  bool CloseWeb(bool keepView) const { return Session().Close(keepView); }
  void HandleArguments(const StringList* list) const { win_.HandleArguments(list); }
  void PostCapture(uint16_t flags) const { win_.PostCapture(flags); }
  void TreeTimerTimer() const { win_.TreeTimerTimer(); }

 private:
  TMainWin& win_;
};

}  // namespace qlon::test
