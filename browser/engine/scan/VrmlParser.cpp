#include "VrmlParser.h"

#include <array>
#include <string_view>

#include <QIODevice>

#include "Utils.h"

namespace qlon {
namespace {

constexpr std::array<std::string_view, 11> kKeywords = {
    "", "#", "WWWANCHOR", "WWWINLINE", "TEXTURE2", "BACKGROUND", "DIRECTSOUND", "POINTSOUND", "NAME", "FILENAME",
    "SCENERY"};
constexpr std::size_t kChunk = 800;
constexpr std::string_view kOldRef = "OLDREF";

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool MatchesAt(std::string_view line, std::size_t at, std::string_view keyword) {
  if (line.size() - at < keyword.size()) return false;
  for (std::size_t k = 0; k < keyword.size(); ++k)
    if (Upper(line[at + k]) != keyword[k]) return false;
  return true;
}

// The first keyword at or after from: its index (0 when none) and position.
int NextKeyword(std::string_view line, std::size_t from, std::size_t& at) {
  for (std::size_t i = from; i < line.size(); ++i) {
    if (i > 0 && !IsSeparator(line[i - 1])) continue;
    // A comment needs nothing after its "#".
    if (line[i] == '#') {
      at = i;
      return TVRMLParser::nkComment;
    }
    for (int k = TVRMLParser::nkAnchor; k <= TVRMLParser::nkScenery; ++k) {
      const std::string_view kw = kKeywords[static_cast<std::size_t>(k)];
      const std::size_t end = i + kw.size();
      // The line's end counts as a separator: a node keyword may stand
      // alone on its line, its "{" on the next.
      if (MatchesAt(line, i, kw) && (end == line.size() || IsSeparator(line[end]) || line[end] == '{')) {
        at = i;
        return k;
      }
    }
  }
  return TVRMLParser::nkNone;
}

}  // namespace

TVRMLParser::TVRMLParser(QIODevice& stream) : stream_(stream) {
  std::string line;
  std::int64_t lineStart = stream_.pos();
  std::int64_t pos = lineStart;
  char chunk[kChunk];
  qint64 got;
  auto flush = [&](std::int64_t next) {
    if (!line.empty()) ScanLine(line, lineStart);
    line.clear();
    lineStart = next;
  };
  while ((got = stream_.read(chunk, kChunk)) > 0) {
    for (qint64 i = 0; i < got; ++i, ++pos) {
      const char c = chunk[i];
      if (c == '\r' || c == '\n') {
        flush(pos + 1);
        continue;
      }
      line.push_back(c);
      if (line.size() >= kMaxLine) flush(pos + 1);
    }
  }
  flush(pos);
}

void TVRMLParser::ScanLine(const std::string& line, std::int64_t start) {
  std::size_t from = 0;
  for (;;) {
    std::size_t at = 0;
    const int kind = NextKeyword(line, from, at);
    if (kind == nkNone || kind == nkComment) return;
    from = at + kKeywords[static_cast<std::size_t>(kind)].size();
    if (kind < nkName) {
      node_ = kind;
      continue;
    }
    const std::size_t open = line.find('"', from);
    if (open == std::string::npos) return;
    const std::size_t close = line.find('"', open + 1);
    if (close == std::string::npos) return;  // no closing quote: no link
    TVRMLLink link;
    link.Position = start + static_cast<std::int64_t>(open);
    link.Page = node_ == nkAnchor;
    const bool rewritten = line.find(kOldRef, close + 1) != std::string::npos;
    link.Length = static_cast<std::uint16_t>((rewritten ? line.size() : close + 1) - open);
    links_.push_back(link);
    if (rewritten) return;
    from = close + 1;
  }
}

bool TVRMLParser::GetLinkPosition(int i, std::int64_t& position, int& length) const {
  if (i < 0 || i >= Count()) return false;
  position = links_[static_cast<std::size_t>(i)].Position;
  length = links_[static_cast<std::size_t>(i)].Length;
  return true;
}

bool TVRMLParser::GetLink(int i, std::string& url, std::string& oldUrl) const {
  url.clear();
  oldUrl.clear();
  std::int64_t position = 0;
  int length = 0;
  if (!GetLinkPosition(i, position, length) || !stream_.seek(position)) return false;
  const QByteArray bytes = stream_.read(length);
  const std::string_view text(bytes.constData(), static_cast<std::size_t>(bytes.size()));
  const std::size_t open = text.find('"');
  const std::size_t close = open == std::string_view::npos ? open : text.find('"', open + 1);
  if (close == std::string_view::npos) return false;
  url = text.substr(open + 1, close - open - 1);
  const std::size_t mark = text.find(kOldRef, close + 1);
  if (mark != std::string_view::npos) {
    const std::size_t oldOpen = text.find('"', mark + kOldRef.size());
    const std::size_t oldClose = oldOpen == std::string_view::npos ? oldOpen : text.find('"', oldOpen + 1);
    if (oldClose != std::string_view::npos) oldUrl = text.substr(oldOpen + 1, oldClose - oldOpen - 1);
  }
  return true;
}

void TVRMLParser::WriteLink(QIODevice& stream, const std::string& url, const std::string& oldUrl) {
  const std::string text = "\"" + url + "\" #OLDREF=\"" + oldUrl + "\"\r\n";
  if (stream.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size()))
    throw EWriteError("Impossible d'écrire un lien du monde VRML");
}

}  // namespace qlon
