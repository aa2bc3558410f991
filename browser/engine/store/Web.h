#pragma once
// TWeb: one capture as a document, kept in one capture file ("local.web" in
// the capture folder): a header area of 5120 bytes from offset 0, then the
// URL B-tree (TUrlBTree) from offset 5120.
//
// Header, in this order (stream primitives of UtilsStream.h):
//    1  short string "MQLON"
//    2  int16 format version: 513 (514 is read too, see below)
//    3  short string program version "2.03"
//    4  short string title (at most 128 bytes)
//    5  int16 n, then n x 4 short strings: URL, user, password, extra text
//       (version 512: one URL string, two skipped strings, then the title)
//    6  int16 retrieved, filtered, not found, errors, MIME category set;
//       a count is written as at most 32,767 (read as signed it never turns
//       negative); one read back as 32,767 or more is counted again from
//       the records at open
//    7  the capture options (TOptions stream form of the file's version)
//    8  int32 total size of the kept files, in bytes
//    9  byte BackgroundOnlyFlag of the options
//   10  double capture date (days since 0001-01-01)
//   11  identities (TIdentityList)
//   12  image maps (TMapList, read with the file's version)
//   13  the host-address list: per pair an address line and a host line,
//       each ending with CR LF, with no count. The pairs with a host name
//       come first, then the others, as many as the area holds: the list
//       only grows, and a pair without a name is learnt again when next
//       met. Every address line is a numeric address.
//   14  statistics (TCaptureInfo): two dates as in 10, six int32 counters
//
// Item 13 has no other end than item 14: the reader takes address and name
// lines while the next line is a numeric address, then the statistics,
// which it checks (their dates are dates of the calendar, which text read
// as them never is). Two other layouts met are read too: version 513 as
// this program wrote it before (item 14, then an int16 pair count and the
// lines), and version 514 (the count and the lines in item 13's place,
// then item 14). With an empty list both layouts of 513 are the same
// bytes. The rest of the area up to 5120 is zeros.
//
// Older files (versions 1 to 511) hold items 1, 2 and 4 to 12 in the version
// 512 form (one start URL, two skipped strings, the title) and end after the
// image maps; their options and maps are read in their own versions' forms.
// Opening one converts it in place: the header is rewritten in the current
// form and committed before the file is used, the tree area untouched.
//
// Invariant: the header never reaches offset 5120. A save measures it first
// and refuses a header that would not fit (ECaptureHeaderTooLarge), writing
// nothing, so the tree behind it is never overwritten.
//
// Order of writes at a save: the header, then the tree's changed pages, then
// the tree's header block, then the stream's commit (TWebStream), which
// makes the whole save visible at once; a writer killed before the commit
// leaves the previous save.
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "DoubleList.h"
#include "HtmlParser.h"
#include "ImgMap.h"
#include "Mime.h"
#include "Options.h"
#include "UrlBTree.h"
#include "Urlutil.h"
#include "Utils.h"

namespace qlon {

class ECaptureHeaderTooLarge : public EWebStream {
 public:
  using EWebStream::EWebStream;
};

// A copy or move of a capture that was refused or failed; the message says
// why. Nothing of the source was lost, and what the copy had written at the
// destination was removed.
class ECopyWeb : public Exception {
 public:
  using Exception::Exception;
};

class ICopyView;
class TDlgCopy;

inline constexpr const char* kWebMagic = "MQLON";
// The version written. 514, a form of this program's that put a count
// before the host list, is still read.
inline constexpr int16_t kWebFileVersion = 513;
inline constexpr int16_t kWebFileVersionCountedHosts = 514;
inline constexpr qsizetype kVersionAt = 6;  // after the magic's short string
inline constexpr int16_t kOldestWebFileVersion = 1;
inline constexpr const char* kProgramVersion = "2.03";
inline constexpr uint32_t kWebHeaderSize = 5120;
inline constexpr size_t kWebTitleMax = 128;

struct TStartEntry {
  std::string Url, User, Password, Extra;
  // The record's URL: the normal form of Url, without its "#..." part.
  std::string FullUrl() const;
};

struct TCaptureInfo {
  double FirstDate = 0;  // in-memory date-times
  double LastDate = 0;
  int32_t Counters[6] = {};
};

// A queue of records waiting for a capture run: record URLs, each with its
// priority, kept in ascending priority; a new line goes after every line of
// equal or lower priority, so equals leave first in, first out. Priority =
// web level x 512 + link level x 2, + 1 for a page, so that at equal levels
// the embedded files of a page come before further pages. The records stay
// in the tree: popping a line looks its URL up again.
class TWebFileList {
 public:
  static int Priority(const TWebFile& record);
  // The line's index.
  int AddRecord(const TWebFile& record);
  int Add(const std::string& url, int priority);
  // Takes line `index` (0 first) and loads its record by URL; false when
  // there is no such line or the record is no longer in the tree (the line
  // is gone either way).
  bool PopFirst(TUrlBTree& tree, TWebFile& record, int index = 0);
  // The index of the first line whose URL the test accepts; -1 when none.
  int Find(const std::function<bool(std::string_view url)>& accepts) const;
  bool Remove(const std::string& url);
  bool Contains(const std::string& url) const;
  void Clear() { lines_.clear(); }
  int Count() const { return int(lines_.size()); }
  bool Empty() const { return lines_.empty(); }
  const std::string& Url(int index) const { return lines_.at(size_t(index)).second; }

