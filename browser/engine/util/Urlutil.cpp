#include "Urlutil.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <utility>

#include "DoubleList.h"
#include "Types.h"
#include "Utils.h"

namespace qlon {

namespace {

// The first of a few bytes: string::find_first_of calls memchr on the set
// for each byte of the text, and every link of every page is parsed here.
template <class... Chars>
std::size_t FindFirst(std::string_view text, Chars... chars) {
  for (std::size_t i = 0; i < text.size(); ++i)
    if (((text[i] == chars) || ...)) return i;
  return std::string_view::npos;
}

// The bytes that are %-escaped wherever they stand: {}|^~[]`
bool IsUnsafe(char c) {
  switch (c) {
    case '{': case '}': case '|': case '^': case '~': case '[': case ']': case '`': return true;
    default: return false;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void LowerAscii(std::string& text) {
  for (char& c : text) c = LowerChar(c);
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

// The byte a %-escape at `at` writes; -1 when there is none.
int EscapedByte(std::string_view text, std::size_t at) {
  if (at + 2 >= text.size() || text[at] != '%') return -1;
  const int high = HexValue(text[at + 1]), low = HexValue(text[at + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Appends the run of bytes above 127 that starts at `at`, each written raw
// or as a %-escape, in one form: the UTF-8 characters raw, every other such
// byte as "%XX". A link written with the characters and one written with
// their escapes are then one URL, and a name made from it is UTF-8. Returns
// where the run ends.
std::size_t AppendHighBytes(std::string_view text, std::size_t at, std::string& out) {
  std::string bytes;
  while (at < text.size()) {
    if (static_cast<unsigned char>(text[at]) >= 0x80) {
      bytes += text[at++];
    } else if (const int escaped = EscapedByte(text, at); escaped >= 0x80) {
      bytes += static_cast<char>(escaped);
      at += 3;
    } else {
      break;
    }
  }
  for (std::size_t k = 0; k < bytes.size();) {
    if (const std::size_t length = Utf8CharLength(std::string_view(bytes).substr(k))) {
      out.append(bytes, k, length);
      k += length;
    } else {
      AppendPercentByte(out, static_cast<unsigned char>(bytes[k++]));
    }
  }
  return at;
}

// What every URL text goes through before it is cut into fields: blanks and
// control bytes trimmed at both ends, tabs and line breaks dropped (they come
// from attribute values wrapped over lines), the unsafe characters, blanks
// and the remaining control bytes %-escaped, so that the normal form holds
// no byte that would break a request line or a stored key; then the bytes
// above 127 in their one form (AppendHighBytes; after the drops, which may
// join a "%" to the digits after it).
std::string PrepareText(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 0x20) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 0x20) text.remove_suffix(1);
  std::string out;
  out.reserve(text.size());
  // Copied a run at a time: most texts need nothing done.
  std::size_t run = 0;
  bool high = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c >= 0x80 || c == '%') high = true;
    if (c > 0x20 && c != 0x7F && !IsUnsafe(text[i])) continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
    if (c != '\t' && c != '\n' && c != '\r') AppendPercentByte(out, c);
  }
  out.append(text.substr(run));
  if (!high) return out;
  const auto isHigh = [&out](std::size_t i) {
    return static_cast<unsigned char>(out[i]) >= 0x80 || EscapedByte(out, i) >= 0x80;
  };
  std::size_t i = 0;
  while (i < out.size() && !isHigh(i)) ++i;
  if (i == out.size()) return out;
  std::string canonical;
  canonical.reserve(out.size());
  run = 0;
  while (i < out.size()) {
    if (!isHigh(i)) {
      ++i;
      continue;
    }
    canonical.append(out, run, i - run);
    run = i = AppendHighBytes(out, i, canonical);
  }
  canonical.append(out, run);
  return canonical;
}

// "." or ".." as a path piece (without its "/"), also when its dots are
// written %2e: 1 for ".", 2 for "..", else 0.
int DotSegment(std::string_view piece) {
  int dots = 0;
  while (!piece.empty()) {
    if (piece.front() == '.') {
      piece.remove_prefix(1);
    } else if (piece.size() >= 3 && piece[0] == '%' && piece[1] == '2' &&
               (piece[2] == 'e' || piece[2] == 'E')) {
      piece.remove_prefix(3);
    } else {
      return 0;
    }
    if (++dots > 2) return 0;
  }
  return dots;
}

// A scheme name outside the table ("https:", "javascript:"): letters, digits,
// "+", "-" and "." from a letter on, then a ":" followed by "//" or by
// anything but a port ("localhost:8080/" is a host and its port).
bool HasUnknownScheme(std::string_view text) {
  // ASCII only: the normal form must not depend on the locale.
  auto letter = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); };
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon == 0 || !letter(text[0])) return false;
  for (char c : text.substr(0, colon))
    if (!letter(c) && !(c >= '0' && c <= '9') && c != '+' && c != '-' && c != '.') return false;
  const std::string_view rest = text.substr(colon + 1);
  if (rest.starts_with("//") || rest.starts_with("\\\\")) return true;
  for (char c : rest) {
    if (c == '/' || c == '\\' || c == '?' || c == '#') break;
    if (c < '0' || c > '9') return true;
  }
  return false;
}

// "\" counts as "/" before the query (or, in a file URL, before the "#").
void SlashBackslashes(std::string& text, TIProtocol protocol) {
  for (char& c : text) {
    if (c == '#' || (c == '?' && protocol != ipFile)) break;
    if (c == '\\') c = '/';
  }
}

// A port of 1 to 65535 written in decimal digits only.
bool ParsePort(std::string_view text, std::int32_t& port) {
  if (text.empty() || text.size() > 5) return false;
  std::int32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || text.front() == '-' ||
      value < 1 || value > 65535)
    return false;
  port = value;
  return true;
}

