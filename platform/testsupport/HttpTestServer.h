#pragma once
// A scripted HTTP server on the loopback address. Each connection reads one
// request (the head up to the blank line, then a body of Content-Length
// bytes), records it, and plays the reply that the script gives for its
// target: a route's reply, else the next queued reply, else 404.
//
// A reply sends its bytes (status line, headers, body, or raw bytes for
// malformed replies) in blocks of a chosen size with a delay between them,
// can stop after a number of bytes, and then ends in one of three ways:
// orderly close, reset (abrupt close), or silence until the client leaves.
#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "LoopbackServer.h"

namespace qlon::test {

struct HttpReply {
  enum class End { Close, Reset, Silence };

  int status = 200;
  std::string reason = "OK";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  // A body of this many bytes made on the fly (GeneratedByte) after body,
  // so that a large body costs the server no memory.
  std::size_t generatedBody = 0;
  // Sends the generated body in blocks of this size, delayBetweenBlocks
  // apart (a slow server); 0: as fast as the connection takes it.
  std::size_t generatedBlock = 0;
  bool contentLength = true;  // add a Content-Length header
  std::optional<std::string> raw;  // sent instead of the composed reply
  bool readRequest = true;         // false: reply without waiting for one
  std::chrono::milliseconds delayBefore{0};
  std::size_t blockSize = 0;  // 0: all at once
  std::chrono::milliseconds delayBetweenBlocks{0};
  std::size_t stopAfter = std::string::npos;  // bytes sent before the end
  End end = End::Close;

  // The bytes on the wire (before stopAfter), the generated body left out.
  std::string Bytes() const;
  static char GeneratedByte(std::size_t index) { return static_cast<char>('a' + (index * 7 + index / 4096) % 26); }
  static HttpReply Ok(std::string body, std::string type = "text/html");
  static HttpReply Silent();  // accepts, reads, never answers
  static HttpReply NotFound(std::string body);  // 404 "Not Found" with that page
};

struct HttpRequestSeen {
  std::string method, target, version;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  std::string raw;  // every byte received
  // The first header of that name (case-insensitive), empty when absent.
  std::string Header(const std::string& name) const;
};

class HttpTestServer : public LoopbackServer {
 public:
  using Script = std::function<HttpReply(const HttpRequestSeen&)>;
  ~HttpTestServer() override;

  // The reply to every request for that target ("/a/b.htm?x").
  void Route(const std::string& target, HttpReply reply);
  // Replies handed out once each, in order, to requests without a route.
  void Enqueue(HttpReply reply);
  // A reply computed per request; it has the last word over routes.
  void SetScript(Script script);

  std::vector<HttpRequestSeen> Requests() const;
  // Waits until count requests were received.
  bool WaitForRequests(std::size_t count, std::chrono::milliseconds timeout) const;
  // "http://127.0.0.1:port" + path.
  std::string Url(const std::string& path = "/") const;

 protected:
  void Handle(int fd) override;

 private:
  HttpReply ReplyFor(const HttpRequestSeen& request);
  bool ReadRequest(int fd, HttpRequestSeen& request);
  void Play(int fd, const HttpReply& reply);

  mutable std::mutex lock_;
  mutable std::condition_variable received_;
  std::map<std::string, HttpReply> routes_;
  std::deque<HttpReply> queue_;
  Script script_;
  std::vector<HttpRequestSeen> requests_;
};

// Parses a request head ("GET / HTTP/1.0\r\nName: value\r\n"); false when
// the request line is malformed.
bool ParseRequestHead(const std::string& head, HttpRequestSeen& request);

}  // namespace qlon::test
