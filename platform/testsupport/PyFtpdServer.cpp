#include "PyFtpdServer.h"

#include <unistd.h>

#include <chrono>

#include "ServerProcess.h"
#include "TempRoot.h"

namespace qlon::test {
namespace {

using namespace std::chrono_literals;

// The interpreter that has the module: Debian's own first (a Python of
// another installation earlier on PATH would not see the package).
std::string FindPython() {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (WaitExit(SpawnLogged({python, "-c", "import pyftpdlib"}, "")) == 0) return python;
  return {};
}

TempDir& LogFolder() {
  static TempDir dir;
  return dir;
}

}  // namespace

PyFtpdServer::PyFtpdServer() : python_(FindPython()) {
  if (python_.empty()) why_ = "python3-pyftpdlib is not installed (tools/setup.sh installs it)";
}

PyFtpdServer::~PyFtpdServer() { Stop(); }

bool PyFtpdServer::Start(const std::filesystem::path& folder) {
  Stop();
  if (!Available()) return false;
  folder_ = folder;
  static int serial = 0;
  log_ = LogFolder().path() / ("pyftpd-" + std::to_string(::getpid()) + "-" + std::to_string(++serial) + ".log");
  // The free port may be taken between our look and the server's bind: then
  // the server ends at once and another port is tried.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::uint16_t port = FreeLoopbackPort();
    if (port != 0 && Launch(port) && WaitListening(pid_, port, 15s)) {
      port_ = port;
      return true;
    }
    Stop();
  }
  if (why_.empty()) why_ = "pyftpdlib did not start: " + Log();
  return false;
}

bool PyFtpdServer::Launch(std::uint16_t port) {
  pid_ = SpawnLogged(
      {python_, "-m", "pyftpdlib", "-p", std::to_string(port), "-i", "127.0.0.1", "-d", folder_.string()},
      log_.string());
  return pid_ > 0;
}

void PyFtpdServer::Stop() { EndProcess(pid_); }

std::string PyFtpdServer::Url(const std::string& path) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + path;
}

std::string PyFtpdServer::Log() const { return log_.empty() ? std::string() : ReadFileBytes(log_); }

}  // namespace qlon::test
