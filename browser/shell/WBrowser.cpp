#include "WBrowser.h"

#include <cstdio>
#include <filesystem>
#include <memory>

#include <QApplication>
#include <QCoreApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>

#include "Dde.h"
#include "MessageBox.h"
#include "Shell.h"

namespace qlon {

namespace fs = std::filesystem;

namespace {

std::string Hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%.8x", value);
  return text;
}

bool StartsWithNoCase(const std::string& text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
      return false;
  return true;
}

bool IsFile(const std::string& path) {
  std::error_code ec;
  return !path.empty() && fs::is_regular_file(path, ec);
}

// The browser window an answer names (its first 32-bit number), 0 when it
// names none: the browser refused.
std::uint32_t WindowIdOf(const std::optional<std::string>& answer) {
  if (!answer || answer->size() < 4) return 0;
  std::uint32_t id = 0;
  for (int i = 3; i >= 0; --i) id = (id << 8) | static_cast<unsigned char>((*answer)[size_t(i)]);
  return id;
}

// The hourglass of the GUI while a page goes to the browser.
class BusyCursor {
 public:
  BusyCursor() : shown_(qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr) {
    if (shown_) QGuiApplication::setOverrideCursor(Qt::WaitCursor);
  }
  ~BusyCursor() {
    if (shown_) QGuiApplication::restoreOverrideCursor();
  }

 private:
  bool shown_;
};

}  // namespace

std::string ParseBrowserCommand(const std::string& command) {
  std::size_t start = 0;
  while (start < command.size() && command[start] == ' ') ++start;
  if (start < command.size() && command[start] == '"') {
    const std::size_t close = command.find('"', start + 1);
    return command.substr(start + 1, close == std::string::npos ? std::string::npos : close - start - 1);
  }
  const std::size_t blank = command.find(' ', start);
  return command.substr(start, blank == std::string::npos ? std::string::npos : blank - start);
}

std::string BrowserServiceName(const std::string& programPath) {
  std::string name = fs::path(programPath).filename().string();
  name = name.substr(0, name.find('.'));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

bool ParseWindowInfo(const std::string& answer, std::string& address, std::string& title) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (const char c : answer) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else if (c != '\0') {
      fields.back() += c;
    }
  }
  address = fields[0];
  title = fields.size() > 1 ? fields[1] : std::string();
  if (StartsWithNoCase(title, "netscape - ")) {
    title.erase(0, 11);
    if (title.size() >= 2 && title.front() == '[' && title.back() == ']') title = title.substr(1, title.size() - 2);
  }
  return !address.empty();
}

bool IsBrowsableAddress(const std::string& address) {
  for (const char* scheme : {"http://", "https://", "ftp://", "file:", "mailto:"})
    if (StartsWithNoCase(address, scheme)) return address.size() > std::string_view(scheme).size();
  return false;
}

std::string FindDefaultBrowser() {
  const auto association = platform::AssociatedProgram("htm");
  if (!association) return {};
  // A desktop entry's program may hold blanks; only a command line that is
  // not itself a file is cut at its first blank.
  std::string program = IsFile(association->program) ? association->program : ParseBrowserCommand(association->program);
  if (!program.empty() && program.find('/') == std::string::npos)
    program = QStandardPaths::findExecutable(QString::fromStdString(program)).toStdString();
  return IsFile(program) ? program : std::string();
}

TBrowser::TBrowser(QObject* owner) : QObject(owner), path_(FindDefaultBrowser()) {}

void TBrowser::SetPath(const std::string& path) {
  path_ = path;
  small_ = large_ = QIcon();
  if (IsFile(path)) emit changed();
}

std::optional<std::string> TBrowser::Request(const std::string& topic, const std::string& item) {
  platform::DdeClientConv conv;
  conv.SetLink(ServiceName(), topic);
  if (path_.empty() || !conv.OpenLink()) return std::nullopt;
  return conv.RequestData(item);
}

bool TBrowser::Poke(const std::string& topic, const std::string& item, const std::string& data) {
  platform::DdeClientConv conv;
  conv.SetLink(ServiceName(), topic);
  return !path_.empty() && conv.OpenLink() && conv.PokeData(item, data);
}