 private:
  // A deque: the run takes its lines from the front.
  std::deque<std::pair<int, std::string>> lines_;
};

// A directory the internal path limit keeps a capture inside: the host and
// the directory path of a start URL.
struct TStartDirectory {
  std::string Host;
  std::string Path;
};

// Header reader results; 1..5 index the load error texts.
enum TWebLoadResult { wlOk = 0, wlError = 1, wlNotWeb = 2, wlNewer = 3, wlOpenError = 4, wlReadError = 5 };

class TWeb : public TUrlBTree {
 public:
  TWeb();
  ~TWeb() override;

  // Creates the file (replacing one) with an empty tree. Throws EWebStream.
  void CreateNew(const std::filesystem::path& path);
  // wlOk, or the reason; a file the system cannot open throws EWebStream.
  // A file of an older version is converted first (wlError, the file
  // unchanged, when its header does not fit the current form). Once the
  // file is held, what a killed run left in the capture folder goes: the
  // empty files made ahead ("qlon:pool") and the staged pages
  // ("qlon:staged"), whose targets a crash never touched.
  TWebLoadResult Open(const std::filesystem::path& path);
  // The version of the header last read (the current one after a conversion).
  int16_t FileVersion() const { return fileVersion_; }
  // Why the last Open or ReadHeader did not give wlOk, to follow "ne peut
  // pas être ouvert : " (its header, its version, its tree); empty after a
  // success.
  const std::string& LoadError() const { return loadError_; }
  // What the last Open has to tell the user besides its result: a journal
  // beside the file that was not the file's, set aside unapplied. Empty
  // when there is nothing to tell.
  const std::string& OpenNote() const { return openNote_; }
  // False when nothing is open; throws ECaptureHeaderTooLarge (nothing
  // written) or EWebStream. A web with nothing changed since it was read
  // or last saved writes nothing (a full disk refuses even the journal).
  bool Save();
  void Close();
  bool IsFileOpen() const { return stream_ != nullptr; }

  // ---- copy and move to another folder (WebCopy.cpp)
  // The capture's records' files go to the same relative places under the
  // destination, with the index files ("_*.*" and the "Index" folder), the
  // thumbnails ("thumb"), the image-map files and the capture file.
  // Refused (ECopyWeb, nothing written) when no capture is open, the
  // destination lies inside the capture folder or holds it, or already
  // holds a capture. A failure half-way (a file that cannot be
  // read or written, a full disk) throws ECopyWeb after removing what was
  // written; the source is never touched.
  // The copy is checked before it counts: the copied capture file must open
  // with every record, and every copied file must have its source's size.
  // A cancelled copy still copies the index files, the thumbnails, the
  // image-map files and the capture file.
  using TPerFileEvent = std::function<void(TWebFile&)>;
  bool CopyTo(const std::filesystem::path& destination, TPerFileEvent event = {}, ICopyView* view = nullptr);
  // The copy, then the rest of the capture folder, then the capture is
  // reopened at the destination and only then are the copied source files
  // and what a killed run left deleted and the emptied folders removed
  // (anything not copied, a link say, stays with its folders).
  // A cancelled move removes its partial copy and returns false; the
  // capture stays where it was.
  bool MoveTo(const std::filesystem::path& destination, TPerFileEvent event = {}, ICopyView* view = nullptr);
  const std::filesystem::path& Path() const { return path_; }
  // The capture file's size: the open stream knows it without asking the
  // disk; a capture with none open asks the file.
  int64_t StoredSize() const;

