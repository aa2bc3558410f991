// The main window's webs: new, open, save, close, reset and delete, and how
// the lists and docked dialogs follow the current web.
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>

#include "CapturePage.h"
#include "DlgSetup.h"
#include "DlgWeb.h"
#include "MapEditor.h"
#include "MainHosts.h"
#include "MainWebOps.h"
#include "MessageBox.h"
#include "Setup.h"
#include "Unattended.h"
#include "UrlPage.h"
#include "WUrlList.h"
#include "Web.h"

namespace fs = std::filesystem;

namespace qlon {

using namespace platform;
using shell::ProcessMessages;
using shell::TWaitCursor;

namespace {

// The folder without its final "/" (how folders are shown to the user).
std::string FolderText(const fs::path& folder) {
  std::string text = folder.string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  return text;
}

bool SameFolder(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return !a.empty() && !b.empty() && fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

// Missing, or a folder with nothing in it.
bool IsEmptyFolder(const std::string& folder) {
  std::error_code ec;
  return !fs::exists(fs::symlink_status(folder, ec)) || (fs::is_directory(folder, ec) && fs::is_empty(folder, ec));
}

// False, and said, when the file to open is not there.
bool WebFileThere(const std::string& path) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec)) return true;
  ShowMessageBox("Le web " + PrintableText(path) + " n'existe pas.", "Ouverture d'un Web", MB_OK | MB_ICONHAND);
  return false;
}

}  // namespace

int TMainWin::Ask(const std::string& text, const std::string& caption) {
  return ShowMessageBox(text, caption, MB_YESNOCANCEL | MB_ICONQUESTION);
}

void TMainWin::NewWeb(const std::string& baseFile, const std::string& url, bool makeCurrent) {
  // A capture holds the current web; and the previous web is always closed
  // before another becomes current.
  if (Busy() || (makeCurrent && !CloseWeb(false))) return;
  auto web = std::make_unique<TWeb>();
  shell::TDlgWeb dlg(setup_, this);
  dlg.LoadWeb(nullptr);
  if (!baseFile.empty()) {
    // The base is read, never written: the new web takes a copy of it.
    TWeb base;
    try {
      if (base.Open(baseFile) == wlOk) {
        web->Options.Assign(base.Options);
        web->StartEntries = base.StartEntries;
        web->SetTitle(base.GetTitle());
      }
    } catch (const Exception&) {
    }
    if (!web->StartEntries.empty()) dlg.UrlCombo->setEditText(QString::fromStdString(web->StartEntries[0].Url));
  }
  if (!url.empty()) {
    AddStartUrl(*web, url);
    dlg.UrlCombo->setEditText(QString::fromStdString(url));
  }
  // The folder is settled while the wizard is open, so that a refused one
  // leaves the user on its page.
  dlg.OnAccepted = [&](shell::TDlgWeb& d) { return d.ApplyTo(*web) && AcceptNewWebFolder(d); };
  if (!shell::MayAsk(dlg.windowTitle().toStdString())) return;
  if (!(RunWebDialog ? RunWebDialog(dlg) : dlg.ExecuteModal())) return;
  const bool startNow = dlg.CaptureRequested;
  const fs::path file = dlg.CaptureFile();
  std::error_code ec;
  if (fs::exists(fs::symlink_status(file, ec))) {
    // Another web's capture file is never replaced by an empty one.
    ShowMessageBox("Le répertoire " + FolderText(file.parent_path()) + " contient déjà un web.", "Création du web",
                   MB_OK | MB_ICONHAND);
    return;
  }
  try {
    web->CreateNew(file);
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), "Création du web", MB_OK | MB_ICONHAND);
    return;
  }
  if (makeCurrent) SetCurrentWeb(std::move(web));
  setup_.SaveSettings();
  if (startNow && makeCurrent) PostCapture(kCaptureMissing);
}

