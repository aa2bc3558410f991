// The FTP half of the request client: an anonymous session, each transfer
// in passive mode unless the server refuses it.
//
// Passive comes first because servers serve it better: the client's side
// of a data connection is then an ordinary outgoing connection, through any
// NAT or firewall, and a server that juggles many clients' active
// connections has less to get wrong. A server that refuses PASV (or whose
// passive port cannot be reached) gets PORT, the data port scheme below.
//
// The script is played one step per reply. The orders in which a server may
// interleave the control replies and the data connection all lead to the same
// end: a listing is used once its connection has closed, whether "226" came
// before or after; a file is complete only with both its "226" and the end of
// its data connection; QUIT goes only after that; and a control connection
// the server closes never cuts a data transfer still running.
#include <QDate>
#include <QDateTime>
#include <QTime>

#include <algorithm>
#include <charconv>

#include "Cookies.h"
#include "HttpRqstPrivate.h"
#include "Mime.h"
#include "Setup.h"
#include "Utils.h"

namespace qlon {

namespace {

constexpr int kFtpPort = 21;
constexpr int kFtpConnectTimeout = 30;
constexpr int kDataPortBase = 1280;
constexpr int kDataPortTries = 64;  // a port in use by another program: try the next
constexpr std::size_t kMaxReplyLine = 4096;
constexpr std::size_t kMaxListing = 16u << 20;
// An entry dated up to this much after "now" is taken as this year's (clock skew).
constexpr double kListingFutureSlack = 1.0;
// Dates closer than this (about 3 s) are the same modification time.
constexpr double kSameDate = 0.000035;
// Replies that stand for a data connection the server could not make, and
// for one that broke off.
constexpr int kNoDataConnection = 425;
constexpr int kTransferAborted = 426;
// How long the last reply of a transfer may lag behind the end of its data
// connection; a server sends it as it closes the connection.
constexpr int kTransferEndGraceMs = 3000;

constexpr std::string_view kMonths[12] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

int ToInt(std::string_view s) {
  int v = 0;
  std::from_chars(s.data(), s.data() + s.size(), v);
  return v;
}

double ToDateTime(int year, int month, int day, int hour, int minute) {
  const QDate date(year, month, day);
  const QTime time(hour, minute);
  if (!date.isValid() || !time.isValid()) return 0;
  return QDateTimeToDateTime(QDateTime(date, time, Qt::UTC));
}

std::string HtmlEscape(std::string_view text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string HrefEscape(std::string_view name) {
  std::string out;
  for (const char ch : name) {
    const auto c = static_cast<unsigned char>(ch);
    if (std::isalnum(c) || std::string_view("-._~!$'()*+,;=:@").find(ch) != std::string_view::npos) {
      out += ch;
    } else {
      AppendPercentByte(out, c);
    }
  }
  return out;
}

// The page that stands for a directory: one link per entry, folders with
// their "/", so that the capture follows them like the links of a page.
std::string ListingPage(const std::string& title, const std::vector<std::string>& listing, double now) {
  std::string page = "<HTML><HEAD><TITLE>" + HtmlEscape(title) + "</TITLE></HEAD>\r\n<BODY><H1>" +
                     HtmlEscape(title) + "</H1>\r\n<UL>\r\n";
  for (const std::string& line : listing) {
    TFtpListEntry entry;
    if (!ParseFtpListLine(line, now, entry) || entry.Name == "." || entry.Name == ".." ||
        entry.Name.find('/') != std::string::npos)
      continue;
    const std::string name = entry.Name + (entry.Directory ? "/" : "");
    page += "<LI><A HREF=\"" + HrefEscape(entry.Name) + (entry.Directory ? "/" : "") + "\">" + HtmlEscape(name) +
            "</A></LI>\r\n";
  }
  return page + "</UL>\r\n</BODY></HTML>\r\n";
}

// A decoded path that can go into a command: no line break, no NUL.
bool IsSafeCommandText(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

// The port of a "227 Entering Passive Mode (h1,h2,h3,h4,p1,p2)" reply; some
// servers leave out the parentheses. 0 when there is none.
int PassivePort(std::string_view line) {
  for (std::size_t at = 3; at < line.size(); ++at) {
    if (line[at] < '0' || line[at] > '9') continue;
    int n[6];
    std::size_t i = at;
    int count = 0;
    for (; count < 6; ++count) {
      const auto [end, ec] = std::from_chars(line.data() + i, line.data() + line.size(), n[count]);
      if (ec != std::errc() || n[count] < 0 || n[count] > 255) break;
      i = std::size_t(end - line.data());
      if (count < 5 && (i >= line.size() || line[i++] != ',')) break;
    }
    if (count == 6) return n[4] * 256 + n[5];
    while (at + 1 < line.size() && line[at + 1] >= '0' && line[at + 1] <= '9') ++at;
  }
  return 0;
}

}  // namespace

bool ParseFtpListLine(std::string_view line, double now, TFtpListEntry& entry) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!line.empty() && blank(line.front())) line.remove_prefix(1);
  while (!line.empty() && blank(line.back())) line.remove_suffix(1);
  // Tokens with their positions, so that the name keeps its own blanks.
  std::vector<std::pair<std::size_t, std::string_view>> tokens;
  for (std::size_t i = 0; i < line.size();) {
    while (i < line.size() && blank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !blank(line[i])) ++i;
    if (i > start) tokens.emplace_back(start, line.substr(start, i - start));
  }
  // permissions links owner [group] size month day year-or-time name: the
  // group is missing from some servers' lines, so the month anchors the rest.
  if (tokens.size() < 8 || tokens[0].second.size() < 10) return false;
  for (std::size_t m = 3; m + 3 < tokens.size() && m <= 5; ++m) {
    const auto month = std::find_if(std::begin(kMonths), std::end(kMonths),
                                    [&](std::string_view name) { return SameTextAscii(name, tokens[m].second); });
    const std::string_view size = tokens[m - 1].second, day = tokens[m + 1].second, when = tokens[m + 2].second;
    if (month == std::end(kMonths) || !AllDigits(size) || !AllDigits(day) || day.size() > 2) continue;
    const int monthNo = static_cast<int>(month - std::begin(kMonths)) + 1;
    double date = 0;
    if (const std::size_t colon = when.find(':'); colon != std::string_view::npos) {
      if (!AllDigits(when.substr(0, colon)) || !AllDigits(when.substr(colon + 1))) continue;
      const int hour = ToInt(when.substr(0, colon)), minute = ToInt(when.substr(colon + 1));
      const int thisYear = DateTimeToQDateTime(now).date().year();
      date = ToDateTime(thisYear, monthNo, ToInt(day), hour, minute);
      if (date > now + kListingFutureSlack) date = ToDateTime(thisYear - 1, monthNo, ToInt(day), hour, minute);
    } else {
      if (!AllDigits(when) || when.size() != 4) continue;
      date = ToDateTime(ToInt(when), monthNo, ToInt(day), 0, 0);
    }
    if (date == 0) return false;
    std::int64_t bytes = 0;
    if (std::from_chars(size.data(), size.data() + size.size(), bytes).ec != std::errc()) return false;
    std::string_view name = line.substr(tokens[m + 2].first + when.size());
    while (!name.empty() && blank(name.front())) name.remove_prefix(1);
    const char kind = tokens[0].second[0];
    if (kind == 'l' || kind == 'L') name = name.substr(0, name.find(" -> "));
    if (name.empty()) return false;
    entry.Directory = kind == 'd' || kind == 'D';
    entry.Size = bytes;
    entry.Date = date;
    entry.Name = std::string(name);
    return true;
  }
  return false;
}

bool THttpRequest::StartFtp() {
  if (!Ftp_) {
    Ftp_ = std::make_unique<FtpSession>();
    Ftp_->Data = std::make_unique<TSCX>();
    Ftp_->Data->OnServerConnect = [this](TSCX*, int channel, const std::string& distantIp) {
      FtpDataConnect(channel, distantIp);
    };
    Ftp_->Data->OnServerData = [this](TSCX*, const char* buf, int len, int channel) { FtpDataBlock(buf, len, channel); };
    Ftp_->Data->OnServerCut = [this](TSCX*, int channel) { FtpDataCut(channel); };
    Ftp_->Data->OnConnect = [this](TSCX*, const std::string&) { FtpPassiveConnected(); };
    Ftp_->Data->OnData = [this](TSCX*, const char* buf, int len) { FtpDataBlock(buf, len, 0); };
    Ftp_->Data->OnCut = [this](TSCX*) { FtpDataCut(0); };
    Ftp_->Data->OnFail = [this](TSCX*) {
      // The passive port is out of reach: the server may still reach us.
      if (!Ftp_->Active || Ftp_->DataChannel >= 0) return;
      Ftp_->Passive = false;
      FtpSendPort();
    };
  }
  FtpSession& f = *Ftp_;
  f.Data->Close();
  std::unique_ptr<TSCX> data = std::move(f.Data);
  f = FtpSession();
  f.Data = std::move(data);
  // Paths go to the server decoded; a decoded line break would smuggle a command.
  f.DirPath = UnescapeUrl(Url.Path);
  const std::string document(WithoutFragment(Url.FileName + Url.Query));
  f.Name = UnescapeUrl(document);
  if (!IsSafeCommandText(f.DirPath) || !IsSafeCommandText(f.Name)) return false;
  f.Directory = document.empty();
  f.DataPort = id * 100 + kDataPortBase;
  f.Active = true;
  Host = Url.Host;
  const int port = Url.Port > 0 ? Url.Port : kFtpPort;
  if (Socket_->Connect(Host, std::to_string(port), kFtpConnectTimeout) == 0) {
    f.Active = false;
    return false;
  }
  return true;
}

void THttpRequest::StopFtp() {
  if (!Ftp_) return;
  Ftp_->Active = false;
  Ftp_->Data->Close();
}

void THttpRequest::FtpConnected() {
  FtpSession& f = *Ftp_;
  const std::uint64_t generation = Generation_;
  SetState(sRequest, rsHeader);
  if (generation != Generation_) return;
  std::string password = Setup && !Setup->EMail.empty() ? Setup->EMail : "anonymous@" + Socket_->LocalAddr();
  f.Script = {"(220)", "USER anonymous", "PASS " + password, "CWD " + f.DirPath, "TYPE A(200)", "PASV(227)",
              (f.Name.empty() ? std::string("LIST") : "LIST " + f.Name) + "(150)", "(226)"};
  if (!f.Directory) {
    for (const char* step : {"TYPE I(200)", "PASV(227)"}) f.Script.emplace_back(step);
    f.Script.push_back("RETR " + f.Name + "(150)");
    f.Script.emplace_back("(226)");
  }
  f.Script.emplace_back("QUIT");
  f.Position = 0;
  FtpStep();
}

void THttpRequest::FtpStep() {
  FtpSession& f = *Ftp_;
  f.AwaitingEnd = false;
  while (f.Position < f.Script.size()) {
    const std::string& line = f.Script[f.Position++];
    const std::size_t open = line.rfind('(');
    f.Expected = open == std::string::npos ? 0 : ToInt(std::string_view(line).substr(open + 1));
    f.ExpectedMet = false;
    f.WaitData = f.Expected == 226;
    if (open == 0) {  // wait for that reply
      f.AwaitingEnd = f.WaitData && f.DataClosed;
      return;
    }
    const std::string command = line.substr(0, open);
    if (command == "QUIT") {
      Socket_->SendText("QUIT\r\n");
      FtpFinish(true);
      return;
    }
    FtpSend(command);
    return;
  }
  FtpFinish(false);
}

void THttpRequest::FtpSend(std::string command) {
  FtpSession& f = *Ftp_;
  if (command.starts_with("LIST")) {
    f.Listing.clear();
    f.ListingLine.clear();
    f.ListingBytes = 0;
    f.DataMode = FtpSession::Mode::Listing;
  } else if (command.starts_with("RETR")) {
    f.DataMode = FtpSession::Mode::File;
  } else if (command == "PASV") {
    // A fresh data connection for each transfer.
    f.Data->Close();
    f.DataChannel = -1;
    f.DataClosed = false;
    f.DataWanted = true;
    if (!f.Passive) {
      FtpSendPort();
      return;
    }
  }
  Socket_->SendText(command + "\r\n");
}

// The active mode: a listening socket on the request's next data port, and
// "PORT" to tell the server where it is.
void THttpRequest::FtpSendPort() {
  FtpSession& f = *Ftp_;
  f.Data->Close();
  f.Expected = 200;
  bool listening = false;
  for (int i = 0; i < kDataPortTries && !listening; ++i) {
    ++f.DataPort;
    listening = f.Data->Listen(std::to_string(f.DataPort)) != 0;
  }
  const std::string local = Socket_->LocalAddr();
  int a[4] = {0, 0, 0, 0};
  if (!listening || std::sscanf(local.c_str(), "%d.%d.%d.%d", &a[0], &a[1], &a[2], &a[3]) != 4) {
    Fail(heFail, kNoDataConnection);
    return;
  }
  char text[64];
  std::snprintf(text, sizeof text, "PORT %d,%d,%d,%d,%d,%d\r\n", a[0], a[1], a[2], a[3], (f.DataPort >> 8) & 255,
                f.DataPort & 255);
  Socket_->SendText(text);
}

void THttpRequest::FtpControlData(const char* buf, int len) {
  const std::uint64_t generation = Generation_;
  for (int i = 0; i < len; ++i) {
    FtpSession& f = *Ftp_;
    const char c = buf[i];
    if (c == '\r') continue;
    if (c != '\n') {
      if (f.Line.size() < kMaxReplyLine) f.Line += c;
      continue;
    }
    const std::string line = std::move(f.Line);
    f.Line.clear();
    // "226 Done" carries a code; "226-more" and other lines continue a reply.
    if (line.size() >= 3 && AllDigits(std::string_view(line).substr(0, 3)) && (line.size() == 3 || line[3] == ' ')) {
      FtpReply(ToInt(std::string_view(line).substr(0, 3)), line);
      if (generation != Generation_ || !Ftp_->Active) return;
    }
  }
  FtpWatchEnd();  // a reply restarted the watchdog
}

void THttpRequest::FtpReply(int code, std::string_view line) {
  FtpSession& f = *Ftp_;
  if (f.Expected == 227 && code >= 500) {  // no passive mode here
    f.Passive = false;
    FtpSendPort();
    return;
  }
  const bool expected = f.Expected == 0 || f.Expected == code || (f.Expected == 150 && code == 125) ||
                        (f.Expected == 226 && code == 250);
  if (code >= 400 && code < 500) {
    // A transient refusal (too many connections, a data connection that
    // failed): worth asking again.
    f.Failed = true;
    FailureReply = line;
    Fail(heFail, code);
    return;
  }
  if (!expected || code >= 400) {
    f.Failed = true;
    FailureReply = line;
    Fail(heFTPError, code);
    return;
  }
  f.ExpectedMet = true;
  if (code == 227) {
    FtpPassiveReply(line);
    return;
  }
  // A server that needs no password logs in at USER; PASS would be refused.
  if (code == 230 && f.Position < f.Script.size() && f.Script[f.Position].starts_with("PASS ")) ++f.Position;
  if (f.WaitData && !f.DataClosed) return;  // the data connection is still coming in
  FtpStep();
}

void THttpRequest::FtpPassiveReply(std::string_view line) {
  FtpSession& f = *Ftp_;
  const int port = PassivePort(line);
  if (port == 0) {
    f.Passive = false;
    FtpSendPort();
    return;
  }
  // To the server we talk to, whatever address the reply names: a reply
  // cannot send the connection elsewhere, and a server behind NAT names an
  // address of its own network.
  if (f.Data->Connect(ip, std::to_string(port), TimeoutMs() / 1000) == 0) Fail(heFail, kNoDataConnection);
}

void THttpRequest::FtpPassiveConnected() {
  FtpSession& f = *Ftp_;
  if (!f.Active || f.DataChannel >= 0) return;
  f.DataChannel = 0;
  Watch();
  FtpStep();  // the LIST or RETR that waited for it
}

int THttpRequest::FtpDataStatus() const {
  if (Protocol != ipFtp || !Ftp_ || !Ftp_->Active) return 0;
  if (Ftp_->AwaitingEnd) return kTransferAborted;
  if (!Ftp_->DataWanted) return 0;
  return Ftp_->DataChannel >= 0 ? kTransferAborted : kNoDataConnection;
}

void THttpRequest::FtpWatchEnd() {
  if (Ftp_ && Ftp_->Active && Ftp_->AwaitingEnd) Watchdog_.start(std::min(TimeoutMs(), kTransferEndGraceMs));
}

void THttpRequest::FtpDataConnect(int channel, const std::string& distantIp) {
  FtpSession& f = *Ftp_;
  // One data connection per transfer, and only from the server we talk to.
  if (!f.Active || f.DataChannel >= 0 || f.DataClosed || distantIp != ip) return;
  f.DataChannel = channel;
  Watch();
}

void THttpRequest::FtpDataBlock(const char* buf, int len, int channel) {
  FtpSession& f = *Ftp_;
  if (!f.Active || channel != f.DataChannel) return;
  Watch();
  if (f.DataMode == FtpSession::Mode::Listing) {
    f.ListingBytes += static_cast<std::size_t>(len);
    if (f.ListingBytes > kMaxListing) {
      Fail(heFTPError);
      return;
    }
    for (int i = 0; i < len; ++i) {
      if (buf[i] == '\r') continue;
      if (buf[i] != '\n') {
        f.ListingLine += buf[i];
        continue;
      }
      f.Listing.push_back(std::move(f.ListingLine));
      f.ListingLine.clear();
    }
    return;
  }
  if (f.DataMode != FtpSession::Mode::File) return;
  const std::uint64_t generation = Generation_;
  if (RecState != rsContent) {
    RecState = rsContent;
    ContentSoFar = 0;
    GuardBody();
  }
  if (OnReceiveData) OnReceiveData(*this, buf, len);
  if (generation != Generation_) return;
  WriteContent(buf, len);
}

void THttpRequest::FtpDataCut(int channel) {
  FtpSession& f = *Ftp_;
  if (!f.Active || channel != f.DataChannel) return;
  f.DataChannel = -1;
  f.DataClosed = true;
  f.DataWanted = false;
  const std::uint64_t generation = Generation_;
  if (f.DataMode == FtpSession::Mode::Listing) {
    if (!f.ListingLine.empty()) f.Listing.push_back(std::move(f.ListingLine));
    f.ListingLine.clear();
    FtpListingDone();
    if (generation != Generation_ || !f.Active) return;
  }
  // A file shorter than the bytes that tell its type is all there is.
  if (f.DataMode == FtpSession::Mode::File && TypePending_ && !SettleType()) return;
  if (f.DataMode == FtpSession::Mode::File && Header.ContentLength > 0 && ContentSoFar < Header.ContentLength &&
      !f.ControlClosed) {
    // Shorter than its listing said: whatever the server replies now, the
    // file is not whole. Asked again at once, not after the time-out.
    Fail(heFail, kTransferAborted);
    return;
  }
  if (f.WaitData && f.ExpectedMet) {
    FtpStep();
  } else if (f.ControlClosed && f.DataMode == FtpSession::Mode::File) {
    FtpFinish(false);  // the length check decides whether the file is whole
  } else {
    f.AwaitingEnd = true;
    FtpWatchEnd();
  }
}

void THttpRequest::FtpListingDone() {
  FtpSession& f = *Ftp_;
  const std::uint64_t generation = Generation_;
  Header.ContentLength = 0;
  if (State == sRequest) {
    SetState(sReceive, rsHeader);
    if (generation != Generation_) return;
  }
  const double now = UtcNow();
  std::string page;
  if (f.Directory) {
    page = ListingPage(Url.Path, f.Listing, now);
    Header.Status = 200;
    Header.ContentType = "text/html";
    Header.ContentLength = static_cast<std::int64_t>(page.size());
  } else {
    // The first line that is an entry ("total 12" heads some listings).
    TFtpListEntry entry;
    const auto it = std::find_if(f.Listing.begin(), f.Listing.end(),
                                 [&](const std::string& line) { return ParseFtpListLine(line, now, entry); });
    if (it != f.Listing.end()) {
      Header.Status = 200;
      Header.Date = Header.LastModified = entry.Date;
      Header.ContentLength = entry.Size;
      if (IfModifiedSince != 0 && std::abs(IfModifiedSince - Header.LastModified) <= kSameDate) Header.Status = 304;
    }
  }
  Header.Parsed = Header.Status != 0;
  // A file's type comes from its name, else from its first bytes.
  if (!HandleStatusOrWait() || generation != Generation_ || State == sIdle) return;
  if (f.Directory) {
    RecState = rsContent;
    ContentSoFar = 0;
    WriteContent(page.data(), static_cast<int>(page.size()));
  }
}

void THttpRequest::FtpControlCut() {
  FtpSession& f = *Ftp_;
  f.ControlClosed = true;
  Socket_->Close();
  // A file transfer goes on to the end of its data connection (which may
  // not even have come in yet: the watchdog bounds the wait).
  if (f.DataMode == FtpSession::Mode::File && !f.DataClosed) return;
  if (f.DataMode == FtpSession::Mode::File && f.WaitData) {
    FtpFinish(false);
    return;
  }
  f.Failed = true;
  Fail(heFail);
}

void THttpRequest::FtpFinish(bool quitSent) {
  if (TypePending_ && !SettleType()) return;
  StopFtp();
  if (quitSent)
    Lingering_ = true;
  else
    Socket_->Close();
  if (!Content) {
    StopGuards();
    SetState(sIdle, rsNoRec);
    return;
  }
  FinishContent(true);
}

}  // namespace qlon
