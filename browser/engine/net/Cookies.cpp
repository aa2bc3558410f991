#include "Cookies.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <algorithm>
#include <array>
#include <cmath>
#include <cctype>
#include <cstdio>

#include "Urlutil.h"
#include "Utils.h"

namespace qlon {

namespace {

constexpr std::string_view kHeader = "QLONCOOKIES";
constexpr int kFormat = 100;
const QString kFileDate = QStringLiteral("yyyy-MM-dd");
const QString kFileTime = QStringLiteral("hh:mm:ss");

constexpr std::array<std::string_view, 7> kDays = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
constexpr std::array<std::string_view, 12> kMonths = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                      "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

std::string Lower(std::string_view text) {
  std::string s(text);
  for (char& c : s) c = LowerChar(c);
  return s;
}

bool AllDigits(std::string_view t) {
  if (t.empty()) return false;
  for (char c : t)
    if (c < '0' || c > '9') return false;
  return true;
}

int ToInt(std::string_view t) {
  int v = 0;
  for (char c : t) v = v * 10 + (c - '0');
  return v;
}

int MonthOf(std::string_view t) {
  if (t.size() < 3) return 0;
  for (std::size_t i = 0; i < kMonths.size(); ++i)
    if (LowerChar(t[0]) == LowerChar(kMonths[i][0]) && LowerChar(t[1]) == LowerChar(kMonths[i][1]) &&
        LowerChar(t[2]) == LowerChar(kMonths[i][2]) && (t.size() == 3 || Lower(t).starts_with(Lower(kMonths[i]))))
      return static_cast<int>(i) + 1;
  return 0;
}

int FullYear(std::string_view t) {
  const int y = ToInt(t);
  if (t.size() > 2) return y;
  return y >= 70 ? 1900 + y : 2000 + y;
}

// "h:m:s" with one or two digits each.
bool ReadTime(std::string_view t, QTime& time) {
  const StringList parts = SplitString(t, ':');
  if (parts.size() != 3) return false;
  for (const std::string& p : parts)
    if (!AllDigits(p) || p.size() > 2) return false;
  time = QTime(ToInt(parts[0]), ToInt(parts[1]), ToInt(parts[2]));
  return time.isValid();
}

// The date and time of an in-memory date-time, kept apart: a local
// QDateTime would shift times that fall into a daylight-saving gap.
bool SplitDateTime(double value, QDate& date, QTime& time) {
  // Dates are days from 1899-12-30; expiry dates of hostile servers may be anything.
  if (!std::isfinite(value) || value < -600000 || value > 3000000) return false;
  const double fraction = value - std::floor(value);
  time = QTime::fromMSecsSinceStartOfDay(static_cast<int>(std::min(static_cast<long long>(std::llround(fraction * 86400000.0)), 86399999LL)));
  date = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(value)));
  return date.isValid();
}

double JoinDateTime(QDate date, QTime time) {
  return static_cast<double>(QDate(1899, 12, 30).daysTo(date)) + time.msecsSinceStartOfDay() / 86400000.0;
}

bool IsExpired(const TCookie& c, double now) { return c.Expires != 0 && c.Expires < now; }

std::string NameOf(std::string_view pair) {
  const std::size_t eq = pair.find('=');
  return eq == std::string_view::npos ? std::string() : TrimBlanks(pair.substr(0, eq));
}

// True when the host is the domain or lies below it (a leading "." of the
// domain is ignored, as browsers do). An address has no domain above it:
// "0.0.1" is no parent of "127.0.0.1", so only the address itself matches.
bool HostInDomain(const std::string& host, std::string domain) {
  while (!domain.empty() && domain.front() == '.') domain.erase(0, 1);
  domain = Lower(domain);
  if (domain.empty() || host.empty()) return false;
  if (host == domain) return true;
  if (IsNumericAddress(host)) return false;
  return host.size() > domain.size() && host.ends_with(domain) && host[host.size() - domain.size() - 1] == '.';
}

