#pragma once
// The capture side's own HTML tag scanner: it cuts a saved page into tags,
// comments and text runs, and reads and edits the link attributes of tags.
// Pages are bytes and stay bytes: nothing is decoded or re-encoded on the way.
//
// Token table: one record per tag or comment, in page order.
//
//   [0]  sentinel      flags 4, position 0, length 0
//   [1]  token         flags, kind, position, length
//   ...
//   [n-1] sentinel     flags 4, position = size of the page, length 0
//
// Invariants the page rewriting relies on:
//   - tokens never overlap and are sorted by position;
//   - every byte between the end of a token and the start of the next one is
//     a text run, and that token carries flag 8 (TextAfter);
//   - so copying every token with its text (CopyTokenAndText for 0..n-1)
//     writes the page back byte for byte, whatever junk it holds.
//
// The table grows with the page: no link is ever dropped for lack of room.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include <QByteArray>

class QIODevice;

namespace qlon {

// Tag kinds, the index of the name in the scanner's table.
enum TTagKind : uint8_t {
  tkA = 0, tkComment = 1, tkImg = 2, tkArea = 3, tkBase = 4, tkBody = 5, tkHtml = 6,
  tkForm = 7, tkFrame = 8, tkFrameset = 9, tkNoframes = 10, tkMeta = 11, tkInput = 12,
  tkTitle = 13, tkScript = 14, tkEmbed = 15, tkApplet = 16, tkParam = 17, tkQuillon = 18,
  tkLink = 19, tkDd = 20, tkDl = 21, tkDt = 22, tkH1 = 23, tkH2 = 24, tkH3 = 25,
  tkUnknown = 26,
};
inline constexpr int kTagKindCount = 27;

// Token flags.
inline constexpr uint8_t kTokenStart = 1;      // start tag or comment
inline constexpr uint8_t kTokenEnd = 2;        // end tag
inline constexpr uint8_t kTokenSentinel = 4;
inline constexpr uint8_t kTokenTextAfter = 8;  // a text run follows
inline constexpr uint8_t kTokenLinkTag = 16;   // start tag of a link tag

// Longest tag read as a tag; a longer one is read as text. Modern pages carry
// long srcset, style and data attributes, so this is well above the 2 KB that
// older pages needed, yet bounded so that a stray "<" cannot swallow a page.
inline constexpr int kMaxTagLength = 32768;
// Texts handed out by GetTokenText, GetTextAfter and the anchor text.
inline constexpr int kMaxShortText = 255;

struct TToken {
  uint8_t Flags = kTokenSentinel;
  uint8_t Kind = tkUnknown;
  int64_t Position = -1;
  int64_t Length = 0;
  int64_t End() const { return Position + Length; }
};

enum TLinkType : uint8_t { ltPage = 0, ltEmbedded = 1, ltBackground = 2 };

// The comments a rewrite puts around what it inserted, so that the next
// rewrite can take it out again.
enum class TMarker { None, On, Off, MapOn, MapOff };

// One attribute found in a tag's text. Positions are offsets in that text.
struct TTagParam {
  std::string Name;
  std::string Value;      // raw text of the value, tabs and line breaks left out
  int Start = -1;         // start of the name; -1 when absent
  int Length = 0;         // from the name to the end of the value, closing quote included
  int ValueStart = -1;    // -1 when the attribute has no value
  int ValueLength = 0;    // the part of the value that is read (a "#" part may follow)
  int ValueEnd = -1;      // end of the whole value, before any closing quote
  bool OpenQuote = false;   // the value had an opening quote
  bool CloseQuote = false;  // a quote closed it
  char Quote = '"';         // which quote, for escaping a new value

  // Keeps the texts' room: a link is cleared for every tag of a page.
  void Clear() {
    Name.clear();
    Value.clear();
    Start = ValueStart = ValueEnd = -1;
    Length = ValueLength = 0;
    OpenQuote = CloseQuote = false;
    Quote = '"';
  }
  bool Found() const { return Start >= 0; }
};

// Where one attribute lies in a tag's text, found without copying it.
struct TParamSpan {
  int NameStart = 0, NameEnd = 0;
  int ValueStart = -1, ValueEnd = -1;  // -1: no value
  int End = 0;                         // after the value and its closing quote
  bool OpenQuote = false, CloseQuote = false;
  char Quote = '"';
};

class TTag {
 public:
  virtual ~TTag() = default;

  // Reads `length` bytes of the stream (at most kMaxTagLength) as the tag text.
  bool LoadFromStream(QIODevice& stream, int64_t length);
  void LoadFromText(std::string_view text);
  bool SaveToStream(QIODevice& stream) const;
  int GetLength() const { return static_cast<int>(text_.size()); }
  const std::string& GetText() const { return text_; }

  bool FindParam(std::string_view name, TTagParam& param) const;
  // The value with its character references decoded; empty when absent.
  std::string GetParamValue(std::string_view name) const;
  // Replaces the value of an existing attribute, else appends the attribute.
  // False when the tag would grow beyond kMaxTagLength (nothing changes).
  bool SetParam(std::string_view name, std::string_view value);
  bool AddParam(std::string_view name, std::string_view value);
  bool RemoveParam(std::string_view name);
  bool ContainsText(std::string_view text) const;

