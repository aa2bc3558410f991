// The main window's pages and what is left of its commands: the page of a
// web-tree node, the browser button and menu, the help menu, the web's
// bookmark and capture shortcut, and the dial-up state line. Also the host
// of the URL page (UrlPage.h), its commands and its search pane.
//
// Tree clicks come in bursts: each restarts the 250 ms tree timer and only
// the last one is served.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "CapturedFile.h"
#include "DlgAbout.h"
#include "DlgProfile.h"
#include "DlgRapportError.h"
#include "DlgSetup.h"
#include "DlgVignettes.h"
#include "DlgWeb.h"
#include "LocalPath.h"
#include "MainHosts.h"
#include "MenusEx.h"
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

bool TMainWin::TViewsHost::eventFilter(QObject* watched, QEvent* e) {
  if (e->type() == QEvent::Resize && watched == win_.WTreeFrame) win_.setup_.TreeFrameWidth = win_.WTreeFrame->width();
  return QObject::eventFilter(watched, e);
}

// ---------------------------------------------------------------- creation

void TMainWin::SetupViews() {
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
  twin(OptionsMenuViewFrame, UrlPage->UrlCommands->OptionsMenuViewFrame);
  twin(OptionsMenuViewLastImage, UrlPage->UrlCommands->OptionsMenuViewLastImage);
  connect(OptionsMenuViewFrame, &QAction::triggered, UrlPage, &shell::TUrlPage::OptionsMenuViewFrameClick);
  connect(OptionsMenuViewLastImage, &QAction::toggled, this, [this](bool checked) { setup_.ViewLastImageFlag = checked; });
  connect(KeepImageRatioCheck, &QAction::toggled, this, [this](bool checked) {
    setup_.KeepImageRatioFlag = checked;
    UrlPage->FitImage();
  });
  connect(OptionsMenuUpdateList, &QAction::triggered, this, [this] { UrlPage->UrlList->Reload(); });

  Tree->OnAction = [this](controls::TCustomWTree*, controls::TWTreeNode* node) { TreeAction(node); };
  if (RasEntry) connect(RasEntry, &TRas::RasStateChange, this, &TMainWin::RasStateChange);
  connect(TreeTimer, &QTimer::timeout, this, &TMainWin::TreeTimerTimer);
  WTreeFrame->installEventFilter(viewsHost_.get());

  BrowserPopupLoadIndex = BrowserPopup->addAction(Text("Page de &départ du web"));
  BrowserPopupLoadSommaire = BrowserPopup->addAction(Text("&Sommaire du web"));
  BrowserPopupLoadBookmarks = BrowserPopup->addAction(Text("&Signets..."));
  BrowserPopup->addSeparator();
  BrowserPopupLoadUrl = BrowserPopup->addAction(Text("Voir l'&URL sélectionnée"));
  BrowserPopupSelect = BrowserPopup->addAction(Text("&Choisir le navigateur..."));
  BrowserPopupLoadIndex->setObjectName("BrowserPopupLoadIndex");
  BrowserPopupLoadSommaire->setObjectName("BrowserPopupLoadSommaire");
  BrowserPopupLoadBookmarks->setObjectName("BrowserPopupLoadBookmarks");
  BrowserPopupLoadUrl->setObjectName("BrowserPopupLoadUrl");
  BrowserPopupSelect->setObjectName("BrowserPopupSelect");
  connect(BrowserPopup, &QMenu::aboutToShow, this, &TMainWin::BrowserPopupPopup);
  connect(BrowserPopupLoadIndex, &QAction::triggered, this, [this] { BrowserPopupLoadClick(0); });
  connect(BrowserPopupLoadSommaire, &QAction::triggered, this, [this] { BrowserPopupLoadClick(1); });
  connect(BrowserPopupLoadBookmarks, &QAction::triggered, this, [this] { BrowserPopupLoadClick(2); });
  connect(BrowserPopupLoadUrl, &QAction::triggered, this, [this] { UrlPage->UrlCommands->LoadUrl(); });
  connect(BrowserPopupSelect, &QAction::triggered, this, [this] { SelectTreePage(tpBrowser); });
  connect(BrowserBtn, &QToolButton::clicked, this, &TMainWin::BrowserBtnClick);
  connect(ConsulterBtn, &QToolButton::clicked, this, &TMainWin::ConsulterBtnClick);

  connect(MenuCaptureConfig, &QAction::triggered, this, [this] { SelectTreePage(tpOptions); });
  connect(MenuConfigCfg, &QAction::triggered, this, [this] { SelectTreePage(tpPreferences); });
  connect(MenuSaveProfile, &QAction::triggered, this, &TMainWin::MenuSaveProfileClick);
  connect(MenuHelpIndex, &QAction::triggered, this, [this] { MenuHelpClick(0); });
  connect(MenuHelpGlossary, &QAction::triggered, this, [this] { MenuHelpClick(1); });
  connect(MenuHelpFAQ, &QAction::triggered, this, [this] { MenuHelpClick(2); });
  connect(MenuHelpPrintAll, &QAction::triggered, this, &TMainWin::MenuHelpPrintAllClick);
  connect(MenuHelpPrintCurrentPage, &QAction::triggered, this, &TMainWin::MenuHelpPrintCurrentPageClick);
  connect(MenuHelpAbout, &QAction::triggered, this, &TMainWin::MenuHelpAboutClick);
  connect(MenuWebAddBookmark, &QAction::triggered, this, &TMainWin::MenuWebAddBookmarkClick);
  connect(MenuWebAddWebShortcut, &QAction::triggered, this, &TMainWin::MenuWebAddWebShortcutClick);
}

