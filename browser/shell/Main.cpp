// The main window's frame: start-up and shut-down, mode and view, caption,
// toolbar, geometry, the recent webs, the command line with the hand-over
// from second instances, and the scheduler's task start and end.
#include "Main.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QFrame>
#include <QGridLayout>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include "CapturePage.h"
#include "CommandLine.h"
#include "DlgSetup.h"
#include "DlgWeb.h"
#include "FormUtil.h"
#include "MainHosts.h"
#include "MainWebOps.h"
#include "MapEditor.h"
#include "MessageBox.h"
#include "Mime.h"
#include "Pictures.h"
#include "Ras.h"
#include "Scheduler.h"
#include "Setup.h"
#include "ShellLinks.h"
#include "Splash.h"
#include "Unattended.h"
#include "UrlDropTarget.h"
#include "UrlPage.h"
#include "WBrowser.h"
#include "WUrlList.h"
#include "Web.h"
#include "WebShortcut.h"
#include "WindowMessage.h"

namespace fs = std::filesystem;

namespace qlon {

using namespace platform;
using shell::ProcessMessages;
using shell::ProgramBitmap;
using shell::ProgramIcon;
using shell::TWaitCursor;
using shell::kBackgroundFile;

namespace {

constexpr int kMinTrackWidth = 640;
constexpr int kMinTrackHeight = 460;
constexpr int kMinTreeWidth = 170;

QFrame* NewFrame(QWidget* parent, const char* name) {
  auto* f = new QFrame(parent);
  f->setObjectName(name);
  return f;
}

}  // namespace

// ---------------------------------------------------------------- creation

TMainWin::TMainWin(TSetup& setup, TMainWinConfig config, QWidget* parent)
    : QMainWindow(parent),
      setup_(setup),
      config_(std::move(config)),
      programFolder_(ProgramFolder()),
      recent_(setup) {
  setObjectName("MainWin");
  setWindowIcon(ProgramIcon());
  setMinimumSize(kMinTrackWidth, kMinTrackHeight);
  ExecDialog = [](QDialog& d) { return d.exec(); };
  if (!shell::TUnattended::Current()) ownUnattended_ = std::make_unique<shell::TUnattended>();
  argumentsTimer_ = new QTimer(this);
  argumentsTimer_->setSingleShot(true);
  connect(argumentsTimer_, &QTimer::timeout, this, &TMainWin::RunPendingArguments);
  Menus = std::make_unique<shell::TMainMenus>(*this);
  BuildFrames();
  FormCreate();
}

TMainWin::~TMainWin() { FormDestroy(); }

void TMainWin::BuildFrames() {
  viewsHost_ = std::make_unique<TViewsHost>(*this);
  MainSplitter = new QSplitter(Qt::Horizontal, this);
  MainSplitter->setObjectName("MainSplitter");
  setCentralWidget(MainSplitter);

  WTreeFrame = NewFrame(MainSplitter, "WTreeFrame");
  auto* treeLayout = new QVBoxLayout(WTreeFrame);
  treeLayout->setContentsMargins(0, 0, 0, 0);
  Tree = new TWebTree(viewsHost_.get(), programFolder_, WTreeFrame);
  Tree->setObjectName("Tree");
  treeLayout->addWidget(Tree);

  RightFrame = NewFrame(MainSplitter, "RightFrame");
  RightFrame->setFrameShape(QFrame::StyledPanel);
  auto* right = new QGridLayout(RightFrame);
  right->setContentsMargins(2, 2, 2, 2);
  MainSplitter->addWidget(WTreeFrame);
  MainSplitter->addWidget(RightFrame);
  // The page on the right is where the work is: it takes what the window
  // gains; the tree keeps its width, and never less than a readable one.
  MainSplitter->setStretchFactor(1, 1);
  MainSplitter->setChildrenCollapsible(false);
  WTreeFrame->setMinimumWidth(kMinTreeWidth * 3 / 4);

  // URL lists with the preview below.
  UrlPage = new shell::TUrlPage(*viewsHost_, setup_, this, RightFrame);

  CapturePage = new shell::TCapturePage(setup_, RightFrame);

  MapEditor = new TMapEditor(*viewsHost_, RightFrame);

  HelpFrame_ = NewFrame(RightFrame, "HelpFrame");
  SchedulerFrame = NewFrame(RightFrame, "SchedulerFrame");
  SetupFrame = NewFrame(RightFrame, "SetupFrame");
  CfgWebFrame = NewFrame(RightFrame, "CfgWebFrame");
  // The pages fill the right-hand area; the two dialog frames have the
  // dialogs' own size at its top left (FitDockedForms). A hidden page still
  // counts in the area's least size, so that whichever is shown fits.
  for (QWidget* w : {static_cast<QWidget*>(UrlPage), static_cast<QWidget*>(CapturePage),
                     static_cast<QWidget*>(MapEditor), static_cast<QWidget*>(HelpFrame_),
                     static_cast<QWidget*>(SchedulerFrame), static_cast<QWidget*>(SetupFrame),
                     static_cast<QWidget*>(CfgWebFrame)}) {
    QSizePolicy policy = w->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    w->setSizePolicy(policy);
    if (w == SetupFrame || w == CfgWebFrame)
      right->addWidget(w, 0, 0, Qt::AlignLeft | Qt::AlignTop);
    else
      right->addWidget(w, 0, 0);
  }

  StatusInfo1 = new QLabel(this);
  StatusInfo1->setObjectName("StatusInfo1");
  StatusInfo2 = new QLabel(this);
  StatusInfo2->setObjectName("StatusInfo2");
  StatusProgressBar = new QProgressBar(this);
  StatusProgressBar->setObjectName("StatusProgressBar");
  StatusProgressBar->setMaximumHeight(14);
  StatusProgressBar->hide();
  statusBar()->addWidget(StatusInfo1, 1);
  statusBar()->addWidget(StatusProgressBar);
  statusBar()->addPermanentWidget(StatusInfo2);

  TreeTimer = new QTimer(this);
  TreeTimer->setObjectName("TreeTimer");
  TreeTimer->setInterval(250);
  TreeTimer->setSingleShot(true);
}

void TMainWin::FormCreate() {
  // Brings the focused form forward whenever the program is activated.
  connect(qApp, &QGuiApplication::applicationStateChanged, this, [](Qt::ApplicationState state) {
    if (state == Qt::ApplicationActive)
      if (QWidget* w = QApplication::activeWindow()) w->raise();
  });
  const StringList arguments = config_.Arguments ? *config_.Arguments : [] {
    StringList own;
    const QStringList args = QCoreApplication::arguments();
    for (int i = 1; i < args.size(); ++i) own.push_back(args[i].toStdString());
    return own;
  }();
  if (arguments.empty() && config_.Splash) {
    auto* splash = new controls::TSplash(this);
    splash->SetPicture(QPixmap::fromImage(ProgramBitmap("SPLASH")));
    splash->Show();
  }
  connect(&GetBrowser(), &TBrowser::changed, this, [this] { Menus->BrowserBtn->setIcon(GetBrowser().SmallIcon()); });
  // The browser the user chose in the options, kept across starts.
  if (!setup_.BrowserAuto && !setup_.BrowserExeName.empty()) GetBrowser().SetPath(setup_.BrowserExeName);
  // The desktop's default browser heads the list the options offer, unless listed.
  if (const std::string program = FindDefaultBrowser();
      !program.empty() && std::find(setup_.BrowserList.begin(), setup_.BrowserList.end(), program) ==
                              setup_.BrowserList.end())
    setup_.BrowserList.insert(setup_.BrowserList.begin(), program);
  RasEntry = new TRas(this);
  roadHost_ = std::make_unique<TRoadHost>(*this);
  road_ = std::make_unique<shell::TCaptureRoad>(*roadHost_, setup_, *RasEntry, Unattended());
  UrlPage->SearchPanel->Setup();
  if (QPixmap back; back.load(QString::fromStdString((programFolder_ / kBackgroundFile).string()))) {
    QPalette p = RightFrame->palette();
    p.setBrush(QPalette::Window, back);
    RightFrame->setPalette(p);
    RightFrame->setAutoFillBackground(true);
  }

  SetHelpHost(viewsHost_.get());
  ShowHelp(HelpTopicPage(htIndex), true);
  DlgSetup = new shell::TDlgSetup(setup_, SetupFrame);
  DlgSetup->SetDocked(true, SetupFrame, alClient);
  DlgSetup->Browser = &GetBrowser();
  DlgSetup->SetDialUpAvailable(RasAvailable());
  if (TPhoneBookEntries phoneBook(QString::fromStdString(setup_.RasPhoneBook)); RasAvailable() && phoneBook.Refresh())
    DlgSetup->SetPhoneBookEntries(phoneBook.Names());
  DlgSetup->LoadPages();

  TSchedulerConfig scheduler;
  scheduler.WorkFolder = setup_.WorkPath;
  scheduler.ProgramFolder = programFolder_;
  scheduler.StartDelayMs = config_.SchedulerStartDelayMs;
  scheduler.PollIntervalMs = config_.SchedulerPollMs;
  DlgScheduler = new TDlgScheduler(std::make_unique<TScheduler>(scheduler), viewsHost_.get(), SchedulerFrame);
  DlgScheduler->SetDocked(true, SchedulerFrame, alClient);
  DlgScheduler->Scheduler().OnTaskStart = [this](TTask& task) { return TaskStart(task); };
  DlgScheduler->Scheduler().OnTaskEnd = [this](TTask& task) { return TaskEnd(task); };

  ConnectCommands();
  FitDockedForms();
  UrlPage->UrlList->LoadLayouts(setup_.IniFile());
  CapturePage->RequestList->LoadLayouts(setup_.IniFile());
  MapEditor->MapList->LoadLayouts(setup_.IniFile());

  Tree->Refresh();
  UpdateCaption();
  Menus->KeepImageRatioCheck->setChecked(setup_.KeepImageRatioFlag);
  Menus->OptionsMenuViewLastImage->setChecked(setup_.ViewLastImageFlag);
  Menus->OptionsMenuViewFrame->setChecked(setup_.ViewFrameFlag);
  MapEditor->Init();

  if (const std::string note = GlobalMimeList().LoadFromFile(setup_.MimeFile()); !note.empty())
    ShowMessageBox(note, "Types MIME", MB_OK | MB_ICONEXCLAMATION);

  RestoreGeometry();
  recent_.Load(web_.get());
  RebuildRecentMenu();
  RefreshState();
  ShowView(mvHome);
  SelectTreePage(tpHelp);

  Bookmarks = std::make_unique<TBookmarkList>();
  DropTarget = new TUrlDropTarget(this);
  DropTarget->SetActive(true);
  // The wizard runs after the drop has ended, never inside it.
  connect(DropTarget, &TUrlDropTarget::UrlDropped, this, [this](const QString& url) {
    QMetaObject::invokeMethod(this, [this, url] { NewWeb("", url.toStdString(), true); }, Qt::QueuedConnection);
  });

  // Second instances hand their command lines over from now on (when this
  // process is the instance).
  ListenForCommandLine(this, kProgramTitle);
  // The command line runs once the window is up, like a handed-over one,
  // so its file names are made absolute here, as a sender makes them.
  std::error_code ec;
  pendingArguments_ = shell::HandOverArguments(arguments, fs::current_path(ec));
  argumentsTimer_->start(0);
}

// The docked forms' frames sized to what the forms need in this font, and
// the window's least size to the largest of them.
void TMainWin::FitDockedForms() {
  // The forms were drawn for 440 x 380; the texts of this font may need more.
  const QSize drawn(440, 380);
  SetupFrame->setFixedSize(drawn.expandedTo(DlgSetup->sizeHint()));
  cfgWebSize_ = drawn.expandedTo(shell::TDlgWeb(setup_).sizeHint());
  CfgWebFrame->setFixedSize(cfgWebSize_);
  SchedulerFrame->setMinimumSize(DlgScheduler->minimumSizeHint());
  if (TDlgHelp* help = HelpWindow(); help && help->parentWidget() == HelpFrame_)
    HelpFrame_->setMinimumSize(help->minimumSizeHint());
  setMinimumSize(QSize(kMinTrackWidth, kMinTrackHeight).expandedTo(minimumSizeHint()));
}

void TMainWin::FormDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  argumentsTimer_->stop();
  SaveGeometry();
  UrlPage->UrlList->SaveLayouts(setup_.IniFile());
  CapturePage->RequestList->SaveLayouts(setup_.IniFile());
  MapEditor->MapList->SaveLayouts(setup_.IniFile());
  UrlPage->SearchPanel->Save();
  setup_.KeepImageRatioFlag = Menus->KeepImageRatioCheck->isChecked();
  setup_.ViewLastImageFlag = Menus->OptionsMenuViewLastImage->isChecked();
  setup_.ViewFrameFlag = Menus->OptionsMenuViewFrame->isChecked();
  setup_.SaveSettings();
  delete DlgSetup;
  DlgSetup = nullptr;
  road_.reset();
  delete RasEntry;
  RasEntry = nullptr;
  recent_.Save();
  // A web still open (the close was refused or never asked) is saved.
  DetachWeb();
  web_.reset();
  MapEditor->Free();
  TreeTimer->stop();
  UrlPage->Detach();
  Tree->OnAction = nullptr;
  delete DlgWeb;
  DlgWeb = nullptr;
  FreeHelp();
  SetHelpHost(nullptr);
  if (DlgScheduler) {
    DlgScheduler->Scheduler().OnTaskStart = nullptr;
    DlgScheduler->Scheduler().OnTaskEnd = nullptr;
    delete DlgScheduler;  // stops the thread, saves "scheduler.dat"
    DlgScheduler = nullptr;
  }
}

