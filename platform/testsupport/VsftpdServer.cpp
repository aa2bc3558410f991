#include "VsftpdServer.h"

#include <pwd.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "ServerProcess.h"

namespace qlon::test {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string FindVsftpd() {
  for (const char* path : {"/usr/sbin/vsftpd", "/usr/local/sbin/vsftpd"})
    if (::access(path, X_OK) == 0) return path;
  return {};
}

// The user anonymous sessions run as, when vsftpd is started by root.
std::string AnonymousUser() {
  for (const char* name : {"ftp", "nobody"})
    if (::getpwnam(name)) return name;
  return {};
}

}  // namespace

VsftpdServer::VsftpdServer() : program_(FindVsftpd()) {
  if (program_.empty()) why_ = "vsftpd is not installed (tools/setup.sh installs it)";
}

VsftpdServer::~VsftpdServer() { Stop(); }

bool VsftpdServer::Start(const fs::path& folder, int maxPerIp) {
  Stop();
  if (!Available()) return false;
  folder_ = fs::absolute(folder).lexically_normal();
  const bool root = ::geteuid() == 0;
  if (root && AnonymousUser().empty()) {
    why_ = "no \"ftp\" or \"nobody\" user for vsftpd's anonymous sessions";
    return false;
  }
  prefix_ = root ? std::string() : folder_.string();
  if (!prefix_.empty() && prefix_.back() == '/') prefix_.pop_back();
  fs::create_directories(dir_.path() / "empty");
  // The free port may be taken between our look and the server's bind: then
  // the server ends at once and another port is tried.
  for (int attempt = 0; attempt < 3; ++attempt) {
    const std::uint16_t port = FreeLoopbackPort();
    if (port != 0 && Launch(port, maxPerIp) && WaitListening(pid_, port, 15)) {
      port_ = port;
      // The look at the port was a session: let the server count it out.
      std::this_thread::sleep_for(100ms);
      return true;
    }
    Stop();
  }
  if (why_.empty()) why_ = "vsftpd did not start: " + Log() + ReadFileBytes(dir_.path() / "vsftpd.out");
  return false;
}

bool VsftpdServer::Launch(std::uint16_t port, int maxPerIp) {
  const bool root = ::geteuid() == 0;
  const fs::path config = dir_.path() / "vsftpd.conf";
  std::ofstream out(config, std::ios::trunc);
  out << "listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\nlisten_port=" << port
      << "\nbackground=NO\n"
         "anonymous_enable=YES\nlocal_enable=NO\nwrite_enable=NO\nno_anon_password=YES\n"
         "anon_root="
      << folder_.string() << "\nsecure_chroot_dir=" << (dir_.path() / "empty").string()
      << "\npasv_enable=YES\nport_enable=YES\nmax_clients=0\nmax_per_ip=" << maxPerIp
      << "\nxferlog_enable=YES\nxferlog_std_format=NO\nlog_ftp_protocol=YES\nvsftpd_log_file="
      << (dir_.path() / "vsftpd.log").string() << "\nsyslog_enable=NO\nseccomp_sandbox=NO\n";
  if (root)
    out << "run_as_launching_user=NO\nftp_username=" << AnonymousUser() << "\nnopriv_user=" << AnonymousUser()
        << "\n";
  else
    out << "run_as_launching_user=YES\n";
  out.close();
  if (!out) {
    why_ = "cannot write " + config.string();
    return false;
  }
  pid_ = SpawnProcess({program_, config.string()}, (dir_.path() / "vsftpd.out").string());
  return pid_ > 0;
}

void VsftpdServer::Stop() { StopProcess(pid_); }

std::string VsftpdServer::Url(const std::string& path) const {
  return "ftp://127.0.0.1:" + std::to_string(port_) + prefix_ + path;
}

std::string VsftpdServer::Log() const { return ReadFileBytes(dir_.path() / "vsftpd.log"); }

int VsftpdServer::Refusals() const {
  const std::string log = Log();
  int count = 0;
  for (size_t at = log.find("\"421 "); at != std::string::npos; at = log.find("\"421 ", at + 1)) ++count;
  return count;
}

}  // namespace qlon::test
