#include "Htmlview.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QRegularExpression>
#include <QStyle>
#include <algorithm>
#include <exception>

#include "MessageBox.h"
#include "vwPrint.h"
#include "QtCanvas.h"
#include "Sections.h"
#include "ZoomLib.h"

namespace qlon::viewer {

QString EscapeAttribute(const QString& text) {
  QString out = text;
  out.replace('&', QLatin1String("&amp;")).replace('"', QLatin1String("&quot;")).replace('<', QLatin1String("&lt;"));
  return out;
}

// A URL naming another scheme than a local file (http:, mailto:, ...).
bool HasForeignScheme(const QString& url) {
  static const QRegularExpression scheme(QStringLiteral("^([A-Za-z][A-Za-z0-9+.-]+):"));
  QRegularExpressionMatch m = scheme.match(url);
  return m.hasMatch() && m.captured(1).compare(QLatin1String("file"), Qt::CaseInsensitive) != 0;
}

namespace {

constexpr int kLeftMargin = 10;
constexpr int kPageBitmapWidth = 800;
constexpr int kPageBitmapHeight = 600;
constexpr int kVSmallChange = 16;
constexpr int kHSmallChange = 15;

// Restores the screen cursor however a load ends.
class WaitCursor {
 public:
  WaitCursor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance())) {
      QApplication::setOverrideCursor(Qt::WaitCursor);
      on_ = true;
    }
  }
  ~WaitCursor() {
    if (on_) QApplication::restoreOverrideCursor();
  }
  WaitCursor(const WaitCursor&) = delete;
  WaitCursor& operator=(const WaitCursor&) = delete;

 private:
  bool on_ = false;
};

}  // namespace

class THTMLViewer::BusyGuard {
 public:
  explicit BusyGuard(THTMLViewer& v) : v_(v) { v_.SetProcessing(true); }
  ~BusyGuard() { v_.SetProcessing(false); }
  BusyGuard(const BusyGuard&) = delete;
  BusyGuard& operator=(const BusyGuard&) = delete;

 private:
  THTMLViewer& v_;
};

// --- T32ScrollBar

void T32ScrollBar::SetParams(int position, int page, int max, int min) {
  page_ = std::max(1, page);
  max_ = max;
  min_ = min;
  const QSignalBlocker block(this);
  setRange(min, std::max(min, max - page_ + 1));
  setPageStep(page_);
  setValue(position);
}

void T32ScrollBar::SetPosition(int position) {
  const QSignalBlocker block(this);
  setValue(position);
}

// --- TPaintPanel

TPaintPanel::TPaintPanel(THTMLViewer* viewer) : QWidget(viewer), Viewer(viewer) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setCursor(Qt::IBeamCursor);
  setMouseTracking(true);
}

void TPaintPanel::paintEvent(QPaintEvent* event) {
  if (Viewer->InLayout_) return;
  QPainter painter(this);
  QRect clip = event->rect();
  EraseRequested = false;
  Viewer->PaintBackground(painter, clip, Viewer->HScrollPosition(), Viewer->VScrollPosition());
  Viewer->PaintPanelPaint(painter, clip);
}

void TPaintPanel::mousePressEvent(QMouseEvent* event) { Viewer->PanelMouseDown(event); }
void TPaintPanel::mouseMoveEvent(QMouseEvent* event) { Viewer->PanelMouseMove(event); }
void TPaintPanel::mouseReleaseEvent(QMouseEvent* event) { Viewer->PanelMouseUp(event); }

// --- THTMLViewer: construction and state

THTMLViewer::THTMLViewer(QWidget* parent)
    : QWidget(parent),
      PaintPanel_(new TPaintPanel(this)),
      VScrollBar_(new T32ScrollBar(this)),
      HScrollBar_(new QScrollBar(Qt::Horizontal, this)),
      Measure_(std::make_unique<QtMeasureCanvas>()) {
  resize(150, 150);
  setFocusPolicy(Qt::StrongFocus);
  setCursor(Qt::IBeamCursor);
  PaintPanel_->move(1, 1);
  ScrollBarWidth_ = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  VScrollBar_->setSingleStep(kVSmallChange);
  VScrollBar_->setFocusPolicy(Qt::NoFocus);
  VScrollBar_->hide();
  HScrollBar_->setSingleStep(kHSmallChange);
  HScrollBar_->setFocusPolicy(Qt::NoFocus);
  HScrollBar_->hide();
  connect(VScrollBar_, &QScrollBar::valueChanged, this, [this](int v) {
    if (!SettingBars_) ScrollTo(v);
  });
  connect(HScrollBar_, &QScrollBar::valueChanged, this, [this](int) {
    if (SettingBars_) return;
    setFocus();
    PaintPanel_->update();
  });
  SectionList_.PaintPanel = PaintPanel_;
  SectionList_.OnBackgroundChange = [this](TSectionList&) { PaintPanel_->update(); };
  SectionList_.ExpandName = [this](const QString& name) { return ExpandName(name); };
  SectionList_.ShowImages = false;
  SectionList_.BitmapList.SetCacheCount(ImageCacheCount_);
  ApplyDefaults();
  AutoScrollTimer_.setInterval(100);
  connect(&AutoScrollTimer_, &QTimer::timeout, this, [this] { AutoScrollTick(); });
}

