#include "FtpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <set>

namespace qlon::test {
namespace {

constexpr std::chrono::seconds kCommandTimeout{30};

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// "/pub/" + "a.txt" -> "/pub/a.txt"; an absolute name stands alone.
std::string Join(const std::string& folder, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  return folder + (folder.ends_with('/') ? "" : "/") + name;
}

std::string FileLine(std::size_t size, const std::string& date, const std::string& name) {
  char line[512];
  std::snprintf(line, sizeof line, "-rw-r--r--   1 owner    group    %10zu %s %s\r\n", size, date.c_str(), name.c_str());
  return line;
}

std::string FolderLine(const std::string& name) {
  return "drwxr-xr-x   2 owner    group          4096 Jan 15  2024 " + name + "\r\n";
}

}  // namespace

struct FtpTestServer::Session {
  ~Session() { ClosePassive(); }
  void ClosePassive() {
    if (passive >= 0) ::close(passive);
    passive = -1;
  }
  std::string folder = "/";
  sockaddr_in data{};
  bool haveData = false;
  int passive = -1;  // the listener of the next passive transfer
};

FtpTestServer::~FtpTestServer() { Stop(); }

void FtpTestServer::AddFile(const std::string& path, std::string content, std::string date) {
  std::lock_guard lock(lock_);
  files_[path] = File{std::move(content), std::move(date)};
}

void FtpTestServer::SetOrder(Order order) {
  std::lock_guard lock(lock_);
  order_ = order;
}

void FtpTestServer::SetDataPacing(std::size_t block, std::chrono::milliseconds delay) {
  std::lock_guard lock(lock_);
  dataBlock_ = block;
  dataDelay_ = delay;
}

void FtpTestServer::SetOpenLogin(bool open) {
  std::lock_guard lock(lock_);
  openLogin_ = open;
}

void FtpTestServer::SetSessionLimit(int concurrent, int total, std::string reply) {
  std::lock_guard lock(lock_);
  sessionCap_ = concurrent;
  sessionBudget_ = total;
  capReply_ = std::move(reply);
}

int FtpTestServer::RefusedSessions() const {
  std::lock_guard lock(lock_);
  return refused_;
}

int FtpTestServer::PeakSessions() const {
  std::lock_guard lock(lock_);
  return peak_;
}

bool FtpTestServer::Admit(int fd) {
  std::string refusal;
  {
    std::lock_guard lock(lock_);
    if ((sessionCap_ >= 0 && sessions_ >= sessionCap_) || (sessionBudget_ >= 0 && served_ >= sessionBudget_)) {
      ++refused_;
      refusal = capReply_ + "\r\n";
    } else {
      ++served_;
      peak_ = std::max(peak_, ++sessions_);
    }
  }
  if (refusal.empty()) return true;
  Reply(fd, refusal);
  return false;
}

void FtpTestServer::SetPassive(bool on, std::string replyHost, bool reachable) {
  std::lock_guard lock(lock_);
  passive_ = on;
  passiveHost_ = std::move(replyHost);
  passiveReachable_ = reachable;
}

void FtpTestServer::SetControlBlockSize(std::size_t block) {
  std::lock_guard lock(lock_);
  controlBlock_ = block;
}

std::vector<std::string> FtpTestServer::Commands() const {
  std::lock_guard lock(lock_);
  return commands_;
}

std::string FtpTestServer::Url(const std::string& path) const { return "ftp://127.0.0.1:" + PortText() + path; }

bool FtpTestServer::Reply(int fd, const std::string& text) {
  std::size_t block;
  {
    std::lock_guard lock(lock_);
    block = controlBlock_ ? controlBlock_ : text.size();
  }
  for (std::size_t at = 0; at < text.size(); at += block) {
    if (!WriteAll(fd, text.data() + at, std::min(block, text.size() - at))) return false;
    if (controlBlock_ && !Sleep(std::chrono::milliseconds(1))) return false;
  }
  return true;
}

std::string FtpTestServer::ListingFor(const std::string& folder, const std::string& name, bool& found) const {
  std::lock_guard lock(lock_);
  const std::string target = name.empty() ? folder : Join(folder, name);
  if (auto it = files_.find(target); it != files_.end()) {
    found = true;
    return FileLine(it->second.content.size(), it->second.date, target.substr(target.rfind('/') + 1));
  }
  const std::string prefix = target.ends_with('/') ? target : target + "/";
  std::string lines;
  std::set<std::string> folders;
  std::size_t count = 0;
  for (const auto& [path, file] : files_) {
    if (!path.starts_with(prefix)) continue;
    const std::string rest = path.substr(prefix.size());
    if (const std::size_t slash = rest.find('/'); slash != std::string::npos) {
      if (folders.insert(rest.substr(0, slash)).second) lines += FolderLine(rest.substr(0, slash)), ++count;
    } else {
      lines += FileLine(file.content.size(), file.date, rest), ++count;
    }
  }
  found = count > 0 || prefix == "/";
  return "total " + std::to_string(count) + "\r\n" + lines;
}

bool FtpTestServer::OpenPassive(Session& session, std::string& reply) {
  std::string host;
  bool reachable;
  {
    std::lock_guard lock(lock_);
    if (!passive_) return false;
    host = passiveHost_;
    reachable = passiveReachable_;
  }
  session.ClosePassive();
  session.haveData = false;
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listener, 1) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    if (listener >= 0) ::close(listener);
    reply = "425 Can't open passive connection.\r\n";
    return true;
  }
  const unsigned port = ntohs(addr.sin_port);
  if (reachable)
    session.passive = listener;
  else
    ::close(listener);
  reply = "227 Entering Passive Mode (" + host + "," + std::to_string(port >> 8) + "," + std::to_string(port & 255) +
          ").\r\n";
  return true;
}