// Decodes every %-escape of a file URL's path. False when one decodes to NUL
// or "/": PathToFileUrl writes neither, and a decoded "/" would add a
// directory (or a ".." piece) that the URL's own path did not have.
bool DecodeLocalPath(std::string_view text, std::string& out) {
  out.clear();
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexValue(text[i + 1]) >= 0 &&
        HexValue(text[i + 2]) >= 0) {
      const char c = static_cast<char>(HexValue(text[i + 1]) * 16 + HexValue(text[i + 2]));
      if (c == '\0' || c == '/') return false;
      out += c;
      i += 2;
    } else {
      out += text[i];
    }
  }
  return true;
}

// The program-wide host-alias state.
struct HostAliases {
  std::mutex lock;
  TDoubleList names;                 // host name -> numeric address
  std::vector<TDoubleList*> bound;   // open captures' lists, the current one last

  TDoubleList* Current() const { return bound.empty() ? nullptr : bound.back(); }
  void RefreshLocked() {
    TDoubleList* list = Current();
    if (!list) return;
    for (int i = 0; i < list->PairCount(); ++i) {
      const int known = names.IndexOfValue(list->GetKey(i));
      if (known >= 0) list->SetValue(i, names.GetKey(known));
    }
  }
};

HostAliases& Aliases() {
  static HostAliases aliases;
  return aliases;
}

// The recorder of this thread, when one lives on it.
thread_local THostAddressRecorder* tRecorder = nullptr;
// Parses on this thread leave numeric hosts as written.
thread_local int tLiteralHosts = 0;

}  // namespace

// ---------------------------------------------------------------------------
// Parsing

void TUrl::Parse(std::string_view url) {
  Clear();
  std::string text = PrepareText(url);
  if (!ParseScheme(text, ipHttp)) {
    if (HasUnknownScheme(text)) {
      // Not ours to fetch: no host, the whole text as the path, which
      // IsAbsoluteUrl refuses.
      Port = DefaultPort(Protocol);
      SlashBackslashes(text, Protocol);
      ParseRest(text, {});
      return;
    }
    GuessScheme(text);
  }
  ParseHost(text, {}, DefaultPort(Protocol), false);
  ParseRest(text, {});
}

void TUrl::ParseRest(std::string& text, std::string_view basePath) {
  const std::string fragment = ParseQuery(text);
  ParsePath(text, basePath);
  FileName = std::move(text) + fragment;
}

