// A second program for the single-instance tests. QLON_HELPER_MODE says
// what it does with the instance of title QLON_HELPER_TITLE; its own
// arguments are the command line it hands over.
//   primary    become the instance, listen, print "ready", print each
//              command line received ("got <hex>") and end after the first
//   slow       as primary, but wait a second between the mutex and listening
//   secondary  hand the arguments to the running instance and end
//              (0 handed over, 2 it was the first instance, 5 no instance
//              found, 6 not taken)
//   hold       become the instance, print "held" (or "busy"), wait to be killed
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <unistd.h>

#include <QCoreApplication>
#include <QTimer>

#include "Utils.h"
#include "WindowMessage.h"

namespace {

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

class Window : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != qlon::platform::WindowMessage::Type()) return QObject::event(e);
    auto* m = static_cast<qlon::platform::WindowMessage*>(e);
    if (m->message == qlon::platform::WM_COPYDATA) {
      const auto* copy = reinterpret_cast<const qlon::platform::CopyDataStruct*>(m->lParam);
      const QByteArray data(static_cast<const char*>(copy->lpData), copy->cbData);
      Say("got " + data.toHex().toStdString() + " dwData=" + std::to_string(copy->dwData));
      m->result = 1;
      QTimer::singleShot(0, qApp, &QCoreApplication::quit);
    }
    return true;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const char* modeVar = std::getenv("QLON_HELPER_MODE");
  const char* titleVar = std::getenv("QLON_HELPER_TITLE");
  const std::string mode = modeVar ? modeVar : "";
  const std::string title = titleVar ? titleVar : "";

  if (mode == "secondary") {
    if (qlon::CreateInstanceMutex(title)) return 2;
    const qlon::InstanceWindow window = qlon::FindWindowByTitle(title);
    if (!window) return 5;
    return qlon::SendCommandLine(window) ? 0 : 6;
  }
  if (mode == "hold") {
    Say(qlon::CreateInstanceMutex(title) ? "held" : "busy");
    for (;;) ::pause();
  }
  if (mode == "primary" || mode == "slow") {
    if (!qlon::CreateInstanceMutex(title)) {
      Say("busy");
      return 3;
    }
    if (mode == "slow") {
      Say("locked");
      std::this_thread::sleep_for(std::chrono::seconds(1));
    }
    Window window;
    if (!qlon::ListenForCommandLine(&window, title)) return 4;
    Say("ready");
    const int rc = app.exec();
    qlon::CloseInstanceMutex();
    return rc;
  }
  return 64;
}
