// The request client's texts: reply header parsing, the request it sends,
// form encoding and FTP listing lines. The network paths are in
// HttpRqstNetTest.cpp.
#include "HttpRqst.h"

#include <gtest/gtest.h>

#include <QDateTime>

#include "Cookies.h"
#include "HttpRqstPrivate.h"
#include "Setup.h"
#include "TempRoot.h"
#include "TestApp.h"
#include "Utils.h"

#include <QCoreApplication>

namespace qlon {
namespace {

const std::string kReply =
    "HTTP/1.0 200 OK\r\n"
    "Server: Test/1.0\r\n"
    "Date: Sun, 06 Nov 1994 08:49:37 GMT\r\n"
    "Content-Type: text/plain; charset=utf-8\r\n"
    "Content-Length: 11\r\n"
    "Last-Modified: Sat, 05 Nov 1994 08:00:00 GMT\r\n"
    "\r\n"
    "hello world";

double Utc(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return QDateTimeToDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), Qt::UTC));
}

TEST(HttpHeaderAppend, FindsTheEndHoweverTheReplyIsCut) {
  // Every split into two blocks, then one byte per block.
  for (std::size_t cut = 0; cut <= kReply.size(); ++cut) {
    THttpHeader h;
    std::string body;
    const std::string_view head = std::string_view(kReply).substr(0, cut), tail = std::string_view(kReply).substr(cut);
    if (h.Append(head, body))
      body += tail;
    else
      ASSERT_TRUE(h.Append(tail, body)) << "cut at " << cut;
    EXPECT_EQ(body, "hello world") << "cut at " << cut;
    EXPECT_TRUE(h.Parsed);
    EXPECT_EQ(h.Status, 200);
    EXPECT_EQ(h.ContentLength, 11);
  }
  THttpHeader h;
  std::string body;
  std::size_t ended = 0;
  for (std::size_t i = 0; i < kReply.size() && !ended; ++i)
    if (h.Append(std::string_view(kReply).substr(i, 1), body)) ended = i;
  EXPECT_EQ(ended, kReply.find("hello") - 1);
  EXPECT_EQ(h.ContentType, "text/plain");
}

TEST(HttpHeaderAppend, HtmlWithoutBlankLineEndsTheHeader) {
  const std::string reply = "HTTP/1.0 200 OK\r\nServer: old\r\n<html><body>x</body></html>";
  for (std::size_t cut = 0; cut <= reply.size(); ++cut) {
    THttpHeader h;
    std::string body;
    const std::string_view head = std::string_view(reply).substr(0, cut), tail = std::string_view(reply).substr(cut);
    if (h.Append(head, body))
      body += tail;
    else
      ASSERT_TRUE(h.Append(tail, body)) << "cut at " << cut;
    EXPECT_EQ(body, "<html><body>x</body></html>") << "cut at " << cut;
    EXPECT_EQ(h.Server, "old");
    EXPECT_EQ(h.Text().find('<'), std::string_view::npos) << "the page is not part of the header";
  }
}

TEST(HttpHeaderAppend, ReplyWithoutHeaderIsNotRecognised) {
  THttpHeader h;
  std::string body;
  ASSERT_TRUE(h.Append("<HTML><BODY>no header</BODY></HTML>", body));
  EXPECT_EQ(h.Length, 0);
  EXPECT_FALSE(h.Parsed);
  EXPECT_EQ(body, "<HTML><BODY>no header</BODY></HTML>");

  for (const char* garbage : {"SSH-2.0-OpenSSH\r\n\r\n", "HTTP/1.0\r\n\r\n", "HTTP/1.0 abc OK\r\n\r\n",
                              "HTTP/1.0 20 OK\r\n\r\n", "\r\n\r\n"}) {
    THttpHeader g;
    ASSERT_TRUE(g.Append(garbage, body));
    EXPECT_FALSE(g.Parsed) << garbage;
    EXPECT_EQ(g.ContentType, "") << garbage;
  }
}

