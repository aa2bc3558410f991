// The capture run against real FTP servers started here on free loopback
// ports, with one and with several connections: pyftpdlib, every file whole
// and the server never left waiting for a data connection; vsftpd with a cap
// on the sessions of a client, every file all the same.
#include "Capture.h"
#include "CaptureFixture.h"
#include "CaptureRunFixture.h"
#include "PyFtpdServer.h"
#include "VsftpdServer.h"

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

namespace {

// A tree of folders and files served by vsftpd, which lets a client have at
// most three sessions at once ("421 There are too many connections from
// your internet address." beyond) and counts each for a while after it ended.
class CaptureVsftpdTest : public CaptureRunFixture, public ::testing::WithParamInterface<int> {
 protected:
  CaptureVsftpdTest() {
    setup_.Timeout = 10;
    for (int d = 0; d < 6; ++d) {
      const std::string folder = "/pkg" + std::to_string(d) + "/";
      for (int f = 0; f < 8; ++f)
        files_[folder + "file" + std::to_string(f) + ".txt"] = std::string(size_t(d * 8 + f + 1) * 97, char('a' + f));
      files_[folder + "doc/notes.txt"] = "notes of " + folder;
    }
    for (const auto& [path, bytes] : files_) WriteFileBytes(site_ / path.substr(1), bytes);
  }
  TRequestFactory Factory() override { return HttpRequestFactory(&setup_); }

  TempDir served_;
  // Below the temporary folder, made as any folder: readable by the user
  // vsftpd runs anonymous sessions as.
  std::filesystem::path site_ = served_.path() / "site";
  std::map<std::string, std::string> files_;
  VsftpdServer server_;
};

}  // namespace

TEST_P(CaptureVsftpdTest, EveryFileOfAServerThatCapsItsClient) {
  if (!server_.Available()) GTEST_SKIP() << server_.Why();
  ASSERT_TRUE(server_.Start(site_, 3)) << server_.Why();
  setup_.MaxSockets = GetParam();
  std::vector<TCapture::TFtpServer> servers;
  Ended = [&](TCapture& capture) { servers = capture.FtpServers(); };
  Open(server_.Url("/"));
  Run();
  // The root, six folders and their "doc" folders, and the files.
  EXPECT_EQ(web_.RetrievedCount, 1u + 12u + files_.size()) << server_.Log();
  EXPECT_EQ(web_.NotFoundCount + web_.ErrorCount, 0u);
  for (const auto& [url, state] : States()) EXPECT_EQ(state, fsRetrieved) << url;
  const std::string top = "127.0.0.1" + TUrl(server_.Url("/")).Path;
  for (const auto& [path, bytes] : files_)
    EXPECT_TRUE(ReadFileBytes(folder_ / (top + path.substr(1))) == bytes) << path;
  ASSERT_EQ(servers.size(), 1u);
  EXPECT_EQ(servers[0].Lost, 0);
  if (GetParam() > 3) {
    EXPECT_NE(servers[0].Reply.find("421 There are too many"), std::string::npos) << servers[0].Reply;
  }
  // The cap was found, not run into for every file.
  EXPECT_LE(server_.Refusals(), GetParam() + 12) << server_.Log();
}

INSTANTIATE_TEST_SUITE_P(Connections, CaptureVsftpdTest, ::testing::Values(3, 4, 16));
