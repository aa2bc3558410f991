#pragma once
// THTMLViewer: the control that shows one document (an HTML file, a plain
// text file, a single image, or HTML held in memory). It owns the display
// model, lays it out at its own width, paints it through a child panel,
// scrolls it with its own bars, selects text with the mouse, follows links,
// keeps a history of visited documents and renders page pictures for
// thumbnails. GUI thread only.
//
// Events are std::function members, like the section list's hooks: several
// need out parameters (Handled, the picture of a bitmap request).
#include <QElapsedTimer>
#include <QImage>
#include <QPoint>
#include <QScrollBar>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Readhtml.h"
#include "SectionList.h"

class QMouseEvent;
class QPainter;

namespace qlon::viewer {

class QtMeasureCanvas;
class TvwPrinter;
class THTMLViewer;

// A file that cannot be found: "Can't locate file: " and its name.
class EInOutError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Text made safe inside a quoted attribute value of generated markup.
QString EscapeAttribute(const QString& text);
// A URL naming another scheme than a local file (http:, mailto:, ...).
bool HasForeignScheme(const QString& url);

enum TScrollStyle : uint8_t { ssNone, ssHorizontal, ssVertical, ssBoth };
// htFocused: a frame only while the control has the focus; htSingle: always.
enum THTMLBorderStyle : uint8_t { htFocused, htNone, htSingle };
enum TDocumentKind : uint8_t { kHtmlDocument = 0, kTextDocument = 1, kImageDocument = 2 };

// A place in the document that survives a re-layout at another width: the
// index of the section holding the window's top line (high 32 bits) and the
// distance in pixels from that section's top to the window's top (low 32
// bits). Sections taller than 65,535 pixels and documents of more sections
// than that keep their place.
using TDocPosition = int64_t;

struct PositionObj {
  TDocPosition Pos = 0;
  uint8_t Kind = kHtmlDocument;
};

// A vertical bar over the whole int range, set the way the document's
// scrolling needs it: the last position is max - page + 1.
class T32ScrollBar : public QScrollBar {
 public:
  explicit T32ScrollBar(QWidget* parent) : QScrollBar(Qt::Vertical, parent) {}
  void SetParams(int position, int page, int max, int min);
  // Moves the thumb without reporting a scroll.
  void SetPosition(int position);
  void SetMax(int max) { SetParams(value(), page_, max, min_); }
  int Max() const { return max_; }

 private:
  int page_ = 1, max_ = 0, min_ = 0;
};

// The client surface: paints the background and hands painting and the mouse
// to the viewer.
class TPaintPanel : public QWidget {
 public:
  explicit TPaintPanel(THTMLViewer* viewer);
  THTMLViewer* Viewer;
  bool EraseRequested = false;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

class THTMLViewer : public QWidget {
 public:
  explicit THTMLViewer(QWidget* parent = nullptr);
  ~THTMLViewer() override;

  // --- events
  std::function<void(THTMLViewer& sender, const QString& src)> OnHotSpotCovered;
  std::function<void(THTMLViewer& sender, const QString& src, bool& handled)> OnHotSpotClick;
  // Asked for every picture of the document (name in, picture and transparent colour out).
  BitmapRequest OnBitmapRequest;
  std::function<void(THTMLViewer& sender, const QString& action, const QString& method, const QStringList& results)>
      OnFormSubmit;
  FormInputValueHandler OnFormInputValue;
  std::function<void(THTMLViewer& sender)> OnHistoryChange;
  std::function<void(THTMLViewer& sender, bool processingOn)> OnProcessing;

  // --- loading. The three file loaders do nothing while busy or for an
  // empty name; "file#name" scrolls to the anchor. A missing file raises
  // EInOutError and leaves the document shown; a reader error (EParseError)
  // reaches the caller after what was read has been laid out and shown.
  void LoadFromFile(const QString& name);
  void LoadTextFile(const QString& name);
  void LoadImage(const QString& name);
  // HTML in memory; no history entry, CurrentFile becomes empty.
  void LoadFromString(const QString& text);

