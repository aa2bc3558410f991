#pragma once
// Rewriting of saved pages for offline reading.
//
// Every link of a page whose target was captured is made to name the
// target's local file, relative to the page; the URL it replaced is kept in
// the tag's OLDREF attribute, so that the link pass, the map scan and the
// next rewrite read the page's real links. Links to what was not captured:
//   - SuppressLinks (SuppressLinkFlag): page links (A, AREA) open the
//     not-found page of the index, with OnClick="QuillonLU('url');" (the
//     script stores the URL in a cookie that the page shows);
//   - else RealLinks (RealLinkFlag): the absolute URL, so the link goes online;
//   - else the link is put back as it was before any rewrite.
// What a rewrite inserts, and where:
//   <QUILLON BASEURL="page URL">    before the first rewritten link
//   the script block                right after it, when an OnClick was written
//       <!--QUILLON=ON-->  CR LF <SCRIPT LANGUAGE="JavaScript"> ... </SCRIPT> CR LF
//       <!--QUILLON=OFF-->  CR LF
//   for an ISMAP image whose map was drawn: USEMAP="#name" RORIVODODA="TRUE"
//   on the image and, right after it,
//       CR LF <!--QUILLON MAP=ON--> CR LF <map name="name"> AREA lines </map>
//       CR LF <!--QUILLON MAP=OFF-->
//   the banner (Banner)             before the last </BODY>, else at the end
//       <!--QUILLON=ON-->  CR LF <p><hr>... Capturé par Quillon ... <hr>
//       <!--QUILLON=OFF-->  CR LF
// A rewrite first takes out all of that (the marked blocks with the blanks
// and line break written after them, the QUILLON tag), and computes every
// link from its OLDREF, so rewriting a page twice gives the bytes of one
// rewrite. Every URL written is escaped for where it goes: attribute values
// by the tag scanner, the script string by percent-encoding, text by
// character references, so no URL can add markup or script to a page.
//
// The record's rewrite mark keeps the options in force: 2 RealLinks,
// 4 SuppressLinks, 8 Banner.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qlon {

class TLinkTargets;
class TOptions;
class TReplaceBatch;
class TWeb;
class TWebFile;

// The not-found page of the generated index, the local name of records in error.
inline constexpr const char* kNotFoundPage = "Index/_enotfou.htm";

struct TRewriteOptions {
  bool RealLinks = true;
  bool SuppressLinks = true;
  bool Banner = true;
  // The capture date as the banner shows it, when known already: a run
  // over many pages formats it once (the clock's time zone is read each
  // time, under a lock of the C library's).
  std::optional<std::string> DateText;
  static TRewriteOptions FromOptions(const TOptions& options);
  uint8_t Mark() const { return uint8_t((RealLinks ? 2 : 0) | (SuppressLinks ? 4 : 0) | (Banner ? 8 : 0)); }
};

// The page's bytes as rewritten; `page` is a record of `web` with its local
// name. frameSet, when given, tells whether the page holds a frame set.
// targets, when given, is the lookup shared by the pages of one resolution
// (else each call looks its links up afresh).
std::string RewritePageBytes(TWeb& web, const TWebFile& page, std::string_view bytes, const TRewriteOptions& options,
                             bool* frameSet = nullptr, TLinkTargets* targets = nullptr);
// Rewrites the record's local file through the batch and sets the record's
// frame-set flag; the mark is set once the batch has replaced the file (at
// once when the bytes stay the same). growth, when given, gets how many
// bytes the file gains. False when the file cannot be read or staged.
bool RewritePage(TWeb& web, TWebFile& page, const TRewriteOptions& options, TReplaceBatch& batch,
                 int64_t* growth = nullptr);

// RewritePage (or its like for a VRML world) in two halves, so that the
// first can run on a worker thread while the capture's thread goes on:
//   StageRewrite  reads the file at `path` (the record's local path), rewrites
//                 it and writes the new bytes to the batch's staging folder.
//                 On a worker (lane 1, 2, ..., each staging in a folder of
//                 its own) it reads only the file, the capture's folder and
//                 date and frozen targets; a page with an ISMAP image, whose
//                 map is in the capture's map list, is then left alone
//                 (NeedsOwner). Lane 0 is the capture's thread;
//   ApplyRewrite  on the capture's thread, in the order the pages are to be
//                 replaced: the record's frame-set flag and mark, and the
//                 staged file handed to the batch.
struct TStagedRewrite {
  bool Read = false;        // the file was read and rewritten
  bool NeedsOwner = false;  // to be staged again on the capture's thread
  bool Unchanged = false;   // the rewrite gives the same bytes: nothing staged
  bool FrameSet = false;
  int64_t Growth = 0;       // bytes the file gains
  std::filesystem::path Staged;  // empty when unchanged or not written
  std::size_t Size = 0;          // of the bytes staged
  std::string RawTitle;          // of the page as rewritten (TWebFile::RawTitleOf)
  int Error = 0;  // the system's reason when the file could not be read or staged
  // Rewritten, but its new bytes could not be staged (a full disk).
  bool StagingFailed() const { return Read && !Unchanged && Staged.empty(); }
};
TStagedRewrite StageRewrite(TWeb& web, const TWebFile& file, const std::string& path, bool world,
                            const TRewriteOptions& options, TReplaceBatch& batch, TLinkTargets* targets,
                            int lane = 0);
// True when the file is rewritten (or already was); false when it could
// not be read or staged.
bool ApplyRewrite(TWeb& web, TWebFile& file, const std::string& path, bool world, const TRewriteOptions& options,
                  TReplaceBatch& batch, TStagedRewrite& staged);
// The same for one page, replaced before it returns.
bool RewritePage(TWeb& web, TWebFile& page, const TRewriteOptions& options);
// The links of a saved VRML world, rewritten the same way (OLDREF comments).
std::string RewriteVrmlBytes(TWeb& web, const TWebFile& world, std::string_view bytes,
                             TLinkTargets* targets = nullptr);

// Escapes for the places a URL is written to.
std::string EscapeUrlForScript(std::string_view url);  // inside '...' of an attribute's script
std::string EscapeLocalLink(std::string_view path);      // a relative file path as a URL

}  // namespace qlon