void FtpTestServer::Transfer(int fd, Session& session, const std::string& data, bool file) {
  Order order;
  std::size_t block;
  std::chrono::milliseconds delay;
  {
    std::lock_guard lock(lock_);
    order = order_;
    if ((order == Order::CloseControl || order == Order::LoseFileData) && !file) order = Order::Normal;
    block = dataBlock_ ? dataBlock_ : std::max<std::size_t>(data.size(), 1);
    delay = dataDelay_;
  }
  if ((!session.haveData && session.passive < 0) || order == Order::RefuseData) {
    Reply(fd, "425 Can't open data connection.\r\n");
    return;
  }
  if (order == Order::NeverConnect) {
    Reply(fd, "150 Opening data connection.\r\n");
    return;
  }
  if (order == Order::LoseData || order == Order::LoseFileData) {
    if (session.passive >= 0) {
      if (WaitReadable(session.passive, kCommandTimeout))
        if (const int lost = ::accept4(session.passive, nullptr, nullptr, SOCK_CLOEXEC); lost >= 0) ::close(lost);
      session.ClosePassive();
    }
    Reply(fd, "150 Opening data connection.\r\n");
    return;
  }
  if (order == Order::Normal || order == Order::CloseControl) Reply(fd, "150 Opening data connection.\r\n");
  if (order == Order::ReplyBeforeData) {
    Reply(fd, "150 Opening data connection.\r\n226 Transfer complete.\r\n");
    if (!Sleep(std::chrono::milliseconds(100))) return;
  }
  int data_fd = -1;
  if (session.passive >= 0) {
    if (WaitReadable(session.passive, kCommandTimeout))
      data_fd = ::accept4(session.passive, nullptr, nullptr, SOCK_CLOEXEC);
    session.ClosePassive();  // one connection per PASV
  } else {
    data_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (data_fd >= 0 &&
        ::connect(data_fd, reinterpret_cast<const sockaddr*>(&session.data), sizeof session.data) != 0) {
      ::close(data_fd);
      data_fd = -1;
    }
  }
  if (data_fd < 0) {
    Reply(fd, "425 Can't open data connection.\r\n");
    return;
  }
  if (order == Order::CloseControl) ::shutdown(fd, SHUT_RDWR);
  for (std::size_t at = 0; at < data.size(); at += block) {
    if (at > 0 && !Sleep(delay)) break;
    if (!WriteAll(data_fd, data.data() + at, std::min(block, data.size() - at))) break;
  }
  ::close(data_fd);
  if (order == Order::Normal) Reply(fd, "226 Transfer complete.\r\n");
  if (order == Order::DataBeforeReply) {
    Sleep(std::chrono::milliseconds(100));
    Reply(fd, "150 Opening data connection.\r\n226 Transfer complete.\r\n");
  }
}