THTMLViewer::~THTMLViewer() {
  // The model (and the form controls it owns) goes while the panel still exists.
  SectionList_.Clear();
}

void THTMLViewer::SetProcessing(bool on) {
  if (Processing_ == on) return;
  Processing_ = on;
  if (OnProcessing) OnProcessing(*this, on);
}

void THTMLViewer::ApplyDefaults() {
  SectionList_.SetFonts(DefFontName_, DefPreFontName_, DefBackground_, DefHotSpotColor_, DefFontColor_, DefFontSize_);
}

void THTMLViewer::SyncHooks() {
  SectionList_.OnBitmapRequest = OnBitmapRequest;
  SectionList_.OnFormInputValue = OnFormInputValue;
  if (OnFormSubmit) {
    // Submission runs from a control's click: report it once that is over.
    SectionList_.OnFormSubmit = [this](const QString& action, const QString& method, const QStringList& results) {
      QTimer::singleShot(0, this, [this, action, method, results] {
        if (OnFormSubmit) OnFormSubmit(*this, action, method, results);
      });
    };
  } else {
    SectionList_.OnFormSubmit = nullptr;
  }
}

QWidget* THTMLViewer::PaintPanel() const { return PaintPanel_; }
QScrollBar* THTMLViewer::VScrollBar() const { return VScrollBar_; }
QScrollBar* THTMLViewer::HScrollBar() const { return HScrollBar_; }
int THTMLViewer::PanelHeight() const { return PaintPanel_->height(); }
int THTMLViewer::PanelWidth() const { return PaintPanel_->width(); }
int THTMLViewer::HScrollPosition() const { return HScrollBar_->value(); }

void THTMLViewer::SetBase(const QString& base) {
  if (Base_.isEmpty()) Base_ = base;
}

// --- loading

void THTMLViewer::LoadFromFile(const QString& name) { LoadKind(name, kHtmlDocument); }
void THTMLViewer::LoadTextFile(const QString& name) { LoadKind(name, kTextDocument); }
void THTMLViewer::LoadImage(const QString& name) { LoadKind(name, kImageDocument); }

void THTMLViewer::LoadKind(const QString& name, uint8_t kind) {
  if (Processing_ || name.isEmpty()) return;
  QString oldFile = CurrentFile_, oldTitle = Title_;
  uint8_t oldKind = DocumentKind_;
  TDocPosition oldPos = Position();
  std::exception_ptr error;
  try {
    DoLoad(name, kind);
  } catch (const EInOutError&) {
    throw;  // nothing was changed
  } catch (...) {
    error = std::current_exception();
  }
  if (oldFile != CurrentFile_ || oldKind != DocumentKind_) AddHistory(oldFile, oldTitle, oldPos, oldKind);
  if (error) std::rethrow_exception(error);
}