bool TBrowser::OpenUrl(const std::string& address) {
  const BusyCursor busy;
  // A quote would end the item's address early: it travels as %22, which
  // names the same URL.
  std::string quoted;
  for (const char c : address) quoted += c == '"' ? std::string("%22") : std::string(1, c);
  // A browser that answers without a window (id 0) did not show the page:
  // the fallback starts it, as for no answer.
  bool shown = WindowIdOf(Request("WWW_OpenURL", "\"" + quoted + "\",," + kAnyWindow + ",0x00000000,,,")) != 0;
  if (!shown && IsBrowsableAddress(address)) {
    // Never a command line built from the address: it is one argument.
    shown = !path_.empty() ? platform::StartProgram(path_, {address}) : platform::OpenItem(address);
  }
  if (shown && ActivateFlag) {
    QRect area;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) && QGuiApplication::primaryScreen())
      area = QGuiApplication::primaryScreen()->availableGeometry();
    Activate(0, area);
  }
  return shown;
}

bool TBrowser::Activate(int mode, const QRect& rect) {
  const std::optional<std::string> answer = Request("WWW_Activate", std::string(kAnyWindow) + ",0x00000000");
  if (!answer || answer->size() < 4) return false;
  std::string data = Hex(WindowIdOf(answer));
  if (mode == 1) {
    data += "," + Hex(4);
  } else if (mode == 2) {
    data += "," + Hex(2);
  } else {
    data += "," + Hex(1) + "," + Hex(static_cast<std::uint32_t>(rect.left())) + "," +
            Hex(static_cast<std::uint32_t>(rect.top())) + "," + Hex(static_cast<std::uint32_t>(rect.width())) + "," +
            Hex(static_cast<std::uint32_t>(rect.height()));
  }
  return Poke("WWW_WindowChange", data, data);
}

bool TBrowser::GetCurrentPage(std::string& address, std::string& title) {
  const std::optional<std::string> answer = Request("WWW_GetWindowInfo", kAnyWindow);
  return answer && ParseWindowInfo(*answer, address, title);
}

QIcon TBrowser::Icon(int size, QIcon& cache) {
  if (cache.isNull() && IsFile(path_) && qobject_cast<QApplication*>(QCoreApplication::instance())) {
    const QIcon icon = QFileIconProvider().icon(QFileInfo(QString::fromStdString(path_)));
    cache = QIcon(icon.pixmap(size, size));
  }
  return cache;
}

QIcon TBrowser::SmallIcon() { return Icon(16, small_); }
QIcon TBrowser::LargeIcon() { return Icon(32, large_); }

bool ShowInBrowser(const std::string& address) {
  if (GetBrowser().OpenUrl(address)) return true;
  platform::MessageBox("Aucun navigateur n'a pu afficher " + address +
                           ".\r\nIndiquez votre navigateur dans les préférences, page « Navigateur Web ».",
                       "Navigateur Web", platform::MB_OK | platform::MB_ICONINFORMATION);
  return false;
}

TBrowser& GetBrowser() {
  // Owned by the application, so it goes before the application does.
  static TBrowser* browser = nullptr;
  if (!browser) {
    // A browser that starts and gives up at once (no display for it, a
    // refused profile) leaves no window: the user hears why nothing opened.
    platform::SetStartFailureReporter(
        [](const std::string& program, const std::vector<std::string>& arguments, int status) {
          const std::string address = arguments.empty() ? std::string() : arguments.back();
          // Only a page sent to the browser; the program's other helpers fail quietly as before.
          const bool toBrowser = browser && !browser->GetPath().empty() ? program == browser->GetPath()
                                                                        : program == "xdg-open";
          if (!toBrowser || !IsBrowsableAddress(address)) return;
          platform::MessageBox("Le navigateur Web n'a pas pu afficher " + address + " : " + program +
                                   " s'est arrêté dès son démarrage (code " + std::to_string(status) +
                                   ").\r\nIndiquez votre navigateur dans les préférences, page « Navigateur Web ».",
                               "Navigateur Web", platform::MB_OK | platform::MB_ICONEXCLAMATION);
        });
    browser = new TBrowser(QCoreApplication::instance());
    if (QCoreApplication::instance())
      QObject::connect(browser, &QObject::destroyed, [] { browser = nullptr; });
  }
  return *browser;
}

}  // namespace qlon