void FtpTestServer::Handle(int fd) {
  if (!Admit(fd)) return;
  // The session counts until its handler returns, as a server counts it
  // until its process ends.
  struct Leave {
    FtpTestServer& server;
    ~Leave() {
      std::lock_guard lock(server.lock_);
      --server.sessions_;
    }
  } leave{*this};
  Session session;
  // "150" and "226" go out apart: waiting for the client's delayed ACK of the
  // first would make every transfer 40 ms longer.
  const int on = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (!Reply(fd, "220-Test server\r\n220 Ready.\r\n")) return;
  std::string input;
  for (;;) {
    std::size_t eol;
    while ((eol = input.find("\r\n")) == std::string::npos)
      if (ReadSome(fd, input, kCommandTimeout) <= 0) return;
    const std::string line = input.substr(0, eol);
    input.erase(0, eol + 2);
    {
      std::lock_guard lock(lock_);
      commands_.push_back(line);
    }
    const std::size_t blank = line.find(' ');
    const std::string verb = Upper(line.substr(0, blank));
    const std::string arg = blank == std::string::npos ? std::string() : line.substr(blank + 1);
    bool open;
    {
      std::lock_guard lock(lock_);
      open = openLogin_;
    }
    if (verb == "USER") {
      Reply(fd, open ? "230 Logged in.\r\n" : "331 Password required.\r\n");
    } else if (verb == "PASS") {
      Reply(fd, open ? "503 Already logged in.\r\n" : "230 Logged in.\r\n");
    } else if (verb == "SYST") {
      Reply(fd, "215 UNIX Type: L8\r\n");
    } else if (verb == "NOOP" || verb == "TYPE") {
      Reply(fd, "200 OK.\r\n");
    } else if (verb == "PWD") {
      Reply(fd, "257 \"" + session.folder + "\"\r\n");
    } else if (verb == "CWD") {
      bool found = false;
      ListingFor(Join(session.folder, arg), "", found);
      if (found) session.folder = Join(session.folder, arg);
      Reply(fd, found ? "250 OK.\r\n" : "550 No such folder.\r\n");
    } else if (verb == "PORT") {
      unsigned h[4], p[2];
      session.haveData = std::sscanf(arg.c_str(), "%u,%u,%u,%u,%u,%u", &h[0], &h[1], &h[2], &h[3], &p[0], &p[1]) == 6;
      session.data = {};
      session.data.sin_family = AF_INET;
      session.data.sin_addr.s_addr = htonl((h[0] << 24) | (h[1] << 16) | (h[2] << 8) | h[3]);
      session.data.sin_port = htons(static_cast<std::uint16_t>((p[0] << 8) | p[1]));
      session.ClosePassive();
      Reply(fd, session.haveData ? "200 PORT OK.\r\n" : "501 Bad PORT.\r\n");
    } else if (std::string reply; verb == "PASV" && OpenPassive(session, reply)) {
      Reply(fd, reply);
    } else if (verb == "LIST") {
      bool found = false;
      const std::string listing = ListingFor(session.folder, arg, found);
      if (!found)
        Reply(fd, "550 No such file.\r\n");
      else
        Transfer(fd, session, listing, false);
    } else if (verb == "RETR") {
      std::string content;
      bool found;
      {
        std::lock_guard lock(lock_);
        const auto it = files_.find(Join(session.folder, arg));
        found = it != files_.end();
        if (found) content = it->second.content;
      }
      if (!found)
        Reply(fd, "550 No such file.\r\n");
      else
        Transfer(fd, session, content, true);
    } else if (verb == "QUIT") {
      Reply(fd, "221 Bye.\r\n");
      return;
    } else {
      Reply(fd, "502 Not implemented.\r\n");
    }
  }
}

}  // namespace qlon::test
