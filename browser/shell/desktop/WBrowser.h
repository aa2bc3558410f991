#pragma once
// The user's web browser: pages are sent to it and its current page read
// back, by DDE on the browser's service name (the program's file name
// before its first ".", upper-cased), each exchange in a conversation of
// its own:
//
//   open a page    request "WWW_OpenURL"  "\"<url>\",,0xffffffff,0x00000000,,,"
//   activate       request "WWW_Activate" "0xffffffff,0x00000000" -> window id
//                  poke "WWW_WindowChange" "<id>,0x00000001,<l>,<t>,<w>,<h>"
//                  (mode 0; mode 1 "<id>,0x00000004", mode 2 "<id>,0x00000002")
//   current page   request "WWW_GetWindowInfo" "0xffffffff" -> "\"url\",\"title\",..."
//
// No browser on Linux serves DDE, so opening a page normally takes the
// fallback (as does a browser that answers with no window, id 0): the
// browser program is started with the address as its one argument (no
// shell ever sees the address), for web, file and mail addresses only. The
// default browser is the desktop's handler of ".htm" files (xdg).
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include <QIcon>
#include <QObject>
#include <QRect>

namespace qlon {

// The program of a command line: the text between the first pair of
// double quotes when it starts with one, else the text up to the first
// blank.
std::string ParseBrowserCommand(const std::string& command);
// The DDE service of a browser program.
std::string BrowserServiceName(const std::string& programPath);
// Splits a "WWW_GetWindowInfo" answer: comma-separated fields, text between
// double quotes one field without its quotes. The title loses a leading
// "netscape - " (any case) and then enclosing square brackets. False when
// the answer has no address.
bool ParseWindowInfo(const std::string& answer, std::string& address, std::string& title);
// True for the addresses a browser may be started with: http, https, ftp,
// file and mailto.
bool IsBrowsableAddress(const std::string& address);
// The desktop's default browser program; empty when none is installed.
std::string FindDefaultBrowser();

class TBrowser : public QObject {
  Q_OBJECT

 public:
  static constexpr const char* kAnyWindow = "0xffffffff";

  // Finds the default browser.
  explicit TBrowser(QObject* owner = nullptr);

  const std::string& GetPath() const { return path_; }
  // Emits changed() when the path names an existing file.
  void SetPath(const std::string& path);
  std::string ServiceName() const { return BrowserServiceName(path_); }

  // Shows the page: by DDE, else by starting the browser with it; then
  // brings the browser forward when ActivateFlag is set. False when the
  // page reached no browser.
  bool OpenUrl(const std::string& address);
  // Mode 0 places the window on rect; 1 and 2 are the browser's own.
  bool Activate(int mode, const QRect& rect = {});
  // The browser's page; false when it does not answer.
  bool GetCurrentPage(std::string& address, std::string& title);

  QIcon SmallIcon();
  QIcon LargeIcon();

  int ActivateFlag = 1;

 signals:
  void changed();

 private:
  std::optional<std::string> Request(const std::string& topic, const std::string& item);
  bool Poke(const std::string& topic, const std::string& item, const std::string& data);
  QIcon Icon(int size, QIcon& cache);

  std::string path_;
  QIcon small_, large_;
};

// The program's browser, made on first use and freed at program end.
TBrowser& GetBrowser();

// Shows the address in the program's browser; when no browser can show it
// the user is told. False then.
bool ShowInBrowser(const std::string& address);

}  // namespace qlon