void THTMLViewer::DoLoad(const QString& name, uint8_t kind) {
  WaitCursor cursor;
  qsizetype hash = name.indexOf('#');
  QString file = hash < 0 ? name : name.left(hash);
  QString anchor = hash < 0 ? QString() : name.mid(hash);
  BusyGuard busy(*this);
  QFileInfo info(file);
  // Checked before anything is cleared, so that the document shown stays.
  if (file.isEmpty() || !info.exists() || info.isDir())
    throw EInOutError("Can't locate file: " + name.toStdString());

  StartDocument();
  TParseResult result;
  std::exception_ptr error;
  try {
    std::string path = QFile::encodeName(file).toStdString();
    if (kind == kHtmlDocument)
      result = ParseFile(SectionList_, Anchors_, path);
    else if (kind == kTextDocument)
      ParseTextFile(SectionList_, path);
    else
      result = ParseString(SectionList_, Anchors_,
                           (QStringLiteral("<img src=\"") + EscapeAttribute(file) + QStringLiteral("\">")).toStdU16String());
  } catch (...) {
    error = std::current_exception();
  }
  QString previous = CurrentFile_;
  Title_ = result.Title;
  CurrentFile_ = QDir::cleanPath(info.absoluteFilePath());
  DocumentKind_ = kind;
  Base_ = result.Base;
  BaseTarget_ = result.BaseTarget;
  DoLayout();
  if (!anchor.isEmpty()) {
    PositionTo(anchor);
  } else if (CurrentFile_ != previous) {
    ScrollTo(0);
    ScrollHorizontally(0);
  } else {
    ScrollTo(SectionList_.YOff);
  }
  PaintPanel_->update();
  if (error) std::rethrow_exception(error);
}

void THTMLViewer::StartDocument() {
  SyncHooks();
  SectionList_.Clear();
  SectionList_.BitmapList.PurgeCache();
  ApplyDefaults();
  Anchors_.clear();
  CaretPos_ = 0;
  SelAnchor_ = -1;
  LayoutErrorsReported_ = false;
}

void THTMLViewer::LoadFromString(const QString& text) {
  if (Processing_) return;
  BusyGuard busy(*this);
  StartDocument();
  TParseResult result;
  std::exception_ptr error;
  try {
    result = ParseString(SectionList_, Anchors_, text.toStdU16String());
  } catch (...) {
    error = std::current_exception();
  }
  Title_ = result.Title;
  Base_ = result.Base;
  BaseTarget_ = result.BaseTarget;
  CurrentFile_.clear();
  DocumentKind_ = kHtmlDocument;
  DoLayout();
  ScrollTo(0);
  ScrollHorizontally(0);
  PaintPanel_->update();
  if (error) std::rethrow_exception(error);
}

void THTMLViewer::Clear() {
  if (Processing_) return;
  SectionList_.Clear();
  ApplyDefaults();
  Anchors_.clear();
  Base_.clear();
  BaseTarget_.clear();
  Title_.clear();
  CurrentFile_.clear();
  DocHeight_ = MaxHorz_ = 0;
  SectionList_.SetYOffset(0);
  VScrollBar_->SetParams(0, PanelHeight() + 1, 0, 0);
  VScrollBar_->hide();
  HScrollBar_->hide();
  CaretPos_ = 0;
  SelAnchor_ = -1;
  PaintPanel_->update();
}

// --- layout

void THTMLViewer::DoLayout() {
  InLayout_ = true;
  MaxHorz_ = 0;
  int w = width() - 20;
  if (ScrollBars_ == ssVertical || ScrollBars_ == ssBoth) w -= ScrollBarWidth_;
  int curs = 0;
  try {
    DocHeight_ = SectionList_.DoLogic(*Measure_, 0, curs, MaxHorz_, std::max(1, w));
  } catch (...) {
    InLayout_ = false;
    throw;
  }
  InLayout_ = false;
  ArrangeScrollBars();
  ReportLayoutErrors();
}

void THTMLViewer::ReportLayoutErrors() {
  // Layout runs on every resize; a problem is told once per document.
  if (LayoutErrorsReported_ || SectionList_.LayoutErrors.isEmpty()) return;
  LayoutErrorsReported_ = true;
  platform::MessageBox(SectionList_.LayoutErrors.join('\n').toStdString(), "Error",
                       platform::MB_OK | platform::MB_ICONERROR);
}