TEST(HttpHeaderAppend, OversizedHeaderKeepsItsFirst4096Bytes) {
  THttpHeader h;
  std::string body;
  const std::string big = "HTTP/1.0 200 OK\r\nX-Pad: " + std::string(10000, 'p') + "\r\nContent-Length: 3\r\n\r\nabc";
  EXPECT_TRUE(h.Append(big, body));
  EXPECT_EQ(h.Length, THttpHeader::kBufferSize);
  EXPECT_EQ(body, "abc");
  EXPECT_EQ(h.Status, 200);
}

TEST(HttpHeaderParse, Fields) {
  THttpHeader h;
  std::string body;
  h.Append(kReply, body);
  EXPECT_EQ(h.Server, "Test/1.0");
  EXPECT_DOUBLE_EQ(h.Date, Utc(1994, 11, 6, 8, 49, 37));
  EXPECT_DOUBLE_EQ(h.LastModified, Utc(1994, 11, 5, 8));

  THttpHeader a;
  a.Append("HTTP/1.1 401 Unauthorized\r\n"
           "WWW-Authenticate: Basic realm=\"Zone A\"\r\n"
           "Proxy-Authenticate: Basic realm=\"px\"\r\n"
           "Location: http://h/next.htm\r\n"
           "Content-Length: -5\r\n"
           "content-type:x\r\n"
           "Set-Cookie: id=1\r\n\r\n",
           body);
  EXPECT_EQ(a.Status, 401);
  EXPECT_EQ(a.Realm, "Zone A");
  EXPECT_EQ(a.ProxyRealm, "Basic realm=\"px\"");
  EXPECT_EQ(a.Location, "http://h/next.htm");
  EXPECT_EQ(a.ContentLength, 0) << "a negative length is no length";
  EXPECT_EQ(a.ContentType, "x") << "short values are kept as they are";
  EXPECT_EQ(a.SetCookie, "id=1");

  THttpHeader d;
  d.Append("HTTP/1.0 200 OK\r\nContent-Length: 12x\r\n\r\n", body);
  EXPECT_EQ(d.ContentType, "") << "no type is made up: the name or the body tells it";
  EXPECT_EQ(d.ContentLength, 0);
  d.Clear();
  EXPECT_EQ(d.Status, 0);
  EXPECT_FALSE(d.Parsed);
  a.Clear();
  EXPECT_EQ(a.Realm, "Zone A") << "kept for the answer to the 401";
  EXPECT_EQ(a.Location, "http://h/next.htm");
}

// What a body that came without a type is, by its first bytes: a page only
// when it begins as one, so that text and files are never rewritten.
TEST(BodyType, PagesTextAndTheRest) {
  using detail::TypeOfBytes;
  for (const char* page : {"<!DOCTYPE html>\n<html>", "\xEF\xBB\xBF  \r\n<HTML lang=fr>", "<head>", "<title>x",
                           "<!-- generated -->\n<!-- twice --><html>", "<?xml version=\"1.0\"?>\n<!DOCTYPE html PUBLIC",
                           "<frameset cols=2>"})
    EXPECT_EQ(TypeOfBytes(page), "text/html") << page;
  // Markup at the start of a text does not make it a page: a README that
  // opens on a paragraph, a DTD on a comment, XML.
  for (const char* text : {"", "README for the package\n", "Copyright (C) 2023 \xC3\xA9\x1B[1m\f\n",
                           "<p align=\"center\"><img src=\"logo.png\"></p>\n# Title", "<!-- fpdoc.dtd -->\n<!ELEMENT x>",
                           "<?xml version=\"1.0\"?><doc/>", "<a name=\"top\"></a>", "<html", "<htmlx>", "<!-- open",
                           "a < b > c"})
    EXPECT_EQ(TypeOfBytes(text), "text/plain") << text;
  EXPECT_EQ(TypeOfBytes(std::string("\x1F\x8B\x08\0\0\0", 6)), "application/octet-stream");  // gzip
  EXPECT_EQ(TypeOfBytes(std::string("GIF89a\x01\0\x01\0", 10)), "image/gif");
  EXPECT_EQ(TypeOfBytes(std::string("\x89PNG\r\n\x1A\n\0\0\0\rIHDR", 16)), "image/png");
  EXPECT_EQ(TypeOfBytes("\xFF\xD8\xFF\xE0"), "image/jpeg");
  EXPECT_EQ(TypeOfBytes(std::string("plain text\0", 11)), "application/octet-stream");
}

