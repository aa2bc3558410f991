#include "WebShortcut.h"

#include <system_error>

#include "MessageBox.h"
#include "Profile.h"
#include "Setup.h"
#include "Shell.h"
#include "Types.h"
#include "Utils.h"

namespace qlon {

namespace fs = std::filesystem;

void TShortcutFile::SetFileName(const std::string& path) {
  if (path == fileName_) return;
  Clear();
  fileName_ = path;
  if (!path.empty()) LoadFromFile(path);
}

TWebShortcutFile::TWebShortcutFile() {
  const std::string work = StoredWorkPath();
  if (!work.empty()) LoadFromFile((fs::path(work) / kDefaultsFile).string());
}

std::unique_ptr<TShortcutFile> TWebShortcutFile::Create() const { return std::make_unique<TWebShortcutFile>(); }

void TWebShortcutFile::LoadFromFile(const std::string& path) {
  std::error_code ec;
  if (path.empty() || !fs::is_regular_file(path, ec)) return;
  const profile::TIniFile ini(path);
  Web = ini.ReadString(kSection, "Web", Web);
  CaptureKind = ini.ReadInteger(kSection, "Capture", CaptureKind);
  TimeLimit = ini.ReadInteger(kSection, "TimeLimit", TimeLimit);
  TimeLimitFlag = ini.ReadBool(kSection, "TimeLimitFlag", TimeLimitFlag);
  LinkResolve = ini.ReadBool(kSection, "LinkResolve", LinkResolve);
  CutModemFlag = ini.ReadBool(kSection, "CutModemFlag", CutModemFlag);
  MinimizeFlag = ini.ReadBool(kSection, "MinimizeFlag", MinimizeFlag);
  CloseQuillonFlag = ini.ReadBool(kSection, "CloseQuillonFlag", CloseQuillonFlag);
}

bool TWebShortcutFile::SaveToFile(const std::string& path) const {
  if (path.empty()) return false;
  profile::TIniFile ini(path);
  bool ok = ini.WriteString(kSection, "Web", Web);
  ok = ini.WriteInteger(kSection, "Capture", CaptureKind) && ok;
  ok = ini.WriteInteger(kSection, "TimeLimit", TimeLimit) && ok;
  ok = ini.WriteBool(kSection, "TimeLimitFlag", TimeLimitFlag) && ok;
  ok = ini.WriteBool(kSection, "LinkResolve", LinkResolve) && ok;
  ok = ini.WriteBool(kSection, "CutModemFlag", CutModemFlag) && ok;
  ok = ini.WriteBool(kSection, "MinimizeFlag", MinimizeFlag) && ok;
  ok = ini.WriteBool(kSection, "CloseQuillonFlag", CloseQuillonFlag) && ok;
  return ok;
}

void TWebShortcutFile::Assign(const TShortcutFile& source) {
  const auto* s = dynamic_cast<const TWebShortcutFile*>(&source);
  if (!s || s == this) return;
  Web = s->Web;
  CaptureKind = s->CaptureKind;
  TimeLimit = s->TimeLimit;
  TimeLimitFlag = s->TimeLimitFlag;
  LinkResolve = s->LinkResolve;
  CutModemFlag = s->CutModemFlag;
  MinimizeFlag = s->MinimizeFlag;
  CloseQuillonFlag = s->CloseQuillonFlag;
}

bool TWebShortcutFile::Differs(const TShortcutFile& other) const {
  const auto* o = dynamic_cast<const TWebShortcutFile*>(&other);
  if (!o) return true;
  return !SameTextAscii(Web, o->Web) || CaptureKind != o->CaptureKind || TimeLimit != o->TimeLimit ||
         TimeLimitFlag != o->TimeLimitFlag || LinkResolve != o->LinkResolve ||
         CutModemFlag != o->CutModemFlag || MinimizeFlag != o->MinimizeFlag ||
         CloseQuillonFlag != o->CloseQuillonFlag;
}

namespace {

constexpr const char* kNewShortcutName = "Nouveau Raccourci d'une capture de Web";
// Enough for any folder a user keeps by hand; past it the folder is full
// of unnamed shortcuts and none is overwritten.
constexpr int kMaxShortcutNumber = 999;

fs::path FreeShortcutName(const fs::path& folder) {
  std::error_code ec;
  for (int n = 0; n <= kMaxShortcutNumber; ++n) {
    std::string name = kNewShortcutName;
    if (n > 0) name += " (" + std::to_string(n) + ")";
    const fs::path candidate = folder / (name + ".wbs");
    if (!fs::exists(candidate, ec)) return candidate;
  }
  return {};
}

}  // namespace

std::string CreateWebShortcut(const fs::path& folder, const std::string& captureFile) {
  TWebShortcutFile shortcut;
  const fs::path name = FreeShortcutName(folder);
  if (name.empty()) return {};
  shortcut.SetFileName(name.string());
  shortcut.Web = captureFile;
  if (!shortcut.SaveToFile(name.string())) return {};
  // The rename helper is optional: without it the new file simply keeps
  // its name, which is no error.
  const fs::path helper = ProgramFolder() / kShortcutRenameHelper;
  std::error_code ec;
  if (fs::is_regular_file(helper, ec) && !platform::StartProgram(helper.string(), {"NewFile", name.string()})) {
    platform::MessageBox("Impossible de charger " + helper.string(), "Erreur",
                         platform::MB_OK | platform::MB_ICONHAND);
  }
  return name.string();
}

}  // namespace qlon
