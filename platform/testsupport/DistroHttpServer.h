#pragma once
// nginx or Apache 2 from the distribution (packages nginx and apache2), run
// as a child process in the foreground with a configuration of the test's
// own, serving one folder on a free loopback port: servers nobody here
// wrote, with their own conditional replies, dates and error pages. Nothing
// of the system's configuration is read; no service manager is involved.
//
//   DistroHttpServer server(DistroHttpServer::Kind::Nginx);
//   if (!server.Available()) GTEST_SKIP() << server.Why();
//   ASSERT_TRUE(server.Start(folder)) << server.Why();
//
// Both log each request as one line "request-line status", for example
// "GET /a.html HTTP/1.0 304" (Requests).
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "TempRoot.h"

namespace qlon::test {

class DistroHttpServer {
 public:
  enum class Kind { Nginx, Apache };

  explicit DistroHttpServer(Kind kind);
  ~DistroHttpServer();
  DistroHttpServer(const DistroHttpServer&) = delete;
  DistroHttpServer& operator=(const DistroHttpServer&) = delete;

  // "nginx" or "apache2".
  const char* Name() const;
  // The server's program is installed.
  bool Available() const { return !program_.empty(); }
  // Serves folder (read-only; "/" gives its index.html); true once the
  // server accepts connections. The types of the usual extensions (html,
  // css, js, gif, png, jpg, svg, txt) are set by the configuration.
  bool Start(const std::filesystem::path& folder);
  // Ends the server and waits for it.
  void Stop();
  // Why the server is not available or did not start.
  const std::string& Why() const { return why_; }

  std::uint16_t Port() const { return port_; }
  // "http://127.0.0.1:port" + path.
  std::string Url(const std::string& path = "/") const;
  // The requests answered so far, in order.
  std::vector<std::string> Requests() const;
  // Forgets the requests logged so far (Requests starts again from here).
  void ClearRequests();
  // What the server wrote to its error log and its output.
  std::string Errors() const;

 private:
  std::string Configuration(std::uint16_t port) const;
  std::vector<std::string> Arguments() const;

  Kind kind_;
  std::string program_;
  std::string why_;
  TempDir dir_;  // configuration, logs, pid and lock files
  std::filesystem::path folder_;
  pid_t pid_ = -1;
  std::uint16_t port_ = 0;
  size_t logged_ = 0;  // requests before the last ClearRequests
};

}  // namespace qlon::test