  // "#name" or "name": scrolls the anchor to the window's top.
  bool PositionTo(const QString& anchor);
  // PositionTo, recording the place left in the history as a "#name" link does.
  bool FollowAnchor(const QString& anchor);
  // The document Y of a named anchor, or -1.
  int AnchorY(const QString& name) const;

  QString GetDocumentTitle() const { return Title_; }
  QString GetCurrentFile() const { return CurrentFile_; }
  QString Base() const { return Base_; }
  // Only fills an empty base.
  void SetBase(const QString& base);
  QString BaseTarget() const { return BaseTarget_; }
  QString HotSpotURL() const { return HotSpotURL_; }
  QString HotSpotTarget() const { return HotSpotTarget_; }
  uint8_t DocumentKind() const { return DocumentKind_; }

  TDocPosition Position() const;
  void SetPosition(TDocPosition position);

  // --- selection (document character positions)
  int SelLength();
  QString SelText();
  void SetSelection(int start, int end);
  void SelectAll();
  // The selected text onto the clipboard (also Ctrl+C / Ctrl+Insert).
  void CopyToClipboard();

  // --- history (index 0 = newest)
  const QStringList& History() const { return History_; }
  const QStringList& HistoryTitles() const { return HistoryTitles_; }
  const std::vector<PositionObj>& HistoryPositions() const { return HistoryPositions_; }
  int HistoryIndex() const { return HistoryIndex_; }
  void SetHistoryIndex(int index);
  void ClearHistory();
  int HistoryMaxCount() const { return HistoryMaxCount_; }
  void SetHistoryMaxCount(int count);

  virtual void Clear();
  // Re-layout at the kept position (after a property change).
  void Relayout();

  // The top 800 x 600 of the page scaled to width x height through zoom
  // (filter 0 nearest pixel, else smooth), optionally at 8 bits per pixel.
  // Null while busy or when zoom's entry points are missing.
  QImage MakePageBitmap(int width, int height, bool drawBackground, bool convertTo8Bit, int filterValue);

  // Prints pages first .. last of the document laid out at the page width,
  // as a job of its own on the printer selection (none when no page is in
  // range), or into an open job that may hold other documents. Nothing while
  // busy; busy while printing, so that no load frees what the printed copy
  // borrows while the job lets events run. Returns the pages printed.
  int Print(int firstPage, int lastPage);
  int Print(int firstPage, int lastPage, TvwPrinter& job);
  // The colours of an 8-bit picture become the viewers' shared colour table.
  static void SetPaletteBitmap(const QImage& bitmap);
  void SetUsePalette(bool on);
  bool UsePalette() const { return UsePalette_; }

  // A link turned into a file path: relative to Base when set, else to the
  // folder of the current file.
  virtual QString ExpandName(const QString& link);
  // Follows HotSpotURL (after OnHotSpotClick, unless that handled it).
  virtual void HotSpotClick();

  // --- display defaults
  bool ViewImages() const { return SectionList_.ShowImages; }
  void SetViewImages(bool on);
  Color DefBackground() const { return DefBackground_; }
  void SetDefBackground(Color c);
  Color DefFontColor() const { return DefFontColor_; }
  void SetDefFontColor(Color c);
  Color DefHotSpotColor() const { return DefHotSpotColor_; }
  void SetDefHotSpotColor(Color c);
  int DefFontSize() const { return DefFontSize_; }
  void SetDefFontSize(int size);
  QString DefFontName() const { return DefFontName_; }
  void SetDefFontName(const QString& name);
  QString DefPreFontName() const { return DefPreFontName_; }
  void SetDefPreFontName(const QString& name);
  int ImageCacheCount() const { return ImageCacheCount_; }
  void SetImageCacheCount(int count);
  bool NoSelect() const { return NoSelect_; }
  void SetNoSelect(bool on);
  TScrollStyle ScrollBars() const { return ScrollBars_; }
  void SetScrollBars(TScrollStyle style);
  THTMLBorderStyle BorderStyle() const { return BorderStyle_; }
  void SetBorderStyle(THTMLBorderStyle style);