TUrl TUrl::CreateRelative(std::string_view ref, std::string_view base) {
  if (base.empty()) return TUrl(ref);
  return CreateRelative(ref, TUrl(base));
}

TUrl TUrl::CreateRelative(std::string_view ref, const TUrl& base) {
  TUrl url;
  url.ResolveAgainst(PrepareText(ref), base);
  return url;
}

void TUrl::ResolveAgainst(std::string ref, const TUrl& base) {
  const bool hasScheme = ParseScheme(ref, base.Protocol);
  // "http:g" against an http base is a relative reference, as RFC 3986 5.2.2
  // allows for compatibility with older pages.
  if (hasScheme &&
      (Protocol != base.Protocol || Protocol == ipMailto || ref.starts_with("//"))) {
    ParseHost(ref, {}, DefaultPort(Protocol), false);
    ParseRest(ref, {});
    return;
  }
  if (ref.empty() || ref.front() == '#') {
    // The page itself, without its own "#..." part (RFC 3986 5.2.2); a
    // "#..." reference is that page followed by it. The base's own "#..."
    // part is in its query when it has one, else in its file name.
    *this = base;
    UserInfo.clear();
    std::string& tail = Query.empty() ? FileName : Query;
    tail = std::string(WithoutFragment(tail)) + ref;
    return;
  }
  Protocol = base.Protocol;
  if (Protocol == ipMailto) {
    Host = base.Host;
    ParsePath(ref, {});
    return;
  }
  if (ParseHost(ref, base.Host, base.Port, true)) {
    // A network-path reference brings its own path: the base's is not used.
    ParseRest(ref, {});
    return;
  }
  if (ref.front() == '?' && Protocol != ipFile) {
    // Only a query: the base page with that query (RFC 3986), not the
    // base's directory. (A file URL has no query: "?" is part of a name.)
    Path = base.Path;
    Segments = base.Segments;
    FileName = std::string(WithoutFragment(base.FileName));
    Query = std::move(ref);
    return;
  }
  ParseRest(ref, base.Path);
}

bool TUrl::ParseScheme(std::string& text, TIProtocol fallback) {
  Protocol = fallback;
  for (std::size_t p = 0; p < kProtocols.size(); ++p) {
    if (StartsWithNoCase(text, kProtocols[p].Text)) {
      text.erase(0, kProtocols[p].Text.size());
      Protocol = static_cast<TIProtocol>(p);
      return true;
    }
  }
  return false;
}

void TUrl::GuessScheme(std::string_view text) {
  if (text.starts_with('/') && !text.starts_with("//"))
    Protocol = ipFile;  // an absolute local path
  else if (text.find("www.") != std::string_view::npos)
    Protocol = ipHttp;
  else if (text.find("news.") != std::string_view::npos)
    Protocol = ipNews;
  else if (text.find("ftp.") != std::string_view::npos)
    Protocol = ipFtp;
  else
    Protocol = ipHttp;
}

bool TUrl::ParseHost(std::string& text, std::string_view baseHost, std::int32_t basePort,
                     bool relative) {
  Host = baseHost;
  Port = basePort;
  if (Protocol == ipMailto) {
    // The whole text is the address.
    Host = std::move(text);
    text.clear();
    LowerAscii(Host);
    return true;
  }
  SlashBackslashes(text, Protocol);

  const bool slashes = text.starts_with("//");
  if (relative && !slashes) return false;
  if (Protocol == ipFile && !slashes) return false;  // "file:/path": no authority
  if (slashes) text.erase(0, 2);

  const std::size_t cut = Protocol == ipFile ? FindFirst(text, '/', '#') : FindFirst(text, '/', '?', '#');
  std::string authority = text.substr(0, cut);
  text.erase(0, cut == std::string::npos ? text.size() : cut);
  Port = DefaultPort(Protocol);
  UserInfo.clear();
  if (Protocol == ipFile) {
    if (SameTextAscii(authority, "localhost")) authority.clear();
  } else {
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
      UserInfo = authority.substr(0, at);
      authority.erase(0, at + 1);
    }
    const std::size_t colon = authority.find(':');
    if (colon != std::string::npos) {
      ParsePort(std::string_view(authority).substr(colon + 1), Port);
      authority.erase(colon);
    }
  }
  Host = std::move(authority);
  LowerAscii(Host);
  ApplyHostAlias();
  return true;
}

