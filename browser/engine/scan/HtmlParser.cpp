#include "HtmlParser.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <fstream>
#include <vector>

#include <QBuffer>
#include <QIODevice>

#include "Utils.h"

namespace qlon {

namespace {

// Tag names in kind order; a name counts only at the start of the tag text.
constexpr std::string_view kTagNames[kTagKindCount] = {
    "A",     "!",      "IMG",   "AREA",    "BASE",  "BODY", "HTML", "FORM",     "FRAME",
    "FRAMESET", "NOFRAMES", "META", "INPUT", "TITLE", "SCRIPT", "EMBED", "APPLET", "PARAM",
    "QUILLON", "LINK", "DD",   "DL",    "DT",      "H1",    "H2",   "H3",   "UNKNOWN"};

char Upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }

// The kinds whose names begin with each letter, in kind order.
const std::array<std::vector<uint8_t>, 26>& KindsByLetter() {
  static const auto table = [] {
    std::array<std::vector<uint8_t>, 26> t;
    for (int k = 0; k < kTagKindCount; ++k) {
      const char c = Upper(kTagNames[k][0]);
      if (k != tkComment && c >= 'A' && c <= 'Z') t[c - 'A'].push_back(uint8_t(k));
    }
    return t;
  }();
  return table;
}

bool IsLinkKind(uint8_t kind) {
  switch (kind) {
    case tkA: case tkImg: case tkArea: case tkBase: case tkBody: case tkForm: case tkFrame:
    case tkMeta: case tkInput: case tkEmbed: case tkApplet: case tkParam: case tkLink:
      return true;
    default:
      return false;
  }
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 32; }

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (Upper(a[i]) != Upper(b[i])) return false;
  return true;
}

size_t FindNoCase(std::string_view text, std::string_view what, size_t from = 0) {
  if (what.empty() || what.size() > text.size()) return std::string_view::npos;
  for (size_t i = from; i + what.size() <= text.size(); ++i)
    if (EqualNoCase(text.substr(i, what.size()), what)) return i;
  return std::string_view::npos;
}

// A value as it goes into a tag: characters that would end the tag for our
// own tokenizer, close the quotes or start a reference are escaped, so that a
// rewritten page always scans back to the same tags.
std::string EscapeValue(std::string_view value, bool unquoted) {
  std::string out;
  out.reserve(value.size());
  for (char c : value) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default:
        // Escaped as a URL would be, so the link reads back the same.
        if (unquoted && IsBlank(c))
          AppendPercentByte(out, static_cast<unsigned char>(c));
        else
          out += c;
    }
  }
  return out;
}

void AppendUtf8(std::string& out, uint32_t code) {
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) code = 0xFFFD;
  if (code < 0x80) {
    out += char(code);
  } else if (code < 0x800) {
    out += char(0xC0 | (code >> 6));
    out += char(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    out += char(0xE0 | (code >> 12));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  } else {
    out += char(0xF0 | (code >> 18));
    out += char(0x80 | ((code >> 12) & 0x3F));
    out += char(0x80 | ((code >> 6) & 0x3F));
    out += char(0x80 | (code & 0x3F));
  }
}

