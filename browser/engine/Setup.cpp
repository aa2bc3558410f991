#include "Setup.h"

#include <QByteArray>

#include <algorithm>

#include "Cookies.h"
#include "DesktopEntry.h"
#include "Options.h"
#include "Profile.h"
#include "Registry.h"
#include "PlatformRoot.h"
#include "RasLibrary.h"
#include "Urlutil.h"

namespace qlon {

namespace fs = std::filesystem;
using profile::TIniFile;

namespace {

const std::array<TAgentStruct, 5> kBuiltInAgents = {{
    {"Anonyme", ""},
    {"Quillon 98", "Mozilla/3.0 (compatible; Quillon 98 ; Windows 95) "},
    {"Netscape 3.0", "Mozilla/3.0 (Win95; I)"},
    {"Internet Explorer 3.0", "Mozilla/2.0 (compatible; MSIE 3.0; Windows 95)"},
    {"Internet Explorer 4.0", "Mozilla/2.0 (compatible; MSIE 4.0; Windows 95)"},
}};

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return LowerChar(x) == LowerChar(y); });
}

bool IsInside(const fs::path& folder, const fs::path& parent) {
  if (parent.empty()) return false;
  std::error_code ec;
  const fs::path f = fs::weakly_canonical(folder, ec);
  const fs::path p = fs::weakly_canonical(parent, ec);
  auto fi = f.begin();
  for (auto pi = p.begin(); pi != p.end(); ++pi, ++fi) {
    if (pi->empty()) continue;  // a trailing "/"
    if (fi == f.end() || *fi != *pi) return false;
  }
  return true;
}

std::string WithSlash(std::string path) {
  if (!path.empty() && path.back() != '/') path += '/';
  return path;
}

// One list as numbered keys "0", "1", ... (an empty value ends it).
void WriteNumbered(TIniFile& ini, const char* section, const std::vector<std::string>& list) {
  ini.EraseSection(section);
  for (std::size_t i = 0; i < list.size(); ++i) ini.WriteString(section, std::to_string(i), list[i]);
}

}  // namespace

std::string StoredWorkPath() { return profile::GetProfileString("QUILLON", "WORKPATH", ""); }

void StoreWorkPath(const std::string& path) { profile::WriteProfileString("QUILLON", "WORKPATH", path); }

void TSommaireParam::LoadFromIni(const TIniFile& ini, const std::string& section) {
  LigByPage = ini.ReadInteger(section, "LigByPage", LigByPage);
  ImgLigByPage = ini.ReadInteger(section, "ImgLigByPage", ImgLigByPage);
  ImgColByPage = ini.ReadInteger(section, "ImgColByPage", ImgColByPage);
  ImgSize = ini.ReadInteger(section, "ImgSize", ImgSize);
  ImgSizeMin = ini.ReadInteger(section, "ImgSizeMin", ImgSizeMin);
  ImgRatio = ini.ReadBool(section, "ImgRatio", ImgRatio);
}

void TSommaireParam::SaveToIni(TIniFile& ini, const std::string& section) const {
  ini.WriteInteger(section, "LigByPage", LigByPage);
  ini.WriteInteger(section, "ImgLigByPage", ImgLigByPage);
  ini.WriteInteger(section, "ImgColByPage", ImgColByPage);
  ini.WriteInteger(section, "ImgSize", ImgSize);
  ini.WriteInteger(section, "ImgSizeMin", ImgSizeMin);
  ini.WriteBool(section, "ImgRatio", ImgRatio);
}

namespace {

bool SetDefaultValue(const std::string& subKey, const std::string& value) {
  using namespace registry;
  Key key;
  if (OpenKey(HKEY_CLASSES_ROOT, subKey, Access::ReadWrite, &key) != kOk &&
      CreateKey(HKEY_CLASSES_ROOT, subKey, "", &key) != kOk)
    return false;
  return SetString(key, "", value) == kOk;
}

// The desktop side of a registration: what a desktop entry says of the
// program, whatever it opens.
std::string ProgramEntry(const std::string& name, const std::string& comment, const std::string& exec) {
  return "[Desktop Entry]\nType=Application\nName=" + platform::DesktopEscape(name) +
         "\nComment=" + platform::DesktopEscape(comment) + "\nExec=" + exec + "\nIcon=" + kProgramIcon +
         "\nTerminal=false\nCategories=Network;WebBrowser;\n";
}

// The program's icons (drawn by the build beside the program) into the
// desktop's theme; a program folder without them registers the names only.
bool InstallIcons(const fs::path& program, const char* context, const std::string& icon) {
  bool changed = false;
  platform::InstallDesktopIcons(program.parent_path() / "icons" / "hicolor", context, icon, &changed);
  return changed;
}

}  // namespace

