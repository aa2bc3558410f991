#pragma once
// Links of a VRML world: the quoted URLs of its name, filename and scenery
// fields, found line by line, and the rewriting of one of them with the old
// URL kept in a comment:
//
//   filename "local/a.gif" #OLDREF="http://h/a.gif"
//
// A line ends at CR or LF, or after 256 bytes. On a line, a keyword counts
// where it starts the line or follows a blank, tab, CR or LF, and a blank,
// tab, "{" or the line's end follows it. Node keywords (WWWAnchor, WWWInline,
// Texture2, Background, DirectSound, PointSound) set the node kind, which
// lasts across lines; a field keyword (name, filename, scenery) followed by
// a quoted text gives a link, a page link inside a WWWAnchor. "#" starts a
// comment; on a line already rewritten the link runs to the line's end.
//
// The parser keeps the stream it scanned: GetLink reads the link's bytes
// back from it, so the stream must outlive the parser.
#include <cstdint>
#include <string>
#include <vector>

class QIODevice;

namespace qlon {

class TVRMLParser {
 public:
  struct TVRMLLink {
    std::int64_t Position = 0;  // of the opening double quote in the stream
    std::uint16_t Length = 0;   // to the closing quote, or to the line's end
    bool Page = false;          // the field of a WWWAnchor node
  };

  // Node kinds, the indexes of the keyword table.
  enum TNodeKind : int { nkNone = 0, nkComment, nkAnchor, nkInline, nkTexture, nkBackground, nkDirectSound,
                         nkPointSound, nkName, nkFileName, nkScenery };

  static constexpr std::size_t kMaxLine = 256;

  explicit TVRMLParser(QIODevice& stream);

  int Count() const { return static_cast<int>(links_.size()); }
  const TVRMLLink& Link(int i) const { return links_.at(static_cast<std::size_t>(i)); }
  // Position and length of link i; false when i is out of range.
  bool GetLinkPosition(int i, std::int64_t& position, int& length) const;
  // The URL between the link's first two double quotes and, after "OLDREF",
  // the old URL between the next two (else empty). False when the stream
  // holds no quoted URL there.
  bool GetLink(int i, std::string& url, std::string& oldUrl) const;
  // Writes "url" #OLDREF="oldUrl" and CR LF.
  static void WriteLink(QIODevice& stream, const std::string& url, const std::string& oldUrl);

 private:
  void ScanLine(const std::string& line, std::int64_t start);

  QIODevice& stream_;
  std::vector<TVRMLLink> links_;
  int node_ = nkNone;
};

}  // namespace qlon