// Numeric references 128-159 name Windows-1252 characters on the web.
constexpr uint16_t kCp1252High[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

// quot, amp, lt, gt, then the Latin-1 names of codes 160 to 255 in order.
constexpr std::string_view kLatin1Names[96] = {
    "nbsp",   "iexcl",  "cent",   "pound",  "curren", "yen",    "brvbar", "sect",
    "uml",    "copy",   "ordf",   "laquo",  "not",    "shy",    "reg",    "macr",
    "deg",    "plusmn", "sup2",   "sup3",   "acute",  "micro",  "para",   "middot",
    "cedil",  "sup1",   "ordm",   "raquo",  "frac14", "frac12", "frac34", "iquest",
    "Agrave", "Aacute", "Acirc",  "Atilde", "Auml",   "Aring",  "AElig",  "Ccedil",
    "Egrave", "Eacute", "Ecirc",  "Euml",   "Igrave", "Iacute", "Icirc",  "Iuml",
    "ETH",    "Ntilde", "Ograve", "Oacute", "Ocirc",  "Otilde", "Ouml",   "times",
    "Oslash", "Ugrave", "Uacute", "Ucirc",  "Uuml",   "Yacute", "THORN",  "szlig",
    "agrave", "aacute", "acirc",  "atilde", "auml",   "aring",  "aelig",  "ccedil",
    "egrave", "eacute", "ecirc",  "euml",   "igrave", "iacute", "icirc",  "iuml",
    "eth",    "ntilde", "ograve", "oacute", "ocirc",  "otilde", "ouml",   "divide",
    "oslash", "ugrave", "uacute", "ucirc",  "uuml",   "yacute", "thorn",  "yuml"};

int NamedEntity(std::string_view name) {
  if (name == "quot") return '"';
  if (name == "amp") return '&';
  if (name == "lt") return '<';
  if (name == "gt") return '>';
  for (int i = 0; i < 96; ++i)
    if (kLatin1Names[i] == name) return 160 + i;
  return -1;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
int HexDigit(char c) {
  if (IsDigit(c)) return c - '0';
  c = Upper(c);
  return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

// Reads a decimal or hexadecimal number; saturates instead of overflowing.
uint32_t ReadNumber(std::string_view s, size_t& i, bool hex) {
  uint32_t v = 0;
  while (i < s.size()) {
    int d = hex ? HexDigit(s[i]) : (IsDigit(s[i]) ? s[i] - '0' : -1);
    if (d < 0) break;
    v = std::min<uint32_t>(v * (hex ? 16 : 10) + d, 0x110000);
    ++i;
  }
  return v;
}

bool IsBreak(char c) { return c == '\t' || c == '\r' || c == '\n'; }

// The text without its tabs and line breaks, appended a run at a time.
void AppendWithoutBreaks(std::string_view text, std::string& out) {
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsBreak(text[i])) continue;
    out.append(text.substr(run, i - run));
    run = i + 1;
  }
  out.append(text.substr(run));
}

bool HasBreaks(std::string_view text) { return std::any_of(text.begin(), text.end(), IsBreak); }

std::string DecodeValue(std::string_view raw) {
  std::string out;
  DecodeHtmlEntities(raw, true, out);
  return out;
}

// A URL as a browser reads it from an attribute: references decoded, then
// tabs and line breaks (written raw or as references) left out, blanks
// trimmed at both ends.
std::string UrlText(std::string_view raw) {
  // Most values hold no reference and no break: trimmed as they are.
  if (raw.find('&') == std::string_view::npos && !HasBreaks(raw)) return TrimBlanks(raw);
  std::string out;
  AppendWithoutBreaks(DecodeValue(raw), out);
  return TrimBlanks(out);
}

// The URL of a refresh META: the "URL=" part of its CONTENT, as a param whose
// positions lie inside the CONTENT value, so that it can be replaced in place.
bool FindRefreshUrl(const TTag& tag, TTagParam& url) {
  url.Clear();
  TTagParam content;
  if (!tag.FindParam("CONTENT", content) || content.ValueStart < 0) return false;
  std::string_view text = tag.GetText();
  size_t begin = content.ValueStart, end = content.ValueEnd;
  size_t at = begin;
  for (;;) {
    at = FindNoCase(text.substr(0, end), "URL", at);
    if (at == std::string_view::npos) return false;
    if (at == begin || IsBlank(text[at - 1]) || text[at - 1] == ';' || text[at - 1] == ',') break;
    ++at;
  }
  size_t i = at + 3;
  while (i < end && IsBlank(text[i])) ++i;
  if (i >= end || text[i] != '=') return false;
  ++i;
  while (i < end && IsBlank(text[i])) ++i;
  size_t vs = i, ve = end;
  if (i < end && (text[i] == '\'' || text[i] == '"')) {
    vs = i + 1;
    size_t q = text.find(text[i], vs);
    ve = (q == std::string_view::npos || q > end) ? end : q;
  }
  while (ve > vs && IsBlank(text[ve - 1])) --ve;
  url.Name = std::string(text.substr(at, 3));
  url.Start = static_cast<int>(at);
  url.Length = static_cast<int>(ve - at);
  url.ValueStart = static_cast<int>(vs);
  url.ValueLength = static_cast<int>(ve - vs);
  url.ValueEnd = static_cast<int>(ve);
  url.OpenQuote = url.CloseQuote = true;  // quotes never go inside CONTENT
  url.Quote = content.OpenQuote ? content.Quote : 0;
  AppendWithoutBreaks(text.substr(vs, ve - vs), url.Value);
  return true;
}

// Where the tag whose text goes on at `from` (after its "<") ends: at the
// first "<" or ">" outside a quoted attribute value, else at `limit`. The
// attributes are read as TTag reads them (a stray quote between them skips
// to its like), so that both agree on where each quoted text ends.
//
// A value in quotes holds "<" and ">" up to its closing quote, as a browser
// reads it (title="<-", alt="a > b", onclick="return a<b"). Its quote opens
// nothing when it does not close before `limit`, or when what it would hold
// starts a tag ("<img ", "</b>", "<!--"): the value then runs to a blank, as
// TTag reads an unclosed one, so that a typo such as href="x.htm> costs no
// more than its tag. The second rule keeps a rewrite stable: every tag that
// link rewriting changes or adds starts so, so the quotes it writes never
// pair with an unclosed quote before them.
int64_t FindTagEnd(const char* d, int64_t from, int64_t limit) {
  const auto ends = [d](int64_t at) { return d[at] == '<' || d[at] == '>'; };
  // "<!", "<?", or "<" (then "/") and a name ended by a blank, "/" or ">".
  const auto startsTag = [d, limit](int64_t at) {
    if (d[at] != '<') return false;
    int64_t k = at + 1;
    if (k < limit && (d[k] == '!' || d[k] == '?')) return true;
    if (k < limit && d[k] == '/') ++k;
    const auto letter = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
    if (k >= limit || !letter(d[k])) return false;
    while (k < limit && (letter(d[k]) || (d[k] >= '0' && d[k] <= '9'))) ++k;
    return k >= limit || IsBlank(d[k]) || d[k] == '/' || d[k] == '>';
  };
  // The quote that closes the one at `open`; `limit` when none does first.
  const auto findClosingQuote = [&](int64_t open) {
    int64_t at = open + 1;
    while (at < limit && d[at] != d[open] && !startsTag(at)) ++at;
    return at < limit && d[at] == d[open] ? at : limit;
  };
  int64_t i = from;
  if (i < limit && d[i] == '/') ++i;
  while (i < limit && !IsBlank(d[i]) && d[i] != '/' && !ends(i)) ++i;  // the tag's name
  while (i < limit) {
    if (ends(i)) return i;
    if (IsBlank(d[i]) || d[i] == '/') {
      ++i;
      continue;
    }
    if (d[i] == '"' || d[i] == '\'') {  // stray quoted text between attributes
      const int64_t close = findClosingQuote(i);
      i = close < limit ? close + 1 : i + 1;
      continue;
    }
    const int64_t name = i;
    while (i < limit && !IsBlank(d[i]) && d[i] != '=' && d[i] != '/' && !ends(i)) ++i;
    if (i == name) {  // a lone "=" between attributes
      ++i;
      continue;
    }
    int64_t j = i;
    while (j < limit && IsBlank(d[j])) ++j;
    if (j >= limit || d[j] != '=') continue;
    ++j;
    while (j < limit && IsBlank(d[j])) ++j;
    if (j < limit && (d[j] == '"' || d[j] == '\'')) {
      if (const int64_t close = findClosingQuote(j); close < limit) {
        i = close + 1;
        continue;
      }
      ++j;  // opens nothing: read as an unclosed value
      while (j < limit && !IsBlank(d[j]) && !ends(j)) ++j;
    } else {
      while (j < limit && !IsBlank(d[j]) && d[j] != '"' && !ends(j)) ++j;
      if (j < limit && d[j] == '"') ++j;  // a quote right after a bare value closes it
    }
    i = j;
  }
  return limit;
}

void ShiftParam(TTagParam& p, int after, int delta) {
  if (!p.Found() || p.Start <= after) return;
  p.Start += delta;
  if (p.ValueStart >= 0) {
    p.ValueStart += delta;
    p.ValueEnd += delta;
  }
}

}  // namespace

