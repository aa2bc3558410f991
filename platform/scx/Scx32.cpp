// The reactor behind Scx32.h: non-blocking IPv4 sockets on one epoll
// descriptor, which also watches
//   - a wake eventfd, written whenever events are queued outside Dispatch,
//   - the resolver's eventfd, written by a worker thread with each answer,
//   - a timerfd armed for the earliest connect deadline.
// Dispatch turns readiness into queued events and then delivers them; the
// queue, the sockets and the callbacks are only touched on the calling
// thread, the resolver's queues only under its mutex.
#include "Scx32.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

enum class Kind : std::uint8_t {
  NoHost,
  OkHost,
  Fail,
  Connect,
  Cut,
  CanWrite,
  Data,
  ServerConnect,
  ServerCut,
  ServerCanWrite,
  ServerData,
};

struct Event {
  ScxHandle handle;
  Kind kind;
  int channel;
  std::string bytes;  // the data, or the distant address
};

struct Callbacks {
  ScxNoHostProc noHost = nullptr;
  ScxOkHostProc okHost = nullptr;
  ScxFailProc fail = nullptr;
  ScxConnectProc connect = nullptr;
  ScxCutProc cut = nullptr;
  ScxCanWriteProc canWrite = nullptr;
  ScxDataProc data = nullptr;
  ScxServerConnectProc serverConnect = nullptr;
  ScxServerCutProc serverCut = nullptr;
  ScxServerCanWriteProc serverCanWrite = nullptr;
  ScxServerDataProc serverData = nullptr;
};

// One TCP stream: a client socket, a listener's accepted peer, or the
// listener itself (which never sends).
struct Stream {
  int fd = -1;
  std::string out;  // bytes not yet taken by the socket, from `sent` on
  std::size_t sent = 0;
  bool watchingOut = false;
};

enum class Phase : std::uint8_t { Resolving, Connecting, Connected, Listening, Done };

struct Socket {
  ScxHandle handle = 0;
  Phase phase = Phase::Resolving;
  Stream stream;
  std::uint16_t port = 0;
  std::optional<Clock::time_point> deadline;
  std::map<int, Stream> channels;  // listener: accepted peers
  int nextChannel = 0;
};

// epoll tags: the handle in the high half, 0 for the socket itself or the
// channel number in the low half. Handle 0 marks the library's own fds.
constexpr std::uint32_t kWakeTag = 1, kResolvedTag = 2, kTimerTag = 3;
std::uint64_t Tag(ScxHandle handle, int channel) {
  return (std::uint64_t(handle) << 32) | std::uint32_t(channel);
}

std::atomic<ScxResolverProc> gResolver{nullptr};
std::atomic<int> gBlock{16384};

bool SystemResolve(const std::string& host, std::string& dotted) {
  if (ScxResolverProc hook = gResolver.load()) {
    char buf[64] = {};
    if (!hook(host.c_str(), buf, int(sizeof buf))) return false;
    buf[sizeof buf - 1] = 0;
    in_addr check{};
    if (inet_pton(AF_INET, buf, &check) != 1) return false;
    dotted = buf;
    return true;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
  char buf[INET_ADDRSTRLEN] = {};
  const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const bool ok = inet_ntop(AF_INET, &in->sin_addr, buf, sizeof buf) != nullptr;
  freeaddrinfo(found);
  if (ok) dotted = buf;
  return ok;
}

// A few worker threads running the blocking resolver; each answer is queued
// and signalled through an eventfd. Answers for aborted handles are simply
// never claimed: Dispatch looks the handle up first.
class Resolver {
 public:
  struct Answer {
    ScxHandle handle;
    bool ok;
    std::string dotted;
  };

  explicit Resolver(int signalFd) : signalFd_(signalFd) {}
  ~Resolver() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& t : threads_) t.join();
  }

  void Ask(ScxHandle handle, std::string host) {
    std::lock_guard lock(mutex_);
    jobs_.push_back({handle, std::move(host)});
    if (idle_ == 0 && threads_.size() < kMaxThreads) threads_.emplace_back([this] { Run(); });
    wake_.notify_one();
  }

  std::deque<Answer> TakeAnswers() {
    std::lock_guard lock(mutex_);
    return std::exchange(answers_, {});
  }

 private:
  static constexpr std::size_t kMaxThreads = 4;
  struct Job {
    ScxHandle handle;
    std::string host;
  };

  void Run() {
    std::unique_lock lock(mutex_);
    for (;;) {
      ++idle_;
      wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      --idle_;
      if (stopping_) return;
      Job job = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      Answer answer{job.handle, false, {}};
      answer.ok = SystemResolve(job.host, answer.dotted);
      lock.lock();
      answers_.push_back(std::move(answer));
      const std::uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(signalFd_, &one, sizeof one);
    }
  }

  const int signalFd_;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> jobs_;
  std::deque<Answer> answers_;
  std::vector<std::thread> threads_;
  std::size_t idle_ = 0;
  bool stopping_ = false;
};