// Offers to empty a folder that is not empty; true when it is empty (or
// missing) afterwards.
bool TMainWin::ClearFolder(const std::string& folder) {
  if (IsEmptyFolder(folder)) return true;
  const std::string text =
      "Le répertoire " + folder + "  n'est pas vide, voulez-vous effacer les fichiers qui s'y trouvent?";
  if (ShowMessageBox(text, "Effacement", MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  if (!MayDeleteWebFolder(folder, setup_.WorkPath, programFolder_)) {
    ShowMessageBox("Le répertoire " + FolderText(folder) + " ne peut pas être effacé.", "Effacement",
                   MB_OK | MB_ICONHAND);
    return false;
  }
  TWaitCursor wait;
  ProcessMessages();
  DeleteFolderTree(folder, false);
  return IsEmptyFolder(folder);
}

// Whether the wizard's destination may receive a new web: never a folder
// the program or the user lives in, nor one that holds another web or files
// the user keeps (after the offer to empty it). When refused the wizard
// shows why, on its destination page.
bool TMainWin::AcceptNewWebFolder(shell::TDlgWeb& dlg) {
  const std::string folder = dlg.CaptureFolder();
  const auto refuse = [&](const std::string& why) {
    ShowMessageBox("Le répertoire " + FolderText(folder) + why, "Destination", MB_OK | MB_ICONEXCLAMATION);
    dlg.GoToPage(shell::TDlgWeb::pgPath);
    return false;
  };
  // A capture folder is deleted as a whole with its web.
  if (!MayDeleteWebFolder(folder, setup_.WorkPath, programFolder_))
    return refuse(" ne peut pas recevoir une capture : choisissez un de ses sous-répertoires.");
  if (web_ && (IsWithin(folder, web_->Path().parent_path()) || IsWithin(web_->Path().parent_path(), folder)))
    return refuse(" recouvre celui du web ouvert : le nouveau web n'y est pas créé.");
  if (!ClearFolder(folder))
    return refuse(" n'est pas vide : choisissez un autre répertoire pour le nouveau web.");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return refuse(" ne peut pas être créé.");
  return true;
}

bool TMainWin::OpenWeb(const std::string& path, bool keepView) {
  // The open web stays until the chosen one is open: Annuler in the dialog,
  // or a file that does not open, leaves it as it was.
  if (!WebMayClose()) return false;
  std::string file = path;
  if (file.empty()) {
    const QString chosen =
        AskOpenWebFile ? AskOpenWebFile()
                       : QFileDialog::getOpenFileName(this, "Ouverture d'un Web", QString::fromStdString(setup_.WorkPath),
                                                      "fichier Web (*.web)");
    if (chosen.isEmpty()) return false;
    file = chosen.toStdString();
  }
  return ReplaceWeb(file, keepView);
}

void TMainWin::OpenWebFile(const std::string& path) { ReplaceWeb(path, false); }

void TMainWin::OpenRecentWeb(int index) {
  if (index < 0 || index >= recent_.Paths().size()) return;
  ReplaceWeb(recent_.Paths()[index].toStdString(), false);
}

bool TMainWin::WebMayClose() {
  if (!web_) return true;
  if (road_->Running()) return false;
  if (UrlPage->SearchPanel->Searching()) {
    UrlPage->SearchPanel->StopSearch();
    return false;
  }
  return true;
}

bool TMainWin::ReplaceWeb(const std::string& path, bool keepView) {
  if (!WebMayClose()) return false;
  if (web_ && SamePath(path, web_->Path())) return true;  // it is open already
  auto web = std::make_unique<TWeb>();
  {
    // No events run while both webs are open: a pending page change would
    // act on the web being replaced.
    TWaitCursor wait;
    bool opened = false;
    try {
      if (WebFileThere(path) && !(opened = web->Open(path) == wlOk))
        ShowMessageBox(CannotOpenWebText(path, *web), "Ouverture d'un Web", MB_OK | MB_ICONHAND);
    } catch (const Exception& e) {
      ShowMessageBox(e.message(), "Ouverture d'un Web", MB_OK | MB_ICONHAND);
    }
    if (!opened) return false;
  }
  if (!CloseWeb(keepView)) {
    // The open web stays (Cancel, a failed save): the other one goes untouched.
    try {
      web->Close();
    } catch (const Exception&) {
    }
    return false;
  }
  SetCurrentWeb(std::move(web));
  return true;
}

void TMainWin::SetCurrentWeb(std::unique_ptr<TWeb> web) {
  web_ = std::move(web);
  AddRecentWeb(web_->Path());
  UpdateCaption();
  SetMode(mmWebOpen);
  UrlPage->UrlList->SetWeb(web_.get());
  MapEditor->SetWeb(web_.get());
  Tree->SetWeb(web_.get());
  CapturePage->SetWeb(web_.get());
  CapturePage->UpdateCountLabels(web_.get());
  RefreshState();
  if (!web_->OpenNote().empty()) ShowMessageBox(web_->OpenNote(), "Ouverture d'un Web", MB_OK | MB_ICONEXCLAMATION);
}

void TMainWin::DetachWeb() {
  Tree->SetWeb(nullptr);
  UrlPage->UrlList->SetWeb(nullptr);
  CapturePage->SetWeb(nullptr);
  MapEditor->SetWeb(nullptr);
  UrlPage->ReleasePreview();
}

bool TMainWin::SaveWeb(std::string* failure) {
  if (!web_) return false;
  try {
    const bool saved = web_->Save();
    if (saved) reportedSaveFailure_.clear();
    return saved;
  } catch (const Exception& e) {
    if (failure) {
      *failure = reportedSaveFailure_ = e.message();
    } else if (e.message() != reportedSaveFailure_ || !Unattended().Active()) {
      ShowMessageBox(e.message(), "Enregistrement du web", MB_OK | MB_ICONHAND);
    }
    return false;
  }
}

bool TMainWin::CloseWeb(bool keepView) {
  UrlPage->UrlList->DropPending();
  if (web_) {
    // Never under a running capture or search.
    if (!WebMayClose()) return false;
    CommitDialogs();
    if (web_->Path().empty()) {
      const int answer = Ask("Voulez vous enregistrer le web courant ?", "Fermeture du web");
      if (answer == IDCANCEL) return false;
      if (answer == IDYES && !SaveWeb()) return false;
    } else if (!SaveWeb()) {
      return false;
    }
    delete DlgWeb;
    DlgWeb = nullptr;
    DetachWeb();
    try {
      web_->Close();
    } catch (const Exception&) {
      // Saved just before; the last save stays.
    }
    web_.reset();
  }
  if (!keepView) SetView(mvHome);
  RefreshState();
  ProcessMessages();
  return true;
}

void TMainWin::CommitDialogs() {
  if (!web_) return;
  if (DlgSetup) DlgSetup->StorePages();
  Menus->KeepImageRatioCheck->setChecked(setup_.KeepImageRatioFlag);
  Menus->OptionsMenuViewLastImage->setChecked(setup_.ViewLastImageFlag);
  Menus->OptionsMenuViewFrame->setChecked(setup_.ViewFrameFlag);
  if (DlgWeb && DlgWeb->Web() == web_.get() && DlgWeb->ApplyTo(*web_)) {
    // A new title shows at once where the window names the web.
    UpdateCaption();
    recent_.Retitle(*web_);
    RebuildRecentMenu();
  }
}

void TMainWin::DeleteWeb() {
  if (!web_ || Busy()) return;
  const fs::path file = web_->Path();
  const fs::path folder = file.parent_path();
  bool deleteFolder = false;
  if (!SameFolder(folder, setup_.WorkPath) && !SameFolder(folder, programFolder_)) {
    if (MayDeleteWebFolder(folder, setup_.WorkPath, programFolder_)) {
      // The folder is named, so that the user sees what would go.
      const int answer =
          Ask("Voulez vous détruire le répertoire associé ?\r\n" + FolderText(folder), "Suppression du web ");
      if (answer == IDCANCEL) return;
      deleteFolder = answer == IDYES;
    } else {
      // A home, or a folder holding the work folder, is never deleted: asking
      // would offer an answer that changes nothing. Say what stays instead.
      const std::string text = "Le répertoire " + FolderText(folder) +
                               " n'est pas propre à ce web : il sera conservé, avec tout ce qui n'appartient pas "
                               "à la capture.\r\nSeuls le web et les fichiers capturés seront supprimés.";
      if (ShowMessageBox(text, "Suppression du web ", MB_OKCANCEL | MB_ICONINFORMATION) != IDOK) return;
    }
  }
  TWaitCursor wait;
  RemoveWebBookmark(*Bookmarks, setup_, WebBookmarkOf(*web_));
  ProcessMessages();
  try {
    ResetWebDocument(*web_);
    web_->Close();
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), "Suppression du web ", MB_OK | MB_ICONHAND);
  }
  recent_.Remove(file.string());  // the menu follows with the state below
  recent_.Save();
  DetachWeb();
  delete DlgWeb;
  DlgWeb = nullptr;
  web_.reset();
  SetView(mvHome);
  RefreshState();
  UpdateCaption();
  ProcessMessages();
  std::error_code ec;
  if (deleteFolder && MayDeleteWebFolder(folder, setup_.WorkPath, programFolder_))
    DeleteFolderTree(folder.string(), false);
  else
    fs::remove(file, ec);
}