// ---------------------------------------------------------------- TTag

bool TTag::LoadFromStream(QIODevice& stream, int64_t length) {
  if (length < 0 || length > kMaxTagLength) return false;
  QByteArray bytes = stream.read(length);
  text_.assign(bytes.constData(), bytes.size());
  return bytes.size() == length;
}

void TTag::LoadFromText(std::string_view text) { text_.assign(text); }

bool TTag::SaveToStream(QIODevice& stream) const {
  return stream.write(text_.data(), static_cast<qint64>(text_.size())) ==
         static_cast<qint64>(text_.size());
}

// Walks the attributes after the tag name: name, optional "=" and a value
// that is double-quoted, single-quoted or bare. A quoted value is read whole,
// so attribute names inside other attributes' values are never found; a bare
// value ends at a blank or at ">". A quote that is never closed is read as a
// bare value, so a typo such as href="x.htm> still yields x.htm.
bool TTag::FindParam(std::string_view name, TTagParam& param) const {
  param.Clear();
  if (name.empty()) return false;
  return WalkParams([&](const TParamSpan& p) {
    if (!EqualNoCase(std::string_view(text_).substr(p.NameStart, p.NameEnd - p.NameStart), name)) return false;
    FillParam(p, param);
    return true;
  });
}

void TTag::FillParam(const TParamSpan& span, TTagParam& param) const {
  param.Name.assign(text_, span.NameStart, span.NameEnd - span.NameStart);
  param.Start = span.NameStart;
  param.Length = span.End - span.NameStart;
  param.OpenQuote = span.OpenQuote;
  param.CloseQuote = span.CloseQuote;
  param.Quote = span.Quote;
  param.Value.clear();
  if (span.ValueStart < 0) {
    param.ValueStart = param.ValueEnd = -1;
    param.ValueLength = 0;
    return;
  }
  param.ValueStart = span.ValueStart;
  param.ValueLength = span.ValueEnd - span.ValueStart;
  param.ValueEnd = span.ValueEnd;
  AppendWithoutBreaks(std::string_view(text_).substr(span.ValueStart, param.ValueLength), param.Value);
}

