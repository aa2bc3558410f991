#include "vwPrint.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

#include "SectionList.h"

namespace qlon::viewer {

namespace {

// A new, empty file beside the target that a job writes until it ends and
// is renamed over the target: with the target's permissions when it
// exists, else with those the umask gives a new file. Empty when none can
// be made.
QString CreatePartFile(const QString& target) {
  const QFileInfo info(target);
  struct stat old {};
  const bool exists = ::stat(QFile::encodeName(info.absoluteFilePath()).constData(), &old) == 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    QString name = info.absoluteDir().filePath(QStringLiteral(".%1.%2").arg(info.fileName()).arg(
        QRandomGenerator::global()->bounded(1u << 30), 6, 36, QChar('0')));
    const QByteArray path = QFile::encodeName(name);
    int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return {};
    }
    const bool ok = !exists || ::fchmod(fd, old.st_mode & 07777) == 0;
    ::close(fd);
    if (ok) return name;
    ::unlink(path.constData());
    return {};
  }
  return {};
}

}  // namespace

PrinterSetup& PrinterSelection() {
  static PrinterSetup setup;
  return setup;
}

// ---- TPrinterCanvas

void TPrinterCanvas::SetFont(const FontDesc& font) {
  font_ = font;
  measure_.SetFont(font);
  if (device_) device_->SetFont(font);
}

Canvas* TPrinterCanvas::Device() {
  if (offPaper_) return nullptr;
  QPainter& painter = vwPrinter->Painter();
  if (!device_) {
    device_ = std::make_unique<QtCanvas>(painter, clip_, true);
    device_->SetFont(font_);
  }
  return device_.get();
}

void TPrinterCanvas::DrawText(int x, int baseline, const char16_t* s, int n, Color fg, Color bg, const QRect* clip) {
  if (Canvas* d = Device()) d->DrawText(x, baseline, s, n, fg, bg, clip);
}
void TPrinterCanvas::FillRect(const QRect& r, Color c) {
  if (Canvas* d = Device()) d->FillRect(r, c);
}
void TPrinterCanvas::FrameRect(const QRect& r, Color c) {
  if (Canvas* d = Device()) d->FrameRect(r, c);
}
void TPrinterCanvas::Line(QPoint a, QPoint b, Color c) {
  if (Canvas* d = Device()) d->Line(a, b, c);
}
void TPrinterCanvas::FillEllipse(const QRect& r, Color c) {
  if (Canvas* d = Device()) d->FillEllipse(r, c);
}
void TPrinterCanvas::DrawImage(const QRect& dst, const QImage& image) {
  if (Canvas* d = Device()) d->DrawImage(dst, image);
}
void TPrinterCanvas::FillRegion(const QRegion& region, Color c) {
  if (Canvas* d = Device()) d->FillRegion(region, c);
}
void TPrinterCanvas::DrawWidget(QWidget* widget, QPoint at) {
  if (Canvas* d = Device()) d->DrawWidget(widget, at);
}

// ---- TvwPrinter

namespace {
TvwPrinter*& Current() {
  static TvwPrinter* current = nullptr;
  return current;
}
}  // namespace

TvwPrinter::TvwPrinter(const PrinterSetup& setup) : setup_(setup) {}

TvwPrinter::~TvwPrinter() {
  if (Printing) {
    Aborted = true;
    CloseDevice(false);
  }
  if (Current() == this) Current() = nullptr;  // never leave a dangling current printer
}

TPrinterCanvas& TvwPrinter::Canvas() {
  if (!canvas_) canvas_ = std::make_unique<TPrinterCanvas>(this);
  return *canvas_;
}

