#pragma once
// The one parsed form of every URL the capture engine stores, queues,
// compares or fetches, and the routines around it.
//
// Normal form. The capture's B-tree keys its site, folder and record entries
// on texts built here, so two URLs are the same record exactly when their
// rebuilt texts are equal. That text is
//
//   scheme "//" host [":" port] path filename query        (http, ftp, ...)
//   "file://" [host] path filename                          (host empty when local)
//   "mailto:" address
//
// with these invariants, which the parser establishes for any input and which
// a parse of the rebuilt text keeps unchanged (the form is idempotent):
//   - scheme one of the eight of the table below, in lower case;
//   - host in lower case, without user info (never written back) and port;
//     a port equal to the scheme's default is not written;
//   - path begins and ends with "/", holds no empty segment ("//" collapses
//     to "/") and no "." or ".." segment (also written %2e), resolved as
//     RFC 3986 does, never above the root; "\" counts as "/";
//   - filename is what follows the last "/", never "." or ".."; query runs
//     from the first "?" to the end ("//" inside it is kept); a "#..." part
//     stays in the filename, or in the query when it follows the "?"; file
//     URLs have no query;
//   - blanks, control bytes and the unsafe characters {}|^~[]` are
//     %-escaped (upper-case hex); tabs and line breaks are dropped and blanks
//     at both ends trimmed;
//   - bytes above 127, written raw or %-escaped, have one form: those that
//     make UTF-8 characters raw, the others %-escaped (upper-case hex), so a
//     link written "café" and one written "caf%C3%A9" are one URL;
//   - other bytes and %-escapes are kept as written;
//   - nothing is cut: a URL of any length keeps every byte.
//   - full URL = directory URL + filename + query; the directory URL begins
//     with the site URL.
// An unknown scheme (https, javascript) is not recognised: the text is read
// as the path of a URL without a host or, in a relative reference, as a
// relative path, so that the result holds ":" in its path or file name;
// IsAbsoluteUrl refuses both, and nothing is fetched for them.
//
// Local files: a file URL is "file://" + the absolute POSIX path, with "%",
// "#", "?", "\", blanks, control bytes and the unsafe characters escaped;
// PathToFileUrl and FileUrlToPath convert both ways.
//
// Any thread; the host-alias lists are program-wide and locked.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qlon {

class TDoubleList;

// The scheme; its value is stored, so the order is fixed.
enum TIProtocol : std::uint8_t { ipHttp, ipFtp, ipTelnet, ipNews, ipGopher, ipWais, ipMailto, ipFile };

struct TProtocolInfo {
  std::string_view Text;  // as recognised and written, with its ":"
  std::int32_t DefaultPort;
};
inline constexpr std::array<TProtocolInfo, 8> kProtocols = {{
    {"http:", 80},
    {"ftp:", 21},
    {"telnet:", 23},
    {"news:", 119},
    {"gopher:", 0},
    {"wais:", 0},
    {"mailto:", 0},
    {"file:", 0},
}};
// A value outside the table (a corrupt stored byte) has no text and no port.
constexpr std::string_view ProtocolText(TIProtocol p) {
  return p < kProtocols.size() ? kProtocols[p].Text : std::string_view{};
}
constexpr std::int32_t DefaultPort(TIProtocol p) {
  return p < kProtocols.size() ? kProtocols[p].DefaultPort : 0;
}

class TUrl {
 public:
  // An empty URL: Protocol ipHttp, Port 0, every text empty.
  TUrl() = default;
  explicit TUrl(std::string_view url) { Parse(url); }
  // The reference resolved against the base URL text; with an empty base, TUrl(ref).
  static TUrl CreateRelative(std::string_view ref, std::string_view base);
  // The same against a base already parsed from a text that is not empty.
  static TUrl CreateRelative(std::string_view ref, const TUrl& base);

  // Replaces every field by those of the URL.
  void Parse(std::string_view url);
  void Clear() { *this = TUrl(); }

