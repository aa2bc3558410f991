#include "Readhtml.h"

#include <QByteArray>
#include <QHash>
#include <QRegularExpression>
#include <algorithm>
#include <array>
#include <bitset>
#include <climits>
#include <fstream>
#include <iterator>
#include <optional>
#include <string_view>

#include "Sections.h"
#include "Tables.h"

namespace qlon::viewer {
namespace {

// Out of band: no character of the text can be mistaken for the end.
constexpr int kEndMark = -1;
constexpr int kMaxTextSymbol = 100;
constexpr int kMaxEntityName = 8;

constexpr bool IsAsciiLetter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
constexpr bool IsDigit(int c) { return c >= '0' && c <= '9'; }
constexpr int Upper(int c) { return c >= 'a' && c <= 'z' ? c - 32 : c; }

// The tag table; the names up to NoFrames have an end symbol.
enum class Tag {
  Html, Title, Body, Head, B, I, H, Em, Strong, U, Cite, Var, Tt, Code, Kbd, Samp, Ol, Ul, Dir, Menu, Dl, A,
  Address, Blockquote, Pre, Center, Table, Td, Th, Caption, Form, TextArea, Select, Option, Font, Sub, Sup,
  Big, Small, P, Map, FrameSet, NoFrames, Li, Br, Hr, Dd, Dt, Img, Base, Tr, Button, Input, Selected,
  BaseFont, Area, Frame, Page, Div, Count
};
constexpr int kTagCount = int(Tag::Count);
constexpr const char* kTagNames[kTagCount] = {
    "HTML", "TITLE", "BODY", "HEAD", "B", "I", "H", "EM", "STRONG", "U", "CITE", "VAR", "TT", "CODE", "KBD",
    "SAMP", "OL", "UL", "DIR", "MENU", "DL", "A", "ADDRESS", "BLOCKQUOTE", "PRE", "CENTER", "TABLE", "TD",
    "TH", "CAPTION", "FORM", "TEXTAREA", "SELECT", "OPTION", "FONT", "SUB", "SUP", "BIG", "SMALL", "P", "MAP",
    "FRAMESET", "NOFRAMES", "LI", "BR", "HR", "DD", "DT", "IMG", "BASE", "TR", "BUTTON", "INPUT", "SELECTED",
    "BASEFONT", "AREA", "FRAME", "PAGE", "DIV"};
constexpr bool HasEnd(Tag t) { return int(t) <= int(Tag::NoFrames) || t == Tag::Div; }

// Tag and attribute names are looked up on every tag. A name of at most
// kMaxKeyLetters letters packs into a key of five bits a letter (longer names
// are in no table), so that looking one up neither builds nor hashes a string.
constexpr int kMaxKeyLetters = 12;
constexpr uint64_t AddLetter(uint64_t key, int letter) { return key << 5 | uint64_t(Upper(letter) - 'A' + 1); }
constexpr uint64_t NameKey(std::string_view name) {
  uint64_t key = 0;
  for (char c : name) key = AddLetter(key, c);
  return key;
}

template <typename T>
class NameTable {
 public:
  template <typename Names>
  explicit NameTable(const Names& names) {
    for (const auto& [name, value] : names) keys_.push_back({NameKey(name), value});
    std::sort(keys_.begin(), keys_.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  }
  // key 0: no name of the table.
  T Find(uint64_t key, T absent) const {
    auto it = std::lower_bound(keys_.begin(), keys_.end(), key, [](const auto& e, uint64_t k) { return e.first < k; });
    return it != keys_.end() && it->first == key && key ? it->second : absent;
  }

 private:
  std::vector<std::pair<uint64_t, T>> keys_;
};

// A name being read: its key while it is a short run of letters.
struct NameReader {
  uint64_t key = 0;
  int length = 0;
  bool letters = true;
  void Add(int c) {
    if (!IsAsciiLetter(c)) letters = false;
    if (++length <= kMaxKeyLetters && letters) key = AddLetter(key, c);
  }
  uint64_t Key() const { return letters && length <= kMaxKeyLetters ? key : 0; }
};

template <typename Names, typename NameOf>
constexpr bool AllKeyable(const Names& names, NameOf nameOf) {
  for (const auto& n : names)
    if (std::string_view(nameOf(n)).size() > size_t(kMaxKeyLetters)) return false;
  return true;
}
static_assert(AllKeyable(kTagNames, [](const char* n) { return n; }), "a tag name too long for its key");

int TagIndex(uint64_t key) {
  static const NameTable<int> kTable = [] {
    std::vector<std::pair<std::string_view, int>> names;
    for (int i = 0; i < kTagCount; ++i) names.push_back({kTagNames[i], i});
    return NameTable<int>(names);
  }();
  return kTable.Find(key, -1);
}

bool TakesAttributes(Tag t) {
  switch (t) {
    case Tag::Body: case Tag::P: case Tag::Br: case Tag::H: case Tag::Hr: case Tag::Base: case Tag::Ol:
    case Tag::Ul: case Tag::Img: case Tag::A: case Tag::Table: case Tag::Td: case Tag::Tr: case Tag::Th:
    case Tag::Caption: case Tag::Input: case Tag::Form: case Tag::TextArea: case Tag::Select: case Tag::Option:
    case Tag::Font: case Tag::BaseFont: case Tag::Map: case Tag::Area: case Tag::FrameSet: case Tag::Frame:
    case Tag::Div:
      return true;
    default:
      return false;
  }
}

struct AttrName {
  const char* name;
  Attr which;
};
constexpr AttrName kAttrNames[] = {
    {"HREF", Attr::Href}, {"NAME", Attr::Name}, {"SRC", Attr::Src}, {"ALT", Attr::Alt}, {"ALIGN", Attr::Align},
    {"TEXT", Attr::Text}, {"BGCOLOR", Attr::BgColor}, {"LINK", Attr::Link}, {"BACKGROUND", Attr::Background},
    {"COLSPAN", Attr::ColSpan}, {"ROWSPAN", Attr::RowSpan}, {"BORDER", Attr::Border},
    {"CELLPADDING", Attr::CellPadding}, {"CELLSPACING", Attr::CellSpacing}, {"VALIGN", Attr::VAlign},
    {"WIDTH", Attr::Width}, {"START", Attr::Start}, {"VALUE", Attr::Value}, {"TYPE", Attr::Type},
    {"CHECKBOX", Attr::CheckBox}, {"RADIO", Attr::Radio}, {"METHOD", Attr::Method}, {"ACTION", Attr::Action},
    {"CHECKED", Attr::Checked}, {"SIZE", Attr::Size}, {"MAXLENGTH", Attr::MaxLength}, {"COLS", Attr::Cols},
    {"ROWS", Attr::Rows}, {"MULTIPLE", Attr::Multiple}, {"SELECTED", Attr::Selected}, {"FACE", Attr::Face},
    {"COLOR", Attr::Color}, {"TRANSP", Attr::Transp}, {"CLEAR", Attr::Clear}, {"ISMAP", Attr::IsMap},
    {"BORDERCOLOR", Attr::BorderColor}, {"USEMAP", Attr::UseMap}, {"SHAPE", Attr::Shape},
    {"COORDS", Attr::Coords}, {"NOHREF", Attr::NoHref}, {"HEIGHT", Attr::Height}, {"PLAIN", Attr::Plain},
    {"TARGET", Attr::Target}, {"NORESIZE", Attr::NoResize}, {"SCROLLING", Attr::Scrolling},
    {"HSPACE", Attr::HSpace}};

static_assert(AllKeyable(kAttrNames, [](const AttrName& a) { return a.name; }), "an attribute name too long for its key");

Attr AttrOf(uint64_t key) {
  static const NameTable<Attr> kTable = [] {
    std::vector<std::pair<std::string_view, Attr>> names;
    for (const AttrName& a : kAttrNames) names.push_back({a.name, a.which});
    return NameTable<Attr>(names);
  }();
  return kTable.Find(key, Attr::Unknown);
}

// Entities: the four markup characters, then the names of 160 .. 255 in code
// order (215 and 247 have none).
constexpr const char* kLatin1Entities[96] = {
    "nbsp", "iexcl", "cent", "pound", "curren", "yen", "brvbar", "sect", "uml", "copy", "ordf", "laquo",
    "not", "shy", "reg", "macr", "deg", "plusmn", "sup2", "sup3", "acute", "micro", "para", "middot",
    "cedil", "sup1", "ordm", "raquo", "frac14", "frac12", "frac34", "iquest", "Agrave", "Aacute", "Acirc",
    "Atilde", "Auml", "Aring", "AElig", "Ccedil", "Egrave", "Eacute", "Ecirc", "Euml", "Igrave", "Iacute",
    "Icirc", "Iuml", "ETH", "Ntilde", "Ograve", "Oacute", "Ocirc", "Otilde", "Ouml", "", "Oslash", "Ugrave",
    "Uacute", "Ucirc", "Uuml", "Yacute", "THORN", "szlig", "agrave", "aacute", "acirc", "atilde", "auml",
    "aring", "aelig", "ccedil", "egrave", "eacute", "ecirc", "euml", "igrave", "iacute", "icirc", "iuml",
    "eth", "ntilde", "ograve", "oacute", "ocirc", "otilde", "ouml", "", "oslash", "ugrave", "uacute",
    "ucirc", "uuml", "yacute", "thorn", "yuml"};

// The other names of HTML 4 (markup-significant, typographic and symbol
// characters). Unlike the older names above, they count only with their ";".
struct NamedChar {
  const char* name;
  char16_t code;
};
constexpr NamedChar kHtml4Entities[] = {
    {"apos", 39}, {"OElig", 338}, {"oelig", 339}, {"Scaron", 352}, {"scaron", 353}, {"Yuml", 376},
    {"fnof", 402}, {"circ", 710}, {"tilde", 732}, {"Alpha", 913}, {"Beta", 914}, {"Gamma", 915},
    {"Delta", 916}, {"Epsilon", 917}, {"Zeta", 918}, {"Eta", 919}, {"Theta", 920}, {"Iota", 921},
    {"Kappa", 922}, {"Lambda", 923}, {"Mu", 924}, {"Nu", 925}, {"Xi", 926}, {"Omicron", 927}, {"Pi", 928},
    {"Rho", 929}, {"Sigma", 931}, {"Tau", 932}, {"Upsilon", 933}, {"Phi", 934}, {"Chi", 935}, {"Psi", 936},
    {"Omega", 937}, {"alpha", 945}, {"beta", 946}, {"gamma", 947}, {"delta", 948}, {"epsilon", 949},
    {"zeta", 950}, {"eta", 951}, {"theta", 952}, {"iota", 953}, {"kappa", 954}, {"lambda", 955}, {"mu", 956},
    {"nu", 957}, {"xi", 958}, {"omicron", 959}, {"pi", 960}, {"rho", 961}, {"sigmaf", 962}, {"sigma", 963},
    {"tau", 964}, {"upsilon", 965}, {"phi", 966}, {"chi", 967}, {"psi", 968}, {"omega", 969},
    {"thetasym", 977}, {"upsih", 978}, {"piv", 982}, {"ensp", 8194}, {"emsp", 8195}, {"thinsp", 8201},
    {"zwnj", 8204}, {"zwj", 8205}, {"lrm", 8206}, {"rlm", 8207}, {"ndash", 8211}, {"mdash", 8212},
    {"lsquo", 8216}, {"rsquo", 8217}, {"sbquo", 8218}, {"ldquo", 8220}, {"rdquo", 8221}, {"bdquo", 8222},
    {"dagger", 8224}, {"Dagger", 8225}, {"bull", 8226}, {"hellip", 8230}, {"permil", 8240}, {"prime", 8242},
    {"Prime", 8243}, {"lsaquo", 8249}, {"rsaquo", 8250}, {"oline", 8254}, {"frasl", 8260}, {"euro", 8364},
    {"image", 8465}, {"weierp", 8472}, {"real", 8476}, {"trade", 8482}, {"alefsym", 8501}, {"larr", 8592},
    {"uarr", 8593}, {"rarr", 8594}, {"darr", 8595}, {"harr", 8596}, {"crarr", 8629}, {"lArr", 8656},
    {"uArr", 8657}, {"rArr", 8658}, {"dArr", 8659}, {"hArr", 8660}, {"forall", 8704}, {"part", 8706},
    {"exist", 8707}, {"empty", 8709}, {"nabla", 8711}, {"isin", 8712}, {"notin", 8713}, {"ni", 8715},
    {"prod", 8719}, {"sum", 8721}, {"minus", 8722}, {"lowast", 8727}, {"radic", 8730}, {"prop", 8733},
    {"infin", 8734}, {"ang", 8736}, {"and", 8743}, {"or", 8744}, {"cap", 8745}, {"cup", 8746}, {"int", 8747},
    {"there4", 8756}, {"sim", 8764}, {"cong", 8773}, {"asymp", 8776}, {"ne", 8800}, {"equiv", 8801},
    {"le", 8804}, {"ge", 8805}, {"sub", 8834}, {"sup", 8835}, {"nsub", 8836}, {"sube", 8838}, {"supe", 8839},
    {"oplus", 8853}, {"otimes", 8855}, {"perp", 8869}, {"sdot", 8901}, {"lceil", 8968}, {"rceil", 8969},
    {"lfloor", 8970}, {"rfloor", 8971}, {"lang", 9001}, {"rang", 9002}, {"loz", 9674}, {"spades", 9824},
    {"clubs", 9827}, {"hearts", 9829}, {"diams", 9830}};

// The character of an entity name; `closed`: a ";" follows the name.
std::optional<char16_t> EntityChar(const QString& name, bool closed) {
  struct Entry {
    char16_t code;
    bool needsEnd;
  };
  static const QHash<QString, Entry> kNames = [] {
    QHash<QString, Entry> h;
    h.insert("amp", {u'&', false});
    h.insert("lt", {u'<', false});
    h.insert("gt", {u'>', false});
    h.insert("quot", {u'"', false});
    for (int i = 0; i < 96; ++i)
      if (kLatin1Entities[i][0]) h.insert(QLatin1String(kLatin1Entities[i]), {char16_t(160 + i), false});
    for (const NamedChar& e : kHtml4Entities) h.insert(QLatin1String(e.name), {e.code, true});
    return h;
  }();
  auto it = kNames.constFind(name);
  if (it == kNames.constEnd() || (it->needsEnd && !closed)) return std::nullopt;
  return it->code;
}

// The text of a numeric reference, read as browsers read it: 128 .. 159 as
// their Windows-1252 characters; no code point, a surrogate or a C1 control
// without such a character as U+FFFD; other control codes as a blank, since
// they would collide with the model's placeholder characters.
std::u16string ReferenceText(char32_t code) {
  constexpr char16_t kReplacement = 0xFFFD;
  if (code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return {kReplacement};
  if (code >= 0x80 && code < 0xA0) {
    char16_t c = Cp1252ToUnicode((unsigned char)code);
    return {c < 0xA0 ? kReplacement : c};
  }
  if (code < 32) return {u' '};
  if (code > 0xFFFF) {
    code -= 0x10000;
    return {char16_t(0xD800 + (code >> 10)), char16_t(0xDC00 + (code & 0x3FF))};
  }
  return {char16_t(code)};
}

// HTML sizes 1 .. 7 as point sizes, for proportional and fixed fonts.
constexpr std::array<int, 7> kFontSizes = {8, 10, 12, 14, 18, 24, 36};
constexpr std::array<int, 7> kFixedSizes = {7, 8, 10, 12, 15, 20, 30};
constexpr std::array<int, 6> kHeadingSizes = {24, 18, 14, 12, 10, 8};

enum class SyKind { Tag, EndTag, Unknown, Text, Char, End };

struct Symbol {
  SyKind kind = SyKind::End;
  Tag tag = Tag::Html;
  bool Is(Tag t) const { return kind == SyKind::Tag && tag == t; }
  bool IsEnd(Tag t) const { return kind == SyKind::EndTag && tag == t; }
};

// Symbols a builder stops at: start and end forms of tags.
class StopSet {
 public:
  StopSet& Start(std::initializer_list<Tag> tags) {
    for (Tag t : tags) bits_.set(size_t(t) * 2);
    return *this;
  }
  StopSet& End(std::initializer_list<Tag> tags) {
    for (Tag t : tags) bits_.set(size_t(t) * 2 + 1);
    return *this;
  }
  StopSet operator|(const StopSet& o) const {
    StopSet s;
    s.bits_ = bits_ | o.bits_;
    return s;
  }
  bool Holds(const Symbol& s) const {
    if (s.kind == SyKind::Tag) return bits_.test(size_t(s.tag) * 2);
    if (s.kind == SyKind::EndTag) return bits_.test(size_t(s.tag) * 2 + 1);
    return false;
  }

 private:
  std::bitset<kTagCount * 2> bits_;
};

StopSet ListEnds() {
  return StopSet().End({Tag::Ol, Tag::Ul, Tag::Dir, Tag::Menu, Tag::Dl, Tag::Blockquote});
}
StopSet CellEnds() {
  return StopSet()
      .Start({Tag::Td, Tag::Th, Tag::Tr, Tag::Caption})
      .End({Tag::Td, Tag::Th, Tag::Caption, Tag::Table});
}

uint8_t AlignJustify(const QString& value, uint8_t absent) {
  QString v = value.toLower();
  if (v == "center" || v == "middle") return kCentre;
  if (v == "right") return kRight;
  if (v == "left" || v == "justify") return kLeft;
  return absent;
}

// The tokenizer: characters (line ends and comments folded away), then symbols.
class Tokenizer {
 public:
  explicit Tokenizer(const std::u16string& text) : text_(text) { GetCh(); }

  Symbol Sy;
  std::u16string LCurString;
  int HeadingLevel = 1;
  TAttributeList Attributes;
  bool InPre = false;
  bool OpenComment = false;  // the text ended inside a comment or declaration

  void Next() {
    for (;;) {
      if (ch_ == kEndMark) {
        Sy = {SyKind::End};
        return;
      }
      if (ch_ == '<') {
        int after = PeekRaw();
        if (after == '?') {  // processing instruction: a declaration, not text
          SkipToTagEnd();
          continue;
        }
        if (IsAsciiLetter(after) || after == '/') {
          ReadTag();
          return;
        }
      }
      if (ch_ == '&') {
        ReadEntity();
        return;
      }
      if (IsTextChar(ch_) || ch_ == '<' || ch_ == '>') {
        ReadText();
        return;
      }
      Sy = {SyKind::Char};
      GetCh();
      return;
    }
  }

  // The text from the current character up to the (case-insensitive) end tag,
  // which is taken with everything up to its ">"; comments are not folded.
  std::u16string ReadRawUntil(const QString& endTag) {
    QStringView rest(text_.data() + chStart_, qsizetype(text_.size() - size_t(chStart_)));
    qsizetype at = rest.indexOf(endTag, 0, Qt::CaseInsensitive);
    std::u16string raw;
    if (at < 0) {
      raw = text_.substr(size_t(chStart_));
      pos_ = text_.size();
    } else {
      raw = text_.substr(size_t(chStart_), size_t(at));
      pos_ = size_t(chStart_ + at + endTag.size());
      while (pos_ < text_.size() && text_[pos_] != u'>') ++pos_;
      if (pos_ < text_.size()) ++pos_;
    }
    GetCh();
    return raw;
  }

 private:
  const std::u16string& text_;
  size_t pos_ = 0;
  int ch_ = kEndMark;   // LCh
  int chStart_ = 0;     // where the current character begins in the text
  bool inComment_ = false;

  int PeekRaw() const { return pos_ < text_.size() ? text_[pos_] : kEndMark; }

  void GetChBasic() {
    chStart_ = int(pos_);
    if (pos_ >= text_.size()) {
      ch_ = kEndMark;
      if (inComment_) OpenComment = true;
      return;
    }
    int c = text_[pos_++];
    if (c == '\r' || c == '\n') {
      int other = c == '\r' ? '\n' : '\r';
      if (pos_ < text_.size() && text_[pos_] == other) ++pos_;
      c = '\r';
    } else if (c == '\t') {
      c = ' ';
    }
    ch_ = c;
  }

  // Comments and "<!" declarations vanish from the character stream.
  void GetCh() {
    for (;;) {
      GetChBasic();
      if (ch_ != '<' || PeekRaw() != '!') return;
      if (OpenComment) return;
      inComment_ = true;
      GetChBasic();  // "!"
      if (text_.compare(pos_, 2, u"--") == 0) {
        pos_ += 2;
        // "<!-->" and "<!--->" are empty comments, and "--!>" ends one, as
        // browsers read them.
        int dashes = text_.compare(pos_, 1, u">") == 0 || text_.compare(pos_, 2, u"->") == 0 ? 2 : 0;
        for (;;) {
          GetChBasic();
          if (ch_ == kEndMark) return;
          if (ch_ == '-') {
            ++dashes;
            continue;
          }
          if (dashes >= 2) {
            if (ch_ == '!' && PeekRaw() == '>')
              GetChBasic();
            else
              while (ch_ == ' ' || ch_ == '\r') GetChBasic();
            if (ch_ == '>') break;
            if (ch_ == kEndMark) return;
          }
          dashes = ch_ == '-' ? 1 : 0;
        }
      } else {
        do GetChBasic();
        while (ch_ != '>' && ch_ != kEndMark);
        if (ch_ == kEndMark) return;
      }
      inComment_ = false;
    }
  }

  void SkipWhiteSpace() {
    while (ch_ == ' ' || ch_ == '\r') GetCh();
  }
  // The rest of a tag, quoted values skipped whole.
  void SkipToTagEnd() {
    bool afterEquals = false;
    while (ch_ != '>' && ch_ != kEndMark) {
      if (afterEquals && (ch_ == '"' || ch_ == '\'')) {
        ReadQuoted(false);
        afterEquals = false;
        continue;
      }
      if (ch_ == '=')
        afterEquals = true;
      else if (ch_ != ' ' && ch_ != '\r')
        afterEquals = false;
      GetCh();
    }
    if (ch_ == '>') GetCh();
  }
  static bool IsTextChar(int c) { return c >= 32 || c == '\r'; }
  static bool IsNameChar(int c) {
    return IsAsciiLetter(c) || IsDigit(c) || c == '-' || c == '_' || c == ':' || c == '.';
  }

  void ReadTag() {
    GetCh();  // "<"
    bool end = false;
    if (ch_ == '/') {
      end = true;
      GetCh();
    }
    NameReader name;
    while (IsAsciiLetter(ch_)) {
      name.Add(ch_);
      GetCh();
    }
    const int found = TagIndex(name.Key());
    if (!end && (name.Key() == NameKey("SCRIPT") || name.Key() == NameKey("STYLE"))) {
      SkipToTagEnd();
      ReadRawUntil(name.Key() == NameKey("SCRIPT") ? QStringLiteral("</script") : QStringLiteral("</style"));
      Sy = {SyKind::Unknown};
      return;
    }
    Tag tag = found >= 0 ? Tag(found) : Tag::Html;
    if (found < 0 || (end && !HasEnd(tag)))
      Sy = {SyKind::Unknown};
    else
      Sy = {end ? SyKind::EndTag : SyKind::Tag, tag};
    SkipWhiteSpace();
    if (found >= 0 && tag == Tag::H) {
      HeadingLevel = 1;
      if (ch_ >= '1' && ch_ <= '6') {
        HeadingLevel = ch_ - '0';
        GetCh();
      }
    }
    if (Sy.kind == SyKind::Tag && TakesAttributes(tag)) {
      Attributes.Clear();
      while (GetAttribute()) {
      }
    }
    SkipToTagEnd();
  }

  bool GetAttribute() {
    SkipWhiteSpace();
    if (!IsAsciiLetter(ch_)) return false;
    // Names such as DATA-X or XML:LANG are read whole (and unknown), so that
    // the attributes after them are still read.
    NameReader name;
    while (IsNameChar(ch_)) {
      name.Add(ch_);
      GetCh();
    }
    const Attr which = AttrOf(name.Key());
    SkipWhiteSpace();
    int value = which == Attr::Border ? 1 : 0;
    QString text;
    if (ch_ == '=') {
      GetCh();
      SkipWhiteSpace();
      if (ch_ == '"' || ch_ == '\'') {
        text = ReadQuoted(true);
        QString n = text.endsWith('%') ? text.chopped(1) : text;
        bool ok = false;
        value = n.trimmed().toInt(&ok);
        if (!ok) value = 0;
      } else if (ch_ == '+' || ch_ == '-' || IsDigit(ch_)) {
        while (ch_ != ' ' && ch_ != '\r' && ch_ != '%' && ch_ != '>' && ch_ != kEndMark) {
          text += QChar(char16_t(ch_));
          GetCh();
        }
        bool ok = false;
        value = text.toInt(&ok);
        if (!ok) value = 0;
        SkipWhiteSpace();
        if (ch_ == '%') {
          text += '%';
          GetCh();
        }
      } else {
        while (ch_ != ' ' && ch_ != '\r' && ch_ != '>' && ch_ != kEndMark) {
          text += QChar(char16_t(ch_));
          GetCh();
        }
      }
    }
    Attributes.Add(which, value, text);
    return true;
  }

  // At an opening quote: the value up to the same quote, entities decoded and
  // line ends dropped (kept only when `keep`). A ">" inside ends the value
  // (and then the tag) unless the value is closed after it, so that a quote
  // left open loses no more than the tag it is in.
  QString ReadQuoted(bool keep) {
    const int quote = ch_;
    GetChBasic();  // inside a value "<!" opens nothing
    QString text;
    bool closed = false;  // the quote ahead closes it: no later ">" looks again
    while (ch_ != quote && ch_ != kEndMark) {
      if (ch_ == '>' && !closed && !(closed = ClosedLater(quote))) break;
      if (ch_ == '&' && keep) {
        // The entity reader makes a text symbol; the tag stays the symbol read.
        const Symbol tag = Sy;
        ReadEntity();
        Sy = tag;
        text += QString::fromStdU16String(LCurString);
        continue;
      }
      if (ch_ != '\r' && keep) text += QChar(char16_t(ch_));
      GetChBasic();
    }
    if (ch_ == quote) GetCh();
    return keep ? HtmlTrim(text) : QString();
  }
  // At a ">" inside a value: whether the next such quote can close it, being
  // followed by a blank, "/", ">" or the end, and not opening another value
  // right after "=".
  bool ClosedLater(int quote) const {
    size_t q = text_.find(char16_t(quote), pos_);
    if (q == std::u16string::npos || text_[q - 1] == u'=') return false;
    char16_t after = q + 1 < text_.size() ? text_[q + 1] : u' ';
    return after == u' ' || after == u'\t' || after == u'\r' || after == u'\n' || after == u'/' || after == u'>';
  }

  // At "&": the character, or "&" and what was read as plain text.
  void ReadEntity() {
    Sy = {SyKind::Text};
    LCurString.assign(1, u'&');
    GetCh();
    if (ch_ == '#') {
      LCurString += u'#';
      GetCh();
      const bool hex = ch_ == 'x' || ch_ == 'X';
      if (hex) {
        LCurString += char16_t(ch_);
        GetCh();
      }
      auto digit = [&](int c) {
        if (IsDigit(c)) return c - '0';
        int u = Upper(c);
        return hex && u >= 'A' && u <= 'F' ? u - 'A' + 10 : -1;
      };
      // Any number of digits; a value past the last code point stays past it.
      char32_t code = 0;
      int digits = 0;
      for (int d; (d = digit(ch_)) >= 0; ++digits) {
        code = std::min<char32_t>(code * (hex ? 16 : 10) + char32_t(d), 0x110000);
        GetCh();
      }
      if (digits == 0) return;
      if (ch_ == ';') GetCh();
      LCurString = ReferenceText(code);
      return;
    }
    QString name;
    while ((IsAsciiLetter(ch_) || IsDigit(ch_)) && name.size() <= kMaxEntityName) {
      name += QChar(char16_t(ch_));
      GetCh();
    }
    std::optional<char16_t> c = name.size() <= kMaxEntityName ? EntityChar(name, ch_ == ';') : std::nullopt;
    if (!c) {
      LCurString += name.toStdU16String();
      return;
    }
    if (ch_ == ';') GetCh();
    LCurString = std::u16string(1, *c);
  }

  void ReadText() {
    Sy = {SyKind::Text};
    LCurString.clear();
    while (int(LCurString.size()) < kMaxTextSymbol && ch_ != kEndMark && ch_ != '&') {
      if (ch_ == '<' && (IsAsciiLetter(PeekRaw()) || PeekRaw() == '/' || PeekRaw() == '?')) break;
      if (!IsTextChar(ch_)) break;
      if (!InPre && (ch_ == ' ' || ch_ == '\r')) {
        LCurString += u' ';
        SkipWhiteSpace();
        continue;
      }
      LCurString += char16_t(ch_);
      GetCh();
    }
  }
};

// The builders: one document at a time.
class Reader {
 public:
  Reader(TSectionList& list, TAnchorList& anchors, const std::u16string& text)
      : list_(list), anchors_(anchors), tok_(text), cell_(&list) {
    TMyFont bottom;
    bottom.Name = list.FontName;
    bottom.SetNormalSize(list, 12);
    bottom.FontColor = list.FontColor | kPaletteRelative;
    fonts_.push_back(bottom);
    list_.CurrentStyle = 0;
    list_.CurrentSScript = 0;
    list_.CurrentForm = nullptr;
  }

  TParseResult Read() {
    tok_.Next();
    Content(StopSet(), nullptr);
    End();
    if (tok_.OpenComment) throw EParseError("Open Comment at End of HTML File");
    return result_;
  }

  void ReadPlain() {
    TMyFont f = PreFont();
    auto pre = std::make_unique<TPreFormated>(&list_, 0, f, nullptr, kLeft);
    section_ = std::move(pre);
    // The text as the character reader gives it: one CR per line end, TAB as space.
    std::u16string text;
    const std::u16string& t = *plain_;
    text.reserve(t.size());
    for (size_t i = 0; i < t.size(); ++i) {
      char16_t c = t[i];
      if (c == u'\r' || c == u'\n') {
        if (i + 1 < t.size() && (t[i + 1] == u'\r' || t[i + 1] == u'\n') && t[i + 1] != c) ++i;
        c = u'\r';
      } else if (c == u'\t') {
        c = u' ';
      } else if (c < 32) {
        continue;
      }
      text += c;
    }
    AddText(text);
    End();
  }
  const std::u16string* plain_ = nullptr;

 private:
  struct ListContext {
    Tag kind;
    int number = 1;
    bool plain = false;
    // The item's number; past the largest one every item keeps it.
    int Take() { return number < INT_MAX ? number++ : number; }
  };

  TSectionList& list_;
  TAnchorList& anchors_;
  Tokenizer tok_;
  TParseResult result_;
  std::vector<TMyFont> fonts_;
  int refusedPushes_ = 0;
  // Inside a preformatted block its fixed font sits on the stack as the
  // block's floor: an end tag there whose font was pushed before the block
  // pops nothing until the block ends (it is owed), and fonts left open in
  // the block end with it.
  struct PreBlock {
    size_t floor;       // index of the block's font in fonts_
    int owedPops = 0;
    bool linkInside = false;  // the open link was opened in the block
  };
  std::optional<PreBlock> pre_;
  std::unique_ptr<TSection> section_;
  bool sectionAnchored_ = false;
  TCell* cell_;
  uint8_t justify_ = kLeft;
  std::vector<uint8_t> divs_;  // the justification in force before each open DIV
  size_t divFloor_ = 0;        // the open DIVs of the enclosing cells
  int level_ = 0;
  int depth_ = 0;
  bool inLink_ = false;
  TUrlTarget currentUrl_;
  int baseFontSize_ = 3;

  const TAttributeList& Attrs() const { return tok_.Attributes; }
  const TAttribute* Find(Attr a) const { return tok_.Attributes.Find(a); }
  void Next() { tok_.Next(); }
  const Symbol& Sy() const { return tok_.Sy; }

  void End() {
    Finish();
    list_.CurrentForm = nullptr;
  }

  // --- fonts
  const TMyFont& Top() const { return fonts_.back(); }
  TMyFont PreFont() const {
    TMyFont f = Top();
    f.Fixed = true;
    f.Name = list_.PreFontName;
    f.SetNormalSize(list_, f.NormalSize);
    return f;
  }
  // A refused push (the stack is full) is remembered, so that its end tag
  // pops nothing an enclosing tag pushed.
  bool Push(const TMyFont& font) {
    if (int(fonts_.size()) >= kMaxFontStack) {
      ++refusedPushes_;
      return false;
    }
    fonts_.push_back(font);
    NewRun();
    return true;
  }
  void Pop() {
    if (refusedPushes_ > 0) {
      --refusedPushes_;
      return;
    }
    if (pre_ && fonts_.size() <= pre_->floor + 1)
      ++pre_->owedPops;
    else if (fonts_.size() > 1)
      fonts_.pop_back();
    NewRun();
  }
  void NewRun() {
    if (section_) section_->ChangeFont(Top());
  }

  // --- sections
  void Finish() {
    if (!section_) return;
    if (section_->Buff.empty()) {
      if (section_->ListType != kPlainList) {
        section_->CheckEmpty();
      } else if (!sectionAnchored_ && section_->ClearAttr == 0) {  // a clearing break keeps its clearance
        section_.reset();
        return;
      }
    }
    cell_->Add(std::move(section_));
    sectionAnchored_ = false;
  }
  void Open() { Open(justify_); }
  void Open(uint8_t justify) {
    Finish();
    section_ = std::make_unique<TSection>(&list_, level_, Top(), inLink_ ? &currentUrl_ : nullptr, justify);
    sectionAnchored_ = false;
  }
  void SetSection(std::unique_ptr<TSection> s) {
    Finish();
    section_ = std::move(s);
    sectionAnchored_ = false;
  }
  void EnsureSection() {
    if (!section_) Open();
  }
  void AddText(const std::u16string& text) {
    EnsureSection();
    section_->AddText(text);
  }
  void AddSection(std::unique_ptr<TSectionBase> s) {
    Finish();
    cell_->Add(std::move(s));
  }

  // --- the outer loop: every builder falls back on it
  void Content(const StopSet& stops, ListContext* listCtx) {
    while (Sy().kind != SyKind::End && !stops.Holds(Sy())) {
      const Symbol s = Sy();
      if (s.kind == SyKind::Tag) {
        switch (s.tag) {
          case Tag::Title: ReadTitle(); continue;
          case Tag::Body: DoBodyTag(); continue;
          case Tag::Base:
            if (auto* a = Find(Attr::Href)) result_.Base = a->Name;
            if (auto* a = Find(Attr::Target)) result_.BaseTarget = a->Name;
            Next();
            continue;
          case Tag::Hr:
            AddSection(std::make_unique<THorzLine>(&list_, Attrs()));
            Next();
            continue;
          case Tag::Ol: case Tag::Ul: case Tag::Dir: case Tag::Menu: case Tag::Dl: case Tag::Blockquote:
            DoList(s.tag, stops);
            continue;
          case Tag::Table: DoTable(stops); continue;
          case Tag::Li:
            if (listCtx) {
              SetSection(listCtx->kind == Tag::Ol
                             ? std::unique_ptr<TSection>(std::make_unique<TOListItem>(
                                   &list_, level_, Top(), inLink_ ? &currentUrl_ : nullptr, justify_,
                                   listCtx->Take()))
                             : std::make_unique<TUListItem>(&list_, level_, Top(),
                                                            inLink_ ? &currentUrl_ : nullptr, justify_,
                                                            listCtx->plain));
              Next();
              if (Sy().Is(Tag::P)) Next();
            } else {
              Open();  // an item outside any list: a line of its own
              Next();
            }
            continue;
          case Tag::Dt: case Tag::Dd:
            if (listCtx)
              SetSection(std::make_unique<TDListItem>(&list_, level_, Top(), inLink_ ? &currentUrl_ : nullptr,
                                                      justify_));
            else
              Open();
            Next();
            continue;
          default:
            break;
        }
      }
      Block(stops);
    }
  }

  void ReadTitle() {
    Next();
    QString title;
    while (Sy().kind == SyKind::Text || Sy().kind == SyKind::Char) {
      if (Sy().kind == SyKind::Text) title += QString::fromStdU16String(tok_.LCurString);
      Next();
    }
    if (result_.Title.isEmpty()) result_.Title = title.simplified();
  }

  // The page colours hold while no section is in the document yet; the open
  // section a line end before BODY starts is not one of them.
  void DoBodyTag() {
    if (list_.Sections.empty()) {
      Color c;
      for (const TAttribute& a : Attrs().Items()) {
        if (a.Which == Attr::Text && ColorFromString(a.Name, c)) {
          list_.FontColor = c | kPaletteRelative;
          fonts_.front().FontColor = list_.FontColor;
          if (fonts_.size() == 1) NewRun();
        }
        if (a.Which == Attr::Link && ColorFromString(a.Name, c)) list_.HotSpotColor = c | kPaletteRelative;
        if (a.Which == Attr::BgColor && ColorFromString(a.Name, c)) list_.SetBackground(c | kPaletteRelative);
        if (a.Which == Attr::Background && !a.Name.isEmpty()) list_.SetBackgroundBitmap(a.Name);
      }
    }
    Next();
  }

  // --- the block builder: one symbol
  void Block(const StopSet& stops) {
    const Symbol s = Sy();
    if (s.kind == SyKind::Text) {
      AddText(tok_.LCurString);
      Next();
      return;
    }
    if (s.kind != SyKind::Tag && s.kind != SyKind::EndTag) {
      Next();
      return;
    }
    const bool end = s.kind == SyKind::EndTag;
    if (s.tag == Tag::P) return DoParagraphs();
    if (!end && ReadElement(s.tag, stops)) return;
    if (!ChangeFont(s.tag, end)) ChangeBlock(s.tag, end);
    Next();
  }

  // The elements read with their content, up to the symbol after them.
  bool ReadElement(Tag tag, const StopSet& stops) {
    switch (tag) {
      case Tag::Pre: DoPre(stops); return true;
      case Tag::Select: DoSelect(); return true;
      case Tag::TextArea: DoTextArea(); return true;
      case Tag::Map: DoMap(); return true;
      default: return false;
    }
  }

  // Start and end tags of the font and style of the text that follows;
  // false for any other tag.
  bool ChangeFont(Tag tag, bool end) {
    switch (tag) {
      case Tag::B: case Tag::Strong: SetStyle(kBold, !end); return true;
      case Tag::I: case Tag::Em: case Tag::Cite: case Tag::Var: SetStyle(kItalic, !end); return true;
      case Tag::U: SetStyle(kUnderline, !end); return true;
      case Tag::Sub: case Tag::Sup:
        list_.CurrentSScript = end ? 0 : tag == Tag::Sub ? 1 : 2;
        NewRun();
        return true;
      case Tag::Tt: case Tag::Code: case Tag::Kbd: case Tag::Samp:
        if (end) Pop();
        else Push(PreFont());
        return true;
      case Tag::Font: case Tag::Big: case Tag::Small:
        if (end) Pop();
        else if (tag == Tag::Font) DoFont(false);
        else DoBigSmall(tag == Tag::Big);
        return true;
      case Tag::BaseFont:
        if (!end) DoFont(true);
        return true;
      default: return false;
    }
  }

  // Line breaks, headings, blocks, links, images, forms and their controls.
  void ChangeBlock(Tag tag, bool end) {
    switch (tag) {
      case Tag::Br:
        if (!end) DoBreak();
        break;
      case Tag::H:
        if (end) EndHeading();
        else StartHeading();
        break;
      case Tag::Address: DoAddress(end); break;
      case Tag::Center: DoCenter(end); break;
      case Tag::Div: DoDiv(end); break;
      case Tag::A: DoAnchor(end); break;
      case Tag::Img:
        if (!end) {
          EnsureSection();
          section_->AddImage(Attrs());
        }
        break;
      case Tag::Form:
        if (end) list_.CurrentForm = nullptr;
        else ThtmlForm::Open(&list_, Attrs());
        break;
      case Tag::Input:
        EnsureSection();
        section_->AddFormControl(InputKind(Attrs()), Attrs());
        break;
      case Tag::Page: AddSection(std::make_unique<TPage>(&list_)); break;
      default: break;
    }
  }

  // A line break ends the line with its justification; CLEAR may move the
  // next one below floating images.
  void DoBreak() {
    const uint8_t j = section_ ? section_->Justify : justify_;
    if (section_) section_->CheckEmpty();
    Open(j);
    section_->ProcessClear(Attrs());
  }

  // A heading is a section of its own in a bold font of its level, with
  // room above and below. A heading refused at the font stack's limit
  // counts so that its end pops nothing.
  void StartHeading() {
    if (int(fonts_.size()) >= kMaxFontStack) {
      ++refusedPushes_;
      return;
    }
    uint8_t j = justify_;
    if (auto* a = Find(Attr::Align)) j = AlignJustify(a->Name, justify_);
    Finish();
    TMyFont f = Top();
    f.Style |= kBold;
    f.SetNormalSize(list_, kHeadingSizes[size_t(tok_.HeadingLevel - 1)]);
    fonts_.push_back(f);
    AddSection(std::make_unique<THeadingSpace>(&list_, tok_.HeadingLevel));
    Open(j);
  }
  void EndHeading() {
    if (refusedPushes_ > 0) {
      --refusedPushes_;
      return;
    }
    if (fonts_.size() <= 1) return;
    AddSection(std::make_unique<THeadingSpace>(&list_, tok_.HeadingLevel));
    fonts_.pop_back();
  }

  void DoAddress(bool end) {
    Finish();
    if (end) {
      Pop();
      return;
    }
    TMyFont f = Top();
    f.Style |= kItalic;
    if (Push(f)) Open();
  }

  // The text up to </textarea> as it stands (line ends as LF, the first one
  // dropped) is the control's initial text.
  void DoTextArea() {
    EnsureSection();
    auto* c = static_cast<TTextAreaFormControlObj*>(section_->AddFormControl(ControlKind::TextArea, Attrs()));
    std::u16string raw = tok_.ReadRawUntil("</textarea");
    QString text = QString::fromStdU16String(raw);
    text.replace("\r\n", "\n").replace('\r', '\n');
    if (text.startsWith('\n')) text.remove(0, 1);
    c->TheText = text;
    c->SetText(text);
    Next();
  }

  // A DIV is a block of its own: the line before it and its own last line
  // end, and its ALIGN holds for what it holds, as P's does for a paragraph.
  // Its end restores the alignment it found; a cell ends the DIVs left open
  // in it, and the end of a DIV opened outside the cell does nothing there.
  void DoDiv(bool end) {
    if (end) {
      if (divs_.size() <= divFloor_) return;
      const uint8_t outer = divs_.back();
      divs_.pop_back();
      BreakLine(outer);
      return;
    }
    const TAttribute* a = Find(Attr::Align);
    divs_.push_back(justify_);
    BreakLine(a ? AlignJustify(a->Name, justify_) : justify_);
  }
  // CENTER centres what it holds and its end gives back the alignment it
  // found, in the DIVs' stack (a cell ends those left open in it too).
  void DoCenter(bool end) {
    Finish();
    if (!end) {
      divs_.push_back(justify_);
      justify_ = kCentre;
    } else if (divs_.size() > divFloor_) {
      justify_ = divs_.back();
      divs_.pop_back();
    }
  }
  // Ends the open section's line; what follows opens a section with the
  // justification. A section with nothing in it yet (a list item's first
  // line, a paragraph just begun) stays open for what follows.
  void BreakLine(uint8_t justify) {
    justify_ = justify;
    if (section_ && section_->Buff.empty()) {
      section_->Justify = justify;
      return;
    }
    Finish();
  }
  void EndCellDivs() { divs_.resize(std::min(divs_.size(), divFloor_)); }

  void SetStyle(uint8_t bit, bool on) {
    if (on) list_.CurrentStyle |= bit;
    else list_.CurrentStyle &= uint8_t(~bit);
    NewRun();
  }

  void DoParagraphs() {
    uint8_t j = justify_;
    Finish();
    AddSection(std::make_unique<TParagraphSpace>(&list_));
    while (Sy().Is(Tag::P) || Sy().IsEnd(Tag::P)) {
      if (Sy().Is(Tag::P)) {
        const TAttribute* a = Find(Attr::Align);
        j = a ? AlignJustify(a->Name, justify_) : justify_;
      }
      Next();
    }
    Open(j);
  }

  int HtmlSizeOf(const TMyFont& f) const {
    const auto& table = f.Fixed ? kFixedSizes : kFontSizes;
    for (size_t i = 0; i < table.size(); ++i)
      if (table[i] >= f.NormalSize) return int(i) + 1;
    return 7;
  }
  int PointsOf(const TMyFont& f, int htmlSize) const {
    return (f.Fixed ? kFixedSizes : kFontSizes)[size_t(std::clamp(htmlSize, 1, 7) - 1)];
  }

  void DoFont(bool baseFont) {
    TMyFont f = Top();
    if (const TAttribute* a = Find(Attr::Size)) {
      QString v = a->Name.trimmed();
      // Any step or size beyond the seven sizes gives the last one.
      long long n = std::clamp(v.toLongLong(), -100LL, 100LL);
      int size = int(std::clamp(v.size() > 1 && (v[0] == '+' || v[0] == '-') ? baseFontSize_ + n : n, 1LL, 7LL));
      if (baseFont) {
        baseFontSize_ = size;
        return;
      }
      f.SetNormalSize(list_, PointsOf(f, size));
    }
    if (baseFont) return;
    Color c;
    if (const TAttribute* a = Find(Attr::Color); a && ColorFromString(a->Name, c)) f.FontColor = c | kPaletteRelative;
    if (const TAttribute* a = Find(Attr::Face); a && !a->Name.trimmed().isEmpty() && !f.Fixed)
      f.Name = a->Name.section(',', 0, 0).trimmed();
    Push(f);
  }

  void DoBigSmall(bool big) {
    TMyFont f = Top();
    int size = HtmlSizeOf(f);
    if (big && size < 7) f.SetNormalSize(list_, PointsOf(f, size + 1));
    if (!big && size > 1) f.SetNormalSize(list_, PointsOf(f, size - 1));
    Push(f);  // an unchanged copy still pushes, so the end tag pops its own
  }

  void DoAnchor(bool end) {
    if (end) {
      if (!inLink_) return;
      inLink_ = false;
      if (pre_) pre_->linkInside = false;
      currentUrl_.Clear();
      Pop();
      if (section_) section_->HRef('<', Top(), currentUrl_);
      return;
    }
    const TAttribute* href = Find(Attr::Href);
    const TAttribute* target = Find(Attr::Target);
    if (href && !href->Name.isEmpty()) {
      if (inLink_) {  // a link left open: the new one replaces it
        inLink_ = false;
        Pop();
      }
      currentUrl_.Assign(href->Name, target ? target->Name : QString());
      TMyFont f = Top();
      f.Style |= kUnderline;
      f.FontColor = list_.HotSpotColor | kPaletteRelative;
      inLink_ = true;
      if (pre_) pre_->linkInside = true;
      Push(f);
      if (section_) section_->HRef('>', Top(), currentUrl_);
    }
    if (const TAttribute* name = Find(Attr::Name); name && !name->Name.isEmpty()) {
      EnsureSection();
      sectionAnchored_ = true;
      anchors_.push_back({name->Name.toUpper(), section_.get(), section_->Len()});
    }
  }

  void DoPre(const StopSet& stops) {
    Finish();
    // The block's font goes on the stack (past its limit if need be), so
    // that every run the block's markup starts is fixed-pitch too.
    pre_ = PreBlock{fonts_.size()};
    fonts_.push_back(PreFont());
    SetSection(std::make_unique<TPreFormated>(&list_, level_, Top(), inLink_ ? &currentUrl_ : nullptr, kLeft));
    tok_.InPre = true;
    Next();
    bool first = true;
    const StopSet preStops = stops | StopSet().End({Tag::Pre});
    while (Sy().kind != SyKind::End && !preStops.Holds(Sy())) {
      const Symbol s = Sy();
      if (s.kind == SyKind::Text) {
        std::u16string t = tok_.LCurString;
        if (first && !t.empty() && t[0] == u'\r') t.erase(0, 1);  // the line end after <PRE>
        AddText(t);
        Next();
      } else if (s.Is(Tag::Br)) {
        AddText(u"\r");
        Next();
      } else if (s.kind == SyKind::Tag || s.kind == SyKind::EndTag) {
        switch (s.tag) {
          case Tag::B: case Tag::Strong: case Tag::I: case Tag::Em: case Tag::Cite: case Tag::Var: case Tag::U:
          case Tag::Sub: case Tag::Sup: case Tag::Tt: case Tag::Code: case Tag::Kbd: case Tag::Samp:
          case Tag::Font: case Tag::Big: case Tag::Small: case Tag::A: case Tag::Img: case Tag::Input:
          case Tag::Select: case Tag::TextArea: case Tag::Form:
            Block(stops);
            break;
          default:
            Next();
        }
      } else {
        Next();
      }
      first = false;
    }
    tok_.InPre = false;
    Finish();
    EndPreFonts();
    if (Sy().IsEnd(Tag::Pre)) Next();
  }
  // The stack as it was before the block: a link left open in the block
  // closes with it; other fonts left open are dropped, and their end tags
  // after the block count as refused pushes, popping nothing; then the pops
  // owed to fonts from before the block.
  void EndPreFonts() {
    const PreBlock block = *pre_;
    pre_.reset();
    int left = int(fonts_.size() - block.floor) - 1;
    if (inLink_ && block.linkInside) {
      inLink_ = false;
      currentUrl_.Clear();
      --left;
    }
    refusedPushes_ += left;
    fonts_.resize(block.floor);
    for (int i = 0; i < block.owedPops && fonts_.size() > 1; ++i) fonts_.pop_back();
  }

  void DoSelect() {
    TAttributeList attrs = Attrs();
    EnsureSection();
    auto* box = static_cast<TListBoxFormControlObj*>(section_->AddFormControl(SelectKind(attrs), attrs));
    Next();
    const StopSet ends = StopSet()
                             .Start({Tag::Select, Tag::Form, Tag::Table, Tag::Td, Tag::Th, Tag::Tr, Tag::TextArea})
                             .End({Tag::Select, Tag::Form, Tag::Table, Tag::Td, Tag::Th});
    while (Sy().kind != SyKind::End && !ends.Holds(Sy())) {
      if (!Sy().Is(Tag::Option)) {
        Next();
        continue;
      }
      const TAttribute* v = Find(Attr::Value);
      QString value = v ? v->Name : QString();
      bool hasValue = v != nullptr;
      bool selected = Find(Attr::Selected) != nullptr;
      Next();
      QString text;
      while (Sy().kind != SyKind::End && !ends.Holds(Sy()) && !Sy().Is(Tag::Option)) {
        if (Sy().kind == SyKind::Text) text += QString::fromStdU16String(tok_.LCurString);
        Next();
      }
      text = text.simplified();
      box->AddOption(text, hasValue ? value : text, selected);
    }
    box->ResetToValue();  // the options marked SELECTED are the initial choice
    if (Sy().IsEnd(Tag::Select)) Next();
  }

  void DoMap() {
    auto map = std::make_unique<TMapItem>();
    if (const TAttribute* n = Find(Attr::Name)) {
      map->MapName = HtmlTrim(n->Name).toUpper();
      if (map->MapName.startsWith('#')) map->MapName.remove(0, 1);
    }
    Next();
    while (Sy().kind != SyKind::End && !Sy().IsEnd(Tag::Map) && !Sy().Is(Tag::Map)) {
      if (Sy().Is(Tag::Area)) map->AddArea(Attrs());
      Next();
    }
    list_.MapList.push_back(std::move(map));
    if (Sy().IsEnd(Tag::Map)) Next();
  }

  // --- lists
  void DoList(Tag kind, const StopSet& stops) {
    if (depth_ >= kMaxReaderNesting) {  // deeper nesting is read as plain content
      Next();
      return;
    }
    ListContext ctx{kind};
    if (kind == Tag::Ol)
      if (const TAttribute* a = Find(Attr::Start)) {
        bool ok = false;  // a START that is no number (or too large for one) is ignored
        const int start = a->Name.trimmed().toInt(&ok);
        if (ok && start >= 0) ctx.number = start;
      }
    if (kind == Tag::Ul) ctx.plain = Find(Attr::Plain) != nullptr;
    Finish();
    ++depth_;
    const int savedLevel = level_;
    level_ = std::min(level_ + 1, kMaxReaderNesting);
    Next();
    Content(stops | ListEnds(), &ctx);
    Finish();
    level_ = savedLevel;
    --depth_;
    if (ListEnds().Holds(Sy())) Next();  // a list end closes the innermost list
  }

  // --- tables
  // A table while it is read: the row being filled, the cell being read,
  // and the row's ALIGN and VALIGN that its cells start from.
  struct TableRead {
    TableRead(std::unique_ptr<ThtmlTable> t, TCell* cell, uint8_t justify)
        : table(std::move(t)), outerCell(cell), outerJustify(justify) {}
    std::unique_ptr<ThtmlTable> table;
    TCell* outerCell;  // where the table goes, and text outside its cells
    uint8_t outerJustify;
    std::unique_ptr<TCellList> row = std::make_unique<TCellList>();
    std::unique_ptr<TCellObj> pending;
    uint8_t rowJustify = 0, rowVAlign = 0;
    bool rowOpen = false;
  };

  void DoTable(const StopSet& /*outer*/) {
    if (depth_ >= kMaxReaderNesting) {
      Next();
      return;
    }
    Finish();
    ++depth_;
    const size_t savedDivFloor = divFloor_;
    divFloor_ = divs_.size();
    const uint8_t savedStyle = list_.CurrentStyle;
    const int savedLevel = level_;
    level_ = 0;
    TableRead t(std::make_unique<ThtmlTable>(&list_, Attrs(), justify_), cell_, justify_);
    Next();
    while (Sy().kind != SyKind::End && !Sy().IsEnd(Tag::Table)) {
      const Symbol s = Sy();
      if (s.Is(Tag::Td) || s.Is(Tag::Th)) {
        ReadCell(t, s.tag);
      } else if (s.IsEnd(Tag::Td) || s.IsEnd(Tag::Th)) {
        EndCell(t);
        Next();
      } else if (s.Is(Tag::Tr)) {
        StartRow(t);
      } else if (s.Is(Tag::Caption)) {
        ReadCaption(t);
      } else if (s.kind == SyKind::Text) {
        // Text outside any cell goes before the table.
        cell_ = t.outerCell;
        justify_ = t.outerJustify;
        AddText(tok_.LCurString);
        Finish();
        Next();
      } else {
        Next();
      }
    }
    EndCell(t);
    if (!t.row->Cells.empty()) t.table->Rows.push_back(std::move(t.row));
    cell_ = t.outerCell;
    cell_->Add(std::move(t.table));
    list_.CurrentStyle = savedStyle;
    justify_ = t.outerJustify;
    divFloor_ = savedDivFloor;
    level_ = savedLevel;
    --depth_;
    if (Sy().IsEnd(Tag::Table)) Next();
  }

  // The cell being read joins its row; what follows goes outside the cells.
  void EndCell(TableRead& t) {
    Finish();
    EndCellDivs();
    if (t.pending) t.row->Add(std::move(t.pending));
    cell_ = t.outerCell;
  }

  // VALIGN of the current tag: 0 top, 1 middle, 2 bottom; absent (or
  // unknown) gives the default.
  uint8_t VAlignOf(uint8_t absent) {
    const TAttribute* a = Find(Attr::VAlign);
    if (!a) return absent;
    QString v = a->Name.toLower();
    return uint8_t(v == "middle" || v == "center" ? 1 : v == "bottom" ? 2 : v == "top" ? 0 : absent);
  }

  // TD or TH up to the next cell, row or table end. A heading cell is bold
  // and centred unless its row or itself says otherwise.
  void ReadCell(TableRead& t, Tag tag) {
    EndCell(t);
    t.rowOpen = true;
    justify_ = t.rowJustify ? t.rowJustify : uint8_t(tag == Tag::Th ? kCentre : kLeft);
    if (tag == Tag::Th) list_.CurrentStyle |= kBold;
    else list_.CurrentStyle &= uint8_t(~kBold);
    if (const TAttribute* a = Find(Attr::Align)) justify_ = AlignJustify(a->Name, justify_);
    t.pending = std::make_unique<TCellObj>(&list_, Attrs(), VAlignOf(t.rowVAlign));
    cell_ = t.pending->Cell.get();
    Next();
    Content(CellEnds(), nullptr);
    Finish();
  }

  // TR closes the row before it, even an empty one that a TR opened.
  void StartRow(TableRead& t) {
    EndCell(t);
    if (t.rowOpen || !t.row->Cells.empty()) {
      t.table->Rows.push_back(std::move(t.row));
      t.row = std::make_unique<TCellList>();
    }
    t.rowOpen = true;
    const TAttribute* a = Find(Attr::Align);
    t.rowJustify = a ? AlignJustify(a->Name, 0) : 0;
    t.rowVAlign = VAlignOf(0);
    Next();
  }

  void ReadCaption(TableRead& t) {
    EndCell(t);
    if (const TAttribute* a = Find(Attr::Align); a && a->Name.toLower() == "bottom") t.table->CaptionOnTop = false;
    cell_ = t.table->Caption->Cell.get();
    justify_ = kCentre;
    Next();
    Content(CellEnds(), nullptr);
    Finish();
    EndCellDivs();
    cell_ = t.outerCell;
    if (Sy().IsEnd(Tag::Caption)) Next();
  }
};

QString DeclaredCharset(const std::string& bytes) {
  QByteArray head = QByteArray::fromStdString(bytes.substr(0, 2048));
  static const QRegularExpression re(QStringLiteral("<meta[^>]*charset\\s*=\\s*[\"']?([A-Za-z0-9_:.-]+)"),
                                     QRegularExpression::CaseInsensitiveOption);
  QRegularExpressionMatch m = re.match(QString::fromLatin1(head));
  return m.hasMatch() ? m.captured(1) : QString();
}

// The frame-set reader: FRAMESET and FRAME up to the matching end, recursively.
class FrameReader {
 public:
  explicit FrameReader(const std::u16string& text) : tok_(text) {}

  bool Read(TFrameDef& root) {
    tok_.Next();
    while (tok_.Sy.kind != SyKind::End && !tok_.Sy.Is(Tag::FrameSet)) tok_.Next();
    if (tok_.Sy.kind == SyKind::End) return false;
    ReadSet(root, 0);
    return true;
  }

  bool FirstIsFrameSet() {
    tok_.Next();
    for (;;) {
      const Symbol& s = tok_.Sy;
      if (s.kind == SyKind::End) return false;
      if (s.Is(Tag::FrameSet)) return true;
      bool skip = s.kind == SyKind::Unknown || s.kind == SyKind::Char ||
                  (s.kind == SyKind::Text && QString::fromStdU16String(tok_.LCurString).trimmed().isEmpty()) ||
                  ((s.kind == SyKind::Tag || s.kind == SyKind::EndTag) &&
                   (s.tag == Tag::Html || s.tag == Tag::Head || s.tag == Tag::Base));
      if (s.Is(Tag::Title)) {
        while (tok_.Sy.kind != SyKind::End && !tok_.Sy.IsEnd(Tag::Title)) tok_.Next();
        skip = true;
      }
      if (!skip) return false;
      tok_.Next();
    }
  }

 private:
  Tokenizer tok_;

  void ReadSet(TFrameDef& set, int depth) {
    set.IsFrameSet = true;
    if (auto* a = tok_.Attributes.Find(Attr::Rows)) set.Rows = a->Name;
    if (auto* a = tok_.Attributes.Find(Attr::Cols)) set.Cols = a->Name;
    tok_.Next();
    while (tok_.Sy.kind != SyKind::End && !tok_.Sy.IsEnd(Tag::FrameSet)) {
      const Symbol s = tok_.Sy;
      if (s.Is(Tag::FrameSet) && depth < kMaxReaderNesting) {
        TFrameDef child;
        ReadSet(child, depth + 1);
        set.Children.push_back(std::move(child));
        continue;
      }
      if (s.Is(Tag::Frame)) {
        TFrameDef f;
        const TAttributeList& at = tok_.Attributes;
        if (auto* a = at.Find(Attr::Src)) f.Src = a->Name;
        if (auto* a = at.Find(Attr::Name)) f.Name = a->Name;
        if (auto* a = at.Find(Attr::Scrolling)) f.Scrolling = a->Name;
        f.NoResize = at.Find(Attr::NoResize) != nullptr;
        set.Children.push_back(std::move(f));
      }
      if (s.Is(Tag::NoFrames)) {
        while (tok_.Sy.kind != SyKind::End && !tok_.Sy.IsEnd(Tag::NoFrames)) tok_.Next();
      }
      tok_.Next();
    }
    if (tok_.Sy.IsEnd(Tag::FrameSet)) tok_.Next();
  }
};

}  // namespace

TParseResult ParseString(TSectionList& list, TAnchorList& anchors, const std::u16string& text) {
  Reader reader(list, anchors, text);
  return reader.Read();
}

std::u16string ReadDocumentFile(const std::string& fileName, bool* ok) {
  std::ifstream in(fileName, std::ios::binary);
  if (ok) *ok = bool(in);
  if (!in) return {};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return DecodeDocument(bytes, DeclaredCharset(bytes));
}

TParseResult ParseFile(TSectionList& list, TAnchorList& anchors, const std::string& fileName) {
  bool ok = false;
  std::u16string text = ReadDocumentFile(fileName, &ok);
  if (!ok) throw EParseError("Can't read " + fileName);
  return ParseString(list, anchors, text);
}

void ParseText(TSectionList& list, const std::u16string& text) {
  TAnchorList anchors;
  std::u16string none;
  Reader reader(list, anchors, none);
  reader.plain_ = &text;
  reader.ReadPlain();
}

void ParseTextFile(TSectionList& list, const std::string& fileName) {
  bool ok = false;
  std::u16string text = ReadDocumentFile(fileName, &ok);
  if (!ok) throw EParseError("Can't read " + fileName);
  ParseText(list, text);
}

bool ParseFrameSet(const std::u16string& text, TFrameDef& frameSet) {
  frameSet = {};
  try {
    return FrameReader(text).Read(frameSet);
  } catch (const EParseError&) {
    return frameSet.IsFrameSet;
  }
}

bool IsFrameSetText(const std::u16string& text) {
  try {
    return FrameReader(text).FirstIsFrameSet();
  } catch (const EParseError&) {
    return false;
  }
}

bool IsFrameSetFile(const std::string& fileName) {
  bool ok = false;
  std::u16string text = ReadDocumentFile(fileName, &ok);
  return ok && IsFrameSetText(text);
}

}  // namespace qlon::viewer
