// A site captured by the program from a web shortcut, whose pages carry
// what real pages do: forms whose action is "#" or ends in one, images
// titled "<-", and names in other scripts, written raw or escaped.
#include <gtest/gtest.h>

#include <QByteArray>

#include "MainWindowFixture.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;

class CapturedLinksTest : public test::ProgramFixture {};

std::string Escaped(const std::string& text) { return QByteArray::fromStdString(text).toPercentEncoding().toStdString(); }

TEST_F(CapturedLinksTest, EachDocumentIsAskedOnceWithoutItsFragmentAndEveryLinkLeadsToItsFile) {
  // A name of 246 bytes: a number in place of its last character leaves a
  // character cut short unless the whole character goes.
  std::string jp;
  for (int i = 0; i < 11; ++i) jp += "日本語のページ";
  jp += "資料一";
  const std::string nav = "<form action=\"#\"></form><form action=\"search.html#res\"></form>"
                          "<img title=\"<-\" alt=\"<-\" src=\"./images/left.gif\">";
  Put("/", "<html><body>" + nav + "<a href=\"a.html#x\">a</a><a href=\"café.html\">c</a>"
           "<a href=\"caf%C3%A9.html\">e</a><a href=\"d%E9j%E0.html\">l</a><a href=\"" + jp + ".html?v=1\">1</a>"
           "<a href=\"" + Escaped(jp) + ".html?v=2\">2</a></body></html>");
  Put("/a.html", "<html><body>" + nav + "<a href=\"/#top\">home</a></body></html>");
  Put("/images/left.gif", std::string("GIF89a\x08\x00\x04\x00", 10) + std::string(30, '\0'), "image/gif");
  const std::vector<std::string> others = {"/search.html", "/caf%C3%A9.html", "/d%E9j%E0.html",
                                           "/" + Escaped(jp) + ".html?v=1", "/" + Escaped(jp) + ".html?v=2"};
  for (const std::string& path : others) Put(path, "<html><body><a href=\"/\">home</a></body></html>");
  const fs::path web = MakeWeb("links", server_.Url("/"));
  MakeShortcut(web, 1, true, true);
  QProcess* p = Start({QString::fromStdString((web.parent_path() / "run.wbs").string())});
  ASSERT_TRUE(Finished(p, 60)) << Errors(p);
  EXPECT_EQ(p->exitCode(), 0) << Errors(p);

  std::map<std::string, int> asked;
  for (const test::HttpRequestSeen& r : server_.Requests()) ++asked[r.target];
  std::map<std::string, int> once = {{"/", 1}, {"/a.html", 1}, {"/images/left.gif", 1}};
  for (const std::string& path : others) once[path] = 1;
  EXPECT_EQ(asked, once);

  TWeb captured;
  ASSERT_EQ(captured.Open(web), wlOk);
  EXPECT_EQ(captured.RetrievedCount, once.size());
  TWebFile home(&captured);
  ASSERT_TRUE(captured.FindUrl(server_.Url("/"), home));
  const std::string page = ReadFileBytes(home.GetLocalPath());
  // The tag kept whole, its fragments kept, its links to the local files.
  for (const char* tag : {"<img title=\"<-\" alt=\"<-\" src=\"images/left.gif\"", "<a href=\"a.html#x\"",
                                 "<form action=\"search.html#res\""})
    EXPECT_NE(page.find(tag), std::string::npos) << tag << " in " << page;
  std::set<std::string> names;
  for (const std::string& link : std::vector<std::string>{"café.html", "d%E9j%E0.html", jp + ".html?v=1", jp + ".html?v=2"}) {
    TWebFile r(&captured);
    ASSERT_TRUE(captured.FindUrl(server_.Url("/" + link), r)) << link;
    const std::string name = fs::path(r.GetLocalName()).filename().string();
    EXPECT_EQ(QString::fromUtf8(name).toStdString(), name) << "not UTF-8: " << name;
    EXPECT_TRUE(fs::is_regular_file(r.GetLocalPath())) << name;
    EXPECT_NE(page.find("href=\"" + name + "\""), std::string::npos) << name << " in " << page;
    names.insert(name);
  }
  EXPECT_EQ(names.size(), 4u);
}

}  // namespace
}  // namespace qlon
