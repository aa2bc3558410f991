#pragma once
// Serves the generated site (or the files of a folder) on 127.0.0.1 over HTTP/1.0 (one request per
// connection, then close) from a child process, so that the time and memory
// the benchmark measures of a crawler are never the server's. A pool of
// threads accepts on the same listener; each may wait a fixed latency
// before it answers. A second listener plays the "other host": it answers
// every request and counts it, which tells whether a crawler left the site.
#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "Site.h"

namespace qlon::bench {

struct ServerCounters {
  std::atomic<uint64_t> requests{0};
  std::atomic<uint64_t> external{0};
  std::atomic<uint64_t> bytes{0};
  std::atomic<int> latencyMs{0};
};

class SiteServer {
 public:
  SiteServer() = default;
  ~SiteServer();
  SiteServer(const SiteServer&) = delete;
  SiteServer& operator=(const SiteServer&) = delete;

  // Binds both listeners, then forks the serving process. False (with a
  // message on stderr) when a port cannot be bound or the fork fails.
  bool Start(int pages, int images, int threads);
  // The same for the files of a folder (FolderSite.h).
  bool StartFolder(const std::filesystem::path& root, int threads);
  void Stop();

  uint16_t Port() const { return port_; }
  uint16_t ExternalPort() const { return externalPort_; }
  std::string Origin() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string ExternalOrigin() const { return "http://localhost:" + std::to_string(externalPort_); }

  // Shared with the serving process: changes apply to the next request.
  void SetLatency(int ms) { counters_->latencyMs = ms; }
  uint64_t Requests() const { return counters_->requests; }
  uint64_t ExternalRequests() const { return counters_->external; }
  uint64_t BytesSent() const { return counters_->bytes; }

 private:
  bool Launch(int threads, const std::function<std::function<SiteReply(const std::string&)>()>& makeSite);

  int listener_ = -1, externalListener_ = -1;
  uint16_t port_ = 0, externalPort_ = 0;
  pid_t child_ = -1;
  ServerCounters* counters_ = nullptr;
};

}  // namespace qlon::bench