struct Library {
  int epoll = -1, wake = -1, resolved = -1, timer = -1;
  Callbacks callbacks;
  std::unordered_map<ScxHandle, std::unique_ptr<Socket>> sockets;
  std::deque<Event> queue;
  ScxHandle lastHandle = 0;
  std::unique_ptr<Resolver> resolver;
  std::string receiveBuffer;  // every read of a socket goes here first

  ~Library() {
    resolver.reset();  // joins the workers before their eventfd goes
    for (auto& [handle, socket] : sockets) CloseAll(*socket);
    for (int fd : {timer, resolved, wake, epoll})
      if (fd >= 0) ::close(fd);
  }

  bool Open() {
    epoll = ::epoll_create1(EPOLL_CLOEXEC);
    wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    resolved = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    timer = ::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC);
    if (epoll < 0 || wake < 0 || resolved < 0 || timer < 0) return false;
    for (auto [fd, tag] : {std::pair{wake, kWakeTag}, {resolved, kResolvedTag}, {timer, kTimerTag}}) {
      epoll_event ev{};
      ev.events = EPOLLIN;
      ev.data.u64 = Tag(0, int(tag));
      if (::epoll_ctl(epoll, EPOLL_CTL_ADD, fd, &ev) != 0) return false;
    }
    resolver = std::make_unique<Resolver>(resolved);
    return true;
  }

  ScxHandle NewHandle() {
    do ++lastHandle;
    while (lastHandle == 0 || sockets.count(lastHandle));
    return lastHandle;
  }

  Socket* Find(ScxHandle handle) {
    auto it = sockets.find(handle);
    return it == sockets.end() ? nullptr : it->second.get();
  }

  void Post(ScxHandle handle, Kind kind, int channel = 0, std::string bytes = {}) {
    queue.push_back({handle, kind, channel, std::move(bytes)});
  }

  static void Drain(int fd) {
    std::uint64_t value;
    [[maybe_unused]] ssize_t n = ::read(fd, &value, sizeof value);
  }

  void Wake() {
    const std::uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake, &one, sizeof one);
  }

  void Watch(Stream& s, ScxHandle handle, int channel, std::uint32_t events, int op) {
    epoll_event ev{};
    ev.events = events;
    ev.data.u64 = Tag(handle, channel);
    ::epoll_ctl(epoll, op, s.fd, &ev);
  }

  void WatchOut(Stream& s, ScxHandle handle, int channel, bool on) {
    if (s.watchingOut == on) return;
    s.watchingOut = on;
    Watch(s, handle, channel, on ? EPOLLIN | EPOLLOUT : EPOLLIN, EPOLL_CTL_MOD);
  }

  void CloseStream(Stream& s) {
    if (s.fd < 0) return;
    ::epoll_ctl(epoll, EPOLL_CTL_DEL, s.fd, nullptr);
    ::close(s.fd);
    s.fd = -1;
    s.out.clear();
    s.sent = 0;
  }

  void CloseAll(Socket& socket) {
    CloseStream(socket.stream);
    for (auto& [channel, s] : socket.channels) CloseStream(s);
    socket.channels.clear();
  }

  // The terminal event of a client socket; nothing follows it.
  void End(Socket& socket, Kind kind) {
    CloseStream(socket.stream);
    socket.phase = Phase::Done;
    socket.deadline.reset();
    Post(socket.handle, kind);
  }

  void StartConnect(Socket& socket, const std::string& dotted) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(socket.port);
    int fd = -1;
    if (inet_pton(AF_INET, dotted.c_str(), &addr.sin_addr) == 1)
      fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) return End(socket, Kind::Fail);
    socket.stream.fd = fd;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 && errno != EINPROGRESS)
      return End(socket, Kind::Fail);
    socket.phase = Phase::Connecting;
    socket.stream.watchingOut = true;
    Watch(socket.stream, socket.handle, 0, EPOLLOUT, EPOLL_CTL_ADD);
  }

  // Writes what the socket takes now; false when the peer is gone.
  static bool Flush(Stream& s) {
    while (s.sent < s.out.size()) {
      const ssize_t n = ::send(s.fd, s.out.data() + s.sent, s.out.size() - s.sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) {
        s.sent += std::size_t(n);
      } else if (n < 0 && errno == EINTR) {
        continue;
      } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
        break;
      } else {
        return false;
      }
    }
    if (s.sent == s.out.size()) {
      s.out.clear();
      s.sent = 0;
    } else if (s.sent > (1u << 20) && s.sent * 2 > s.out.size()) {
      s.out.erase(0, s.sent);
      s.sent = 0;
    }
    return true;
  }

  static bool Pending(const Stream& s) { return s.sent < s.out.size(); }

  // Reads a bounded number of blocks (level-triggered epoll reports the rest
  // on the next round). Returns false when the stream ended: `error` tells
  // a reset from an orderly close.
  template <typename OnData>
  bool Receive(Stream& s, bool& error, OnData&& onData) {
    // One buffer for every read, not a new zeroed block for each readable
    // socket: the library polls on one thread at a time.
    std::string& buf = receiveBuffer;
    buf.resize(std::size_t(gBlock.load()));
    for (int round = 0; round < 16; ++round) {
      const ssize_t n = ::recv(s.fd, buf.data(), buf.size(), MSG_DONTWAIT);
      if (n > 0) {
        onData(std::string(buf.data(), std::size_t(n)));
      } else if (n == 0) {
        error = false;
        return false;
      } else if (errno == EINTR) {
        continue;
      } else if (errno == EAGAIN || errno == EWOULDBLOCK) {
        return true;
      } else {
        error = true;
        return false;
      }
    }
    return true;
  }

  static std::string PeerAddress(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    char buf[INET_ADDRSTRLEN] = {};
    if (::getpeername(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0 ||
        !inet_ntop(AF_INET, &addr.sin_addr, buf, sizeof buf))
      return {};
    return buf;
  }

  void OnClientReady(Socket& socket, std::uint32_t events) {
    Stream& s = socket.stream;
    if (socket.phase == Phase::Connecting) {
      int err = 0;
      socklen_t len = sizeof err;
      if (::getsockopt(s.fd, SOL_SOCKET, SO_ERROR, &err, &len) != 0) err = errno;
      if (err != 0) return End(socket, Kind::Fail);
      if (!(events & EPOLLOUT)) return;
      socket.phase = Phase::Connected;
      socket.deadline.reset();
      Post(socket.handle, Kind::Connect, 0, PeerAddress(s.fd));
      if (!Flush(s)) return End(socket, Kind::Fail);
      s.watchingOut = Pending(s);  // reading from now on; writing while bytes wait
      Watch(s, socket.handle, 0, s.watchingOut ? EPOLLIN | EPOLLOUT : EPOLLIN, EPOLL_CTL_MOD);
      if (!Pending(s)) Post(socket.handle, Kind::CanWrite);
      return;
    }
    if (socket.phase != Phase::Connected) return;
    if (events & EPOLLOUT) {
      if (!Flush(s)) return End(socket, Kind::Fail);
      if (!Pending(s)) {
        WatchOut(s, socket.handle, 0, false);
        Post(socket.handle, Kind::CanWrite);
      }
    }
    if (events & (EPOLLIN | EPOLLHUP | EPOLLERR)) {
      bool error = false;
      const ScxHandle h = socket.handle;
      if (!Receive(s, error, [&](std::string d) { Post(h, Kind::Data, 0, std::move(d)); }))
        End(socket, error ? Kind::Fail : Kind::Cut);
    }
  }

  void OnListenerReady(Socket& socket) {
    for (int round = 0; round < 16; ++round) {
      const int fd = ::accept4(socket.stream.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) return;
      const int channel = ++socket.nextChannel;
      Stream& s = socket.channels[channel];
      s.fd = fd;
      Watch(s, socket.handle, channel, EPOLLIN, EPOLL_CTL_ADD);
      Post(socket.handle, Kind::ServerConnect, channel, PeerAddress(fd));
      Post(socket.handle, Kind::ServerCanWrite, channel);
    }
  }

  void OnChannelReady(Socket& socket, int channel, std::uint32_t events) {
    auto it = socket.channels.find(channel);
    if (it == socket.channels.end()) return;
    Stream& s = it->second;
    bool ended = false;
    if (events & EPOLLOUT) {
      ended = !Flush(s);
      if (!ended && !Pending(s)) {
        WatchOut(s, socket.handle, channel, false);
        Post(socket.handle, Kind::ServerCanWrite, channel);
      }
    }
    if (!ended && (events & (EPOLLIN | EPOLLHUP | EPOLLERR))) {
      bool error = false;
      const ScxHandle h = socket.handle;
      ended = !Receive(s, error, [&](std::string d) { Post(h, Kind::ServerData, channel, std::move(d)); });
    }
    if (ended) {
      CloseStream(s);
      socket.channels.erase(it);
      Post(socket.handle, Kind::ServerCut, channel);
    }
  }

  void OnResolved() {
    Drain(resolved);
    for (Resolver::Answer& a : resolver->TakeAnswers()) {
      Socket* socket = Find(a.handle);
      if (!socket || socket->phase != Phase::Resolving) continue;
      if (!a.ok) {
        End(*socket, Kind::NoHost);
        continue;
      }
      Post(a.handle, Kind::OkHost);
      StartConnect(*socket, a.dotted);
    }
  }

  void ExpireDeadlines() {
    const Clock::time_point now = Clock::now();
    for (auto& [handle, socket] : sockets)
      if (socket->deadline && *socket->deadline <= now) End(*socket, Kind::Fail);
  }

  void ArmTimer() {
    std::optional<Clock::time_point> next;
    for (auto& [handle, socket] : sockets)
      if (socket->deadline && (!next || *socket->deadline < *next)) next = socket->deadline;
    itimerspec when{};
    if (next) {
      auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(*next - Clock::now()).count();
      if (ns < 1) ns = 1;
      when.it_value.tv_sec = time_t(ns / 1000000000);
      when.it_value.tv_nsec = long(ns % 1000000000);
    }
    ::timerfd_settime(timer, 0, &when, nullptr);
  }

  void Poll() {
    Drain(wake);
    epoll_event events[64];
    const int n = ::epoll_wait(epoll, events, 64, 0);
    for (int i = 0; i < n; ++i) {
      const auto handle = ScxHandle(events[i].data.u64 >> 32);
      const auto low = std::uint32_t(events[i].data.u64);
      if (handle == 0) {
        if (low == kResolvedTag) OnResolved();
        if (low == kTimerTag) Drain(timer);
        continue;
      }
      Socket* socket = Find(handle);  // gone when an earlier event closed it
      if (!socket) continue;
      if (low != 0)
        OnChannelReady(*socket, int(low), events[i].events);
      else if (socket->phase == Phase::Listening)
        OnListenerReady(*socket);
      else
        OnClientReady(*socket, events[i].events);
    }
    ExpireDeadlines();
    ArmTimer();
  }

  void Call(const Event& e) const {
    const Callbacks& c = callbacks;
    const char* bytes = e.bytes.c_str();
    const int size = int(e.bytes.size());
    switch (e.kind) {
      case Kind::NoHost: if (c.noHost) c.noHost(e.handle); break;
      case Kind::OkHost: if (c.okHost) c.okHost(e.handle); break;
      case Kind::Fail: if (c.fail) c.fail(e.handle); break;
      case Kind::Connect: if (c.connect) c.connect(e.handle, bytes); break;
      case Kind::Cut: if (c.cut) c.cut(e.handle); break;
      case Kind::CanWrite: if (c.canWrite) c.canWrite(e.handle); break;
      case Kind::Data: if (c.data) c.data(e.handle, bytes, size); break;
      case Kind::ServerConnect: if (c.serverConnect) c.serverConnect(e.handle, e.channel, bytes); break;
      case Kind::ServerCut: if (c.serverCut) c.serverCut(e.handle, e.channel); break;
      case Kind::ServerCanWrite: if (c.serverCanWrite) c.serverCanWrite(e.handle, e.channel); break;
      case Kind::ServerData: if (c.serverData) c.serverData(e.handle, bytes, size, e.channel); break;
    }
  }
};