  uint8_t Kind = tkUnknown;
  uint8_t Flags = 0;

 protected:
  // Puts `value` in place of the param's value (quoting and escaping it) and
  // updates the param. Returns the change in length, or nothing when the
  // result would not fit: then the text is unchanged.
  bool ReplaceValue(TTagParam& param, std::string_view value, int& delta);
  // Adds the attribute; `place` and `size` tell where and how much was inserted.
  bool InsertParam(std::string_view name, std::string_view value, int& place, int& size);
  // Calls `visit` (a TParamSpan) for each attribute in order until it answers true.
  template <class Visit>
  bool WalkParams(Visit&& visit) const;
  // The param of a span: its name and its value without tabs and line breaks.
  void FillParam(const TParamSpan& span, TTagParam& param) const;
  std::string text_;
};

class TTagLink : public TTag {
 public:
  void Clear();
  // Replaces the URL attribute's value; a "#" part after it stays in the tag.
  bool SetUrl(std::string_view url);
  std::string GetUrl() const;
  // The OLDREF attribute: "[n]" and the old URL, or the old URL alone for 0.
  bool SetStatus(int status);
  bool SetOldUrl(std::string_view url);
  std::string GetOldUrl() const;
  bool HasOldRef() const { return OldRef.Found(); }

  std::string AnchorText;
  bool IsMap = false;
  bool IsFrame = false;
  TLinkType LinkType = ltPage;
  TTagParam Url;
  TTagParam OldRef;
  int Status = 0;

 private:
  friend class THtmlParser;
  void ReadOldRef();
  bool WriteOldRef(std::string_view oldUrl, int status);
};

class THtmlParser {
 public:
  explicit THtmlParser(QIODevice& stream);
  THtmlParser(const THtmlParser&) = delete;
  THtmlParser& operator=(const THtmlParser&) = delete;

  // Tokenizes the whole stream from its start; leaves it at position 0.
  void Parse();

  int GetCount() const { return static_cast<int>(tokens_.size()); }
  // Out of range: a token of no kind (walks call this for every token).
  const TToken& GetToken(int index) const {
    static constexpr TToken kNone{};
    return index >= 0 && index < GetCount() ? tokens_[std::size_t(index)] : kNone;
  }
  std::string GetTokenText(int index) const;
  std::string GetTextAfter(int index) const;
  // Unbounded views of the page bytes, for callers that need whole texts.
  std::string_view TokenBytes(int index) const;
  std::string_view TextAfterBytes(int index) const;

  bool CopyTextAfter(int index, QIODevice& out) const;
  bool CopyToken(int index, QIODevice& out) const;
  bool CopyTokenAndText(int index, QIODevice& out) const;

  bool LoadTag(int index, TTag& tag) const;
  // Builds the link of a token. Call in token order: SCRIPT and NOFRAMES
  // tokens switch states that decide whether later links count; a walk
  // that starts again at token 0 starts those states afresh.
  bool GetTagLink(int index, TTagLink& link);
  TMarker GetMarker(int index) const;
  // The index of the first token after `from` that is the marker; -1 when none.
  int FindMarker(int from, TMarker marker) const;
  // When the token opens a block that a rewrite inserted ("QUILLON=ON" or
  // "QUILLON MAP=ON"), the index of its closing marker; else -1 (a block
  // without its closing marker, on a damaged page, is not one).
  int InsertedBlockEnd(int index) const;

  bool FrameOption = false;  // FRAME tags give no link; NOFRAMES content is skipped
  // False: the links of A tags come without their anchor text (the ISMAP
  // mark of an image inside them is still read), for a caller that only
  // follows links.
  bool AnchorTexts = true;

 private:
  void AddToken(uint8_t flags, uint8_t kind, int64_t position, int64_t length);
  void AddTag(int64_t start, int64_t end);
  void CollectAnchorText(int index, TTagLink& link) const;

  QIODevice& stream_;
  QByteArray data_;
  std::vector<TToken> tokens_;
  bool insideNoframes_ = false;
  bool insideScript_ = false;
};

// The inner text of the first tag holding `tagName` among the first 1024 bytes
// of the file, and the text that follows it up to the next "<".
inline constexpr size_t kTagTextWindow = 1024;
bool FindTagTextInFile(const std::filesystem::path& file, std::string_view tagName,
                       int longestTag, std::string& text, std::string& tagText);
// The same among the first 1024 of the bytes.
bool FindTagText(std::string_view bytes, std::string_view tagName, int longestTag, std::string& text,
                 std::string& tagText);

// The text with & < > " ' written as character references: safe as element
// content and inside any attribute value.
std::string EscapeHtmlText(std::string_view text);

// Character references to UTF-8; characters below 32 become blanks unless kept.
void DecodeHtmlEntities(std::string_view text, bool keepControls, std::string& result);

}  // namespace qlon