void THTMLViewer::ArrangeScrollBars() {
  const int b = BorderStyle_ == htNone ? 0 : 1;
  const int W = width(), H = height(), sbw = ScrollBarWidth_;
  const bool vAllowed = ScrollBars_ == ssVertical || ScrollBars_ == ssBoth;
  const bool hAllowed = ScrollBars_ == ssHorizontal || ScrollBars_ == ssBoth;
  const bool vNeeded = vAllowed && (DocHeight_ >= H - 2 || (hAllowed && DocHeight_ >= H - 2 - sbw &&
                                                              MaxHorz_ + 20 > W - sbw));
  const bool hNeeded = hAllowed && (W < MaxHorz_ + 20 || (vNeeded && W - sbw < MaxHorz_ + 20));
  const int w = W - (vNeeded ? sbw : 0);
  const int panelW = std::max(0, w - 2 * b);
  const int panelH = std::max(0, H - 2 * b - (hNeeded ? sbw : 0));
  PaintPanel_->setGeometry(b, b, panelW, panelH);

  SettingBars_ = true;
  HScrollBar_->setGeometry(b, H - sbw - b, panelW, sbw);
  HScrollBar_->setPageStep(std::max(1, w - 20));
  int hMax = std::max(0, std::max(MaxHorz_ + 20, w - 2 * b));
  HScrollBar_->setRange(0, std::max(0, hMax - panelW));
  HScrollBar_->setVisible(hNeeded);
  if (!hNeeded) HScrollBar_->setValue(0);

  VScrollBar_->setGeometry(W - sbw - b, b, sbw, panelH);
  VScrollBar_->setPageStep(std::max(1, panelH - 16));
  VScrollBar_->SetParams(SectionList_.YOff, panelH + 1, DocHeight_, 0);
  VScrollBar_->setPageStep(std::max(1, panelH - 16));
  VScrollBar_->setVisible(vNeeded);
  SettingBars_ = false;
  update();
}

void THTMLViewer::Relayout() {
  if (Processing_) return;
  BusyGuard busy(*this);
  TDocPosition pos = Position();
  DoLayout();
  SetPosition(pos);
  PaintPanel_->update();
}

void THTMLViewer::resizeEvent(QResizeEvent*) {
  if (InLayout_) return;
  if (width() != LastWidth_) {
    PaintPanel_->EraseRequested = true;
    TDocPosition pos = Position();
    DoLayout();
    LastWidth_ = width();
    SetPosition(pos);
  } else {
    ArrangeScrollBars();
  }
  if (PanelHeight() <= DocHeight_)
    ScrollTo(SectionList_.YOff);
  else
    ScrollTo(0);
  ScrollHorizontally(HScrollBar_->value());
  PaintPanel_->update();
}

// --- scrolling

void THTMLViewer::ScrollTo(int y) {
  int maxY = std::max(0, DocHeight_ - PanelHeight());
  y = std::clamp(y, 0, maxY);
  int old = SectionList_.YOff;
  VScrollBar_->SetPosition(y);
  SectionList_.SetYOffset(y);
  if (y == old) return;
  // A one-line step moves what is shown and paints only the uncovered strip.
  if (std::abs(y - old) == VScrollBar_->singleStep())
    PaintPanel_->scroll(0, old - y);
  else
    PaintPanel_->update();
}

void THTMLViewer::ScrollHorizontally(int x) {
  SettingBars_ = true;
  HScrollBar_->setValue(std::clamp(x, 0, HScrollBar_->maximum()));
  SettingBars_ = false;
  PaintPanel_->update();
}

void THTMLViewer::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy) ||
      (event->key() == Qt::Key_Insert && event->modifiers() == Qt::ControlModifier)) {
    CopyToClipboard();
    return;
  }
  if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
    return;
  }
  int y = SectionList_.YOff;
  switch (event->key()) {
    case Qt::Key_PageUp: ScrollTo(y - VScrollBar_->pageStep()); break;
    case Qt::Key_PageDown: ScrollTo(y + VScrollBar_->pageStep()); break;
    case Qt::Key_Up: ScrollTo(y - VScrollBar_->singleStep()); break;
    case Qt::Key_Down: ScrollTo(y + VScrollBar_->singleStep()); break;
    case Qt::Key_Home: ScrollTo(0); break;
    case Qt::Key_End: ScrollTo(DocHeight_); break;
    case Qt::Key_Left: ScrollHorizontally(HScrollBar_->value() - HScrollBar_->singleStep()); break;
    case Qt::Key_Right: ScrollHorizontally(HScrollBar_->value() + HScrollBar_->singleStep()); break;
    default: QWidget::keyPressEvent(event); return;
  }
}

TDocPosition THTMLViewer::Position() const {
  const auto& sections = SectionList_.Sections;
  int y = SectionList_.YOff;
  // The last section starting at or above the window's top.
  auto it = std::upper_bound(sections.begin(), sections.end(), y,
                             [](int v, const std::unique_ptr<TSectionBase>& s) { return v < s->YValue; });
  if (it == sections.begin()) return 0;
  --it;
  int64_t index = it - sections.begin();
  return (index << 32) | uint32_t(y - (*it)->YValue);
}

void THTMLViewer::SetPosition(TDocPosition position) {
  int64_t index = position >> 32;
  if (index < 0 || index >= int64_t(SectionList_.Sections.size())) return;
  ScrollTo(LayoutSum(SectionList_.Sections[size_t(index)]->YValue, uint32_t(position & 0xFFFFFFFF)));
}