void SaveNode(const TCookiesNode& node, const std::string& key, double now, QIODevice& stream) {
  for (const TCookie& c : node.Cookies) {
    if (c.Expires == 0 || c.Text.empty() || IsExpired(c, now)) continue;
    QDate date;
    QTime time;
    if (!SplitDateTime(c.Expires, date, time)) continue;
    const std::string lines = key + "\r\n" + c.Text + "\r\n" +
                              date.toString(kFileDate).toStdString() + " " + time.toString(kFileTime).toStdString() + "\r\n";
    stream.write(lines.data(), static_cast<qint64>(lines.size()));
  }
  for (const auto& [text, child] : node.Children) SaveNode(*child, key + text, now, stream);
}

std::size_t CountNode(const TCookiesNode& node) {
  std::size_t n = node.Cookies.size();
  for (const auto& entry : node.Children) n += CountNode(*entry.second);
  return n;
}

std::string ReadLine(QIODevice& stream) {
  std::string line = stream.readLine().toStdString();
  while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
  return line;
}

double ReadFileDate(const std::string& text) {
  const StringList parts = SplitWords(text);
  if (parts.size() != 2) return 0;
  QTime time;
  if (!ReadTime(parts[1], time)) return 0;
  const QString d = QString::fromStdString(parts[0]);
  for (const QString& format : {kFileDate, QStringLiteral("d/M/yyyy")}) {
    const QDate date = QDate::fromString(d, format);
    if (date.isValid()) return JoinDateTime(date, time);
  }
  return 0;
}

}  // namespace

double UtcNow() {
  const QDateTime now = QDateTime::currentDateTimeUtc();
  return JoinDateTime(now.date(), now.time());
}

TCookiesBase::TCookiesBase() : Now(UtcNow) {}

TCookiesBase::~TCookiesBase() {
  if (!FileName.empty()) SaveToFile(FileName);
}

bool TCookiesBase::ParseSetCookie(std::string_view url, std::string_view value) {
  if (OnSetCookie) OnSetCookie(value);
  if (!Enabled || value.empty()) return false;
  const TUrl request(url);
  std::string path;
  std::string domain;
  double expires = 0;
  const StringList pieces = SplitString(value, ';');
  const std::string pair = pieces.empty() ? std::string() : TrimBlanks(pieces[0]);
  for (std::size_t i = 1; i < pieces.size(); ++i) {
    const std::size_t eq = pieces[i].find('=');
    if (eq == std::string::npos) continue;
    const std::string name = UpperCase(pieces[i].substr(0, eq));
    const std::string text = TrimBlanks(std::string_view(pieces[i]).substr(eq + 1));
    if (name.find("PATH") != std::string::npos)
      path = text;
    else if (name.find("EXPIRES") != std::string::npos)
      expires = ParseHttpDate(text);
    else if (name.find("DOMAIN") != std::string::npos)
      domain = text;
  }
  // A DOMAIN naming somewhere the server is not would let one site plant
  // cookies for another: refuse the cookie. An accepted DOMAIN still files
  // under the server's own host, which is all the tree can match.
  if (!domain.empty() && !HostInDomain(request.Host, domain)) return false;
  if (pair.empty() || request.Host.empty()) return true;
  // Without a PATH (or with one that is not absolute) the cookie belongs to
  // the request's directory; a path names a directory, "/dir" as "/dir/".
  if (path.empty() || path.front() != '/') path = request.Path;
  if (path.back() != '/') path += '/';
  AddCookie(request.SchemeAndAuthority() + path, pair, expires);
  return true;
}

void TCookiesBase::AddCookie(std::string_view key, std::string_view pair, double expires) {
  const std::string name = NameOf(pair);
  if (name.empty()) return;
  const bool expired = expires != 0 && expires < Now();
  TCookiesNode* node = &Root_;
  for (const std::string& component : GetUrlComponents(key)) {
    auto it = node->Children.find(component);
    if (it == node->Children.end()) {
      if (expired) return;  // nothing to remove
      it = node->Children.emplace(component, std::make_unique<TCookiesNode>()).first;
    }
    node = it->second.get();
  }
  for (auto it = node->Cookies.begin(); it != node->Cookies.end(); ++it) {
    if (it->Name != name) continue;
    if (expired) {
      node->Cookies.erase(it);
    } else {
      it->Text = TrimBlanks(pair);
      it->Expires = expires;
    }
    return;
  }
  if (!expired) node->Cookies.push_back({name, TrimBlanks(pair), expires});
}