  std::string GetFullUrl() const;
  std::string GetDirectoryUrl() const;
  std::string GetSiteUrl() const { return GetUrlToLevel(0); }
  // Scheme, "//", host and the port when it is not the default: the site URL without its "/".
  std::string SchemeAndAuthority() const;
  // The site URL followed by the first `level` directory segments.
  std::string GetUrlToLevel(int level) const;
  std::string GetPath() const;
  // The directory as a local POSIX path for a file URL (unescaped); else GetPath.
  std::string GetLocalDirectory() const;
  std::string GetDisplayHost() const;
  std::string GetServerPath() const;
  std::string GetDocument() const { return FileName + Query; }
  // After the last "." of the file name (a "#..." part left out); empty when none.
  std::string GetExtension() const;
  // Drops the "#..." part, which names a place in the document and is never
  // asked of a server; false when there was none.
  bool CutFragment();
  std::string GetDomain() const;
  std::string GetMachineName() const;
  bool IsNumericHost() const;

  TIProtocol Protocol = ipHttp;
  std::string Host;
  std::int32_t Port = 0;
  std::string Path;      // directory path, "/" ... "/"
  std::string FileName;  // after the last "/", without the query
  std::string Query;     // from the first "?", the "?" included
  std::string UserInfo;  // before the "@" of the authority
  std::vector<std::string> Segments;  // the path cut after each "/"; Segments[0] == "/"

 private:
  bool ParseScheme(std::string& text, TIProtocol fallback);
  void GuessScheme(std::string_view text);
  // Takes the authority from the text. A relative reference takes one only
  // when it begins with "//"; otherwise it keeps the base host and port.
  // Returns whether the text named an authority.
  bool ParseHost(std::string& text, std::string_view baseHost, std::int32_t basePort,
                 bool relative);
  void ApplyHostAlias();
  // Moves the query out of the text; returns a "#..." part met before any query.
  std::string ParseQuery(std::string& text);
  void ParsePath(std::string& text, std::string_view basePath);
  // Query, path and file name, from what the authority left of the text.
  void ParseRest(std::string& text, std::string_view basePath);
  void ResolveAgainst(std::string ref, const TUrl& base);
};

// One-shot routines on URL texts.
TIProtocol GetUrlProtocol(std::string_view url);
std::int32_t GetUrlPort(std::string_view url);
std::string GetUrlHost(std::string_view url);
std::string GetUrlPath(std::string_view url);
std::string GetUrlDirectoryUrl(std::string_view url);
std::string GetUrlDocument(std::string_view url);
std::string GetUrlExtension(std::string_view url);
std::string ResolveUrl(std::string_view ref, std::string_view base);
// The text before the first "#": in a URL's normal form, the URL without
// its fragment.
std::string_view WithoutFragment(std::string_view url);

// ResolveUrl against one base after another, each base parsed once: the
// links of a page mostly share one.
class TUrlResolver {
 public:
  std::string Resolve(std::string_view ref, std::string_view base);
  // The same without the "#..." part: the document a link leads to.
  std::string ResolveTarget(std::string_view ref, std::string_view base);
  // What the last Resolve gave, parsed.
  const TUrl& Resolved() const { return last_; }

 private:
  std::string text_;  // what base_ was parsed from
  TUrl base_;
  TUrl last_;
};

// A host (or, for a file URL, a local path) and no ":" in the path or file name.
bool IsAbsoluteUrl(std::string_view url);
bool IsAbsoluteUrl(const TUrl& url);

enum TSiteCompare : int { scSameSite = 0, scOtherSite = 1, scSameDomainOtherMachine = 2 };
// Schemes and ports are not compared; any file URL as url1 is the same site.
int CompareSites(std::string_view url1, std::string_view url2);
int CompareSites(const TUrl& url1, const TUrl& url2);
// The key path of the cookie store: scheme, "//" + host[:port], each path
// segment, then the document when it is not empty.
std::vector<std::string> GetUrlComponents(std::string_view url);
// The default name of a new capture made from the URL.
std::string ShortWebName(std::string_view url);

// Each of {}|^~[]` becomes "%" + two upper-case hex digits; all else is kept.
std::string EscapeUnsafe(std::string_view text);
// Decodes %-escapes once, left to right. Escapes of "/", "\" and NUL stay as
// written, so a decoded name never gains a separator or an end of string; an
// escape that is not hex is copied; a "%" with fewer than two characters after
// it ends the text.
std::string UnescapeUrl(std::string_view text);

