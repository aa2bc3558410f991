#include "HttpTestServer.h"

#include <algorithm>
#include <cctype>
#include <sys/socket.h>

namespace qlon::test {
namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

std::string Trim(std::string s) {
  const auto blank = [](unsigned char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.pop_back();
  std::size_t i = 0;
  while (i < s.size() && blank(static_cast<unsigned char>(s[i]))) ++i;
  return s.substr(i);
}

constexpr std::size_t kMaxHead = 1 << 20;
constexpr std::chrono::seconds kReadTimeout{30};

}  // namespace

std::string HttpReply::Bytes() const {
  if (raw) return *raw;
  std::string out = "HTTP/1.0 " + std::to_string(status) + " " + reason + "\r\n";
  for (const auto& [name, value] : headers) out += name + ": " + value + "\r\n";
  if (contentLength) out += "Content-Length: " + std::to_string(body.size() + generatedBody) + "\r\n";
  out += "\r\n";
  return out + body;
}

HttpReply HttpReply::Ok(std::string body, std::string type) {
  HttpReply r;
  r.headers.emplace_back("Content-Type", std::move(type));
  r.body = std::move(body);
  return r;
}

HttpReply HttpReply::NotFound(std::string body) {
  HttpReply r = Ok(std::move(body));
  r.status = 404;
  r.reason = "Not Found";
  return r;
}

HttpReply HttpReply::Silent() {
  HttpReply r;
  r.raw = "";
  r.end = End::Silence;
  return r;
}

std::string HttpRequestSeen::Header(const std::string& name) const {
  for (const auto& [n, v] : headers)
    if (EqualNoCase(n, name)) return v;
  return {};
}

bool ParseRequestHead(const std::string& head, HttpRequestSeen& request) {
  std::size_t eol = head.find("\r\n");
  const std::string line = head.substr(0, eol);
  const std::size_t s1 = line.find(' ');
  const std::size_t s2 = s1 == std::string::npos ? s1 : line.find(' ', s1 + 1);
  if (s1 == 0 || s2 == std::string::npos || s2 == s1 + 1) return false;
  request.method = line.substr(0, s1);
  request.target = line.substr(s1 + 1, s2 - s1 - 1);
  request.version = line.substr(s2 + 1);
  while (eol != std::string::npos) {
    const std::size_t start = eol + 2;
    eol = head.find("\r\n", start);
    const std::string h = head.substr(start, eol == std::string::npos ? std::string::npos : eol - start);
    const std::size_t colon = h.find(':');
    if (colon == std::string::npos || colon == 0) continue;
    request.headers.emplace_back(Trim(h.substr(0, colon)), Trim(h.substr(colon + 1)));
  }
  return true;
}

HttpTestServer::~HttpTestServer() { Stop(); }

void HttpTestServer::Route(const std::string& target, HttpReply reply) {
  std::lock_guard lock(lock_);
  routes_[target] = std::move(reply);
}

void HttpTestServer::Enqueue(HttpReply reply) {
  std::lock_guard lock(lock_);
  queue_.push_back(std::move(reply));
}

void HttpTestServer::SetScript(Script script) {
  std::lock_guard lock(lock_);
  script_ = std::move(script);
}

std::vector<HttpRequestSeen> HttpTestServer::Requests() const {
  std::lock_guard lock(lock_);
  return requests_;
}

bool HttpTestServer::WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(lock_);
  return received_.wait_for(lock, timeout, [&] { return requests_.size() >= count; });
}

std::string HttpTestServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + PortText() + path;
}

HttpReply HttpTestServer::ReplyFor(const HttpRequestSeen& request) {
  std::lock_guard lock(lock_);
  if (script_) return script_(request);
  if (auto it = routes_.find(request.target); it != routes_.end()) return it->second;
  if (!queue_.empty()) {
    HttpReply r = std::move(queue_.front());
    queue_.pop_front();
    return r;
  }
  return HttpReply::NotFound("<HTML>Not found</HTML>");
}

bool HttpTestServer::ReadRequest(int fd, HttpRequestSeen& request) {
  std::string& raw = request.raw;
  std::size_t headEnd;
  while ((headEnd = raw.find("\r\n\r\n")) == std::string::npos) {
    if (raw.size() > kMaxHead || ReadSome(fd, raw, kReadTimeout) <= 0) return false;
  }
  if (!ParseRequestHead(raw.substr(0, headEnd + 2), request)) return false;
  std::size_t length = 0;
  try {
    length = std::stoul(request.Header("Content-Length").empty() ? "0" : request.Header("Content-Length"));
  } catch (const std::exception&) {
    length = 0;
  }
  while (raw.size() < headEnd + 4 + length)
    if (ReadSome(fd, raw, kReadTimeout) <= 0) break;
  request.body = raw.substr(headEnd + 4, length);
  return true;
}

void HttpTestServer::Handle(int fd) {
  HttpRequestSeen request;
  HttpReply reply;
  {
    // A reply that needs no request (a greeting, a server that speaks
    // first) is the next queued one with readRequest off.
    std::lock_guard lock(lock_);
    if (!queue_.empty() && !queue_.front().readRequest) {
      reply = std::move(queue_.front());
      queue_.pop_front();
    }
  }
  if (reply.readRequest) {
    if (!ReadRequest(fd, request)) return;
    reply = ReplyFor(request);
    std::lock_guard lock(lock_);
    requests_.push_back(request);
    received_.notify_all();
  }
  Play(fd, reply);
}

void HttpTestServer::Play(int fd, const HttpReply& reply) {
  if (!Sleep(reply.delayBefore)) return;
  std::string bytes = reply.Bytes();
  if (reply.stopAfter < bytes.size()) bytes.resize(reply.stopAfter);
  const std::size_t block = reply.blockSize ? reply.blockSize : std::max<std::size_t>(bytes.size(), 1);
  for (std::size_t at = 0; at < bytes.size(); at += block) {
    if (at > 0 && !Sleep(reply.delayBetweenBlocks)) return;
    if (!WriteAll(fd, bytes.data() + at, std::min(block, bytes.size() - at))) return;
  }
  if (reply.generatedBody > 0) {
    std::string chunk;
    const std::size_t most = reply.generatedBlock ? reply.generatedBlock : 64 * 1024;
    for (std::size_t at = 0; at < reply.generatedBody;) {
      if (reply.generatedBlock && !Sleep(reply.delayBetweenBlocks)) return;
      const std::size_t n = std::min<std::size_t>(reply.generatedBody - at, most);
      chunk.resize(n);
      for (std::size_t i = 0; i < n; ++i) chunk[i] = HttpReply::GeneratedByte(reply.body.size() + at + i);
      if (!WriteAll(fd, chunk.data(), n)) return;
      at += n;
    }
  }
  switch (reply.end) {
    case HttpReply::End::Close: {
      // Let the client read to the end and leave: closing with unread
      // bytes in the socket would reset the connection instead.
      ::shutdown(fd, SHUT_WR);
      std::string ignored;
      while (ReadSome(fd, ignored, std::chrono::seconds(1)) > 0) ignored.clear();
      break;
    }
    case HttpReply::End::Reset:
      SetAbortiveClose(fd);
      break;
    case HttpReply::End::Silence: {
      std::string ignored;
      while (ReadSome(fd, ignored, std::chrono::milliseconds(200)) != 0 && !Stopping()) ignored.clear();
      break;
    }
  }
}

}  // namespace qlon::test
