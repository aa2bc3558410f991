#pragma once
// The section kinds that carry text or vertical space: the text section
// (broken into lines beside aligned images and list indents), preformatted
// text, list items, paragraph and heading spaces, rules and page breaks.
//
// A text section's buffer holds one unit per character; kImageChar stands for
// an image (its TImageObj has that Pos), kControlChar for a form control.
// Lines break at blanks and placeholders, and between the characters of
// scripts written without blanks (Chinese, Japanese, Korean). Line tops are
// not stored: a line's top is YValue plus the heights of the lines above it.
#include <memory>
#include <string>
#include <vector>

#include "FormControls.h"
#include "SectionList.h"

namespace qlon::viewer {

struct LineRec {
  int Start = 0;
  int SpaceBefore = 0;
  int SpaceAfter = 0;
  int LineHt = 0;
  int DrawHeight = 0;
  int Ln = 0;
  int Descent = 0;
  int LineIndent = 0;
  int DrawY = 0;  // document coordinates, from the last drawing
  int Height() const { return LineHt + SpaceBefore + SpaceAfter; }
};

enum ListKind : uint8_t { kPlainList = 0, kNumberedItem = 1, kBulletItem = 2, kDefinitionItem = 3 };
enum JustifyKind : uint8_t { kLeft = 1, kCentre = 2, kRight = 3 };

inline constexpr int kPreWidth = 32000;

class TSection : public TSectionBase {
 public:
  std::u16string Buff;
  TFontList Fonts;
  TImageList Images;
  TFormControlList FormControls;
  int ListLevel = 0;
  int Indent = 0;
  int ListNumb = 0;
  std::vector<LineRec> Lines;
  TMyFont BaseFont;
  uint8_t ListType = kPlainList;
  uint8_t Justify = kLeft;
  uint8_t ClearAttr = 0;  // 0 none, 1 left, 2 right, 3 all
  int FirstIndent = 0;
  int LastDrawX = 0;  // X of the last drawing, for hit testing

  TSection(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify);
  TSection(TSectionList* list, const TSection& source);

  int Len() const { return int(Buff.size()); }
  int Length() const override { return Len(); }
  virtual bool IsPre() const { return false; }

  // A section takes text of any length: a paragraph or a text file is one
  // section, whose lines break only where lines may.
  virtual void AddText(const std::u16string& text);
  void AddText(const QString& text) { AddText(text.toStdU16String()); }
  void ChangeFont(const TMyFont& font);
  // kind '>' starts a link, any other ends it.
  void HRef(char kind, const TMyFont& font, const TUrlTarget& link);
  TImageObj& AddImage(const TAttributeList& attributes);
  TFormControlObj* AddFormControl(ControlKind kind, const TAttributeList& attributes);
  void ProcessClear(const TAttributeList& attributes);
  void Allocate(int size) { Buff.reserve(size_t(size)); }
  uint8_t CheckEmpty();

  std::unique_ptr<TSectionBase> Copy(TSectionList* list) const override;
  void CopyToClipboard() override;
  int DrawLogic(Canvas& canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) override;
  int Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y) override;
  bool GetURL(Canvas& canvas, int x, int y, TUrlTarget& link) override;
  int FindCursor(Canvas& canvas, int x, int y, int& lineHeight, int& lineTop, int& caretX) override;
  int FindString(int from, const QString& text, bool matchCase) override;
  bool FindCursorPos(int pos, int& y, int& x) override;
  void UpdateFonts() override;
  void MinMaxWidth(Canvas& canvas, int& min, int& max) override;
  void Shift(int dy) override;
  // Whether the lines' heights pass the height (from the section's top).
  bool LineAt(int height, int& top) const;

 protected:
  int Clearance(const IndentManager& imgr, int y) const;
  // floatHeight: the tallest left/right image placed on the line at once.
  int FindCountThatFits(Canvas& canvas, int width, std::vector<TImageObj*>& pending, int& floatHeight,
                        IndentManager& imgr, int y, int max, int start);
  // The steps of a layout: the widest image or control against the width;
  // the room for a line at pos (moved below images beside it while its first
  // word does not fit); how much of the text from pos the line holds; its
  // height from its fonts, images and controls; its indent, returning the
  // width of its text.
  int MeasureObjects(Canvas& canvas, int width);
  int RoomForLine(Canvas& canvas, IndentManager& imgr, int pos, int& lineY, int& drop);
  int LineLength(Canvas& canvas, IndentManager& imgr, int width, std::vector<TImageObj*>& pending, int& floatHeight,
                 int lineY, int pos);
  void SetLineHeight(LineRec& line, int pos, int end, int drop);
  int AlignLine(Canvas& canvas, IndentManager& imgr, LineRec& line, int pos, int end, int lineY);
  // Drawn width of [a, b): text runs, inline images and controls.
  int RangeWidth(Canvas& canvas, int a, int b);
  bool IsFloat(int pos) const;
  int LineEnd(int pos, int n) const;
  // Where the word (or placeholder) at the position ends: its first break opportunity.
  int WordEnd(int pos) const;
  // The line holding document Y (from the layout), or -1; its top in top.
  int LineAtY(int y, int& top) const;
  // The buffer index under X on a line (nearer side when rounding).
  int IndexAtX(Canvas& canvas, const LineRec& line, int x, bool nearer, int& caretX);
  void DrawMarker(Canvas& canvas, int x, int baseline);
};

class TPreFormated : public TSection {
 public:
  using TSection::TSection;
  bool IsPre() const override { return true; }
  void AddText(const std::u16string& text) override;
  std::unique_ptr<TSectionBase> Copy(TSectionList* list) const override;
  void MinMaxWidth(Canvas& canvas, int& min, int& max) override;
};

class TUListItem : public TSection {
 public:
  TUListItem(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify,
             bool plain = false);
};

class TOListItem : public TSection {
 public:
  TOListItem(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify, int number);
};

class TDListItem : public TSection {
 public:
  TDListItem(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify);
};

class TParagraphSpace : public TSectionBase {
 public:
  explicit TParagraphSpace(TSectionList* list);
  std::unique_ptr<TSectionBase> Copy(TSectionList* list) const override;
  void CopyToClipboard() override;
  void SetHeight() override;
};

class THeadingSpace : public TSectionBase {
 public:
  uint8_t HeadingSize;
  THeadingSpace(TSectionList* list, int level);
  std::unique_ptr<TSectionBase> Copy(TSectionList* list) const override;
  void CopyToClipboard() override;
  void SetHeight() override;
};

class THorzLine : public TSectionBase {
 public:
  int VSize = 2;
  int Width = -1;  // pixels, or percent when Percent; -1 full width
  bool Percent = false;
  THorzLine(TSectionList* list, const TAttributeList& attributes);
  std::unique_ptr<TSectionBase> Copy(TSectionList* list) const override;
  void CopyToClipboard() override;
  int Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y) override;
  void SetHeight() override;
};

class TPage : public TSectionBase {
 public:
  explicit TPage(TSectionList* list) : TSectionBase(list) {}
  std::unique_ptr<TSectionBase> Copy(TSectionList* list) const override;
  int Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y) override;
};

// The light edge of 3D frames and rules: light grey when printing or on a
// white page without a background picture, else the highlight colour.
Color LightEdgeColor(const TSectionList& list);

}  // namespace qlon::viewer