void TUrl::ApplyHostAlias() {
  if (!Host.empty() && !tLiteralHosts && IsNumericAddress(Host)) Host = LookupHostAlias(Host);
}

std::string TUrl::ParseQuery(std::string& text) {
  Query.clear();
  const std::size_t at = Protocol == ipFile ? FindFirst(text, '#') : FindFirst(text, '?', '#');
  if (at == std::string::npos) return {};
  std::string tail = text.substr(at);
  text.erase(at);
  if (tail.front() == '#') return tail;
  Query = std::move(tail);
  return {};
}

void TUrl::ParsePath(std::string& text, std::string_view basePath) {
  if (!text.starts_with('/')) text.insert(0, basePath);
  if (!text.starts_with('/')) text.insert(0, "/");
  const std::size_t last = text.rfind('/');
  std::string dir = text.substr(0, last + 1);
  text.erase(0, last + 1);
  if (DotSegment(text)) {
    // "." and ".." name directories even without their final "/".
    dir += text + "/";
    text.clear();
  }
  Segments.assign(1, "/");
  std::size_t start = 1;
  while (start < dir.size()) {
    const std::size_t slash = dir.find('/', start);
    const std::string_view piece = std::string_view(dir).substr(start, slash - start);
    start = slash + 1;
    if (piece.empty()) continue;  // "//" collapses to "/"
    switch (DotSegment(piece)) {
      case 1:
        break;
      case 2:
        if (Segments.size() > 1) Segments.pop_back();  // never above the root
        break;
      default:
        Segments.emplace_back(piece).push_back('/');
    }
  }
  Path = JoinPathSegments(Segments);
}

// ---------------------------------------------------------------------------
// Rebuilding

namespace {

// "scheme://host[:port]" after `out`, whose room the caller reserved with
// `tail` more bytes for what follows: a URL text is made in one allocation.
void AppendAuthority(const TUrl& u, std::string& out, std::size_t tail) {
  const std::string_view scheme = ProtocolText(u.Protocol);
  const bool port = u.Protocol != ipFile && u.Port != DefaultPort(u.Protocol);
  char digits[16];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, u.Port);
  const std::size_t portSize = port && ec == std::errc() ? std::size_t(end - digits) + 1 : 0;
  out.reserve(out.size() + scheme.size() + 2 + u.Host.size() + portSize + tail);
  out += scheme;
  out += "//";
  out += u.Host;
  if (portSize) {
    out += ':';
    out.append(digits, end);
  }
}

}  // namespace

std::string TUrl::SchemeAndAuthority() const {
  std::string out;
  AppendAuthority(*this, out, 0);
  return out;
}

std::string TUrl::GetDirectoryUrl() const {
  if (Protocol == ipMailto) return "mailto:" + Host;
  std::string out;
  AppendAuthority(*this, out, Path.size());
  out += Path;
  return out;
}

std::string TUrl::GetFullUrl() const {
  if (Protocol == ipMailto) return "mailto:" + Host;
  std::string out;
  AppendAuthority(*this, out, Path.size() + FileName.size() + Query.size());
  out += Path;
  out += FileName;
  out += Query;
  return out;
}

std::string TUrl::GetUrlToLevel(int level) const {
  if (Protocol == ipMailto) return "mailto:" + Host;
  std::string out = SchemeAndAuthority() + "/";
  const int last = static_cast<int>(Segments.size()) - 1;
  for (int i = 1; i <= std::min(level, last); ++i) out += Segments[i];
  return out;
}

std::string TUrl::GetPath() const { return JoinPathSegments(Segments); }

std::string TUrl::GetLocalDirectory() const {
  if (Protocol != ipFile) return GetPath();
  std::string path;
  return DecodeLocalPath(GetPath(), path) ? path : std::string();
}

std::string TUrl::GetDisplayHost() const {
  std::string host = Host;
  for (char& c : host) c = UpperChar(c);
  return host;
}

