#include "WebSession.h"

#include "MainWebOps.h"
#include "MessageBox.h"
#include "Setup.h"
#include "Unattended.h"
#include "UtilsFile.h"
#include "UtilsText.h"
#include "WaitCursor.h"
#include "Web.h"

namespace fs = std::filesystem;

namespace qlon::shell {

using namespace platform;

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

int Ask(const std::string& text, const std::string& caption) {
  return ShowMessageBox(text, caption, MB_YESNOCANCEL | MB_ICONQUESTION);
}

}  // namespace

TWebSession::TWebSession(IWebSessionHost& host, TSetup& setup, TUnattended& unattended, fs::path programFolder)
    : host_(host), setup_(setup), unattended_(unattended), programFolder_(std::move(programFolder)), recent_(setup) {}

TWebSession::~TWebSession() = default;

// ---------------------------------------------------------------- recent webs

void TWebSession::AddRecent(const fs::path& file) {
  recent_.Add(file, web_.get());
  host_.RecentChanged();
  recent_.Save();
}

void TWebSession::Retitled() {
  if (!web_) return;
  recent_.Retitle(*web_);
  host_.RecentChanged();
}

void TWebSession::OpenRecent(int index) {
  if (index < 0 || index >= recent_.Paths().size()) return;
  replace(recent_.Paths()[index].toStdString(), false);
}

// ---------------------------------------------------------------- new

void TWebSession::New(const TNewWebSeed& seed, bool makeCurrent) {
  // A capture holds the open web; and the open web is always closed before
  // another becomes current.
  if (makeCurrent && (host_.Busy() || !Close(false))) return;
  std::unique_ptr<TWeb> web = newWebFrom(seed);
  TNewWebSeed shown = seed;
  if (shown.Url.empty() && !web->StartEntries.empty()) shown.Url = web->StartEntries[0].Url;
  const std::optional<TNewWebChoice> choice =
      host_.AskNewWeb(*web, shown, [this](const std::string& folder) { return AcceptNewWebFolder(folder); });
  if (!choice || !makeCapture(*web, choice->File, makeCurrent)) return;
  if (makeCurrent) {
    Adopt(std::move(web));
  } else {
    AddRecent(choice->File);
  }
  setup_.SaveSettings();
  if (choice->CaptureNow && makeCurrent) host_.StartCapture();
}

std::unique_ptr<TWeb> TWebSession::newWebFrom(const TNewWebSeed& seed) const {
  auto web = std::make_unique<TWeb>();
  if (!seed.BaseFile.empty()) {
    // The base is read, never written: the new web takes a copy of it.
    TWeb base;
    try {
      if (base.Open(seed.BaseFile) == wlOk) {
        web->Options.Assign(base.Options);
        web->StartEntries = base.StartEntries;
        web->SetTitle(base.GetTitle());
      }
    } catch (const Exception&) {
    }
  }
  if (!seed.Url.empty()) AddStartUrl(*web, seed.Url, seed.User, seed.Password);
  return web;
}

// Writes the new web's capture file; a web that stays aside is closed.
bool TWebSession::makeCapture(TWeb& web, const fs::path& file, bool makeCurrent) {
  std::error_code ec;
  if (fs::exists(fs::symlink_status(file, ec))) {
    // Another web's capture file is never replaced by an empty one.
    ShowMessageBox("Le répertoire " + FolderText(file.parent_path()) + " contient déjà un web.", "Création du web",
                   MB_OK | MB_ICONHAND);
    return false;
  }
  try {
    web.CreateNew(file);
    if (!makeCurrent) web.Close();
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), "Création du web", MB_OK | MB_ICONHAND);
    return false;
  }
  return true;
}

// ---------------------------------------------------------------- open, save, close

bool TWebSession::Open(const std::string& path, bool keepView) {
  // The open web stays until the chosen one is open: Annuler in the dialog,
  // or a file that does not open, leaves it as it was.
  if (!host_.WebMayClose()) return false;
  const std::string file = path.empty() ? host_.AskWebFile() : path;
  return !file.empty() && replace(file, keepView);
}

bool TWebSession::replace(const std::string& path, bool keepView) {
  if (!host_.WebMayClose()) return false;
  if (web_ && SamePath(path, web_->Path())) return true;  // it is open already
  auto web = std::make_unique<TWeb>();
  {
    // No events run while both webs are open: a pending page change would
    // act on the web being replaced.
    const auto wait = host_.Wait();
    bool opened = false;
    try {
      if (WebFileThere(path) && !(opened = web->Open(path) == wlOk))
        ShowMessageBox(CannotOpenWebText(path, *web), "Ouverture d'un Web", MB_OK | MB_ICONHAND);
    } catch (const Exception& e) {
      ShowMessageBox(e.message(), "Ouverture d'un Web", MB_OK | MB_ICONHAND);
    }
    if (!opened) return false;
  }
  if (!Close(keepView)) {
    // The open web stays (Cancel, a failed save): the other one goes untouched.
    try {
      web->Close();
    } catch (const Exception&) {
    }
    return false;
  }
  Adopt(std::move(web));
  return true;
}

void TWebSession::Adopt(std::unique_ptr<TWeb> web) {
  web_ = std::move(web);
  AddRecent(web_->Path());
  host_.ShowWeb(*web_);
  if (!web_->OpenNote().empty()) ShowMessageBox(web_->OpenNote(), "Ouverture d'un Web", MB_OK | MB_ICONEXCLAMATION);
}

bool TWebSession::Save(std::string* failure) {
  if (!web_) return false;
  try {
    const bool saved = web_->Save();
    if (saved) reportedSaveFailure_.clear();
    return saved;
  } catch (const Exception& e) {
    if (failure) {
      *failure = reportedSaveFailure_ = e.message();
    } else if (e.message() != reportedSaveFailure_ || !unattended_.Active()) {
      ShowMessageBox(e.message(), "Enregistrement du web", MB_OK | MB_ICONHAND);
    }
    return false;
  }
}