TEST(HttpHeaderParse, SetCookieIsFiledForTheRequestUrl) {
  TCookiesBase cookies;
  cookies.Enabled = true;
  THttpHeader h;
  h.Cookies = &cookies;
  h.Url = "http://shop.example/cart/list.htm";
  std::string body;
  h.Append("HTTP/1.0 200 OK\r\nSet-Cookie: sid=42; path=/cart/\r\n\r\n", body);
  EXPECT_EQ(cookies.GetCookieHeader("http://shop.example/cart/x.htm"), "sid=42");
  EXPECT_EQ(cookies.GetCookieHeader("http://other.example/cart/x.htm"), "");
}

TEST(FormEncoding, EscapesEverythingThatWouldChangeTheFields) {
  EXPECT_EQ(EncodeFormFields({"q=a b", "x=1&2=3", "n"}), "q=a+b&x=1%262%3D3&n=");
  EXPECT_EQ(EncodeFormFields({"p=\t\"<>[\\]^`{|}~/%#?"}), "p=%09%22%3C%3E%5B%5C%5D%5E%60%7B%7C%7D%7E%2F%25%23%3F");
  EXPECT_EQ(EncodeFormFields({"t=\r\n+\xC3\xA9"}), "t=%0D%0A%2B%C3%A9");
  EXPECT_EQ(EncodeFormFields({"a.b-c_d*=Z9"}), "a.b-c_d*=Z9");
  EXPECT_EQ(EncodeFormFields({}), "");
}

struct WorkFolder : IWorkPathPrompt {
  explicit WorkFolder(const std::filesystem::path& root) : path((root / "work").string()) {}
  bool AskWorkPath(std::string& answer) override {
    answer = path;
    return true;
  }
  std::string path;
};

class RequestTextTest : public ::testing::Test {
 protected:
  RequestTextTest() : work(root.path()), setup(&work, root.path() / "program") {
    test::TestApp<QCoreApplication>();
    cookies.Enabled = true;
  }
  std::string Text(const std::string& url) {
    THttpRequest r(1, nullptr, &setup);
    r.Cookies = &cookies;
    configure(r);
    r.Url.Parse(url);
    return r.RequestText();
  }
  test::TempRoot root;
  WorkFolder work;
  TSetup setup;
  TCookiesBase cookies;
  std::function<void(THttpRequest&)> configure = [](THttpRequest&) {};
};

TEST_F(RequestTextTest, PlainGet) {
  EXPECT_EQ(Text("http://www.example.org/dir/page.htm?a=1"),
            "GET /dir/page.htm?a=1 HTTP/1.0\r\n"
            "Accept: */*\r\n"
            "Host: www.example.org\r\n"
            "\r\n");
  EXPECT_NE(Text("http://h:8080/").find("\r\nHost: h:8080\r\n"), std::string::npos);
  EXPECT_NE(Text("http://h:80/").find("\r\nHost: h\r\n"), std::string::npos);
}

TEST_F(RequestTextTest, OptionalLines) {
  setup.SetAgentIdentity(1);
  ASSERT_FALSE(setup.AgentText().empty());
  cookies.AddCookie("http://h/", "sid=7", 0);
  configure = [](THttpRequest& r) {
    r.Referer = "http://h/from.htm";
    r.IfModifiedSince = Utc(2024, 1, 15, 10, 20, 30);
    r.Accept = {"text/html", "image/*"};
  };
  const std::string text = Text("http://h/a.htm");
  EXPECT_EQ(text,
            "GET /a.htm HTTP/1.0\r\n"
            "Accept: text/html\r\n"
            "Accept: image/*\r\n"
            "Referer: http://h/from.htm\r\n"
            "If-Modified-Since: Mon, 15 Jan 2024 10:20:30 GMT\r\n"
            "User-Agent: " +
                setup.AgentText() +
                "\r\n"
                "Host: h\r\n"
                "Cookie: sid=7\r\n"
                "\r\n");
  configure = [](THttpRequest& r) {
    r.Method = mHEAD;
    r.IfModifiedSince = 1000;
  };
  EXPECT_EQ(Text("http://h/a.htm").find("If-Modified-Since"), std::string::npos) << "GET only";
}