std::unique_ptr<Library> gLib;

bool ParsePort(const char* text, bool allowZero, std::uint16_t& port) {
  if (!text || !*text) return false;
  unsigned long value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9' || p - text >= 5) return false;
    value = value * 10 + unsigned(*p - '0');
  }
  if (value > 65535 || (value == 0 && !allowZero)) return false;
  port = std::uint16_t(value);
  return true;
}

// The descriptor behind a handle: the client socket or the listener.
int StreamFd(ScxHandle handle) {
  Socket* socket = gLib ? gLib->Find(handle) : nullptr;
  return socket ? socket->stream.fd : -1;
}

bool LocalName(ScxHandle handle, sockaddr_in& addr) {
  const int fd = StreamFd(handle);
  socklen_t len = sizeof addr;
  return fd >= 0 && ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0 && addr.sin_family == AF_INET;
}

int QueueSend(ScxHandle handle, Stream& s, int channel, const char* buf, int len, bool connected) {
  s.out.append(buf, std::size_t(len));
  if (!connected) return len;  // written once connected
  if (!Library::Flush(s)) return 0;  // the error surfaces on the next read
  gLib->WatchOut(s, handle, channel, Library::Pending(s));
  return len;
}

}  // namespace

extern "C" {

int SCX_Init(void*, ScxNoHostProc noHost, ScxOkHostProc okHost, ScxFailProc fail, ScxConnectProc connect,
             ScxCutProc cut, ScxCanWriteProc canWrite, ScxDataProc data, ScxServerConnectProc serverConnect,
             ScxServerCutProc serverCut, ScxServerCanWriteProc serverCanWrite, ScxServerDataProc serverData) {
  if (!gLib) {
    auto lib = std::make_unique<Library>();
    if (!lib->Open()) return 0;
    gLib = std::move(lib);
  }
  gLib->callbacks = {noHost, okHost,   fail,          connect,   cut,           canWrite,
                     data,   serverConnect, serverCut, serverCanWrite, serverData};
  return 1;
}

void SCX_Shut() { gLib.reset(); }

ScxHandle SCX_Go(const char* host, const char* port, int timeoutSecs) {
  std::uint16_t number = 0;
  if (!gLib || !host || !*host || !ParsePort(port, false, number)) return 0;
  auto socket = std::make_unique<Socket>();
  socket->handle = gLib->NewHandle();
  socket->port = number;
  if (timeoutSecs > 0) socket->deadline = Clock::now() + std::chrono::seconds(timeoutSecs);
  Socket& s = *socket;
  gLib->sockets.emplace(s.handle, std::move(socket));
  in_addr numeric{};
  if (inet_pton(AF_INET, host, &numeric) == 1) {
    gLib->Post(s.handle, Kind::OkHost);
    gLib->StartConnect(s, host);
    gLib->Wake();
  } else {
    gLib->resolver->Ask(s.handle, host);
  }
  gLib->ArmTimer();
  return s.handle;
}

void SCX_Abort(ScxHandle handle) {
  if (!gLib) return;
  auto it = gLib->sockets.find(handle);
  if (it == gLib->sockets.end()) return;
  gLib->CloseAll(*it->second);
  gLib->sockets.erase(it);  // its queued events now find no handle
}

int SCX_Send(ScxHandle handle, const char* buf, int len) {
  Socket* socket = gLib ? gLib->Find(handle) : nullptr;
  if (!socket || !buf || len <= 0) return 0;
  switch (socket->phase) {
    case Phase::Resolving:
    case Phase::Connecting:
      return QueueSend(handle, socket->stream, 0, buf, len, false);
    case Phase::Connected:
      return QueueSend(handle, socket->stream, 0, buf, len, true);
    default:
      return 0;
  }
}

ScxHandle SCX_ServerWait(const char* port) {
  std::uint16_t number = 0;
  if (!gLib || !ParsePort(port, true, number)) return 0;
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return 0;
  const int on = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(number);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
    ::close(fd);
    return 0;
  }
  auto socket = std::make_unique<Socket>();
  socket->handle = gLib->NewHandle();
  socket->phase = Phase::Listening;
  socket->port = number;
  socket->stream.fd = fd;
  gLib->Watch(socket->stream, socket->handle, 0, EPOLLIN, EPOLL_CTL_ADD);
  const ScxHandle handle = socket->handle;
  gLib->sockets.emplace(handle, std::move(socket));
  return handle;
}

