#pragma once
// The program-wide cookie store, and the HTTP date texts the request client
// writes and reads.
//
// Filing. A cookie lives in a tree keyed by the components of its key URL
// (GetUrlComponents): scheme, "//" + host[:port], "/", each directory
// segment, then the document when there is one. A request sends the cookies
// of every node its own components reach from the root, the deepest node's
// first. So a cookie filed under "http://h/dir/" goes with every page of
// h's "/dir/" and below, and with nothing on another host: the host is
// always the host of the server that set the cookie (a DOMAIN attribute is
// only accepted when that host lies inside it, and never files a cookie
// under another host).
//
// "cookies.txt" (CR LF text lines):
//
//   QLONCOOKIES 100                 header; a file without "QLONCOOKIES" in
//                                   its first line is refused
//   http://h/dir/                   key URL  |
//   name=value                      Text     | one group per persistent cookie
//   2026-12-09 07:30:00             expiry   | (UTC, "yyyy-MM-dd hh:mm:ss")
//   ...
//
// Session cookies (Expires 0) are never written. The reader stops at the
// first empty key line (the end of the file), also accepts the older
// "dd/mm/yyyy hh:nn:ss" expiry form, skips groups whose date it cannot read
// and drops cookies already expired.
//
// GUI thread.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QIODevice;

namespace qlon {

struct TCookie {
  std::string Name;     // Text before its first "="
  std::string Text;     // name "=" value, as received
  double Expires = 0;   // UTC date-time; 0 = session cookie
};

class TCookiesNode {
 public:
  // Keyed by the component text; std::map keeps them sorted.
  std::map<std::string, std::unique_ptr<TCookiesNode>> Children;
  // In the order they were first set.
  std::vector<TCookie> Cookies;
};

class TCookiesBase {
 public:
  TCookiesBase();
  // Saves to FileName when it is set.
  ~TCookiesBase();
  TCookiesBase(const TCookiesBase&) = delete;
  TCookiesBase& operator=(const TCookiesBase&) = delete;

  // Files the cookie of one Set-Cookie value received for the URL. False
  // when the store is disabled, the value is empty or its DOMAIN does not
  // hold the URL's host (the cookie is then refused).
  bool ParseSetCookie(std::string_view url, std::string_view value);
  // Files or replaces the cookie named by the pair under the key URL; an
  // already expired date removes it. A pair without "=" is ignored.
  void AddCookie(std::string_view key, std::string_view pair, double expires);
  // The value of a "Cookie: " header for the URL ("a=1; b=2"), deepest
  // node first, expired cookies left out; empty when disabled or none.
  std::string GetCookieHeader(std::string_view url) const;
  void Clear();
  std::size_t Count() const;

  bool LoadFromFile(const std::string& file);
  bool LoadFromStream(QIODevice& stream);
  bool SaveToFile(const std::string& file) const;
  void SaveToStream(QIODevice& stream) const;

  // Called with every Set-Cookie value received, before anything is checked.
  std::function<void(std::string_view)> OnSetCookie;
  bool Enabled = false;
  std::string FileName;
  // The clock that expiry is checked against (UTC date-time); tests set it.
  std::function<double()> Now;

 private:
  TCookiesNode Root_;
};

// The program's store, created at start-up.
TCookiesBase& CookiesBase();

// "Sun, 06 Nov 1994 08:49:37 GMT" (RFC 1123). The date is written as given:
// callers pass UTC.
std::string FormatHttpDate(double date);
// Reads RFC 1123, RFC 850 ("Sunday, 06-Nov-94 ..."), the Set-Cookie form
// "06-Nov-1994" and asctime ("Sun Nov  6 08:49:37 1994"); two-digit years
// 70..99 are 19xx, others 20xx. 0 when no valid date is found.
double ParseHttpDate(std::string_view text);
// The current UTC date-time.
double UtcNow();

}  // namespace qlon
