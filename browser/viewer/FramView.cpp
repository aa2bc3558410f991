#include "FramView.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QRubberBand>
#include <algorithm>

#include "HTMLUn2.h"

namespace qlon::viewer {

namespace {

constexpr int kBevel = 2;

class Busy {
 public:
  explicit Busy(TFrameViewer* v, void (TFrameViewer::*set)(bool)) : v_(v), set_(set) { (v_->*set_)(true); }
  ~Busy() { (v_->*set_)(false); }
  Busy(const Busy&) = delete;
  Busy& operator=(const Busy&) = delete;

 private:
  TFrameViewer* v_;
  void (TFrameViewer::*set_)(bool);
};

void SplitAnchor(const QString& name, QString& file, QString& anchor) {
  qsizetype hash = name.indexOf('#');
  file = hash < 0 ? name : name.left(hash);
  anchor = hash < 0 ? QString() : name.mid(hash);
}

bool IsFile(const QString& path) { return QFileInfo(path).isFile(); }

QString LocateError(const QString& name) { return QStringLiteral("Can't locate file: ") + name; }

bool SamePath(const QString& a, const QString& b) {
  return QDir::cleanPath(QFileInfo(a).absoluteFilePath()) == QDir::cleanPath(QFileInfo(b).absoluteFilePath());
}

// The tree a frameset document describes, when it is one.
bool ReadFrameSet(const QString& file, TFrameDef& def) {
  std::u16string text = ReadDocumentFile(file.toStdString());
  return IsFrameSetText(text) && ParseFrameSet(text, def);
}

FileKind KindOfDocument(uint8_t kind) {
  return kind == kImageDocument ? FileKind::Image : kind == kTextDocument ? FileKind::Text : FileKind::Html;
}

}  // namespace

// ---- sizes

std::vector<int16_t> ParseFrameSizes(const QString& text) {
  std::vector<int16_t> out;
  for (const QString& raw : text.split(',')) {
    if (out.size() == size_t(kMaxFrameSizes)) break;
    QString e = raw.trimmed();
    int i = 0;
    long long n = 0;
    while (i < e.size() && e[i].isDigit()) n = std::min(n * 10 + e[i++].digitValue(), 100000LL);
    bool digits = i > 0;
    QChar k = i < e.size() ? e[i] : QChar();
    if (k == '*')
      out.push_back(int16_t(-std::clamp(digits ? n : 1LL, 1LL, 99LL)));
    else if (k == '%' && digits)
      out.push_back(int16_t(-(std::min(n, 900LL) + 100)));
    else if (digits)
      out.push_back(int16_t(std::min(n, 5000LL)));
  }
  return out;
}

std::vector<int> FrameSizes(const std::vector<int16_t>& dim, int extent) {
  auto isShare = [](int v) { return v < 0 && v >= -99; };
  auto isPercent = [](int v) { return v <= -100; };
  long long F = 0, R = 0, P = 0;
  for (int v : dim) {
    if (isShare(v)) R += -v;
    else if (isPercent(v)) P += -v - 100;
    else F += v;
  }
  std::vector<int> out(dim.size(), 0);
  long long L = extent - F;
  if (L < 1) {
    for (size_t i = 0; i < dim.size(); ++i)
      if (dim[i] > 0) out[i] = F > 0 ? MulDiv(dim[i], extent, int(F)) : 0;
    return out;
  }
  int Q = P > 0 ? int(std::min<long long>(MulDiv(extent, int(P), 100), L)) : 0;
  long long U = R >= 1 ? (L - Q) / R : 0;
  for (size_t i = 0; i < dim.size(); ++i) {
    int v = dim[i];
    if (isShare(v)) out[i] = int(-v * U);
    else if (isPercent(v)) out[i] = MulDiv(-v - 100, Q, int(P));
    else out[i] = v;
  }
  return out;
}

FileKind FileKindOf(const QString& name) {
  QString ext = QFileInfo(name).suffix().toLower();
  if (ext == "gif" || ext == "jpg" || ext == "jpeg" || ext == "bmp" || ext == "png") return FileKind::Image;
  if (ext == "txt") return FileKind::Text;
  return FileKind::Html;
}

// ---- TFrameBase

TFrameBase::TFrameBase(QWidget* parent, TFrameViewer* owner, TSubFrameSet* master, TFrameSet* top)
    : QWidget(parent), Owner(owner), MasterSet(master), TopSet(top) {
  setMouseTracking(true);
  if (top) {
    ++top->Members;
    counted_ = true;
  }
}

TFrameBase::~TFrameBase() { Leave(); }

void TFrameBase::Leave() {
  if (!counted_) return;
  counted_ = false;
  --TopSet->Members;
}

void TFrameBase::Retire() {
  hide();
  deleteLater();
}

namespace {
// The set that handles the mouse of a frame or set: the set being dragged,
// the set itself, or the frame's set.
void ForwardMouse(TFrameBase* from, QMouseEvent* event) {
  TSubFrameSet* set = from->TopSet ? from->TopSet->DragSet : nullptr;
  if (!set) set = dynamic_cast<TSubFrameSet*>(from);
  if (!set) set = from->MasterSet;
  if (set) set->FrameMouse(event, from, from->mapTo(set, event->position().toPoint()));
}
}  // namespace

void TFrameBase::mousePressEvent(QMouseEvent* event) { ForwardMouse(this, event); }
void TFrameBase::mouseReleaseEvent(QMouseEvent* event) { ForwardMouse(this, event); }
void TFrameBase::mouseMoveEvent(QMouseEvent* event) {
  if (PassesMouse() || (TopSet && TopSet->DragSet)) ForwardMouse(this, event);
}

// ---- TFrame

TFrame::TFrame(TSubFrameSet* master, const TFrameDef* def, const QString& setFile)
    : TFrameBase(master, master->Owner, master, master->TopSet) {
  if (def) {
    WinName = def->Name;
    QString src = HtmlToDos(HtmlTrim(def->Src));
    if (!src.isEmpty() && !QDir::isAbsolutePath(src) && !HasForeignScheme(src))
      src = QDir::cleanPath(QFileInfo(setFile).absolutePath() + '/' + src);
    Source = src;
    Kind = FileKindOf(src);
    NoReSize = def->NoResize;
    NoScroll = def->Scrolling.trimmed().compare(QLatin1String("NO"), Qt::CaseInsensitive) == 0;
  }
  TopSet->Register(this);
}

TFrame::~TFrame() {
  if (Viewer) TopSet->RemoveViewer(Viewer);
  TopSet->Unregister(this);
}

void TFrame::CheckNoResize(bool& horizontal, bool& vertical) {
  horizontal |= NoReSize;
  vertical |= NoReSize;
}

void TFrame::Retire() {
  if (Viewer) TopSet->RemoveViewer(Viewer);
  TopSet->Unregister(this);
  Leave();
  if (FrameSet) FrameSet->Retire();
  FrameSet = nullptr;
  TFrameBase::Retire();
}

void TFrame::ClearContent() {
  if (FrameSet) FrameSet->Retire();
  FrameSet = nullptr;
  if (Viewer) {
    TopSet->RemoveViewer(Viewer);
    Viewer->hide();
    Viewer->deleteLater();  // it may be running the click that replaces it
    Viewer = nullptr;
  }
}

void TFrame::LoadFiles() {
  if (Source.isEmpty() || TopSet->NestLevel > kMaxFrameNesting) return;
  ++TopSet->NestLevel;
  QString file = Source, anchor;
  if (Kind == FileKind::Html) SplitAnchor(Source, file, anchor);
  LoadSource(file, anchor);
  --TopSet->NestLevel;
}

void TFrame::LoadSource(const QString& file, const QString& anchor) {
  try {
    if (!IsFile(file)) throw EInOutError(LocateError(file).toStdString());
    TFrameDef def;
    if (Kind == FileKind::Html && ReadFrameSet(file, def)) {
      if (TopSet->Full()) return;  // the tree has all the frames it may hold
      FrameSet = new TSubFrameSet(this, Owner, MasterSet, TopSet);
      FrameSet->Holder = this;
      FrameSet->Build(def, file);
      FrameSet->InitializeDimensions(0, 0, width(), height());
      FrameSet->show();
      FrameSet->LoadFiles();
    } else {
      LoadViewer(file, anchor);
    }
  } catch (const std::exception&) {
    ShowError(file);
  }
}

void TFrame::EnsureViewer() {
  if (Viewer) return;
  Viewer = new THTMLViewer(this);
  Owner->SetupViewer(this, Viewer);
  TopSet->AddViewer(Viewer);
  PlaceContent();
  Viewer->show();
}

void TFrame::LoadViewer(const QString& file, const QString& anchor) {
  EnsureViewer();
  switch (Kind) {
    case FileKind::Image: Viewer->LoadImage(file); break;
    case FileKind::Text: Viewer->LoadTextFile(file); break;
    case FileKind::Html: Viewer->LoadFromFile(file + anchor); break;
  }
  Viewer->SetBase(QFileInfo(file).absolutePath() + '/');
}

void TFrame::ShowError(const QString& name) {
  if (FrameSet) {
    FrameSet->Retire();
    FrameSet = nullptr;
  }
  EnsureViewer();
  // The picture no file can satisfy shows the missing-image box with "Error".
  Viewer->LoadFromString(QStringLiteral("<p><img src=\"qw%&.bmp\" alt=\"Error\"> Can't load ") + EscapeAttribute(name));
}

void TFrame::FrameLoad(const QString& file, const QString& anchor, bool record) {
  bool same = Viewer && !Viewer->GetCurrentFile().isEmpty() && SamePath(file, Viewer->GetCurrentFile());
  if (!same && !IsFile(file)) throw EInOutError(LocateError(file).toStdString());
  const bool single = TopSet->List.size() == 1 && TopSet->List.front() == this;
  if (single && record) Owner->NoteCurrentPosition();
  FileKind kind = FileKindOf(file);
  TFrameDef def;
  if (!Viewer || (kind == FileKind::Html && !same && ReadFrameSet(file, def))) {
    ClearContent();
    Source = file;
    Kind = kind;
    ++TopSet->NestLevel;
    LoadSource(file, anchor);
    --TopSet->NestLevel;
  } else if (same) {
    if (!anchor.isEmpty()) Viewer->FollowAnchor(anchor);
    return;
  } else {
    Source = file;
    Kind = kind;
    LoadViewer(file, anchor);
  }
  if (single && record) Owner->AddHistory(file, Viewer ? Viewer->GetDocumentTitle() : QString());
}

void TFrame::UnloadFiles() {
  if (FrameSet) {
    FrameSet->UnloadFiles();
  } else if (Viewer) {
    if (!Viewer->GetCurrentFile().isEmpty()) {
      Source = Viewer->GetCurrentFile();
      Kind = KindOfDocument(Viewer->DocumentKind());
    }
    FramePosition = Viewer->Position();
    Viewer->Clear();
  }
}

void TFrame::ReloadFiles(TDocPosition position) {
  if (FrameSet) {
    FrameSet->ReloadFiles(position);
  } else if (Viewer && !Source.isEmpty()) {
    try {
      LoadViewer(Source, {});
    } catch (const std::exception&) {
      ShowError(Source);
      return;
    }
    Viewer->SetPosition(position >= 0 ? position : FramePosition);
  }
}

void TFrame::InitializeDimensions(int x, int y, int width, int height) {
  setGeometry(x, y, width, height);
  PlaceContent();
}

void TFrame::PlaceContent() {
  if (Viewer) Viewer->setGeometry(kBevel, kBevel, std::max(0, width() - 2 * kBevel), std::max(0, height() - 2 * kBevel));
  if (FrameSet) FrameSet->InitializeDimensions(0, 0, width(), height());
}

void TFrame::resizeEvent(QResizeEvent*) { PlaceContent(); }

void TFrame::paintEvent(QPaintEvent*) {
  // A sunken bevel around the frame's viewer.
  QPainter p(this);
  QRect r = rect().adjusted(0, 0, -1, -1);
  p.fillRect(rect(), palette().button());
  p.setPen(palette().dark().color());
  p.drawLine(r.topLeft(), r.topRight());
  p.drawLine(r.topLeft(), r.bottomLeft());
  p.setPen(palette().light().color());
  p.drawLine(r.bottomLeft(), r.bottomRight());
  p.drawLine(r.topRight(), r.bottomRight());
}

// ---- TSubFrameSet

TSubFrameSet::TSubFrameSet(QWidget* parent, TFrameViewer* owner, TSubFrameSet* master, TFrameSet* top)
    : TFrameBase(parent, owner, master, top) {}

TSubFrameSet::~TSubFrameSet() = default;

void TSubFrameSet::DeleteChildren() {
  std::vector<TFrameBase*> children;
  children.swap(List);
  for (TFrameBase* c : children) delete c;
}

TFrame* TSubFrameSet::CreateFrame(const TFrameDef* def, const QString& setFile) {
  auto* f = new TFrame(this, def, setFile);
  List.push_back(f);
  f->show();
  return f;
}

TSubFrameSet* TSubFrameSet::AddFrameSet(const TFrameDef& def, const QString& setFile) {
  auto* s = new TSubFrameSet(this, Owner, this, TopSet);
  List.push_back(s);
  s->Build(def, setFile);
  s->show();
  return s;
}

void TSubFrameSet::Build(const TFrameDef& def, const QString& setFile) {
  Rows = !def.Rows.trimmed().isEmpty();
  Dim = ParseFrameSizes(Rows ? def.Rows : def.Cols);
  for (const TFrameDef& c : def.Children) {
    if (List.size() >= size_t(kMaxFramesPerSet) || TopSet->Full()) break;
    if (c.IsFrameSet)
      AddFrameSet(c, setFile);
    else
      CreateFrame(&c, setFile);
  }
  while (List.size() < Dim.size() && !TopSet->Full()) CreateFrame(nullptr, setFile);
  while (Dim.size() < List.size()) Dim.push_back(-1);
}

void TSubFrameSet::CheckNoResize(bool& horizontal, bool& vertical) {
  for (TFrameBase* c : List) c->CheckNoResize(horizontal, vertical);
}

void TSubFrameSet::LoadFiles() {
  for (TFrameBase* c : List) c->LoadFiles();
}

void TSubFrameSet::ReloadFiles(TDocPosition position) {
  for (TFrameBase* c : List) c->ReloadFiles(position);
}

void TSubFrameSet::UnloadFiles() {
  for (TFrameBase* c : List) c->UnloadFiles();
}

void TSubFrameSet::Unhook() {
  for (TFrameBase* c : List) {
    if (auto* f = dynamic_cast<TFrame*>(c)) {
      if (f->Viewer) TopSet->RemoveViewer(f->Viewer);
      TopSet->Unregister(f);
      f->Leave();
      if (f->FrameSet) f->FrameSet->Unhook();
    } else if (auto* s = dynamic_cast<TSubFrameSet*>(c)) {
      s->Unhook();
    }
  }
  Leave();
}

void TSubFrameSet::Retire() {
  // Leave the tree's lists now; the widgets go with this set.
  Unhook();
  TFrameBase::Retire();
}

void TSubFrameSet::InitializeDimensions(int x, int y, int width, int height) {
  setGeometry(x, y, width, height);
  DimF = FrameSizes(Dim, Rows ? height : width);
  DimFTot = 0;
  for (int d : DimF) DimFTot += d;
  AlignChildren();
}

void TSubFrameSet::AlignChildren() {
  Lines.assign(List.size(), 0);
  int pos = 0;
  for (size_t i = 0; i < List.size(); ++i) {
    int d = i < DimF.size() ? DimF[i] : 0;
    if (Rows)
      List[i]->InitializeDimensions(0, pos, width(), d);
    else
      List[i]->InitializeDimensions(pos, 0, d, height());
    pos += d;
    Lines[i] = pos;
  }
}

int TSubFrameSet::BorderAt(QPoint at) const {
  int c = Rows ? at.y() : at.x();
  for (size_t i = 0; i + 1 < Lines.size(); ++i) {
    if (std::abs(c - Lines[i]) > kFrameBorderZone) continue;
    bool h = false, v = false;
    List[i]->CheckNoResize(h, v);
    List[i + 1]->CheckNoResize(h, v);
    return (Rows ? h : v) ? -1 : int(i);
  }
  return -1;
}

int TSubFrameSet::DragLimit(bool low) const {
  if (low) return (LineIndex > 0 ? Lines[size_t(LineIndex) - 1] : 0) + 1;
  return Lines[size_t(LineIndex) + 1] - 1;
}

void TSubFrameSet::FrameMouse(QMouseEvent* event, QWidget* source, QPoint at) {
  TFrameSet* top = TopSet;
  bool nearEdge = at.x() < kFrameBorderZone || at.y() < kFrameBorderZone || at.x() >= width() - kFrameBorderZone ||
                  at.y() >= height() - kFrameBorderZone;
  bool dragging = top->DragSet == this;
  if (!dragging && !top->DragSet && MasterSet && nearEdge) {
    MasterSet->FrameMouse(event, source, mapTo(MasterSet, at));
    return;
  }
  auto showLine = [&] {
    OldRect = Rows ? QRect(0, dragPos_ - 1, width(), 2) : QRect(dragPos_ - 1, 0, 2, height());
    if (!band_) band_ = new QRubberBand(QRubberBand::Line, this);
    band_->setGeometry(OldRect);
    band_->raise();
    band_->show();
  };
  switch (event->type()) {
    case QEvent::MouseMove:
      if (dragging) {
        dragPos_ = std::clamp(Rows ? at.y() : at.x(), DragLimit(true), std::max(DragLimit(true), DragLimit(false)));
        showLine();
      } else if (!top->DragSet) {
        int b = BorderAt(at);
        if (b >= 0)
          source->setCursor(Rows ? Qt::SplitVCursor : Qt::SplitHCursor);
        else
          source->unsetCursor();
      }
      break;
    case QEvent::MouseButtonPress:
      if (event->button() == Qt::LeftButton && !top->DragSet) {
        int b = BorderAt(at);
        if (b < 0) break;
        top->DragSet = this;
        LineIndex = b;
        dragPos_ = Lines[size_t(b)];
        showLine();
      }
      break;
    case QEvent::MouseButtonRelease:
      if (dragging && event->button() == Qt::LeftButton) {
        if (band_) band_->hide();
        Lines[size_t(LineIndex)] = dragPos_;
        // Every span kept in proportion to the set's extent.
        int last = Lines.back(), prev = 0;
        DimF.resize(Lines.size());
        for (size_t i = 0; i < Lines.size(); ++i) {
          int span = Lines[i] - prev;
          prev = Lines[i];
          DimF[i] = last > 0 ? MulDiv(span, DimFTot, last) : span;
        }
        top->DragSet = nullptr;
        LineIndex = -1;
        AlignChildren();
      }
      break;
    default: break;
  }
}

// ---- TFrameSet

TFrameSet::TFrameSet(TFrameViewer* owner) : TSubFrameSet(owner, owner, nullptr, nullptr), FrameViewer(owner) {
  TopSet = this;
}

TFrameSet::~TFrameSet() {
  // The frames leave the lists while those still exist.
  DeleteChildren();
}

void TFrameSet::LoadFromFile(const QString& file) {
  FileName = file;
  TFrameDef def;
  if (FileKindOf(file) == FileKind::Html && ReadFrameSet(file, def)) {
    Build(def, file);
    return;
  }
  Rows = false;
  Dim.assign(1, -1);
  TFrame* f = CreateFrame(nullptr, file);
  f->Source = file;
  f->Kind = FileKindOf(file);
}

void TFrameSet::Register(TFrame* frame) {
  Frames.push_back(frame);
  if (!frame->WinName.isEmpty()) FrameNames.emplace(frame->WinName.toUpper(), frame);
}

void TFrameSet::Unregister(TFrame* frame) {
  Frames.erase(std::remove(Frames.begin(), Frames.end(), frame), Frames.end());
  for (auto it = FrameNames.begin(); it != FrameNames.end();)
    it = it->second == frame ? FrameNames.erase(it) : std::next(it);
}

void TFrameSet::RemoveViewer(THTMLViewer* viewer) {
  Viewers.erase(std::remove(Viewers.begin(), Viewers.end(), viewer), Viewers.end());
}

TFrame* TFrameSet::FindFrame(const QString& name) const {
  auto it = FrameNames.find(name.toUpper());
  return it == FrameNames.end() ? nullptr : it->second;
}

// ---- TFrameViewer

TFrameViewer::TFrameViewer(QWidget* parent) : QWidget(parent) {
  resize(150, 150);
  setFocusPolicy(Qt::TabFocus);
  setCursor(Qt::IBeamCursor);
  popup_ = new QMenu(this);
  forward_ = popup_->addAction(QStringLiteral("Forward in Frame"));
  back_ = popup_->addAction(QStringLiteral("Back in Frame"));
  QObject::connect(forward_, &QAction::triggered, this, [this] { MoveViewer(popupViewer_, -1); });
  QObject::connect(back_, &QAction::triggered, this, [this] { MoveViewer(popupViewer_, 1); });
  cur_ = new TFrameSet(this);
  cur_->setGeometry(rect());
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
    QObject::connect(app, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
      for (QWidget* w = now; w && w != this; w = w->parentWidget())
        if (auto* v = dynamic_cast<THTMLViewer*>(w); v && isAncestorOf(v)) {
          active_ = v;
          return;
        }
    });
  }
}

