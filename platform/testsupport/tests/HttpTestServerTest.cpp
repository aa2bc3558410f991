#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "HttpTestServer.h"

namespace qlon::test {
namespace {

using namespace std::chrono_literals;

// A blocking client: sends the bytes, then reads until the server ends.
struct Exchange {
  std::string received;
  int error = 0;       // errno of the read that ended it
  bool timedOut = false;
};

Exchange Talk(std::uint16_t port, const std::string& request, int timeoutMs = 5000) {
  Exchange result;
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    result.error = errno;
    ::close(fd);
    return result;
  }
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) {
      result.timedOut = true;
      break;
    }
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) {
      result.error = n < 0 ? errno : 0;
      break;
    }
    result.received.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return result;
}

TEST(HttpTestServer, RoutesRepliesAndRecordsRequests) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  server.Route("/a.htm", HttpReply::Ok("<HTML>a</HTML>"));
  const Exchange e = Talk(server.Port(), "POST /a.htm HTTP/1.0\r\nHost: h\r\nContent-Length: 3\r\n\r\nx=1");
  EXPECT_EQ(e.received,
            "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 14\r\n\r\n<HTML>a</HTML>");
  EXPECT_EQ(e.error, 0);
  ASSERT_TRUE(server.WaitForRequests(1, 2s));
  const HttpRequestSeen seen = server.Requests().at(0);
  EXPECT_EQ(seen.method, "POST");
  EXPECT_EQ(seen.target, "/a.htm");
  EXPECT_EQ(seen.version, "HTTP/1.0");
  EXPECT_EQ(seen.Header("host"), "h");
  EXPECT_EQ(seen.body, "x=1");
}

TEST(HttpTestServer, QueuedRepliesInOrderThenNotFound) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  server.Enqueue(HttpReply::Ok("one"));
  server.Enqueue(HttpReply::Ok("two"));
  EXPECT_NE(Talk(server.Port(), "GET /x HTTP/1.0\r\n\r\n").received.find("\r\n\r\none"), std::string::npos);
  EXPECT_NE(Talk(server.Port(), "GET /x HTTP/1.0\r\n\r\n").received.find("\r\n\r\ntwo"), std::string::npos);
  EXPECT_EQ(Talk(server.Port(), "GET /x HTTP/1.0\r\n\r\n").received.rfind("HTTP/1.0 404 ", 0), 0u);
}

TEST(HttpTestServer, BlocksStopAfterAndReset) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  HttpReply r = HttpReply::Ok(std::string(1000, 'b'));
  r.blockSize = 7;
  r.delayBetweenBlocks = 1ms;
  r.stopAfter = 100;
  r.end = HttpReply::End::Reset;
  server.Enqueue(r);
  const Exchange e = Talk(server.Port(), "GET / HTTP/1.0\r\n\r\n");
  // Whatever arrived before the reset is a prefix of the first 100 bytes.
  EXPECT_LE(e.received.size(), 100u);
  EXPECT_EQ(r.Bytes().substr(0, e.received.size()), e.received);
  EXPECT_EQ(e.error, ECONNRESET);
}

TEST(HttpTestServer, RawReplyWithoutRequestAndSilence) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  HttpReply greeting;
  greeting.raw = "220 hello\r\n";
  greeting.readRequest = false;
  server.Enqueue(greeting);
  EXPECT_EQ(Talk(server.Port(), "").received, "220 hello\r\n");
  server.Enqueue(HttpReply::Silent());
  const Exchange e = Talk(server.Port(), "GET / HTTP/1.0\r\n\r\n", 300);
  EXPECT_TRUE(e.timedOut);
  EXPECT_TRUE(e.received.empty());
  EXPECT_TRUE(server.WaitIdle(3s));  // the client's close ends the silence
  EXPECT_EQ(server.Connections(), 2);
}

TEST(HttpTestServer, StopEndsDelaysAtOnce) {
  HttpTestServer server;
  ASSERT_TRUE(server.Start());
  HttpReply slow = HttpReply::Ok("late");
  slow.delayBefore = 60s;
  server.Enqueue(slow);
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(server.Port());
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  ::send(fd, "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
  ASSERT_TRUE(server.WaitForRequests(1, 2s));
  const auto start = std::chrono::steady_clock::now();
  server.Stop();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  ::close(fd);
}

TEST(HttpTestServer, ParsesRequestHeads) {
  HttpRequestSeen r;
  EXPECT_TRUE(ParseRequestHead("GET /p?q=1 HTTP/1.0\r\nA:  x \r\nbad line\r\nB:\r\n", r));
  EXPECT_EQ(r.target, "/p?q=1");
  ASSERT_EQ(r.headers.size(), 2u);
  EXPECT_EQ(r.Header("a"), "x");
  EXPECT_EQ(r.Header("B"), "");
  HttpRequestSeen bad;
  EXPECT_FALSE(ParseRequestHead("GET\r\n", bad));
  EXPECT_FALSE(ParseRequestHead(" / HTTP/1.0\r\n", bad));
  EXPECT_FALSE(ParseRequestHead("GET  HTTP/1.0\r\n", bad));
}

}  // namespace
}  // namespace qlon::test