void TMainWin::FreeViews() {
  TreeTimer->stop();
  UrlPage->Detach();
  Tree->OnAction = nullptr;
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

void TMainWin::TreeExpandFolder(controls::TWTreeNode* folder, bool expanded) {
  if (!expanded || !folder || folder != Tree->ImagesFolder()) return;
  Tree->setEnabled(false);
  UrlPage->UrlList->SetStyle(usImages);
  Tree->FillImages(UrlPage->UrlList->List());
  Tree->setEnabled(true);
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
    BrowserPopup->popup(BrowserBtn->mapToGlobal(QPoint(0, BrowserBtn->height())));  // nothing to show: the choices
}

void TMainWin::BrowserPopupPopup() {
  const bool web = web_ != nullptr;
  BrowserPopupLoadIndex->setEnabled(web && web_->GetCount() > 0);
  BrowserPopupLoadSommaire->setEnabled(web && IsFile(web_->Path().parent_path() / "_Accueil.htm"));
  BrowserPopupLoadBookmarks->setText(QString::fromStdString(setup_.BookmarkFolder) + "...");
  BrowserPopupLoadBookmarks->setEnabled(IsFile(setup_.BookmarkFile));
  BrowserPopupSelect->setEnabled(true);
  BrowserPopupLoadUrl->setEnabled(web && UrlPage->UrlList->CurrentIndex() >= 0);
}

void TMainWin::BrowserPopupLoadClick(int tag) {
  switch (tag) {
    case 0:
      if (web_ && !web_->StartEntries.empty()) OpenInBrowser(web_->StartEntries.front().Url);
      break;
    case 1:
      if (web_) OpenInBrowser(FileUrl(web_->Path().parent_path() / "_Accueil.htm"));
      break;
    default:
      if (IsFile(setup_.BookmarkFile)) OpenInBrowser(FileUrl(setup_.BookmarkFile));
      break;
  }
}

void TMainWin::ConsulterBtnClick() { OpenWebPage("_Accueil.htm"); }

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

void TMainWin::MenuHelpPrintAllClick() {
  if (!HelpWindow()) ShowHelp(HelpTopicPage(htIndex), true);
  if (TDlgHelp* help = HelpWindow()) help->MenuAllPrintClick();
}

void TMainWin::MenuHelpPrintCurrentPageClick() {
  if (TDlgHelp* help = HelpWindow()) help->MenuPrintPageClick();
}

void TMainWin::MenuHelpAboutClick() {
  TDlgAbout dlg(this);
  ExecDialog(dlg);
}

void TMainWin::MenuWebAddBookmarkClick() {
  if (!web_) return;
  CommitDialogs();
  AddWebBookmark(*Bookmarks, setup_, *this, WebBookmarkOf(*web_));
}

void TMainWin::MenuWebAddWebShortcutClick() {
  if (!web_) return;
  CommitDialogs();
  const fs::path desktop = GetShellFolderPath("Desktop");
  if (desktop.empty() || CreateWebShortcut(desktop, web_->Path().string()).empty())
    ShowMessageBox("Impossible de créer le raccourci de capture sur le bureau.", "Raccourci de capture",
                   MB_OK | MB_ICONHAND);
}

void TMainWin::RasStateChange(int state) {
  StatusInfo1->setText(Text(TextAt(kDialStateTexts, state)));
  if (RunningJob) RunningJob->WriteJournal(jkDialState, {}, state);
}

}  // namespace qlon