std::string TUrl::GetServerPath() const {
  if (Protocol == ipFile) return GetDomain() + Path + FileName;
  return Path + FileName + Query;
}

std::string TUrl::GetExtension() const {
  const std::string_view name = WithoutFragment(FileName);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string() : std::string(name.substr(dot + 1));
}

std::string TUrl::GetDomain() const {
  if (IsNumericHost()) return Host;
  const std::size_t dot = Host.find('.');
  if (dot != std::string::npos && Host.find('.', dot + 1) != std::string::npos)
    return Host.substr(dot + 1);
  return Host;
}

std::string TUrl::GetMachineName() const { return Host.substr(0, Host.find('.')); }

bool TUrl::IsNumericHost() const { return IsNumericAddress(Host); }

// ---------------------------------------------------------------------------
// One-shot routines

TIProtocol GetUrlProtocol(std::string_view url) { return TUrl(url).Protocol; }
std::int32_t GetUrlPort(std::string_view url) { return TUrl(url).Port; }
std::string GetUrlHost(std::string_view url) { return TUrl(url).Host; }
std::string GetUrlPath(std::string_view url) { return TUrl(url).Path; }
std::string GetUrlDirectoryUrl(std::string_view url) { return TUrl(url).GetDirectoryUrl(); }
std::string GetUrlDocument(std::string_view url) { return TUrl(url).GetDocument(); }
std::string GetUrlExtension(std::string_view url) { return TUrl(url).GetExtension(); }

std::string_view WithoutFragment(std::string_view url) { return url.substr(0, url.find('#')); }

bool TUrl::CutFragment() {
  std::string& tail = Query.empty() ? FileName : Query;
  const std::size_t hash = tail.find('#');
  if (hash == std::string::npos) return false;
  tail.erase(hash);
  return true;
}

std::string ResolveUrl(std::string_view ref, std::string_view base) {
  return TUrl::CreateRelative(ref, base).GetFullUrl();
}

std::string TUrlResolver::Resolve(std::string_view ref, std::string_view base) {
  if (base.empty()) {
    last_.Parse(ref);
    return last_.GetFullUrl();
  }
  // The text is never empty once a base was parsed.
  if (base != text_) {
    text_ = base;
    base_.Parse(base);
  }
  last_ = TUrl::CreateRelative(ref, base_);
  return last_.GetFullUrl();
}

std::string TUrlResolver::ResolveTarget(std::string_view ref, std::string_view base) {
  std::string url = Resolve(ref, base);
  if (last_.CutFragment()) url.erase(url.find('#'));
  return url;
}

bool IsAbsoluteUrl(std::string_view url) { return IsAbsoluteUrl(TUrl(url)); }

bool IsAbsoluteUrl(const TUrl& u) {
  // A local file URL has no host but always an absolute path.
  if (u.Host.empty() && u.Protocol != ipFile) return false;
  return u.Path.find(':') == std::string::npos && u.FileName.find(':') == std::string::npos;
}

int CompareSites(std::string_view url1, std::string_view url2) { return CompareSites(TUrl(url1), TUrl(url2)); }

int CompareSites(const TUrl& a, const TUrl& b) {
  // The local files are a site of their own, which no network address is part of.
  if (a.Protocol == ipFile || b.Protocol == ipFile) return a.Protocol == b.Protocol ? scSameSite : scOtherSite;
  if (a.IsNumericHost() && b.IsNumericHost())
    return SameTextAscii(a.Host, b.Host) ? scSameSite : scOtherSite;
  if (!SameTextAscii(a.GetDomain(), b.GetDomain())) return scOtherSite;
  if (a.GetMachineName() != b.GetMachineName()) return scSameDomainOtherMachine;
  return scSameSite;
}

std::vector<std::string> GetUrlComponents(std::string_view url) {
  const TUrl u(url);
  std::vector<std::string> list{std::string(ProtocolText(u.Protocol))};
  if (u.Protocol == ipMailto) {
    list.push_back(u.Host);
    return list;
  }
  list.push_back(u.SchemeAndAuthority().substr(ProtocolText(u.Protocol).size()));
  list.insert(list.end(), u.Segments.begin(), u.Segments.end());
  // A directory URL ends at its last segment: an empty last component would
  // be a key below the directory that no page of it ever reaches.
  if (!u.GetDocument().empty()) list.push_back(u.GetDocument());
  return list;
}

