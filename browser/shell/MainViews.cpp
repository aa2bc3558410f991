// The main window's pages and what is left of its commands: the wiring of
// the menus and the tool bar, the page of a web-tree node, the browser
// button and menu, the help menu, the web's bookmark and capture shortcut,
// and the dial-up state line. Also the host (MainHosts.h) of the URL page
// with its commands and search pane, the map editor, the web tree, the
// docked help and scheduler and the bookmarks.
//
// Tree clicks come in bursts: each restarts the 250 ms tree timer and only
// the last one is served.
#include <QAction>
#include <QColorDialog>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

#include "CapturedFile.h"
#include "DlgAbout.h"
#include "DlgProfile.h"
#include "DlgRapportError.h"
#include "DlgSetup.h"
#include "DlgWeb.h"
#include "LocalPath.h"
#include "MainHosts.h"
#include "MessageBox.h"
#include "Options.h"
#include "Ras.h"
#include "Scheduler.h"
#include "Setup.h"
#include "ShellLinks.h"
#include "Texts.h"
#include "UrlCommands.h"
#include "Urlutil.h"
#include "WBrowser.h"
#include "WUrlList.h"
#include "Web.h"
#include "WebShortcut.h"
#include "WindowMessage.h"

namespace fs = std::filesystem;

namespace qlon {

using namespace platform;

namespace {

constexpr const char* kFaqPage = "faq.htm";

// The web's pages of the Pages menu, in its folder.
constexpr const char* kHomePage = kSummaryPage;
constexpr const char* kHtmlIndexPage = "Index/_ixh01.htm";
constexpr const char* kImageIndexPage = "Index/_ixi01.htm";

// The capture-configuration page of tags 10..17, and back.
constexpr int kCfgPages[] = {shell::TDlgWeb::pgUrl,     shell::TDlgWeb::pgPath,    shell::TDlgWeb::pgProfile,
                             shell::TDlgWeb::pgExplore, shell::TDlgWeb::pgFilters, shell::TDlgWeb::pgMime,
                             shell::TDlgWeb::pgLimits,  shell::TDlgWeb::pgOther};
int CfgTagOfPage(int page) {
  for (int i = 0; i < int(std::size(kCfgPages)); ++i)
    if (kCfgPages[i] == page) return tpOptions + i;
  return tpOptions;
}

TWUrlListStyle StyleOfTag(int tag) {
  switch (tag) {
    case tpImages:
      return usImages;
    case tpSounds:
      return usSound;
    case tpVideos:
      return usVideo;
    case tpOthers:
      return usFile;
    case tpFiltered:
      return usFiltered;
    case tpErrors:
      return usErrors;
    default:
      return usHtml;
  }
}

QString Text(std::string_view utf8) { return QString::fromUtf8(utf8.data(), qsizetype(utf8.size())); }

std::string FileUrl(const fs::path& path) { return PathToFileUrl(path.string()); }

bool IsFile(const fs::path& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

}  // namespace

// ---------------------------------------------------------------- the pages' host

void TMainWin::TViewsHost::ShowListProgress(int position, int total) {
  QProgressBar* bar = win_.StatusProgressBar;
  if (position < 0) {
    bar->hide();
    return;
  }
  if (position == 0) {
    win_.StatusInfo2->setMinimumWidth(200);
    bar->setRange(0, std::max(total, 1));
    bar->show();
    // Laid out now: the events that would do it wait until the list is full.
    win_.statusBar()->layout()->activate();
  }
  bar->setValue(std::min(position, bar->maximum()));
  // Painted now: running the event loop here would let another page
  // change refill the list in the middle of this fill.
  win_.statusBar()->repaint();
}

void TMainWin::TViewsHost::ListOrderChanged() {
  if (controls::TWTreeNode* images = win_.Tree->ImagesFolder(); images && images->GetExpanded())
    win_.Tree->FillImages(win_.UrlPage->UrlList->List());
}

void TMainWin::TViewsHost::SearchFor(const std::string& text, int kind) {
  win_.UrlPage->SearchPanel->SearchFor(QString::fromStdString(text), kind);
}

void TMainWin::TViewsHost::RunCapture(uint16_t flags, const std::vector<std::string>& urls) {
  win_.road_->Run(flags, &urls, true);
}

void TMainWin::TViewsHost::ShowPreview(const std::string& url, const std::string& file) {
  win_.UrlPage->ShowPreview(url, file);
}

void TMainWin::TViewsHost::RestartPreview() { win_.UrlPage->RestartPreview(); }

void TMainWin::TViewsHost::WebOptionsChanged() {
  if (win_.DlgWeb && win_.web_ && win_.DlgWeb->Web() == win_.web_.get()) win_.DlgWeb->LoadWeb(win_.web_.get());
}

fs::path TMainWin::TViewsHost::WorkFolder() { return win_.setup_.WorkPath; }

void TMainWin::TViewsHost::PostSearchStart() {
  PostMessage(&win_, shell::TSearchPane::kSearchStartMessage, 0, 0);
}

void TMainWin::TViewsHost::StartTreeTimer() {
  win_.TreeTimer->stop();
  win_.TreeTimer->start();
}

void TMainWin::TViewsHost::TreeExpandFolder(controls::TWTreeNode* folder, bool expanded) {
  TWebTree& tree = *win_.Tree;
  if (!expanded || !folder || folder != tree.ImagesFolder()) return;
  tree.setEnabled(false);
  win_.UrlPage->UrlList->SetStyle(usImages);
  tree.FillImages(win_.UrlPage->UrlList->List());
  tree.setEnabled(true);
}

std::optional<QColor> TMainWin::TViewsHost::ChooseMapPenColor() {
  QColorDialog dlg(Qt::red, &win_);
  if (win_.ExecDialog(dlg) != QDialog::Accepted) return std::nullopt;
  return dlg.currentColor();
}

void TMainWin::TViewsHost::HelpPageChanged(const QString& file) { win_.Tree->FindHelpPage(file.toStdString()); }

void TMainWin::TViewsHost::SchedulerStatusChanged(const QString& text) { win_.StatusInfo2->setText(text); }

bool TMainWin::TViewsHost::AskYesNo(const std::string& text, const std::string& caption) {
  return ShowMessageBox(text, caption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

bool TMainWin::TViewsHost::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::Resize && watched == win_.WTreeFrame)
    win_.setup_.TreeFrameWidth = win_.WTreeFrame->width();
  return QObject::eventFilter(watched, e);
}

// ---------------------------------------------------------------- creation

void TMainWin::ConnectCommands() {
  const shell::TMainMenus& m = *Menus;
  connect(m.MenuFileNew, &QAction::triggered, this, [this] {
    if (CloseWeb(false)) NewWeb("", "", true);
  });
  connect(m.MenuFileOpen, &QAction::triggered, this, [this] { OpenWeb("", false); });
  connect(m.MenuFileSave, &QAction::triggered, this, [this] {
    CommitDialogs();
    SaveWeb();
  });
  connect(m.MenuFileClose, &QAction::triggered, this, [this] { CloseWeb(false); });
  connect(m.MenuFileExit, &QAction::triggered, this, &QWidget::close);
  connect(m.MenuWebReset, &QAction::triggered, this, &TMainWin::MenuWebResetClick);
  connect(m.MenuWebDelete, &QAction::triggered, this, &TMainWin::DeleteWeb);
  connect(m.MenuWebCopy, &QAction::triggered, this, [this] { CopyOrMoveWeb(false); });
  connect(m.MenuWebMove, &QAction::triggered, this, [this] { CopyOrMoveWeb(true); });
  connect(m.MenuWebRemoveAloneLinks, &QAction::triggered, this, &TMainWin::RemoveIsolatedLinks);
  connect(m.MenuCaptureStart, &QAction::triggered, this, &TMainWin::StartCapture);
  connect(m.MenuCaptureStop, &QAction::triggered, this, &TMainWin::StopCapture);
  connect(m.MenuCaptureResolveLinks, &QAction::triggered, this, &TMainWin::MenuCaptureResolveLinksClick);
  connect(m.MenuHTMLPageSommaire, &QAction::triggered, this, [this] { OpenWebPage(kHomePage); });
  connect(m.MenuHtmlPageHtml, &QAction::triggered, this, [this] { OpenWebPage(kHtmlIndexPage); });
  connect(m.MenuHtmlPageImages, &QAction::triggered, this, [this] { OpenWebPage(kImageIndexPage); });
  connect(m.MenuHtmlPageBookmark, &QAction::triggered, this, &TMainWin::MenuHtmlPageBookmarkClick);
  // Pages made since the state was last refreshed (a link resolution) count.
  connect(m.MenuHtmlPage, &QMenu::aboutToShow, this, &TMainWin::EnableMenus);

  connect(m.PageSommaireBut, &QToolButton::clicked, this, [this] { OpenWebPage(kHomePage); });
  connect(m.QuitButton, &QToolButton::clicked, this, &QWidget::close);
  // The toolbar's main button: new web, start or stop a capture by mode.
  for (QToolButton* b : {m.NewBtn, m.CaptureBtn, m.StopBtn})
    connect(b, &QToolButton::clicked, this, &TMainWin::DownBtnClickDispatch);

  OpenAddress = ShowInBrowser;
  UrlPage->UrlCommands->RunErrorReport = [this](TWeb& web) {
    shell::TDlgRapportError dlg(&web, this);
    return ExecDialog(dlg) == QDialog::Accepted;
  };

  // The view checks live in the Options menu and in the URL list's own
  // options menu: one state for both, kept in the settings as it changes.
  auto twin = [](QAction* a, QAction* b) {
    QObject::connect(a, &QAction::toggled, b, &QAction::setChecked);
    QObject::connect(b, &QAction::toggled, a, &QAction::setChecked);
  };
  twin(m.OptionsMenuViewFrame, UrlPage->UrlCommands->OptionsMenuViewFrame);
  twin(m.OptionsMenuViewLastImage, UrlPage->UrlCommands->OptionsMenuViewLastImage);
  connect(m.OptionsMenuViewFrame, &QAction::triggered, UrlPage, &shell::TUrlPage::OptionsMenuViewFrameClick);
  connect(m.OptionsMenuViewLastImage, &QAction::toggled, this,
          [this](bool checked) { setup_.ViewLastImageFlag = checked; });
  connect(m.KeepImageRatioCheck, &QAction::toggled, this, [this](bool checked) {
    setup_.KeepImageRatioFlag = checked;
    UrlPage->FitImage();
  });
  connect(m.OptionsMenuUpdateList, &QAction::triggered, this, [this] { UrlPage->UrlList->Reload(); });

  Tree->OnAction = [this](controls::TCustomWTree*, controls::TWTreeNode* node) { TreeAction(node); };
  if (RasEntry) connect(RasEntry, &TRas::RasStateChange, this, &TMainWin::RasStateChange);
  connect(TreeTimer, &QTimer::timeout, this, &TMainWin::TreeTimerTimer);
  WTreeFrame->installEventFilter(viewsHost_.get());

  connect(m.BrowserPopup, &QMenu::aboutToShow, this, &TMainWin::BrowserPopupPopup);
  connect(m.BrowserPopupLoadIndex, &QAction::triggered, this, [this] { BrowserPopupLoadClick(0); });
  connect(m.BrowserPopupLoadSommaire, &QAction::triggered, this, [this] { BrowserPopupLoadClick(1); });
  connect(m.BrowserPopupLoadBookmarks, &QAction::triggered, this, [this] { BrowserPopupLoadClick(2); });
  connect(m.BrowserPopupLoadUrl, &QAction::triggered, this, [this] { UrlPage->UrlCommands->LoadUrl(); });
  connect(m.BrowserPopupSelect, &QAction::triggered, this, [this] { SelectTreePage(tpBrowser); });
  connect(m.BrowserBtn, &QToolButton::clicked, this, &TMainWin::BrowserBtnClick);
  connect(m.ConsulterBtn, &QToolButton::clicked, this, [this] { OpenWebPage(kHomePage); });

  connect(m.MenuCaptureConfig, &QAction::triggered, this, [this] { SelectTreePage(tpOptions); });
  connect(m.MenuConfigCfg, &QAction::triggered, this, [this] { SelectTreePage(tpPreferences); });
  connect(m.MenuSaveProfile, &QAction::triggered, this, &TMainWin::MenuSaveProfileClick);
  connect(m.MenuHelpIndex, &QAction::triggered, this, [this] { MenuHelpClick(0); });
  connect(m.MenuHelpGlossary, &QAction::triggered, this, [this] { MenuHelpClick(1); });
  connect(m.MenuHelpFAQ, &QAction::triggered, this, [this] { MenuHelpClick(2); });
  connect(m.MenuHelpPrintAll, &QAction::triggered, this, [] {
    // The help window is made when missing.
    if (!HelpWindow()) ShowHelp(HelpTopicPage(htIndex), true);
    if (TDlgHelp* help = HelpWindow()) help->MenuAllPrintClick();
  });
  connect(m.MenuHelpPrintCurrentPage, &QAction::triggered, this, [] {
    if (TDlgHelp* help = HelpWindow()) help->MenuPrintPageClick();
  });
  connect(m.MenuHelpAbout, &QAction::triggered, this, [this] {
    TDlgAbout dlg(this);
    ExecDialog(dlg);
  });
  connect(m.MenuWebAddBookmark, &QAction::triggered, this, &TMainWin::MenuWebAddBookmarkClick);
  connect(m.MenuWebAddWebShortcut, &QAction::triggered, this, &TMainWin::MenuWebAddWebShortcutClick);
}

void TMainWin::EnableMenus() {
  std::error_code ec;
  Menus->Enable({.WebOpen = web_ != nullptr,
                 .Mode = mode_,
                 .ListShown = view_ == mvUrls || view_ == mvSearch,
                 .HomePage = WebPage(kHomePage).has_value(),
                 .HtmlIndex = WebPage(kHtmlIndexPage).has_value(),
                 .ImageIndex = WebPage(kImageIndexPage).has_value(),
                 .BookmarkFile = fs::is_regular_file(setup_.BookmarkFile, ec)});
}

// ---------------------------------------------------------------- web-tree pages

void TMainWin::TreeTimerTimer() {
  TreeTimer->stop();
  if (DlgSetup) DlgSetup->StorePages();
  CommitDialogs();
  controls::TWTreeNode* node = Tree->GetSelectedNode();
  PageTag = TWebTreePage(Tree->GetPage());
  const int tag = PageTag;
  if (tag != tpSearch && !UrlPage->SearchPanel->isHidden()) UrlPage->SearchPanel->ShowPane(false);

  if (tag >= shell::TDlgSetup::kFirstTag && tag <= shell::TDlgSetup::kLastTag) {
    if (DlgSetup) DlgSetup->SelectPage(tag);
    SetView(mvSetup);
  } else if (tag >= tpOptions && tag < tpWeb) {
    if (!DlgWeb && web_) {
      DlgWeb = new shell::TDlgWeb(setup_, CfgWebFrame);
      DlgWeb->SetDocked(true, CfgWebFrame, alClient);
      DlgWeb->LoadWeb(web_.get());
      // As in the wizard: the edits are the web's, then the capture starts
      // on its queue (a run already going keeps the web).
      DlgWeb->OnStartCapture = [this] {
        if (web_ && !Busy()) PostCapture(kCaptureMissing);
      };
    }
    // Filters and file types need the room; the other pages keep the
    // dialog's own size at the top left.
    auto* grid = static_cast<QGridLayout*>(RightFrame->layout());
    if (tag == tpFilters || tag == tpFileTypes) {
      CfgWebFrame->setMinimumSize(cfgWebSize_);
      CfgWebFrame->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
      grid->setAlignment(CfgWebFrame, {});
    } else {
      CfgWebFrame->setFixedSize(cfgWebSize_);
      grid->setAlignment(CfgWebFrame, Qt::AlignLeft | Qt::AlignTop);
    }
    SetView(mvWebConfig);
    if (DlgWeb) {
      DlgWeb->GoToPage(kCfgPages[tag - tpOptions]);
      // The address page may refuse to be left: the tree follows the dialog.
      const int shown = CfgTagOfPage(DlgWeb->CurrentPage());
      if (shown != tag) {
        Tree->SelectPage(shown);
        PageTag = TWebTreePage(shown);
      }
    }
  } else if (tag == tpWeb || tag == tpWebRunning) {
    SetView(mvCapture);
  } else if (tag >= tpPages && tag <= tpErrors) {
    UrlPage->ReleasePreview();
    UrlPage->UrlList->SetStyle(StyleOfTag(tag));
    SetView(mvUrls);
    UrlPage->SetupUrlPage();
  } else if (tag == tpImage) {
    SetView(mvPicture);
    UrlPage->SetupUrlPage();
    if (auto* image = dynamic_cast<TImageNode*>(node); image && web_)
      if (const auto path = LocalNameToPath(web_->Path().parent_path(), image->LocalName))
        UrlPage->ShowPreview({}, path->string());
  } else if (tag == tpMaps) {
    SetView(mvMap);
    MapEditor->ShowMapPage(true);
  } else if (tag == tpMap) {
    SetView(mvMap);
    MapEditor->ShowMapPage(false);
    if (auto* map = dynamic_cast<TMapNode*>(node)) MapEditor->SelectMap(map->MapIndex);
  } else if (tag == tpSearch) {
    SetView(mvSearch);
  } else if (tag == tpHelp || tag == tpHelpPage) {
    SetView(mvHelp);
    if (auto* page = dynamic_cast<THtmlNode*>(node); page && tag == tpHelpPage)
      ShowHelp(QString::fromStdString(page->FileName), true);
  } else if (tag == tpScheduler) {
    SetView(mvScheduler);
  }
  RefreshStatusHints();
  if (UrlPage->UrlCommands) UrlPage->UrlCommands->RefreshPopups();
  EnableMenus();
}

void TMainWin::TreeAction(controls::TWTreeNode* node) {
  if (auto* image = dynamic_cast<TImageNode*>(node); image && web_) {
    if (const auto path = LocalNameToPath(web_->Path().parent_path(), image->LocalName); path && IsFile(*path))
      shell::OpenCapturedFile(*path);
  } else if (auto* page = dynamic_cast<THtmlNode*>(node); page && page->tag == tpHelpPage) {
    const std::string& name = page->FileName;
    OpenInBrowser(name.find("://") != std::string::npos ? name : FileUrl(name));
  }
}

// ---------------------------------------------------------------- browser and commands

void TMainWin::OpenInBrowser(const std::string& address) {
  if (!address.empty() && OpenAddress) OpenAddress(address);
}

void TMainWin::BrowserBtnClick() {
  TWebFile record(web_.get());
  if (web_ && UrlPage->UrlList->CurrentRecord(record))
    OpenInBrowser(record.FullUrl);
  else
    // Nothing to show: the choices.
    Menus->BrowserPopup->popup(Menus->BrowserBtn->mapToGlobal(QPoint(0, Menus->BrowserBtn->height())));
}

void TMainWin::BrowserPopupPopup() {
  const bool web = web_ != nullptr;
  Menus->BrowserPopupLoadIndex->setEnabled(web && web_->GetCount() > 0);
  Menus->BrowserPopupLoadSommaire->setEnabled(web && IsFile(web_->Path().parent_path() / kHomePage));
  // The folder's name is shown as it is: an ampersand in it marks no letter.
  Menus->BrowserPopupLoadBookmarks->setText(QString::fromStdString(setup_.BookmarkFolder).replace('&', "&&") + "...");
  Menus->BrowserPopupLoadBookmarks->setEnabled(IsFile(setup_.BookmarkFile));
  Menus->BrowserPopupSelect->setEnabled(true);
  Menus->BrowserPopupLoadUrl->setEnabled(web && UrlPage->UrlList->CurrentIndex() >= 0);
}

void TMainWin::BrowserPopupLoadClick(int tag) {
  switch (tag) {
    case 0:
      if (web_ && !web_->StartEntries.empty()) OpenInBrowser(web_->StartEntries.front().Url);
      break;
    case 1:
      if (web_) OpenInBrowser(FileUrl(web_->Path().parent_path() / kHomePage));
      break;
    default:
      if (IsFile(setup_.BookmarkFile)) OpenInBrowser(FileUrl(setup_.BookmarkFile));
      break;
  }
}

void TMainWin::MenuSaveProfileClick() {
  if (!web_ || !setup_.Profiles) return;
  CommitDialogs();
  shell::TDlgProfileList dlg(*setup_.Profiles, web_->Options, this);
  ExecDialog(dlg);
}

void TMainWin::MenuHelpClick(int tag) {
  if (tag == 2) {
    OpenInBrowser(std::string("http://") + TDlgHelp::kMakerHost + "/" + kFaqPage);
    return;
  }
  ShowHelp(HelpTopicPage(tag == 0 ? htIndex : htGlossary), true);
  Tree->SelectPage(tpHelp);
  PageTag = tpHelp;
  SetView(mvHelp);
}

void TMainWin::MenuWebAddBookmarkClick() {
  if (!web_) return;
  CommitDialogs();
  AddWebBookmark(*Bookmarks, setup_, *viewsHost_, WebBookmarkOf(*web_));
}

void TMainWin::MenuWebAddWebShortcutClick() {
  if (!web_) return;
  CommitDialogs();
  const fs::path desktop = GetShellFolderPath("Desktop");
  const std::string made = desktop.empty() ? std::string() : CreateWebShortcut(desktop, web_->Path().string());
  if (made.empty()) {
    ShowMessageBox("Impossible de créer le raccourci de capture sur le bureau.", "Raccourci de capture",
                   MB_OK | MB_ICONHAND);
    return;
  }
  // The file gets a generic name: the user has to know where to find it.
  ShowMessageBox("Le raccourci de capture a été créé sur le bureau :\n" + made, "Raccourci de capture",
                 MB_OK | MB_ICONINFORMATION);
}

void TMainWin::RasStateChange(int state) {
  StatusInfo1->setText(Text(TextAt(kDialStateTexts, state)));
  if (RunningJob) RunningJob->WriteJournal(jkDialState, {}, state);
}

}  // namespace qlon