int THTMLViewer::AnchorY(const QString& name) const {
  QString key = name.toUpper();
  for (const TAnchor& a : Anchors_) {
    if (a.Name != key || !a.Section) continue;
    if (auto* text = dynamic_cast<TSection*>(a.Section); text && text->Len() > 0) {
      int y = 0, x = 0;
      if (text->FindCursorPos(text->StartCurs + std::min(a.Offset, text->Len() - 1), y, x)) return y;
    }
    return a.Section->YValue;
  }
  return -1;
}

bool THTMLViewer::FollowAnchor(const QString& anchor) {
  TDocPosition pos = Position();
  if (!PositionTo(anchor)) return false;
  AddHistory(CurrentFile_, Title_, pos, DocumentKind_);
  return true;
}

bool THTMLViewer::PositionTo(const QString& anchor) {
  QString name = anchor.startsWith('#') ? anchor.mid(1) : anchor;
  if (name.isEmpty()) return false;
  int y = AnchorY(name);
  if (y < 0) return false;
  ScrollTo(y);
  ScrollHorizontally(0);
  return true;
}

// --- painting

void THTMLViewer::PaintBackground(QPainter& painter, const QRect& clip, int xOffset, int yOffset) {
  QImage picture = SectionList_.ShowImages ? SectionList_.GetBackgroundBitmap() : QImage();
  if (picture.isNull() || picture.width() <= 0 || picture.height() <= 0) {
    painter.fillRect(clip, QColor(ColorToRgb(SectionList_.Background)));
    return;
  }
  // The tiles move with the text.
  QPoint phase(int((int64_t(clip.left()) + xOffset) % picture.width()),
               int((int64_t(clip.top()) + yOffset) % picture.height()));
  painter.drawTiledPixmap(clip, QPixmap::fromImage(picture), phase);
}

void THTMLViewer::PaintPanelPaint(QPainter& painter, const QRect& clip) {
  QtCanvas canvas(painter, clip);
  SectionList_.Draw(canvas, clip, kLeftMargin - HScrollPosition(), 0);
}

void THTMLViewer::paintEvent(QPaintEvent*) {
  QPainter p(this);
  bool framed = (hasFocus() && BorderStyle_ == htFocused) || BorderStyle_ == htSingle;
  p.fillRect(rect(), palette().window());
  if (framed) {
    p.setPen(QColor(ColorToRgb(clBtnText)));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }
}

void THTMLViewer::focusInEvent(QFocusEvent* event) {
  QWidget::focusInEvent(event);
  update();
}

void THTMLViewer::focusOutEvent(QFocusEvent* event) {
  QWidget::focusOutEvent(event);
  update();
}

// --- mouse and selection

int THTMLViewer::CursorAt(QPoint at, bool clampToEnd) {
  int lineHeight = 0, lineTop = 0, caretX = 0;
  int y = at.y() + SectionList_.YOff;
  int p = SectionList_.FindCursor(*Measure_, at.x(), y, lineHeight, lineTop, caretX);
  // Dragging past the end of the document selects up to its end.
  if (p < 0 && clampToEnd && y >= DocHeight_) p = SectionList_.Len;
  return p;
}

bool THTMLViewer::LinkAt(QPoint at, TUrlTarget& link) {
  return SectionList_.GetURL(*Measure_, at.x(), at.y() + SectionList_.YOff, link);
}

void THTMLViewer::PanelMouseDown(QMouseEvent* event) {
  MouseDownFlag_ = focusPolicy() != Qt::NoFocus;
  setFocus(Qt::MouseFocusReason);
  if (event->button() != Qt::LeftButton || !MouseDownFlag_) return;
  LastMouse_ = event->position().toPoint();
  SelAnchor_ = CursorAt(LastMouse_, false);
  if (SelAnchor_ >= 0) {
    if (SectionList_.SelE > SectionList_.SelB) PaintPanel_->update();
    SectionList_.SelB = SectionList_.SelE = SelAnchor_;
    CaretPos_ = SelAnchor_;
  }
}

