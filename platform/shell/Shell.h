#pragma once
// The desktop shell as the programs use it: open a document or URL with
// its default application (ShellExecute "open"), start a command line
// (WinExec), and find the program and icon associated with a file type.
//
// Opening and starting go through a replaceable handler: the default one
// runs "xdg-open <item>" and the command as detached processes (QtCore
// only, so the engine can call it); the shell may install one that also
// shows the busy cursor, and tests install RecordingShell.
//
// Associations follow the XDG rules: the extension gives a MIME type
// (shared-mime-info through QMimeDatabase); the user's and the system's
// mimeapps.list files name its default desktop entry; the entry's Exec and
// Icon lines give the program and its icon. Desktop entries written by the
// stand-ins under "<platform root>/applications" come first.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qlon::platform {

class ShellHandler {
 public:
  virtual ~ShellHandler() = default;
  // Opens a file path or URL with its default application.
  virtual bool OpenItem(const std::string& item) = 0;
  // Starts a command line (program and arguments, shell-style quoting).
  virtual bool StartCommand(const std::string& commandLine) = 0;
  // Starts a program with each argument passed as one word, never through
  // a shell: text from outside (a URL, a file name) cannot become options
  // or a second command. The default starts it detached (watched when a
  // reporter is set).
  virtual bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);
};

// Installs a handler (not owned; nullptr restores the default); returns the
// previous one.
ShellHandler* SetShellHandler(ShellHandler* handler);

bool OpenItem(const std::string& item);
bool StartCommand(const std::string& commandLine);
bool StartProgram(const std::string& program, const std::vector<std::string>& arguments);

// Told, from the event loop, when a program that the default handler
// started (StartProgram, OpenItem) ends with a failure within its first
// seconds: the program, its arguments and its exit status. Without a
// reporter (or an application) programs start detached and unwatched.
// Returns the previous reporter.
using StartFailureReporter =
    std::function<void(const std::string& program, const std::vector<std::string>& arguments, int status)>;
StartFailureReporter SetStartFailureReporter(StartFailureReporter reporter);

// What the default handler does for StartCommand: the first word is the
// program, the others its arguments; true when it started.
bool StartDetached(const std::string& commandLine);

// Records every call and answers with `result`; installed for its lifetime.
class RecordingShell : public ShellHandler {
 public:
  RecordingShell();
  ~RecordingShell() override;
  RecordingShell(const RecordingShell&) = delete;
  RecordingShell& operator=(const RecordingShell&) = delete;
  bool OpenItem(const std::string& item) override;
  bool StartCommand(const std::string& commandLine) override;
  bool StartProgram(const std::string& program, const std::vector<std::string>& arguments) override;

  std::vector<std::string> opened;
  std::vector<std::string> started;
  // Each StartProgram call: the program, then its arguments.
  std::vector<std::vector<std::string>> programs;
  bool result = true;

 private:
  ShellHandler* previous_;
};

struct Association {
  std::string mimeType;
  std::string desktopEntry;  // path of the desktop file
  std::string program;       // its Exec line without field codes
  std::string icon;          // its Icon line: a theme name or a file path
};

// The default application of files with this extension ("htm" or ".htm").
std::optional<Association> AssociatedProgram(std::string_view extension);

// The folders searched for desktop entries, in order.
std::vector<std::filesystem::path> ApplicationFolders();

}  // namespace qlon::platform