template <class Visit>
bool TTag::WalkParams(Visit&& visit) const {
  const std::string& t = text_;
  const size_t n = t.size();
  if (n < 3 || t[1] == '!') return false;
  size_t i = 1;
  if (t[i] == '/') ++i;
  while (i < n && !IsBlank(t[i]) && t[i] != '>' && t[i] != '/') ++i;
  while (i < n) {
    char c = t[i];
    if (IsBlank(c) || c == '/') { ++i; continue; }
    if (c == '>') break;
    if (c == '"' || c == '\'') {  // stray quoted text between attributes
      size_t q = t.find(c, i + 1);
      i = (q == std::string::npos) ? n : q + 1;
      continue;
    }
    size_t nameStart = i;
    while (i < n && !IsBlank(t[i]) && t[i] != '=' && t[i] != '>' && t[i] != '/') ++i;
    if (i == nameStart) { ++i; continue; }  // a lone "=" between attributes
    size_t nameEnd = i;
    size_t j = i;
    while (j < n && IsBlank(t[j])) ++j;
    TParamSpan p;
    p.NameStart = static_cast<int>(nameStart);
    p.NameEnd = static_cast<int>(nameEnd);
    size_t end = nameEnd;
    if (j < n && t[j] == '=') {
      ++j;
      while (j < n && IsBlank(t[j])) ++j;
      size_t vs = j, ve;
      if (j < n && (t[j] == '"' || t[j] == '\'')) {
        p.Quote = t[j];
        p.OpenQuote = true;
        vs = j + 1;
        size_t q = t.find(t[j], vs);
        if (q != std::string::npos) {
          ve = q;
          p.CloseQuote = true;
          end = q + 1;
        } else {
          ve = vs;
          while (ve < n && !IsBlank(t[ve]) && t[ve] != '>') ++ve;
          end = ve;
        }
      } else {
        ve = vs;
        while (ve < n && !IsBlank(t[ve]) && t[ve] != '>' && t[ve] != '"') ++ve;
        end = ve;
        if (ve < n && t[ve] == '"') {
          p.CloseQuote = true;
          end = ve + 1;
        }
      }
      p.ValueStart = static_cast<int>(vs);
      p.ValueEnd = static_cast<int>(ve);
      i = end;
    }
    p.End = static_cast<int>(end);
    if (visit(p)) return true;
  }
  return false;
}

std::string TTag::GetParamValue(std::string_view name) const {
  TTagParam p;
  if (!FindParam(name, p)) return {};
  return DecodeValue(p.Value);
}

bool TTag::ReplaceValue(TTagParam& p, std::string_view value, int& delta) {
  if (!p.Found()) return false;
  const std::string original = text_;
  // First as written: quotes added where the value had none. When junk in
  // the tag (an unclosed quote before it) would pair with an added quote, the
  // value goes in bare instead, blanks escaped, so the tag scans the same way.
  for (bool bare : {p.Quote == 0, true}) {
    std::string esc = EscapeValue(value, bare);
    TTagParam q = p;
    std::string pre, post, tail;
    size_t vs, ve, full;
    if (p.ValueStart < 0) {
      vs = ve = full = p.Start + p.Name.size();
      pre = bare ? "=" : "=\"";
      post = bare ? "" : "\"";
      // A bare value would run on into a "/" that ended the name.
      if (bare && full < original.size() && original[full] == '/') tail = " ";
    } else {
      vs = p.ValueStart;
      ve = vs + p.ValueLength;
      full = p.ValueEnd;
      if (!bare && !p.OpenQuote) pre = "\"";
      if (!bare && !p.CloseQuote) post = "\"";
    }
    std::string out;
    out.reserve(text_.size() + esc.size() + 3);
    out.append(original, 0, vs).append(pre).append(esc).append(original, ve, full - ve).append(post);
    out.append(tail).append(original, full, std::string::npos);
    if (out.size() > size_t(kMaxTagLength) && out.size() > original.size()) return false;
    const int d = static_cast<int>(out.size()) - static_cast<int>(original.size());
    q.ValueStart = static_cast<int>(vs + pre.size());
    q.ValueLength = static_cast<int>(esc.size());
    q.ValueEnd = static_cast<int>(full) + d - static_cast<int>(post.size() + tail.size());
    q.OpenQuote = p.OpenQuote || (!pre.empty() && pre.back() == '"');
    q.CloseQuote = p.CloseQuote || !post.empty();
    if (!post.empty()) q.Quote = '"';
    q.Length = q.ValueEnd + (q.CloseQuote ? 1 : 0) - q.Start;
    q.Value = esc;
    text_ = std::move(out);
    // A value put back in its own place scans as before; anything added
    // around it is checked by scanning the tag again.
    const bool added = !pre.empty() || !post.empty();
    if (!added || WalkParams([&](const TParamSpan& w) {
          return w.NameStart == q.Start && w.ValueStart == q.ValueStart && w.ValueEnd == q.ValueEnd;
        })) {
      delta = d;
      p = std::move(q);
      return true;
    }
    text_ = original;
    if (bare) break;
  }
  return false;
}

bool TTag::SetParam(std::string_view name, std::string_view value) {
  TTagParam p;
  if (!FindParam(name, p)) return AddParam(name, value);
  int delta = 0;
  return ReplaceValue(p, value, delta);
}

bool TTag::AddParam(std::string_view name, std::string_view value) {
  int place = 0, size = 0;
  return InsertParam(name, value, place, size);
}

