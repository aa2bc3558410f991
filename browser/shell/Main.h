#pragma once
// TMainWin: the program's only top-level window. It owns the current web
// (one open capture at a time), the web tree, the pages on its right (the
// URL page, UrlPage.h; the capture page; the map editor, MapEditor.h), the
// docked dialogs (help, scheduler, options, capture configuration) and the
// recent webs (RecentWebs.h); the capture road, the scheduler thread and
// second instances reach the user interface through it.
//
//   Main.cpp         start-up, mode and view, caption, geometry, recent webs,
//                    command line and hand-over, scheduler task start/end
//   MainWeb.cpp      new, open, save, close, reset and delete webs
//   MainCapture.cpp  the capture commands and the road's host; the run
//                    itself is the capture road (CaptureRoad.h)
//   MainViews.cpp    the page of each tree node, the menus' commands, the
//                    host of the pages, the tree and the docked forms
//
// Its public face is what the program needs: build it, show it, read its web,
// mode and page. Everything else is reached as a person reaches it, through
// the menus, the tool bar, the command line, a shortcut or the scheduler; the
// components it talks to see it through their host interfaces, answered by
// the small hosts of MainHosts.h. Tests go through one probe
// (tests/MainWinProbe.h).
//
// Re-entrancy. A capture runs inside the handler of its posted message and
// lets the event loop run between steps, so menus, the close box, handed-over
// command lines and scheduler calls arrive while the run holds the web.
// While the road runs (TCaptureRoad::Running) nothing closes, replaces or
// frees the current web: close requests are deferred to the end of the run,
// command lines and drops are ignored, scheduled steps wait for the next poll.
#include <QMainWindow>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "MainTypes.h"
#include "RecentWebs.h"
#include "Utils.h"

class QDialog;
class QFrame;
class QLabel;
class QProgressBar;
class QSplitter;
class QTimer;

namespace qlon {

class TBookmarkList;
class TDlgScheduler;
class TMapEditor;
class TRas;
class TSetup;
class TTask;
class TUrlDropTarget;
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
class TDlgSetup;
class TDlgWeb;
class TMainMenus;
class TUnattended;
class TUrlPage;
}  // namespace shell

// The capture message the window posts itself (WM_USER + 4096); wParam
// carries the capture flags.
inline constexpr unsigned kCaptureMessage = 0x0400 + 4096;

// Start-up choices; the defaults are the program's own.
struct TMainWinConfig {
  // The command line without the program (argv[1..]); unset: the
  // application's own.
  std::optional<StringList> Arguments;
  bool Splash = true;  // shown when started without arguments
  int SchedulerStartDelayMs = 5000;
  int SchedulerPollMs = 300;
};

class TMainWin : public QMainWindow {
  Q_OBJECT
 public:
  explicit TMainWin(TSetup& setup, TMainWinConfig config = {}, QWidget* parent = nullptr);
  ~TMainWin() override;

  TWeb* CurrentWeb() const { return web_.get(); }
  TMainMode Mode() const { return mode_; }
  TMainView View() const { return view_; }

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  // Tests reach the window's inside through one probe (tests/MainWinProbe.h).
  friend class test::TMainWinProbe;
  // The window as its components see it (MainHosts.h): the road's host, and
  // the host of the pages, the tree and the docked forms.
  class TRoadHost;
  class TViewsHost;

  // ---- creation and frame of state (Main.cpp)
  void BuildFrames();
  void FitDockedForms();
  void FormCreate();
  void FormDestroy();
  bool FormCloseQuery();
  void FormActivate();
  void SetMode(TMainMode mode);
  void SetView(TMainView view);
  void ShowView(TMainView view);
  void SelectTreePage(int tag);
  void RefreshState();
  // The status line's text: the page shown has the first say.
  void RefreshStatusHints();
  void UpdateCaption();
  void EnableMenus();
  // The page of the open web's folder (an index page), when it exists.
  std::optional<std::filesystem::path> WebPage(const std::string& relative) const;
  // The toolbar's main button: new web, start or stop a capture by mode.
  void DownBtnClickDispatch();
  // A capture or a search holds the current web.
  bool Busy() const;
  void CloseLater();
  // Who answers the boxes (this window's own when the program made none).
  shell::TUnattended& Unattended();