void TMainWin::showEvent(QShowEvent* e) {
  QMainWindow::showEvent(e);
  // Activation is not reliable on every platform (offscreen, some window
  // managers): the scheduler also starts once the window is shown.
  QTimer::singleShot(0, this, &TMainWin::FormActivate);
}

void TMainWin::FormActivate() {
  if (DlgScheduler) DlgScheduler->Scheduler().Resume();
}

bool TMainWin::event(QEvent* e) {
  if (e->type() == WindowMessage::Type()) {
    auto* m = static_cast<WindowMessage*>(e);
    if (m->message == WM_COPYDATA) {
      m->result = 1;
      const auto* data = reinterpret_cast<const CopyDataStruct*>(m->lParam);
      if (data && data->lpData)
        CopyData(QByteArray(static_cast<const char*>(data->lpData), qsizetype(data->cbData)));
      return true;
    }
    if (m->message == kCaptureMessage) {
      CaptureMessage(uint16_t(m->wParam));
      return true;
    }
    if (m->message == shell::TSearchPane::kSearchStartMessage) {
      UrlPage->SearchPanel->SearchStartBtnClick();
      return true;
    }
  }
  if (e->type() == QEvent::WindowActivate) FormActivate();
  return QMainWindow::event(e);
}

void TMainWin::closeEvent(QCloseEvent* e) {
  if (FormCloseQuery())
    e->accept();
  else
    e->ignore();
}

