#pragma once
// Printing a laid-out document page by page on a QPrinter.
//
// A document prints at the size it has on the screen: the page is laid out in
// screen pixels (96 per inch) and the painter scales them to the printer's
// dots, so fonts (set by pixel size) measure exactly as on the screen. The
// printable width in screen pixels, minus 20, is the layout width; the
// document has a 10-pixel left margin as in the viewer window.
//
// A page ends at the top of the first line that does not fit on it, and a
// table starting in the lower half of a page that would cross its foot moves
// to the next page; only a line taller than a whole page is cut.
//
// One TvwPrinter is one print job; several documents may be printed into it
// one after the other, each starting on a fresh page. Nothing reaches the
// device before the first page in range is drawn, so a job that prints no page
// spools nothing; a job printed to a file is written beside it under a
// temporary name and only takes the file's name when it ends, so an aborted
// job leaves no half file (and an older file of that name untouched).
#include <QString>
#include <memory>
#include <stdexcept>
#include <vector>

#include "Canvas.h"
#include "QtCanvas.h"

class QPainter;
class QPrinter;

namespace qlon::viewer {

class TSectionList;
class TvwPrinter;

class EPrinter : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

inline constexpr const char* kInvalidPrinter = "Printer selected is not valid";
inline constexpr const char* kPrinting = "Printing in progress";
inline constexpr const char* kNotPrinting = "Printer is not currently printing";
// Logical pixels per inch of the screen layout.
inline constexpr int kScreenPixelsPerInch = 96;

// The process-wide printer selection a print dialog fills in.
struct PrinterSetup {
  QString PrinterName;  // empty: the system's default printer
  QString OutputFile;   // not empty: a PDF file instead of a printer
  int Resolution = 0;   // dots per inch; 0: the device's own
};
PrinterSetup& PrinterSelection();

// The canvas of a printer: the screen metrics (the same fonts at the same
// pixel sizes), drawing on the printer's painter. While off paper, drawing is
// dropped (pages before the first page to print are laid out this way).
class TPrinterCanvas : public Canvas {
 public:
  explicit TPrinterCanvas(TvwPrinter* owner) : vwPrinter(owner) {}
  TvwPrinter* vwPrinter;

  void SetFont(const FontDesc& font) override;
  TextMetrics Metrics() override { return measure_.Metrics(); }
  int CharWidth(char16_t c) override { return measure_.CharWidth(c); }
  void DrawText(int x, int baseline, const char16_t* s, int n, Color fg, Color bg = kNoColor,
                const QRect* clip = nullptr) override;
  void FillRect(const QRect& r, Color c) override;
  void FrameRect(const QRect& r, Color c) override;
  void Line(QPoint a, QPoint b, Color c) override;
  void FillEllipse(const QRect& r, Color c) override;
  void DrawImage(const QRect& dst, const QImage& image) override;
  void FillRegion(const QRegion& region, Color c) override;
  void DrawWidget(QWidget* widget, QPoint at) override;
  QRect ClipBox() const override { return clip_; }
  bool IsPrinter() const override { return true; }

  void SetClip(const QRect& clip) { clip_ = clip; }
  void SetOffPaper(bool off) { offPaper_ = off; }
  // Forgets the device canvas (the painter went away).
  void DeviceClosed() { device_.reset(); }

 private:
  QtMeasureCanvas measure_;
  std::unique_ptr<QtCanvas> device_;
  FontDesc font_;
  QRect clip_;
  bool offPaper_ = false;
  // The device canvas, or nullptr when drawing is dropped.
  Canvas* Device();
};

class TvwPrinter {
 public:
  int PageNumber = 0;  // 1 after BeginDoc, 0 after EndDoc
  QString Title;       // the job's name (31 characters are used)
  bool Printing = false;
  bool Aborted = false;

  explicit TvwPrinter(const PrinterSetup& setup = PrinterSelection());
  ~TvwPrinter();  // an unfinished job is aborted
  TvwPrinter(const TvwPrinter&) = delete;
  TvwPrinter& operator=(const TvwPrinter&) = delete;

  TPrinterCanvas& Canvas();
  // 0 nothing open, 1 the printer chosen and checked, 2 the device drawn on.
  int State() const { return state_; }

  void BeginDoc();
  void NewPage();
  void EndDoc();
  void Abort();

  // The printable area in device dots, and the dots per inch.
  int PageWidth();
  int PageHeight();
  int PixelsPerInchX();
  int PixelsPerInchY();

  // Maps screen pixels to the device with the page's top at document Y top,
  // and clips to the page: the window of a page of w x h screen pixels.
  void MapPage(int top, int width, int height);
  // Pages the device holds so far (0 while nothing was drawn).
  int DevicePages() const { return devicePages_; }
  // Whether the current page has nothing on it yet.
  bool PageBlank() const { return pageBlank_; }

  // Called by the canvas before anything is drawn: opens the device.
  QPainter& Painter();

 private:
  PrinterSetup setup_;
  int state_ = 0;
  std::unique_ptr<QPrinter> printer_;
  std::unique_ptr<QPainter> painter_;
  std::unique_ptr<TPrinterCanvas> canvas_;
  QString partFile_;  // the temporary output while printing to a file
  int devicePages_ = 0;
  bool pageBlank_ = true;
  int mapTop_ = 0, mapWidth_ = 0, mapHeight_ = 0;
  bool mapped_ = false;

  void SetState(int state);
  // The printer, chosen and checked when nothing is open yet.
  QPrinter& Info();
  void RequirePrinting() const;
  void ApplyMapping();
  void CloseDevice(bool keep);
};

// The process-wide current printer, created on first request.
TvwPrinter& CurrentPrinter();
// Makes printer the current one (nullptr: back to the default one) and
// returns the previous; the caller keeps owning what it sets.
TvwPrinter* SetPrinter(TvwPrinter* printer);
// Lets pending events run; false once the current job was aborted.
bool AbortProc();

struct PrintResult {
  int Pages = 0;           // pages laid out (in range or not)
  int PrintedPages = 0;    // pages put into the job
  std::vector<int> PageTops;  // document Y where each laid-out page starts
};

// Prints pages first .. last of the document into the open job (a copy is
// laid out at the page width; the document itself is not touched). Each
// document starts on a fresh page of the job. A document with no page in
// range adds nothing.
PrintResult PrintDocument(const TSectionList& document, TvwPrinter& printer, int first, int last);
// The whole job for one document on the current printer selection: its own
// printer made current for the time, aborted when no page is in range.
PrintResult PrintDocument(const TSectionList& document, int first, int last, const QString& title = {});

}  // namespace qlon::viewer