  // ---- webs (MainWeb.cpp)
  int Ask(const std::string& text, const std::string& caption);
  void NewWeb(const std::string& baseFile, const std::string& url, bool makeCurrent);
  bool OpenWeb(const std::string& path, bool keepView);
  void OpenWebFile(const std::string& path);
  void OpenRecentWeb(int index);
  // False when the web stays open (Cancel, a failed save, a running capture).
  bool CloseWeb(bool keepView);
  void DeleteWeb();
  void ResetWeb();
  void MenuWebResetClick();
  void CommitDialogs();
  void RefreshWebInfo();
  // A failure is shown, or given back in `failure` when one is given. With
  // nobody watching, the failure the road reported is not said twice (the
  // close that ends a shortcut's run saves again).
  bool SaveWeb(std::string* failure = nullptr);
  void SetCurrentWeb(std::unique_ptr<TWeb> web);
  void DetachWeb();
  // False while a run or a search holds the open web (a search is stopped).
  bool WebMayClose();
  // Opens the capture file and makes it current in place of the open web,
  // which is closed only once the file is open: a file that does not open
  // is said and the open web stays. The open web's own file leaves it as
  // it is. True when the file's web is current.
  bool ReplaceWeb(const std::string& path, bool keepView);
  bool ClearFolder(const std::string& folder);
  bool AcceptNewWebFolder(shell::TDlgWeb& dlg);

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
  // list: lines handed over by another instance; nullptr: this program's
  // own arguments.
  void HandleArguments(const StringList* list);
  void RunWebShortcut(const std::string& path);
  bool TaskStart(TTask& task);
  bool TaskEnd(TTask& task);

  // ---- geometry and recent webs (Main.cpp)
  void SaveGeometry();
  void RestoreGeometry();
  void AddRecentWeb(const std::filesystem::path& path);
  void RebuildRecentMenu();

  // ---- pages and the remaining commands (MainViews.cpp)
  // The handlers of the menus, the tool bar and the pages.
  void ConnectCommands();
  void TreeTimerTimer();
  void TreeAction(controls::TWTreeNode* node);
  void OpenInBrowser(const std::string& address);
  void BrowserBtnClick();
  void BrowserPopupPopup();
  void BrowserPopupLoadClick(int tag);
  void MenuSaveProfileClick();
  void MenuHelpClick(int tag);
  void MenuWebAddBookmarkClick();
  void MenuWebAddWebShortcutClick();
  void RasStateChange(int state);

  // ---- what the window asks of its surroundings; tests replace them
  std::function<int(QDialog&)> ExecDialog;            // a modal dialog
  std::function<bool(shell::TDlgWeb&)> RunWebDialog;  // the wizard, modal
  std::function<QString()> AskOpenWebFile;            // the open dialog
  std::function<bool(const std::string& address)> OpenAddress;  // the default browser; false: not shown

  // ---- components, named as the form's (and by their object names)
  std::unique_ptr<shell::TMainMenus> Menus;  // the menu bar and the tool bar
  QSplitter* MainSplitter;
  QFrame* WTreeFrame;
  TWebTree* Tree;
  QFrame* RightFrame;
  shell::TUrlPage* UrlPage;  // UrlsFrame: the URL lists, the search pane, the preview
  shell::TCapturePage* CapturePage;  // CaptureFrame: the counters, the requests, the connections
  TMapEditor* MapEditor;  // MapFrame: the map page
  QFrame *HelpFrame_, *SchedulerFrame, *SetupFrame, *CfgWebFrame;
  QLabel *StatusInfo1, *StatusInfo2;
  QProgressBar* StatusProgressBar;
  QTimer* TreeTimer;

  TDlgScheduler* DlgScheduler = nullptr;
  shell::TDlgSetup* DlgSetup = nullptr;
  TRas* RasEntry = nullptr;
  TUrlDropTarget* DropTarget = nullptr;
  std::unique_ptr<TBookmarkList> Bookmarks;  // the program's bookmark list
  shell::TDlgWeb* DlgWeb = nullptr;  // the capture configuration while shown

  // ---- state
  TTask* RunningJob = nullptr;  // the scheduler job being run
  TWebTreePage PageTag{};       // the web-tree tag of the page shown
  TSetup& setup_;
  TMainWinConfig config_;
  std::unique_ptr<TWeb> web_;
  TMainMode mode_ = mmNoWeb;
  TMainView view_ = mvNone;
  std::filesystem::path programFolder_;
  shell::TRecentWebs recent_;
  QSize cfgWebSize_;  // the docked capture configuration's frame on its small pages
  std::optional<StringList> pendingArguments_;
  QTimer* argumentsTimer_;
  bool destroyed_ = false;
  std::unique_ptr<shell::TUnattended> ownUnattended_;
  // The last save failure given back to the road, which reported it;
  // cleared by a save that works.
  std::string reportedSaveFailure_;
  std::unique_ptr<TViewsHost> viewsHost_;
  std::unique_ptr<TRoadHost> roadHost_;
  std::unique_ptr<shell::TCaptureRoad> road_;  // from FormCreate to FormDestroy
};

}  // namespace qlon