bool TMainWin::FormCloseQuery() {
  if (road_->Running()) {
    // The run holds the web: the window closes when the run has ended.
    road_->RequestClose();
    return false;
  }
  if (UrlPage->SearchPanel->Searching()) {
    // The search holds the web: it ends at its next record, then the close.
    UrlPage->SearchPanel->StopSearch();
    CloseLater();
    return false;
  }
  road_->CancelDial();
  CloseWeb(false);
  return true;
}

bool TMainWin::Busy() const {
  return (road_ && road_->Running()) || mode_ == mmRunning || UrlPage->SearchPanel->Searching();
}

void TMainWin::CloseLater() { QMetaObject::invokeMethod(this, &QWidget::close, Qt::QueuedConnection); }

shell::TUnattended& TMainWin::Unattended() {
  return ownUnattended_ ? *ownUnattended_ : *shell::TUnattended::Current();
}

// ---------------------------------------------------------------- mode and view

void TMainWin::SetMode(TMainMode mode) {
  mode_ = mode;
  RefreshState();
  ProcessMessages();
}

void TMainWin::SetView(TMainView view) {
  if (view == view_) return;
  view_ = view;
  ShowView(view);
  ProcessMessages();
}

void TMainWin::ShowView(TMainView view) {
  view_ = view;
  for (QWidget* w : {static_cast<QWidget*>(SchedulerFrame), static_cast<QWidget*>(CapturePage),
                     static_cast<QWidget*>(MapEditor), static_cast<QWidget*>(SetupFrame),
                     static_cast<QWidget*>(HelpFrame_), static_cast<QWidget*>(CfgWebFrame)})
    w->hide();
  UrlPage->ShowView(view);
  switch (view) {
    case mvHome:
    case mvHelp:
      HelpFrame_->show();
      if (view == mvHome) Tree->SelectPage(tpHelp);
      break;
    case mvCapture:
      CapturePage->ShowPage();
      Tree->SelectPage(tpWeb);
      break;
    case mvMap:
      MapEditor->show();
      Tree->SelectPage(tpMaps);
      break;
    case mvWebConfig:
      CfgWebFrame->show();
      break;
    case mvSetup:
      SetupFrame->show();
      break;
    case mvScheduler:
      DlgScheduler->show();
      SchedulerFrame->show();
      break;
    case mvPicture:  // the URL page, above
    case mvUrls:
    case mvSearch:
    case mvBlank:
    case mvNone:
      break;
  }
}

