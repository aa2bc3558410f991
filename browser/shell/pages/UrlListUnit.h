#pragma once
// TUrlList: the rows of one URL grid, without any widget. A row is a small
// entry keyed by the record's URL; the full record (TWebFile) is read from
// the capture's B-tree only when a key or a cell needs it.
//
// Row entry:
//   Url      the record's URL, the key for looking the record up
//   Kind     the record's MIME index
//   Flags    rfMarked (drawn with a mark), rfSelected (drawn highlighted)
//   StateKey the record's state; an error row holds (error code << 5) | 4,
//            so that errors sort by their code: 32 bits wide, so that every
//            16-bit code keeps its place
//   SizeKey  only while sorted by size (else kNoSize): the size in bytes
//            below 1024, else kKiloBit | size in KiB. 64 bits wide, so that
//            no size collides with another range or is cut.
//   Key32    by the image-size mode: 0 the DOS date of the local file,
//            1 width << 16 | height, 2 height << 16 | width
//
// Sort keys (SortColumn): 1 URL, 2 size, 3 state, 4 kind, 5 width,
// 6 date, 7 height; 8 title, 9 file name, 10 content type, 11 referring
// page of the image map, 12 image map name are text keys, loaded once per
// column from the records and compared case-insensitively in the locale's
// collation. Order: 0 unsorted, 1 descending, 2 ascending.
//
// Which records each style lists is decided here too (BelongsToStyle), so
// that the grids and the main window agree on it.
#include <QCollator>
#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Types.h"

namespace qlon {

class TWeb;
class TWebFile;

struct TUrlRow {
  std::string Url;
  uint8_t Kind = 0;
  uint8_t Flags = 0;
  uint32_t StateKey = 0;
  uint64_t SizeKey = 0;
  uint32_t Key32 = 0;
};

enum TUrlSortKey : uint8_t {
  skNone = 0,
  skUrl = 1,
  skSize = 2,
  skState = 3,
  skKind = 4,
  skWidth = 5,
  skDate = 6,
  skHeight = 7,
  skTitle = 8,
  skFileName = 9,
  skContentType = 10,
  skMapPage = 11,
  skMapName = 12,
};

enum TUrlSortOrder : uint8_t { soNone = 0, soDescending = 1, soAscending = 2 };

// The sort key of a grid column id (0..10 of the default column table).
TUrlSortKey SortKeyOfColumn(int columnId);
bool IsTextSortKey(int key);

// Whether a record is listed by a style (usRequest: being requested;
// usMapList: the image of one of the capture's image maps).
bool BelongsToStyle(TWUrlListStyle style, const TWebFile& record, const TWeb& web);

class TUrlList {
 public:
  static constexpr uint8_t rfMarked = 1;
  static constexpr uint8_t rfSelected = 2;
  static constexpr uint64_t kNoSize = UINT64_MAX;
  static constexpr uint64_t kKiloBit = uint64_t(1) << 62;

  static uint64_t SizeKey(uint64_t bytes);
  static uint32_t StateKey(const TWebFile& record);

  TUrlList();
  virtual ~TUrlList();
  TUrlList(const TUrlList&) = delete;
  TUrlList& operator=(const TUrlList&) = delete;

  TWeb* Web() const { return web_; }
  // A different capture empties the list.
  void SetWeb(TWeb* web);
  void Clear();

  // With a sort order the row goes to its place (after equal rows), else
  // at the end; the row's index.
  int Add(const TWebFile& record);
  // Refreshes the keys of the record's row (flags kept) and moves it to its
  // place in a sorted list; the row's new index, -1 when not listed.
  int Update(const TWebFile& record);
  void Delete(int row);
  // Empties the list, then lists the capture's records of the style in the
  // current sort order; the row count. `progress` hears now and then how
  // many records of the capture were looked at.
  int Fill(TWUrlListStyle style, const std::function<void(int visited)>& progress = {});

  int Count() const { return int(rows_.size()); }
  const TUrlRow& Row(int i) const { return rows_.at(size_t(i)); }
  std::string Url(int i) const;
  uint8_t Flags(int i) const;
  void SetFlags(int i, uint8_t flags);
  // First row whose URL equals url ignoring case; -1 (also without a capture).
  int Find(const std::string& url) const;
  // Reads the record of a row from the capture; false when it is gone.
  bool Lookup(int row, TWebFile& record) const;

  int SortColumn() const { return sortColumn_; }
  int SortOrder() const { return sortOrder_; }
  uint8_t ImageSizeMode() const { return imageSizeMode_; }
  // Re-sorts only on a change, and only when both are non-zero.
  void SetSort(int column, int order);
  void SetOrder(int order);
  virtual void Sort();

  // The column whose text keys are loaded (0 none), and a row's key (case-folded).
  int TextKeyColumn() const { return textColumn_; }
  QString TextKey(int i) const { return textColumn_ ? textKeys_.at(size_t(i)) : QString(); }

 private:
  TUrlRow makeRow(const TWebFile& record) const;
  QString textOf(const TWebFile& record, int column) const;
  QString textOfColumn(const TWebFile& record, int column) const;
  uint32_t key32Of(const TWebFile& record) const;
  void loadSizeKeys();
  void loadTextKeys(int column);
  void loadKey32();
  // <0, 0, >0 between rows a and b under the sort key, ascending.
  int compare(const TUrlRow& a, const QString& ta, const TUrlRow& b, const QString& tb) const;
  bool before(const TUrlRow& a, const QString& ta, const TUrlRow& b, const QString& tb) const;
  int placeFor(const TUrlRow& row, const QString& text) const;
  void insertAt(int at, TUrlRow row, QString text);

  TWeb* web_ = nullptr;
  std::vector<TUrlRow> rows_;
  uint8_t sortOrder_ = soNone;
  uint8_t sortColumn_ = skNone;
  uint8_t imageSizeMode_ = 0;
  bool sizeKeysLoaded_ = false;
  uint8_t textColumn_ = 0;
  std::vector<QString> textKeys_;
  QCollator collator_;
};

}  // namespace qlon