void TvwPrinter::SetState(int state) {
  if (state == state_) return;
  if (state == 0) {
    CloseDevice(false);
    printer_.reset();
    state_ = 0;
    return;
  }
  if (!printer_) {
    if (!setup_.OutputFile.isEmpty()) {
      printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
      printer_->setOutputFormat(QPrinter::PdfFormat);
    } else {
      QPrinterInfo info =
          setup_.PrinterName.isEmpty() ? QPrinterInfo::defaultPrinter() : QPrinterInfo::printerInfo(setup_.PrinterName);
      if (info.isNull()) throw EPrinter(kInvalidPrinter);
      printer_ = std::make_unique<QPrinter>(info, QPrinter::HighResolution);
    }
    if (setup_.Resolution > 0) printer_->setResolution(setup_.Resolution);
    if (!printer_->isValid()) {
      printer_.reset();
      throw EPrinter(kInvalidPrinter);
    }
  }
  if (state == 2 && !setup_.OutputFile.isEmpty()) {
    partFile_ = CreatePartFile(setup_.OutputFile);
    if (partFile_.isEmpty()) throw EPrinter(kInvalidPrinter);
    printer_->setOutputFileName(partFile_);
  }
  state_ = state;
}

void TvwPrinter::RequirePrinting() const {
  if (!Printing) throw EPrinter(kNotPrinting);
}

void TvwPrinter::BeginDoc() {
  if (Printing) throw EPrinter(kPrinting);
  SetState(1);
  printer_->setDocName(Title.left(31));
  SetState(2);
  Printing = true;
  Aborted = false;
  PageNumber = 1;
  devicePages_ = 0;
  pageBlank_ = true;
  mapped_ = false;
}

QPainter& TvwPrinter::Painter() {
  RequirePrinting();
  if (!painter_) {
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(printer_.get())) throw EPrinter(kInvalidPrinter);
    painter_ = std::move(painter);
    devicePages_ = 1;
    if (mapped_) ApplyMapping();
  }
  pageBlank_ = false;
  return *painter_;
}

void TvwPrinter::NewPage() {
  RequirePrinting();
  if (!painter_) Painter();  // the page so far (blank) is a page of the job
  printer_->newPage();
  ++devicePages_;
  ++PageNumber;
  pageBlank_ = true;
  if (mapped_) ApplyMapping();
}

void TvwPrinter::EndDoc() {
  RequirePrinting();
  if (!Aborted && !painter_) Painter();  // a job with nothing drawn still prints its one page
  CloseDevice(!Aborted);
  Printing = false;
  Aborted = false;
  PageNumber = 0;
  SetState(0);
}

void TvwPrinter::Abort() {
  RequirePrinting();
  if (printer_) printer_->abort();
  Aborted = true;
  EndDoc();
}

void TvwPrinter::CloseDevice(bool keep) {
  if (canvas_) canvas_->DeviceClosed();
  if (painter_) {
    if (!keep && printer_) printer_->abort();
    painter_->end();
    painter_.reset();
  }
  if (!partFile_.isEmpty()) {
    std::error_code ec;
    std::filesystem::path part = partFile_.toStdString();
    if (keep) {
      std::filesystem::rename(part, setup_.OutputFile.toStdString(), ec);
      if (ec) std::filesystem::remove(part, ec);
    } else {
      std::filesystem::remove(part, ec);
    }
    partFile_.clear();
  }
}

QPrinter& TvwPrinter::Info() {
  if (state_ == 0) SetState(1);
  return *printer_;
}

int TvwPrinter::PageWidth() { return Info().width(); }
int TvwPrinter::PageHeight() { return Info().height(); }
int TvwPrinter::PixelsPerInchX() { return Info().logicalDpiX(); }
int TvwPrinter::PixelsPerInchY() { return Info().logicalDpiY(); }

void TvwPrinter::MapPage(int top, int width, int height) {
  mapTop_ = top;
  mapWidth_ = width;
  mapHeight_ = height;
  mapped_ = true;
  if (painter_) ApplyMapping();
}

void TvwPrinter::ApplyMapping() {
  painter_->resetTransform();
  painter_->scale(double(printer_->logicalDpiX()) / kScreenPixelsPerInch,
                  double(printer_->logicalDpiY()) / kScreenPixelsPerInch);
  painter_->translate(0, -mapTop_);
  painter_->setClipRect(QRect(0, mapTop_, mapWidth_, mapHeight_));
}