void TMainWin::SelectTreePage(int tag) {
  Tree->SelectPage(tag, true);
  // The search pane's page must be up before the search it was asked for
  // starts, or showing it would empty the list of hits.
  if (tag == tpSearch) TreeTimerTimer();
}

void TMainWin::RefreshState() {
  if (!web_) mode_ = mmNoWeb;
  Tree->SetCaptureRun(mode_ == mmRunning);
  Tree->Refresh();
  Menus->ShowMode(mode_);
  RebuildRecentMenu();
  EnableMenus();
  RefreshStatusHints();
  UpdateCaption();
}

void TMainWin::RefreshStatusHints() {
  // The page shown has the first say (a list that fills, the map being
  // edited); the others show the web's folder.
  QString hint = view_ == mvMap ? MapEditor->StatusHint() : UrlPage->StatusHint();
  if (hint.isEmpty() && web_) hint = QString::fromStdString(web_->Path().parent_path().string());
  StatusInfo1->setText(hint);
}

void TMainWin::UpdateCaption() {
  QString caption = QString(kProgramTitle) + " ";
  if (web_) {
    QString name = QString::fromStdString(web_->GetTitle());
    if (name.isEmpty()) name = QString::fromStdString(web_->Path().parent_path().string());
    caption += "(" + name + ")";
  }
  setWindowTitle(caption);
}

