#pragma once
// A TCP server on 127.0.0.1 for network tests, on its own threads so that a
// test's event loop and the server never wait on each other. It listens on
// a free port, accepts on one thread and runs each connection's handler on
// a thread of its own. The HTTP server below (and the FTP server to come)
// only supply the handler.
//
// Handlers wait through Sleep(), which returns false as soon as the server
// stops, so delays and silences never hold up the end of a test.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qlon::test {

class LoopbackServer {
 public:
  LoopbackServer();
  virtual ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  // Starts listening and accepting; false when no port could be bound.
  bool Start();
  // Closes the listener, wakes every handler and joins all threads.
  // Derived classes call it first in their destructor.
  void Stop();

  std::uint16_t Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  int Connections() const { return connections_.load(); }
  // Handlers that have not returned yet.
  int OpenConnections() const { return open_.load(); }
  // Waits until every accepted connection's handler has returned.
  bool WaitIdle(std::chrono::milliseconds timeout);

 protected:
  // Runs on the connection's thread; the server closes fd afterwards.
  virtual void Handle(int fd) = 0;
  // False when the server stopped during the wait.
  bool Sleep(std::chrono::milliseconds duration);
  bool Stopping() const { return stopping_.load(); }
  // True when fd is readable (for a listener: a connection waits) within
  // timeout; false on time-out or stop.
  bool WaitReadable(int fd, std::chrono::milliseconds timeout);
  // Reads what is there within timeout into buffer (appended); 0 at the
  // peer's close or an error, -1 on time-out or stop.
  int ReadSome(int fd, std::string& buffer, std::chrono::milliseconds timeout);
  // Writes all bytes; false when the peer is gone.
  static bool WriteAll(int fd, const char* data, std::size_t size);
  // Makes the coming close send a reset instead of an orderly end.
  static void SetAbortiveClose(int fd);

 private:
  void AcceptLoop();

  int listener_ = -1;
  int wake_[2] = {-1, -1};  // a pipe written once at Stop
  std::uint16_t port_ = 0;
  std::atomic<bool> stopping_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> open_{0};
  std::thread acceptor_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::list<std::thread> handlers_;
  // Handlers that returned, joined at the next accept: a long-running server
  // (a benchmark's) would otherwise run out of threads.
  std::vector<std::thread::id> done_;
};

}  // namespace qlon::test
