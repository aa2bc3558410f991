#include "DockedForms.h"

#include <QFrame>
#include <QGridLayout>

#include "DlgHelp.h"
#include "DlgScheduler.h"
#include "DlgSetup.h"
#include "DlgWeb.h"
#include "Ras.h"
#include "Scheduler.h"
#include "Setup.h"
#include "WBrowser.h"

namespace qlon::shell {

namespace {

// The forms were drawn for 440 x 380; the texts of this font may need more.
constexpr QSize kDrawnSize(440, 380);

QFrame* NewFrame(QWidget& parent, const char* name) {
  auto* f = new QFrame(&parent);
  f->setObjectName(name);
  return f;
}

}  // namespace

TDockedForms::TDockedForms(TSetup& setup, QWidget& area)
    : HelpFrame(NewFrame(area, "HelpFrame")),
      SchedulerFrame(NewFrame(area, "SchedulerFrame")),
      SetupFrame(NewFrame(area, "SetupFrame")),
      CfgWebFrame(NewFrame(area, "CfgWebFrame")),
      setup_(setup) {}

TDockedForms::~TDockedForms() {
  delete WebConfig;
  delete Options;
  FreeScheduler();
}

void TDockedForms::Build(std::unique_ptr<TScheduler> scheduler, ISchedulerHost* host) {
  Options = new TDlgSetup(setup_, SetupFrame);
  Options->SetDocked(true, SetupFrame, alClient);
  Options->Browser = &GetBrowser();
  Options->SetDialUpAvailable(RasAvailable());
  if (TPhoneBookEntries phoneBook(QString::fromStdString(setup_.RasPhoneBook)); RasAvailable() && phoneBook.Refresh())
    Options->SetPhoneBookEntries(phoneBook.Names());
  Options->LoadPages();

  Scheduler = new TDlgScheduler(std::move(scheduler), host, SchedulerFrame);
  Scheduler->SetDocked(true, SchedulerFrame, alClient);
}

void TDockedForms::Fit() {
  SetupFrame->setFixedSize(kDrawnSize.expandedTo(Options->sizeHint()));
  cfgWebSize_ = kDrawnSize.expandedTo(TDlgWeb(setup_).sizeHint());
  CfgWebFrame->setFixedSize(cfgWebSize_);
  SchedulerFrame->setMinimumSize(Scheduler->minimumSizeHint());
  if (TDlgHelp* help = HelpWindow(); help && help->parentWidget() == HelpFrame)
    HelpFrame->setMinimumSize(help->minimumSizeHint());
}

void TDockedForms::HideAll() {
  for (QFrame* frame : {SchedulerFrame, SetupFrame, HelpFrame, CfgWebFrame}) frame->hide();
}

void TDockedForms::PlaceWebConfig(TWeb* web, bool wide, const std::function<void()>& startCapture) {
  if (!WebConfig && web) {
    WebConfig = new TDlgWeb(setup_, CfgWebFrame);
    WebConfig->SetDocked(true, CfgWebFrame, alClient);
    WebConfig->LoadWeb(web);
    WebConfig->OnStartCapture = startCapture;
  }
  auto* grid = static_cast<QGridLayout*>(CfgWebFrame->parentWidget()->layout());
  if (wide) {
    CfgWebFrame->setMinimumSize(cfgWebSize_);
    CfgWebFrame->setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    grid->setAlignment(CfgWebFrame, {});
  } else {
    CfgWebFrame->setFixedSize(cfgWebSize_);
    grid->setAlignment(CfgWebFrame, Qt::AlignLeft | Qt::AlignTop);
  }
}

int TDockedForms::TurnWebConfigTo(int page) {
  if (!WebConfig) return -1;
  WebConfig->GoToPage(page);
  return WebConfig->CurrentPage();
}

void TDockedForms::DropWebConfig() {
  delete WebConfig;
  WebConfig = nullptr;
}

void TDockedForms::FreeOptions() {
  delete Options;
  Options = nullptr;
}

void TDockedForms::FreeScheduler() {
  if (!Scheduler) return;
  Scheduler->Scheduler().OnTaskStart = nullptr;
  Scheduler->Scheduler().OnTaskEnd = nullptr;
  delete Scheduler;
  Scheduler = nullptr;
}

}  // namespace qlon::shell