void THTMLViewer::PanelMouseMove(QMouseEvent* event) {
  QPoint at = event->position().toPoint();
  LastMouse_ = at;
  TUrlTarget link;
  bool onLink = LinkAt(at, link);
  PaintPanel_->setCursor(onLink ? Qt::PointingHandCursor : Qt::IBeamCursor);
  if (link.Url != HotSpotURL_) {
    HotSpotURL_ = link.Url;
    HotSpotTarget_ = link.Target;
    if (OnHotSpotCovered) OnHotSpotCovered(*this, HotSpotURL_);
  }
  if (event->buttons() & Qt::LeftButton) {
    if (!AutoScrolling_ && (at.y() < 1 || at.y() > PanelHeight())) {
      AutoScrolling_ = true;
      AutoScrollTimer_.start();
    }
    if (!NoSelect_) ExtendSelection(at);
  }
}

void THTMLViewer::ExtendSelection(QPoint at) {
  if (!MouseDownFlag_ || SelAnchor_ < 0) return;
  at.setY(std::clamp(at.y(), 0, PanelHeight()));
  int p = CursorAt(at, true);
  if (p != CaretPos_ && p >= 0 && !NoSelect_) {
    SectionList_.SelB = std::min(p, SelAnchor_);
    SectionList_.SelE = std::max(p, SelAnchor_);
    PaintPanel_->update();
  }
  if (p >= 0) CaretPos_ = p;
}

void THTMLViewer::PanelMouseUp(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  QPoint at = event->position().toPoint();
  bool wasDown = MouseDownFlag_;
  ExtendSelection(at);
  MouseDownFlag_ = false;
  AutoScrolling_ = false;
  AutoScrollTimer_.stop();
  TUrlTarget link;
  if (wasDown && SectionList_.SelE <= SectionList_.SelB + 1 && LinkAt(at, link)) {
    HotSpotURL_ = link.Url;
    HotSpotTarget_ = link.Target;
    try {
      HotSpotClick();
    } catch (const std::exception& e) {
      // Nothing above a mouse handler could take it.
      platform::MessageBox(e.what(), "Error", platform::MB_OK | platform::MB_ICONERROR);
    }
  }
}

void THTMLViewer::AutoScrollTick() {
  int y = LastMouse_.y(), h = PanelHeight();
  if (!AutoScrolling_ || (y >= 1 && y <= h)) {
    AutoScrolling_ = false;
    AutoScrollTimer_.stop();
    return;
  }
  int step = VScrollBar_->singleStep();
  int dy = y < 1 ? (1 - y > 15 ? -8 * step : -step) : (y - h > 15 ? 8 * step : step);
  ScrollTo(SectionList_.YOff + dy);
  ExtendSelection(LastMouse_);
  PaintPanel_->update();
}

int THTMLViewer::SelLength() { return SectionList_.GetSelLength(); }

QString THTMLViewer::SelText() { return SectionList_.GetSelText(); }

void THTMLViewer::SetSelection(int start, int end) {
  SectionList_.SelB = std::max(0, std::min(start, end));
  SectionList_.SelE = std::max(0, std::max(start, end));
  PaintPanel_->update();
}

void THTMLViewer::SelectAll() {
  if (!NoSelect_) SetSelection(0, SectionList_.Len);
}

void THTMLViewer::CopyToClipboard() {
  QString text = SelText();
  if (text.isEmpty()) return;
  if (QClipboard* clipboard = QGuiApplication::clipboard()) clipboard->setText(text);
}

// --- links

QString THTMLViewer::ExpandName(const QString& link) {
  QString path = HtmlToDos(HtmlTrim(link));
  if (path.startsWith('/') || Base_.compare(QLatin1String("DosPath"), Qt::CaseInsensitive) == 0) return path;
  QString folder;
  if (!Base_.isEmpty()) {
    folder = HtmlToDos(HtmlTrim(Base_));
    if (!folder.endsWith('/')) folder = folder.left(folder.lastIndexOf('/') + 1);
  } else if (!CurrentFile_.isEmpty()) {
    folder = QFileInfo(CurrentFile_).path() + '/';
  }
  QString full = folder + path;
  return HasForeignScheme(full) ? full : QDir::cleanPath(full);
}

