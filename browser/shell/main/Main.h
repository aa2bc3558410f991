#pragma once
// TMainWin: the program's only top-level window. It shows the open web (its
// session, WebSession.h, holds it with the recent webs) in the web tree and
// the pages on its right (the URL page, UrlPage.h; the capture page; the map
// editor, MapEditor.h) beside the docked dialogs (DockedForms.h); the
// capture road, the scheduler thread and second instances reach the user
// interface through it.
//
// Main.cpp: start-up, mode and view, geometry, the command line, the
// scheduler's tasks; MainWeb.cpp: the host of the open web (TWebSession);
// MainCapture.cpp: the capture commands and the road's host; MainViews.cpp:
// the tree's pages, the menus' commands and the host of the pages.
//
// Its public face is what the program needs: build it, show it, read its
// web, mode and page. Everything else is reached through the menus, the tool
// bar, the command line, a shortcut or the scheduler; its components see it
// through their hosts (MainHosts.h), tests through one probe (tests/MainWinProbe.h).
//
// Re-entrancy. A capture runs inside the handler of its posted message and
// lets the event loop run between steps, so menus, the close box, handed-over
// command lines and scheduler calls arrive while the run holds the web.
// While the road runs (TCaptureRoad::Running) nothing closes, replaces or
// frees the current web: close requests are deferred to the end of the run,
// command lines and drops are ignored, scheduled steps wait for the next poll.
#include <QMainWindow>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "MainTypes.h"
#include "Utils.h"

class QDialog;
class QFrame;
class QSplitter;
class QTimer;

namespace qlon {

class TBookmarkList;
class TMapEditor;
class TRas;
class TSetup;
class TTask;
class TWeb;
class TWebTree;
namespace controls {
class TWTreeNode;
}
namespace test {
class TMainWinProbe;
}
namespace shell {
class TCapturePage;
class TCaptureRoad;
class TDlgWeb;
class TDockedForms;
class TMainMenus;
class TStatusLine;
class TUnattended;
class TUrlPage;
class TWebSession;
}  // namespace shell

// The capture message the window posts itself (WM_USER + 4096), with its flags.
inline constexpr unsigned kCaptureMessage = 0x0400 + 4096;

// Start-up choices; the defaults are the program's own.
struct TMainWinConfig {
  std::optional<StringList> Arguments;  // argv[1..]; unset: the application's own
  bool Splash = true;  // shown when started without arguments
  int SchedulerStartDelayMs = 5000;
  int SchedulerPollMs = 300;
};

class TMainWin : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainWin(TSetup& setup, TMainWinConfig config = {}, QWidget* parent = nullptr);
  ~TMainWin() override;

  TWeb* CurrentWeb() const;
  TMainMode Mode() const { return mode_; }
  TMainView View() const { return view_; }

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  friend class test::TMainWinProbe;
  // The window as its components see it (MainHosts.h).
  class TRoadHost;
  class TSessionHost;
  class TViewsHost;
  // ---- creation and frame of state (Main.cpp)
  void BuildFrames();
  void FormCreate();
  void BuildDockedForms();
  void AcceptDropsAndCommandLines(const StringList& arguments);
  void FormDestroy();
  bool FormCloseQuery();
  void FormActivate();
  void SetMode(TMainMode mode);
  void SetView(TMainView view);
  void ShowView(TMainView view);
  void SelectTreePage(int tag);
  void RefreshState();
  void RefreshStatusHints();  // the page shown has the first say
  void UpdateCaption();
  void EnableMenus();
  void DownBtnClickDispatch();  // new web, start or stop a capture by mode
  bool Busy() const;            // a capture or a search holds the current web
  void CloseLater();
  // Who answers the boxes (this window's own when the program made none).
  shell::TUnattended& Unattended();
  // ---- the open web's dialogs and counters (MainWeb.cpp)
  void CommitDialogs();
  void RefreshWebInfo();
  // ---- capture commands, and what a run shows (MainCapture.cpp)
  void PostCapture(uint16_t flags);
  void CaptureMessage(uint16_t flags);
  void StartCapture();
  void StopCapture();
  void RemoveIsolatedLinks();
  void CopyOrMoveWeb(bool move);
  void OpenWebPage(const std::string& relative);
  void MenuCaptureResolveLinksClick();
  void MenuHtmlPageBookmarkClick();
  // ---- command line, scheduler (Main.cpp)
  void CopyData(const QByteArray& text);
  void RunPendingArguments();
  // list: lines handed over by another instance; nullptr: the program's own.
  void HandleArguments(const StringList* list);
  void RunWebShortcut(const std::string& path);
  bool TaskStart(TTask& task);
  bool TaskEnd(TTask& task);
  // ---- geometry and the recent webs' menu (Main.cpp)
  void SaveGeometry();
  void RestoreGeometry();
  void RebuildRecentMenu();
  // ---- pages, and the handlers of the menus and the tool bar (MainViews.cpp)
  void ConnectWebCommands();
  void ConnectViewCommands();
  void ConnectBrowserAndHelp();
  void TreeTimerTimer();
  void TreeAction(controls::TWTreeNode* node);
  void OpenInBrowser(const std::string& address);
  void BrowserBtnClick();
  void BrowserPopupPopup();
  void BrowserPopupLoadClick(int tag);
  void MenuSaveProfileClick();
  void MenuHelpClick(int tag);
  void MenuWebAddBookmarkClick();
  // ---- what the window asks of its surroundings; tests replace them
  struct TAsks {
    std::function<int(QDialog&)> ExecDialog;            // a modal dialog
    std::function<bool(shell::TDlgWeb&)> RunWebDialog;  // the wizard, modal
    std::function<QString()> OpenWebFile;               // the open dialog
    std::function<bool(const std::string& address)> OpenAddress;  // the default browser; false: not shown
  } Asks;
  // ---- components, named as the form's (and by their object names)
  std::unique_ptr<shell::TMainMenus> Menus;  // the menu bar and the tool bar
  QSplitter* MainSplitter;
  QFrame* WTreeFrame;
  TWebTree* Tree;
  QFrame* RightFrame;
  shell::TUrlPage* UrlPage;  // UrlsFrame: the URL lists, the search pane, the preview
  shell::TCapturePage* CapturePage;  // CaptureFrame: the counters, the requests, the connections
  TMapEditor* MapEditor;  // MapFrame: the map page
  std::unique_ptr<shell::TStatusLine> Status;
  QTimer* TreeTimer;
  std::unique_ptr<shell::TDockedForms> Docked;  // help, scheduler, options, capture configuration
  TRas* RasEntry = nullptr;
  std::unique_ptr<TBookmarkList> Bookmarks;  // the program's bookmark list
  // ---- state
  TTask* RunningJob = nullptr;  // the scheduler job being run
  TWebTreePage PageTag{};       // the web-tree tag of the page shown
  TSetup& setup_;
  TMainWinConfig config_;
  TMainMode mode_ = mmNoWeb;
  TMainView view_ = mvNone;
  std::optional<StringList> pendingArguments_;
  QTimer* argumentsTimer_;
  std::unique_ptr<shell::TUnattended> ownUnattended_;
  std::unique_ptr<TSessionHost> sessionHost_;
  std::unique_ptr<shell::TWebSession> session_;  // the open web and the recent webs
  std::unique_ptr<TViewsHost> viewsHost_;
  std::unique_ptr<TRoadHost> roadHost_;
  std::unique_ptr<shell::TCaptureRoad> road_;  // from FormCreate to FormDestroy
};

}  // namespace qlon