  // Passes the options the local-name rule reads to the tree; Open,
  // CreateNew and Save call it, a caller that changes them later too.
  void ApplyOptions();

  void SetTitle(const std::string& title);
  const std::string& GetTitle() const { return title_; }

  // The header as it would be written now.
  QByteArray HeaderBytes() const;
  // Reads a header; the stream stands after it on success.
  TWebLoadResult ReadHeader(QIODevice& stream);

  // ---- run operations (the capture run drives them)
  // Whether the run may follow a link found in a page: an absolute http,
  // ftp or file URL, and not the plain link of an ISMAP anchor.
  // The test is given the link's URL parsed (resolved against the page).
  using TFollowTest = std::function<bool(const TTagLink& link, const TUrl& url)>;
  static bool FollowLinkDefault(const TTagLink& link, const TUrl& url);

  // Files a link (the record holds its URL, link type and flags) with its
  // referrer, or as a start URL without one: a known URL is queued for update
  // when one is pending; a new one gets its levels, is classified and, when
  // not filtered, queued. `redirect` marks the target of a redirect, which
  // keeps its referrer's link level. False when the URL cannot be stored.
  bool AddLink(TWebFile& record, const TWebFile* referrer, bool redirect = false);
  // The same with the record's URL and the referrer's already parsed (the
  // link pass parses each once): `url` is record.FullUrl parsed, and
  // `referrerUrl` the referrer's full URL parsed.
  bool AddLink(TWebFile& record, const TWebFile* referrer, bool redirect, const TUrl& url, const TUrl* referrerUrl);
  // The state a new link gets: fsNotFiltered (8) to capture it, else the
  // filter state that refuses it. The first rule that decides wins.
  TWebFileState ClassifyLink(const TWebFile& record) const;
  TWebFileState ClassifyLink(const TWebFile& record, const TUrl& url) const;
  // Classifies and queues on the to-capture queue; false when filtered.
  bool ClassifyAndQueue(TWebFile& record);
  // The header check of a reply; length below 1 is unknown.
  TWebFileState CheckHeader(const TWebFile& record, int64_t length, const std::string& url) const;
  TWebFileState CheckHeader(const TWebFile& record, int64_t length, const TUrl& url) const;
  // Makes the record a redirect to `location` (resolved against its URL) and
  // files the target as a link of it. False, with nothing changed, for a
  // redirect to the record's own URL or a target that cannot be stored.
  bool AddRedirect(TWebFile& record, const std::string& location);

  // The record of line `index` of the queue (0 first).
  bool NextToCapture(TWebFile& record, int index = 0) { return ToCapture.PopFirst(*this, record, index); }
  bool NextToUpdate(TWebFile& record, int index = 0);
  // The update walk from the first start page; the to-update count.
  int PrepareUpdate();
  bool QueueForUpdate(TWebFile& record);
  // Reads the saved copy of a page that did not change and queues its links.
  void RescanUnchangedPage(TWebFile& record);

  // Link passes over a saved file; every link the test accepts goes to AddLink.
  void ScanPageLinks(TWebFile& page, const std::string& url, const TFollowTest& follow);
  // The same over the page's bytes as they are at hand (they must be the file's).
  void ScanPageLinks(TWebFile& page, const std::string& url, const TFollowTest& follow, QIODevice& bytes);
  void ScanVrmlLinks(TWebFile& file, const std::string& url, const TFollowTest& follow);
  void ScanJavaLinks(TWebFile& file);

  // Before a run: the start entries become start records (new ones queued,
  // known ones queued again when not retrieved) and the start directories
  // are computed; the walk gathers the local names the records hold (the
  // naming's claimed names), so that the run takes back the files a killed
  // run left for records it never saved. With `reset`, every queue is emptied first
  // and every record not retrieved goes back to be classified again.
  void PrepareCapture(bool reset = false);
  // Queues the records of the URLs (created when new) for capture, or for
  // update when `update`; the count queued.
  int QueueUrls(const std::vector<std::string>& urls, bool update);

