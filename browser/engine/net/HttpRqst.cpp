#include "HttpRqst.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>

#include "Cookies.h"
#include "HttpRqstPrivate.h"
#include "Mime.h"
#include "Scx.h"
#include "Setup.h"
#include "Utils.h"

namespace qlon {

// ---------------------------------------------------------------------------
// Reply header

namespace {

std::string_view TrimView(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperChar(c);
  return out;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && SameTextAscii(text.substr(0, prefix.size()), prefix);
}

// A non-negative decimal number filling the text; false otherwise.
bool ReadDecimal(std::string_view text, std::int64_t& value) {
  if (text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

constexpr std::string_view kHtmlMark = "<HTML>";

}  // namespace

void THttpHeader::Clear() {
  Length = 0;
  Status = 0;
  Server.clear();
  Date = 0;
  ContentType.clear();
  ContentLength = 0;
  LastModified = 0;
  Parsed = false;
  LineFeeds_ = 0;
  Held_.clear();
  Complete_ = false;
}

void THttpHeader::AppendToBuffer(std::string_view bytes) {
  const std::size_t room = static_cast<std::size_t>(kBufferSize - Length);
  const std::size_t n = std::min(room, bytes.size());
  std::copy_n(bytes.data(), n, Buffer.data() + Length);
  Length += static_cast<std::int32_t>(n);
}

bool THttpHeader::Append(std::string_view block, std::string& body) {
  body.clear();
  if (Complete_) {
    body.assign(block);
    return false;
  }
  // The end may be split across blocks: the line-feed count carries over,
  // and a "<" too near the end of a block waits for the next one.
  std::string joined;
  std::string_view data = block;
  if (!Held_.empty()) {
    joined = Held_ + std::string(block);
    Held_.clear();
    data = joined;
  }
  for (std::size_t i = 0; i < data.size(); ++i) {
    const char c = data[i];
    if (c == '\n') {
      if (++LineFeeds_ == 2) {
        AppendToBuffer(data.substr(0, i + 1));
        body.assign(data.substr(i + 1));
        Complete_ = true;
        Parse();
        return true;
      }
    } else if (c == '<') {
      if (data.size() - i < kHtmlMark.size()) {
        AppendToBuffer(data.substr(0, i));
        Held_.assign(data.substr(i));
        return false;
      }
      if (SameTextAscii(data.substr(i, kHtmlMark.size()), kHtmlMark)) {
        AppendToBuffer(data.substr(0, i));
        body.assign(data.substr(i));
        Complete_ = true;
        Parse();
        return true;
      }
    } else if (c != '\r') {
      LineFeeds_ = 0;
    }
  }
  AppendToBuffer(data);
  return false;
}

void THttpHeader::Finish() {
  AppendToBuffer(Held_);
  Held_.clear();
  Parse();
}

bool THttpHeader::Parse() {
  Parsed = false;
  std::string_view text = Text();
  std::size_t eol = text.find('\n');
  const std::string_view first = TrimView(text.substr(0, eol));
  // "HTTP/1.0 200 OK": anything else is not a reply header.
  const std::size_t blank = first.find(' ');
  if (!StartsWithNoCase(first, "HTTP/") || blank == std::string_view::npos) return false;
  std::string_view code = TrimView(first.substr(blank + 1));
  code = code.substr(0, code.find(' '));
  std::int64_t status = 0;
  if (code.size() != 3 || !ReadDecimal(code, status) || status < 100) return false;
  Status = static_cast<std::int32_t>(status);
  Parsed = true;
  while (eol != std::string_view::npos) {
    const std::size_t start = eol + 1;
    eol = text.find('\n', start);
    const std::string_view line = TrimView(text.substr(start, eol == std::string_view::npos ? eol : eol - start));
    const std::size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) continue;
    ParseField(TrimView(line.substr(0, colon)), TrimView(line.substr(colon + 1)));
  }
  return Parsed;
}

void THttpHeader::ParseField(std::string_view name, std::string_view value) {
  const std::string key = Upper(name);
  if (key == "DATE") {
    Date = ParseHttpDate(value);
  } else if (key == "SERVER") {
    Server = value;
  } else if (key == "CONTENT-TYPE") {
    ContentType = value.size() < 2 ? value : TrimView(value.substr(0, value.find(';')));
  } else if (key == "LAST-MODIFIED") {
    LastModified = ParseHttpDate(value);
  } else if (key == "CONTENT-LENGTH") {
    std::int64_t n = 0;
    ContentLength = ReadDecimal(value, n) ? n : 0;
  } else if (key == "LOCATION") {
    Location = value;
  } else if (key == "SET-COOKIE") {
    SetCookie = value;
    if (Cookies) Cookies->ParseSetCookie(Url, value);
  } else if (key == "WWW-AUTHENTICATE") {
    const std::size_t eq = value.find('=');
    if (eq == std::string_view::npos) return;
    std::string_view realm = value.substr(eq + 1);
    if (const std::size_t q = realm.find('"'); q != std::string_view::npos) realm.remove_prefix(q + 1);
    Realm = realm.substr(0, realm.find('"'));
  } else if (key == "PROXY-AUTHENTICATE") {
    ProxyRealm = value;
  }
}

// ---------------------------------------------------------------------------
// Request texts

std::string EncodeFormFields(const std::vector<std::string>& fields) {
  const auto encode = [](std::string_view text, std::string& out) {
    for (const char ch : text) {
      const auto c = static_cast<unsigned char>(ch);
      if (std::isalnum(c) || c == '*' || c == '-' || c == '.' || c == '_') {
        out += ch;
      } else if (c == ' ') {
        out += '+';
      } else {
        AppendPercentByte(out, c);
      }
    }
  };
  std::string out;
  for (const std::string& field : fields) {
    if (!out.empty()) out += '&';
    const std::size_t eq = field.find('=');
    encode(std::string_view(field).substr(0, eq), out);
    out += '=';
    if (eq != std::string::npos) encode(std::string_view(field).substr(eq + 1), out);
  }
  return out;
}

namespace detail {

std::string EscapeRequestTarget(std::string_view target) {
  std::string out;
  out.reserve(target.size());
  for (const char ch : target) {
    const auto c = static_cast<unsigned char>(ch);
    if (c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>') {
      AppendPercentByte(out, c);
    } else {
      out += ch;
    }
  }
  return out;
}

bool IsSafeHostText(std::string_view host) {
  return !host.empty() && std::none_of(host.begin(), host.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c <= 0x20 || c == 0x7F || c == '/' || c == '@';
  });
}

std::string TypeOfExtension(const TMimeList* mime, const std::string& extension) {
  const TMimeItem* item = mime && !extension.empty() ? mime->FindExtension(extension) : nullptr;
  return item ? item->ContentType : std::string();
}

std::string TypeOfBytes(std::string_view head) {
  std::string_view text = head;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  // Blanks, comments and an XML declaration may come before a page's first tag.
  for (bool skipped = true; skipped;) {
    const std::size_t start = text.find_first_not_of(" \t\n\f\r");
    text.remove_prefix(start == std::string_view::npos ? text.size() : start);
    skipped = false;
    for (const auto& [open, close] : {std::pair{"<!--", "-->"}, std::pair{"<?xml", "?>"}}) {
      if (!text.starts_with(open)) continue;
      const std::size_t end = text.find(close);
      text.remove_prefix(end == std::string_view::npos ? text.size() : end + std::string_view(close).size());
      skipped = true;
    }
  }
  // Only the tags that make a whole page, each followed by a blank or ">":
  // a text that merely begins with markup (a README opening on "<p>") is
  // no page.
  static constexpr std::string_view kPageStarts[] = {"<!DOCTYPE HTML", "<HTML", "<HEAD", "<BODY", "<TITLE",
                                                      "<FRAMESET"};
  for (const std::string_view start : kPageStarts) {
    if (text.size() <= start.size() || !SameTextAscii(text.substr(0, start.size()), start)) continue;
    const char next = text[start.size()];
    if (std::string_view(" \t\n\r>").find(next) != std::string_view::npos) return "text/html";
  }
  // The images a capture measures, by their signatures.
  static constexpr std::pair<std::string_view, std::string_view> kImages[] = {
      {"\x89PNG\r\n\x1A\n", "image/png"}, {"GIF87a", "image/gif"}, {"GIF89a", "image/gif"},
      {"\xFF\xD8\xFF", "image/jpeg"}};
  for (const auto& [signature, type] : kImages)
    if (head.starts_with(signature)) return std::string(type);
  // Text holds no control byte but blanks, line ends, form feeds and escapes.
  const bool binary = std::any_of(head.begin(), head.end(), [](char ch) {
    const auto c = static_cast<unsigned char>(ch);
    return c <= 0x08 || c == 0x0B || (c >= 0x0E && c <= 0x1A) || (c >= 0x1C && c <= 0x1F);
  });
  return binary ? "application/octet-stream" : "text/plain";
}

}  // namespace detail

// ---------------------------------------------------------------------------
// Request

namespace {

constexpr std::string_view kDefaultAccept = "*/*";
constexpr int kDefaultTimeout = 30;
// Local files are read in blocks of this size, a few per pass of the event
// loop, so that a large file goes at disk speed and the loop stays responsive.
constexpr qint64 kLocalBlock = 64 * 1024;
constexpr int kLocalBlocksPerTick = 16;

}  // namespace

THttpRequest::THttpRequest(int id, TMimeList* mimeList, TSetup* setup)
    : MimeList(mimeList), Setup(setup), Cookies(&CookiesBase()), id(id) {
  Socket_ = std::make_unique<TSCX>();
  Socket_->OnNoHost = [this](TSCX*) { SocketNoHost(); };
  Socket_->OnOkHost = [this](TSCX*) { SocketOkHost(); };
  Socket_->OnFail = [this](TSCX*) { SocketFail(); };
  Socket_->OnConnect = [this](TSCX*, const std::string& distantIp) { SocketConnect(distantIp); };
  Socket_->OnCut = [this](TSCX*) { SocketCut(); };
  Socket_->OnData = [this](TSCX*, const char* buf, int len) { SocketData(buf, len); };
  LocalTimer_.setInterval(0);
  QObject::connect(&LocalTimer_, &QTimer::timeout, [this] { LocalTick(); });
  Watchdog_.setSingleShot(true);
  QObject::connect(&Watchdog_, &QTimer::timeout, [this] { Timeout(); });
  ProgressGuard_.setSingleShot(true);
  QObject::connect(&ProgressGuard_, &QTimer::timeout, [this] { GuardCheck(); });
  Clear();
  Reset();
}

THttpRequest::~THttpRequest() {
  ++Generation_;
  Discard();
}

void THttpRequest::Reset() {
  IfModifiedSince = 0;
  Accept.assign(1, std::string(kDefaultAccept));
  ClearFields();
}

void THttpRequest::Clear() {
  ++Generation_;
  Discard();
  State = sIdle;
  RecState = rsNoRec;
  Error = heNone;
  previous = sIdle;
  percent = 0;
  ContentSoFar = 0;
  ContentWriteFailed = false;
  FailureReply.clear();
  Header.Clear();
  Content.reset();
}

void THttpRequest::SetState(THTTP_STATE state, TReceiveState receive) {
  if (state == State) return;
  previous = State;
  State = state;
  RecState = receive;
  if (OnStateChange) OnStateChange(*this);
}

void THttpRequest::SetError(THTTP_ERROR error, int status) {
  Error = error;
  if (OnError) OnError(*this, error, status);
}

void THttpRequest::Discard() {
  StopGuards();
  LocalTimer_.stop();
  LocalStream_.reset();
  StopFtp();
  if (Socket_) Socket_->Close();
  Lingering_ = false;
  TypePending_ = false;
  TypeBytes_.clear();
  // A body that did not arrive whole is never left behind.
  if (Content && ContentIsFile_) static_cast<QFile*>(Content.get())->remove();
  Content.reset();
  ContentIsFile_ = false;
}

void THttpRequest::Fail(THTTP_ERROR error, int status) {
  const std::uint64_t generation = ++Generation_;
  Discard();
  Header.ContentLength = 0;
  SetError(error, status);
  if (generation != Generation_) return;  // the handler started something new
  SetState(sIdle, rsNoRec);
}

void THttpRequest::Abort() {
  if (State == sIdle) return;
  ++Generation_;
  if (Ftp_ && Ftp_->Active && OnReceiveContent) OnReceiveContent(*this, nullptr, 0, 0);
  if (Content) Header.ContentLength = 0;
  Discard();
  SetState(sIdle, rsNoRec);
}

bool THttpRequest::Start() {
  // Credentials answer the 401 of this URL only: a new URL starts without them.
  AuthSent = false;
  ProxyAuthSent = false;
  return StartRequest();
}

bool THttpRequest::StartRequest() {
  Clear();
  ViaProxy = false;
  Header.Url = Url.GetFullUrl();
  Header.Cookies = Cookies;
  Protocol = Url.Protocol;
  bool started = false;
  const TSetup* s = Setup;
  switch (Url.Protocol) {
    case ipHttp:
      if (!detail::IsSafeHostText(Url.Host)) break;
      if (s && s->HTTPUseProxy && !s->HTTPProxyAdress.empty()) {
        ViaProxy = true;
        started = StartHttp(s->HTTPProxyAdress, s->HTTPProxyPort);
      } else {
        started = StartHttp(Url.Host, Url.Port);
      }
      break;
    case ipFtp: {
      if (!detail::IsSafeHostText(Url.Host)) break;
      std::string proxy;
      int proxyPort = 0;
      if (s && s->UseSameProxy && s->HTTPUseProxy) {
        proxy = s->HTTPProxyAdress, proxyPort = s->HTTPProxyPort;
      } else if (s && s->FTPUseProxy && !s->UseSameProxy) {
        proxy = s->FTPProxyAdress, proxyPort = s->FTPProxyPort;
      }
      if (!proxy.empty()) {
        Protocol = ipHttp;
        ViaProxy = true;
        started = StartHttp(proxy, proxyPort);
      } else {
        started = StartFtp();
      }
      break;
    }
    case ipFile:
      return StartLocal();
    default:
      break;
  }
  if (started) SetState(sLookup, rsNoRec);
  return started;
}

bool THttpRequest::StartHttp(const std::string& host, int port) {
  Host = host;
  const int timeout = Setup ? std::max(1, Setup->Timeout) : kDefaultTimeout;
  return Socket_->Connect(host, std::to_string(port), timeout) != 0;
}

void THttpRequest::Restart() {
  Discard();
  // Only an HTTP request restarts, and its start fires nothing when it fails.
  if (!StartRequest()) Fail(heFail);
}

std::string THttpRequest::CredentialsKey(bool proxy) const {
  // Credentials belong to one server and realm, never to a realm name alone.
  if (proxy && Setup) {
    return "proxy " + Setup->HTTPProxyAdress + ":" + std::to_string(Setup->HTTPProxyPort) + " " + Header.ProxyRealm;
  }
  return Url.SchemeAndAuthority() + " " + Header.Realm;
}

std::string THttpRequest::Credentials(bool proxy) {
  if (Setup) return Setup->GetCredentials(CredentialsKey(proxy));
  return proxy ? std::string() : Base64Encode(Username + ":" + Password);
}

std::string THttpRequest::RequestText() {
  const std::string version = " HTTP/1.0";
  // A "#..." part is the client's own: it never goes on the wire.
  std::string document = ViaProxy ? Url.GetFullUrl() : Url.Path + Url.FileName + Url.Query;
  document = detail::EscapeRequestTarget(WithoutFragment(document));
  std::string host = Url.Host;
  if (Url.Port != 0 && Url.Port != DefaultPort(Url.Protocol) ) host += ":" + std::to_string(Url.Port);
  const std::string fields = EncodeFormFields(Fields);

  std::string out;
  const auto line = [&out](std::string_view text) {
    out += text;
    out += "\r\n";
  };
  switch (Method) {
    case mGET:
      if (Fields.empty())
        line("GET " + document + version);
      else
        line("GET " + document + (Url.Query.empty() ? "?" : "&") + fields + version);
      break;
    case mPOST: line("POST " + document + version); break;
    case mHEAD: line("HEAD " + document + version); break;
  }
  for (const std::string& accept : Accept) line("Accept: " + accept);
  if (!Referer.empty()) line("Referer: " + detail::EscapeRequestTarget(WithoutFragment(Referer)));
  if (IfModifiedSince != 0 && Method == mGET) line("If-Modified-Since: " + FormatHttpDate(IfModifiedSince));
  if (bUpdate && ViaProxy) line("Pragma: no-cache");
  if (Setup && !Setup->AgentText().empty()) line("User-Agent: " + Setup->AgentText());
  line("Host: " + host);
  if (AuthSent) line("Authorization: Basic " + Credentials(false));
  if (ProxyAuthSent && !Header.ProxyRealm.empty()) line("Proxy-Authorization: Basic " + Credentials(true));
  if (Cookies) {
    const std::string cookie = Cookies->GetCookieHeader(Url.GetFullUrl());
    if (!cookie.empty()) line("Cookie: " + cookie);
  }
  if (Method == mPOST && !fields.empty()) {
    line("Content-type: application/x-www-form-urlencoded");
    line("Content-Length: " + std::to_string(fields.size()));
    line("");
    out += fields;
  } else {
    line("");
  }
  // A text from a header or a setting never splits the request.
  return out;
}

void THttpRequest::SendLine(std::string_view text, bool crlf) {
  Socket_->SendText(text);
  if (crlf) Socket_->SendText("\r\n");
}

// ---------------------------------------------------------------------------
// Control socket events

int THttpRequest::TimeoutMs() const { return (Setup ? std::max(1, Setup->Timeout) : kDefaultTimeout) * 1000; }

void THttpRequest::Watch() { Watchdog_.start(TimeoutMs()); }

void THttpRequest::Timeout() {
  if (State != sIdle) Fail(heTimeout, FtpDataStatus());
}

void THttpRequest::GuardHeader() {
  GuardingBody_ = false;
  ProgressGuard_.start(Protocol == ipFtp ? 2 * TimeoutMs() : TimeoutMs());
}

void THttpRequest::GuardBody() {
  GuardingBody_ = true;
  PeriodBytes_ = 0;
  ProgressGuard_.start(TimeoutMs());
}

void THttpRequest::GuardCheck() {
  if (State == sIdle) return;
  const std::int64_t least = kMinBodyRate * TimeoutMs() / 1000;
  if (!GuardingBody_ || PeriodBytes_ < least) {
    Fail(heTimeout, FtpDataStatus());
    return;
  }
  GuardBody();
}

void THttpRequest::StopGuards() {
  Watchdog_.stop();
  ProgressGuard_.stop();
}

bool THttpRequest::Lingering() {
  if (!Lingering_) return false;
  // Only the server's goodbye can come now.
  Lingering_ = false;
  Socket_->Close();
  return true;
}

void THttpRequest::SocketNoHost() {
  Fail(ViaProxy ? heProxy : heNoHost);
}

void THttpRequest::SocketOkHost() { SetState(sConnexion, rsNoRec); }

void THttpRequest::SocketFail() {
  if (Lingering()) return;
  if (Ftp_) Ftp_->Failed = true;
  Fail(heFail);
}

void THttpRequest::SocketConnect(const std::string& distantIp) {
  ip = distantIp;
  // Through a proxy the address is the proxy's, not the host's.
  if (!ViaProxy && !Url.IsNumericHost()) AddHostAlias(Url.Host, distantIp);
  Watch();
  GuardHeader();
  if (Protocol == ipFtp) {
    FtpConnected();
    return;
  }
  const std::uint64_t generation = Generation_;
  SetState(sRequest, rsHeader);
  if (generation != Generation_) return;
  RecState = rsHeader;
  SendLine(RequestText(), false);
}

void THttpRequest::SocketData(const char* buf, int len) {
  if (Lingering_) return;
  Watch();
  if (Protocol == ipFtp && Ftp_ && Ftp_->Active) {
    FtpControlData(buf, len);
    return;
  }
  HttpReply(buf, len);
}

void THttpRequest::HttpReply(const char* buf, int len) {
  const std::uint64_t generation = Generation_;
  if (OnReceiveData) OnReceiveData(*this, buf, len);
  if (generation != Generation_) return;
  if (RecState == rsHeader) {
    if (State == sRequest) {
      SetState(sReceive, rsHeader);
      if (generation != Generation_) return;
    }
    std::string body;
    if (!Header.Append(std::string_view(buf, static_cast<std::size_t>(len)), body)) return;
    if (!Header.Parsed) {
      Fail(heBadHttpHeader);
      return;
    }
    if (!HandleStatusOrWait() || generation != Generation_ || State == sIdle) return;
    RecState = rsContent;
    ContentSoFar = 0;
    GuardBody();
    if ((Content || TypePending_) && !body.empty()) WriteContent(body.data(), static_cast<int>(body.size()));
    return;
  }
  if (RecState == rsContent && (Content || TypePending_)) WriteContent(buf, len);
}

void THttpRequest::SocketCut() {
  if (Lingering()) return;
  if (Protocol == ipFtp && Ftp_ && Ftp_->Active) {
    FtpControlCut();
    return;
  }
  StopGuards();
  Socket_->Close();
  const std::uint64_t generation = Generation_;
  if (RecState == rsHeader) {
    if (Header.Length == 0 && !Header.Complete()) {
      Fail(heBadHttpHeader);
      return;
    }
    if (!Header.Complete()) {
      Header.Finish();
      if (!Header.Parsed) {
        Fail(heBadHttpHeader);
        return;
      }
      if (!HandleStatusOrWait() || generation != Generation_ || State == sIdle) return;
      RecState = rsContent;
    }
  }
  if (RecState == rsContent) {
    FinishContent(true);
    return;
  }
  SetState(sIdle, rsNoRec);
}

namespace {
// A reply whose status announces no body, or the reply to HEAD, is complete
// with its header.
bool HasNoBody(int status, THTTP_METHOD method) {
  return method == mHEAD || status == 304 || status == 204 || (status >= 100 && status < 200);
}
}  // namespace

void THttpRequest::FinishContent(bool checkLength) {
  // A body shorter than the bytes that tell its type is all there is.
  if (TypePending_ && !SettleType()) return;
  const std::uint64_t generation = Generation_;
  StopGuards();
  if (Content) {
    const std::int64_t announced = Header.ContentLength;
    if (checkLength && announced > 0 && ContentSoFar < announced && !HasNoBody(Header.Status, Method)) {
      Fail(heFail);  // cut short: the partial file is deleted
      return;
    }
    if (ContentIsFile_) {
      auto* file = static_cast<QFile*>(Content.get());
      file->flush();
      const bool written = file->error() == QFileDevice::NoError;
      file->close();
      if (!written) {
        ContentWriteFailed = true;
        Fail(heFail);
        return;
      }
      if (!HasNoBody(Header.Status, Method) || ContentSoFar > 0) Header.ContentLength = ContentSoFar;
      Content.reset();
      ContentIsFile_ = false;
    } else if (!HasNoBody(Header.Status, Method) || ContentSoFar > 0) {
      Header.ContentLength = ContentSoFar;
    }
    // A memory body stays readable in Content until the next request.
    if (OnContentReceived) OnContentReceived(*this);
    if (generation != Generation_) return;
  }
  SetState(sIdle, rsNoRec);
}

bool THttpRequest::HandleStatus() {
  Error = heNone;
  const int status = Header.Status;
  if (status == 401 && !AuthSent && (!Username.empty() || !Password.empty())) {
    if (Setup) Setup->StoreCredentials(CredentialsKey(false), Username, Password);
    AuthSent = true;
    Restart();
    return false;
  }
  if (status == 407 && !ProxyAuthSent && Setup && Setup->HTTPProxyUsePasswordFlag) {
    Setup->StoreCredentials(CredentialsKey(true), Setup->HTTPProxyUserName, Setup->HTTPProxyPassword);
    ProxyAuthSent = true;
    Restart();
    return false;
  }
  const std::uint64_t generation = Generation_;
  // A 401 or 407 not answered with credentials goes to the caller as it is.
  if (status == 401 || status == 407)
    ;
  else if (status >= 400 && status <= 499)
    SetError(heHttpClientError, status);
  else if (status >= 500)
    SetError(heHttpServerError, status);
  else if (status >= 204 && status <= 206)
    SetError(heHttpError, status);
  if (generation != Generation_) return false;
  if (OnHeaderReceived) {
    const bool keep = OnHeaderReceived(*this);
    if (generation != Generation_ || State == sIdle) return false;
    if (keep && Error == heNone) {
      if (!OpenContent()) return false;
    } else {
      Abort();
      return false;
    }
  } else if (CreateContentStream) {
    if (!OpenContent()) return false;
  } else {
    auto buffer = std::make_unique<QBuffer>();
    buffer->open(QIODevice::ReadWrite);
    Content = std::move(buffer);
    ContentIsFile_ = false;
  }
  return true;
}

bool THttpRequest::HandleStatusOrWait() {
  TypePending_ = false;
  TypeBytes_.clear();
  if (Header.ContentType.empty()) Header.ContentType = detail::TypeOfExtension(MimeList, Url.GetExtension());
  if (!Header.ContentType.empty() || Header.Status != 200 || Method == mHEAD) return HandleStatus();
  TypePending_ = true;
  return true;
}

bool THttpRequest::SettleType() {
  TypePending_ = false;
  Header.ContentType = detail::TypeOfBytes(TypeBytes_);
  const std::string held = std::exchange(TypeBytes_, {});
  const std::uint64_t generation = Generation_;
  if (!HandleStatus() || generation != Generation_ || State == sIdle) return false;
  return held.empty() || WriteContent(held.data(), static_cast<int>(held.size()));
}

bool THttpRequest::OpenContent() {
  if (CreateContentStream) {
    Content = CreateContentStream(*this);
    ContentIsFile_ = false;
  } else {
    // The file is most often the empty one reserved for the record: cutting
    // it only when it holds something spares ext4 a flush of every file at
    // its close (done after each truncation to zero).
    auto file = std::make_unique<QFile>(QString::fromStdString(Filename));
    if (!Filename.empty() && file->open(QIODevice::ReadWrite) && (file->size() == 0 || file->resize(0))) {
      Content = std::move(file);
      ContentIsFile_ = true;
    }
  }
  if (!Content) {
    Fail(heFail);
    return false;
  }
  return true;
}

bool THttpRequest::WriteContent(const char* buf, int len) {
  if (TypePending_) {
    TypeBytes_.append(buf, static_cast<std::size_t>(std::max(len, 0)));
    return TypeBytes_.size() < detail::kTypeSniffBytes || SettleType();
  }
  if (!Content) return true;
  if (len > 0 && Content->write(buf, len) != len) {
    ContentWriteFailed = true;
    Fail(heFail);  // disk full or gone: never a short file reported whole
    return false;
  }
  ContentSoFar += len;
  PeriodBytes_ += len;
  if (Header.ContentLength > 0)
    percent = static_cast<std::int32_t>(std::min<std::int64_t>(100, ContentSoFar * 100 / Header.ContentLength));
  const std::uint64_t generation = Generation_;
  if (OnReceiveContent) OnReceiveContent(*this, buf, len, percent);
  return generation == Generation_;
}

// ---------------------------------------------------------------------------
// Local files

bool THttpRequest::StartLocal() {
  LocalFile = FileUrlToPath(Url.GetFullUrl());
  std::error_code ec;
  if (LocalFile.empty() || !std::filesystem::is_regular_file(LocalFile, ec)) {
    SetError(heFail, 0);
    return false;
  }
  auto stream = std::make_unique<QFile>(QString::fromStdString(LocalFile));
  if (!stream->open(QIODevice::ReadOnly)) {
    SetError(heFail, 0);
    return false;
  }
  const std::uint64_t generation = Generation_;
  SetState(sRequest, rsHeader);
  if (generation != Generation_) return true;
  const QFileInfo info(stream->fileName());
  Header.Status = 200;
  Header.Date = QDateTimeToDateTime(info.lastModified().toUTC());
  Header.LastModified = Header.Date;
  Header.ContentLength = stream->size();
  Header.Server = "Local";
  Header.Parsed = true;
  std::string ext = std::filesystem::path(LocalFile).extension().string();
  if (!ext.empty()) ext.erase(0, 1);
  Header.ContentType = detail::TypeOfExtension(MimeList, ext);
  if (Header.ContentType.empty())
    Header.ContentType = detail::TypeOfBytes(stream->peek(qint64(detail::kTypeSniffBytes)).toStdString());
  SetState(sReceive, rsContent);
  if (generation != Generation_) return true;
  ContentSoFar = 0;
  if (!HandleStatus() || generation != Generation_ || State == sIdle) return true;
  RecState = rsContent;
  LocalStream_ = std::move(stream);
  LocalTimer_.start();
  return true;
}

void THttpRequest::LocalTick() {
  if (!LocalStream_) {
    LocalTimer_.stop();
    return;
  }
  std::array<char, kLocalBlock> block;
  for (int i = 0; i < kLocalBlocksPerTick; ++i) {
    const qint64 n = LocalStream_->read(block.data(), kLocalBlock);
    if (n < 0) {
      Fail(heFail);
      return;
    }
    if (n == 0) {
      LocalTimer_.stop();
      LocalStream_.reset();
      FinishContent(true);
      return;
    }
    if (!WriteContent(block.data(), static_cast<int>(n))) return;
  }
}

}  // namespace qlon
