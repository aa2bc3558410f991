#include "UtilsInstance.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <memory>
#include <mutex>
#include <thread>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include "HandOver.h"
#include "NamedMutex.h"
#include "UtilsFile.h"
#include "WindowMessage.h"

namespace qlon {

namespace {

std::mutex gInstanceLock;
std::unique_ptr<platform::NamedMutex> gInstanceMutex;

StringList ProcessArguments() {
  StringList args;
  if (QCoreApplication::instance()) {
    const QStringList all = QCoreApplication::arguments();
    for (qsizetype i = 1; i < all.size(); ++i) args.push_back(all[i].toStdString());
    return args;
  }
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string arg;
  bool first = true;
  while (std::getline(in, arg, '\0')) {
    if (!first) args.push_back(arg);
    first = false;
  }
  return args;
}

}  // namespace

std::string InstanceMutexName(std::string_view title) {
  std::string name = "APPLICATION-" + std::string(title);
  std::replace(name.begin(), name.end(), '\\', '_');
  return QString::fromStdString(name).toUpper().toStdString();
}

bool CreateInstanceMutex(std::string_view title) {
  const std::string name = InstanceMutexName(title.empty() ? ProgramFile().string() : std::string(title));
  std::lock_guard lock(gInstanceLock);
  if (gInstanceMutex && gInstanceMutex->name() == name) return false;  // it exists: ours
  auto mutex = std::make_unique<platform::NamedMutex>(name);
  if (!mutex->TryLock()) return false;
  gInstanceMutex = std::move(mutex);
  return true;
}

void CloseInstanceMutex() {
  std::lock_guard lock(gInstanceLock);
  gInstanceMutex.reset();
}

bool IsInstanceFree(std::string_view pathOrTitle) {
  const std::string name = InstanceMutexName(pathOrTitle);
  {
    std::lock_guard lock(gInstanceLock);
    if (gInstanceMutex && gInstanceMutex->name() == name) return false;
  }
  platform::NamedMutex probe(name);
  return probe.TryLock();  // released at once by the destructor
}

InstanceWindow FindWindowByTitle(std::string_view title) {
  const std::string name = InstanceMutexName(title);
  if (platform::HandOverServer::ListensInThisProcess(name)) return {};
  {
    // This process is that instance: there is no other to find.
    std::lock_guard lock(gInstanceLock);
    if (gInstanceMutex && gInstanceMutex->name() == name) return {};
  }
  QElapsedTimer waited;
  waited.start();
  for (;;) {
    if (platform::HandOverAvailable(name, 500)) return {name};
    if (!platform::NamedMutex::IsHeldElsewhere(name) || waited.elapsed() > 5000) return {};
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

QByteArray CommandLinePayload(const StringList& arguments) {
  QByteArray payload;
  for (const std::string& a : arguments) {
    payload.append(a.data(), static_cast<qsizetype>(a.size()));
    payload.append("\r\n");
  }
  payload.append('\0');
  return payload;
}

bool SendCommandLine(const InstanceWindow& window) { return SendCommandLine(window, ProcessArguments()); }

bool SendCommandLine(const InstanceWindow& window, const StringList& arguments) {
  return window && platform::SendHandOver(window.channel, CommandLinePayload(arguments));
}

bool ListenForCommandLine(QObject* window, std::string_view title) {
  if (!window) return false;
  const std::string name = InstanceMutexName(title);
  {
    // Only the instance may take over the socket name.
    std::lock_guard lock(gInstanceLock);
    if (!gInstanceMutex || gInstanceMutex->name() != name) return false;
  }
  auto* server = new platform::HandOverServer(window);
  if (!server->Listen(name)) {
    delete server;
    return false;
  }
  QObject::connect(server, &platform::HandOverServer::received, window, [window](const QByteArray& data) {
    const platform::CopyDataStruct copy{0, static_cast<std::uint32_t>(data.size()), data.constData()};
    platform::SendMessage(window, platform::WM_COPYDATA, 0, reinterpret_cast<platform::LPARAM>(&copy));
  });
  return true;
}

}  // namespace qlon