  // Addresses left out because the capture file had no number left for
  // their site or their folder: records of the overflow site (UrlBTree.h),
  // kept as "Filtré par défaut".
  struct TLeftOut {
    uint64_t Folders = 0;  // their site had every folder number taken
    uint64_t Sites = 0;    // no site number was left
    uint64_t Count() const { return Folders + Sites; }
  };
  TLeftOut CountLeftOut();
  // What the run's end and the error report say of them; empty for none.
  static std::string LeftOutText(const TLeftOut& leftOut);

  TWebFileList ToCapture;
  TWebFileList ToUpdate;
  // What the next run takes, as the records stand: records to capture
  // (with those a run ended without closing, and start records not yet
  // captured) and records to update. The queues hold them once a run is
  // prepared (PrepareCapture, QueueUrls); until then they are counted, when
  // the file is opened and by CountWaiting (once a run has ended).
  uint64_t WaitingToCapture() const { return queued_ ? uint64_t(ToCapture.Count()) : waiting_[0]; }
  uint64_t WaitingToUpdate() const { return queued_ ? uint64_t(ToUpdate.Count()) : waiting_[1]; }
  void CountWaiting();

  std::vector<TStartEntry> StartEntries;
  // Counters are 64-bit in memory and saturate in the 16-bit header fields.
  // ErrorCount also counts the retrieved records gone from the server
  // (TWebFile::IsGone), which keep their copies.
  uint64_t RetrievedCount = 0, FilteredCount = 0, NotFoundCount = 0, ErrorCount = 0;
  uint16_t MimeCategorySet = 0;
  TOptions Options;
  int64_t TotalSize = 0;  // saturates in the 32-bit header field
  TMapList Maps;
  // Numeric address -> host name; bound to the URL model while the file is
  // open (numeric hosts of known names are filed under the name, and every
  // numeric address met is added), so read it through CopyHostAddressList.
  TDoubleList HostAddresses;
  TCaptureInfo Info;

 private:
  std::filesystem::path path_;
  std::unique_ptr<TWebStream> stream_;
  // Rewrites the header of an older file, open in stream, in the current
  // form; false (nothing written) when it would not fit.
  bool ConvertOldFile(TWebStream& stream);
  void RecountSaturated();

  struct TCopyRun;
  bool CopyOrMove(const std::filesystem::path& destination, TPerFileEvent event, ICopyView* view, bool move);
  // The steps of a copy under way: one record of the walk (true, or throws
  // ECopyWeb), the index files with the thumbnails and image-map files, the
  // capture file.
  bool CopyRecordFile(TWebFile& record);
  void CopyIndexFiles();
  void CopyCaptureFile();
  void CopyRest();
  void VerifyCopy();
  void OpenMovedCopy(TCopyRun& run);
  TCopyRun* copy_ = nullptr;  // the copy under way, on the stack of CopyOrMove

  std::string title_;
  std::string openNote_;
  std::string loadError_;
  QByteArray storedHeader_;   // the header area as the file holds it; empty when unknown
  bool queued_ = false;       // the queues are prepared for a run
  uint64_t waiting_[2] = {};  // counted: to capture, to update
  int16_t fileVersion_ = kWebFileVersion;
  std::vector<TStartDirectory> startDirectories_;
};

// Copies or moves the capture of a capture file that is not open here: it
// is opened for the copy, so a capture another program holds open for
// writing is refused (ECopyWeb), as is a file that is not a capture.
bool CopyWebFile(const std::filesystem::path& file, const std::filesystem::path& destination, bool move,
                 TWeb::TPerFileEvent event = {}, ICopyView* view = nullptr);

// The title of a capture file (the open capture's own when the path is
// its); empty when the file is not a readable capture.
std::string ReadWebTitle(const std::filesystem::path& path, const TWeb* open = nullptr);

// The record's MIME item in its capture's table (the "Defaut" item for index
// 0 or an unknown slot), and the operations on it.
TMimeItem* GetMimeItem(const TWebFile& record);
std::string GetContentType(const TWebFile& record);
// Finds or adds the type (with its extension) in the capture's table, a new
// type captured only when the option NewMimeValidStateFlag says so. A Java
// class file takes the item listing "class" whatever its type; an empty type
// and a full table leave the record on index 0.
void SetContentType(TWebFile& record, const std::string& type, const std::string& extension);
// Marks the record a Java class file, with the item listing "class".
void MakeJavaClass(TWebFile& record);
bool IsImage(const TWebFile& record);
bool IsVrml(const TWebFile& record);

}  // namespace qlon
