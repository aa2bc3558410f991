#pragma once
// The displayed document is a tree of cells: a cell is a vertical list of
// sections; a table section holds rows of cells, and so on. TSectionList is
// the root cell and owns the document-wide settings, the image cache, the
// forms and client maps, and the selection.
//
// Coordinates: layout (DrawLogic) works in document coordinates from Y 0.
// Draw is given panel coordinates (the list subtracts its scroll offset YOff);
// what is kept for hit testing (image and line places) is stored back in
// document coordinates, so GetURL and FindCursor take document Y.
// Character positions (Curs) run through the whole document, section after
// section; selections and searches use them.
#include <QImage>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "Canvas.h"
#include "HTMLUn2.h"
#include "Htmlsubs.h"

class QWidget;

namespace qlon::viewer {

class TSectionList;
class ThtmlForm;
class TFormControlObj;

class TSectionBase {
 public:
  TSectionList* ParentSectionList = nullptr;
  int SectionHeight = 0;
  int DrawHeight = 0;
  int YValue = 0;
  int StartCurs = 0;

  explicit TSectionBase(TSectionList* list) : ParentSectionList(list) {}
  TSectionBase(TSectionList* list, const TSectionBase& source)
      : ParentSectionList(list), SectionHeight(source.SectionHeight) {}
  virtual ~TSectionBase() = default;
  TSectionBase(const TSectionBase&) = delete;
  TSectionBase& operator=(const TSectionBase&) = delete;

  // The operations every section kind implements, in their old slot order.
  virtual std::unique_ptr<TSectionBase> Copy(TSectionList* list) const;                          // 0
  virtual void CopyToClipboard() {}                                                              // 1
  virtual int DrawLogic(Canvas& canvas, int y, IndentManager& imgr, int& maxWidth, int& curs);   // 2
  virtual int Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y);        // 3
  virtual bool GetURL(Canvas&, int, int, TUrlTarget&) { return false; }                          // 4
  virtual int FindCursor(Canvas&, int, int, int&, int&, int&) { return -1; }                     // 5
  virtual int FindString(int, const QString&, bool) { return -1; }                               // 6
  virtual bool FindCursorPos(int, int&, int&) { return false; }                                  // 7
  virtual void UpdateFonts() { SetHeight(); }                                                    // 8
  virtual void SetHeight() {}                                                                    // 9
  virtual void MinMaxWidth(Canvas&, int& min, int& max) { min = max = 0; }                       // 10
  // Characters the section spans in document positions.
  virtual int Length() const { return 0; }
  // Moves what the last layout placed down by dy (a cell's content placed lower).
  virtual void Shift(int dy) { YValue += dy; }

  void SetParent(TSectionList* list);
};

class TCell {
 public:
  TSectionList* MasterList;
  std::vector<std::unique_ptr<TSectionBase>> Sections;
  int StartY = 0;
  int StartCurs = 0, Len = 0;
  IndentManager IMgr;

  explicit TCell(TSectionList* list) : MasterList(list) {}
  TCell(TSectionList* list, const TCell& source);
  virtual ~TCell() = default;
  TCell(const TCell&) = delete;
  TCell& operator=(const TCell&) = delete;

  void Add(std::unique_ptr<TSectionBase> section);
  virtual int DoLogic(Canvas& canvas, int y, int& curs, int& maxWidth, int width);
  void MinMaxWidth(Canvas& canvas, int& min, int& max);
  virtual int Draw(Canvas& canvas, const QRect& clip, int x, int y);
  bool GetURL(Canvas& canvas, int x, int y, TUrlTarget& link);
  TSectionBase* FindSectionAt(int height, int& top, int& index);
  int FindCursor(Canvas& canvas, int x, int y, int& lineHeight, int& lineTop, int& caretX);
  int FindString(int from, const QString& text, bool matchCase);
  bool FindCursorPos(int pos, int& y, int& x);
  void CopyToClipboard();
  void UpdateFonts();
  void Shift(int dy);
  int Height() const;
};

class TCellObj {
 public:
  int ColSpan = 1, RowSpan = 1;
  int Wd = 0, Ht = 0;
  int VSize = 0;
  int YIndent = 0;
  uint8_t VAlign = 0;  // 0 top, 1 middle, 2 bottom
  int SpecWd = 0;
  bool AsPercent = false;
  std::unique_ptr<TCell> Cell;
  bool BgColorSet = false;
  Color BgColor = 0;
  int LaidY = 0;  // the Y the content was last laid out at
  int MinW = -1, MaxW = -1;  // content widths measured in the current layout pass
  int MeasuredIn = -1;

