// The main window's capture control: the run from the choice of what to
// capture to the follow-up at its end, stopping it, dial-up around it, link
// resolution, and what the run tells the window while it goes.
#include <QLabel>
#include <QUrl>
#include <cstdio>

#include "CopyDialog.h"
#include "Cookies.h"
#include "DlgChooseCapture.h"
#include "DlgStop.h"
#include "DlgSysTree.h"
#include "DlgVignettes.h"
#include "Main.h"
#include "MainWebOps.h"
#include "MessageBox.h"
#include "Ras.h"
#include "ResolveDialog.h"
#include "Scheduler.h"
#include "Setup.h"
#include "WBrowser.h"
#include "WSList.h"
#include "WUrlList.h"
#include "Web.h"
#include "WindowMessage.h"

namespace fs = std::filesystem;

namespace qlon {

using namespace platform;

namespace {

std::string Format(const char* pattern, const std::string& a, const std::string& b) {
  const int n = std::snprintf(nullptr, 0, pattern, a.c_str(), b.c_str());
  std::string text(size_t(std::max(n, 0)), '\0');
  std::snprintf(text.data(), text.size() + 1, pattern, a.c_str(), b.c_str());
  return text;
}

}  // namespace

void TMainWin::PostCapture(uint16_t flags) {
  CaptureFlags = flags;
  // The flags travel with the message: two posts keep their own.
  PostMessage(this, kCaptureMessage, flags, 0);
}

void TMainWin::CaptureMessage(uint16_t flags) {
  try {
    RunCapture(flags, nullptr, true);
  } catch (...) {
    // RunCapture did its end-of-run work; nothing more to do here.
  }
}

void TMainWin::StartCapture() {
  if (!web_ || Busy()) return;
  UrlList->DropPending();
  CommitDialogs();
  {
    TWaitCursor wait;
    web_->PrepareCapture();
    UpdateCountLabels();
  }
  uint16_t proposed = web_->GetCount() == 0 ? kCaptureReset | kCaptureMissing
                      : web_->ToCapture.Count() > 0 ? kCaptureMissing
                                                    : kCaptureUpdate;
  if (web_->ToUpdate.Count() > 0) proposed |= kCaptureUpdate;
  shell::TDlgChooseCapture dlg(proposed, this);
  if (ExecDialog(dlg) != QDialog::Accepted) return;
  uint16_t flags = dlg.Flags();
  if (flags & kCaptureScheduled) {
    // Here the bit asks for a start at the chosen date.
    ScheduleCapture(web_->Path().string(), flags, DateTimeToQDateTime(dlg.Date()));
    return;
  }
  if ((flags & kCaptureUpdate) && !(flags & kCaptureMissing) && web_->ToUpdate.Count() == 0)
    flags |= kCaptureUpdateWalk;
  RunCapture(flags, nullptr, false);
}

void TMainWin::ScheduleCapture(const std::string& webFile, uint16_t flags, const QDateTime& date) {
  TScheduler& scheduler = DlgScheduler->Scheduler();
  auto job = std::make_unique<TTask>(&scheduler);
  job->StartKind = skOnce;
  job->StartDate = QDateTimeToDateTime(date);
  if (flags & kCaptureHangUp) job->Flags |= kTaskHangUp;
  auto step = std::make_unique<TTaskWeb>(&scheduler);
  step->WebPath = webFile;
  step->Actions = kActionResolveLinks | (flags & kCaptureReset ? kActionReset : 0) |
                  (flags & kCaptureMissing ? kActionCapture : 0) | (flags & kCaptureUpdate ? kActionUpdate : 0);
  {
    auto lock = scheduler.LockTree();
    if (TTask* added = scheduler.Root().AddChild(std::move(job))) {
      added->AddChild(std::move(step));
      added->SetState(tsWaiting);
    }
  }
  scheduler.SaveTasks();
  SelectTreePage(tpScheduler);
}

bool TMainWin::RunCapture(uint16_t flags, const StringList* urls, bool prepare) {
  CloseRequests = 0;
  // One run at a time: a second request while one holds the web is dropped.
  if (!web_ || Capturing) return false;
  Capturing = true;
  CloseAfterCapture = false;
  LastErrorCode = 0;
  LastErrorUrl.clear();
  const std::optional<int32_t> limit = std::exchange(RunTimeLimit, std::nullopt);
  const int32_t storedLimit = web_->Options.MaxTime;
  const bool scheduled = flags & kCaptureScheduled;
  bool ran = false, dialFailed = false, stopped = false;
  int dialResult = 0;
  std::string failure;
  try {
    CommitDialogs();
    if (flags & kCaptureReset) {
      ProcessMessages();
      ResetWeb();
      web_->PrepareCapture();
      ProcessMessages();
    }
    CaptureFlags = flags;
    SetMode(2);
    RequestList->Reload();
    SocketList->Clear();
    if (!scheduled) SetView(1);
    ProcessMessages();
    if (!scheduled && (setup_.UseRas || setup_.UseActiveRas) && (dialResult = Dial()) != 0) {
      dialFailed = true;
    } else {
      {
        TWaitCursor wait;
        if (!urls) {
          if (prepare) web_->PrepareCapture();
          // As the start command does: an update with nothing marked for it
          // (from a shortcut, the scheduler) marks the retrieved records first.
          if (prepare && (flags & kCaptureUpdate) && !(flags & kCaptureMissing) && web_->ToUpdate.Count() == 0)
            flags |= kCaptureUpdateWalk;
        } else {
          web_->QueueUrls(*urls, flags & kCaptureUpdate);
        }
      }
      if (limit) web_->Options.MaxTime = *limit;
      Capture = std::make_unique<TCapture>(*web_, setup_, *this, HttpRequestFactory(&setup_), GlobalMimeList(),
                                           &CookiesBase());
      CaptureFlags = flags;
      Capture->SetFlags(flags);
      ProcessMessages();
      try {
        while (Capture->Step()) TCapture::WaitForEvents(100);
      } catch (const std::exception& e) {
        failure = e.what();
      }
      SetMode(1);
      stopped = Capture->Stopped;
      Capture.reset();
      if (limit) web_->Options.MaxTime = storedLimit;
      // Only a whole update walk tells which records nothing links to.
      if ((flags & kCaptureUpdate) && !stopped && failure.empty() && CountToUpdate(*web_) == 0)
        RemoveIsolatedRecords(*web_);
      if (web_->RetrievedCount > 0 && !(flags & kCaptureNoResolve)) ResolveLinks(false);
      SetDefaultTitle(*web_);
      RefreshState();
      if (!scheduled) Tree->SelectPage(tpWeb);
      ProcessMessages();
      UrlList->Reload();
      SaveWeb();
      ran = true;
    }
  } catch (const std::exception& e) {
    failure = e.what();
  }
  // Whatever happened above, the run ends here.
  if (Capture) {
    stopped = Capture->Stopped;
    Capture.reset();
  }
  if (web_ && limit) web_->Options.MaxTime = storedLimit;
  if (!ran && !dialFailed && web_) SaveWeb();
  Capturing = false;
  if (mode_ == 2) SetMode(1);
  if (dialFailed) {
    if (const QString text = RasEntry->ErrorText(); dialResult == 1 && !text.isEmpty())
      ShowMessageBox(text.toStdString(), "Connexion au réseau à distance...", MB_OKCANCEL | MB_ICONHAND);
    RefreshState();
  }
  ReportNothingCaptured(flags, stopped || !failure.empty(), urls);
  if (scheduled && DlgScheduler && web_) {
    const bool empty = ran && web_->RetrievedCount == 0 && !stopped && !urls;
    std::string text = !failure.empty() ? failure : LastErrorUrl;
    if (failure.empty() && !HttpStatusText(LastErrorCode).empty()) text += " : " + HttpStatusText(LastErrorCode);
    if (empty || !failure.empty())
      DlgScheduler->Scheduler().EndWebTask(web_->Path().string(), false, 8, text);
    else
      DlgScheduler->Scheduler().EndWebTask(web_->Path().string(), false, 0, {});
  }
  if (CloseAfterCapture || (flags & kCaptureClose)) {
    CloseLater();
    return ran;
  }
  if (!ran) return false;
  if (web_ && web_->GetCount() > 0 && setup_.AutoAddBookmark)
    AddWebBookmark(*Bookmarks, setup_, *this, WebBookmarkOf(*web_));
  if (web_ && setup_.AutoLaunch && !stopped && web_->GetCount() > 0) {
    ProcessMessages();
    OpenWebPage("_Accueil.htm");
  }
  if ((flags & kCaptureHangUp) && !scheduled) HangUp(true);
  return true;
}

// The report of a user's run that captured nothing.
void TMainWin::ReportNothingCaptured(uint16_t flags, bool stopped, const StringList* urls) {
  if ((flags & kCaptureScheduled) || stopped || urls || !web_ || web_->RetrievedCount > 0) return;
  if (CloseAfterCapture || (flags & kCaptureClose)) return;  // nobody waits for an answer
  ReportEmptyCapture();
}

void TMainWin::ReportEmptyCapture() {
  ProcessMessages();
  const int code = LastErrorCode;
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
  if (code != 0) {
    ErrorBox(kIconHand, 4, Format("Url : %s\r\n%s", LastErrorUrl, HttpStatusText(code)), 4);
  } else if (setup_.HTTPUseProxy && !setup_.HTTPProxyAdress.empty()) {
    ErrorBox(kIconHand, 3, Format("Proxy : %s\r\n%s", LastErrorUrl, HttpStatusText(code)), 4);
  } else {
    AskUrlChange();
  }
}

void TMainWin::AskUrlChange() {
  const std::string text =
      Format("L'url %s est erronée\r\n%s\r\nVoulez vous modifier l'url du Web?", LastErrorUrl, HttpStatusText(LastErrorCode));
  if (ErrorBox(kIconHand, 4, text, 1) != IDYES || !web_ || web_->StartEntries.empty()) return;
  // The capture configuration opens on its start URL page.
  SelectTreePage(tpOptions);
}

void TMainWin::StopCapture() {
  UrlList->DropPending();
  Dialing = false;
  if (mode_ != 2 || !Capture) return;
  TDlgStop dlg(this);
  if (ExecDialog(dlg) == QDialog::Accepted && Capture) Capture->Stop(!dlg.FinishTransfers());
}

int TMainWin::Dial() {
  ConnectionFound = false;
  if ((setup_.UseRas || setup_.UseActiveRas) && !RasAvailable() && !LoadRasLibrary()) {
    // No dial-up library: an open connection will do when that is allowed.
    if (!setup_.UseActiveRas) return 1;
    RefreshStatusHints();
    return 0;
  }
  if (setup_.UseActiveRas) {
    TConnectionList connections;
    if (connections.Refresh() && connections.FindConnected()) ConnectionFound = true;
  }
  if (!setup_.UseRas || ConnectionFound) return 0;
  RasEntry->PhoneBook = IsWindowsNT() ? QString::fromStdString(setup_.RasPhoneBook) : QString();
  if (setup_.RasConnexion.empty()) return 1;
  RasEntry->LoadDialParams(QString::fromStdString(setup_.RasConnexion));
  RasEntry->EntryName = QString::fromStdString(setup_.RasConnexion);
  if (!setup_.DefaultIdent && !setup_.RasUserName.empty() && !setup_.RasPassword.empty()) {
    RasEntry->UserName = QString::fromStdString(setup_.RasUserName);
    RasEntry->Password = QString::fromStdString(setup_.RasPassword);
  }
  if (RasEntry->IsConnected()) {
    ConnectionFound = true;
    return 0;
  }
  if (RasEntry->Dial() != 0) return 1;
  // The outcome comes through the entry's events (or the stop command).
  Dialing = true;
  while (Dialing) TCapture::WaitForEvents(100);
  const int result = RasEntry->State() == kRasStateConnected ? 0 : RasEntry->ErrorCode() == 0 ? 2 : 1;
  RefreshStatusHints();
  return result;
}

void TMainWin::HangUp(bool hangUp) {
  if (!hangUp)
    Dialing = false;
  else if (!ConnectionFound)
    RasEntry->HangUp();
  else
    RasEntry->HangUpByName(RasEntry->EntryName.isEmpty() ? QString::fromStdString(setup_.RasConnexion)
                                                         : RasEntry->EntryName);
  ProcessMessages();
}

void TMainWin::ResolveLinks(bool fromMenu) {
  if (!web_ || web_->GetCount() == 0) return;
  if (web_->Options.VignetteFlag) {
    const std::unique_ptr<TDlgVignettes> thumbnails = TDlgVignettes::CreateFor(this, *web_);
    if (thumbnails) ExecDialog(*thumbnails);
  }
  controls::TResolveDialog dlg(*web_, setup_.Sommaire, this);
  dlg.Walk().ForceRewrite = fromMenu;
  dlg.Walk().Threads = setup_.ResolveThreads;
  ExecDialog(dlg);
  if (!dlg.Error().empty()) ShowMessageBox(dlg.Error(), "Résolution des liens", MB_OK | MB_ICONHAND);
  RefreshStatusHints();
}

void TMainWin::MenuCaptureResolveLinksClick() {
  if (!web_ || Busy()) return;
  UrlList->DropPending();
  CommitDialogs();
  ResolveLinks(true);
  SaveWeb();
}

void TMainWin::RemoveIsolatedLinks() {
  if (!web_ || Busy()) return;
  if (CountToUpdate(*web_) > 0 &&
      ShowMessageBox("Attention, vous n'avez pas terminé votre mise à jour\r\n"
                     "voulez-vous quand supprimer les liens isolés?",
                     "Suppression des liens isolés", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
    return;
  if (RemoveIsolatedRecords(*web_) > 0) {
    SaveWeb();
    UrlList->Reload();
    RefreshWebInfo();
  }
}

void TMainWin::CopyOrMoveWeb(bool move) {
  if (!web_ || Busy()) return;
  const fs::path folder = web_->Path().parent_path();
  controls::TDlgDir dlg(this);
  dlg.setWindowTitle(move ? "Déplacement d'un Web" : "Copie d'un Web");
  dlg.SetPath(QString::fromStdString(folder.string()));
  if (ExecDialog(dlg) != QDialog::Accepted) return;
  const fs::path target = dlg.GetPath().toStdString();
  std::error_code ec;
  if (target.empty() || fs::weakly_canonical(target, ec) == fs::weakly_canonical(folder, ec)) return;
  ProcessMessages();
  const std::string oldPath = web_->Path().string();
  try {
    controls::TCopyDialog view(this);
    if (move) {
      if (web_->MoveTo(target, {}, &view)) RemoveRecentWeb(oldPath);
    } else {
      web_->CopyTo(target, {}, &view);
    }
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), move ? "Déplacement d'un Web" : "Copie d'un Web", MB_OK | MB_ICONHAND);
  }
  ProcessMessages();
  RefreshWebInfo();
  AddRecentWeb(web_->Path());
}

void TMainWin::OpenWebPage(const std::string& relative) {
  if (!web_) return;
  const fs::path page = web_->Path().parent_path() / relative;
  std::error_code ec;
  if (fs::is_regular_file(page, ec))
    GetBrowser().OpenUrl(QUrl::fromLocalFile(QString::fromStdString(page.string())).toString().toStdString());
}

void TMainWin::MenuHtmlPageBookmarkClick() {
  if (!web_) return;
  CommitDialogs();
  std::error_code ec;
  if (!setup_.BookmarkFile.empty() && fs::is_regular_file(setup_.BookmarkFile, ec))
    GetBrowser().OpenUrl(QUrl::fromLocalFile(QString::fromStdString(setup_.BookmarkFile)).toString().toStdString());
}

// ---------------------------------------------------------------- what the run reports

void TMainWin::UpdateCountLabels() {
  auto show = [](QLabel* label, uint64_t n) { label->setText(QString::number(n) + " "); };
  if (!web_) {
    for (QLabel* l : {LinkCountLabel, ToRetrieveCountLabel, FilteredCountLabel, ErrorCountLabel, ToUpdateCountLabel,
                      CapturedCountLabel})
      l->clear();
    return;
  }
  show(LinkCountLabel, web_->GetCount());
  show(ToRetrieveCountLabel, uint64_t(web_->ToCapture.Count()));
  show(FilteredCountLabel, web_->FilteredCount);
  show(ErrorCountLabel, web_->ErrorCount + web_->NotFoundCount);
  show(ToUpdateCountLabel, uint64_t(web_->ToUpdate.Count()));
  show(CapturedCountLabel, web_->RetrievedCount);
}

void TMainWin::AddWebFileToLists(const TWebFile& record) {
  // The last failure of the run, for the report when nothing came.
  if (record.GetState() == fsError || record.IsRedirect()) {
    LastErrorCode = record.GetWidth();
    LastErrorUrl = record.FullUrl;
  } else if (record.GetState() == fsNotFound) {
    LastErrorCode = 0;
    LastErrorUrl = record.FullUrl;
  }
  RequestList->WebFileChanged(record);
  if (record.GetState() == fsToCapture || (view_ != 2 && view_ != 5)) return;
  UrlList->WebFileChanged(record);
  if (UrlList->Style() == usImages && record.IsRetrieved() && IsImage(record))
    Tree->AddImage(record, setup_.ViewLastImageFlag && view_ == 5);
}

bool TMainWin::ConfirmMovedStartUrl(const TWebFile& record, const std::string& location) {
  const std::string& old = record.FullUrl;
  if (location == old + "/") return true;
  // Nobody answers during a scheduled run: the start URL stays.
  if (CaptureFlags & kCaptureScheduled) return false;
  const std::string text = Format("L'url %s\r\n\r\na été déplacée vers %s\r\n\r\nVoulez-vous l'utiliser comme URL de départ ?",
                                  old, location);
  return ShowMessageBox(text, kProgramTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

void TMainWin::RefreshWebTree() { Tree->Refresh(); }
void TMainWin::ShowElapsed(const std::string& text) { ElapsedLabel->setText(QString::fromStdString(text)); }
void TMainWin::SetConnectionWeb(int row, const std::string& text) { SocketList->SetWeb(row, QString::fromStdString(text)); }
void TMainWin::SetConnectionUrl(int row, const std::string& text) { SocketList->SetUrl(row, QString::fromStdString(text)); }
void TMainWin::SetConnectionState(int row, THTTP_STATE state) { SocketList->SetState(row, state); }
void TMainWin::SetConnectionSize(int row, int64_t size) {
  SocketList->SetSize(row, qint32(std::min<int64_t>(size, INT32_MAX)));
}
void TMainWin::SetConnectionProgress(int row, int percent) { SocketList->SetProgress(row, percent); }

}  // namespace qlon
