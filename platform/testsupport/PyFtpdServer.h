#pragma once
// pyftpdlib (Debian's python3-pyftpdlib), a real FTP server, run as a child
// process serving one folder anonymously on a free loopback port: the
// server our FTP client meets outside its own tests, with its own replies,
// timings and active and passive modes.
//
//   PyFtpdServer server;
//   if (!server.Available()) GTEST_SKIP() << server.Why();
//   ASSERT_TRUE(server.Start(folder)) << server.Why();
//
// Its log (stderr, one line per transfer and event) is kept in a file.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace qlon::test {

class PyFtpdServer {
 public:
  PyFtpdServer();
  ~PyFtpdServer();
  PyFtpdServer(const PyFtpdServer&) = delete;
  PyFtpdServer& operator=(const PyFtpdServer&) = delete;

  // A Python with the pyftpdlib module was found.
  bool Available() const { return !python_.empty(); }
  // Serves folder read-only; true once the server accepts connections.
  bool Start(const std::filesystem::path& folder);
  // Ends the server (SIGTERM, then SIGKILL) and waits for it.
  void Stop();
  // Why the server is not available or did not start.
  const std::string& Why() const { return why_; }

  std::uint16_t Port() const { return port_; }
  // "ftp://127.0.0.1:port" + path.
  std::string Url(const std::string& path = "/") const;
  // What the server logged so far.
  std::string Log() const;

 private:
  bool Launch(std::uint16_t port);

  std::string python_;
  std::string why_;
  std::filesystem::path folder_;
  std::filesystem::path log_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace qlon::test
