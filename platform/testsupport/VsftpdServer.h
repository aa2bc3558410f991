#pragma once
// vsftpd (Debian's vsftpd), a real FTP server with the per-client cap that
// real servers set (max_per_ip), run as a child process with a
// configuration of its own, serving one folder anonymously on a free
// loopback port:
//
//   VsftpdServer server;
//   if (!server.Available()) GTEST_SKIP() << server.Why();
//   ASSERT_TRUE(server.Start(folder, 3)) << server.Why();
//   ... server.Url("/") ...
//
// As root, vsftpd runs as it does on a server: it shuts each anonymous
// session into the folder (run as the "ftp" user, or "nobody"), so the
// folder and what it holds must be readable by all. As another user it can
// only run as that user, without that enclosure: the folder is then reached
// under its own absolute path, which Url() puts in front. Its log holds
// every command and reply of every session.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "TempRoot.h"

namespace qlon::test {

class VsftpdServer {
 public:
  VsftpdServer();
  ~VsftpdServer();
  VsftpdServer(const VsftpdServer&) = delete;
  VsftpdServer& operator=(const VsftpdServer&) = delete;

  bool Available() const { return !program_.empty(); }
  // Serves the folder read-only to anonymous sessions, at most `maxPerIp`
  // of them at once from one address (0: no cap); true once it accepts
  // connections.
  bool Start(const std::filesystem::path& folder, int maxPerIp);
  void Stop();
  const std::string& Why() const { return why_; }

  std::uint16_t Port() const { return port_; }
  // "ftp://127.0.0.1:port" + the served folder's own path + path.
  std::string Url(const std::string& path = "/") const;
  std::string Log() const;
  // Sessions the server refused for too many connections so far.
  int Refusals() const;

 private:
  bool Launch(std::uint16_t port, int maxPerIp);

  std::string program_;
  std::string why_;
  std::filesystem::path folder_;
  TempDir dir_;  // configuration, empty enclosure, log
  std::string prefix_;  // the folder's path in URLs: empty when enclosed
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace qlon::test
