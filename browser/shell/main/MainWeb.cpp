// The main window's side of the open web (WebSession.h): the host of TWebSession,
// which shows the web in the pages and runs the wizard and the open dialog
// for it, and how the docked dialogs and the web's counters follow the web.
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>

#include "CapturePage.h"
#include "DlgSetup.h"
#include "DlgWeb.h"
#include "DockedForms.h"
#include "MainHosts.h"
#include "MapEditor.h"
#include "Setup.h"
#include "Unattended.h"
#include "UrlPage.h"
#include "WUrlList.h"
#include "Web.h"

namespace qlon {

using shell::ProcessMessages;
using shell::TWaitCursor;

// ---------------------------------------------------------------- the open web's host

bool TMainWin::TSessionHost::WebMayClose() {
  if (!win_.CurrentWeb()) return true;
  if (win_.road_->Running()) return false;
  if (win_.UrlPage->SearchPanel->Searching()) {
    win_.UrlPage->SearchPanel->StopSearch();
    return false;
  }
  return true;
}

void TMainWin::TSessionHost::DropPending() { win_.UrlPage->UrlList->DropPending(); }

void TMainWin::TSessionHost::ShowWeb(TWeb& web) {
  win_.UpdateCaption();
  win_.SetMode(mmWebOpen);
  win_.UrlPage->UrlList->SetWeb(&web);
  win_.MapEditor->SetWeb(&web);
  win_.Tree->SetWeb(&web);
  win_.CapturePage->SetWeb(&web);
  win_.CapturePage->UpdateCountLabels(&web);
  win_.RefreshState();
}

void TMainWin::TSessionHost::HideWeb(bool closing) {
  if (closing) win_.Docked->DropWebConfig();
  win_.Tree->SetWeb(nullptr);
  win_.UrlPage->UrlList->SetWeb(nullptr);
  win_.CapturePage->SetWeb(nullptr);
  win_.MapEditor->SetWeb(nullptr);
  win_.UrlPage->ReleasePreview();
}

void TMainWin::TSessionHost::WebClosed(bool keepView) {
  if (!keepView) win_.SetView(mvHome);
  win_.RefreshState();
}

void TMainWin::TSessionHost::WebReset(TWeb& web) {
  win_.MapEditor->Reset();
  win_.RefreshWebInfo();
  win_.Tree->SetWeb(&web);
  win_.UrlPage->UrlList->SetWeb(&web);
  win_.CapturePage->ResetWeb(&web);
  win_.MapEditor->SetWeb(&web);
  win_.RefreshState();
}

void TMainWin::TSessionHost::WebDeleting(const TWeb& web) {
  RemoveWebBookmark(*win_.Bookmarks, setup_, WebBookmarkOf(web));
}

std::optional<shell::TNewWebChoice> TMainWin::TSessionHost::AskNewWeb(
    TWeb& web, const shell::TNewWebSeed& seed, const std::function<bool(const std::string&)>& acceptFolder) {
  shell::TDlgWeb dlg(setup_, &win_);
  dlg.LoadWeb(nullptr);  // a new web: the settings' defaults
  if (!seed.Url.empty()) dlg.Pages.Url->UrlCombo->setEditText(QString::fromStdString(seed.Url));
  if (!seed.User.empty() || !seed.Password.empty()) {
    dlg.Pages.Url->UserNameEdit->setText(QString::fromStdString(seed.User));
    dlg.Pages.Url->PasswordEdit->setText(QString::fromStdString(seed.Password));
  }
  // The folder is settled while the wizard is open, so that a refused one
  // leaves the user on its page.
  dlg.OnAccepted = [&](shell::TDlgWeb& d) {
    if (!d.ApplyTo(web)) return false;
    if (acceptFolder(d.CaptureFolder())) return true;
    d.GoToPage(shell::TDlgWeb::pgPath);
    return false;
  };
  if (!shell::MayAsk(dlg.windowTitle().toStdString())) return std::nullopt;
  if (!(win_.Asks.RunWebDialog ? win_.Asks.RunWebDialog(dlg) : dlg.ExecuteModal())) return std::nullopt;
  return shell::TNewWebChoice{dlg.CaptureFile(), dlg.CaptureRequested};
}

std::string TMainWin::TSessionHost::AskWebFile() {
  const QString chosen = win_.Asks.OpenWebFile ? win_.Asks.OpenWebFile()
                                               : QFileDialog::getOpenFileName(
                                                     &win_, "Ouverture d'un Web",
                                                     QString::fromStdString(setup_.WorkPath), "fichier Web (*.web)");
  return chosen.toStdString();
}

void TMainWin::TSessionHost::StartCapture() { win_.PostCapture(kCaptureMissing); }

std::shared_ptr<void> TMainWin::TSessionHost::Wait() { return std::make_shared<TWaitCursor>(); }

// ---------------------------------------------------------------- the web's dialogs and counters

void TMainWin::CommitDialogs() {
  TWeb* web = CurrentWeb();
  if (!web) return;
  if (Docked->Options) Docked->Options->StorePages();
  Menus->KeepImageRatioCheck->setChecked(setup_.KeepImageRatioFlag);
  Menus->OptionsMenuViewLastImage->setChecked(setup_.ViewLastImageFlag);
  Menus->OptionsMenuViewFrame->setChecked(setup_.ViewFrameFlag);
  if (shell::TDlgWeb* config = Docked->WebConfig; config && config->Web() == web && config->ApplyTo(*web)) {
    // A new title shows at once where the window names the web.
    UpdateCaption();
    session_->Retitled();
  }
}

void TMainWin::RefreshWebInfo() {
  TWeb* web = CurrentWeb();
  if (!web) return;
  TWaitCursor wait;
  ProcessMessages();
  CapturePage->UpdateCountLabels(web);
  UpdateCaption();
  if (shell::TDlgWeb* config = Docked->WebConfig; config && config->Web() == web) config->LoadWeb(web);
  RefreshStatusHints();
}

}  // namespace qlon