void TMainWin::MenuWebResetClick() {
  if (!web_ || Busy() || web_->GetCount() == 0) return;
  if (ShowMessageBox("Cette fonction efface tous les fichiers créés et supprime tous les liens sur les URL\r\n"
                     "voulez vous continuer ?",
                     "Réinitialisation du Web", MB_YESNO | MB_ICONQUESTION) == IDYES)
    ResetWeb();
}

void TMainWin::ResetWeb() {
  if (!web_) return;
  UrlPage->UrlList->DropPending();
  CommitDialogs();
  ProcessMessages();
  TWaitCursor wait;
  DetachWeb();
  try {
    ResetWebDocument(*web_);
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), "Réinitialisation du Web", MB_OK | MB_ICONHAND);
  }
  MapEditor->Reset();
  RefreshWebInfo();
  Tree->SetWeb(web_.get());
  UrlPage->UrlList->SetWeb(web_.get());
  CapturePage->ResetWeb(web_.get());
  MapEditor->SetWeb(web_.get());
  RefreshState();
}

void TMainWin::RefreshWebInfo() {
  if (!web_) return;
  TWaitCursor wait;
  ProcessMessages();
  CapturePage->UpdateCountLabels(web_.get());
  UpdateCaption();
  if (DlgWeb && DlgWeb->Web() == web_.get()) DlgWeb->LoadWeb(web_.get());
  RefreshStatusHints();
}

}  // namespace qlon
