// The main window's pages and what is left of its commands: the page of a
// web-tree node, the preview of the URL list's current row, the action
// buttons over the list, the browser button and menu, the help menu, the
// web's bookmark and capture shortcut, and the dial-up state line. Also the
// wiring of the map editor, the search pane and the URL commands.
//
// Tree clicks and row previews come in bursts: each restarts its 250 ms
// timer and only the last one is served.
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
#include "Main.h"
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

namespace fs = std::filesystem;

namespace qlon {

using namespace platform;

namespace {

constexpr const char* kFaqPage = "faq.htm";
constexpr int kMinPreviewHeight = 80;

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

// What the URL commands ask of the window, and the window's event filter
// for the URL page: frame resizes, the action buttons' hover, clicks on the
// preview.
class TMainWin::TViewsHost : public QObject, public IUrlCommandsHost {
 public:
  explicit TViewsHost(TMainWin& win) : win_(win) {}

  TSetup& Setup() override { return win_.Setup(); }
  void SearchFor(const std::string& text, int kind) override {
    win_.SearchFor(QString::fromStdString(text), kind);
  }
  void OpenInBrowser(const std::string& address) override { win_.OpenInBrowser(address); }
  void RunCapture(uint16_t flags, const std::vector<std::string>& urls) override {
    win_.road_->Run(flags, &urls, true);
  }
  void SelectTreePage(int tag) override { win_.SelectTreePage(tag); }
  void RefreshState() override { win_.RefreshState(); }
  bool AcceptNewWebFolder(shell::TDlgWeb& dlg) override { return win_.AcceptNewWebFolder(dlg); }
  void AddRecentWeb(const fs::path& file) override { win_.AddRecentWeb(file); }
  void ShowPreview(const std::string& url, const std::string& file) override { win_.ShowPreview(url, file); }
  void RestartPreview() override {
    win_.ShownUrl.clear();
    win_.ShownFile.clear();
    TWebFile record(win_.CurrentWeb());
    if (win_.UrlList->CurrentRecord(record)) win_.ShowPreview(record.FullUrl, {});
  }
  void WebOptionsChanged() override {
    if (win_.DlgWeb && win_.CurrentWeb() && win_.DlgWeb->Web() == win_.CurrentWeb())
      win_.DlgWeb->LoadWeb(win_.CurrentWeb());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* e) override {
    switch (e->type()) {
      case QEvent::Resize:
        if (watched == win_.ImageWallFrame) win_.FitImage();
        if (watched == win_.WTreeFrame) win_.Setup().TreeFrameWidth = win_.WTreeFrame->width();
        break;
      case QEvent::Enter:
        if (auto* b = qobject_cast<QToolButton*>(watched)) win_.ActionBtnEnter(b);
        break;
      case QEvent::MouseButtonDblClick:
        if (watched == win_.Image) {
          TWebFile record(win_.CurrentWeb());
          if (win_.CurrentWeb() && win_.UrlList->CurrentRecord(record)) win_.UrlListWebFileDblClick(record);
          return true;
        }
        break;
      case QEvent::MouseButtonPress:
        if (watched == win_.VignetteImage && win_.UrlCommands) {
          win_.UrlCommands->LoadUrl();
          return true;
        }
        break;
      default:
        break;
    }
    return QObject::eventFilter(watched, e);
  }

