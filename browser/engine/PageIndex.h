#pragma once
// The index pages of a capture, made from templates.
//
//   capture folder/_Accueil.htm        the summary: one row per site
//   capture folder/Index/_ixhNN.htm    HTML pages (with thumbnails), LigByPage rows of 2
//                        _ixiNN.htm    images, ImgLigByPage rows of ImgColByPage
//                        _ixoNN.htm    other retrieved files, LigByPage rows
//                        _ixeNN.htm    failed records (error, not found), LigByPage rows
//                        _ixfNN.htm    filtered addresses, when FilteredUrlFlag is set
//
// NN is the page number in at least two upper-case hexadecimal digits; the
// pages of one kind are numbered on from site to site, so that one site's
// pages never overwrite another's. Each page is its kind's template
// (program folder/Index/<prefix>.ht_) with the markers "QLON_<name>"
// replaced (kIndexMarkers, numbered from 1); the template folder's other
// files are copied into the capture's Index folder.
//
// Every title and URL is HTML-escaped, and every local link names a file of
// the capture folder (a missing one: the "not captured" page).
//
// Counting and listing use one predicate (TSommaireIndex::Classify), so the
// page counts announced in the links are the pages written.
#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace qlon {

class TReplaceBatch;
class TWeb;
class TWebFile;
struct TSommaireParam;

inline constexpr int kIndexMarkerCount = 31;
// The names after "QLON_", in marker order.
extern const std::array<std::string_view, kIndexMarkerCount> kIndexMarkers;

inline constexpr const char* kTemplateExtension = ".ht_";
inline constexpr const char* kIndexFolder = "Index";
inline constexpr const char* kSummaryPage = "_Accueil.htm";

// Alignment names, by index (0 none).
inline constexpr std::array<std::string_view, 8> kAlignNames = {"",        "Left",    "Right",  "Top",
                                                                "Bottom",  "Center",  "TextTop", "Middle"};

// What is known already of a retrieved record's file: its path (empty when
// missing), its size and, for a page whose bytes were at hand, the raw text
// of its title (as TWebFile::GetRawTitle reads it), so that the indexes need
// not ask the disk again.
struct TFileFact {
  std::string Path;
  uint64_t Size = 0;
  bool HasTitle = false;
  std::string RawTitle;
};
// By the record's URL as the tree holds it.
using TFileFacts = std::unordered_map<std::string, TFileFact>;

// What the summary shares with its four indexes.
struct TIndexShared {
  TWeb* Web = nullptr;
  int HtmlPageCount = 0;  // of the whole capture (marker 14)
  // When set, pages are staged there and replaced at its commit; else each
  // is replaced when written.
  TReplaceBatch* Batch = nullptr;
  // When set, the files of the records it holds are as it says.
  const TFileFacts* Facts = nullptr;
};

class TPageIndex {
 public:
  // Loads the template "<prefix>.ht_" of the folder; throws EReadError when
  // it cannot be read.
  TPageIndex(TIndexShared& shared, std::string prefix, const std::filesystem::path& templateFolder,
             std::filesystem::path outputFolder, int rowsPerPage, int cellsPerRow);
  virtual ~TPageIndex() = default;
  TPageIndex(const TPageIndex&) = delete;
  TPageIndex& operator=(const TPageIndex&) = delete;

  virtual void Substitute(std::string& out, int marker) const;
  virtual void SetCount(int count);
  virtual std::string GetPageTitle() const;
  // Lists the record when this index takes it.
  virtual bool Add(const TWebFile& record) = 0;
  virtual bool Accepts(const TWebFile& record) const = 0;

  void BeginSite(const std::string& title, const std::string& url, int firstPage, const std::string& homePage);
  // Writes the current page unless it is empty; throws EWriteError.
  void FinishPage();
  // The first page number free for the next site.
  int NextFreePage() const;
  std::string PageFileName(int number) const;
  // The template with its markers replaced, as it is written.
  std::string Expand() const;

  const std::string Prefix;
  std::string Title;  // the kind's title, then the site's
  std::string SiteUrl, HomePage;
  int FirstPage = 1, PageCount = 0, PageIndex = 0, ItemCount = 0;
  int Align = 1, VAlign = 5, CellWidth = 0, CellHeight = 0;
  const int RowsPerPage, CellsPerRow;