bool TTag::InsertParam(std::string_view name, std::string_view value, int& place, int& size) {
  std::string esc = EscapeValue(value, false);
  size_t at = text_.size();
  if (at > 0 && text_[at - 1] == '>') --at;
  // Keep an XHTML "/>" closing the tag: insert before its "/".
  if (at >= 2 && text_[at - 1] == '/' &&
      (IsBlank(text_[at - 2]) || text_[at - 2] == '"' || text_[at - 2] == '\''))
    --at;
  // After junk such as an unclosed quote the end of the tag may lie inside a
  // value; then the attribute goes right after the tag name.
  size_t afterName = 1;
  if (afterName < text_.size() && text_[afterName] == '/') ++afterName;
  while (afterName < text_.size() && !IsBlank(text_[afterName]) && text_[afterName] != '>' &&
         text_[afterName] != '/')
    ++afterName;
  const std::string original = text_;
  for (size_t where : {at, afterName}) {
    std::string ins;
    if (where > 0 && !IsBlank(text_[where - 1])) ins += ' ';
    ins.append(name).append("=\"").append(esc).append("\"");
    if (where == afterName && where < text_.size() && !IsBlank(text_[where])) ins += ' ';
    if (text_.size() + ins.size() > size_t(kMaxTagLength)) return false;
    text_.insert(where, ins);
    const int start = int(where + (ins[0] == ' '));
    const int valueEnd = int(where + ins.size()) - 1 - (ins.back() == ' ');
    if (WalkParams([&](const TParamSpan& p) { return p.NameStart == start && p.ValueEnd == valueEnd; })) {
      place = static_cast<int>(where);
      size = static_cast<int>(ins.size());
      return true;
    }
    text_ = original;
  }
  return false;
}

bool TTag::RemoveParam(std::string_view name) {
  TTagParam p;
  if (!FindParam(name, p)) return false;
  size_t from = p.Start;
  if (from > 0 && IsBlank(text_[from - 1])) --from;
  text_.erase(from, p.Start + p.Length - from);
  return true;
}

bool TTag::ContainsText(std::string_view text) const {
  return FindNoCase(text_, text) != std::string_view::npos;
}

// ---------------------------------------------------------------- TTagLink

void TTagLink::Clear() {
  text_.clear();
  Kind = tkUnknown;
  Flags = 0;
  AnchorText.clear();
  IsMap = IsFrame = false;
  LinkType = ltPage;
  Url.Clear();
  OldRef.Clear();
  Status = 0;
}

std::string TTagLink::GetUrl() const { return UrlText(Url.Value); }

bool TTagLink::SetUrl(std::string_view url) {
  int delta = 0;
  if (!ReplaceValue(Url, url, delta)) return false;
  ShiftParam(OldRef, Url.Start, delta);
  return true;
}

void TTagLink::ReadOldRef() {
  Status = 0;
  if (!FindParam("OLDREF", OldRef)) return;
  std::string v = UrlText(OldRef.Value);
  size_t close = v.find(']');
  if (!v.empty() && v[0] == '[' && close != std::string::npos) {
    size_t i = 1;
    Status = static_cast<int>(std::min<uint32_t>(ReadNumber(v, i, false), 0x7FFFFFFF));
  }
}

std::string TTagLink::GetOldUrl() const {
  if (!OldRef.Found()) return {};
  std::string v = UrlText(OldRef.Value);
  size_t close = v.find(']');
  if (!v.empty() && v[0] == '[' && close != std::string::npos) v.erase(0, close + 1);
  return TrimBlanks(v);
}

bool TTagLink::WriteOldRef(std::string_view oldUrl, int status) {
  // An old URL that itself begins with "[" gets an explicit "[0]", or it
  // would read back as a status.
  std::string value = (status != 0 || (!oldUrl.empty() && oldUrl[0] == '['))
                          ? "[" + std::to_string(status) + "]"
                          : std::string();
  value.append(oldUrl);
  if (OldRef.Found()) {
    int delta = 0;
    if (!ReplaceValue(OldRef, value, delta)) return false;
    ShiftParam(Url, OldRef.Start, delta);
  } else {
    int place = 0, size = 0;
    if (!InsertParam("OLDREF", value, place, size)) return false;
    ShiftParam(Url, place - 1, size);
    FindParam("OLDREF", OldRef);
  }
  Status = status;
  return true;
}

bool TTagLink::SetStatus(int status) {
  if (status == Status) return true;
  std::string old = OldRef.Found() ? GetOldUrl() : GetUrl();
  return WriteOldRef(old, status);
}

bool TTagLink::SetOldUrl(std::string_view url) { return WriteOldRef(url, Status); }

// ---------------------------------------------------------------- THtmlParser

THtmlParser::THtmlParser(QIODevice& stream) : stream_(stream) {}

void THtmlParser::AddToken(uint8_t flags, uint8_t kind, int64_t position, int64_t length) {
  TToken& prev = tokens_.back();
  if (position > prev.End()) prev.Flags |= kTokenTextAfter;
  // Runs of tags the scanner has no use for become one token, as long as no
  // text lies between them (the text after each tag matters for anchors).
  if (kind == tkUnknown && !(flags & kTokenSentinel) && prev.Kind == tkUnknown &&
      !(prev.Flags & kTokenSentinel) && prev.End() == position) {
    prev.Length = position + length - prev.Position;
    return;
  }
  tokens_.push_back(TToken{flags, kind, position, length});
}

