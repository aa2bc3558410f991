#pragma once
// TMainMenus: the main window's menu bar and tool bar, named as the form's
// (and by their object names), with their captions and shortcuts, and the
// rules that enable them. The window connects their commands and tells,
// through TMenuState, what the menus follow.
//
// Menus: Fichier, Web, Capture, Pages, Options, Aide. The recent webs go in
// the File menu after MenuFileRecent (a separator tagged -1): items "w1" to
// "w6" tagged 1..6, captioned "&n title".
// Tool bar: NewBtn, CaptureBtn and StopBtn share one place (the mode shows
// one of them); BrowserBtn with its menu BrowserPopup, ConsulterBtn,
// PageSommaireBut; QuitButton.
#include <QStringList>
#include <functional>
#include <vector>

#include "MainTypes.h"

class QAction;
class QMainWindow;
class QMenu;
class QToolButton;

namespace qlon::shell {

// What the menus follow.
struct TMenuState {
  bool WebOpen = false;
  TMainMode Mode = mmNoWeb;
  bool ListShown = false;  // a URL list is the page shown (F5 reloads it)
  // The web's pages that exist (once its links were resolved).
  bool HomePage = false, HtmlIndex = false, ImageIndex = false;
  bool BookmarkFile = false;  // the bookmark file of the settings exists
};

class TMainMenus {
 public:
  static constexpr int kRecentShown = 6;

  explicit TMainMenus(QMainWindow& window);
  TMainMenus(const TMainMenus&) = delete;
  TMainMenus& operator=(const TMainMenus&) = delete;

  void Enable(const TMenuState& state);
  // The tool bar's main button of the mode.
  void ShowMode(TMainMode mode);
  // The first kRecentShown titles as the File menu's recent items; `open`
  // gets the index of the one chosen.
  void ShowRecent(const QStringList& titles, const std::function<void(int index)>& open);

  QMenu* MenuFile;
  QAction *MenuFileNew, *MenuFileOpen, *MenuFileSave, *MenuFileClose, *MenuFileRecent, *MenuFileExit;
  QMenu* MenuWeb;
  QAction *MenuWebReset, *MenuWebDelete, *MenuWebCopy, *MenuWebMove, *MenuWebRemoveAloneLinks;
  QAction *MenuWebAddBookmark, *MenuWebAddWebShortcut;
  QMenu* MenuCapture;
  QAction *MenuCaptureStart, *MenuCaptureStop, *MenuCaptureResolveLinks, *MenuCaptureConfig, *MenuSaveProfile;
  QMenu* MenuHtmlPage;
  QAction *MenuHTMLPageSommaire, *MenuHtmlPageHtml, *MenuHtmlPageImages, *MenuHtmlPageBookmark;
  QMenu* OptionsMenu;
  QAction *MenuConfigCfg, *OptionsMenuUpdateList, *OptionsMenuViewFrame, *OptionsMenuViewLastImage;
  QAction* KeepImageRatioCheck;
  QMenu* MenuHelp;
  QAction *MenuHelpIndex, *MenuHelpGlossary, *MenuHelpFAQ, *MenuHelpPrintAll, *MenuHelpPrintCurrentPage;
  QAction* MenuHelpAbout;

  QToolButton *NewBtn, *CaptureBtn, *StopBtn, *BrowserBtn, *ConsulterBtn, *PageSommaireBut, *QuitButton;
  QMenu* BrowserPopup;
  QAction *BrowserPopupLoadIndex, *BrowserPopupLoadSommaire, *BrowserPopupLoadBookmarks, *BrowserPopupLoadUrl,
      *BrowserPopupSelect;

 private:
  void BuildMenus(QMainWindow& window);
  void BuildToolBar(QMainWindow& window);

  std::vector<QAction*> mainButtons_;  // NewBtn, CaptureBtn, StopBtn in the tool bar, by mode
};

}  // namespace qlon::shell