TEST_F(RequestTextTest, FormFields) {
  configure = [](THttpRequest& r) { r.Fields = {"q=a b", "lang=fr"}; };
  EXPECT_TRUE(Text("http://h/s.cgi").starts_with("GET /s.cgi?q=a+b&lang=fr HTTP/1.0\r\n"));
  EXPECT_TRUE(Text("http://h/s.cgi?x=1").starts_with("GET /s.cgi?x=1&q=a+b&lang=fr HTTP/1.0\r\n"));
  configure = [](THttpRequest& r) {
    r.Method = mPOST;
    r.Fields = {"q=a b", "lang=fr"};
  };
  const std::string post = Text("http://h/s.cgi");
  EXPECT_TRUE(post.starts_with("POST /s.cgi HTTP/1.0\r\n"));
  EXPECT_TRUE(post.ends_with("Content-type: application/x-www-form-urlencoded\r\n"
                             "Content-Length: 13\r\n\r\nq=a+b&lang=fr"))
      << post;
}

TEST_F(RequestTextTest, TargetBytesThatWouldBreakTheRequestLineAreEscaped) {
  const std::string text = Text("http://h/caf\xC3\xA9/a\"b.htm");
  EXPECT_TRUE(text.starts_with("GET /caf%C3%A9/a%22b.htm HTTP/1.0\r\n")) << text;
  configure = [](THttpRequest& r) { r.Referer = "http://h/x\r\nEvil: 1"; };
  EXPECT_EQ(Text("http://h/").find("\r\nEvil"), std::string::npos);
}

TEST(FtpListLine, UnixLongForm) {
  const double now = Utc(2026, 12, 9, 10, 0);
  TFtpListEntry e;
  ASSERT_TRUE(ParseFtpListLine("-rw-r--r--   1 owner    group       12345 Mar 14  2021 notes v2.txt\r\n", now, e));
  EXPECT_FALSE(e.Directory);
  EXPECT_EQ(e.Size, 12345);
  EXPECT_EQ(e.Name, "notes v2.txt");
  EXPECT_DOUBLE_EQ(e.Date, Utc(2021, 3, 14));

  ASSERT_TRUE(ParseFtpListLine("drwxr-xr-x 2 ftp 4096 Nov 30 17:45 pub", now, e)) << "no group field";
  EXPECT_TRUE(e.Directory);
  EXPECT_EQ(e.Name, "pub");
  EXPECT_DOUBLE_EQ(e.Date, Utc(2026, 11, 30, 17, 45));

  ASSERT_TRUE(ParseFtpListLine("-rw-r--r-- 1 a b 1 Dec 25 08:00 x", now, e));
  EXPECT_DOUBLE_EQ(e.Date, Utc(2025, 12, 25, 8)) << "a time form never lies in the future";
  ASSERT_TRUE(ParseFtpListLine("lrwxrwxrwx 1 a b 7 Jan  2  2020 latest -> v1.2", now, e));
  EXPECT_EQ(e.Name, "latest");

  for (const char* bad : {"total 12", "", "-rw-r--r-- 1 a b 12 Foo 14 2021 x", "-rw-r--r-- 1 a b x12 Mar 14 2021 x",
                          "-rw-r--r-- 1 a b 12 Mar 14 2021", "-rw-r--r-- 1 a b 12 Feb 31 2021 x",
                          "-rw-r--r-- 1 a b 12 Mar 14 99:99 x", "04-14-21  10:20AM   123 dos.txt"})
    EXPECT_FALSE(ParseFtpListLine(bad, now, e)) << bad;
}

}  // namespace
}  // namespace qlon
