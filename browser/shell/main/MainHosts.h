#pragma once
// The main window as its components see it: small hosts that answer their
// interfaces with the window's state. Private to the window's own units
// (Main*.cpp); the methods live beside the code they serve.
#include <QObject>

#include "Bookmarks.h"
#include "CapturePage.h"
#include "CaptureRoad.h"
#include "DlgHelp.h"
#include "DlgScheduler.h"
#include "DockedForms.h"
#include "Main.h"
#include "MainMenus.h"
#include "MapEditor.h"
#include "StatusLine.h"
#include "UrlPage.h"
#include "WaitCursor.h"
#include "WebSession.h"
#include "WebTree.h"

namespace qlon {

// The host of the pages (the URL page with its commands and search pane,
// the map editor), of the web tree, of the docked help and scheduler and of
// the bookmarks; also the window's event filter for the tree frame's
// resizes (MainViews.cpp).
class TMainWin::TViewsHost : public QObject,
                             public shell::IUrlPageHost,
                             public IWebTreeHost,
                             public IMapEditorHost,
                             public IHelpHost,
                             public ISchedulerHost,
                             public IBookmarkHost {
 public:
  TViewsHost(TMainWin& win, TSetup& setup) : win_(win), setup_(setup) {}

  // IUrlPageHost
  TMainView View() override { return win_.View(); }
  TWebTreePage PageTag() override { return win_.PageTag; }
  void ShowListProgress(int position, int total) override { win_.Status->ShowListProgress(position, total); }
  void ListOrderChanged() override;
  // IUrlCommandsHost
  TSetup& Setup() override { return setup_; }
  void SearchFor(const std::string& text, int kind) override;
  void OpenInBrowser(const std::string& address) override { win_.OpenInBrowser(address); }
  void RunCapture(uint16_t flags, const std::vector<std::string>& urls) override;
  void SelectTreePage(int tag) override { win_.SelectTreePage(tag); }
  void RefreshState() override { win_.RefreshState(); }
  void NewWebFrom(const std::string& url, const std::string& user, const std::string& password) override {
    win_.session_->New({.Url = url, .User = user, .Password = password}, false);
  }
  void ShowPreview(const std::string& url, const std::string& file) override;
  void RestartPreview() override;
  void WebOptionsChanged() override;
  // ISearchHost
  TWeb* CurrentWeb() override { return win_.CurrentWeb(); }
  std::filesystem::path WorkFolder() override;
  void PostSearchStart() override;
  void RefreshStatusHints() override { win_.RefreshStatusHints(); }
  // IWebTreeHost
  void StartTreeTimer() override;
  void TreeExpandFolder(controls::TWTreeNode* folder, bool expanded) override;
  // IMapEditorHost
  std::optional<QColor> ChooseMapPenColor() override;
  // IHelpHost
  QWidget* HelpFrame() override { return win_.Docked->HelpFrame; }
  void HelpPageChanged(const QString& file) override;
  // ISchedulerHost
  void SchedulerStatusChanged(const QString& text) override;
  // IBookmarkHost
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void ShowBookmarkOptions() override { win_.SelectTreePage(tpBrowser); }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

 private:
  TMainWin& win_;
  TSetup& setup_;
};

// The host of the capture road: the questions, the state on screen and the
// lists a run fills (MainCapture.cpp).
class TMainWin::TRoadHost : public shell::ICaptureRoadHost {
 public:
  TRoadHost(TMainWin& win, TSetup& setup, IBookmarkHost& bookmarks)
      : win_(win), setup_(setup), bookmarks_(bookmarks) {}

  TWeb* CurrentWeb() override { return win_.CurrentWeb(); }
  int ExecModal(QDialog& dialog) override { return win_.Asks.ExecDialog(dialog); }
  QWidget* DialogParent() override { return &win_; }
  void SetMode(TMainMode mode) override { win_.SetMode(mode); }
  void SetView(TMainView view) override { win_.SetView(view); }
  void SelectTreePage(int tag) override { win_.SelectTreePage(tag); }
  void RefreshStatusHints() override { win_.RefreshStatusHints(); }
  void CommitDialogs() override { win_.CommitDialogs(); }
  void ResetWeb() override { win_.session_->Reset(); }
  bool SaveWeb(std::string* failure) override { return win_.session_->Save(failure); }
  void ClearRunLists() override { win_.CapturePage->ClearRunLists(); }
  void ShowRunEnd(bool scheduled) override;
  void UpdateCountLabels() override { win_.CapturePage->UpdateCountLabels(win_.CurrentWeb()); }
  void AddWebFileToLists(const TWebFile& record) override;
  void RefreshWebTree() override;
  void ShowElapsed(const std::string& text) override { win_.CapturePage->ShowElapsed(text); }
  shell::TWSocketList& Connections() override { return *win_.CapturePage->SocketList; }
  void AddBookmark() override;
  void OpenWebPage(const std::string& relative) override { win_.OpenWebPage(relative); }
  void CloseProgram() override { win_.CloseLater(); }
  TScheduler* Scheduler() override;

 private:
  TMainWin& win_;
  TSetup& setup_;
  IBookmarkHost& bookmarks_;
};

// The host of the open web's session: the pages show the web, the wizard
// and the open dialog run for it (MainWeb.cpp).
class TMainWin::TSessionHost : public shell::IWebSessionHost {
 public:
  TSessionHost(TMainWin& win, TSetup& setup) : win_(win), setup_(setup) {}

  bool Busy() override { return win_.Busy(); }
  bool WebMayClose() override;
  void DropPending() override;
  void CommitEdits() override { win_.CommitDialogs(); }
  void ShowWeb(TWeb& web) override;
  void HideWeb(bool closing) override;
  void WebClosed(bool keepView) override;
  void WebReset(TWeb& web) override;
  void WebDeleting(const TWeb& web) override;
  void RecentChanged() override { win_.RebuildRecentMenu(); }
  std::optional<shell::TNewWebChoice> AskNewWeb(
      TWeb& web, const shell::TNewWebSeed& seed,
      const std::function<bool(const std::string& folder)>& acceptFolder) override;
  std::string AskWebFile() override;
  void StartCapture() override;
  std::shared_ptr<void> Wait() override;

 private:
  TMainWin& win_;
  TSetup& setup_;
};

}  // namespace qlon