// True for an absolute POSIX path.
bool IsDrivePath(std::string_view text);
// "file://" + the escaped path for an absolute path; any other text unchanged.
std::string PathToFileUrl(std::string_view path);
// The local path of a "file:" URL (its "#..." part left out, escapes decoded);
// empty when it names another host, or escapes a NUL byte or a "/". Other texts are returned
// unchanged.
std::string FileUrlToPath(std::string_view url);
// The link from the file `from` to the file `to`: ".." for every directory of
// `from` not shared with `to`, then the rest of `to`. Separators are "/" in
// and out (useSlash is kept for callers; both values give "/" on POSIX);
// names compare case-sensitively, as the file system does.
std::string RelativePath(std::string_view from, std::string_view to, bool useSlash = true);

void SplitPathSegments(std::string_view path, std::vector<std::string>& list);
std::vector<std::string> SplitPathSegments(std::string_view path);
std::string JoinPathSegments(const std::vector<std::string>& list);
// Replaces every occurrence of find, left to right; an empty find changes nothing.
void ReplaceAll(std::string& text, std::string_view find, std::string_view replacement);
// Digits and dots only, with exactly three dots.
bool IsNumericAddress(std::string_view text);
constexpr char LowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
constexpr char UpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; }

// Host aliases. The program-wide list maps a host name to the first numeric
// address it was reached at (filled by the request client); the open capture
// binds its own list of numeric address -> host name, in which every numeric
// address met in a URL is remembered. Inside an open capture a URL written
// with a known address is filed under the host name.
void AddHostAlias(std::string_view name, std::string_view address);
// Binds the capture's list (not owned) while the capture is open, or
// unbinds every list with nullptr. A capture opened while another is (a
// copy checked, a base read) binds over it until it is closed.
void SetHostAddressList(TDoubleList* list);
// Unbinds the list; the one bound before it, when still bound, serves again.
void ReleaseHostAddressList(TDoubleList* list);
// A copy of the list, taken under the lock that guards it while it is bound.
TDoubleList CopyHostAddressList(const TDoubleList& list);
// The host name known for a numeric address, else the address itself.
std::string LookupHostAlias(std::string_view address);
// The numeric address the capture's list files under the host name; empty
// when none. Records filed under an address before its name was known stay
// there: lookups by the name fall back on it.
std::string HostAddressOf(std::string_view name);
void RefreshHostAddressList();
// Forgets every program-wide alias and unbinds the capture's list.
void ClearHostAliases();

// While one lives on a thread, parses on that thread leave a numeric host as
// written: a URL read back from the capture's tree is already filed.
class TLiteralHosts {
 public:
  TLiteralHosts();
  ~TLiteralHosts();
  TLiteralHosts(const TLiteralHosts&) = delete;
  TLiteralHosts& operator=(const TLiteralHosts&) = delete;
};

// The host-alias lists as they stand, for lookups that take no lock.
struct THostAliasSnapshot {
  bool HasList = false;  // a capture's list is bound
  std::unordered_map<std::string, std::string> Bound;  // the capture's: address -> name
  std::unordered_map<std::string, std::string> Named;  // program-wide: address -> its first name
};
THostAliasSnapshot TakeHostAliasSnapshot();

// While one lives on a thread, the numeric hosts parsed on that thread are
// looked up in a snapshot, the bound list left as it is: the answers are
// the same while the names known stay the same and the list only gains
// addresses without a name (as in a link resolution, after
// RefreshHostAddressList). The addresses the snapshot's list lacked are kept
// in the order met, so that the thread that owns the list adds them
// (NoteHostAddresses) in the order a single thread would have.
class THostAddressRecorder {
 public:
  explicit THostAddressRecorder(const THostAliasSnapshot& snapshot);
  ~THostAddressRecorder();
  THostAddressRecorder(const THostAddressRecorder&) = delete;
  THostAddressRecorder& operator=(const THostAddressRecorder&) = delete;
  std::string Lookup(std::string_view address);
  std::vector<std::string> Take();

 private:
  const THostAliasSnapshot& snapshot_;
  THostAddressRecorder* outer_;
  std::vector<std::string> addresses_;
};
// Looks each address up as a parse would, adding the ones the list lacks.
void NoteHostAddresses(const std::vector<std::string>& addresses);

}  // namespace qlon
