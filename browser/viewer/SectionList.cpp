#include "SectionList.h"

#include <algorithm>

#include "FormControls.h"
#include "Sections.h"

namespace qlon::viewer {

std::unique_ptr<TSectionBase> TSectionBase::Copy(TSectionList*) const { return nullptr; }

int TSectionBase::DrawLogic(Canvas&, int y, IndentManager& imgr, int& maxWidth, int& curs) {
  YValue = y;
  StartCurs = curs;
  DrawHeight = SectionHeight;
  maxWidth = imgr.Width;
  return SectionHeight;
}

int TSectionBase::Draw(Canvas&, const QRect&, IndentManager&, int, int y) { return LayoutSum(y, SectionHeight); }

void TSectionBase::SetParent(TSectionList* list) {
  ParentSectionList = list;
  SetHeight();
}

TCell::TCell(TSectionList* list, const TCell& source) : MasterList(list) {
  for (const auto& s : source.Sections)
    if (auto c = s->Copy(list)) Sections.push_back(std::move(c));
}

void TCell::Add(std::unique_ptr<TSectionBase> section) {
  if (!section) return;
  if (auto* pre = dynamic_cast<TPreFormated*>(section.get()); pre && pre->Buff.empty()) pre->Buff.push_back(u' ');
  section->SetParent(MasterList);
  Sections.push_back(std::move(section));
}

int TCell::DoLogic(Canvas& canvas, int y, int& curs, int& maxWidth, int width) {
  IMgr.Clear();
  IMgr.Reset(0, width);
  IMgr.Width = width;
  StartY = y;
  StartCurs = curs;
  maxWidth = 0;
  int h = 0;
  for (auto& s : Sections) {
    int mw = 0;
    h = LayoutSum(h, s->DrawLogic(canvas, LayoutSum(y, h), IMgr, mw, curs));
    maxWidth = std::max(maxWidth, mw);
  }
  Len = curs - StartCurs;
  return std::max(h, IMgr.ImageBottom() - StartY);
}

void TCell::MinMaxWidth(Canvas& canvas, int& min, int& max) {
  min = max = 0;
  for (auto& s : Sections) {
    int a = 0, b = 0;
    s->MinMaxWidth(canvas, a, b);
    min = std::max(min, a);
    max = std::max(max, b);
  }
}

int TCell::Draw(Canvas& canvas, const QRect& clip, int x, int y) {
  IMgr.Reset(x, x + IMgr.Width);
  for (auto& s : Sections) y = s->Draw(canvas, clip, IMgr, x, y);
  return y;
}

bool TCell::GetURL(Canvas& canvas, int x, int y, TUrlTarget& link) {
  for (auto& s : Sections) {
    int top = s->YValue;
    if (y >= top && y < top + std::max(s->DrawHeight, s->SectionHeight) && s->GetURL(canvas, x, y, link)) return true;
  }
  return false;
}

TSectionBase* TCell::FindSectionAt(int height, int& top, int& index) {
  int t = StartY;
  for (size_t i = 0; i < Sections.size(); ++i) {
    int h = Sections[i]->SectionHeight;
    if (height >= t && height < t + h) {
      top = t;
      index = int(i);
      return Sections[i].get();
    }
    t = LayoutSum(t, h);
  }
  return nullptr;
}

int TCell::FindCursor(Canvas& canvas, int x, int y, int& lineHeight, int& lineTop, int& caretX) {
  for (auto& s : Sections) {
    int top = s->YValue;
    if (y < top || y >= top + std::max(s->SectionHeight, 1)) continue;
    int r = s->FindCursor(canvas, x, y, lineHeight, lineTop, caretX);
    if (r >= 0) return r;
  }
  return -1;
}

int TCell::FindString(int from, const QString& text, bool matchCase) {
  for (auto& s : Sections) {
    int r = s->FindString(from, text, matchCase);
    if (r >= 0) return r;
  }
  return -1;
}

bool TCell::FindCursorPos(int pos, int& y, int& x) {
  for (auto& s : Sections)
    if (s->FindCursorPos(pos, y, x)) return true;
  return false;
}

void TCell::CopyToClipboard() {
  int selB = MasterList->SelB, selE = MasterList->SelE;
  for (auto& s : Sections) {
    int b = s->StartCurs, len = s->Length();
    if (b >= selE) break;
    bool meets = len > 0 ? (b < selE && b + len > selB) : (b >= selB && b < selE);
    if (meets) s->CopyToClipboard();
  }
}

void TCell::UpdateFonts() {
  for (auto& s : Sections) s->UpdateFonts();
}

void TCell::Shift(int dy) {
  StartY += dy;
  IMgr.Shift(dy);
  for (auto& s : Sections) s->Shift(dy);
}

int TCell::Height() const {
  int h = 0;
  for (const auto& s : Sections) h += s->SectionHeight;
  return h;
}

TCellObj::TCellObj(TSectionList* list, const TAttributeList& attributes, uint8_t valign)
    : VAlign(valign), Cell(std::make_unique<TCell>(list)) {
  for (const TAttribute& a : attributes.Items()) {
    switch (a.Which) {
      case Attr::BgColor: BgColorSet = ColorFromString(a.Name, BgColor); break;
      case Attr::ColSpan: if (a.Value > 1) ColSpan = a.Value; break;
      case Attr::RowSpan: if (a.Value > 1) RowSpan = a.Value; break;
      case Attr::Width:
        if (a.Name.contains('%')) {
          AsPercent = true;
          if (a.Value >= 1 && a.Value <= 100) SpecWd = a.Value;
        } else {
          SpecWd = AttrSize(a.Value);
        }
        break;
      default: break;
    }
  }
}

TCellObj::TCellObj(TSectionList* list, const TCellObj& s)
    : ColSpan(s.ColSpan), RowSpan(s.RowSpan), Wd(s.Wd), Ht(s.Ht), VSize(s.VSize), YIndent(s.YIndent),
      VAlign(s.VAlign), SpecWd(s.SpecWd), AsPercent(s.AsPercent), Cell(std::make_unique<TCell>(list, *s.Cell)),
      BgColorSet(s.BgColorSet), BgColor(s.BgColor) {}

std::unique_ptr<TCellObj> TCellObj::Placeholder(TSectionList* list, int rowSpan) {
  auto c = std::make_unique<TCellObj>(list, TAttributeList(), 0);
  c->ColSpan = 0;
  c->RowSpan = rowSpan;
  return c;
}

TSectionList::TSectionList(QWidget* paintPanel) : TCell(this), PaintPanel(paintPanel) {}

TSectionList::TSectionList(const TSectionList& s)
    : TCell(this), FontSize(s.FontSize), ShowImages(s.ShowImages), Printing(s.Printing), SelB(s.SelB), SelE(s.SelE),
      FontName(s.FontName), PreFontName(s.PreFontName), FontColor(s.FontColor), HotSpotColor(s.HotSpotColor),
      Background(s.Background), PaintPanel(s.PaintPanel), OnBitmapRequest(s.OnBitmapRequest),
      ExpandName(s.ExpandName) {
  for (const auto& sec : s.Sections)
    if (auto c = sec->Copy(this)) Sections.push_back(std::move(c));
}

TSectionList::~TSectionList() {
  // Sections (and their controls) go before the forms they refer to.
  Sections.clear();
  htmlFormList.clear();
}

void TSectionList::Clear() {
  BackgroundBitmap = QImage();
  BitmapName.clear();
  Sections.clear();
  htmlFormList.clear();
  CurrentForm = nullptr;
  SelB = SelE = 0;
  MapList.clear();
  LayoutErrors.clear();
  CurrentStyle = CurrentSScript = 0;
}

void TSectionList::SetFonts(const QString& name, const QString& preName, Color background, Color hotSpot, Color font,
                            int size) {
  FontName = name.left(33);
  PreFontName = preName.left(33);
  FontSize = size;
  FontColor = font;
  HotSpotColor = hotSpot;
  SetBackground(background);
  UpdateFonts();
}

void TSectionList::SetBackground(Color c) {
  Background = c;
  if (OnBackgroundChange) OnBackgroundChange(*this);
}

void TSectionList::SetBackgroundBitmap(const QString& name) {
  BackgroundBitmap = QImage();
  BitmapName = name;
}

QImage TSectionList::GetBackgroundBitmap() {
  if (ShowImages && !BitmapName.isEmpty() && BackgroundBitmap.isNull()) {
    uint8_t transp = 0;
    QImage mask;
    BackgroundBitmap = GetTheBitmap(BitmapName, transp, mask);
    BitmapName.clear();
  }
  return BackgroundBitmap;
}

void TSectionList::SetYOffset(int y) {
  if (y == YOff) return;
  YOff = y;
  YOffChanged = true;
  for (TFormControlObj* c : AllControls()) c->Showing = false;
}

int TSectionList::DoLogic(Canvas& canvas, int y, int& curs, int& maxWidth, int width) {
  ++LayoutPass;
  NestLevel = 0;
  for (auto& f : htmlFormList) f->SetSizes(canvas);
  return TCell::DoLogic(canvas, y, curs, maxWidth, width);
}

int TSectionList::Draw(Canvas& canvas, const QRect& clip, int x, int y) {
  PageBottom = clip.bottom() + 1;
  if (Printing && PageLimit > 0 && PageLimit < PageBottom) PageBottom = PageLimit;
  BackgroundPictureShown = ShowImages && !BackgroundBitmap.isNull();
  int r = TCell::Draw(canvas, clip, x, y - YOff);
  if (YOffChanged && CoversPanel(PaintPanel, clip)) {
    for (TFormControlObj* c : AllControls())
      if (!c->Showing) c->Hide();
    YOffChanged = false;
  }
  return r;
}

int TSectionList::GetSelLength() {
  if (SelE <= SelB) return 0;
  SelTextCount counter;
  SelText = &counter;
  CopyToClipboard();
  SelText = nullptr;
  return counter.Terminate();
}

QString TSectionList::GetSelText() {
  if (SelE <= SelB) return {};
  SelTextBuilder builder;
  SelText = &builder;
  CopyToClipboard();
  SelText = nullptr;
  return builder.Text();
}

bool TSectionList::FindPageBreak(int y, int& top) {
  int t, index;
  TSectionBase* s = FindSectionAt(y, t, index);
  auto* text = dynamic_cast<TSection*>(s);
  if (!text) return false;
  int lineTop;
  if (!text->LineAt(y - t, lineTop)) return false;
  top = t + lineTop;
  return true;
}

QImage TSectionList::GetTheBitmap(const QString& name, uint8_t& transparent, QImage& mask) {
  mask = QImage();
  if (name.isEmpty()) return {};
  QString key = HtmlTrim(name).toUpper();
  if (key.isEmpty()) return {};
  if (TBitmapItem* item = BitmapList.Find(key)) {
    if (item->Transp == 2) transparent = 2;
    if (transparent == 1 && item->Mask.isNull()) {
      item->Mask = CreateMask(item->Bitmap, false, 0);
      item->Transp = 1;
    }
    mask = item->Mask;
    return BitmapList.GetImage(item);
  }
  TBitmapItem item;
  if (OnBitmapRequest) {
    Color color = kNoColor;
    OnBitmapRequest(name, item.Bitmap, color);
    if (item.Bitmap.isNull()) return {};
    if (color != kNoColor) {
      item.Mask = CreateMask(item.Bitmap, true, color);
      item.Transp = 2;
      transparent = 2;
    } else if (transparent == 1) {
      item.Mask = CreateMask(item.Bitmap, false, 0);
      item.Transp = 1;
    }
  } else {
    QString path = ExpandName ? ExpandName(name) : HtmlToDos(HtmlTrim(name));
    uint8_t t = transparent;
    item.Bitmap = LoadImageWithMask(path.toStdString(), item.Mask, t);
    if (item.Bitmap.isNull()) return {};
    item.Transp = t;
    transparent = t;
  }
  mask = item.Mask;
  return BitmapList.GetImage(BitmapList.Add(key, std::move(item)));
}

std::vector<TFormControlObj*> TSectionList::AllControls() const {
  std::vector<TFormControlObj*> out;
  for (const auto& f : htmlFormList)
    for (TFormControlObj* c : f->ControlList) out.push_back(c);
  return out;
}

}  // namespace qlon::viewer