bool RegisterFileExtension(const std::string& typeName, std::string extension, const std::string& description,
                           const fs::path& program) {
  if (extension.empty() || extension.front() != '.') extension.insert(0, ".");
  if (!SetDefaultValue(extension, typeName) || !SetDefaultValue(typeName, description) ||
      !SetDefaultValue(typeName + "\\Shell\\Open\\Command", program.string() + " %1") ||
      !SetDefaultValue(typeName + "\\DefaultIcon", program.string() + ",0"))
    return false;
  std::string mime = "application/x-" + typeName;
  for (char& c : mime) c = LowerChar(c);
  std::string icon = mime;
  std::replace(icon.begin(), icon.end(), '/', '-');
  bool typeChanged = false, entryChanged = false;
  const bool typeOk = platform::WriteDesktopFile(
      platform::DesktopDataFolder("mime/packages") / (typeName + ".xml"),
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      "  <mime-type type=\"" + mime + "\">\n    <comment>" + platform::XmlEscape(description) + "</comment>\n" +
          "    <icon name=\"" + icon + "\"/>\n    <glob pattern=\"*" + platform::XmlEscape(extension) +
          "\"/>\n  </mime-type>\n</mime-info>\n",
      &typeChanged);
  // The entry that opens the type is also the program's own in the menu.
  const bool entryOk = platform::WriteDesktopFile(
      platform::DesktopDataFolder("applications") / (typeName + ".desktop"),
      ProgramEntry("Quillon 98", "Capturer des sites Web et les consulter hors ligne",
                   platform::DesktopExecWord(program.string()) + " %f") +
          "GenericName=Navigateur hors ligne\nMimeType=" + mime + ";\n",
      &entryChanged);
  const bool typeIconChanged = InstallIcons(program, "mimetypes", icon);
  const bool programIconChanged = InstallIcons(program, "apps", kProgramIcon);
  if (typeChanged || entryChanged || typeIconChanged || programIconChanged) platform::RefreshDesktopCaches();
  return typeOk && entryOk;
}

bool CreateStartMenuEntry(const std::string& name, const fs::path& program, const std::string& argument) {
  bool changed = false;
  const bool ok = platform::WriteDesktopFile(
      platform::DesktopDataFolder("applications") / (name + ".desktop"),
      ProgramEntry(name, "Capturer avec Quillon 98 la page ouverte dans le navigateur Web",
                   platform::DesktopExecWord(program.string()) + " " + platform::DesktopExecWord(argument)),
      &changed);
  if (changed) platform::RefreshDesktopCaches();
  return ok;
}

std::string Base64Encode(const std::string& text) {
  return QByteArray::fromStdString(text).toBase64().toStdString();
}

TSetup::TSetup(IWorkPathPrompt* prompt, fs::path programFolder)
    : Prompt_(prompt), ProgramFolder_(std::move(programFolder)) {
  std::copy(kBuiltInAgents.begin(), kBuiltInAgents.end(), Agents_.begin());
  AgentCount_ = static_cast<int>(kBuiltInAgents.size());
  LoadSettings();
  // Without a work folder (the prompt was refused) the program does not run:
  // nothing is registered, and there is no profile file, whose relative name
  // would land in whatever folder the program started in.
  if (WorkPath.empty()) {
    Profiles = std::make_unique<TProfileList>(fs::path());
    return;
  }
  const fs::path program = ProgramFolder_ / "qlon98";
  RegisterFileExtension("Quillon", ".web", kWebFileDescription, program);
  CreateStartMenuEntry("Aspirer le Web", program, "/b");
  Profiles = std::make_unique<TProfileList>(fs::path(WorkPath) / "profiles.ini");
}

TSetup::~TSetup() = default;

void TSetup::FindWorkPath() {
  // A usable work folder is an existing folder named by an absolute path
  // outside the program's read-only folder: a relative one would follow the
  // current folder of each start.
  const auto usable = [this](const std::string& path) {
    std::error_code ec;
    return !path.empty() && fs::path(path).is_absolute() && fs::is_directory(path, ec) &&
           !IsInside(path, ProgramFolder_);
  };
  const std::string stored = WithSlash(StoredWorkPath());
  WorkPath = stored;
  if (usable(WorkPath)) return;
  WorkPath.clear();
  std::string answer = stored;
  if (Prompt_ && Prompt_->AskWorkPath(answer) && !answer.empty() && fs::path(answer).is_absolute() &&
      !IsInside(answer, ProgramFolder_)) {
    std::error_code ec;
    fs::create_directories(answer, ec);
    if (usable(answer)) WorkPath = WithSlash(answer);
  }
  // Without one nothing is stored: the next start asks again.
  if (!WorkPath.empty()) StoreWorkPath(WorkPath);
}

