#include "Htmlsubs.h"

#include <QPainter>
#include <algorithm>
#include <cstdlib>

#include "SectionList.h"

namespace qlon::viewer {

void TMyFont::SetNormalSize(const TSectionList& list, int size) {
  NormalSize = size;
  Size = MulDiv(list.FontSize, size, 12);
}

void TMyFont::UpdateFont(const TSectionList& list, Color color) {
  Name = Fixed ? list.PreFontName : list.FontName;
  Size = MulDiv(list.FontSize, NormalSize, 12);
  FontColor = color | kPaletteRelative;
}

void TFontObj::Measure(Canvas& canvas) {
  canvas.SetFont(TheFont.Desc());
  TextMetrics m = canvas.Metrics();
  tmHeight = m.height;
  FontHeight = m.height + m.externalLeading;
  Descent = m.descent;
  Overhang = m.overhang;
}

void TFontObj::UpdateFont(const TSectionList& list) {
  TheFont.UpdateFont(list, UrlTarget.Url.isEmpty() ? list.FontColor : list.HotSpotColor);
}

void TFontList::Measure(Canvas& canvas) {
  for (TFontObj& f : Items) f.Measure(canvas);
}

void TFontList::UpdateFonts(const TSectionList& list) {
  for (TFontObj& f : Items) f.UpdateFont(list);
}

int TFontList::IndexAt(int pos) const {
  // Runs are in increasing Pos; the one in force is the last starting at or
  // before pos (the first when none does). The search starts at the run found
  // last and widens its steps from there, so a walk costs little per run.
  const size_t n = Items.size();
  if (n == 0) return 0;
  size_t lo = std::min(last_, n - 1), hi = lo + 1;  // the run lies in [lo, hi)
  if (Items[lo].Pos <= pos) {
    for (size_t step = 1; hi < n && Items[hi].Pos <= pos; step *= 2) {
      lo = hi;
      hi = std::min(n, hi + step);
    }
  } else {
    hi = lo;
    for (size_t step = 1; lo > 0 && Items[lo].Pos > pos; step *= 2) {
      hi = lo;
      lo = lo > step ? lo - step : 0;
    }
  }
  auto first = Items.begin() + qsizetype(lo), last = Items.begin() + qsizetype(hi);
  auto it = std::upper_bound(first, last, pos, [](int p, const TFontObj& f) { return p < f.Pos; });
  last_ = it == Items.begin() ? 0 : size_t(it - Items.begin()) - 1;
  return int(last_);
}

TFontObj& TFontList::GetFontAt(int pos, int& overhang) {
  TFontObj& f = Items[IndexAt(pos)];
  overhang = f.Overhang;
  return f;
}

TFontObj& TFontList::GetFontObjAt(int pos, int& index) {
  index = IndexAt(pos);
  return Items[index];
}

int TFontList::GetFontCountAt(int pos, int length) const {
  int i = IndexAt(pos);
  int end = i + 1 < int(Items.size()) ? Items[i + 1].Pos : length;
  return end - pos;
}

TImageObj::TImageObj(const TAttributeList& attributes, int pos) : Pos(pos) {
  for (const TAttribute& a : attributes.Items()) {
    switch (a.Which) {
      case Attr::Src: Source = a.Name; break;
      case Attr::Alt: Alt = a.Name; HasAlt = true; break;
      case Attr::Align: {
        QString s = a.Name.toUpper();
        if (s == "TOP") ObjAlign = kAlignTop;
        else if (s == "MIDDLE") ObjAlign = kAlignMiddle;
        else if (s == "LEFT") ObjAlign = kAlignLeft;
        else if (s == "RIGHT") ObjAlign = kAlignRight;
        break;
      }
      case Attr::Height: SpecHeight = a.Value > 0 ? AttrSize(a.Value) : 0; break;
      case Attr::Width: SpecWidth = a.Value > 0 ? AttrSize(a.Value) : 0; break;
      case Attr::Border: NoBorder = a.Value == 0; break;
      case Attr::HSpace: HSpace = int(std::min(20LL, std::llabs(a.Value))); break;
      case Attr::Transp: Transparent = true; break;
      case Attr::IsMap: IsMap = true; break;
      case Attr::UseMap: {
        UseMap = true;
        MapName = HtmlTrim(a.Name).toUpper();
        if (MapName.size() > 1 && MapName.startsWith('#')) MapName.remove(0, 1);
        break;
      }
      default: break;
    }
  }
  if (SpecHeight <= 0 || SpecWidth <= 0) SpecHeight = SpecWidth = 0;
}

void TImageObj::SetImageSize(TSectionList& list, Canvas& canvas, const TFontObj& font) {
  ParentSectionList = &list;
  if (list.ShowImages && Bitmap.isNull()) {
    uint8_t transp = Transparent ? 1 : 0;
    Bitmap = list.GetTheBitmap(Source, transp, Mask);
    if (transp) Transparent = true;
    IsError = Bitmap.isNull();
    if (IsError) {
      Bitmap = ErrorPicture();
      Mask = QImage();
    }
  }
  bool realShown = list.ShowImages && !IsError;
  const QImage& pic = list.ShowImages ? Bitmap : NoImagePicture();
  if (realShown && SpecWidth > 0) {
    ObjHeight = SpecHeight;
    ObjWidth = SpecWidth;
  } else {
    ObjHeight = pic.height();
    ObjWidth = pic.width();
  }
  ImageHeight = ObjHeight;
  ImageWidth = ObjWidth;
  bool link = !font.UrlTarget.Url.isEmpty();
  HasBorder = (list.ShowImages && link && !NoBorder) || (!realShown && (HasAlt || link));
  if (HasBorder) {
    ImageHeight += 2;
    ImageWidth += 2;
  }
  if (HasAlt && !realShown) {
    canvas.SetFont(font.TheFont.Desc());
    ImageWidth += canvas.TextWidth(Alt) + 4;
    ImageHeight = std::max(ImageHeight, canvas.Metrics().height);
  }
}

void TImageObj::Draw(Canvas& canvas, int x, int topY, int y, const TFontObj& font) {
  const TSectionList* list = ParentSectionList;
  bool show = list && list->ShowImages;
  bool realShown = show && !IsError;
  const QImage& pic = show && !Bitmap.isNull() ? Bitmap : NoImagePicture();
  int top;
  switch (ObjAlign) {
    case kAlignMiddle: top = y + font.Descent - font.tmHeight / 2 - ImageHeight / 2; break;
    case kAlignBottom: top = y - ImageHeight; break;
    default: top = topY; break;
  }
  int px = x, py = top;
  if (HasBorder) {
    ++px;
    ++py;
  }
  // Hit testing works in document coordinates; drawing happens scrolled.
  DrawX = px;
  DrawY = py + (list ? list->YOff : 0);
  // A mask smaller than 2 x 2 is no mask: the picture is drawn as it is.
  bool masked = realShown && Transparent && !Mask.isNull() && Mask.width() >= 2 && Mask.height() >= 2;
  canvas.DrawImage(QRect(px, py, ObjWidth, ObjHeight), masked ? Mask : pic);
  Color fc = font.TheFont.FontColor;
  if (HasAlt && !realShown) {
    canvas.SetFont(font.TheFont.Desc());
    TextMetrics m = canvas.Metrics();
    // Centred on the picture by the font's height and descent.
    int baseline = py + ObjHeight / 2 + m.height / 2 - m.descent;
    canvas.DrawText(px + ObjWidth + 2, baseline, reinterpret_cast<const char16_t*>(Alt.utf16()), int(Alt.size()), fc);
    canvas.FrameRect(QRect(x, top, ImageWidth, ImageHeight), fc);
  } else if (HasBorder) {
    canvas.FrameRect(QRect(x, top, ImageWidth, ImageHeight), fc);
  }
}

size_t TImageList::IndexAtOrAfter(int pos) const {
  auto it = std::lower_bound(Items.begin(), Items.end(), pos, [](const TImageObj& i, int p) { return i.Pos < p; });
  return size_t(it - Items.begin());
}

TImageObj* TImageList::FindImage(int pos) {
  size_t i = IndexAtOrAfter(pos);
  return i < Items.size() && Items[i].Pos == pos ? &Items[i] : nullptr;
}

const TImageObj* TImageList::FindImage(int pos) const {
  size_t i = IndexAtOrAfter(pos);
  return i < Items.size() && Items[i].Pos == pos ? &Items[i] : nullptr;
}

int TImageList::GetHeightAt(int pos, uint8_t& align) {
  TImageObj* i = FindImage(pos);
  if (!i) return -1;
  align = i->ObjAlign;
  return i->ImageHeight;
}

int TImageList::GetWidthAt(int pos, uint8_t& align) {
  TImageObj* i = FindImage(pos);
  if (!i) return -1;
  align = i->ObjAlign;
  return i->ImageWidth;
}

int TImageList::GetImageCountAt(int pos) const {
  size_t i = IndexAtOrAfter(pos);
  return i < Items.size() ? Items[i].Pos - pos : 9999;
}

bool TImageList::PtInImage(int x, int y, const TSectionList& list, const TMapItem*& map, bool& usesMap, bool& isMap,
                           int& pos, int& dx, int& dy) const {
  for (const TImageObj& i : Items) {
    int w = i.ImageWidth - (i.HasBorder ? 2 : 0), h = i.ImageHeight - (i.HasBorder ? 2 : 0);
    int ox = x - i.DrawX, oy = y - i.DrawY;
    if (ox >= 0 && ox < w && oy >= 0 && oy < h) {
      isMap = i.IsMap;
      pos = i.Pos;
      dx = ox;
      dy = oy;
      usesMap = false;
      map = nullptr;
      if (i.UseMap)
        for (const auto& m : list.MapList)
          if (m->MapName == i.MapName) {
            map = m.get();
            usesMap = true;
            break;
          }
      return true;
    }
  }
  return false;
}

void IndentManager::Reset(int lf, int rt) {
  LfEdge = lf;
  RtEdge = rt;
  CurrentLevel = 0;
  ForgetPassed();  // a new pass starts at the top
}

void IndentManager::Clear() {
  L.clear();
  R.clear();
  ForgetPassed();
  bottomL_ = bottomR_ = -1;
}

template <typename F>
void IndentManager::ForBandsAt(std::vector<IndentRec>& list, Passed& passed, int y, bool ahead, F f) {
  if (y < passed.y && !ahead) passed = Passed();  // a new pass from the top: every band counts again
  if (y < passed.y || ahead) {
    for (size_t i = y < passed.y ? 0 : passed.count; i < list.size(); ++i)
      if (list[i].YT <= y && y <= list[i].YB) f(list[i]);
    return;
  }
  passed.y = y;
  for (size_t i = passed.count; i < list.size(); ++i) {
    if (list[i].YB < y)
      std::swap(list[i], list[passed.count++]);
    else if (list[i].YT <= y)
      f(list[i]);
  }
}

int IndentManager::LeftAt(int y, bool ahead) {
  int x = 0;
  ForBandsAt(L, passedL_, y, ahead, [&](const IndentRec& r) { x = std::max(x, r.X); });
  return LfEdge + x;
}

int IndentManager::RightAt(int y, bool ahead) {
  int x = 0;
  ForBandsAt(R, passedR_, y, ahead, [&](const IndentRec& r) { x = std::min(x, r.X); });
  return RtEdge + x;
}

int IndentManager::NextBandEndAt(int y, bool ahead) {
  int next = -1;
  auto lowest = [&](const IndentRec& r) {
    if (r.Lev == 0 && (next < 0 || r.YB + 1 < next)) next = r.YB + 1;
  };
  ForBandsAt(L, passedL_, y, ahead, lowest);
  ForBandsAt(R, passedR_, y, ahead, lowest);
  return next;
}

int IndentManager::LeftIndent(int y) { return LeftAt(y, false); }
int IndentManager::RightSide(int y) { return RightAt(y, false); }
int IndentManager::NextImageBandEnd(int y) { return NextBandEndAt(y, false); }

void IndentManager::Update(int y, TImageObj& image) {
  if (image.ObjAlign != kAlignLeft && image.ObjAlign != kAlignRight) return;
  // A float that does not fit beside the images already there goes below the
  // first of them to end, and so on; beside none, it takes the line as it is.
  const int at = y;
  while (LeftAt(y, y > at) + image.ImageWidth > RightAt(y, y > at)) {
    int next = NextBandEndAt(y, y > at);
    if (next < 0) break;
    y = next;
  }
  int li = LeftAt(y, y > at), rs = RightAt(y, y > at);
  image.FloatY = y;
  const int yb = y + image.ImageHeight;
  if (image.ObjAlign == kAlignLeft) {
    L.push_back({li - LfEdge + image.ImageWidth + image.HSpace, y, yb, 0});
    bottomL_ = std::max(bottomL_, yb);
    image.HorzPos = li - LfEdge;
  } else {
    // Wider than the room, it starts at the left margin rather than before it.
    int x = std::max(li, rs - image.ImageWidth);
    R.push_back({x - image.HSpace - RtEdge, y, yb, 0});
    bottomR_ = std::max(bottomR_, yb);
    image.HorzPos = x - LfEdge;
  }
}

int IndentManager::ImageBottom() const { return std::max({0, bottomL_, bottomR_}); }

void IndentManager::GetClearY(int& left, int& right) const {
  left = bottomL_ + 1;
  right = bottomR_ + 1;
}

int IndentManager::NextLevelY() const {
  int x = 0;
  for (const IndentRec& r : L)
    if (r.Lev == CurrentLevel && CurrentLevel > 0) x = r.X;
  int y = -1;
  for (const IndentRec& r : L)
    if (r.X > x) y = std::max(y, r.YB);
  return y + 1;
}

void IndentManager::SetLevel(int y, int level) {
  if (level > CurrentLevel) {
    for (int lv = CurrentLevel + 1; lv <= level; ++lv) L.push_back({LeftIndent(y) - LfEdge + kListIndent, y, kOpenBand, lv});
  } else if (level < CurrentLevel && CurrentLevel >= 1) {
    // A closed level's band ends above Y and counts as an image band from then on.
    for (IndentRec& r : L)
      if (r.Lev > level) {
        r.Lev = 0;
        r.YB = y - 1;
        bottomL_ = std::max(bottomL_, r.YB);
      }
  }
  CurrentLevel = level;
}

void IndentManager::Shift(int dy) {
  for (auto* list : {&L, &R})
    for (IndentRec& r : *list) {
      r.YT += dy;
      if (r.YB != kOpenBand) r.YB += dy;
    }
  for (int* b : {&bottomL_, &bottomR_})
    if (*b >= 0) *b += dy;
  ForgetPassed();
}

namespace {
QImage MakePicture(int w, int h, bool error) {
  QImage img(w, h, QImage::Format_RGB32);
  img.fill(qRgb(192, 192, 192));
  QPainter p(&img);
  p.setPen(QColor(128, 128, 128));
  p.drawRect(0, 0, w - 1, h - 1);
  p.setPen(QColor(255, 255, 255));
  p.drawLine(1, 1, w - 2, 1);
  p.drawLine(1, 1, 1, h - 2);
  if (error) {
    // A red cross on a torn page.
    p.setPen(QPen(QColor(255, 0, 0), 2));
    p.drawLine(7, 8, w - 8, h - 9);
    p.drawLine(w - 8, 8, 7, h - 9);
  } else {
    // A small landscape: sky, hill and sun.
    p.fillRect(4, 4, w - 8, h - 8, QColor(128, 192, 255));
    p.setBrush(QColor(0, 128, 0));
    p.setPen(Qt::NoPen);
    p.drawEllipse(2, h / 2, w - 4, h - 4);
    p.setBrush(QColor(255, 255, 0));
    p.drawEllipse(w - 14, 6, 7, 7);
  }
  return img;
}
}  // namespace

const QImage& ErrorPicture() {
  static const QImage img = MakePicture(27, 30, true);
  return img;
}

const QImage& NoImagePicture() {
  static const QImage img = MakePicture(32, 32, false);
  return img;
}

}  // namespace qlon::viewer
