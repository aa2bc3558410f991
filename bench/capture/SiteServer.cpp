#include "SiteServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <thread>
#include <vector>

#include "FolderSite.h"
#include "Site.h"

namespace qlon::bench {

namespace {

int Listen(uint16_t& port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return -1;
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 1024) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(fd);
    return -1;
  }
  port = ntohs(addr.sin_port);
  return fd;
}

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= std::size_t(n);
  }
  return true;
}

// Reads the request head; the method and target of its first line.
bool ReadRequest(int fd, std::string& method, std::string& target) {
  std::string head;
  char buffer[4096];
  while (head.find("\r\n\r\n") == std::string::npos && head.find("\n\n") == std::string::npos) {
    if (head.size() > 65536) return false;
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    head.append(buffer, std::size_t(n));
  }
  const std::size_t sp1 = head.find(' '), sp2 = head.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return false;
  method = head.substr(0, sp1);
  target = head.substr(sp1 + 1, sp2 - sp1 - 1);
  // An absolute target (through a proxy) names the same resource.
  if (target.rfind("http://", 0) == 0) {
    const std::size_t slash = target.find('/', 7);
    target = slash == std::string::npos ? "/" : target.substr(slash);
  }
  return true;
}

const char* Reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 404: return "Not Found";
    case 500: return "Internal Server Error";
    default: return "Unknown";
  }
}

using ReplyFn = std::function<SiteReply(const std::string&)>;

void Serve(int listener, bool external, const ReplyFn& answer, ServerCounters& counters) {
  for (;;) {
    const int fd = ::accept(listener, nullptr, nullptr);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;
    }
    timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    std::string method, target;
    if (ReadRequest(fd, method, target)) {
      SiteReply reply;
      if (external) {
        reply.type = "text/html";
        reply.body = "<html><body>Autre site</body></html>\n";
        ++counters.external;
      } else {
        reply = answer(target);
        ++counters.requests;
      }
      if (const int ms = counters.latencyMs; ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      std::string bytes = "HTTP/1.0 " + std::to_string(reply.status) + " " + Reason(reply.status) + "\r\n";
      bytes += "Server: capbench\r\nContent-Type: " + reply.type + "\r\n";
      bytes += "Content-Length: " + std::to_string(reply.body.size()) + "\r\n";
      bytes += "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n";
      if (!reply.location.empty()) bytes += "Location: " + reply.location + "\r\n";
      bytes += "Connection: close\r\n\r\n";
      if (method != "HEAD") bytes += reply.body;
      if (WriteAll(fd, bytes.data(), bytes.size())) counters.bytes += bytes.size();
      ::shutdown(fd, SHUT_WR);
    }
    ::close(fd);
  }
}

}  // namespace

SiteServer::~SiteServer() { Stop(); }

bool SiteServer::Start(int pages, int images, int threads) {
  return Launch(threads, [=, this]() -> ReplyFn {
    auto site = std::make_shared<Site>(pages, images, Origin(), ExternalOrigin());
    site->SetImages(MakeGifs(), MakeJpegs());
    return [site](const std::string& target) { return site->Reply(target); };
  });
}

bool SiteServer::StartFolder(const std::filesystem::path& root, int threads) {
  return Launch(threads, [root]() -> ReplyFn {
    auto site = std::make_shared<FolderSite>(root);
    return [site](const std::string& target) { return site->Reply(target); };
  });
}

bool SiteServer::Launch(int threads, const std::function<ReplyFn()>& makeSite) {
  void* shared = ::mmap(nullptr, sizeof(ServerCounters), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  if (shared == MAP_FAILED) return std::perror("mmap"), false;
  counters_ = new (shared) ServerCounters;
  listener_ = Listen(port_);
  externalListener_ = Listen(externalPort_);
  if (listener_ < 0 || externalListener_ < 0) return std::perror("listen"), false;
  std::fflush(nullptr);
  child_ = ::fork();
  if (child_ < 0) return std::perror("fork"), false;
  if (child_ == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlive the benchmark
    const ReplyFn answer = makeSite();
    std::vector<std::thread> pool;
    for (int i = 0; i < threads; ++i) pool.emplace_back(Serve, listener_, false, std::cref(answer), std::ref(*counters_));
    Serve(externalListener_, true, answer, *counters_);
    ::_exit(0);
  }
  ::close(listener_);
  ::close(externalListener_);
  listener_ = externalListener_ = -1;
  return true;
}

void SiteServer::Stop() {
  if (child_ > 0) {
    ::kill(child_, SIGTERM);
    ::waitpid(child_, nullptr, 0);
    child_ = -1;
  }
  if (listener_ >= 0) ::close(listener_);
  if (externalListener_ >= 0) ::close(externalListener_);
  listener_ = externalListener_ = -1;
  if (counters_) {
    counters_->~ServerCounters();
    ::munmap(counters_, sizeof(ServerCounters));
    counters_ = nullptr;
  }
}

}  // namespace qlon::bench