std::string TCookiesBase::GetCookieHeader(std::string_view url) const {
  if (!Enabled) return {};
  const double now = Now();
  std::vector<const TCookiesNode*> reached;
  const TCookiesNode* node = &Root_;
  for (const std::string& component : GetUrlComponents(url)) {
    const auto it = node->Children.find(component);
    if (it == node->Children.end()) break;
    node = it->second.get();
    reached.push_back(node);
  }
  std::string text;
  text.reserve(256);
  for (auto n = reached.rbegin(); n != reached.rend(); ++n)
    for (const TCookie& c : (*n)->Cookies) {
      if (IsExpired(c, now)) continue;
      if (!text.empty()) text += "; ";
      text += c.Text;
    }
  return text;
}

void TCookiesBase::Clear() {
  Root_.Children.clear();
  Root_.Cookies.clear();
}

std::size_t TCookiesBase::Count() const { return CountNode(Root_); }

bool TCookiesBase::LoadFromFile(const std::string& file) {
  QFile f(QString::fromStdString(file));
  if (!f.open(QIODevice::ReadOnly)) return false;
  return LoadFromStream(f);
}

bool TCookiesBase::LoadFromStream(QIODevice& stream) {
  if (ReadLine(stream).find(kHeader) == std::string::npos) return false;
  for (;;) {
    const std::string key = ReadLine(stream);
    if (key.empty()) break;
    const std::string text = ReadLine(stream);
    const double expires = ReadFileDate(ReadLine(stream));
    // A group whose date cannot be read would come back as a session
    // cookie, or never expire: leave it out.
    if (expires == 0) continue;
    AddCookie(key, text, expires);
  }
  return true;
}

bool TCookiesBase::SaveToFile(const std::string& file) const {
  // Written beside and renamed over, so that a failed write keeps the old file.
  QSaveFile f(QString::fromStdString(file));
  if (!f.open(QIODevice::WriteOnly)) return false;
  // Cookies are logins: the user's alone, whatever the umask.
  f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
  SaveToStream(f);
  return f.commit();
}

void TCookiesBase::SaveToStream(QIODevice& stream) const {
  const std::string header = std::string(kHeader) + " " + std::to_string(kFormat) + "\r\n";
  stream.write(header.data(), static_cast<qint64>(header.size()));
  SaveNode(Root_, std::string(), Now(), stream);
}

TCookiesBase& CookiesBase() {
  static TCookiesBase store;
  return store;
}

// ---------------------------------------------------------------------------
// HTTP dates

std::string FormatHttpDate(double date) {
  QDate d;
  QTime t;
  if (!SplitDateTime(date, d, t)) return {};
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%s, %02d %s %04d %02d:%02d:%02d GMT",
                std::string(kDays[d.dayOfWeek() % 7]).c_str(), d.day(), std::string(kMonths[d.month() - 1]).c_str(),
                d.year(), t.hour(), t.minute(), t.second());
  return buffer;
}

double ParseHttpDate(std::string_view text) {
  int day = 0, month = 0, year = -1;
  QTime time(0, 0, 0);
  std::string token;
  auto take = [&](std::string_view t) {
    if (t.empty()) return;
    if (t.find(':') != std::string_view::npos) {
      ReadTime(t, time);
    } else if (t.find('-') != std::string_view::npos) {
      const StringList parts = SplitString(t, '-');
      if (parts.size() == 3 && AllDigits(parts[0]) && parts[0].size() <= 2 && AllDigits(parts[2]) &&
          parts[2].size() <= 4 && parts[2].size() != 3 && MonthOf(parts[1]) != 0) {
        day = ToInt(parts[0]);
        month = MonthOf(parts[1]);
        year = FullYear(parts[2]);
      }
    } else if (AllDigits(t)) {
      if (t.size() == 4)
        year = ToInt(t);
      else if (t.size() <= 2 && day == 0)
        day = ToInt(t);
      else if (t.size() == 2)
        year = FullYear(t);
    } else if (month == 0) {
      month = MonthOf(t);
    }
  };
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == ',') {
      take(token);
      token.clear();
    } else {
      token += c;
    }
  }
  take(token);
  const QDate date(year, month, day);
  if (year < 0 || month == 0 || day == 0 || !date.isValid()) return 0;
  return JoinDateTime(date, time);
}

}  // namespace qlon