  // --- state, for the frame viewer, printing and tests
  bool Processing() const { return Processing_; }
  int DocHeight() const { return DocHeight_; }
  int MaxHorz() const { return MaxHorz_; }
  int VScrollPosition() const { return SectionList_.YOff; }
  int HScrollPosition() const;
  // Scrolls so that document Y is the window's top (clamped).
  void ScrollTo(int y);
  QWidget* PaintPanel() const;
  QScrollBar* VScrollBar() const;
  QScrollBar* HScrollBar() const;
  TSectionList& SectionList() { return SectionList_; }
  const TAnchorList& Anchors() const { return Anchors_; }
  int ScrollBarWidth() const { return ScrollBarWidth_; }
  int PanelHeight() const;
  int PanelWidth() const;

  // The background as the panel paints it: the colour, or the document's
  // picture tiled so that it moves with the text (offsets = scroll position).
  void PaintBackground(QPainter& painter, const QRect& clip, int xOffset, int yOffset);

 protected:
  // The handlers the paint panel calls, in panel coordinates.
  virtual void PaintPanelPaint(QPainter& painter, const QRect& clip);
  virtual void PanelMouseDown(QMouseEvent* event);
  virtual void PanelMouseMove(QMouseEvent* event);
  virtual void PanelMouseUp(QMouseEvent* event);

  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  friend class TPaintPanel;
  class BusyGuard;

  void SetProcessing(bool on);
  void LoadKind(const QString& name, uint8_t kind);
  // The load itself, recording no history.
  void DoLoad(const QString& name, uint8_t kind);
  void ApplyDefaults();
  // Empties the model for a new document.
  void StartDocument();
  void FontsChanged(bool relayout);
  void SyncHooks();
  void DoLayout();
  void ArrangeScrollBars();
  void ReportLayoutErrors();
  void AddHistory(const QString& file, const QString& title, TDocPosition pos, uint8_t kind);
  void ExtendSelection(QPoint at);
  void AutoScrollTick();
  void ScrollHorizontally(int x);
  int CursorAt(QPoint at, bool clampToEnd);
  bool LinkAt(QPoint at, TUrlTarget& link);

  QString Title_, Base_, BaseTarget_;
  QString HotSpotURL_, HotSpotTarget_;
  QString CurrentFile_;
  TAnchorList Anchors_;
  uint8_t DocumentKind_ = kHtmlDocument;
  QStringList History_, HistoryTitles_;
  std::vector<PositionObj> HistoryPositions_;
  int HistoryIndex_ = 0;
  int HistoryMaxCount_ = 0;
  QString DefFontName_ = QStringLiteral("Times New Roman");
  QString DefPreFontName_ = QStringLiteral("Courier New");
  Color DefFontColor_ = clBtnText;
  Color DefHotSpotColor_ = clBlue;
  Color DefBackground_ = clBtnFace;
  int DefFontSize_ = 12;
  bool Processing_ = false;
  int LastWidth_ = -1;
  int ImageCacheCount_ = 5;
  bool NoSelect_ = false;
  TScrollStyle ScrollBars_ = ssBoth;
  THTMLBorderStyle BorderStyle_ = htFocused;
  bool UsePalette_ = true;
  int CaretPos_ = 0;
  int ScrollBarWidth_ = 16;
  int MaxHorz_ = 0;
  int DocHeight_ = 0;
  bool AutoScrolling_ = false;
  bool MouseDownFlag_ = false;
  bool InLayout_ = false;
  int SelAnchor_ = -1;
  bool LayoutErrorsReported_ = false;

  TSectionList SectionList_;
  TPaintPanel* PaintPanel_;
  T32ScrollBar* VScrollBar_;
  QScrollBar* HScrollBar_;
  std::unique_ptr<QtMeasureCanvas> Measure_;
  QTimer AutoScrollTimer_;
  QPoint LastMouse_;
  bool SettingBars_ = false;
};

}  // namespace qlon::viewer