// Classifies the tag running from its "<" at `start` to `end` (exclusive).
void THtmlParser::AddTag(int64_t start, int64_t end) {
  const char* d = data_.constData();
  int64_t innerEnd = (end - start >= 2 && d[end - 1] == '>') ? end - 1 : end;
  std::string_view inner(d + start + 1, innerEnd - start - 1);
  uint8_t flags = kTokenStart, kind = tkUnknown;
  if (!inner.empty() && inner[0] == '!') {
    kind = tkComment;
  } else {
    if (!inner.empty() && inner[0] == '/') {
      flags = kTokenEnd;
      inner.remove_prefix(1);
    }
    // The name runs to the first blank or "/"; it is looked up among the
    // names of its first letter only.
    size_t length = 0;
    while (length < inner.size() && !IsBlank(inner[length]) && inner[length] != '/') ++length;
    const std::string_view name = inner.substr(0, length);
    const char first = length ? Upper(name[0]) : 0;
    if (first >= 'A' && first <= 'Z')
      for (uint8_t k : KindsByLetter()[first - 'A']) {
        if (kTagNames[k].size() == length && EqualNoCase(name, kTagNames[k])) {
          kind = k;
          break;
        }
      }
    if ((flags & kTokenStart) && IsLinkKind(kind)) flags |= kTokenLinkTag;
  }
  AddToken(flags, kind, start, end - start);
}

// States: 0 between tokens, 1 text, 2 tag, 3 after "<!", 4 comment.
void THtmlParser::Parse() {
  data_.clear();
  tokens_.clear();
  insideNoframes_ = insideScript_ = false;
  // In one piece: a buffer's bytes are shared, a file is read in one
  // allocation of its size.
  if (const auto* buffer = qobject_cast<const QBuffer*>(&stream_)) {
    data_ = buffer->data();
  } else {
    stream_.seek(0);
    data_ = stream_.readAll();
  }
  stream_.seek(0);

  const char* d = data_.constData();
  const int64_t n = data_.size();
  // Pages hold a tag every few dozen bytes: room for about that many at
  // once, rather than a copy of the table at each doubling from one; a
  // large page of few tags is not given room for a table it never fills.
  constexpr int64_t kReservedTokens = int64_t(1) << 16;
  tokens_.reserve(std::size_t(std::min(n / 16, kReservedTokens)) + 2);
  tokens_.push_back(TToken{kTokenSentinel, tkUnknown, 0, 0});
  int state = 0, dashes = 0;
  int64_t start = 0, i = 0;
  while (i < n) {
    switch (state) {
      case 0:
      case 1: {
        const void* lt = std::memchr(d + i, '<', n - i);
        if (!lt) { i = n; state = 1; break; }
        i = static_cast<const char*>(lt) - d;
        start = i++;
        state = 2;
        break;
      }
      case 2: {
        if (i == start + 1 && d[i] == '!') {
          state = 3;
          ++i;
          break;
        }
        // To the next "<" or ">" outside quotes; a tag that reaches
        // kMaxTagLength bytes before one is text from there on.
        const int64_t limit = std::min(n, start + kMaxTagLength);
        i = FindTagEnd(d, i, limit);
        if (i == n) break;
        if (d[i] == '>') {
          AddTag(start, i + 1);
          state = 0;
          ++i;
        } else if (d[i] == '<') {
          // A stray "<" ends the unterminated tag before it and starts the next.
          AddTag(start, i);
          start = i++;
        } else {
          state = 1;  // too long for a tag: what was read is text
        }
        break;
      }
      case 3: {
        char c = d[i];
        if (c == '-' && i == start + 2) {
          state = 4;
          dashes = 0;
        } else if (c == '>') {
          AddToken(kTokenStart, tkComment, start, i + 1 - start);
          state = 0;
        }
        ++i;
        break;
      }
      case 4: {
        char c = d[i];
        if (c == '-') {
          ++dashes;
        } else if (c == '>' && dashes >= 2) {
          AddToken(kTokenStart, tkComment, start, i + 1 - start);
          state = 0;
        } else if (!(c == '!' && dashes >= 2)) {
          dashes = 0;
        }
        ++i;
        break;
      }
    }
  }
  // An unterminated tag or comment at the end still is a token, so that its
  // bytes are rewritten and its link is found.
  if (state == 2) AddTag(start, n);
  if (state == 3 || state == 4) AddToken(kTokenStart, tkComment, start, n - start);
  AddToken(kTokenSentinel, tkUnknown, n, 0);
}

std::string_view THtmlParser::TokenBytes(int index) const {
  const TToken& t = GetToken(index);
  if (t.Position < 0 || t.Length <= 0) return {};
  return std::string_view(data_.constData() + t.Position, t.Length);
}

std::string_view THtmlParser::TextAfterBytes(int index) const {
  const TToken& t = GetToken(index);
  if (!(t.Flags & kTokenTextAfter) || index + 1 >= GetCount()) return {};
  int64_t from = t.End(), to = tokens_[index + 1].Position;
  if (to <= from) return {};
  return std::string_view(data_.constData() + from, to - from);
}

std::string THtmlParser::GetTokenText(int index) const {
  return std::string(Utf8Prefix(TokenBytes(index), kMaxShortText));
}