 protected:
  void RowStart();
  void RowEnd();
  void CellStart();
  void CellEnd();
  bool PageFull() const { return row_ >= RowsPerPage && cell_ >= CellsPerRow; }
  void Listed() { ++onPage_; }
  // A link from this index's pages to an absolute path of the capture.
  std::string LocalLink(const std::string& path) const;
  // The record's local file, or the "not captured" page when it has none.
  std::string FileLink(const TWebFile& record) const;
  // The URL when it leads to the web, else the record's local file.
  std::string UrlLink(const TWebFile& record) const;
  // The record's file as the shared facts know it, else as the disk has it.
  std::string ExistingPath(const TWebFile& record) const;
  std::string SizeText(const TWebFile& record) const;
  std::string RecordTitle(const TWebFile& record) const;
  TWeb& Web() const { return *shared_.Web; }
  // One row: the record's URL as a link (in `open`/`close` type) and its state.
  void AddressRow(const TWebFile& record, const std::string& open, const std::string& close);

  TIndexShared& shared_;
  std::filesystem::path output_;
  std::vector<std::string> template_;
  std::string body_;
  std::string summaryLink_ = "../_Accueil.htm";
  bool writeEmpty_ = false;
  int row_ = 0, cell_ = 0, onPage_ = 0;
  bool rowOpen_ = false;

 private:
  std::string PageLinks() const;
  std::string StartUrlTable() const;
};

class THtmlIndex : public TPageIndex {
 public:
  THtmlIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
             const TSommaireParam& param);
  bool Add(const TWebFile& record) override;
  bool Accepts(const TWebFile& record) const override;
};

class TImageIndex : public TPageIndex {
 public:
  TImageIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
              const TSommaireParam& param);
  void Substitute(std::string& out, int marker) const override;
  bool Add(const TWebFile& record) override;
  bool Accepts(const TWebFile& record) const override;
  // Images below the minimum size in both directions are taken, not listed.
  bool Lists(const TWebFile& record) const;
  bool Lists(int width, int height) const;
  // Width and height of the record, else of its file; 0 x 0 unknown.
  std::pair<int, int> Dimensions(const TWebFile& record) const;

  int ImgSize, ImgSizeMin;
  bool ImgRatio;
  int ImagesSeen = 0;
};

class TOtherIndex : public TPageIndex {
 public:
  TOtherIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
              const TSommaireParam& param);
  bool Add(const TWebFile& record) override;
  bool Accepts(const TWebFile& record) const override;
};

class TErrorIndex : public TPageIndex {
 public:
  TErrorIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
              const TSommaireParam& param);
  bool Add(const TWebFile& record) override;
  bool Accepts(const TWebFile& record) const override;
};

// The filtered addresses (states 9 to 21), when the options ask for them
// (FilteredUrlFlag): "_ixfNN.htm", LigByPage rows, and a sixth summary cell.
class TFilterIndex : public TPageIndex {
 public:
  TFilterIndex(TIndexShared& shared, const std::filesystem::path& templates, std::filesystem::path output,
               const TSommaireParam& param);
  bool Add(const TWebFile& record) override;
  bool Accepts(const TWebFile& record) const override;
};

// Which index takes a record.
enum class TIndexKind { None, Image, ImageUnlisted, Html, Other, Error, Filtered };

class TSommaireIndex : public TPageIndex {
 public:
  // The templates come from the folder (by default the program's folder +
  // "Index"); the capture's Index folder is made and the template folder's
  // other files are copied into it. Throws EReadError for a missing template.
  TSommaireIndex(TWeb& web, const TSommaireParam& param, std::filesystem::path templateFolder = {});
  ~TSommaireIndex() override;

  static std::filesystem::path DefaultTemplateFolder();

  TIndexKind Classify(const TWebFile& record) const;
  void AddSite(const std::string& title, const std::string& url, bool withHomeLink, int otherCount,
               int listedImageCount, int errorCount, int imageCount, int htmlCount, int recordCount,
               const std::string& homeFile, int filteredCount = 0);
  bool Add(const TWebFile& record) override;
  bool Accepts(const TWebFile&) const override { return false; }
  void FinishSite();
  // Writes "_Accueil.htm", also for a capture without sites.
  void Close();
  std::string GetPageTitle() const override;

  TIndexShared Shared;
  std::unique_ptr<TImageIndex> Images;
  std::unique_ptr<THtmlIndex> Html;
  std::unique_ptr<TOtherIndex> Others;
  std::unique_ptr<TErrorIndex> Errors;
  std::unique_ptr<TFilterIndex> Filtered;  // none unless FilteredUrlFlag

 private:
  void SummaryCell(const std::string& width, const std::string& content);
  void RemoveOldPages(const std::filesystem::path& index);
  std::vector<TPageIndex*> Kinds() const;
};

}  // namespace qlon