void TMainWin::DownBtnClickDispatch() {
  ProcessMessages();
  switch (mode_) {
    case mmNoWeb:
      Menus->MenuFileNew->trigger();
      break;
    case mmWebOpen:
      StartCapture();
      break;
    case mmRunning:
      StopCapture();
      break;
  }
}

// ---------------------------------------------------------------- geometry

void TMainWin::SaveGeometry() {
  // Sizes of a window never shown are the framework's defaults, not the user's.
  if (!testAttribute(Qt::WA_WState_ExplicitShowHide) && !isVisible()) return;
  setup_.TreeFrameWidth = WTreeFrame->width();
  UrlPage->SaveLayout();
  CapturePage->SaveLayout();
  const Qt::WindowStates state = windowState();
  setup_.WindowState = state & Qt::WindowMinimized ? 1 : state & Qt::WindowMaximized ? 2 : 0;
  if (setup_.WindowState == 0) {
    setup_.Width = width();
    setup_.Height = height();
    setup_.Top = y();
    setup_.Left = x();
  }
}

void TMainWin::RestoreGeometry() {
  const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
  const QRect available = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
  const QSize area = available.size();
  // The tree starts wide enough for its page captions, with room for its
  // scroll bar, but takes no more than a third of the screen.
  const int captions = Tree->PageCaptionsWidth() + 2 * Tree->frameWidth() +
                       Tree->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, Tree);
  const int treeWidth = std::clamp(captions, kMinTreeWidth, std::max(kMinTreeWidth, area.width() / 3));
  MainSplitter->setSizes({std::max(setup_.TreeFrameWidth, treeWidth), std::max(1, setup_.Width)});
  CapturePage->RestoreLayout();
  UrlPage->RestoreLayout();
  // No place stored yet (nor given by the caller): a first start.
  const bool placed = setup_.Left != 0 || setup_.Top != 0 ||
                      setup_.WindowPlaceStored();
  if (!placed) {
    // A first start: centred, at a size where every page fits with the
    // tree at its starting width.
    const QSize fit = minimumSize().expandedTo(minimumSizeHint()) +
                      QSize(std::max(0, treeWidth - WTreeFrame->minimumSizeHint().width()), 0);
    setup_.Width = std::max(setup_.Width, fit.width());
    setup_.Height = std::max(setup_.Height, fit.height());
    setup_.Left = available.x() + (area.width() - setup_.Width) / 2;
    setup_.Top = available.y() + (area.height() - setup_.Height) / 2;
  }
  const controls::TWindowBounds b =
      controls::ClampToScreen({setup_.Left, setup_.Top, setup_.Width, setup_.Height}, area.width(), area.height());
  setup_.Left = b.Left;
  setup_.Top = b.Top;
  setup_.Width = b.Width;
  setup_.Height = b.Height;
  switch (setup_.WindowState) {
    case 1:
      setWindowState(Qt::WindowMinimized);
      break;
    case 2:
      setWindowState(Qt::WindowMaximized);
      break;
    default:
      setWindowState(Qt::WindowNoState);
      // The place is the frame's, as SaveGeometry reads it: the window does
      // not creep by its title bar from one start to the next.
      resize(std::max(b.Width, kMinTrackWidth), std::max(b.Height, kMinTrackHeight));
      move(b.Left, b.Top);
      break;
  }
}

