#pragma once
// Single instance. The running instance holds the mutex of its title and
// listens for command lines under the same name; a second instance finds
// it by the title and hands over its arguments.
#include <string>
#include <string_view>

#include <QByteArray>

#include "UtilsText.h"

class QObject;

namespace qlon {

// "APPLICATION-" + title, "\" turned into "_", upper-cased.
std::string InstanceMutexName(std::string_view title);
// True only when this call made this process the instance (the mutex is
// then kept until CloseInstanceMutex or the end of the process). An empty
// title stands for the program's file.
bool CreateInstanceMutex(std::string_view title);
void CloseInstanceMutex();
// True when no process holds the instance mutex of that path or title.
bool IsInstanceFree(std::string_view pathOrTitle);

// The running instance's window as this process reaches it.
struct InstanceWindow {
  std::string channel;
  explicit operator bool() const { return !channel.empty(); }
};
// The instance of that title that listens for command lines, other than
// this process; waits up to 5 s for one whose mutex is taken but which
// does not listen yet (it is starting). Empty when none.
InstanceWindow FindWindowByTitle(std::string_view title);
// Each argument followed by CR LF, then a NUL.
QByteArray CommandLinePayload(const StringList& arguments);
// Hands this process's arguments (or the given ones) to the window; true
// when the running instance took them.
bool SendCommandLine(const InstanceWindow& window);
bool SendCommandLine(const InstanceWindow& window, const StringList& arguments);
// For the running instance (which must hold the instance mutex of the
// title): every command line handed over reaches window as a WM_COPYDATA
// window message whose lParam points to a platform::CopyDataStruct
// (dwData 0, cbData the bytes with the NUL), sent while the socket is
// served: a handler that opens dialogs or runs long should post itself the
// work. False when it cannot listen.
bool ListenForCommandLine(QObject* window, std::string_view title);

}  // namespace qlon
