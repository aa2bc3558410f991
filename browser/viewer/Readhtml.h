#pragma once
// The HTML reader: turns a document's text into the display model of a
// TSectionList (sections, fonts, images, lists, tables, forms, client maps),
// fills the anchor list and returns the title, base and base target. It also
// reads plain text as one preformatted block, and frame-set documents into a
// tree of frame descriptions for the frame viewer.
//
// Its own tokenizer, with the tag, attribute, entity and colour tables of the
// viewer; it shares nothing with the capture side's tag scanner. Broken
// markup never loses text: a "<" that cannot start a tag and a ">" outside a
// tag are text, script and style content is never shown, and lists and
// tables nested deeper than kMaxReaderNesting are read as plain content.
#include <QString>
#include <stdexcept>
#include <string>
#include <vector>

#include "SectionList.h"

namespace qlon::viewer {

inline constexpr int kMaxReaderNesting = 60;
inline constexpr int kMaxFontStack = 25;

class EParseError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A named place of the document: the section it begins in (owned by the
// section list) and the offset in that section's text.
struct TAnchor {
  QString Name;  // upper-cased
  TSectionBase* Section = nullptr;
  int Offset = 0;
};
using TAnchorList = std::vector<TAnchor>;

struct TParseResult {
  QString Title, Base, BaseTarget;
};

// The parse functions fill the list (which should be empty) and the anchors.
// An unterminated comment raises EParseError after what was read before it
// has been put into the list.
TParseResult ParseString(TSectionList& list, TAnchorList& anchors, const std::u16string& text);
// The file's bytes decoded (its META charset, else UTF-8 when valid, else
// Windows-1252). A file that cannot be read raises EParseError.
TParseResult ParseFile(TSectionList& list, TAnchorList& anchors, const std::string& fileName);
void ParseText(TSectionList& list, const std::u16string& text);
void ParseTextFile(TSectionList& list, const std::string& fileName);

// The document's text as the reader sees it: decoded with the charset its
// META tag declares, when there is one in the first 2 KB.
std::u16string ReadDocumentFile(const std::string& fileName, bool* ok = nullptr);

// One FRAMESET (ROWS, COLS and its children) or one FRAME (SRC, NAME,
// NORESIZE, SCROLLING).
struct TFrameDef {
  bool IsFrameSet = false;
  QString Rows, Cols;
  QString Src, Name, Scrolling;
  bool NoResize = false;
  std::vector<TFrameDef> Children;
};
// False when the document holds no FRAMESET.
bool ParseFrameSet(const std::u16string& text, TFrameDef& frameSet);
// Whether the first element of the body (after HTML, HEAD and TITLE) is a FRAMESET.
bool IsFrameSetText(const std::u16string& text);
bool IsFrameSetFile(const std::string& fileName);

}  // namespace qlon::viewer