// ---------------------------------------------------------------- recent webs

void TMainWin::AddRecentWeb(const fs::path& path) {
  recent_.Add(path, web_.get());
  RebuildRecentMenu();
  recent_.Save();
}

void TMainWin::RebuildRecentMenu() {
  Menus->ShowRecent(recent_.Titles(), [this](int index) { OpenRecentWeb(index); });
}

// ---------------------------------------------------------------- command line

void TMainWin::CopyData(const QByteArray& data) {
  // The text ends at its NUL, and never beyond the bytes received.
  const qsizetype nul = data.indexOf('\0');
  const QString text = QString::fromUtf8(nul >= 0 ? data.left(nul) : data);
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
  StringList lines;
  for (const QString& line : text.split("\r\n", Qt::SkipEmptyParts)) lines.push_back(line.toStdString());
  if (lines.empty() || Busy()) return;  // nothing to do, or ignored during a capture
  pendingArguments_ = std::move(lines);
  argumentsTimer_->start(0);
}

void TMainWin::RunPendingArguments() {
  if (!pendingArguments_) return;
  if (Busy()) {
    pendingArguments_.reset();
    return;
  }
  // A modal dialog's loop is not the place to replace the web: later.
  if (QApplication::activeModalWidget()) {
    argumentsTimer_->start(200);
    return;
  }
  const StringList list = std::move(*pendingArguments_);
  pendingArguments_.reset();
  HandleArguments(&list);
}

