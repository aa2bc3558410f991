#include "PyFtpdServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "TempRoot.h"

extern char** environ;

namespace qlon::test {
namespace {

using namespace std::chrono_literals;

// Runs argv with its output to `output` (or nowhere); the pid, -1 when it
// could not start.
pid_t Spawn(const std::vector<std::string>& args, const std::string& output) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const char* sink = output.empty() ? "/dev/null" : output.c_str();
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, sink, O_WRONLY | O_CREAT | O_APPEND, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return failed ? -1 : pid;
}

int ExitCode(pid_t pid) {
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::uint16_t FreeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  std::uint16_t port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
    port = ntohs(addr.sin_port);
  if (fd >= 0) ::close(fd);
  return port;
}

bool Accepts(std::uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  const bool ok = fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (fd >= 0) ::close(fd);
  return ok;
}

// The interpreter that has the module: Debian's own first (a Python of
// another installation earlier on PATH would not see the package).
std::string FindPython() {
  for (const char* python : {"/usr/bin/python3", "python3"})
    if (ExitCode(Spawn({python, "-c", "import pyftpdlib"}, "")) == 0) return python;
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
    if (port != 0 && Launch(port) && WaitListening(port)) {
      port_ = port;
      return true;
    }
    Stop();
  }
  if (why_.empty()) why_ = "pyftpdlib did not start: " + Log();
  return false;
}

bool PyFtpdServer::Launch(std::uint16_t port) {
  pid_ = Spawn({python_, "-m", "pyftpdlib", "-p", std::to_string(port), "-i", "127.0.0.1", "-d", folder_.string()},
               log_.string());
  return pid_ > 0;
}

bool PyFtpdServer::WaitListening(std::uint16_t port) {
  const auto deadline = std::chrono::steady_clock::now() + 15s;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;  // ended: its port was taken, or it could not run
      return false;
    }
    if (Accepts(port)) return true;
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

void PyFtpdServer::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(20ms);
  }
  ::kill(pid_, SIGKILL);
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string PyFtpdServer::Url(const std::string& path) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + path;
}

std::string PyFtpdServer::Log() const { return log_.empty() ? std::string() : ReadFileBytes(log_); }

}  // namespace qlon::test