int SCX_ServerSend(ScxHandle handle, int channel, const char* buf, int len) {
  Socket* socket = gLib ? gLib->Find(handle) : nullptr;
  if (!socket || socket->phase != Phase::Listening || !buf || len <= 0) return 0;
  auto it = socket->channels.find(channel);
  if (it == socket->channels.end()) return 0;
  return QueueSend(handle, it->second, channel, buf, len, true);
}

int SCX_GetLocalAddr(ScxHandle handle, char* buf, int size) {
  sockaddr_in addr{};
  char text[INET_ADDRSTRLEN] = {};
  if (!buf || size <= 0 || !LocalName(handle, addr) || !inet_ntop(AF_INET, &addr.sin_addr, text, sizeof text))
    return 0;
  if (std::strlen(text) + 1 > std::size_t(size)) return 0;
  std::memcpy(buf, text, std::strlen(text) + 1);
  return 1;
}

int SCX_EventFd() { return gLib ? gLib->epoll : -1; }

void SCX_Dispatch() {
  if (!gLib) return;
  gLib->Poll();
  // Whatever is left (a later round's events, or the rest after a handler
  // threw) keeps the descriptor readable.
  struct Rearm {
    ~Rearm() {
      if (gLib && !gLib->queue.empty()) gLib->Wake();
    }
  } rearm;
  // Only what is queued now: events that callbacks cause wait for the next
  // round, so a callback that always reconnects cannot hold the loop here.
  for (std::size_t budget = gLib->queue.size(); budget > 0 && gLib && !gLib->queue.empty(); --budget) {
    Event e = std::move(gLib->queue.front());
    gLib->queue.pop_front();
    if (gLib->Find(e.handle)) gLib->Call(e);
  }
}

void SCX_SetResolver(ScxResolverProc resolver) { gResolver.store(resolver); }

void SCX_SetReceiveBlock(int bytes) { gBlock.store(bytes < 1 ? 1 : bytes > 65536 ? 65536 : bytes); }

int SCX_GetLocalPort(ScxHandle handle) {
  sockaddr_in addr{};
  return LocalName(handle, addr) ? ntohs(addr.sin_port) : 0;
}

}  // extern "C"