void TMainWin::HandleArguments(const StringList* list) {
  StringList own;
  if (!list) {
    own = config_.Arguments.value_or(StringList{});
    list = &own;
  }
  const std::string arg = shell::FirstArgument(*list);
  if (arg.empty() || Busy()) return;
  // A name handed over is read in this process's current folder, not the
  // sender's: only an absolute one names the file the sender meant.
  if (list != &own && shell::IsFileArgument(arg) && fs::path(arg).is_relative()) {
    ShowMessageBox("Le fichier " + arg + " n'est pas désigné par un chemin complet : il est ignoré.", kProgramTitle,
                   MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  // The file's extension decides, the first match wins; paths keep their case.
  if (shell::HasExtension(arg, ".web")) {
    OpenWebFile(arg);
  } else if (shell::HasExtension(arg, ".wbs")) {
    RunWebShortcut(arg);
  } else if (shell::HasExtension(arg, ".url")) {
    if (const std::string url = ReadInternetShortcut(arg); !url.empty()) NewWeb("", url, true);
  } else if (UpperCase(arg) == "/B") {
    std::string address, title;
    if (GetBrowser().GetCurrentPage(address, title) && !address.empty()) NewWeb("", address, true);
  } else if (const std::string url = shell::UrlArgument(arg); !url.empty()) {
    NewWeb("", url, true);
  }
}

void TMainWin::RunWebShortcut(const std::string& path) {
  if (Busy()) return;
  TWebShortcutFile shortcut;
  std::error_code ec;
  const bool there = fs::is_regular_file(path, ec);
  if (there) shortcut.LoadFromFile(path);
  // A shortcut that closes the program runs with nobody to answer, and
  // ends the program even when its web cannot be captured.
  if (shortcut.CloseQuillonFlag) Unattended().Set(shell::TUnattended::Shortcut, true);
  // Said to the person, or where a script reads it: then, with nobody
  // there, the program ends (status 1) instead of waiting for nobody.
  const auto fail = [&](const std::string& why) {
    ShowMessageBox(why, "Raccourci de capture", MB_OK | MB_ICONHAND);
    if (Unattended().Active()) CloseLater();
  };
  const std::string named = PrintableText(path);
  if (!there) return fail("Le raccourci " + named + " n'existe pas.");
  if (shortcut.Web.empty())
    return fail("Le raccourci " + named + " ne désigne aucun web : il est vide ou endommagé.");
  if (shortcut.CaptureKind < 0 || shortcut.CaptureKind > 3)
    return fail("Le raccourci " + named + " est endommagé : sa sorte de capture (" +
                std::to_string(shortcut.CaptureKind) + ") est inconnue.");
  if (!fs::is_regular_file(shortcut.Web, ec))
    return fail("Le web " + PrintableText(shortcut.Web) + " du raccourci " + named + " n'existe pas.");
  if (shortcut.MinimizeFlag) showMinimized();
  if (!web_ || !SamePath(web_->Path(), shortcut.Web)) {
    if (!CloseWeb(false)) return fail("Le web courant ne peut pas être fermé.");
    auto web = std::make_unique<TWeb>();
    try {
      TWaitCursor wait;
      if (web->Open(shortcut.Web) != wlOk) return fail(CannotOpenWebText(shortcut.Web, *web));
    } catch (const Exception& e) {
      return fail("Le web " + PrintableText(shortcut.Web) + " ne peut pas être ouvert : " + e.message());
    }
    SetCurrentWeb(std::move(web));
  }
  uint16_t flags = 0;
  // With no screen nobody is left to use the window once the run is over.
  if (shortcut.CloseQuillonFlag || Unattended().Has(shell::TUnattended::NoScreen)) flags |= kCaptureClose;
  if (!shortcut.LinkResolve) flags |= kCaptureNoResolve;
  if (shortcut.CutModemFlag) flags |= kCaptureHangUp;
  // The shortcut's time limit holds for this run; the web keeps its own.
  road_->LimitNextRun(shortcut.TimeLimitFlag ? shortcut.TimeLimit : 0);
  switch (shortcut.CaptureKind) {
    case 0:
      flags |= kCaptureReset | kCaptureMissing;
      break;
    case 1:
      flags |= kCaptureMissing;
      break;
    case 2:
      flags |= kCaptureUpdate;
      break;
    case 3:
      flags |= kCaptureMissing | kCaptureUpdate;
      break;
    default:
      break;
  }
  PostCapture(flags);
}

// ---------------------------------------------------------------- scheduler

bool TMainWin::TaskStart(TTask& task) {
  // A capture holds the web: the task starts at a later poll.
  if (Busy()) return true;
  // The scheduler starts it: nobody answers, the task's journal says it.
  shell::TUnattendedScope nobody(Unattended(), shell::TUnattended::Scheduled,
                                 [&task](const std::string& line) { task.Log(line); });
  TScheduler& scheduler = DlgScheduler->Scheduler();
  if (auto* step = dynamic_cast<TTaskWeb*>(&task)) {
    std::string path;
    uint8_t actions;
    {
      auto lock = scheduler.LockTree();
      path = step->WebPath;
      actions = step->Actions;
    }
    if (scheduler.GetStateByte() & TScheduler::kHideProgram) showMinimized();
    if (web_ && !SamePath(web_->Path(), path) && !CloseWeb(true)) {
      task.SetError(teWebLoad, path);
      return true;
    }
    if (!web_) {
      task.WriteJournal(jkWebLoad, path);
      if (!OpenWeb(path, true)) {
        task.SetError(teWebLoad, path);
        return true;
      }
    }
    uint16_t flags = kCaptureScheduled;
    if (actions & kActionReset) flags = kCaptureReset | kCaptureScheduled;
    if (actions & kActionCapture) flags |= kCaptureMissing;
    if (actions & kActionUpdate) flags |= kCaptureUpdate;
    if (!(actions & kActionResolveLinks)) flags |= kCaptureNoResolve;
    task.WriteJournal(jkWorkStart, path);
    PostCapture(flags);
    task.SetState(tsRunning);
    return true;
  }
  RunningJob = &task;
  task.WriteJournal(jkTaskStart);
  if (!setup_.UseRas && !setup_.UseActiveRas) {
    task.SetState(tsRunning);
    return true;
  }
  SetMode(mmRunning);
  task.WriteJournal(jkLineOpen);
  const TDialResult dialed = road_->Dial();
  SetMode(web_ ? mmWebOpen : mmNoWeb);
  if (dialed == drFailed)
    task.SetError(teConnection, RasEntry->ErrorText().toStdString());
  else if (dialed != drConnected)
    task.SetError(teConnection, {});
  else
    task.SetState(tsRunning);
  return true;
}

bool TMainWin::TaskEnd(TTask& task) {
  shell::TUnattendedScope nobody(Unattended(), shell::TUnattended::Scheduled,
                                 [&task](const std::string& line) { task.Log(line); });
  if (auto* step = dynamic_cast<TTaskWeb*>(&task)) {
    task.WriteJournal(jkWorkStop);
    std::string path;
    {
      auto lock = DlgScheduler->Scheduler().LockTree();
      path = step->WebPath;
    }
    // Only the scheduler's own run of this web is stopped, never a user's.
    if (road_->Running())
      road_->StopScheduledRun(path);
    else
      task.SetState(tsWaiting);
    return true;
  }
  if (task.Flags & kTaskHangUp) {
    road_->HangUp(true);
    task.WriteJournal(jkLineClose);
  }
  task.SetState(tsWaiting);
  task.WriteJournal(jkTaskStop);
  RunningJob = nullptr;
  if (task.Flags & kTaskCloseProgram) CloseLater();
  return true;
}

}  // namespace qlon
