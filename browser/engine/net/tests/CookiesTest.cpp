#include "Cookies.h"

#include <QBuffer>
#include <QDate>
#include <QTime>

#include <gtest/gtest.h>

#include "TempRoot.h"

namespace qlon {
namespace {

double Date(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(QDate(y, m, d))) +
         QTime(hh, mm, ss).msecsSinceStartOfDay() / 86400000.0;
}

class CookiesTest : public ::testing::Test {
 protected:
  CookiesTest() {
    store.Enabled = true;
    store.Now = [] { return Date(2026, 1, 1); };
  }
  TCookiesBase store;
};

TEST(HttpDate, ParsesTheThreeFormsAndTheCookieForm) {
  const double expected = Date(1994, 11, 6, 8, 49, 37);
  for (const char* text : {"Sun, 06 Nov 1994 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT",
                           "Sun Nov  6 08:49:37 1994", "Sun, 06-Nov-1994 08:49:37 GMT"})
    EXPECT_DOUBLE_EQ(ParseHttpDate(text), expected) << text;
  EXPECT_DOUBLE_EQ(ParseHttpDate("Thu, 01-Jan-70 00:00:01 GMT"), Date(1970, 1, 1, 0, 0, 1));
  EXPECT_DOUBLE_EQ(ParseHttpDate("Wed, 09-Jun-21 10:18:14 GMT"), Date(2021, 6, 9, 10, 18, 14));
}

TEST(HttpDate, MalformedTextsGiveNoDate) {
  for (const char* text : {"", "garbage", "Sun, 31 Feb 2020 00:00:00 GMT", "06 Foo 1994", "Nov 1994",
                           "99999999999 Nov 06", ":::: -- ,,,", "Sun, 06-Nov-994 08:49:37 GMT"})
    EXPECT_EQ(ParseHttpDate(text), 0) << text;
  // A bad time leaves midnight rather than the whole date unreadable.
  EXPECT_DOUBLE_EQ(ParseHttpDate("Sun, 06 Nov 1994 99:99:99 GMT"), Date(1994, 11, 6));
}

TEST(HttpDate, FormatsRfc1123AndReadsItBack) {
  const double date = Date(2005, 3, 4, 7, 5, 9);
  EXPECT_EQ(FormatHttpDate(date), "Fri, 04 Mar 2005 07:05:09 GMT");
  EXPECT_DOUBLE_EQ(ParseHttpDate(FormatHttpDate(date)), date);
  EXPECT_EQ(FormatHttpDate(1e300), "");
}

struct SetCookieCase {
  const char* url;
  const char* value;
};

TEST_F(CookiesTest, CookiesGoBackToTheirHostAndPathOnly) {
  const SetCookieCase set[] = {
      {"http://www.example.com/login.php", "PHPSESSID=abc123; path=/"},
      {"http://www.example.com/shop/cart.asp", "cart=7; expires=Sat, 01-Jan-2028 00:00:00 GMT; path=/shop"},
      {"http://www.example.com/shop/cart.asp", "lang=fr; path=/shop/; domain=.example.com"},
      {"http://www.example.com/a/b/page.htm", "local=1"},  // no path: the request's directory
      {"http://www.example.com/", "tracker=x; Max-Age=0; path=/; secure"},
      {"http://other.org:8080/", "port=1; path=/"},
  };
  for (const auto& c : set) EXPECT_TRUE(store.ParseSetCookie(c.url, c.value)) << c.value;

  const struct {
    const char* url;
    const char* cookie;
  } sent[] = {
      {"http://www.example.com/", "PHPSESSID=abc123; tracker=x"},
      {"http://www.example.com/index.htm?x=1", "PHPSESSID=abc123; tracker=x"},
      {"http://www.example.com/shop/", "cart=7; lang=fr; PHPSESSID=abc123; tracker=x"},
      {"http://www.example.com/shop/sub/item.htm", "cart=7; lang=fr; PHPSESSID=abc123; tracker=x"},
      {"http://www.example.com/shopping/", "PHPSESSID=abc123; tracker=x"},
      {"http://www.example.com/a/b/other.htm", "local=1; PHPSESSID=abc123; tracker=x"},
      {"http://www.example.com/a/", "PHPSESSID=abc123; tracker=x"},
      {"http://WWW.EXAMPLE.COM:80/", "PHPSESSID=abc123; tracker=x"},
      {"http://shop.example.com/", ""},
      {"http://www.example.com:81/", ""},
      {"http://example.com.evil.net/", ""},
      {"ftp://www.example.com/", ""},
      {"http://other.org:8080/x.htm", "port=1"},
      {"http://other.org/", ""},
  };
  for (const auto& s : sent) EXPECT_EQ(store.GetCookieHeader(s.url), s.cookie) << s.url;
}

TEST_F(CookiesTest, ADomainOutsideTheServerIsRefused) {
  EXPECT_FALSE(store.ParseSetCookie("http://evil.net/", "sid=stolen; path=/; domain=bank.example"));
  EXPECT_FALSE(store.ParseSetCookie("http://evil.net/", "sid=stolen; path=/; domain=.net.evil"));
  EXPECT_FALSE(store.ParseSetCookie("http://notbank.example/", "sid=x; path=/; domain=bank.example"));
  EXPECT_EQ(store.Count(), 0u);
  EXPECT_EQ(store.GetCookieHeader("http://bank.example/"), "");
  EXPECT_TRUE(store.ParseSetCookie("http://www.bank.example/", "sid=ok; path=/; domain=BANK.example"));
  EXPECT_EQ(store.GetCookieHeader("http://www.bank.example/"), "sid=ok");
  EXPECT_EQ(store.GetCookieHeader("http://bank.example/"), "");
  // An address matches only itself, never a "domain" made of its last numbers.
  for (const char* domain : {".0.0.1", "0.0.1", ".1", "27.0.0.1"})
    EXPECT_FALSE(store.ParseSetCookie("http://127.0.0.1/", std::string("n=1; path=/; domain=") + domain)) << domain;
  EXPECT_TRUE(store.ParseSetCookie("http://127.0.0.1/", "n=2; path=/; domain=.127.0.0.1"));
  EXPECT_EQ(store.GetCookieHeader("http://127.0.0.1/"), "n=2");
}

TEST_F(CookiesTest, ReplacingAndDeleting) {
  std::vector<std::string> seen;
  store.OnSetCookie = [&](std::string_view v) { seen.emplace_back(v); };
  store.ParseSetCookie("http://h/", "a=1; path=/; expires=Sun, 01 Jan 2030 00:00:00 GMT");
  store.ParseSetCookie("http://h/", "b=2; path=/");
  store.ParseSetCookie("http://h/", "a=3; path=/");
  EXPECT_EQ(store.GetCookieHeader("http://h/"), "a=3; b=2");
  QBuffer buffer;
  buffer.open(QIODevice::ReadWrite);
  store.SaveToStream(buffer);
  EXPECT_EQ(buffer.data().toStdString(), "QLONCOOKIES 100\r\n") << "a is now a session cookie";
  // An expiry in the past is how servers delete a cookie.
  store.ParseSetCookie("http://h/", "b=; path=/; expires=Thu, 01-Jan-1970 00:00:01 GMT");
  EXPECT_EQ(store.GetCookieHeader("http://h/"), "a=3");
  EXPECT_EQ(seen.size(), 4u);

  store.Enabled = false;
  EXPECT_EQ(store.GetCookieHeader("http://h/"), "");
  EXPECT_FALSE(store.ParseSetCookie("http://h/", "c=1; path=/"));
  EXPECT_EQ(seen.size(), 5u) << "the event sees values even when disabled";
}

TEST_F(CookiesTest, MalformedSetCookieValues) {
  for (const char* value : {"", ";", "noequals; path=/", "=; path=/", ";;;;", "  ; path=/", "a=1; path",
                            "x=1; expires=; domain=; path="})
    store.ParseSetCookie("http://h/dir/p.htm", value);
  // "a=1" (its "path" has no value) and "x=1" (empty DOMAIN and PATH) fall
  // back to the request's server and directory; the others name no cookie.
  EXPECT_EQ(store.Count(), 2u);
  EXPECT_EQ(store.GetCookieHeader("http://h/dir/"), "a=1; x=1");
  EXPECT_EQ(store.GetCookieHeader("http://h/"), "");
  std::string huge(100000, 'v');
  EXPECT_TRUE(store.ParseSetCookie("http://h/", "big=" + huge + "; path=/"));
  EXPECT_EQ(store.GetCookieHeader("http://h/").size(), huge.size() + 4);
}

TEST_F(CookiesTest, FileRoundTripKeepsPersistentCookiesOnly) {
  store.ParseSetCookie("http://h/", "keep=1; path=/; expires=Fri, 31 Dec 2027 23:59:58 GMT");
  store.ParseSetCookie("http://h:8080/d/", "deep=2; path=/d/e; expires=Mon, 02 Mar 2026 02:30:00 GMT");
  store.ParseSetCookie("http://h/", "session=3; path=/");
  qlon::test::TempDir dir;
  const std::string file = (dir.path() / "cookies.txt").string();
  ASSERT_TRUE(store.SaveToFile(file));
  EXPECT_EQ(qlon::test::ReadFileBytes(file),
            "QLONCOOKIES 100\r\n"
            "http://h/\r\nkeep=1\r\n2027-12-31 23:59:58\r\n"
            "http://h:8080/d/e/\r\ndeep=2\r\n2026-03-02 02:30:00\r\n");

  TCookiesBase loaded;
  loaded.Now = store.Now;
  ASSERT_TRUE(loaded.LoadFromFile(file));
  loaded.Enabled = true;
  EXPECT_EQ(loaded.Count(), 2u);
  EXPECT_EQ(loaded.GetCookieHeader("http://h/"), "keep=1");
  EXPECT_EQ(loaded.GetCookieHeader("http://h:8080/d/e/f.htm"), "deep=2");

  // Later, "deep" has expired: it is neither loaded nor written again.
  TCookiesBase later;
  later.Now = [] { return Date(2026, 6, 1); };
  ASSERT_TRUE(later.LoadFromFile(file));
  EXPECT_EQ(later.Count(), 1u);
}

TEST_F(CookiesTest, DestroyingSavesToItsFile) {
  qlon::test::TempDir dir;
  const std::string file = (dir.path() / "cookies.txt").string();
  {
    TCookiesBase s;
    s.Enabled = true;
    s.Now = store.Now;
    s.FileName = file;
    s.ParseSetCookie("http://h/", "k=v; path=/; expires=Fri, 31 Dec 2027 00:00:00 GMT");
  }
  EXPECT_TRUE(store.LoadFromFile(file));
  EXPECT_EQ(store.GetCookieHeader("http://h/"), "k=v");
}

TEST_F(CookiesTest, HostileFilesLoadWhatIsSoundAndNoMore) {
  auto load = [&](const std::string& bytes) {
    store.Clear();
    QBuffer b;
    b.setData(QByteArray::fromStdString(bytes));
    b.open(QIODevice::ReadOnly);
    return store.LoadFromStream(b);
  };
  EXPECT_FALSE(load(""));
  EXPECT_FALSE(load("NOT A COOKIE FILE\r\nhttp://h/\r\na=1\r\n2027-01-01 00:00:00\r\n"));
  EXPECT_EQ(store.Count(), 0u);
  // Legacy dates, a bad date, a pair without "=", a truncated last group.
  EXPECT_TRUE(load("QLONCOOKIES 100\n"
                   "http://h/\na=1\n31/12/2027 10:00:00\n"
                   "http://h/\nb=2\nnot a date\n"
                   "http://h/\nnopair\n2027-01-01 00:00:00\n"
                   "http://h/\nc=3\n2027-02-30 00:00:00\n"
                   "http://h/\nd=4"));
  EXPECT_EQ(store.GetCookieHeader("http://h/"), "a=1");
  EXPECT_TRUE(load("QLONCOOKIES 100\r\n"));
  EXPECT_EQ(store.Count(), 0u);
  EXPECT_FALSE(store.LoadFromFile("/nonexistent/cookies.txt"));
}

}  // namespace
}  // namespace qlon
