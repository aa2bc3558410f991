#pragma once
// The program's settings: the work folder (win.ini "QUILLON" "WORKPATH") and
// "quillon.ini" in it, the user-agent identities, the summary layout and the
// per-host login cache.
//
// "quillon.ini" is read and written key by key through the profile layer, so
// sections and comments added by hand survive a save. This unit owns the
// work folder's entry in win.ini and the sections of "quillon.ini" it names
// in ForEachKey; the URL grids own section "cols" (WUrlList.h).
#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qlon::profile {
class TIniFile;
}

namespace qlon {

class TProfileList;

struct TAgentStruct {
  std::string Name;
  std::string Agent;  // the User-Agent text; empty for no identity
};

// Layout of the generated summary and image index pages (section "sommaire").
struct TSommaireParam {
  int LigByPage = 10;
  int ImgLigByPage = 2;
  int ImgColByPage = 8;
  int ImgSize = 64;
  int ImgSizeMin = 0;
  bool ImgRatio = false;
  void LoadFromIni(const profile::TIniFile& ini, const std::string& section);
  void SaveToIni(profile::TIniFile& ini, const std::string& section) const;
};

// How the settings ask for the work folder: the shell shows the work-folder
// dialog, tests answer from a script. Returns false when cancelled.
class IWorkPathPrompt {
 public:
  virtual ~IWorkPathPrompt() = default;
  virtual bool AskWorkPath(std::string& path) = 0;
};

// The work folder as win.ini holds it (empty when it names none), and
// storing another one there.
std::string StoredWorkPath();
void StoreWorkPath(const std::string& path);

class TSetup {
 public:
  static constexpr int kMaxAgents = 21;
  static constexpr int kMaxSocketsLimit = 16;  // rows of the connection list

  // Finds the work folder (asking through the prompt when win.ini has none)
  // and loads the settings. The program folder is read-only: a work folder
  // inside it is never accepted.
  TSetup(IWorkPathPrompt* prompt, std::filesystem::path programFolder);
  ~TSetup();
  TSetup(const TSetup&) = delete;
  TSetup& operator=(const TSetup&) = delete;

  void FindWorkPath();
  void LoadSettings();
  bool SaveSettings() const;
  void SetAgentIdentity(int index);
  const std::string& AgentText() const { return AgentText_; }
  int AgentCount() const { return AgentCount_; }
  const TAgentStruct& Agent(int index) const { return Agents_[static_cast<std::size_t>(index)]; }

  // Base64 of "user:password" cached for the host (case-insensitive);
  // asks through OnCredentials when none is cached.
  std::string GetCredentials(const std::string& host);
  std::string StoreCredentials(const std::string& host, const std::string& user, const std::string& password);
  std::function<bool(std::string& user, std::string& password)> OnCredentials;

  std::unique_ptr<TProfileList> Profiles;  // "profiles.ini" in the work folder
  std::string WorkPath;  // with a trailing "/"
  std::filesystem::path IniFile() const { return std::filesystem::path(WorkPath) / "quillon.ini"; }
  std::filesystem::path CookiesFile() const { return std::filesystem::path(WorkPath) / "cookies.txt"; }
  std::filesystem::path MimeFile() const { return std::filesystem::path(WorkPath) / "mime.def"; }
  // Cookies accepted now that were not at start: their file is read before
  // the store is saved over it.
  void LoadCookies() const;
  // "quillon.ini" holds a window place (a first start has none).
  bool WindowPlaceStored() const;
  // The bookmark option changed and stored at once, before any save.
  void SetUseBookmark(bool on);

  int AgentIdentity = 0;
  int MaxSockets = 5;
  int TryCount = 3;
  int Timeout = 30;
  bool HTTPUseProxy = false;
  std::string HTTPProxyAdress;
  int HTTPProxyPort = 80;
  std::string HTTPProxyPassword;
  std::string HTTPProxyUserName;
  bool HTTPProxyUsePasswordFlag = false;
  std::string FTPProxyAdress;
  bool FTPUseProxy = false;
  bool UseSameProxy = false;
  int FTPProxyPort = 80;
  bool AcceptCookies = false;
  bool FTPUseSavePath = false;
  std::string FTPSavePath;
  std::vector<std::string> HttpIdentification;
  std::vector<std::string> FtpIdentification;
  std::string WebUrl = "http://www.";
  std::string WebPath;
  bool UseWebStructure = true;
  bool UseShortName = false;
  bool BrowserAuto = true;
  // The browser program chosen when BrowserAuto is off; the shell hands it
  // to its browser object at start and stores it back when it changes.
  std::string BrowserExeName;
  bool AutoLaunch = false;
  std::string BookmarkFile;
  std::string BookmarkFolder = "Webs locaux";
  bool UseBookmark = true;
  bool AutoAddBookmark = false;
  int AutoSaveCount = 100;
  std::string EMail;
  TSommaireParam Sommaire;
  std::vector<std::string> BrowserList;
  int TreeFrameWidth = 100;
  int SocketsFrameHeight = 0;
  int Top = 0, Left = 0, Width = 665, Height = 480;
  int ImageFrameHeight = 0;
  int WindowState = 0;
  int ThumbnailSize = 1;
  bool ThumbnailBackground = false;
  bool ThumbnailView = true;
  bool KeepImageRatioFlag = true;
  bool ViewFrameFlag = true;
  bool ViewLastImageFlag = true;
  bool UseRas = false;
  bool UseActiveRas = true;
  bool DisconnectRas = false;
  std::string RasConnexion, RasUserName, RasPassword, RasPhoneBook;
  bool DefaultIdent = true;
  bool NoWriteDisk = false;
  bool TraceOn = false;
  // Threads of link resolution (TDlgResolve::Threads): 0 as many as the
  // processors, 1 to rewrite the pages one after the other. Read only.
  int ResolveThreads = 0;

 private:
  template <class F>
  void ForEachKey(F&& f);
  void WriteSettings(bool& ok) const;
  IWorkPathPrompt* Prompt_;
  std::filesystem::path ProgramFolder_;
  std::array<TAgentStruct, kMaxAgents> Agents_;
  int AgentCount_ = 0;
  std::string AgentText_;
  std::vector<std::pair<std::string, std::string>> Logins_;  // host -> Base64
};

// The icon of the program's desktop entries, and of the ".web" type, as the
// build draws them beside the program ("icons/hicolor/<n>x<n>/apps/" and
// ".../mimetypes/"); a registration copies them into the desktop's theme.
inline constexpr const char* kProgramIcon = "quillon98";
inline constexpr const char* kWebFileIcon = "application-x-quillon";

// Files of the extension open with the program: the registry's class keys
// (HKEY_CLASSES_ROOT ext -> type, type\Shell\Open\Command, type\DefaultIcon),
// and for the desktop the MIME type "application/x-<type>" of the extension
// with its icon, and the program's desktop entry "<type>.desktop" that opens
// it (in the applications menu too), where the desktop looks for them
// (platform::DesktopDataFolder). False when a key can neither be opened nor
// created, or a file cannot be written.
bool RegisterFileExtension(const std::string& typeName, std::string extension, const std::string& description,
                           const std::filesystem::path& program);
// The kind of a capture file ("local.web") as the desktop and the file dialogs name it.
inline constexpr const char* kWebFileDescription = "Fichier de capture d'un Web de Quillon";
// The Start-menu entry "<name>.desktop" running the program with the argument.
bool CreateStartMenuEntry(const std::string& name, const std::filesystem::path& program, const std::string& argument);

// RFC 4648 Base64, standard alphabet with "=" padding.
std::string Base64Encode(const std::string& text);

}  // namespace qlon