bool TWebSession::Close(bool keepView) {
  host_.DropPending();
  if (web_) {
    // Never under a running capture or search.
    if (!host_.WebMayClose()) return false;
    host_.CommitEdits();
    if (web_->Path().empty()) {
      const int answer = Ask("Voulez vous enregistrer le web courant ?", "Fermeture du web");
      if (answer == IDCANCEL) return false;
      if (answer == IDYES && !Save()) return false;
    } else if (!Save()) {
      return false;
    }
    host_.HideWeb(true);
    try {
      web_->Close();
    } catch (const Exception&) {
      // Saved just before; the last save stays.
    }
    web_.reset();
  }
  host_.WebClosed(keepView);
  ProcessMessages();
  return true;
}

void TWebSession::Release() {
  host_.HideWeb(false);
  web_.reset();
}

// ---------------------------------------------------------------- delete and reset

void TWebSession::Delete() {
  if (!web_ || host_.Busy()) return;
  const fs::path file = web_->Path();
  const fs::path folder = file.parent_path();
  bool deleteFolder = false;
  if (!SameFolder(folder, setup_.WorkPath) && !SameFolder(folder, programFolder_)) {
    if (mayDelete(folder)) {
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
  const auto wait = host_.Wait();
  host_.WebDeleting(*web_);
  ProcessMessages();
  try {
    ResetWebDocument(*web_);
    web_->Close();
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), "Suppression du web ", MB_OK | MB_ICONHAND);
  }
  recent_.Remove(file.string());  // the menu follows with the state below
  recent_.Save();
  host_.HideWeb(true);
  web_.reset();
  host_.WebClosed(false);
  ProcessMessages();
  std::error_code ec;
  if (deleteFolder && mayDelete(folder))
    DeleteFolderTree(folder.string(), false);
  else
    fs::remove(file, ec);
}

void TWebSession::AskReset() {
  if (!web_ || host_.Busy() || web_->GetCount() == 0) return;
  if (ShowMessageBox("Cette fonction efface tous les fichiers créés et supprime tous les liens sur les URL\r\n"
                     "voulez vous continuer ?",
                     "Réinitialisation du Web", MB_YESNO | MB_ICONQUESTION) == IDYES)
    Reset();
}

void TWebSession::Reset() {
  if (!web_) return;
  host_.DropPending();
  host_.CommitEdits();
  ProcessMessages();
  const auto wait = host_.Wait();
  host_.HideWeb(false);
  try {
    ResetWebDocument(*web_);
  } catch (const Exception& e) {
    ShowMessageBox(e.message(), "Réinitialisation du Web", MB_OK | MB_ICONHAND);
  }
  host_.WebReset(*web_);
}

// ---------------------------------------------------------------- shortcut and scheduled step

std::string TWebSession::OpenForRun(const std::string& path) {
  if (web_ && SamePath(web_->Path(), path)) return {};
  if (!Close(false)) return "Le web courant ne peut pas être fermé.";
  auto web = std::make_unique<TWeb>();
  try {
    const auto wait = host_.Wait();
    if (web->Open(path) != wlOk) return CannotOpenWebText(path, *web);
  } catch (const Exception& e) {
    return "Le web " + PrintableText(path) + " ne peut pas être ouvert : " + e.message();
  }
  Adopt(std::move(web));
  return {};
}

bool TWebSession::OpenForStep(const std::string& path, const std::function<void()>& loading) {
  if (web_ && !SamePath(web_->Path(), path) && !Close(true)) return false;
  if (web_) return true;
  loading();
  return Open(path, true);
}

// ---------------------------------------------------------------- folder rules

bool TWebSession::mayDelete(const fs::path& folder) const {
  return MayDeleteWebFolder(folder, setup_.WorkPath, programFolder_);
}

bool TWebSession::ClearFolder(const std::string& folder) {
  if (IsEmptyFolder(folder)) return true;
  const std::string text =
      "Le répertoire " + folder + "  n'est pas vide, voulez-vous effacer les fichiers qui s'y trouvent?";
  if (ShowMessageBox(text, "Effacement", MB_YESNO | MB_ICONQUESTION) != IDYES) return false;
  if (!mayDelete(folder)) {
    ShowMessageBox("Le répertoire " + FolderText(folder) + " ne peut pas être effacé.", "Effacement",
                   MB_OK | MB_ICONHAND);
    return false;
  }
  const auto wait = host_.Wait();
  ProcessMessages();
  DeleteFolderTree(folder, false);
  return IsEmptyFolder(folder);
}

bool TWebSession::AcceptNewWebFolder(const std::string& folder) {
  const auto refuse = [&](const std::string& why) {
    ShowMessageBox("Le répertoire " + FolderText(folder) + why, "Destination", MB_OK | MB_ICONEXCLAMATION);
    return false;
  };
  // A capture folder is deleted as a whole with its web.
  if (!mayDelete(folder)) return refuse(" ne peut pas recevoir une capture : choisissez un de ses sous-répertoires.");
  if (web_ && (IsWithin(folder, web_->Path().parent_path()) || IsWithin(web_->Path().parent_path(), folder)))
    return refuse(" recouvre celui du web ouvert : le nouveau web n'y est pas créé.");
  if (!ClearFolder(folder)) return refuse(" n'est pas vide : choisissez un autre répertoire pour le nouveau web.");
  std::error_code ec;
  fs::create_directories(folder, ec);
  if (!fs::is_directory(folder, ec)) return refuse(" ne peut pas être créé.");
  return true;
}

}  // namespace qlon::shell