  TCellObj(TSectionList* list, const TAttributeList& attributes, uint8_t valign);
  TCellObj(TSectionList* list, const TCellObj& source);
  // A place covered by a spanning cell: draws nothing.
  static std::unique_ptr<TCellObj> Placeholder(TSectionList* list, int rowSpan);
  bool IsPlaceholder() const { return ColSpan == 0; }
  void UpdateFonts() { Cell->UpdateFonts(); }
};

// Host hooks, set by the viewer control.
using BitmapRequest = std::function<void(const QString& name, QImage& bitmap, Color& color)>;
using FormSubmitHandler = std::function<void(const QString& action, const QString& method, const QStringList& results)>;
// Action, value (in/out), name, control kind code; true when the value was replaced.
using FormInputValueHandler =
    std::function<bool(const QString& action, QString& value, const QString& name, int kind)>;

class TSectionList : public TCell {
 public:
  int FontSize = 12;
  bool ShowImages = true;
  bool Printing = false;
  int YOff = 0;
  bool YOffChanged = false;
  int SelB = 0, SelE = 0;
  QString FontName = QStringLiteral("Times New Roman");
  QString PreFontName = QStringLiteral("Courier New");
  Color FontColor = clBtnText;
  Color HotSpotColor = clBlue;
  Color Background = clBtnFace;
  bool BackgroundPictureShown = false;
  QWidget* PaintPanel = nullptr;
  BitmapRequest OnBitmapRequest;
  std::function<void(TSectionList&)> OnBackgroundChange;
  std::function<QString(const QString&)> ExpandName;  // the owner viewer's link-to-path rule
  FormSubmitHandler OnFormSubmit;
  FormInputValueHandler OnFormInputValue;
  TStringBitmapList BitmapList;
  QImage BackgroundBitmap;
  QString BitmapName;
  std::vector<std::unique_ptr<ThtmlForm>> htmlFormList;
  SelTextCount* SelText = nullptr;  // only while a selection is measured or copied
  int PageBottom = 0;
  // Printing: where a page ends at most (0: the clip's foot), so that a page
  // can be drawn again with the foot a first drawing found.
  int PageLimit = 0;
  std::vector<std::unique_ptr<TMapItem>> MapList;
  // What the reader sets while parsing: the style bits every new run adds,
  // the script state (0 normal, 1 subscript, 2 superscript), the open form.
  uint8_t CurrentStyle = 0;
  uint8_t CurrentSScript = 0;
  ThtmlForm* CurrentForm = nullptr;
  // Problems found while laying out, reported once by the viewer.
  QStringList LayoutErrors;
  int NestLevel = 0;  // tables being laid out inside each other
  int LayoutPass = 0;  // numbers each layout, to keep per-pass measurements

  explicit TSectionList(QWidget* paintPanel = nullptr);
  // A copy for printing or page pictures: settings and sections, no background
  // picture, no forms or maps of its own; controls are only borrowed.
  TSectionList(const TSectionList& source);
  ~TSectionList() override;

  void Clear();
  void SetFonts(const QString& name, const QString& preName, Color background, Color hotSpot, Color font, int size);
  void SetBackground(Color c);
  void SetBackgroundBitmap(const QString& name);
  QImage GetBackgroundBitmap();
  void SetYOffset(int y);
  int DoLogic(Canvas& canvas, int y, int& curs, int& maxWidth, int width) override;
  int Draw(Canvas& canvas, const QRect& clip, int x, int y) override;
  int GetSelLength();
  // The selected text as the copy command puts it on the clipboard.
  QString GetSelText();
  int GetHeight() const { return Height(); }
  // Printing: the top of the last whole line above the height.
  bool FindPageBreak(int y, int& top);
  // A picture by the name the document gives (cached, requested or loaded).
  QImage GetTheBitmap(const QString& name, uint8_t& transparent, QImage& mask);
  // Every form control of the document (for sizing and hiding).
  std::vector<TFormControlObj*> AllControls() const;
};

}  // namespace qlon::viewer