// ---- the current printer

namespace {
bool KeepPrinting(const TvwPrinter& printer) {
  QCoreApplication::processEvents();
  return printer.Printing && !printer.Aborted;
}

// Draws the page (off paper) until the page foot it finds stays put: a line
// drawn early can end up below a foot that a later cell moves up, and must
// then wait for the next page too.
int FindPageBottom(TSectionList& copy, TPrinterCanvas& canvas, const QRect& page) {
  canvas.SetOffPaper(true);
  copy.PageLimit = 0;
  copy.Draw(canvas, page, 10, 0);
  int bottom = copy.PageBottom;
  for (int pass = 0; pass < 16; ++pass) {
    copy.PageLimit = bottom;
    copy.Draw(canvas, page, 10, 0);
    if (copy.PageBottom >= bottom) break;
    bottom = copy.PageBottom;
  }
  return bottom;
}
}  // namespace

TvwPrinter& CurrentPrinter() {
  static std::unique_ptr<TvwPrinter> own;
  if (!Current()) {
    if (!own) own = std::make_unique<TvwPrinter>();
    Current() = own.get();
  }
  return *Current();
}

TvwPrinter* SetPrinter(TvwPrinter* printer) {
  TvwPrinter* previous = Current();
  Current() = printer;
  return previous;
}

bool AbortProc() { return !Current() || KeepPrinting(*Current()); }

// ---- printing a document

PrintResult PrintDocument(const TSectionList& document, TvwPrinter& printer, int first, int last) {
  PrintResult result;
  TSectionList copy(document);
  copy.YOff = 0;
  copy.Printing = true;
  copy.Background = clWhite;
  copy.SelB = copy.SelE = 0;
  TPrinterCanvas& canvas = printer.Canvas();
  const int P = kScreenPixelsPerInch;
  const int W = MulDiv(printer.PageWidth(), P, printer.PixelsPerInchX()) - 20;
  const int H = MulDiv(printer.PageHeight(), P, printer.PixelsPerInchY());
  if (W <= 0 || H <= 0) throw EPrinter(kInvalidPrinter);
  canvas.SetOffPaper(true);
  int curs = 0, maxWidth = 0;
  const int docHeight = copy.DoLogic(canvas, 0, curs, maxWidth, W);

  bool started = false;
  int y = 0;
  for (int page = 1; page <= last; ++page) {
    const bool inRange = page >= first;
    const QRect clip(QPoint(10, y), QPoint(W - 1, y + H - 1));
    canvas.SetClip(clip);
    const int bottom = FindPageBottom(copy, canvas, clip);
    if (inRange) {
      if (!started && !printer.PageBlank()) printer.NewPage();  // the previous document's last page
      started = true;
      printer.MapPage(y, W + 20, H);
      canvas.SetOffPaper(false);
      copy.Draw(canvas, clip, 10, 0);
      canvas.SetOffPaper(true);
      ++result.PrintedPages;
    }
    result.PageTops.push_back(y);
    ++result.Pages;
    const int next = bottom > y ? bottom : y + H;  // always move on, even past an uncuttable line
    if (next >= docHeight) break;
    if (inRange && page < last) printer.NewPage();
    y = next;
    if (!KeepPrinting(printer)) break;
  }
  copy.PageLimit = 0;
  return result;
}

PrintResult PrintDocument(const TSectionList& document, int first, int last, const QString& title) {
  TvwPrinter printer;
  printer.Title = title;
  TvwPrinter* previous = SetPrinter(&printer);
  struct Restore {
    TvwPrinter* previous;
    ~Restore() { SetPrinter(previous); }
  } restore{previous};
  printer.BeginDoc();
  PrintResult result;
  try {
    result = PrintDocument(document, printer, first, last);
  } catch (...) {
    if (printer.Printing) printer.Abort();
    throw;
  }
  if (!printer.Printing) return result;  // aborted while spooling
  if (result.PrintedPages == 0)
    printer.Abort();
  else
    printer.EndDoc();
  return result;
}

}  // namespace qlon::viewer
