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
//   MainCapture.cpp  the capture commands and what a run shows; the run
//                    itself is the capture road (CaptureRoad.h)
//   MainViews.cpp    the page of each tree node, the other menus, the host
//                    of the URL page
//
// Its public face is what the program needs: build it, show it, read its web,
// mode and page. Everything else is reached as a person reaches it, through
// the menus, the tool bar, the command line, a shortcut or the scheduler; the
// components it talks to see it through their host interfaces, privately
// implemented here. Tests go through one probe (tests/MainWinProbe.h).
//
// Mode (TMainMode): no web, a web open, a capture or dial-up job running.
//
// Re-entrancy. A capture runs inside the handler of its posted message and
// lets the event loop run between steps, so menus, the close box, handed-over
// command lines and scheduler calls arrive while the run holds the web.
// While the road runs (TCaptureRoad::Running) nothing closes, replaces or
// frees the current web: close requests are deferred to the end of the run,
// command lines and drops are ignored, scheduled steps wait for the next poll.
#include <QMainWindow>
#include <QStringList>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Bookmarks.h"
#include "CaptureRoad.h"
#include "DlgHelp.h"
#include "DlgScheduler.h"
#include "MainTypes.h"
#include "MainMenus.h"
#include "MapEditor.h"
#include "RecentWebs.h"
#include "Utils.h"
#include "WaitCursor.h"
#include "WebTree.h"

class QDialog;
class QFrame;
class QLabel;
class QProgressBar;
class QSplitter;
class QTimer;

namespace qlon {

class TRas;
class TSetup;
class TTask;
class TUrlDropTarget;
class TWUrlList;
class TWeb;
class TWebFile;
namespace test {
class TMainWinProbe;
}
namespace shell {
class TCapturePage;
class TDlgSetup;
class TDlgWeb;
class TUnattended;
class TUrlPage;
class TWSocketList;
}

// The capture message the window posts itself (WM_USER + 4096); wParam
// carries the capture flags.
inline constexpr unsigned kCaptureMessage = 0x0400 + 4096;
inline constexpr int kMinTrackWidth = 640;
inline constexpr int kMinTrackHeight = 460;
inline constexpr int kMinTreeWidth = 170;

// Start-up choices; the defaults are the program's own.
struct TMainWinConfig {
  // The command line without the program (argv[1..]); unset: the
  // application's own.
  std::optional<StringList> Arguments;
  bool Splash = true;  // shown when started without arguments
  int SchedulerStartDelayMs = 5000;
  int SchedulerPollMs = 300;
};

class TMainWin : public QMainWindow,
                 private shell::ICaptureRoadHost,
                 private IWebTreeHost,
                 private IHelpHost,
                 private ISchedulerHost,
                 private IBookmarkHost,
                 private IMapEditorHost {
  Q_OBJECT
 public:
  explicit TMainWin(TSetup& setup, TMainWinConfig config = {}, QWidget* parent = nullptr);
  ~TMainWin() override;

  TWeb* CurrentWeb() const { return web_.get(); }
  TWeb* CurrentWeb() override { return web_.get(); }
  TMainMode Mode() const { return mode_; }
  TMainView View() const { return view_; }

 protected:
  bool event(QEvent* e) override;
  void closeEvent(QCloseEvent* e) override;
  void showEvent(QShowEvent* e) override;

 private:
  // Tests reach the window's inside through one probe (tests/MainWinProbe.h).
  friend class test::TMainWinProbe;

  // ---- creation and frame of state (Main.cpp)
  void buildFrames();
  // The docked forms' frames sized to what the forms need in this font, and
  // the window's least size to the largest of them.
  void FitDockedForms();
  void FormCreate();
  void FormDestroy();
  bool FormCloseQuery();
  void FormActivate();
  void SetMode(TMainMode mode) override;
  void SetView(TMainView view) override;
  void ShowView(TMainView view);
  void SelectTreePage(int tag) override;
  void RefreshState() override;
  void RefreshStatusHints() override;
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
  void ResetWeb() override;
  void MenuWebResetClick();
  void CommitDialogs() override;
  void RefreshWebInfo();
  bool SaveWeb() override;
  void SetCurrentWeb(std::unique_ptr<TWeb> web);
  void DetachWeb();
  void LoadWebInto(std::unique_ptr<TWeb> web, const std::string& path);
  // Offers to empty a folder that is not empty; true when it is empty (or
  // missing) afterwards.
  bool ClearFolder(const std::string& folder);
  // Whether the wizard's destination may receive a new web: never a folder
  // the program or the user lives in, nor one that holds another web or
  // files the user keeps (after the offer to empty it). When refused the
  // wizard shows why, on its destination page.
  bool AcceptNewWebFolder(shell::TDlgWeb& dlg);

  // ---- capture commands, and what a run shows (MainCapture.cpp)
  void PostCapture(uint16_t flags);
  void CaptureMessage(uint16_t flags);
  void StartCapture();
  void StopCapture();
  void RemoveIsolatedLinks();
  void CopyOrMoveWeb(bool move);
  void OpenWebPage(const std::string& relative) override;
  void MenuCaptureResolveLinksClick();
  void MenuHtmlPageBookmarkClick();
  int ExecModal(QDialog& dialog) override;
  QWidget* DialogParent() override;
  void ClearRunLists() override;
  void ShowRunEnd(bool scheduled) override;
  void UpdateCountLabels() override;
  void AddWebFileToLists(const TWebFile& record) override;
  void RefreshWebTree() override;
  void ShowElapsed(const std::string& text) override;
  shell::TWSocketList& Connections() override;
  void AddBookmark() override;
  void CloseProgram() override;
  TScheduler* Scheduler() override;

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
  void RemoveRecentWeb(const std::string& path);
  void RebuildRecentMenu();

  // ---- the other hosts (Main.cpp)
  void StartTreeTimer() override;
  void TreeExpandFolder(controls::TWTreeNode* folder, bool expanded) override;
  QWidget* HelpFrame() override;
  void HelpPageChanged(const QString& file) override;
  void SchedulerStatusChanged(const QString& text) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowBookmarkOptions() override;
  std::optional<QColor> ChooseMapPenColor() override;

  // ---- pages and the remaining commands (MainViews.cpp)
  // The handlers of the menus, the tool bar and the pages; freeing at
  // destruction.
  void ConnectCommands();
  void FreeViews();
  void TreeTimerTimer();
  void TreeAction(controls::TWTreeNode* node);
  void OpenInBrowser(const std::string& address);
  void BrowserBtnClick();
  void BrowserPopupPopup();
  void BrowserPopupLoadClick(int tag);
  void ConsulterBtnClick();
  void MenuSaveProfileClick();
  void MenuHelpClick(int tag);
  void MenuHelpPrintAllClick();
  void MenuHelpPrintCurrentPageClick();
  void MenuHelpAboutClick();
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
  TMapEditor* MapEditor;  // the map page, MapFrame
  QWidget* MapFrame;
  TWUrlList* MapList;      // the map editor's
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
  TWebTreePage PageTag{};  // the web-tree tag of the page shown

  // The window as its components see it (MainHosts.h).
  class TViewsHost;
  std::unique_ptr<TViewsHost> viewsHost_;
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
  std::unique_ptr<shell::TCaptureRoad> road_;  // from FormCreate to FormDestroy
};

}  // namespace qlon
