// qlonschd: the scheduler's companion. The program starts it after saving
// its tasks when a job has a next start; it starts the program again at
// that date when the program is not running.
//
// It reads what the scheduler publishes (HKEY_CLASSES_ROOT\Quillon\Scheduler
// "State" and "Startup date") as participant 0 of the synchronizer
// "QuillonSyncExchange", once at start and after every change. It holds
// its own instance mutex, so the program never starts it twice, and ends
// when nothing is scheduled. The program it starts finds
// QLON_SCHEDULED_START=1 in its environment (kScheduledStartVariable).
//
//   qlonschd [--program PATH]    PATH: the program to start (default: qlon98
//                                beside this executable)
#include <chrono>
#include <cmath>
#include <cstring>
#include <string>
#include <thread>

#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>

#include "DataSynchronizer.h"
#include "Registry.h"
#include "Scheduler.h"
#include "Shell.h"
#include "Utils.h"

namespace {

struct Published {
  std::uint8_t state = 0;
  double startup = 0;
};

Published Read() {
  Published p;
  qlon::registry::Key key;
  if (qlon::registry::OpenKey(qlon::registry::HKEY_CLASSES_ROOT, "Quillon\\Scheduler",
                              qlon::registry::Access::Read, &key) != qlon::registry::kOk)
    return p;
  qlon::registry::Value v;
  if (qlon::registry::QueryValue(key, "State", &v) == qlon::registry::kOk && v.data.size() == 4) p.state = v.data[0];
  if (qlon::registry::QueryValue(key, "Startup date", &v) == qlon::registry::kOk && v.data.size() == 8) {
    std::memcpy(&p.startup, v.data.data(), 8);
    if (!std::isfinite(p.startup)) p.startup = 0;
  }
  return p;
}

// A daemon keeps none of its starter's descriptors: a pipe it held open
// would keep the starter's reader (a terminal, a test runner) waiting.
void DetachFromStarter() {
  const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
  if (null >= 0) {
    for (int fd = 0; fd <= 2; ++fd) ::dup3(null, fd, 0);
    if (null > 2) ::close(null);
  }
  ::close_range(3, ~0U, 0);
}

}  // namespace

int main(int argc, char** argv) {
  DetachFromStarter();
  QCoreApplication app(argc, argv);
  std::string program = (qlon::ProgramFolder() / "qlon98").string();
  for (int i = 1; i + 1 < argc; ++i)
    if (std::string(argv[i]) == "--program") program = argv[++i];
  if (!qlon::CreateInstanceMutex("")) return 0;  // one companion is enough
  qputenv(qlon::kScheduledStartVariable, "1");  // for the programs it starts

  qlon::TDataSynchronizer sync("QuillonSyncExchange", 0);
  Published published = Read();
  double startedFor = 0;  // the date the program was last started for
  for (;;) {
    if (published.startup == 0) return 0;
    const double now = qlon::QDateTimeToDateTime(QDateTime::currentDateTime());
    if (!(published.state & 1) && now >= published.startup && published.startup != startedFor &&
        qlon::IsInstanceFree(program)) {
      qlon::platform::StartProgram(program, {});
      startedFor = published.startup;
    }
    // Read again after every wait, not only when told: the state may have
    // gone with its folder, and then nothing is scheduled any more.
    const bool told = sync.WaitData(1000);
    published = Read();
    if (told) sync.EndRead();
  }
}