TFrameViewer::~TFrameViewer() {
  // Frame trees (shown, in the history or waiting to be freed) go while the
  // lists their viewers report to still exist.
  // (findChildren cannot tell classes without their own meta-object apart.)
  for (QWidget* w : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (auto* s = dynamic_cast<TFrameSet*>(w)) delete s;
  cur_ = nullptr;
}

template <typename F>
void TFrameViewer::ForEachViewer(F f) {
  for (QWidget* w : findChildren<QWidget*>())
    if (auto* v = dynamic_cast<THTMLViewer*>(w)) f(*v);
}

void TFrameViewer::SetupViewer(TFrame* frame, THTMLViewer* viewer) {
  viewer->SetViewImages(viewImages_);
  viewer->SetImageCacheCount(imageCacheCount_);
  viewer->SetNoSelect(noSelect_);
  viewer->SetDefBackground(defBackground_);
  viewer->SetDefFontColor(defFontColor_);
  viewer->SetDefHotSpotColor(defHotSpotColor_);
  viewer->SetDefFontSize(defFontSize_);
  viewer->SetDefFontName(defFontName_);
  viewer->SetDefPreFontName(defPreFontName_);
  viewer->SetHistoryMaxCount(historyMaxCount_);
  if (frame->NoScroll) viewer->SetScrollBars(ssNone);
  if (OnBitmapRequest) viewer->OnBitmapRequest = OnBitmapRequest;
  if (OnFormSubmit)
    viewer->OnFormSubmit = [this](THTMLViewer& s, const QString& action, const QString& method,
                                  const QStringList& results) {
      if (OnFormSubmit) OnFormSubmit(s, action, method, results);
    };
  viewer->OnHotSpotClick = [this, frame](THTMLViewer& s, const QString& url, bool& handled) {
    handled = true;
    RouteClick(frame, s, url);
  };
  viewer->OnHotSpotCovered = [this](THTMLViewer& s, const QString& url) {
    if (!OnHotSpotTargetCovered) return;
    QString target = s.HotSpotTarget().isEmpty() ? s.BaseTarget() : s.HotSpotTarget();
    OnHotSpotTargetCovered(s, target, url);
  };
  viewer->OnProcessing = [this](THTMLViewer& s, bool on) { ViewerProcessing(&s, on); };
  QObject::connect(viewer, &QObject::destroyed, this, [this](QObject* o) { ViewerProcessing(o, false); });
  viewer->setContextMenuPolicy(Qt::CustomContextMenu);
  QObject::connect(viewer, &QWidget::customContextMenuRequested, this, [this, viewer](QPoint at) {
    PreparePopup(viewer);
    popup_->popup(viewer->mapToGlobal(at));
  });
}

void TFrameViewer::ViewerProcessing(QObject* viewer, bool on) {
  if (on)
    busyViewers_.insert(viewer);
  else
    busyViewers_.erase(viewer);
  ReportProcessing();
}

void TFrameViewer::SetOwnBusy(bool on) {
  ownBusy_ += on ? 1 : -1;
  ReportProcessing();
}

void TFrameViewer::ReportProcessing() {
  bool busy = Processing();
  if (busy == reportedBusy_) return;
  reportedBusy_ = busy;
  if (OnProcessing) OnProcessing(*this, busy);
}

void TFrameViewer::LoadFromFile(const QString& name) {
  if (Processing()) return;
  DoLoadFromFile(name);
}

void TFrameViewer::DoLoadFromFile(const QString& name) {
  QString file, anchor;
  SplitAnchor(name, file, anchor);
  if (!IsFile(file)) throw EInOutError(LocateError(name).toStdString());
  file = QFileInfo(file).absoluteFilePath();
  Busy busy(this, &TFrameViewer::SetOwnBusy);
  NoteCurrentPosition();
  TFrameSet* old = cur_;
  cur_ = new TFrameSet(this);
  currentFile_ = file;
  if (old) {
    old->hide();
    FreeIfUnused(old);
  }
  cur_->LoadFromFile(file);
  cur_->InitializeDimensions(0, 0, width(), height());
  cur_->show();
  cur_->LoadFiles();
  TFrame* single = cur_->SingleFrame();
  if (single && single->Viewer && !anchor.isEmpty()) single->Viewer->PositionTo(anchor);
  AddHistory(file, DocumentTitle());
}

void TFrameViewer::RouteClick(TFrame* frame, THTMLViewer& sender, const QString& link) {
  if (Processing()) return;
  QString url = HtmlTrim(link);
  QString target = sender.HotSpotTarget().isEmpty() ? sender.BaseTarget() : sender.HotSpotTarget();
  hotSpotUrl_ = url;
  hotSpotTarget_ = target;
  if (OnHotSpotTargetClick) {
    bool handled = false;
    OnHotSpotTargetClick(sender, target, url, handled);
    if (handled) return;
  }
  if (HasForeignScheme(url)) return;  // the host's, through OnHotSpotTargetClick

  TFrame* dest = nullptr;
  bool whole = false;
  QString t = target.trimmed();
  if (t.isEmpty() || t.compare(QLatin1String("_self"), Qt::CaseInsensitive) == 0) {
    dest = frame;
  } else if (TFrame* named = cur_->FindFrame(t)) {
    dest = named;
  } else if (t.compare(QLatin1String("_top"), Qt::CaseInsensitive) == 0) {
    whole = true;
  } else if (t.compare(QLatin1String("_parent"), Qt::CaseInsensitive) == 0) {
    // The frame that holds the clicked frame's set, or the whole viewer.
    dest = frame->MasterSet ? frame->MasterSet->Holder : nullptr;
    whole = !dest;
  } else {
    if (OnBlankWindowRequest) OnBlankWindowRequest(sender, target, url);
    return;
  }

  QString filePart, anchor;
  SplitAnchor(url, filePart, anchor);
  QString file = filePart.isEmpty() ? sender.GetCurrentFile() : sender.ExpandName(filePart);
  if (file.isEmpty()) return;
  Busy busy(this, &TFrameViewer::SetOwnBusy);
  if (whole)
    DoLoadFromFile(file + anchor);
  else
    dest->FrameLoad(file, anchor);
}

int TFrameViewer::Print(int firstPage, int lastPage) {
  THTMLViewer* v = ActiveViewer();
  return v ? v->Print(firstPage, lastPage) : 0;
}

int TFrameViewer::Print(int firstPage, int lastPage, TvwPrinter& job) {
  THTMLViewer* v = ActiveViewer();
  return v ? v->Print(firstPage, lastPage, job) : 0;
}

THTMLViewer* TFrameViewer::ActiveViewer() const {
  if (!cur_) return nullptr;
  if (cur_->Viewers.size() == 1) return cur_->Viewers.front();
  if (active_ && std::find(cur_->Viewers.begin(), cur_->Viewers.end(), active_.data()) != cur_->Viewers.end())
    return active_;
  return nullptr;
}

int TFrameViewer::SelLength() const {
  THTMLViewer* v = ActiveViewer();
  return v ? v->SelLength() : 0;
}

QString TFrameViewer::CurrentFile() const {
  THTMLViewer* v = ActiveViewer();
  return v ? v->GetCurrentFile() : QString();
}

QString TFrameViewer::DocumentTitle() const {
  THTMLViewer* v = ActiveViewer();
  return v ? v->GetDocumentTitle() : QString();
}

QString TFrameViewer::Base() const {
  THTMLViewer* v = ActiveViewer();
  return v ? v->Base() : QString();
}

QString TFrameViewer::BaseTarget() const {
  THTMLViewer* v = ActiveViewer();
  return v ? v->BaseTarget() : QString();
}

QString TFrameViewer::ExpandName(const QString& name) const {
  QString path = HtmlToDos(HtmlTrim(name));
  QString base = Base();
  if (QDir::isAbsolutePath(path) || base.compare(QLatin1String("DosPath"), Qt::CaseInsensitive) == 0) return path;
  QString folder;
  if (!base.isEmpty()) {
    folder = HtmlToDos(HtmlTrim(base));
    folder = folder.left(folder.lastIndexOf('/') + 1);
  } else if (!currentFile_.isEmpty()) {
    folder = QFileInfo(currentFile_).path() + '/';
  }
  return QDir::cleanPath(folder + path);
}

// ---- history

TDocPosition TFrameViewer::CurrentPosition() const {
  TFrame* f = cur_ ? cur_->SingleFrame() : nullptr;
  return f && f->Viewer ? f->Viewer->Position() : 0;
}

void TFrameViewer::NoteCurrentPosition() {
  if (size_t(historyIndex_) < history_.size()) history_[size_t(historyIndex_)].Pos = CurrentPosition();
}

void TFrameViewer::AddHistory(const QString& file, const QString& title) {
  if (historyMaxCount_ <= 0 || file.isEmpty()) return;
  EraseHistory(0, size_t(historyIndex_));
  history_.insert(history_.begin(), HistoryEntry{file, title, CurrentPosition(), cur_});
  historyIndex_ = 0;
  if (history_.size() > size_t(historyMaxCount_)) EraseHistory(size_t(historyMaxCount_), history_.size());
  if (OnHistoryChange) OnHistoryChange(*this);
}

void TFrameViewer::EraseHistory(size_t from, size_t to) {
  to = std::min(to, history_.size());
  if (from >= to) return;
  std::vector<TFrameSet*> sets;
  for (size_t i = from; i < to; ++i) sets.push_back(history_[i].Set);
  history_.erase(history_.begin() + ptrdiff_t(from), history_.begin() + ptrdiff_t(to));
  if (historyIndex_ >= int(history_.size())) historyIndex_ = std::max(0, int(history_.size()) - 1);
  std::sort(sets.begin(), sets.end());
  sets.erase(std::unique(sets.begin(), sets.end()), sets.end());
  for (TFrameSet* s : sets) FreeIfUnused(s);
}

void TFrameViewer::FreeIfUnused(TFrameSet* set) {
  if (!set || set == cur_) return;
  for (const HistoryEntry& e : history_)
    if (e.Set == set) return;
  set->Retire();
}

void TFrameViewer::SetHistoryIndex(int index) {
  if (index < 0 || size_t(index) >= history_.size() || index == historyIndex_ || Processing()) return;
  history_[size_t(historyIndex_)].Pos = CurrentPosition();
  Busy busy(this, &TFrameViewer::SetOwnBusy);
  const HistoryEntry e = history_[size_t(index)];
  if (e.Set == cur_) {
    auto* f = cur_->List.empty() ? nullptr : dynamic_cast<TFrame*>(cur_->List.front());
    if (f) {
      f->FrameLoad(e.File, {}, false);
      if (f->Viewer) f->Viewer->SetPosition(e.Pos);
    }
  } else {
    cur_->UnloadFiles();
    cur_->hide();
    cur_ = e.Set;
    currentFile_ = cur_->FileName;
    TFrame* single = cur_->SingleFrame();
    if (single) {
      single->Source = e.File;
      single->Kind = FileKindOf(e.File);
    }
    cur_->InitializeDimensions(0, 0, width(), height());
    cur_->show();
    cur_->ReloadFiles(single ? e.Pos : -1);
  }
  historyIndex_ = index;
  if (OnHistoryChange) OnHistoryChange(*this);
}

void TFrameViewer::SetHistoryMaxCount(int count) {
  if (count < 0) return;
  historyMaxCount_ = count;
  if (history_.size() > size_t(count)) {
    EraseHistory(0, history_.size());
    historyIndex_ = 0;
    if (OnHistoryChange) OnHistoryChange(*this);
  }
  ForEachViewer([count](THTMLViewer& v) { v.SetHistoryMaxCount(count); });
}

void TFrameViewer::PreparePopup(THTMLViewer* underMouse) {
  popupViewer_ = underMouse;
  bool own = !underMouse || (cur_ && cur_->SingleFrame());
  int index = own ? historyIndex_ : underMouse->HistoryIndex();
  int count = own ? int(history_.size()) : int(underMouse->History().size());
  forward_->setEnabled(index >= 1);
  back_->setEnabled(index < count - 1);
}

void TFrameViewer::MoveViewer(THTMLViewer* viewer, int step) {
  if (!viewer || (cur_ && cur_->SingleFrame()))
    SetHistoryIndex(historyIndex_ + step);
  else
    viewer->SetHistoryIndex(viewer->HistoryIndex() + step);
}

// ---- display defaults

template <typename T, typename Arg>
void TFrameViewer::Pass(T& field, const T& value, void (THTMLViewer::*setter)(Arg)) {
  field = value;
  ForEachViewer([&](THTMLViewer& v) { (v.*setter)(value); });
}

void TFrameViewer::SetViewImages(bool on) { Pass(viewImages_, on, &THTMLViewer::SetViewImages); }
void TFrameViewer::SetImageCacheCount(int count) { Pass(imageCacheCount_, count, &THTMLViewer::SetImageCacheCount); }
void TFrameViewer::SetNoSelect(bool on) { Pass(noSelect_, on, &THTMLViewer::SetNoSelect); }
void TFrameViewer::SetDefBackground(Color c) { Pass(defBackground_, c, &THTMLViewer::SetDefBackground); }
void TFrameViewer::SetDefFontColor(Color c) { Pass(defFontColor_, c, &THTMLViewer::SetDefFontColor); }
void TFrameViewer::SetDefHotSpotColor(Color c) { Pass(defHotSpotColor_, c, &THTMLViewer::SetDefHotSpotColor); }
void TFrameViewer::SetDefFontSize(int size) { Pass(defFontSize_, size, &THTMLViewer::SetDefFontSize); }
void TFrameViewer::SetDefFontName(const QString& name) { Pass(defFontName_, name, &THTMLViewer::SetDefFontName); }
void TFrameViewer::SetDefPreFontName(const QString& name) {
  Pass(defPreFontName_, name, &THTMLViewer::SetDefPreFontName);
}

void TFrameViewer::resizeEvent(QResizeEvent*) {
  if (cur_) cur_->InitializeDimensions(0, 0, width(), height());
}

}  // namespace qlon::viewer