// Every scalar key of quillon.ini, in file order, with its field.
template <class F>
void TSetup::ForEachKey(F&& f) {
  f("Request", "AgentIdentity", AgentIdentity);
  f("Options", "MaxSockets", MaxSockets);
  f("Options", "TryCount", TryCount);
  f("Options", "Timeout", Timeout);
  f("Request", "HTTPUseProxy", HTTPUseProxy);
  f("Options", "HTTPProxyAdress", HTTPProxyAdress);
  f("Options", "HTTPProxyPort", HTTPProxyPort);
  f("Options", "HTTPProxyPassword", HTTPProxyPassword);
  f("Options", "HTTPProxyUserName", HTTPProxyUserName);
  f("Options", "HTTPProxyUsePasswordFlag", HTTPProxyUsePasswordFlag);
  f("Options", "FTPProxyAdress", FTPProxyAdress);
  f("Request", "FTPUseProxy", FTPUseProxy);
  f("Request", "UseSameProxy", UseSameProxy);
  f("Options", "FTPProxyPort", FTPProxyPort);
  f("Request", "AcceptCookies", AcceptCookies);
  f("Path", "FTPUseSavePath", FTPUseSavePath);
  f("Path", "FTPSavePath", FTPSavePath);
  f("Web", "Url", WebUrl);
  f("Web", "Path", WebPath);
  f("Path", "UseWebStructure", UseWebStructure);
  f("Path", "UseShortName", UseShortName);
  f("Browser", "Auto", BrowserAuto);
  f("Browser", "ExeName", BrowserExeName);
  f("Browser", "AutoLaunch", AutoLaunch);
  f("Bookmark", "FileName", BookmarkFile);
  f("Bookmark", "BookmarkFolder", BookmarkFolder);
  f("Bookmark", "UseBookmark", UseBookmark);
  f("Bookmark", "AutoAddBookmark", AutoAddBookmark);
  f("Path", "AutoSaveCount", AutoSaveCount);
  f("Request", "E-Mail", EMail);
  f("FrameDisp", "TreeFrameWidth", TreeFrameWidth);
  f("FrameDisp", "SocketsFrameHeight", SocketsFrameHeight);
  f("FrameDisp", "Top", Top);
  f("FrameDisp", "Left", Left);
  f("FrameDisp", "Width", Width);
  f("FrameDisp", "Height", Height);
  f("FrameDisp", "ImageFrameHeight", ImageFrameHeight);
  f("FrameDisp", "WindowState", WindowState);
  f("Thumbnail", "Size", ThumbnailSize);
  f("Thumbnail", "BackgroundFlag", ThumbnailBackground);
  f("Thumbnail", "ViewFlag", ThumbnailView);
  f("Menus", "KeepImageRatioFlag", KeepImageRatioFlag);
  f("Menus", "ViewFrameFlag", ViewFrameFlag);
  f("Menus", "ViewLastImageFlag", ViewLastImageFlag);
  f("Ras", "UseRas", UseRas);
  f("Ras", "UseActiveRas", UseActiveRas);
  f("Ras", "DisconnectRas", DisconnectRas);
  f("Ras", "Connexion", RasConnexion);
  f("Ras", "UserName", RasUserName);
  f("Ras", "Password", RasPassword);
  f("Ras", "PhoneBook", RasPhoneBook);
  f("Ras", "DefaultIdent", DefaultIdent);
  f("Brix", "NoWriteDisk", NoWriteDisk);
  f("Brix", "TraceOn", TraceOn);
  f("Brix", "ResolveThreads", ResolveThreads);
}

