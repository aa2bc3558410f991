// The capture run against a real FTP server (pyftpdlib, started here on a
// free loopback port), with one and with several connections: every file
// whole, and the server never left waiting for a data connection.
#include "Capture.h"
#include "CaptureFixture.h"
#include "CaptureRunFixture.h"
#include "PyFtpdServer.h"

using namespace qlon;
using namespace qlon::test;

namespace {

class CaptureRealFtpTest : public CaptureRunFixture, public ::testing::WithParamInterface<int> {
 protected:
  CaptureRealFtpTest() {
    // Short enough that a stall shows as a retry, long enough for a busy machine.
    setup_.Timeout = 10;
    std::string start = "<html><head><link rel=\"stylesheet\" href=\"stylesheet.css\"></head><body>";
    for (int i = 1; i <= 23; ++i) {
      const std::string name = "tutorial-" + std::to_string(i) + ".html";
      start += "<a href=\"" + name + "\">" + name + "</a>\n";
      std::string page = "<html><head><link rel=\"stylesheet\" href=\"stylesheet.css\"></head><body>";
      page += "<a href=\"tutorial.html\">up</a> <a href=\"tutorial-" + std::to_string(i % 23 + 1) + ".html\">next</a>";
      page += "<p>" + std::string(size_t(i) * 500, 'x') + "</p></body></html>\n";
      site_[name] = page;
    }
    site_["tutorial.html"] = start + "</body></html>\n";
    site_["stylesheet.css"] = "body { margin: 0 }\n";
    for (const auto& [name, bytes] : site_) WriteFileBytes(served_.path() / name, bytes);
  }
  TRequestFactory Factory() override { return HttpRequestFactory(&setup_); }

  TempDir served_;
  std::map<std::string, std::string> site_;
  PyFtpdServer server_;
};

}  // namespace

TEST_P(CaptureRealFtpTest, EveryFileWholeAndOnce) {
  if (!server_.Available()) GTEST_SKIP() << server_.Why();
  ASSERT_TRUE(server_.Start(served_.path())) << server_.Why();
  setup_.MaxSockets = GetParam();
  Open(server_.Url("/tutorial.html"));
  Run();
  const std::string log = server_.Log();
  EXPECT_EQ(web_.RetrievedCount, 25u) << log;
  EXPECT_EQ(web_.NotFoundCount + web_.ErrorCount, 0u) << log;
  for (const auto& [url, state] : States()) EXPECT_EQ(state, fsRetrieved) << url;
  for (const auto& [name, bytes] : site_)
    EXPECT_TRUE(ReadFileBytes(folder_ / "127.0.0.1" / name) == bytes) << name;
  // One session and one transfer a file (and the session of the start-up
  // check), and the server never left waiting for a data connection. Under
  // load this server now and then drops a data connection it has just
  // accepted (a descriptor it reuses within one poll); the file is then
  // asked again in a new session, so a few more of them may show.
  EXPECT_EQ(log.find("timed out"), std::string::npos) << log;
  EXPECT_GE(Count(log, "RETR "), site_.size()) << log;
  EXPECT_LE(Count(log, "RETR "), site_.size() + 3) << log;
  EXPECT_GE(Count(log, "FTP session opened"), site_.size() + 1) << log;
  EXPECT_LE(Count(log, "FTP session opened"), site_.size() + 4) << log;
}

INSTANTIATE_TEST_SUITE_P(Connections, CaptureRealFtpTest, ::testing::Values(1, 4, 16));
