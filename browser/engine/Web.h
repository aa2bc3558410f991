#pragma once
// TWeb: one capture as a document, kept in one capture file ("local.web" in
// the capture folder): a header area of 5120 bytes from offset 0, then the
// URL B-tree (TUrlBTree) from offset 5120.
//
// Header, in this order (stream primitives of Utils.h):
//    1  short string "MQLON"
//    2  int16 format version, 513
//    3  short string program version "2.03"
//    4  short string title (at most 128 bytes)
//    5  int16 n, then n x 4 short strings: URL, user, password, extra text
//       (version 512: one URL string, two skipped strings, then the title)
//    6  int16 retrieved, filtered, not found, errors, MIME category set
//    7  the capture options (TOptions stream form of the file's version)
//    8  int32 total size of the kept files, in bytes
//    9  byte BackgroundOnlyFlag of the options
//   10  double capture date (days since 0001-01-01)
//   11  identities (TIdentityList)
//   12  image maps (TMapList, read with the file's version)
//   13  statistics (TCaptureInfo): two dates as in 10, six int32 counters
//   14  int16 pair count, then per pair an address line and a host line, each
//       ending with CR LF (the host-address list). It follows the statistics
//       so that a header written with an empty list and no count (the zeros
//       of the area) reads as an empty list.
// The rest of the area up to 5120 is zeros.
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
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ImgMap.h"
#include "Mime.h"
#include "Options.h"
#include "UrlBTree.h"
#include "Utils.h"

namespace qlon {

class ECaptureHeaderTooLarge : public EWebStream {
 public:
  using EWebStream::EWebStream;
};

inline constexpr const char* kWebMagic = "MQLON";
inline constexpr int16_t kWebFileVersion = 513;
inline constexpr const char* kProgramVersion = "2.03";
inline constexpr uint32_t kWebHeaderSize = 5120;
inline constexpr size_t kWebTitleMax = 128;

struct TStartEntry {
  std::string Url, User, Password, Extra;
};

struct TCaptureInfo {
  double FirstDate = 0;  // in-memory date-times
  double LastDate = 0;
  int32_t Counters[6] = {};
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
  TWebLoadResult Open(const std::filesystem::path& path);
  // False when nothing is open; throws ECaptureHeaderTooLarge (nothing
  // written) or EWebStream.
  bool Save();
  void Close();
  bool IsFileOpen() const { return stream_ != nullptr; }
  const std::filesystem::path& Path() const { return path_; }

  // Passes the options the local-name rule reads to the tree; Open,
  // CreateNew and Save call it, a caller that changes them later too.
  void ApplyOptions();

  void SetTitle(const std::string& title);
  const std::string& GetTitle() const { return title_; }

  // The header as it would be written now.
  QByteArray HeaderBytes() const;
  // Reads a header; the stream stands after it on success.
  TWebLoadResult ReadHeader(QIODevice& stream);

  std::vector<TStartEntry> StartEntries;
  uint16_t RetrievedCount = 0, FilteredCount = 0, NotFoundCount = 0, ErrorCount = 0;
  uint16_t MimeCategorySet = 0;
  TOptions Options;
  int32_t TotalSize = 0;
  TMapList Maps;
  StringList HostAddresses;  // address, host name, address, host name, ...
  TCaptureInfo Info;

 private:
  std::filesystem::path path_;
  std::unique_ptr<TWebStream> stream_;
  std::string title_;
};

// The title of a capture file (the open capture's own when the path is
// its); empty when the file is not a readable capture.
std::string ReadWebTitle(const std::filesystem::path& path, const TWeb* open = nullptr);

// The record's MIME item in its capture's table (the "Defaut" item for index
// 0 or an unknown slot), and the operations on it.
TMimeItem* GetMimeItem(const TWebFile& record);
std::string GetContentType(const TWebFile& record);
// Finds or adds the type (with its extension) in the capture's table; a full
// table leaves the record on index 0.
void SetContentType(TWebFile& record, const std::string& type, const std::string& extension);
bool IsImage(const TWebFile& record);
bool IsVrml(const TWebFile& record);

}  // namespace qlon
