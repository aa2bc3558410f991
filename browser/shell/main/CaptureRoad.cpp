#include "CaptureRoad.h"

#include <QDialog>
#include <QString>
#include <algorithm>
#include <cstdio>
#include <iterator>

#include "Cookies.h"
#include "DlgChooseCapture.h"
#include "DlgStop.h"
#include "DlgVignettes.h"
#include "LocalNaming.h"
#include "MainWebOps.h"
#include "MessageBox.h"
#include "Mime.h"
#include "Ras.h"
#include "ResolveDialog.h"
#include "Scheduler.h"
#include "Setup.h"
#include "Texts.h"
#include "Unattended.h"
#include "WSList.h"
#include "WaitCursor.h"
#include "Web.h"

namespace qlon::shell {

using namespace platform;

// The road's message boxes, and what each answers when nobody watches.
enum TCaptureRoad::TBox : int {
  bxMovedStartUrl,
  bxUrlInError,
  bxUrlFailed,
  bxProxyFailed,
  bxDialFailed,
  bxResolveFailed,
  bxQuitDuringRun,
  bxDiskFull,
  bxWriteFailed,
  bxSaveFailed,
  bxRunFailed,
  bxLeftOut,
  bxServerRefused,
  bxCount,
};

namespace {

struct TBoxRow {
  std::string_view Caption;
  unsigned Flags;
  int Unattended;
};

// Indexed by TBox. The URL and proxy boxes are the shared error boxes of
// those captions; the messages answer with their button.
constexpr TBoxRow kBoxes[] = {
    {kProgramTitle, MB_YESNO | MB_ICONQUESTION, IDNO},            // the old start address stays
    {TextAt(kMessageCaptions, 4), MB_YESNO | MB_ICONHAND, IDNO},  // the start URLs stay
    {TextAt(kMessageCaptions, 4), MB_OK | MB_ICONHAND, IDOK},
    {TextAt(kMessageCaptions, 3), MB_OK | MB_ICONHAND, IDOK},
    {"Connexion au réseau à distance...", MB_OKCANCEL | MB_ICONHAND, IDCANCEL},  // the run has ended anyway
    {"Résolution des liens", MB_OK | MB_ICONHAND, IDOK},
    {"Sortie de Quillon", MB_OKCANCEL | MB_ICONQUESTION, IDCANCEL},  // the run goes on
    {"Disque plein", MB_OK | MB_ICONHAND, IDOK},
    {"Écriture impossible", MB_OK | MB_ICONHAND, IDOK},
    {"Enregistrement du web", MB_OK | MB_ICONHAND, IDOK},
    {"Capture interrompue", MB_OK | MB_ICONHAND, IDOK},
    {"Adresses non capturées", MB_OK | MB_ICONINFORMATION, IDOK},  // a limit of the format, not a failure
    {"Capture incomplète", MB_OK | MB_ICONEXCLAMATION, IDOK},
};

std::string Format(const char* pattern, const std::string& a, const std::string& b) {
  const int n = std::snprintf(nullptr, 0, pattern, a.c_str(), b.c_str());
  std::string text(size_t(std::max(n, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, pattern, a.c_str(), b.c_str());
  return text;
}

// What the servers that refused connections cost the run: one text per
// server that addresses were lost to.
std::vector<std::string> RefusalTexts(const TCapture& capture) {
  constexpr size_t kReplyMax = 200;
  std::vector<std::string> texts;
  for (const TCapture::TFtpServer& server : capture.FtpServers()) {
    if (server.Lost == 0) continue;
    const std::string lost = server.Lost == 1 ? "1 adresse n'a pas pu être capturée, elle est marquée en erreur"
                                              : std::to_string(server.Lost) +
                                                    " adresses n'ont pas pu être capturées, elles sont marquées en erreur";
    texts.push_back("Le serveur " + server.Site + " a refusé des connexions (« " +
                    std::string(Utf8Prefix(server.Reply, kReplyMax)) + " ») : " + lost +
                    " ; la capture s'en est tenue à " + std::to_string(server.Connections) +
                    (server.Connections == 1 ? " connexion" : " connexions") + " vers ce serveur.");
  }
  return texts;
}

// The text of a record's error code: an HTTP status, or below 100 the
// request's own failure (a connection, a local file).
std::string CodeText(int code) {
  if (code > 0 && code < 100 && !HttpErrorText(code).empty())
    return std::string(HttpErrorText(code)) + " (" + std::to_string(code) + ")";
  return HttpStatusText(code);
}

}  // namespace

TCaptureRoad::TCaptureRoad(ICaptureRoadHost& host, TSetup& setup, TRas& ras, TUnattended& unattended)
    : host_(host), setup_(setup), ras_(ras), unattended_(unattended) {
  connect(&ras_, &TRas::RasConnect, this, [this] { dialing_ = false; });
  connect(&ras_, &TRas::RasDisconnect, this, [this] { dialing_ = false; });
}

TCaptureRoad::~TCaptureRoad() = default;

int TCaptureRoad::Ask(TBox box, const std::string& text) {
  static_assert(std::size(kBoxes) == bxCount, "one row per box");
  const TBoxRow& row = kBoxes[box];
  const MessageBoxRequest request{text, std::string(row.Caption), row.Flags};
  if (unattended_.Active()) return unattended_.Answered(request, row.Unattended);
  return ShowMessageBox(request.text, request.caption, request.flags);
}

// ---------------------------------------------------------------- starting and stopping

void TCaptureRoad::Start() {
  TWeb* web = host_.CurrentWeb();
  if (!web || capturing_) return;
  host_.CommitDialogs();
  {
    TWaitCursor wait;
    web->PrepareCapture();
    host_.UpdateCountLabels();
  }
  uint16_t proposed = web->GetCount() == 0 ? kCaptureReset | kCaptureMissing
                      : web->ToCapture.Count() > 0 ? kCaptureMissing
                                                   : kCaptureUpdate;
  if (web->ToUpdate.Count() > 0) proposed |= kCaptureUpdate;
  TDlgChooseCapture dlg(proposed, host_.DialogParent());
  if (host_.ExecModal(dlg) != QDialog::Accepted) return;
  uint16_t flags = dlg.Flags();
  if (flags & kCaptureScheduled) {
    // Here the bit asks for a start at the chosen date.
    ScheduleCapture(web->Path().string(), flags, DateTimeToQDateTime(dlg.Date()));
    return;
  }
  Run(flags, nullptr, false);
}

void TCaptureRoad::ScheduleCapture(const std::string& webFile, uint16_t flags, const QDateTime& date) {
  TScheduler* scheduler = host_.Scheduler();
  if (!scheduler) return;
  auto job = std::make_unique<TTask>(scheduler);
  job->StartKind = skOnce;
  job->StartDate = QDateTimeToDateTime(date);
  if (flags & kCaptureHangUp) job->Flags |= kTaskHangUp;
  auto step = std::make_unique<TTaskWeb>(scheduler);
  step->WebPath = webFile;
  step->Actions = kActionResolveLinks | (flags & kCaptureReset ? kActionReset : 0) |
                  (flags & kCaptureMissing ? kActionCapture : 0) | (flags & kCaptureUpdate ? kActionUpdate : 0);
  {
    auto lock = scheduler->LockTree();
    if (TTask* added = scheduler->Root().AddChild(std::move(job))) {
      added->AddChild(std::move(step));
      added->SetState(tsWaiting);
    }
  }
  scheduler->SaveTasks();
  host_.SelectTreePage(tpScheduler);
}

void TCaptureRoad::Stop() {
  dialing_ = false;
  if (!capture_) return;
  TDlgStop dlg(host_.DialogParent());
  if (host_.ExecModal(dlg) == QDialog::Accepted && capture_) capture_->Stop(!dlg.FinishTransfers());
}

void TCaptureRoad::RequestClose() {
  // Asked at most twice, never for a scheduled run.
  if (capture_ && closeRequests_ < 2 && !(flags_ & kCaptureScheduled) &&
      Ask(bxQuitDuringRun, "Il y a une capture en cours, voulez vous l'interrompre ?") != IDOK)
    return;
  if (capture_) capture_->Abort();
  dialing_ = false;
  closeAfter_ = true;
  ++closeRequests_;
}

void TCaptureRoad::StopScheduledRun(const std::filesystem::path& webFile) {
  const TWeb* web = host_.CurrentWeb();
  if (capture_ && (flags_ & kCaptureScheduled) && web && SamePath(web->Path(), webFile)) capture_->Stop(true);
}

// ---------------------------------------------------------------- the run

// What one run did, gathered for its reports.
struct TCaptureRoad::TRunOutcome {
  bool ran = false, dialFailed = false, stopped = false, diskFull = false, shownRunning = false;
  TDialResult dialResult = drConnected;
  std::string failure, writeFailure, saveFailure;
  TWeb::TLeftOut leftOut;  // by this run
  std::vector<std::string> refusals;
};

bool TCaptureRoad::Run(uint16_t flags, const StringList* urls, bool prepare) {
  closeRequests_ = 0;
  TWeb* web = host_.CurrentWeb();
  // One run at a time: a second request while one holds the web is dropped.
  if (!web || capturing_) return false;
  capturing_ = true;
  closeAfter_ = false;
  lastErrorCode_ = 0;
  lastErrorUrl_.clear();
  const std::optional<int32_t> limit = std::exchange(nextLimit_, std::nullopt);
  const int32_t storedLimit = web->Options.MaxTime;
  const bool scheduled = flags & kCaptureScheduled;
  // Nobody answers a scheduled run: its messages go to its job's journal.
  std::optional<TUnattendedScope> scheduledRun;
  if (scheduled)
    scheduledRun.emplace(unattended_, TUnattended::Scheduled,
                         [this](const std::string& line) { JournalScheduledRun(line); });
  TRunOutcome run;
  try {
    showRunStart(*web, flags, run);
    if (!scheduled && (setup_.UseRas || setup_.UseActiveRas) && (run.dialResult = Dial()) != drConnected) {
      run.dialFailed = true;
    } else {
      queueRun(*web, flags, urls, prepare);
      if (limit) web->Options.MaxTime = *limit;
      const TWeb::TLeftOut leftBefore = web->CountLeftOut();
      captureQueued(*web, flags, run);
      if (limit) web->Options.MaxTime = storedLimit;
      run.leftOut = web->CountLeftOut();
      run.leftOut.Folders -= std::min(run.leftOut.Folders, leftBefore.Folders);
      run.leftOut.Sites -= std::min(run.leftOut.Sites, leftBefore.Sites);
      finishRun(*web, flags, run);
    }
  } catch (const std::exception& e) {
    run.failure = e.what();
  }
  // Whatever happened above, the run ends here.
  if (capture_) takeCaptureResults(run);
  if (limit) web->Options.MaxTime = storedLimit;
  if (!run.ran && !run.dialFailed) host_.SaveWeb(&run.saveFailure);
  capturing_ = false;
  // A run that stopped leaves records waiting that its queues dropped.
  web->CountWaiting();
  host_.UpdateCountLabels();
  if (run.shownRunning) host_.SetMode(mmWebOpen);
  reportRun(*web, flags, urls, run);
  return followUp(*web, flags, run);
}

// The web's edits are in, it is started afresh when asked, and the window
// shows a run.
void TCaptureRoad::showRunStart(TWeb& web, uint16_t flags, TRunOutcome& run) {
  host_.CommitDialogs();
  if (flags & kCaptureReset) {
    ProcessMessages();
    host_.ResetWeb();
    web.PrepareCapture();
    ProcessMessages();
  }
  flags_ = flags;
  host_.SetMode(mmRunning);
  run.shownRunning = true;
  host_.ClearRunLists();
  if (!(flags & kCaptureScheduled)) host_.SetView(mvCapture);
  ProcessMessages();
}

// The records the run takes: the given URLs, or the web's queues.
void TCaptureRoad::queueRun(TWeb& web, uint16_t& flags, const StringList* urls, bool prepare) {
  TWaitCursor wait;
  if (urls) {
    web.QueueUrls(*urls, flags & kCaptureUpdate);
    return;
  }
  if (prepare) web.PrepareCapture();
  // An update with nothing marked for it marks the retrieved records
  // first, also when the capture is to be finished too: "update and
  // finish" updates the pages, then takes what is left.
  if ((flags & kCaptureUpdate) && web.ToUpdate.Count() == 0) flags |= kCaptureUpdateWalk;
}

// The capture's loop, to its end; what it met is kept for the reports.
void TCaptureRoad::captureQueued(TWeb& web, uint16_t flags, TRunOutcome& run) {
  ICaptureHost& reports = *this;
  capture_ = std::make_unique<TCapture>(web, setup_, reports, HttpRequestFactory(&setup_), GlobalMimeList(),
                                        &CookiesBase());
  flags_ = flags;
  capture_->SetFlags(flags);
  ProcessMessages();
  try {
    while (capture_->Step()) TCapture::WaitForEvents(100);
  } catch (const std::exception& e) {
    run.failure = e.what();
  }
  host_.SetMode(mmWebOpen);
  run.shownRunning = false;
  takeCaptureResults(run);
}

void TCaptureRoad::takeCaptureResults(TRunOutcome& run) {
  run.stopped = capture_->Stopped;
  run.diskFull = capture_->DiskFull;
  run.writeFailure = capture_->WriteFailure;
  run.refusals = RefusalTexts(*capture_);
  capture_.reset();
}

// After the loop: the isolated records of a whole update go, the links are
// resolved, the web gets its title, is shown and saved.
void TCaptureRoad::finishRun(TWeb& web, uint16_t flags, TRunOutcome& run) {
  // Only a whole update walk tells which records nothing links to.
  if ((flags & kCaptureUpdate) && !run.stopped && run.failure.empty() && CountToUpdate(web) == 0)
    RemoveIsolatedRecords(web);
  // Link resolution stages rewritten pages beside the old ones: a full
  // disk has no room for that. The pages stay due and the next run
  // resolves them.
  // Nor can a folder that refuses writes take them.
  if (web.RetrievedCount > 0 && !(flags & kCaptureNoResolve) && !run.diskFull && run.writeFailure.empty())
    ResolveLinks(false);
  SetDefaultTitle(web);
  host_.ShowRunEnd(flags & kCaptureScheduled);
  host_.SaveWeb(&run.saveFailure);
  run.ran = true;
}

// What went wrong or was left out, said once each; a scheduled run's end
// goes to its job.
void TCaptureRoad::reportRun(const TWeb& web, uint16_t flags, const StringList* urls, const TRunOutcome& run) {
  if (run.dialFailed)
    if (const QString text = ras_.ErrorText(); run.dialResult == drFailed && !text.isEmpty())
      Ask(bxDialFailed, text.toStdString());
  // A run the full disk ended is a failure, never taken for a whole capture.
  const std::string diskFullText =
      run.diskFull ? "Espace disque insuffisant dans " + web.Path().parent_path().string() +
                         " : la capture s'est arrêtée avant la fin, les adresses qui restent seront prises à la "
                         "prochaine capture."
                   : std::string();
  if (run.diskFull) Ask(bxDiskFull, diskFullText);
  // What a server withheld is not a whole capture either.
  for (const std::string& text : run.refusals) Ask(bxServerRefused, text);
  // A folder that refuses writes refuses the save too: one message says both.
  std::string writeText;
  if (!run.writeFailure.empty()) {
    writeText = run.writeFailure +
                (run.saveFailure.empty()
                     ? " : la capture s'est arrêtée, les adresses qui restent seront prises à la "
                       "prochaine capture."
                     : " : la capture s'est arrêtée et le web n'a pas pu être enregistré ; il reste tel "
                       "qu'à son dernier enregistrement.");
    Ask(bxWriteFailed, writeText);
  } else {
    // A scheduled run reports its failure to its job.
    if (!run.failure.empty() && run.failure != run.saveFailure && !(flags & kCaptureScheduled))
      Ask(bxRunFailed, run.failure);
    if (!run.saveFailure.empty()) Ask(bxSaveFailed, run.saveFailure);
  }
  if (run.leftOut.Count() > 0)
    Ask(bxLeftOut, TWeb::LeftOutText(run.leftOut) + "\r\nLa page « Liens ignorés » du web " +
                       (run.leftOut.Count() == 1 ? "la montre." : "les montre."));
  if (run.ran) ReportNothingCaptured(flags, run.stopped || !run.failure.empty(), urls);
  if (flags & kCaptureScheduled)
    ReportToScheduler(run.ran, run.stopped, urls,
                      !writeText.empty() ? writeText : run.failure.empty() ? diskFullText : run.failure,
                      run.diskFull || !writeText.empty());
}

// The program closes when asked; else a run that went through gets its
// bookmark, its home page and its hang-up as the options say.
bool TCaptureRoad::followUp(TWeb& web, uint16_t flags, const TRunOutcome& run) {
  if (closeAfter_ || (flags & kCaptureClose)) {
    host_.CloseProgram();
    return run.ran;
  }
  if (!run.ran) return false;
  if (web.GetCount() > 0 && setup_.AutoAddBookmark) host_.AddBookmark();
  if (setup_.AutoLaunch && !run.stopped && web.GetCount() > 0) {
    ProcessMessages();
    host_.OpenWebPage(kSummaryPage);
  }
  if ((flags & kCaptureHangUp) && !(flags & kCaptureScheduled)) HangUp(true);
  return true;
}

// ---------------------------------------------------------------- reports

// The report of a user's run that captured nothing.
void TCaptureRoad::ReportNothingCaptured(uint16_t flags, bool stopped, const StringList* urls) {
  const TWeb* web = host_.CurrentWeb();
  if ((flags & kCaptureScheduled) || stopped || urls || !web || web->RetrievedCount > 0) return;
  if (closeAfter_) return;  // the user asked to quit
  ReportEmptyCapture();
}

void TCaptureRoad::ReportEmptyCapture() {
  ProcessMessages();
  const int code = lastErrorCode_;
  switch (code) {
    case 301:
    case 302:
    case 400:
    case 404:
      AskUrlChange();
      return;
    default:
      break;
  }
  if (code != 0)
    Ask(bxUrlFailed, Format("Url : %s\r\n%s", lastErrorUrl_, CodeText(code)));
  else if (setup_.HTTPUseProxy && !setup_.HTTPProxyAdress.empty())
    Ask(bxProxyFailed, Format("Proxy : %s\r\n%s", lastErrorUrl_, CodeText(code)));
  else
    AskUrlChange();
}

void TCaptureRoad::AskUrlChange() {
  const std::string text = Format("L'url %s est erronée\r\n%s\r\nVoulez vous modifier l'url du Web?", lastErrorUrl_,
                                  CodeText(lastErrorCode_));
  const TWeb* web = host_.CurrentWeb();
  if (Ask(bxUrlInError, text) != IDYES || !web || web->StartEntries.empty()) return;
  // The capture configuration opens on its start URL page.
  host_.SelectTreePage(tpOptions);
}

// A scheduled run ends its step: with error 7 when the disk was full or
// the folder refused writes, 8 when it captured nothing or failed, else
// without an error.
void TCaptureRoad::ReportToScheduler(bool ran, bool stopped, const StringList* urls, const std::string& failure,
                                     bool storeFailed) {
  TScheduler* scheduler = host_.Scheduler();
  const TWeb* web = host_.CurrentWeb();
  if (!scheduler || !web) return;
  if (storeFailed) {
    scheduler->EndWebTask(web->Path().string(), false, teWebSave, failure);
    return;
  }
  const bool empty = ran && web->RetrievedCount == 0 && !stopped && !urls;
  std::string text = !failure.empty() ? failure : lastErrorUrl_;
  if (failure.empty() && !CodeText(lastErrorCode_).empty()) text += " : " + CodeText(lastErrorCode_);
  if (empty || !failure.empty())
    scheduler->EndWebTask(web->Path().string(), false, teUrl, text);
  else
    scheduler->EndWebTask(web->Path().string(), false, teNone, {});
}

void TCaptureRoad::JournalScheduledRun(const std::string& line) {
  TScheduler* scheduler = host_.Scheduler();
  if (!scheduler) return;
  auto lock = scheduler->LockTree();
  // A web step writes into its job's journal.
  if (TTask* job = scheduler->Root().FindActiveChild()) job->Log(line);
}

// ---------------------------------------------------------------- dial-up

TDialResult TCaptureRoad::Dial() {
  connectionFound_ = false;
  if ((setup_.UseRas || setup_.UseActiveRas) && !RasAvailable() && !LoadRasLibrary()) {
    // No dial-up library: an open connection will do when that is allowed.
    if (!setup_.UseActiveRas) return drFailed;
    host_.RefreshStatusHints();
    return drConnected;
  }
  if (setup_.UseActiveRas) {
    TConnectionList connections;
    if (connections.Refresh() && connections.FindConnected()) connectionFound_ = true;
  }
  if (!setup_.UseRas || connectionFound_) return drConnected;
  ras_.PhoneBook = IsWindowsNT() ? QString::fromStdString(setup_.RasPhoneBook) : QString();
  if (setup_.RasConnexion.empty()) return drFailed;
  ras_.LoadDialParams(QString::fromStdString(setup_.RasConnexion));
  ras_.EntryName = QString::fromStdString(setup_.RasConnexion);
  if (!setup_.DefaultIdent && !setup_.RasUserName.empty() && !setup_.RasPassword.empty()) {
    ras_.UserName = QString::fromStdString(setup_.RasUserName);
    ras_.Password = QString::fromStdString(setup_.RasPassword);
  }
  if (ras_.IsConnected()) {
    connectionFound_ = true;
    return drConnected;
  }
  if (ras_.Dial() != 0) return drFailed;
  // The outcome comes through the entry's events (or the stop command).
  dialing_ = true;
  while (dialing_) TCapture::WaitForEvents(100);
  const TDialResult result = ras_.State() == kRasStateConnected ? drConnected
                             : ras_.ErrorCode() == 0           ? drCancelled
                                                               : drFailed;
  host_.RefreshStatusHints();
  return result;
}

void TCaptureRoad::HangUp(bool hangUp) {
  if (!hangUp)
    dialing_ = false;
  else if (!connectionFound_)
    ras_.HangUp();
  else
    ras_.HangUpByName(ras_.EntryName.isEmpty() ? QString::fromStdString(setup_.RasConnexion) : ras_.EntryName);
  ProcessMessages();
}

// ---------------------------------------------------------------- link resolution

void TCaptureRoad::ResolveLinks(bool fromMenu) {
  TWeb* web = host_.CurrentWeb();
  if (!web || web->GetCount() == 0) return;
  if (web->Options.VignetteFlag) {
    const std::unique_ptr<TDlgVignettes> thumbnails = TDlgVignettes::CreateFor(host_.DialogParent(), *web, setup_);
    if (thumbnails) host_.ExecModal(*thumbnails);
  }
  TResolveDialog dlg(*web, setup_.Sommaire, host_.DialogParent());
  dlg.Walk().ForceRewrite = fromMenu;
  dlg.Walk().Threads = setup_.ResolveThreads;
  host_.ExecModal(dlg);
  if (!dlg.Error().empty()) Ask(bxResolveFailed, dlg.Error());
  if (const std::string text = dlg.Walk().NotRewrittenText(); !text.empty()) Ask(bxResolveFailed, text);
  host_.RefreshStatusHints();
}

// ---------------------------------------------------------------- what the run reports

void TCaptureRoad::AddWebFileToLists(const TWebFile& record) {
  // The last failure of the run, for the report when nothing came.
  if (record.GetState() == fsError || record.IsRedirect()) {
    lastErrorCode_ = record.GetWidth();
    lastErrorUrl_ = record.FullUrl;
  } else if (record.GetState() == fsNotFound) {
    lastErrorCode_ = 0;
    lastErrorUrl_ = record.FullUrl;
  }
  host_.AddWebFileToLists(record);
}

bool TCaptureRoad::ConfirmMovedStartUrl(const TWebFile& record, const std::string& location) {
  const std::string& old = record.FullUrl;
  if (location == old + "/") return true;
  const std::string text =
      Format("L'url %s\r\n\r\na été déplacée vers %s\r\n\r\nVoulez-vous l'utiliser comme URL de départ ?", old, location);
  return Ask(bxMovedStartUrl, text) == IDYES;
}

void TCaptureRoad::UpdateCountLabels() { host_.UpdateCountLabels(); }
void TCaptureRoad::RefreshWebTree() { host_.RefreshWebTree(); }
void TCaptureRoad::ShowElapsed(const std::string& text) { host_.ShowElapsed(text); }
void TCaptureRoad::SetConnectionWeb(int row, const std::string& text) {
  host_.Connections().SetWeb(row, QString::fromStdString(text));
}
void TCaptureRoad::SetConnectionUrl(int row, const std::string& text) {
  host_.Connections().SetUrl(row, QString::fromStdString(text));
}
void TCaptureRoad::SetConnectionState(int row, THTTP_STATE state) { host_.Connections().SetState(row, state); }
void TCaptureRoad::SetConnectionSize(int row, int64_t size) {
  host_.Connections().SetSize(row, qint32(std::min<int64_t>(size, INT32_MAX)));
}
void TCaptureRoad::SetConnectionProgress(int row, int percent) { host_.Connections().SetProgress(row, percent); }

}  // namespace qlon::shell
