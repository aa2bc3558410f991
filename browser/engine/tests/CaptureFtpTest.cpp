// The capture run end to end over FTP: folders become pages of links, pages
// and files are fetched from a loopback FTP server.
#include "Capture.h"
#include "CaptureRunFixture.h"
#include "FtpTestServer.h"
#include "PageRewrite.h"

using namespace qlon;
using namespace qlon::test;

namespace {

class CaptureFtpTest : public CaptureRunFixture {
 protected:
  CaptureFtpTest() {
    setup_.Timeout = 5;
    EXPECT_TRUE(ftp_.Start());
    ftp_.AddFile("/pub/index.htm",
                 "<html><body><a href=\"docs/\">docs</a> <a href=\"notes.txt\">notes</a> <img src=\"logo.gif\">"
                 " <a href=\"missing.htm\">missing</a></body></html>");
    ftp_.AddFile("/pub/notes.txt", "notes\r\n");
    ftp_.AddFile("/pub/logo.gif", std::string("GIF89a\x10\x00\x08\x00", 10) + std::string(30, '\0'));
    ftp_.AddFile("/pub/docs/a.txt", "a");
    ftp_.AddFile("/pub/docs/deep/b.txt", "b");
  }
  ~CaptureFtpTest() override { ftp_.Stop(); }
  TRequestFactory Factory() override { return HttpRequestFactory(&setup_); }
  std::string Url(const std::string& path) const { return ftp_.Url(path); }

  FtpTestServer ftp_;
};

}  // namespace

TEST_F(CaptureFtpTest, SiteWithFoldersIsCapturedWhole) {
  Open(Url("/pub/index.htm"));
  Run();
  EXPECT_EQ(States(), (std::map<std::string, int>{{Url("/pub/index.htm"), fsRetrieved},
                                                  {Url("/pub/notes.txt"), fsRetrieved},
                                                  {Url("/pub/logo.gif"), fsRetrieved},
                                                  {Url("/pub/docs/"), fsRetrieved},
                                                  {Url("/pub/docs/a.txt"), fsRetrieved},
                                                  {Url("/pub/docs/deep/"), fsRetrieved},
                                                  {Url("/pub/docs/deep/b.txt"), fsRetrieved},
                                                  {Url("/pub/missing.htm"), fsNotFound}}));
  // A folder is kept as its page of links, which the crawl followed.
  EXPECT_EQ(Files(), (std::set<std::string>{"127.0.0.1/pub/index.htm", "127.0.0.1/pub/notes.txt",
                                            "127.0.0.1/pub/logo.gif", "127.0.0.1/pub/docs/Index.htm",
                                            "127.0.0.1/pub/docs/a.txt", "127.0.0.1/pub/docs/deep/Index.htm",
                                            "127.0.0.1/pub/docs/deep/b.txt"}));
  EXPECT_EQ(ReadFileBytes(folder_ / "127.0.0.1/pub/notes.txt"), "notes\r\n");
  EXPECT_EQ(ReadFileBytes(folder_ / "127.0.0.1/pub/docs/deep/b.txt"), "b");
  const std::string listing = ReadFileBytes(folder_ / "127.0.0.1/pub/docs/Index.htm");
  EXPECT_NE(listing.find("<A HREF=\"deep/\">deep/</A>"), std::string::npos) << listing;
  EXPECT_EQ(Record(Url("/pub/logo.gif"))->GetWidth(), 16);
  EXPECT_EQ(Record(Url("/pub/missing.htm"))->GetLocalName(), kNotFoundPage);
  EXPECT_EQ(web_.RetrievedCount, 7u);
  EXPECT_EQ(web_.NotFoundCount, 1u);
  ExpectNoneRequesting();

  // Each file was fetched once.
  std::map<std::string, int> fetched;
  for (const std::string& c : ftp_.Commands())
    if (c.starts_with("RETR ")) ++fetched[c.substr(5)];
  EXPECT_EQ(fetched, (std::map<std::string, int>{
                         {"index.htm", 1}, {"notes.txt", 1}, {"logo.gif", 1}, {"a.txt", 1}, {"b.txt", 1}}));
}
