// The main window's capture commands: the menu handlers that start and stop
// the capture road (CaptureRoad.h), the commands on a captured web (link
// resolution, isolated links, copy and move, its pages), and the road's
// host (MainHosts.h): the state and the lists a run shows.

#include "CapturePage.h"
#include "CaptureRoad.h"
#include "CopyDialog.h"
#include "DlgSysTree.h"
#include "MainHosts.h"
#include "MainWebOps.h"
#include "MessageBox.h"
#include "Setup.h"
#include "UrlPage.h"
#include "WBrowser.h"
#include "WUrlList.h"
#include "Web.h"
#include "WindowMessage.h"

namespace fs = std::filesystem;

namespace qlon {

using namespace platform;
using shell::ProcessMessages;

void TMainWin::PostCapture(uint16_t flags) {
  // The flags travel with the message: two posts keep their own.
  PostMessage(this, kCaptureMessage, flags, 0);
}

void TMainWin::CaptureMessage(uint16_t flags) {
  // The road ends its run and saves the web whatever fails inside it; what
  // still escapes (a follow-up of the run) is told, never dropped.
  try {
    road_->Run(flags, nullptr, true);
  } catch (const std::exception& e) {
    ShowMessageBox(std::string("La capture s'est terminée sur une erreur : ") + e.what(), kProgramTitle,
                   MB_OK | MB_ICONHAND);
  } catch (...) {
    ShowMessageBox("La capture s'est terminée sur une erreur inconnue.", kProgramTitle, MB_OK | MB_ICONHAND);
  }
}

void TMainWin::StartCapture() {
  if (!CurrentWeb() || Busy()) return;
  UrlPage->UrlList->DropPending();
  road_->Start();
}

void TMainWin::StopCapture() {
  UrlPage->UrlList->DropPending();
  road_->Stop();
}

void TMainWin::MenuCaptureResolveLinksClick() {
  if (!CurrentWeb() || Busy()) return;
  UrlPage->UrlList->DropPending();
  CommitDialogs();
  road_->ResolveLinks(true);
  session_->Save();
  EnableMenus();  // the web's pages are there now
}

void TMainWin::RemoveIsolatedLinks() {
  TWeb* web = CurrentWeb();
  if (!web || Busy()) return;
  if (CountToUpdate(*web) > 0 &&
      ShowMessageBox("Attention, vous n'avez pas terminé votre mise à jour\r\n"
                     "voulez-vous quand supprimer les liens isolés?",
                     "Suppression des liens isolés", MB_YESNO | MB_ICONEXCLAMATION) != IDYES)
    return;
  if (RemoveIsolatedRecords(*web) > 0) {
    session_->Save();
    UrlPage->UrlList->Reload();
    RefreshWebInfo();
  }
}

void TMainWin::CopyOrMoveWeb(bool move) {
  TWeb* web = CurrentWeb();
  if (!web || Busy()) return;
  const fs::path folder = web->Path().parent_path();
  controls::TDlgDir dlg(this);
  dlg.setWindowTitle(move ? "Déplacement d'un Web" : "Copie d'un Web");
  dlg.SetPath(QString::fromStdString(folder.string()));
  if (Asks.ExecDialog(dlg) != QDialog::Accepted) return;
  const std::string chosen = dlg.GetPath().toStdString();
  if (chosen.empty()) return;
  const fs::path target = NormalFolder(chosen);  // given with or without its "/"
  std::error_code ec;
  if (fs::weakly_canonical(target, ec) == fs::weakly_canonical(folder, ec)) return;
  ProcessMessages();
  const std::string oldPath = web->Path().string();
  const std::string caption = move ? "Déplacement d'un Web" : "Copie d'un Web";
  const std::string from = PrintableText(folder.string()), to = PrintableText(target.string());
  try {
    shell::TCopyDialog view(this);
    // How it ended, said: the copy runs in a window that closes by itself.
    if (!move) {
      web->CopyTo(target, {}, &view);
      if (view.Cancelled())
        ShowMessageBox("La copie du Web a été interrompue : " + to +
                           " ne contient que les fichiers copiés jusque-là, avec les pages d'index, les vignettes et "
                           "le fichier du Web.",
                       caption, MB_OK | MB_ICONEXCLAMATION);
      else
        ShowMessageBox("Le Web a été copié dans " + to + ".", caption, MB_OK | MB_ICONINFORMATION);
    } else if (!web->MoveTo(target, {}, &view)) {
      ShowMessageBox("Le déplacement du Web a été annulé : il est resté dans " + from + ".", caption,
                     MB_OK | MB_ICONINFORMATION);
    } else {
      session_->Recent().Remove(oldPath);  // AddRecent below saves
      std::string text = "Le Web a été déplacé dans " + to + ".";
      if (fs::exists(fs::symlink_status(folder, ec)))
        text += "\r\nLe dossier " + from + " reste : ce qu'il contient encore n'appartient pas au Web.";
      ShowMessageBox(text, caption, MB_OK | MB_ICONINFORMATION);
    }
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), caption, MB_OK | MB_ICONHAND);
  }
  ProcessMessages();
  RefreshWebInfo();
  session_->AddRecent(web->Path());
}

void TMainWin::OpenWebPage(const std::string& relative) {
  if (const auto page = WebPage(CurrentWeb(), relative)) OpenInBrowser(PathToFileUrl(page->string()));
}

void TMainWin::MenuHtmlPageBookmarkClick() {
  if (!CurrentWeb()) return;
  CommitDialogs();
  std::error_code ec;
  if (!setup_.BookmarkFile.empty() && fs::is_regular_file(setup_.BookmarkFile, ec))
    OpenInBrowser(PathToFileUrl(setup_.BookmarkFile));
}

// ---------------------------------------------------------------- the road's host

void TMainWin::TRoadHost::AddWebFileToLists(const TWebFile& record) {
  win_.CapturePage->RecordChanged(record);
  if (record.GetState() == fsToCapture || (win_.View() != mvPicture && win_.View() != mvUrls)) return;
  TWUrlList& list = *win_.UrlPage->UrlList;
  list.WebFileChanged(record);
  if (list.Style() == usImages && record.IsRetrieved() && IsImage(record))
    win_.Tree->AddImage(record, setup_.ViewLastImageFlag && win_.View() == mvUrls);
}

void TMainWin::TRoadHost::ShowRunEnd(bool scheduled) {
  win_.RefreshState();
  if (!scheduled) win_.Tree->SelectPage(tpWeb);
  ProcessMessages();
  win_.UrlPage->UrlList->Reload();
}

void TMainWin::TRoadHost::RefreshWebTree() { win_.Tree->Refresh(); }

void TMainWin::TRoadHost::AddBookmark() {
  if (const TWeb* web = win_.CurrentWeb()) AddWebBookmark(*win_.Bookmarks, setup_, bookmarks_, WebBookmarkOf(*web));
}

TScheduler* TMainWin::TRoadHost::Scheduler() {
  return win_.Docked->Scheduler ? &win_.Docked->Scheduler->Scheduler() : nullptr;
}

}  // namespace qlon
