#include "LoopbackServer.h"

#include <algorithm>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace qlon::test {

LoopbackServer::LoopbackServer() = default;

LoopbackServer::~LoopbackServer() { Stop(); }

bool LoopbackServer::Start() {
  if (listener_ >= 0) return true;
  if (::pipe2(wake_, O_CLOEXEC) != 0) return false;
  listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listener_ < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (::bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listener_, 256) != 0 ||
      ::getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    ::close(listener_);
    listener_ = -1;
    return false;
  }
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
  return true;
}

void LoopbackServer::Stop() {
  if (stopping_.exchange(true)) return;
  if (wake_[1] >= 0) {
    const char c = 0;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], &c, 1);
  }
  changed_.notify_all();
  if (acceptor_.joinable()) acceptor_.join();
  std::list<std::thread> handlers;
  {
    std::lock_guard lock(mutex_);
    handlers.swap(handlers_);
  }
  for (std::thread& t : handlers) t.join();
  if (listener_ >= 0) ::close(listener_);
  for (int& fd : wake_)
    if (fd >= 0) ::close(fd), fd = -1;
  listener_ = -1;
}

void LoopbackServer::AcceptLoop() {
  for (;;) {
    pollfd fds[2] = {{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0 && errno != EINTR) return;
    if (fds[1].revents || stopping_) return;
    if (!(fds[0].revents & POLLIN)) continue;
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    ++connections_;
    ++open_;
    std::lock_guard lock(mutex_);
    for (const std::thread::id& id : done_) {
      auto it = std::find_if(handlers_.begin(), handlers_.end(), [&](const std::thread& t) { return t.get_id() == id; });
      if (it == handlers_.end()) continue;
      it->join();  // it holds nothing any more: it is returning
      handlers_.erase(it);
    }
    done_.clear();
    handlers_.emplace_back([this, fd] {
      Handle(fd);
      ::close(fd);
      --open_;
      std::lock_guard inner(mutex_);
      done_.push_back(std::this_thread::get_id());
      changed_.notify_all();
    });
  }
}

bool LoopbackServer::WaitIdle(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, timeout, [this] { return open_.load() == 0; });
}

bool LoopbackServer::Sleep(std::chrono::milliseconds duration) {
  if (duration.count() <= 0) return !stopping_;
  pollfd fd{wake_[0], POLLIN, 0};
  ::poll(&fd, 1, static_cast<int>(duration.count()));
  return !stopping_;
}

bool LoopbackServer::WaitReadable(int fd, std::chrono::milliseconds timeout) {
  pollfd fds[2] = {{fd, POLLIN, 0}, {wake_[0], POLLIN, 0}};
  return ::poll(fds, 2, static_cast<int>(timeout.count())) > 0 && !fds[1].revents;
}

int LoopbackServer::ReadSome(int fd, std::string& buffer, std::chrono::milliseconds timeout) {
  if (!WaitReadable(fd, timeout)) return -1;
  char block[16384];
  const ssize_t n = ::recv(fd, block, sizeof block, 0);
  if (n <= 0) return 0;
  buffer.append(block, static_cast<std::size_t>(n));
  return static_cast<int>(n);
}

bool LoopbackServer::WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

void LoopbackServer::SetAbortiveClose(int fd) {
  linger l{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
}

}  // namespace qlon::test