std::string THtmlParser::GetTextAfter(int index) const {
  return std::string(Utf8Prefix(TextAfterBytes(index), kMaxShortText));
}

namespace {
bool WriteAll(QIODevice& out, std::string_view bytes) {
  return bytes.empty() ||
         out.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
}
}  // namespace

bool THtmlParser::CopyTextAfter(int index, QIODevice& out) const {
  return WriteAll(out, TextAfterBytes(index));
}

bool THtmlParser::CopyToken(int index, QIODevice& out) const {
  if (GetToken(index).Flags & kTokenSentinel) return true;
  return WriteAll(out, TokenBytes(index));
}

bool THtmlParser::CopyTokenAndText(int index, QIODevice& out) const {
  return CopyToken(index, out) && CopyTextAfter(index, out);
}

bool THtmlParser::LoadTag(int index, TTag& tag) const {
  const TToken& t = GetToken(index);
  if (!(t.Flags & kTokenStart)) return false;
  tag.LoadFromText(TokenBytes(index));
  tag.Kind = t.Kind;
  tag.Flags = t.Flags;
  return true;
}

TMarker THtmlParser::GetMarker(int index) const {
  const TToken& t = GetToken(index);
  if (t.Kind != tkComment) return TMarker::None;
  std::string_view s = TokenBytes(index);
  if (s.size() < 7 || s.substr(0, 4) != "<!--" || s.substr(s.size() - 3) != "-->") return TMarker::None;
  std::string body = TrimBlanks(s.substr(4, s.size() - 7));
  if (EqualNoCase(body, "QUILLON=ON")) return TMarker::On;
  if (EqualNoCase(body, "QUILLON=OFF")) return TMarker::Off;
  if (EqualNoCase(body, "QUILLON MAP=ON")) return TMarker::MapOn;
  if (EqualNoCase(body, "QUILLON MAP=OFF")) return TMarker::MapOff;
  return TMarker::None;
}

int THtmlParser::FindMarker(int from, TMarker marker) const {
  for (int j = from + 1; j < GetCount(); ++j)
    if (GetMarker(j) == marker) return j;
  return -1;
}

int THtmlParser::InsertedBlockEnd(int index) const {
  const TMarker marker = GetMarker(index);
  if (marker != TMarker::On && marker != TMarker::MapOn) return -1;
  return FindMarker(index, marker == TMarker::On ? TMarker::Off : TMarker::MapOff);
}

// The text of a link: what follows the tag up to the end of the anchor, with
// the ALT text of images inside. It stops at the next anchor (an unclosed A
// must not read the rest of the page) and at kMaxShortText bytes.
void THtmlParser::CollectAnchorText(int index, TTagLink& link) const {
  // Without anchor texts the length of the text is still counted: the walk
  // ends where the text reaches its limit, so the ISMAP mark is the same.
  std::string text;
  size_t length = 0;
  auto add = [&](std::string_view piece) {
    length += piece.size();
    if (AnchorTexts) text.append(piece);
  };
  add(TextAfterBytes(index).substr(0, kMaxShortText + 1));
  TTag inner;
  TTagParam ismap;
  for (int j = index + 1; j < GetCount() && length <= size_t(kMaxShortText); ++j) {
    const TToken& t = tokens_[j];
    if (t.Flags & kTokenSentinel) break;
    if (t.Kind == tkA && (t.Flags & kTokenEnd)) break;
    if ((t.Kind == tkA || t.Kind == tkLink) && (t.Flags & kTokenStart)) break;
    if (t.Kind == tkImg && (t.Flags & kTokenStart)) {
      LoadTag(j, inner);
      if (inner.FindParam("ISMAP", ismap)) link.IsMap = true;
      add(" ");
      add(inner.GetParamValue("ALT"));
    }
    add(TextAfterBytes(j).substr(0, kMaxShortText + 1));
  }
  if (AnchorTexts) link.AnchorText = std::string(Utf8Prefix(TrimBlanks(text), kMaxShortText));
}