 private:
  TMainWin& win_;
};

void TMainWin::TViewsHostDelete::operator()(TViewsHost* host) const { delete host; }

// ---------------------------------------------------------------- creation

void TMainWin::SetupViews() {
  viewsHost_.reset(new TViewsHost(*this));
  TViewsHost& host = *viewsHost_;
  OpenAddress = ShowInBrowser;

  UrlCommands = std::make_unique<TUrlCommands>(*UrlList, host, this);
  UrlCommands->AttachToList();
  UrlCommands->RunErrorReport = [this](TWeb& web) {
    shell::TDlgRapportError dlg(&web, this);
    return ExecDialog(dlg) == QDialog::Accepted;
  };
  MarquageButton->setMenu(UrlCommands->MarquagePopup.get());
  UrlOptionsBtn->setMenu(UrlCommands->UrlOptionsPopup.get());
  for (QWidget* w : {static_cast<QWidget*>(UrlTopFrame), static_cast<QWidget*>(ImageFrame)}) {
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(w, &QWidget::customContextMenuRequested, this,
            [this, w](const QPoint& at) {
              if (UrlCommands) UrlCommands->UrlOptionsPopup->popup(w->mapToGlobal(at));
            });
  }
  UrlActionBtn->setMenu(UrlCommands->UrlPopup.get());
  PageActionBtn->setMenu(UrlCommands->PagePopup.get());
  ImageActionBtn->setMenu(UrlCommands->ImagePopup.get());
  for (QToolButton* b : {UrlActionBtn, PageActionBtn, ImageActionBtn}) b->installEventFilter(&host);

  // The view checks live in the Options menu and in the URL list's own
  // options menu: one state for both.
  auto twin = [](QAction* a, QAction* b) {
    QObject::connect(a, &QAction::toggled, b, &QAction::setChecked);
    QObject::connect(b, &QAction::toggled, a, &QAction::setChecked);
  };
  twin(OptionsMenuViewFrame, UrlCommands->OptionsMenuViewFrame);
  twin(OptionsMenuViewLastImage, UrlCommands->OptionsMenuViewLastImage);
  connect(OptionsMenuViewFrame, &QAction::triggered, this, &TMainWin::OptionsMenuViewFrameClick);
  connect(UrlCommands->OptionsMenuViewFrame, &QAction::triggered, this, &TMainWin::OptionsMenuViewFrameClick);
  connect(OptionsMenuViewLastImage, &QAction::triggered, this, &TMainWin::OptionsMenuViewLastImageClick);
  connect(UrlCommands->OptionsMenuViewLastImage, &QAction::triggered, this,
          &TMainWin::OptionsMenuViewLastImageClick);
  connect(OptionsMenuUpdateList, &QAction::triggered, this, &TMainWin::OptionsMenuUpdateListClick);
  connect(KeepImageRatioCheck, &QAction::triggered, this, &TMainWin::FitImage);

  UrlList->OnWebFileClick = [this](TWUrlList*, TWebFile& record) { UrlListWebFileClick(record); };
  UrlList->OnWebFileDblClick = [this](TWUrlList*, TWebFile& record) { UrlListWebFileDblClick(record); };
  UrlList->OnStyleChanging = [this](TWUrlList*, TWUrlListStyle style) { UrlListStyleChanging(style); };
  UrlList->OnSortChange = [this](TWUrlList*) { UrlListSortChange(); };
  UrlList->Onchange = [this](TWUrlList*) {
    UrlListSortChange();
    if (PageTag >= tpPages && PageTag <= tpImage) RefreshStatusHints();
  };
  UrlList->OnProgress = [this](TWUrlList*, int position, int total) { UrlListProgress(position, total); };
  Tree->OnAction = [this](controls::TCustomWTree*, controls::TWTreeNode* node) { TreeAction(node); };
  if (RasEntry) connect(RasEntry, &TRas::RasStateChange, this, &TMainWin::RasStateChange);
  connect(TreeTimer, &QTimer::timeout, this, &TMainWin::TreeTimerTimer);
  connect(ViewTimer, &QTimer::timeout, this, &TMainWin::ViewTimerTimer);

  // The picture is placed by FitImage, not by a layout.
  delete ImageWallFrame->layout();
  Image->setParent(ImageWallFrame);
  ImageWallFrame->installEventFilter(&host);
  WTreeFrame->installEventFilter(&host);
  Image->installEventFilter(&host);
  VignetteImage->installEventFilter(&host);
  VignetteImage->setAlignment(Qt::AlignCenter);
  VignetteImage->setCursor(Qt::PointingHandCursor);

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
  connect(BrowserPopupLoadUrl, &QAction::triggered, this, [this] { UrlCommands->LoadUrl(); });
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
  ViewTimer->stop();
  // The list keeps pointers to the menus and calls back into the window.
  for (int s = usHtml; s <= usFiltered; ++s) UrlList->SetStylePopup(TWUrlListStyle(s), nullptr);
  for (QToolButton* b : {UrlActionBtn, PageActionBtn, ImageActionBtn, MarquageButton, UrlOptionsBtn})
    b->setMenu(nullptr);
  UrlList->OnWebFileClick = UrlList->OnWebFileDblClick = nullptr;
  UrlList->OnStyleChanging = nullptr;
  UrlList->OnSortChange = UrlList->Onchange = nullptr;
  UrlList->OnProgress = nullptr;
  Tree->OnAction = nullptr;
  UrlCommands.reset();
}

// ---------------------------------------------------------------- web-tree pages

void TMainWin::TreeTimerTimer() {
  TreeTimer->stop();
  if (DlgSetup) DlgSetup->StorePages();
  CommitDialogs();
  controls::TWTreeNode* node = Tree->GetSelectedNode();
  PageTag = TWebTreePage(Tree->GetPage());
  const int tag = PageTag;
  if (SearchPanel && tag != tpSearch && !SearchPanel->isHidden()) SearchPanel->ShowPane(false);

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
    ReleasePreview();
    UrlList->SetStyle(StyleOfTag(tag));
    SetView(mvUrls);
    SetupUrlPage();
  } else if (tag == tpImage) {
    SetView(mvPicture);
    SetupUrlPage();
    if (auto* image = dynamic_cast<TImageNode*>(node); image && web_)
      if (const auto path = LocalNameToPath(web_->Path().parent_path(), image->LocalName))
        ShowPreview({}, path->string());
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
  if (UrlCommands) UrlCommands->RefreshPopups();
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
  UrlList->SetStyle(usImages);
  Tree->FillImages(UrlList->List());
  Tree->setEnabled(true);
}

// ---------------------------------------------------------------- the URL page

void TMainWin::SetupUrlPage() {
  if (SearchPanel && (view_ == mvSearch) == SearchPanel->isHidden()) SearchPanel->ShowPane(view_ == mvSearch);
  // The preview: the page's thumbnail beside the list of pages, the
  // picture under the images, the picture alone on an image node.
  const bool picture = view_ == mvPicture || (view_ == mvUrls && UrlList->Style() == usImages);
  const bool thumbnail = view_ == mvUrls && UrlList->Style() == usHtml;
  ImageFrame->setVisible(view_ == mvPicture || ((picture || thumbnail) && OptionsMenuViewFrame->isChecked()));
  ImageWallFrame->setVisible(picture);
  VignetteFrame->setVisible(thumbnail);
  if (view_ == mvPicture) {
    // Only the preview: the list and its splitter share are given to it.
    UrlSplitter->setSizes({0, std::max(1, UrlSplitter->height())});
  } else if (const QList<int> sizes = UrlSplitter->sizes();
             sizes.value(0) == 0 || (ImageFrame->isVisibleTo(UrlsFrame) && sizes.value(1) < kMinPreviewHeight)) {
    // Back from the picture alone, or a preview too low to show anything.
    const int total = std::max(3, UrlSplitter->height());
    UrlSplitter->setSizes({total * 2 / 3, total - total * 2 / 3});
  }
  // The action button of the category; the others hidden and disabled.
  QToolButton* action = UrlList->Style() == usHtml     ? PageActionBtn
                        : UrlList->Style() == usImages ? ImageActionBtn
                                                       : UrlActionBtn;
  for (QToolButton* b : {UrlActionBtn, PageActionBtn, ImageActionBtn}) {
    b->setVisible(b == action && view_ == mvUrls);
    b->setEnabled(b == action && view_ == mvUrls);
  }
  MarquageButton->setEnabled(UrlList->HasMarks());
  FitImage();
}

void TMainWin::UrlListWebFileClick(TWebFile& record) {
  RefreshStatusHints();
  const TWUrlListStyle style = UrlList->Style();
  if ((style == usHtml || style == usFile || style == usImages) && PageTag != tpImage)
    ShowPreview(record.FullUrl, {});
}

void TMainWin::UrlListWebFileDblClick(TWebFile& record) {
  const std::string local = record.IsRetrieved() ? record.GetLocalPath() : std::string();
  if (!local.empty() && !record.IsHtmlPage() && IsFile(local))
    shell::OpenCapturedFile(local);  // never run: data types only
  else if (!local.empty() && IsFile(local))
    OpenInBrowser(FileUrl(local));
  else
    OpenInBrowser(record.FullUrl);
}

void TMainWin::UrlListStyleChanging(TWUrlListStyle style) {
  // The grid takes the row menu of each style from the URL commands.
  MarquageButton->setEnabled(style != usErrors && style != usFiltered);
}

void TMainWin::UrlListSortChange() {
  controls::TWTreeNode* images = Tree->ImagesFolder();
  if (view_ == mvUrls && UrlList->Style() == usImages && images && images->GetExpanded()) Tree->FillImages(UrlList->List());
}

void TMainWin::UrlListProgress(int position, int total) {
  if (PageTag < tpPages || PageTag > tpImage) return;
  if (position < 0) {
    StatusProgressBar->hide();
    RefreshStatusHints();
    return;
  }
  if (position == 0) {
    const TWUrlListStyle style = UrlList->Style();
    StatusInfo1->setText(style >= usHtml && style <= usFiltered ? Text(TextAt(kUrlListProgressTexts, style - 1))
                                                                : QString());
    StatusInfo2->setMinimumWidth(200);
    StatusProgressBar->setRange(0, std::max(total, 1));
    StatusProgressBar->show();
    // Laid out now: the events that would do it wait until the list is full.
    statusBar()->layout()->activate();
  }
  StatusProgressBar->setValue(std::min(position, StatusProgressBar->maximum()));
  // Painted now: running the event loop here would let another page
  // change refill the list in the middle of this fill.
  statusBar()->repaint();
}

void TMainWin::ActionBtnEnter(QToolButton* button) {
  if (!UrlCommands) return;
  const TWUrlListStyle style = button == PageActionBtn ? usHtml : button == ImageActionBtn ? usImages : usFile;
  button->setMenu(UrlList->SelectedCount() > 0 ? UrlCommands->SelectionPopup(style) : UrlCommands->PopupForStyle(style));
}

void TMainWin::OptionsMenuUpdateListClick() { UrlList->Reload(); }

void TMainWin::OptionsMenuViewFrameClick(bool checked) {
  setup_.ViewFrameFlag = checked;
  SetupUrlPage();
  const TWUrlListStyle style = UrlList->Style();
  if (style >= usHtml && style <= usImages) viewsHost_->RestartPreview();
}

void TMainWin::OptionsMenuViewLastImageClick(bool checked) { setup_.ViewLastImageFlag = checked; }

// ---------------------------------------------------------------- preview

void TMainWin::ShowPreview(const std::string& url, const std::string& file) {
  ViewTimer->stop();
  PreviewUrl = url;
  PreviewFile = file;
  ViewTimer->start();
}

void TMainWin::ViewTimerTimer() {
  ViewTimer->stop();
  if (!PreviewFile.empty() && PreviewFile == ShownFile) return;
  if (!ShownUrl.empty() && ShownUrl == PreviewUrl) return;
  if (web_) {
    if (!PreviewUrl.empty()) {
      TWebFile record(web_.get());
      if (web_->FindUrl(PreviewUrl, record)) {
        if (IsImage(record)) {
          ShowPicture(QString::fromStdString(record.GetLocalPath()));
        } else {
          VignetteImage->clear();
          VignetteImage->hide();
          if (QImage thumb; LoadRecordImage(record, thumb)) {
            VignetteImage->setPixmap(QPixmap::fromImage(thumb));
            VignetteImage->show();
          }
        }
      }
    } else {
      ShowPicture(QString::fromStdString(PreviewFile));
    }
  }
  ShownUrl = PreviewUrl;
  ShownFile = PreviewFile;
}

void TMainWin::ReleasePreview() {
  ViewTimer->stop();
  Picture = QImage();
  Image->clear();
  Image->hide();
  VignetteImage->clear();
  ShownUrl.clear();
  ShownFile.clear();
}

void TMainWin::ShowPicture(const QString& file) {
  Picture = QImage();
  Image->clear();
  VignetteImage->clear();
  if (file.isEmpty()) return;
  QImage loaded = LoadImageWithPalette(file);
  if (loaded.isNull()) return;
  Picture = std::move(loaded);
  Image->setPixmap(QPixmap::fromImage(Picture));
  FitImage();
}

void TMainWin::FitImage() {
  if (!web_ || Picture.isNull()) return;
  const QRect wall = ImageWallFrame->contentsRect();
  const int W = std::max(1, wall.width()), H = std::max(1, wall.height());
  const int w = Picture.width(), h = Picture.height();
  TWaitCursor wait;
  if ((!KeepImageRatioCheck->isChecked() && view_ == mvPicture) || (w <= W && h <= H)) {
    // Natural size, centred in the frame.
    Image->setScaledContents(false);
    Image->setAlignment(Qt::AlignCenter);
    Image->setGeometry(wall);
  } else {
    int width, height;
    if (int64_t(H) * w <= int64_t(W) * h) {
      width = int(int64_t(H) * w / h);
      height = H;
    } else {
      width = W;
      height = int(int64_t(h) * W / w);
    }
    // Offsets inside the frame's border (the contents rectangle already
    // leaves it out).
    const int left = width < W ? (W - width) / 2 : 0;
    const int top = height < H ? (H - height) / 2 : 0;
    Image->setScaledContents(true);
    Image->setGeometry(wall.left() + left, wall.top() + top, width, height);
  }
  Image->show();
}

// ---------------------------------------------------------------- browser and commands

void TMainWin::OpenInBrowser(const std::string& address) {
  if (!address.empty() && OpenAddress) OpenAddress(address);
}

void TMainWin::BrowserBtnClick() {
  TWebFile record(web_.get());
  if (web_ && UrlList->CurrentRecord(record))
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
  BrowserPopupLoadUrl->setEnabled(web && UrlList->CurrentIndex() >= 0);
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