void THTMLViewer::HotSpotClick() {
  bool handled = false;
  if (OnHotSpotClick) OnHotSpotClick(*this, HotSpotURL_, handled);
  if (handled) return;
  QString url = HtmlTrim(HotSpotURL_);
  TDocPosition pos = Position();
  if (url.startsWith('#')) {
    FollowAnchor(url);
    return;
  }
  // Other schemes belong to the host, which had OnHotSpotClick.
  if (HasForeignScheme(url)) return;
  qsizetype hash = url.indexOf('#');
  QString filePart = hash < 0 ? url : url.left(hash);
  QString anchor = hash < 0 ? QString() : url.mid(hash);
  QString path = ExpandName(filePart);
  if (HasForeignScheme(path)) return;
  QString ext = QFileInfo(path).suffix().toUpper().left(5);
  if (ext == QLatin1String("HTM") || ext == QLatin1String("HTML")) {
    if (path != CurrentFile_)
      LoadFromFile(path + anchor);
    else if (PositionTo(anchor))
      AddHistory(CurrentFile_, Title_, pos, kHtmlDocument);
  } else if (ext == QLatin1String("BMP") || ext == QLatin1String("GIF") || ext == QLatin1String("JPG") ||
             ext == QLatin1String("JPEG") || ext == QLatin1String("PNG")) {
    LoadImage(path);
  }
}

// --- history

void THTMLViewer::AddHistory(const QString& file, const QString& title, TDocPosition pos, uint8_t kind) {
  if (HistoryMaxCount_ <= 0 || CurrentFile_.isEmpty()) return;
  TDocPosition current = Position();
  if (file == CurrentFile_ && kind == DocumentKind_ && pos == current) return;
  if (!History_.isEmpty() && !file.isEmpty()) {
    History_[HistoryIndex_] = file;
    HistoryTitles_[HistoryIndex_] = title;
    HistoryPositions_[size_t(HistoryIndex_)] = {pos, kind};
    for (int i = 0; i < HistoryIndex_; ++i) {
      History_.removeFirst();
      HistoryTitles_.removeFirst();
      HistoryPositions_.erase(HistoryPositions_.begin());
    }
  }
  HistoryIndex_ = 0;
  History_.insert(0, CurrentFile_);
  HistoryTitles_.insert(0, Title_);
  HistoryPositions_.insert(HistoryPositions_.begin(), {current, DocumentKind_});
  while (History_.size() > HistoryMaxCount_) {
    History_.removeLast();
    HistoryTitles_.removeLast();
    HistoryPositions_.pop_back();
  }
  if (OnHistoryChange) OnHistoryChange(*this);
}

void THTMLViewer::SetHistoryIndex(int index) {
  if (Processing_ || index < 0 || index >= History_.size() || index == HistoryIndex_) return;
  if (!CurrentFile_.isEmpty()) {
    History_[HistoryIndex_] = CurrentFile_;
    HistoryTitles_[HistoryIndex_] = Title_;
    HistoryPositions_[size_t(HistoryIndex_)] = {Position(), DocumentKind_};
  }
  const QString file = History_[index];
  const PositionObj target = HistoryPositions_[size_t(index)];
  // A move loads without recording: the entries stay as they are. A file
  // gone meanwhile raises before anything moved.
  if (file != CurrentFile_ || target.Kind != DocumentKind_) {
    try {
      DoLoad(file, target.Kind);
    } catch (const EParseError&) {
      // what was read is shown
    }
  }
  HistoryIndex_ = index;
  SetPosition(target.Pos);
  if (OnHistoryChange) OnHistoryChange(*this);
}

void THTMLViewer::ClearHistory() {
  bool had = !History_.isEmpty();
  History_.clear();
  HistoryTitles_.clear();
  HistoryPositions_.clear();
  HistoryIndex_ = 0;
  if (had && OnHistoryChange) OnHistoryChange(*this);
}

void THTMLViewer::SetHistoryMaxCount(int count) {
  if (count < 0) return;
  bool lower = count < HistoryMaxCount_;
  HistoryMaxCount_ = count;
  if (lower) ClearHistory();
}

// --- page pictures and palette

int THTMLViewer::Print(int firstPage, int lastPage) {
  if (Processing_) return 0;
  BusyGuard busy(*this);
  return PrintDocument(SectionList_, firstPage, lastPage, Title_).PrintedPages;
}

int THTMLViewer::Print(int firstPage, int lastPage, TvwPrinter& job) {
  if (Processing_) return 0;
  BusyGuard busy(*this);
  return PrintDocument(SectionList_, job, firstPage, lastPage).PrintedPages;
}