std::string ShortWebName(std::string_view url) {
  const TUrl u(url);
  for (std::size_t i = u.Segments.size(); i-- > 0;)
    if (u.Segments[i].size() > 1) return u.Segments[i].substr(0, u.Segments[i].size() - 1);
  std::string domain = u.GetDomain();
  // An address has no name in it to take: cut down it would read "1".
  if (IsNumericAddress(domain)) return domain;
  for (char& c : domain) c = UpperChar(c);
  const std::size_t last = domain.rfind('.');
  if (last != std::string::npos) domain.erase(last);
  const std::size_t previous = domain.rfind('.');
  return previous == std::string::npos ? domain : domain.substr(previous + 1);
}

// ---------------------------------------------------------------------------
// Escapes, local paths

std::string EscapeUnsafe(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    if (IsUnsafe(c))
      AppendPercentByte(out, static_cast<unsigned char>(c));
    else
      out += c;
  }
  return out;
}

std::string UnescapeUrl(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) break;  // fewer than two characters after it
    const int high = HexValue(text[i + 1]), low = HexValue(text[i + 2]);
    const int code = high * 16 + low;
    if (high < 0 || low < 0 || code == '/' || code == '\\' || code == 0)
      out.append(text.substr(i, 3));
    else
      out += static_cast<char>(code);
    i += 2;
  }
  return out;
}

bool IsDrivePath(std::string_view text) { return text.starts_with('/'); }

std::string PathToFileUrl(std::string_view path) {
  if (!IsDrivePath(path)) return std::string(path);
  std::string out = "file://";
  for (char ch : path) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c == 0x7F || std::string_view("%#?\\").find(ch) != std::string_view::npos ||
        IsUnsafe(ch))
      AppendPercentByte(out, c);
    else
      out += ch;
  }
  return out;
}

std::string FileUrlToPath(std::string_view url) {
  if (!StartsWithNoCase(url, "file:")) return std::string(url);
  const TUrl u(url);
  // A "?" that a path gave is escaped: one written as it is begins a query
  // ("style.css?v2"), which names no file, as in a browser.
  std::string local = u.Path + std::string(WithoutFragment(u.FileName));
  if (const std::size_t query = local.find('?'); query != std::string::npos) local.erase(query);
  std::string path;
  if (!u.Host.empty() || !DecodeLocalPath(local, path)) return {};
  return path;
}

std::string RelativePath(std::string_view from, std::string_view to, bool /*useSlash*/) {
  // Past the directories both paths share (equal pieces before a "/", at
  // the same place in both), each further directory of `from` is one "../"
  // and the rest of `to` follows as it is.
  std::size_t common = 0;
  for (;;) {
    const std::size_t slash = from.find('/', common);
    if (slash == std::string_view::npos || slash >= to.size() || to[slash] != '/' ||
        from.substr(common, slash - common) != to.substr(common, slash - common))
      break;
    common = slash + 1;
  }
  const auto ups = std::size_t(std::count(from.begin() + std::ptrdiff_t(common), from.end(), '/'));
  std::string out;
  out.reserve(ups * 3 + to.size() - common);
  for (std::size_t i = 0; i < ups; ++i) out += "../";
  out += to.substr(common);
  return out;
}

void SplitPathSegments(std::string_view path, std::vector<std::string>& list) {
  list.clear();
  while (!path.empty()) {
    const std::size_t slash = path.find('/');
    if (slash == std::string_view::npos) {
      list.emplace_back(path).push_back('/');
      break;
    }
    list.emplace_back(path.substr(0, slash + 1));
    path.remove_prefix(slash + 1);
  }
}

std::vector<std::string> SplitPathSegments(std::string_view path) {
  std::vector<std::string> list;
  SplitPathSegments(path, list);
  return list;
}

std::string JoinPathSegments(const std::vector<std::string>& list) {
  std::string out;
  for (const std::string& s : list) out += s;
  return out;
}

