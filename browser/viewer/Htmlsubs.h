#pragma once
// The small objects a text section is laid out from: its font runs, its
// inline images with their alignment and size, and the indent manager that
// keeps the margins beside left- and right-aligned images and list levels.
//
// Positions are indexes into the owning section's text (0-based); an image
// takes one character there, the placeholder kImageChar.
#include <QImage>
#include <QString>
#include <vector>

#include "Canvas.h"
#include "HTMLUn2.h"

namespace qlon::viewer {

class TSectionList;
class TMapItem;

// A font that remembers its HTML size. Size is in points, as the document's
// base size scales it; NormalSize is the size before that scaling (12 = normal).
struct TMyFont {
  QString Name = QStringLiteral("Times New Roman");
  int Size = 12;
  Color FontColor = clBtnText;
  int NormalSize = 12;
  uint8_t Style = 0;  // FontStyle bits
  bool Fixed = false;  // preformatted text: takes the document's preformatted font name

  void SetNormalSize(const TSectionList& list, int size);
  void UpdateFont(const TSectionList& list, Color color);
  FontDesc Desc() const { return {Name, PointsToPixels(Size), Style}; }
};

// One font run of a section, starting at Pos. A paragraph may hold a run for
// every few words: the fields are packed.
struct TFontObj {
  int Pos = 0;
  int FontHeight = 0;  // text height + external leading
  int tmHeight = 0;
  int Overhang = 0;
  int Descent = 0;
  uint8_t SScript = 0;  // 0 normal, 1 subscript, 2 superscript
  TMyFont TheFont;
  TUrlTarget UrlTarget;  // empty URL: not a link

  TFontObj() = default;
  TFontObj(int pos, const TMyFont& font) : Pos(pos), TheFont(font) {}
  void Measure(Canvas& canvas);
  void UpdateFont(const TSectionList& list);
};

class TFontList {
 public:
  std::vector<TFontObj> Items;

  void Measure(Canvas& canvas);
  void UpdateFonts(const TSectionList& list);
  // The run in force at the position (the last one starting at or before it).
  TFontObj& GetFontAt(int pos, int& overhang);
  TFontObj& GetFontObjAt(int pos, int& index);
  // Characters from the position to the next run's start (the text length for the last run).
  int GetFontCountAt(int pos, int length) const;

 private:
  int IndexAt(int pos) const;
  // Layout, drawing and hit tests walk the runs in order: a search starts
  // at the run found last, so that a paragraph of many short runs is walked
  // in linear time.
  mutable size_t last_ = 0;
};

enum ImageAlign : uint8_t { kAlignTop = 0, kAlignMiddle = 1, kAlignBottom = 2, kAlignLeft = 3, kAlignRight = 4 };

class TImageObj {
 public:
  int Pos = 0;
  int ImageHeight = 0, ImageWidth = 0;  // the box in the line, border included
  int SpecHeight = 0, SpecWidth = 0;    // HEIGHT and WIDTH, 0 unless both positive
  int ObjHeight = 0, ObjWidth = 0;      // the drawn picture
  QString Source, Alt;
  bool HasAlt = false;
  uint8_t ObjAlign = kAlignBottom;
  bool NoBorder = false;
  QImage Bitmap, Mask;  // shared with the image cache
  bool IsError = false;  // Bitmap is the error picture
  const TSectionList* ParentSectionList = nullptr;
  bool Transparent = false;
  bool IsMap = false, UseMap = false;
  QString MapName;
  bool HasBorder = false;
  int DrawX = 0, DrawY = 0;
  int HSpace = 5;
  int HorzPos = 0;  // left/right images: offset from the cell's left edge
  int FloatY = 0;   // left/right images: the layout Y they were placed at

  TImageObj(const TAttributeList& attributes, int pos);
  TImageObj(const TImageObj&) = default;

  void SetImageSize(TSectionList& list, Canvas& canvas, const TFontObj& font);
  void Draw(Canvas& canvas, int x, int topY, int y, const TFontObj& font);
};

// The images of one section, in text order (their positions increase).
class TImageList {
 public:
  std::vector<TImageObj> Items;

  TImageObj* FindImage(int pos);
  const TImageObj* FindImage(int pos) const;
  // The index of the first image at or after the position (Items.size() when none).
  size_t IndexAtOrAfter(int pos) const;
  int GetHeightAt(int pos, uint8_t& align);
  int GetWidthAt(int pos, uint8_t& align);
  // Distance from the position to the next image at or after it; 9999 when none.
  int GetImageCountAt(int pos) const;
  // The image under the point (drawn position), with its map when it uses one.
  bool PtInImage(int x, int y, const TSectionList& list, const TMapItem*& map, bool& usesMap, bool& isMap,
                 int& pos, int& dx, int& dy) const;
};

// An indent band: X is the left margin's offset from LfEdge (left list) or a
// value <= 0 from RtEdge (right list); YT .. YB inclusive; Lev 0 for images.
struct IndentRec {
  int X = 0, YT = 0, YB = 0, Lev = 0;
};

inline constexpr int kListIndent = 35;
inline constexpr int kOpenBand = 9999999;

class IndentManager {
 public:
  // The order of the bands in a list carries no meaning.
  std::vector<IndentRec> L, R;
  int Width = 0;
  int CurrentLevel = 0;
  int LfEdge = 0, RtEdge = 0;

  void Reset(int lf, int rt);
  void Clear();
  int LeftIndent(int y);
  int RightSide(int y);
  // Places a left- or right-aligned image at Y, or lower when it does not fit
  // beside the images there (its FloatY and HorzPos tell where).
  void Update(int y, TImageObj& image);
  int ImageBottom() const;
  void GetClearY(int& left, int& right) const;
  int NextLevelY() const;
  void SetLevel(int y, int level);
  // Moves every band down by dy (a laid-out cell placed lower).
  void Shift(int dy);
  // The first Y below an image band holding Y (-1 when none does).
  int NextImageBandEnd(int y);

 private:
  // Layout and drawing ask about Y going down the cell: the bands that end
  // above the Y last asked about wait at the front of their list, passed
  // over, so that a line costs the bands about it rather than all of them.
  struct Passed {
    size_t count = 0;
    int y = 0;
  };
  Passed passedL_, passedR_;
  int bottomL_ = -1, bottomR_ = -1;  // the lowest YB of image bands, -1 for none
  // f for each band holding Y; a look ahead (placing an image lower down)
  // leaves the passed bands as they are.
  template <typename F>
  static void ForBandsAt(std::vector<IndentRec>& list, Passed& passed, int y, bool ahead, F f);
  int LeftAt(int y, bool ahead);
  int RightAt(int y, bool ahead);
  int NextBandEndAt(int y, bool ahead);
  void ForgetPassed() { passedL_ = passedR_ = Passed(); }
};

// The shared pictures: shown for an image that fails to load (27 x 30), and
// for every image while image display is off (32 x 32).
const QImage& ErrorPicture();
const QImage& NoImagePicture();

}  // namespace qlon::viewer