bool THtmlParser::GetTagLink(int index, TTagLink& link) {
  link.Clear();
  // A walk from the first token starts outside any script or NOFRAMES,
  // whatever the walk before it ended in.
  if (index == 0) insideNoframes_ = insideScript_ = false;
  const TToken& t = GetToken(index);
  link.Flags = t.Flags;
  link.Kind = t.Kind;
  if (t.Flags & kTokenSentinel) return true;
  const bool start = t.Flags & kTokenStart;
  if (FrameOption && t.Kind == tkNoframes) insideNoframes_ = start;
  if (t.Kind == tkScript) insideScript_ = start;
  if (!(t.Flags & kTokenLinkTag) || insideScript_ || insideNoframes_) return true;

  link.LoadFromText(TokenBytes(index));
  const char* attribute = nullptr;
  link.LinkType = ltPage;
  switch (t.Kind) {
    case tkA: case tkLink: case tkArea: case tkBase: attribute = "HREF"; break;
    case tkImg: case tkEmbed: attribute = "SRC"; link.LinkType = ltEmbedded; break;
    case tkBody: attribute = "BACKGROUND"; link.LinkType = ltBackground; break;
    case tkForm: attribute = "ACTION"; break;
    case tkFrame: attribute = "SRC"; link.IsFrame = true; break;
    case tkInput: attribute = "SRC"; link.LinkType = ltEmbedded; break;
    case tkApplet: attribute = "CODE"; link.LinkType = ltEmbedded; break;
    case tkParam: attribute = "VALUE"; link.LinkType = ltEmbedded; break;
    case tkMeta: break;
    default: return true;
  }
  if (t.Kind == tkFrame && FrameOption) return true;
  if (t.Kind == tkMeta)
    FindRefreshUrl(link, link.Url);
  else
    link.FindParam(attribute, link.Url);
  // A fragment names a place in what the server sends, never what is
  // asked for, whatever tag it is in (a FORM's action="#", an SVG
  // sprite's "#id"): the URL stops before it, and the tag keeps it.
  if (link.Url.ValueStart >= 0) {
    // The "#" of a fragment, not the one of a character reference "&#..;".
    std::string_view raw(link.GetText().data() + link.Url.ValueStart, link.Url.ValueLength);
    for (size_t k = 0; k < raw.size(); ++k) {
      if (raw[k] != '#' || (k > 0 && raw[k - 1] == '&')) continue;
      link.Url.ValueLength = static_cast<int>(k);
      link.Url.Value.clear();
      AppendWithoutBreaks(raw.substr(0, k), link.Url.Value);
      break;
    }
  }
  link.ReadOldRef();

  const bool empty = link.GetUrl().empty();
  switch (t.Kind) {
    case tkA:
    case tkLink:
      if (empty) return false;
      CollectAnchorText(index, link);
      break;
    case tkImg:
    case tkEmbed: {
      TTagParam ismap;
      link.IsMap = link.FindParam("ISMAP", ismap);
      break;
    }
    case tkArea:
    case tkBase:
    case tkInput:
      if (empty) return false;
      break;
    case tkMeta:
      if (empty || !EqualNoCase(TrimBlanks(link.GetParamValue("HTTP-EQUIV")), "REFRESH")) return false;
      break;
    default:
      break;
  }
  return true;
}

// ---------------------------------------------------------------- free routines

std::string EscapeHtmlText(std::string_view text) { return EscapeValue(text, false); }

bool FindTagTextInFile(const std::filesystem::path& file, std::string_view tagName, int longestTag,
                       std::string& text, std::string& tagText) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  char buf[kTagTextWindow];
  in.read(buf, sizeof buf);
  return FindTagText(std::string_view(buf, static_cast<size_t>(in.gcount())), tagName, longestTag, text, tagText);
}

bool FindTagText(std::string_view bytes, std::string_view tagName, int longestTag, std::string& text,
                 std::string& tagText) {
  const std::string_view s = bytes.substr(0, kTagTextWindow);
  size_t i = 0;
  while ((i = s.find('<', i)) != std::string_view::npos) {
    if (s.substr(i + 1, 2) == "--") { ++i; continue; }
    size_t close = s.find('>', i + 1);
    if (close == std::string_view::npos) return false;
    size_t again = s.find('<', i + 1);
    if (again < close) { i = again; continue; }
    std::string_view inner = s.substr(i + 1, close - i - 1);
    if (inner.size() <= size_t(std::max(longestTag, 0)) &&
        FindNoCase(inner, tagName) != std::string_view::npos) {
      tagText = std::string(inner);
      size_t next = s.find('<', close + 1);
      text = std::string(s.substr(close + 1, next == std::string_view::npos ? std::string_view::npos
                                                                          : next - close - 1));
      return true;
    }
    i = close + 1;
  }
  return false;
}

void DecodeHtmlEntities(std::string_view text, bool keepControls, std::string& result) {
  result.clear();
  result.reserve(text.size());
  auto put = [&](char c) { result += (!keepControls && static_cast<unsigned char>(c) < 32) ? ' ' : c; };
  for (size_t i = 0; i < text.size();) {
    if (text[i] != '&') { put(text[i++]); continue; }
    if (i + 2 < text.size() && text[i + 1] == '#') {
      bool hex = text[i + 2] == 'x' || text[i + 2] == 'X';
      size_t j = i + (hex ? 3 : 2);
      size_t digits = j;
      uint32_t code = ReadNumber(text, j, hex);
      if (j > digits) {
        if (code >= 0x80 && code <= 0x9F) code = kCp1252High[code - 0x80];
        if (!keepControls && code < 32) code = ' ';
        AppendUtf8(result, code);
        if (j < text.size() && text[j] == ';') ++j;
        i = j;
        continue;
      }
    } else {
      size_t j = i + 1;
      while (j < text.size() && j - i <= 8 &&
             ((text[j] >= 'a' && text[j] <= 'z') || (text[j] >= 'A' && text[j] <= 'Z') || IsDigit(text[j])))
        ++j;
      if (j < text.size() && text[j] == ';') {
        int code = NamedEntity(text.substr(i + 1, j - i - 1));
        if (code >= 0) {
          AppendUtf8(result, static_cast<uint32_t>(code));
          i = j + 1;
          continue;
        }
      }
    }
    put(text[i++]);
  }
}

}  // namespace qlon