void ReplaceAll(std::string& text, std::string_view find, std::string_view replacement) {
  if (find.empty()) return;
  std::string out;
  std::size_t start = 0;
  for (std::size_t at; (at = text.find(find, start)) != std::string::npos; start = at + find.size()) {
    out.append(text, start, at - start);
    out += replacement;
  }
  if (start == 0) return;
  out.append(text, start);
  text = std::move(out);
}

bool IsNumericAddress(std::string_view text) {
  int dots = 0;
  for (char c : text) {
    if (c == '.')
      ++dots;
    else if (c < '0' || c > '9')
      return false;
  }
  return dots == 3;
}

// ---------------------------------------------------------------------------
// Host aliases

void AddHostAlias(std::string_view name, std::string_view address) {
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  if (a.names.IndexOfKey(name) < 0) a.names.AddPair(name, address);
  a.RefreshLocked();
}

void SetHostAddressList(TDoubleList* list) {
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  if (!list) {
    a.bound.clear();
    return;
  }
  std::erase(a.bound, list);
  a.bound.push_back(list);
}

void ReleaseHostAddressList(TDoubleList* list) {
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  std::erase(a.bound, list);
}

TDoubleList CopyHostAddressList(const TDoubleList& list) {
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  return list;
}

std::string LookupHostAlias(std::string_view address) {
  if (tRecorder) return tRecorder->Lookup(address);
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  TDoubleList* list = a.Current();
  if (!list) return std::string(address);
  int i = list->IndexOfKey(address);
  if (i < 0) {
    list->AddPair(address, "");
    i = list->PairCount() - 1;
  }
  if (list->GetValue(i).empty()) a.RefreshLocked();
  std::string name = list->GetValue(i);
  return name.empty() ? std::string(address) : name;
}

std::string HostAddressOf(std::string_view name) {
  if (name.empty() || IsNumericAddress(name)) return {};
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  const TDoubleList* list = a.Current();
  const int i = list ? list->IndexOfValue(name) : -1;
  return i >= 0 ? list->GetKey(i) : std::string();
}

void RefreshHostAddressList() {
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  a.RefreshLocked();
}

void ClearHostAliases() {
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  a.names.Clear();
  a.bound.clear();
}

TLiteralHosts::TLiteralHosts() { ++tLiteralHosts; }

TLiteralHosts::~TLiteralHosts() { --tLiteralHosts; }

THostAliasSnapshot TakeHostAliasSnapshot() {
  HostAliases& a = Aliases();
  std::lock_guard guard(a.lock);
  THostAliasSnapshot snapshot;
  const TDoubleList* list = a.Current();
  snapshot.HasList = list != nullptr;
  if (list)
    for (int i = 0; i < list->PairCount(); ++i) snapshot.Bound.try_emplace(list->GetKey(i), list->GetValue(i));
  for (int i = 0; i < a.names.PairCount(); ++i) snapshot.Named.try_emplace(a.names.GetValue(i), a.names.GetKey(i));
  return snapshot;
}

THostAddressRecorder::THostAddressRecorder(const THostAliasSnapshot& snapshot)
    : snapshot_(snapshot), outer_(tRecorder) {
  tRecorder = this;
}

THostAddressRecorder::~THostAddressRecorder() { tRecorder = outer_; }

// LookupHostAlias on the snapshot: a pair without a name takes the one the
// program-wide list gives, as refreshing it would.
std::string THostAddressRecorder::Lookup(std::string_view address) {
  const std::string key(address);
  if (!snapshot_.HasList) return key;
  std::string name;
  if (const auto it = snapshot_.Bound.find(key); it != snapshot_.Bound.end())
    name = it->second;
  else if (std::find(addresses_.begin(), addresses_.end(), key) == addresses_.end())
    addresses_.push_back(key);
  if (name.empty())
    if (const auto it = snapshot_.Named.find(key); it != snapshot_.Named.end()) name = it->second;
  return name.empty() ? key : name;
}

std::vector<std::string> THostAddressRecorder::Take() { return std::exchange(addresses_, {}); }

void NoteHostAddresses(const std::vector<std::string>& addresses) {
  for (const std::string& address : addresses) LookupHostAlias(address);
}

}  // namespace qlon