QImage THTMLViewer::MakePageBitmap(int width, int height, bool drawBackground, bool convertTo8Bit, int filterValue) {
  if (Processing_) return {};
  const ZoomEntryPoints& zoom = Zoom();
  if (!zoom.StretchFilterDIB || (convertTo8Bit && !zoom.ConvertDIB)) return {};
  // Busy for the whole picture: no load may free what the copy borrows.
  BusyGuard busy(*this);
  const QRect r(0, 0, kPageBitmapWidth, kPageBitmapHeight);
  QImage page(r.size(), QImage::Format_RGB32);
  {
    TSectionList copy(SectionList_);
    copy.SelB = copy.SelE = 0;
    QPainter painter(&page);
    if (drawBackground) {
      PaintBackground(painter, r, 0, 0);
    } else {
      painter.fillRect(r, Qt::white);
      copy.SetBackground(clWhite);
    }
    // Drawn as on a printer: the borrowed form controls are rendered into the
    // picture instead of being moved about on the panel.
    QtCanvas canvas(painter, r, true);
    int curs = 0, maxWidth = 0;
    copy.DoLogic(canvas, 0, curs, maxWidth, kPageBitmapWidth);
    // A picture of the first screen, not a sheet of paper: the page's foot
    // lies a screen lower, so that a line the picture's edge cuts is drawn
    // cut instead of put off to a next page.
    copy.Draw(canvas, QRect(r.topLeft(), QSize(r.width(), 2 * r.height())), 0, 0);
  }
  QImage scaled;
  if (!zoom.StretchFilterDIB(&page, 0, 0, r.width(), r.height(), width, height, filterValue, &scaled)) return {};
  if (!convertTo8Bit) return scaled;
  QImage reduced;
  if (!zoom.ConvertDIB(&scaled, 8, &reduced)) return {};
  return reduced;
}

void THTMLViewer::SetPaletteBitmap(const QImage& bitmap) {
  std::vector<QRgb> colours = PaletteFromBitmap(bitmap);
  if (!colours.empty()) SetGlobalPalette(std::move(colours));
}

void THTMLViewer::SetUsePalette(bool on) { UsePalette_ = on; }

// --- display defaults

void THTMLViewer::SetViewImages(bool on) {
  if (Processing_ || on == SectionList_.ShowImages) return;
  WaitCursor cursor;
  {
    BusyGuard busy(*this);
    SectionList_.ShowImages = on;
    if (!SectionList_.Sections.empty()) {
      SyncHooks();
      TDocPosition pos = Position();
      DoLayout();
      SetPosition(pos);
    }
  }
  PaintPanel_->update();
}

void THTMLViewer::SetDefBackground(Color c) {
  if (Processing_) return;
  DefBackground_ = c;
  SectionList_.SetBackground(c);
  PaintPanel_->update();
}

void THTMLViewer::FontsChanged(bool relayout) {
  SectionList_.UpdateFonts();
  if (relayout && !SectionList_.Sections.empty()) Relayout();
  PaintPanel_->update();
}

void THTMLViewer::SetDefFontColor(Color c) {
  DefFontColor_ = SectionList_.FontColor = c;
  FontsChanged(false);
}

void THTMLViewer::SetDefHotSpotColor(Color c) {
  DefHotSpotColor_ = SectionList_.HotSpotColor = c;
  FontsChanged(false);
}

void THTMLViewer::SetDefFontSize(int size) {
  DefFontSize_ = SectionList_.FontSize = size;
  FontsChanged(true);
}

void THTMLViewer::SetDefFontName(const QString& name) {
  if (name.compare(DefFontName_, Qt::CaseInsensitive) == 0) return;
  DefFontName_ = name;
  SectionList_.FontName = name.left(32);
  FontsChanged(true);
}

void THTMLViewer::SetDefPreFontName(const QString& name) {
  if (name.compare(DefPreFontName_, Qt::CaseInsensitive) == 0) return;
  DefPreFontName_ = name;
  SectionList_.PreFontName = name.left(32);
  FontsChanged(true);
}

void THTMLViewer::SetImageCacheCount(int count) {
  ImageCacheCount_ = count;
  SectionList_.BitmapList.SetCacheCount(count);
}

void THTMLViewer::SetNoSelect(bool on) {
  NoSelect_ = on;
  if (on) {
    SectionList_.SelB = SectionList_.SelE = 0;
    PaintPanel_->update();
  }
}

void THTMLViewer::SetScrollBars(TScrollStyle style) {
  if (style == ScrollBars_) return;
  ScrollBars_ = style;
  if (Processing_) return;
  {
    BusyGuard busy(*this);
    DoLayout();
  }
  PaintPanel_->update();
}

void THTMLViewer::SetBorderStyle(THTMLBorderStyle style) {
  BorderStyle_ = style;
  ArrangeScrollBars();
  update();
}

}  // namespace qlon::viewer