void TSetup::LoadSettings() {
  FindWorkPath();
  // Without a work folder there is no settings file to read.
  if (WorkPath.empty()) return;
  if (WebPath.empty()) WebPath = WorkPath;
  const TIniFile ini(IniFile());
  ForEachKey([&](const char* section, const char* key, auto& field) {
    using T = std::decay_t<decltype(field)>;
    if constexpr (std::is_same_v<T, bool>)
      field = ini.ReadBool(section, key, field);
    else if constexpr (std::is_same_v<T, int>)
      field = ini.ReadInteger(section, key, field);
    else
      field = ini.ReadString(section, key, field);
  });
  MaxSockets = std::clamp(MaxSockets, 1, kMaxSocketsLimit);
  ResolveThreads = std::clamp(ResolveThreads, 0, 256);
  ThumbnailSize = std::clamp(ThumbnailSize, 0, 3);
  if (!ini.ValueExists("FrameDisp", "SocketsFrameHeight")) SocketsFrameHeight = (MaxSockets + 1) * 17;
  // Dialling needs the dial-up library, which is not installed by default.
  if (!platform::LoadRasLibrary(ProgramFolder_)) UseRas = false;

  BrowserList.clear();
  for (int i = 0; i <= 10; ++i) {
    const std::string value = ini.ReadString("BrowserList", std::to_string(i), "");
    if (value.empty()) break;
    BrowserList.push_back(value);
  }
  HttpIdentification = ini.ReadSection("HTTP Identification");
  FtpIdentification = ini.ReadSection("FTP Identification");
  const std::vector<std::string> agents = ini.ReadSection("User Agent");
  if (!agents.empty()) {
    AgentCount_ = static_cast<int>(std::min<std::size_t>(agents.size(), kMaxAgents));
    for (int i = 0; i < AgentCount_; ++i)
      Agents_[static_cast<std::size_t>(i)] = {agents[static_cast<std::size_t>(i)],
                                              ini.ReadString("User Agent", agents[static_cast<std::size_t>(i)], "")};
  }
  SetAgentIdentity(AgentIdentity);
  Sommaire.LoadFromIni(ini, "sommaire");
  if (AcceptCookies) LoadCookies();
}

void TSetup::LoadCookies() const {
  std::error_code ec;
  if (fs::is_regular_file(CookiesFile(), ec)) CookiesBase().LoadFromFile(CookiesFile().string());
}

bool TSetup::WindowPlaceStored() const {
  return !WorkPath.empty() && TIniFile(IniFile()).ValueExists("FrameDisp", "Left");
}

void TSetup::SetUseBookmark(bool on) {
  UseBookmark = on;
  if (!WorkPath.empty()) TIniFile(IniFile()).WriteBool("Bookmark", "UseBookmark", on);
}

bool TSetup::SaveSettings() const {
  if (WorkPath.empty()) return false;  // never beside whatever folder the program started in
  bool ok = true;
  // Every key in one rewrite of quillon.ini.
  ok = profile::BatchPrivateProfile(IniFile(), [&] { WriteSettings(ok); }) && ok;
  if (AcceptCookies) ok = CookiesBase().SaveToFile(CookiesFile().string()) && ok;
  return ok;
}

void TSetup::WriteSettings(bool& ok) const {
  TIniFile ini(IniFile());
  const_cast<TSetup*>(this)->ForEachKey([&](const char* section, const char* key, auto& field) {
    using T = std::decay_t<decltype(field)>;
    if (std::string_view(key) == "TraceOn" || std::string_view(key) == "ResolveThreads") return;  // read only
    if constexpr (std::is_same_v<T, bool>)
      ok = ini.WriteBool(section, key, field) && ok;
    else if constexpr (std::is_same_v<T, int>)
      ok = ini.WriteInteger(section, key, field) && ok;
    else
      ok = ini.WriteString(section, key, field) && ok;
  });
  WriteNumbered(ini, "BrowserList", BrowserList);
  WriteNumbered(ini, "HTTP Identification", HttpIdentification);
  WriteNumbered(ini, "FTP Identification", FtpIdentification);
  ini.EraseSection("User Agent");
  for (int i = 0; i < AgentCount_; ++i) {
    const TAgentStruct& a = Agents_[static_cast<std::size_t>(i)];
    ok = ini.WriteString("User Agent", a.Name, a.Agent) && ok;
  }
  Sommaire.SaveToIni(ini, "sommaire");
}

void TSetup::SetAgentIdentity(int index) {
  if (index < 0 || index >= AgentCount_) index = 0;
  AgentIdentity = index;
  AgentText_ = Agents_[static_cast<std::size_t>(index)].Agent;
}

std::string TSetup::GetCredentials(const std::string& host) {
  for (const auto& [h, value] : Logins_)
    if (SameText(h, host)) return value;
  std::string user, password;
  if (OnCredentials && OnCredentials(user, password)) return StoreCredentials(host, user, password);
  return {};
}

std::string TSetup::StoreCredentials(const std::string& host, const std::string& user, const std::string& password) {
  std::erase_if(Logins_, [&](const auto& entry) { return SameText(entry.first, host); });
  std::string value = Base64Encode(user + ":" + password);
  Logins_.emplace_back(host, value);
  return value;
}

}  // namespace qlon
