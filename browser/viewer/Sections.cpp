#include "Sections.h"

#include <QStringView>
#include <algorithm>
#include <string_view>

namespace qlon::viewer {

namespace {
bool IsPlaceholder(char16_t c) { return c == kImageChar || c == kControlChar; }
// What a line may end in without it counting towards its width.
bool IsTrailingBlank(char16_t c) { return c == u' ' || c == u'\r'; }

// Chinese, Japanese and Korean are written without blanks between words.
bool IsWide(char32_t c) {
  return (c >= 0x2E80 && c <= 0x303E) || (c >= 0x3041 && c <= 0x33FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xA000 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF01 && c <= 0xFF60) ||
         (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x20000 && c <= 0x3FFFD);
}
// Punctuation that never starts a line, and punctuation that never ends one.
bool IsClosing(char32_t c) {
  static constexpr std::u16string_view kClosing =
      u")]},.;:!?\u2019\u201D\u3001\u3002\u3009\u300B\u300D\u300F\u3011\u3015\u3017\u3019\u301B\u301E"
      u"\u30FB\uFF01\uFF09\uFF0C\uFF0E\uFF1A\uFF1B\uFF1F\uFF3D\uFF5D\uFF60";
  return c < 0x10000 && kClosing.find(char16_t(c)) != std::u16string_view::npos;
}
bool IsOpening(char32_t c) {
  static constexpr std::u16string_view kOpening =
      u"([{\u2018\u201C\u3008\u300A\u300C\u300E\u3010\u3014\u3016\u3018\u301A\u301D\uFF08\uFF3B\uFF5B\uFF5F";
  return c < 0x10000 && kOpening.find(char16_t(c)) != std::u16string_view::npos;
}

// Whether a line may break before b[k] where there is no blank: next to a
// wide character, as browsers do, but never inside a surrogate pair, at a
// no-break space, before closing or after opening punctuation.
bool WideBreak(const std::u16string& b, int k) {
  if (k <= 0 || k >= int(b.size())) return false;
  char16_t next = b[size_t(k)], prev = b[size_t(k - 1)];
  if (QChar::isLowSurrogate(next) || next == 0xA0 || prev == 0xA0) return false;
  char32_t after = next, before = prev;
  if (QChar::isHighSurrogate(next) && k + 1 < int(b.size()) && QChar::isLowSurrogate(b[size_t(k + 1)]))
    after = QChar::surrogateToUcs4(next, b[size_t(k + 1)]);
  if (QChar::isLowSurrogate(prev) && k >= 2 && QChar::isHighSurrogate(b[size_t(k - 2)]))
    before = QChar::surrogateToUcs4(b[size_t(k - 2)], prev);
  return (IsWide(after) || IsWide(before)) && !IsClosing(after) && !IsOpening(before);
}
}  // namespace

Color LightEdgeColor(const TSectionList& list) {
  bool whitePage = PlainColor(list.Background) == clWhite && !list.BackgroundPictureShown;
  return list.Printing || whitePage ? Color(0xC0C0C0) : clBtnHighlight;
}

TSection::TSection(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify)
    : TSectionBase(list), ListLevel(level), Indent(level * kListIndent), BaseFont(font), Justify(justify) {
  TFontObj run(0, font);
  if (list) {
    list->CurrentSScript = 0;
    run.TheFont.Style |= list->CurrentStyle;
  }
  if (link) run.UrlTarget = *link;
  Fonts.Items.push_back(run);
}

TSection::TSection(TSectionList* list, const TSection& s)
    : TSectionBase(list, s), Buff(s.Buff), Fonts(s.Fonts), Images(s.Images), FormControls(s.FormControls),
      ListLevel(s.ListLevel), Indent(s.Indent), ListNumb(s.ListNumb), BaseFont(s.BaseFont), ListType(s.ListType),
      Justify(s.Justify), ClearAttr(s.ClearAttr) {
  for (TImageObj& i : Images.Items) i.ParentSectionList = list;
}

std::unique_ptr<TSectionBase> TSection::Copy(TSectionList* list) const { return std::make_unique<TSection>(list, *this); }
std::unique_ptr<TSectionBase> TPreFormated::Copy(TSectionList* list) const {
  return std::make_unique<TPreFormated>(list, *this);
}

void TSection::AddText(const std::u16string& text) {
  if (text.empty()) return;
  size_t from = 0;
  if (text[0] == u' ') {
    bool drop = Buff.empty() || Buff.back() == u' ';
    if (!drop) {
      drop = true;
      for (int i = 0; i < Len() && drop; ++i) drop = Buff[i] == kImageChar && IsFloat(i);
    }
    if (drop) from = 1;
  }
  Buff.append(text, from, std::u16string::npos);
}

void TPreFormated::AddText(const std::u16string& text) { Buff += text; }

void TSection::ChangeFont(const TMyFont& font) {
  TFontObj* run;
  if (Fonts.Items.back().Pos < Len()) {
    TUrlTarget link = Fonts.Items.back().UrlTarget;
    Fonts.Items.emplace_back(Len(), font);
    run = &Fonts.Items.back();
    run->UrlTarget = link;
  } else {
    run = &Fonts.Items.back();
    run->TheFont = font;
  }
  if (ParentSectionList) {
    run->TheFont.Style = font.Style | ParentSectionList->CurrentStyle;
    run->SScript = ParentSectionList->CurrentSScript;
    if (run->SScript == 1 || run->SScript == 2)
      run->TheFont.SetNormalSize(*ParentSectionList, MulDiv(font.NormalSize, 3, 4));
  }
}

void TSection::HRef(char kind, const TMyFont& font, const TUrlTarget& link) {
  ChangeFont(font);
  TFontObj& run = Fonts.Items.back();
  run.UrlTarget.Clear();
  if (kind == '>') run.UrlTarget = link;
}

TImageObj& TSection::AddImage(const TAttributeList& attributes) {
  Buff.push_back(kImageChar);
  Images.Items.emplace_back(attributes, Len() - 1);
  return Images.Items.back();
}

TFormControlObj* TSection::AddFormControl(ControlKind kind, const TAttributeList& attributes) {
  Buff.push_back(kControlChar);
  FormControls.Items.push_back(CreateFormControl(kind, ParentSectionList, Len() - 1, attributes));
  return FormControls.Items.back().get();
}

void TSection::ProcessClear(const TAttributeList& attributes) {
  const TAttribute* a = attributes.Find(Attr::Clear);
  if (!a) return;
  QString v = a->Name.toLower().left(15);
  ClearAttr = v == "left" ? 1 : v == "right" ? 2 : v == "none" ? 0 : 3;  // "none" is the default: no clearing
}

uint8_t TSection::CheckEmpty() {
  if (Buff.empty()) Buff.push_back(u' ');
  return Justify;
}

bool TSection::IsFloat(int pos) const {
  const TImageObj* i = Images.FindImage(pos);
  return i && (i->ObjAlign == kAlignLeft || i->ObjAlign == kAlignRight);
}

int TSection::Clearance(const IndentManager& imgr, int y) const {
  if (ClearAttr == 0) return 0;
  int cl, cr;
  imgr.GetClearY(cl, cr);
  // The first free Y is below the band's last row, so the cleared line
  // starts there, outside the band (and never moves up).
  int c;
  if (ClearAttr == 1)
    c = cl - y;
  else if (ClearAttr == 2)
    c = cr - y;
  else
    c = std::max(cl - y, cr - y);
  return std::max(0, c);
}

int TSection::RangeWidth(Canvas& canvas, int a, int b) {
  int w = 0;
  int i = a;
  while (i < b) {
    char16_t c = Buff[i];
    if (c == kImageChar) {
      if (TImageObj* img = Images.FindImage(i))
        w += (img->ObjAlign == kAlignLeft || img->ObjAlign == kAlignRight) ? 0 : img->ImageWidth;
      ++i;
    } else if (c == kControlChar) {
      w += std::max(0, FormControls.GetWidthAt(i));
      ++i;
    } else {
      int ov;
      TFontObj& f = Fonts.GetFontAt(i, ov);
      int n = std::min(Fonts.GetFontCountAt(i, Len()), b - i);
      int j = i;
      while (j < i + n && !IsPlaceholder(Buff[j])) ++j;
      if (j == i) {
        ++i;
        continue;
      }
      canvas.SetFont(f.TheFont.Desc());
      w += canvas.TextWidth(Buff.data() + i, j - i) - ov;
      i = j;
    }
  }
  return w;
}

int TSection::FindCountThatFits(Canvas& canvas, int width, std::vector<TImageObj*>& pending, int& floatHeight,
                                IndentManager& imgr, int y, int max, int start) {
  int w = 0, count = 0;
  bool empty = true;
  while (count < max) {
    int p = start + count;
    char16_t c = Buff[p];
    if (c == kImageChar) {
      if (TImageObj* img = Images.FindImage(p)) {
        bool isFloat = img->ObjAlign == kAlignLeft || img->ObjAlign == kAlignRight;
        if (!isFloat) {
          w += img->ImageWidth;
          empty = false;
        } else if (empty) {
          // Placing is final, so a float that would not fit after others waits for the next line.
          if (count > 0 && w + img->ImageWidth + img->HSpace > width) break;
          imgr.Update(y, *img);
          if (img->FloatY == y) w += img->ImageWidth + img->HSpace;  // else it went below the others
          floatHeight = std::max(floatHeight, img->FloatY - y + img->ImageHeight);
        } else {
          pending.push_back(img);
        }
        if (w > width) break;
        ++count;
        continue;
      }
    } else if (c == kControlChar) {
      w += std::max(0, FormControls.GetWidthAt(p));
      if (w > width) break;
      ++count;
      empty = false;
      continue;
    }
    // A text run ends at the next font change or placeholder; it is measured
    // only as far as it fits, so a line costs what it holds.
    int ov;
    TFontObj& f = Fonts.GetFontAt(p, ov);
    int runEnd = p + std::min(Fonts.GetFontCountAt(p, Len()), max - count);
    canvas.SetFont(f.TheFont.Desc());
    int j = p;
    bool full = false;
    while (j < runEnd && !IsPlaceholder(Buff[j])) {
      int cw = canvas.CharWidth(Buff[j]);
      if (w + cw > width) {
        full = true;
        break;
      }
      w += cw;
      ++j;
    }
    if (j == p && !full) j = p + 1;  // a stray placeholder code without its object
    count += j - p;
    if (full) break;
    w -= ov;
    empty = false;
  }
  return std::min(count, max);
}

int TSection::WordEnd(int pos) const {
  int k = pos + 1;
  if (IsPlaceholder(Buff[pos])) return k;
  while (k < Len() && Buff[k] != u' ' && !IsPlaceholder(Buff[k]) && !WideBreak(Buff, k)) ++k;
  return k;
}

int TSection::LineEnd(int pos, int n) const {
  int len = Len();
  if (pos + n >= len) return len - pos;
  // A line that fits up to a blank keeps the blanks that follow.
  if (Buff[pos + n - 1] == u' ' || Buff[pos + n] == u' ') {
    while (pos + n < len && Buff[pos + n] == u' ') ++n;
    return n;
  }
  if (IsPlaceholder(Buff[pos + n]) || WideBreak(Buff, pos + n)) return n;
  for (int k = pos + n - 1; k >= pos; --k) {
    if (Buff[k] == u' ' || IsPlaceholder(Buff[k])) return k - pos + 1;
    if (k > pos && WideBreak(Buff, k)) return k - pos;
  }
  // A word longer than the line stands alone and overflows.
  int k = pos + n;
  while (k < len && Buff[k] != u' ' && !IsPlaceholder(Buff[k]) && !WideBreak(Buff, k)) ++k;
  if (k < len && Buff[k] == u' ')
    while (k < len && Buff[k] == u' ') ++k;
  return k - pos;
}

int TSection::DrawLogic(Canvas& canvas, int y, IndentManager& imgr, int& maxWidth, int& curs) {
  YValue = y;
  StartCurs = curs;
  SectionHeight = 0;
  Lines.clear();
  imgr.SetLevel(y, ListLevel);
  int clearance = Clearance(imgr, y);
  if (Buff.empty()) {
    SectionHeight = DrawHeight = clearance;
    maxWidth = 0;
    return SectionHeight;
  }
  Fonts.Measure(canvas);
  FirstIndent = imgr.LeftIndent(y);
  maxWidth = MeasureObjects(canvas, imgr.Width);

  int pos = 0;
  std::vector<TImageObj*> pending;
  while (pos < Len()) {
    LineRec line;
    line.Start = pos;
    const int lineTop = y + SectionHeight;
    int drop = Lines.empty() ? clearance : 0;  // room above what the line holds
    int lineY = lineTop + drop;
    const int width = RoomForLine(canvas, imgr, pos, lineY, drop);
    line.SpaceBefore = drop;
    pending.clear();
    int floatHeight = 0;
    const int n = LineLength(canvas, imgr, width, pending, floatHeight, lineY, pos);
    const int end = pos + n;
    SetLineHeight(line, pos, end, drop);
    const int w = AlignLine(canvas, imgr, line, pos, end, lineY);
    line.Ln = n;
    // What runs past the margin (a word wider than its line, preformatted
    // text, a deep list) widens the document, so that the viewer can scroll to it.
    maxWidth = std::max(maxWidth, line.LineIndent + w);
    // What the line paints: itself and the images placed beside it from its top.
    line.DrawHeight = std::max(line.Height(), drop + floatHeight);
    SectionHeight = LayoutSum(SectionHeight, line.Height());
    pos = end;
    const int below = y + SectionHeight;
    for (TImageObj* img : pending) {
      if (img->Pos >= end) continue;  // seen again on the next line
      imgr.Update(below, *img);
      line.DrawHeight = std::max(line.DrawHeight, img->FloatY - lineTop + img->ImageHeight);
    }
    Lines.push_back(line);
  }
  for (const TImageObj& img : Images.Items)
    if (img.ObjAlign == kAlignLeft || img.ObjAlign == kAlignRight)
      maxWidth = std::max(maxWidth, img.HorzPos + img.ImageWidth);
  curs = StartCurs + Len();
  if (ListLevel > 0) SectionHeight = std::max(SectionHeight, imgr.NextLevelY() - YValue);
  DrawHeight = std::max(imgr.ImageBottom() - YValue, SectionHeight);
  return SectionHeight;
}

int TSection::MeasureObjects(Canvas& canvas, int width) {
  TSectionList& list = *ParentSectionList;
  for (TImageObj& img : Images.Items) {
    int ov;
    img.SetImageSize(list, canvas, Fonts.GetFontAt(img.Pos, ov));
    width = std::max(width, img.ImageWidth + Indent);
  }
  for (const auto& c : FormControls.Items) width = std::max(width, c->Width + Indent);
  return width;
}

int TSection::RoomForLine(Canvas& canvas, IndentManager& imgr, int pos, int& lineY, int& drop) {
  if (IsPre()) return kPreWidth;
  int width = imgr.RightSide(lineY) - imgr.LeftIndent(lineY);
  if (IsFloat(pos)) return width;
  const int word = RangeWidth(canvas, pos, WordEnd(pos));
  for (int next; word > width && (next = imgr.NextImageBandEnd(lineY)) >= 0;) {
    drop += next - lineY;
    lineY = next;
    width = imgr.RightSide(lineY) - imgr.LeftIndent(lineY);
  }
  return width;
}

int TSection::LineLength(Canvas& canvas, IndentManager& imgr, int width, std::vector<TImageObj*>& pending,
                         int& floatHeight, int lineY, int pos) {
  int n = std::max(1, FindCountThatFits(canvas, width, pending, floatHeight, imgr, lineY, Len() - pos, pos));
  n = LineEnd(pos, n);
  // Preformatted text keeps its line ends (CR) in the text: each ends a line.
  if (IsPre())
    for (int k = pos; k < pos + n; ++k)
      if (Buff[k] == u'\r') return k - pos + 1;
  return n;
}

void TSection::SetLineHeight(LineRec& line, int pos, int end, int drop) {
  // From the runs the line touches (none when it holds only placeholders).
  bool allPlaceholders = true;
  for (int i = pos; i < end && allPlaceholders; ++i) allPlaceholders = IsPlaceholder(Buff[i]);
  if (!allPlaceholders) {
    int idx;
    Fonts.GetFontObjAt(pos, idx);
    for (int k = idx; k < int(Fonts.Items.size()) && Fonts.Items[k].Pos < end; ++k)
      if (Fonts.Items[k].FontHeight > line.LineHt) {
        line.LineHt = Fonts.Items[k].FontHeight;
        line.Descent = Fonts.Items[k].Descent;
      }
  }
  for (size_t k = Images.IndexAtOrAfter(pos); k < Images.Items.size() && Images.Items[k].Pos < end; ++k) {
    const TImageObj& img = Images.Items[k];
    int h = img.ImageHeight, d = h - line.LineHt;
    switch (img.ObjAlign) {
      case kAlignTop: line.SpaceAfter = std::max(line.SpaceAfter, d); break;
      case kAlignMiddle:
        line.SpaceAfter = std::max(line.SpaceAfter, d / 2);
        line.SpaceBefore = std::max(line.SpaceBefore, drop + d - d / 2);
        break;
      case kAlignBottom:
        line.SpaceBefore = std::max(line.SpaceBefore, drop + h - (line.LineHt - line.Descent));
        break;
      default: break;
    }
  }
  for (auto c = FormControls.FirstAtOrAfter(pos); c != FormControls.Items.end() && (*c)->Pos < end; ++c) {
    int h = (*c)->Height;
    line.SpaceBefore = std::max(line.SpaceBefore,
                                drop + ((*c)->OnBaseline ? h - (line.LineHt - line.Descent) : h - line.LineHt));
  }
}

int TSection::AlignLine(Canvas& canvas, IndentManager& imgr, LineRec& line, int pos, int end, int lineY) {
  int trimmed = end;
  while (trimmed > pos && IsTrailingBlank(Buff[trimmed - 1])) --trimmed;
  const int w = RangeWidth(canvas, pos, trimmed);
  const int li = imgr.LeftIndent(lineY), rs = imgr.RightSide(lineY);
  if (Justify == kLeft || IsPre())
    line.LineIndent = li;
  else if (Justify == kCentre)
    line.LineIndent = std::max(li, (rs + li - w) / 2);
  else
    line.LineIndent = std::max(li, rs - w);
  return w;
}

void TSection::MinMaxWidth(Canvas& canvas, int& min, int& max) {
  min = max = 0;
  if (Buff.empty()) return;
  Fonts.Measure(canvas);
  for (TImageObj& img : Images.Items) {
    int ov;
    img.SetImageSize(*ParentSectionList, canvas, Fonts.GetFontAt(img.Pos, ov));
    if (img.ObjAlign == kAlignLeft || img.ObjAlign == kAlignRight)
      max += img.ImageWidth + img.HSpace;
    else
      min = std::max(min, img.ImageWidth);
  }
  max += RangeWidth(canvas, 0, Len()) + Indent;
  int i = 0;
  while (i < Len()) {
    while (i < Len() && (Buff[i] == u' ' || Buff[i] == kImageChar)) ++i;
    int b = i;
    while (i < Len() && Buff[i] != u' ' && Buff[i] != kImageChar && (i == b || !WideBreak(Buff, i))) ++i;
    if (i > b) min = std::max(min, RangeWidth(canvas, b, i));
  }
  min += Indent;
  max = std::max(max, min);
}

void TPreFormated::MinMaxWidth(Canvas& canvas, int& min, int& max) {
  // The width preformatted text takes when laid out without wrapping.
  IndentManager scratch;
  scratch.Reset(0, kPreWidth);
  scratch.Width = kPreWidth;
  int curs = 0, mw = 0;
  TSection::DrawLogic(canvas, 0, scratch, mw, curs);
  int w = 0;
  for (const LineRec& l : Lines) {
    int e = l.Start + l.Ln;
    while (e > l.Start && IsTrailingBlank(Buff[e - 1])) --e;
    w = std::max(w, l.LineIndent + RangeWidth(canvas, l.Start, e));
  }
  min = max = w + Indent;
}

void TSection::DrawMarker(Canvas& canvas, int x, int baseline) {
  TSectionList& list = *ParentSectionList;
  TFontObj base(0, BaseFont);
  base.TheFont.UpdateFont(list, list.FontColor);
  canvas.SetFont(base.TheFont.Desc());
  TextMetrics m = canvas.Metrics();
  if (ListType == kBulletItem) {
    // A 5 x 5 disc left of the text, centred on the x-height.
    int mx = x - 10, my = baseline - m.ascent / 2;
    canvas.FillEllipse(QRect(QPoint(mx - 2, my - 2), QPoint(mx + 2, my + 2)), list.FontColor);
  } else if (ListType == kNumberedItem) {
    QString s = QString::number(ListNumb) + '.';
    int w = canvas.TextWidth(s);
    canvas.DrawText(x - w - 5, baseline, reinterpret_cast<const char16_t*>(s.utf16()), int(s.size()), list.FontColor);
  }
}

int TSection::Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y) {
  TSectionList& list = *ParentSectionList;
  LastDrawX = x;
  if (y >= clip.bottom() + 1 || LayoutSum(y, std::max(DrawHeight, SectionHeight)) <= clip.top())
    return LayoutSum(y, SectionHeight);
  bool printing = list.Printing || canvas.IsPrinter();
  int selB = list.SelB - StartCurs, selE = list.SelE - StartCurs;
  int lineTop = y;
  for (size_t li = 0; li < Lines.size(); ++li) {
    LineRec& line = Lines[li];
    int h = line.Height();
    if (printing) {
      int pageHeight = clip.height();
      if (lineTop + h > list.PageBottom && lineTop < list.PageBottom && h < pageHeight) list.PageBottom = lineTop;
      // A line that crosses the foot starts the next page; one taller than a
      // page is cut and drawn on every page it meets.
      if (lineTop >= list.PageBottom || (lineTop + h > list.PageBottom && h < pageHeight)) {
        lineTop = LayoutSum(lineTop, h);
        continue;
      }
    }
    line.DrawY = lineTop + list.YOff;
    int top = lineTop + line.SpaceBefore;
    int baseline = top + line.LineHt - line.Descent;
    int cx = x + line.LineIndent;
    if (li == 0 && ListType != kPlainList && ListType != kDefinitionItem) DrawMarker(canvas, cx, baseline);
    if (lineTop <= clip.bottom() && lineTop + line.DrawHeight >= clip.top()) {
      int i = line.Start, end = line.Start + line.Ln;
      while (i < end) {
        char16_t c = Buff[i];
        int ov;
        TFontObj& f = Fonts.GetFontAt(i, ov);
        if (c == kImageChar) {
          if (TImageObj* img = Images.FindImage(i)) {
            if (img->ObjAlign == kAlignLeft || img->ObjAlign == kAlignRight) {
              img->Draw(canvas, imgr.LfEdge + img->HorzPos, y + (img->FloatY - YValue), baseline, f);
            } else {
              img->Draw(canvas, cx, top, baseline, f);
              cx += img->ImageWidth;
            }
          }
          ++i;
          continue;
        }
        if (c == kControlChar) {
          if (TFormControlObj* ctl = FormControls.FindControl(i)) {
            int ct = ctl->OnBaseline ? baseline - ctl->Height : top + line.LineHt - ctl->Height;
            if (printing)
              canvas.DrawWidget(ctl->Widget(), QPoint(cx, ct));
            else
              ctl->Place(cx, ct);
            cx += ctl->Width;
          }
          ++i;
          continue;
        }
        // A text run ends at a font change, a placeholder and a selection boundary.
        int n = std::min(Fonts.GetFontCountAt(i, Len()), end - i);
        int j = i + 1;
        bool selected = i >= selB && i < selE;
        while (j < i + n && !IsPlaceholder(Buff[j]) && (j >= selB && j < selE) == selected && j != selB && j != selE)
          ++j;
        canvas.SetFont(f.TheFont.Desc());
        int shift = f.SScript == 2 ? -(f.tmHeight / 3) : f.SScript == 1 ? f.Descent : 0;
        Color fg = f.TheFont.FontColor, bg = kNoColor;
        if (selected) {
          bg = fg;
          fg = list.Background;
        }
        int w = canvas.TextWidth(Buff.data() + i, j - i);
        if (IsPre()) {
          QRect box(cx, top, w, line.LineHt);
          canvas.DrawText(cx, baseline + shift, Buff.data() + i, j - i, fg, bg, &box);
        } else {
          canvas.DrawText(cx, baseline + shift, Buff.data() + i, j - i, fg, bg);
        }
        cx += w - ov;
        i = j;
      }
    }
    lineTop = LayoutSum(lineTop, h);
  }
  return LayoutSum(y, SectionHeight);
}

int TSection::LineAtY(int y, int& top) const {
  int t = YValue;
  for (size_t i = 0; i < Lines.size(); ++i) {
    int h = Lines[i].Height();
    if (y >= t && y < t + h) {
      top = t;
      return int(i);
    }
    t = LayoutSum(t, h);
  }
  top = t;
  return -1;
}

int TSection::IndexAtX(Canvas& canvas, const LineRec& line, int x, bool nearer, int& caretX) {
  int cx = LastDrawX + line.LineIndent;
  int end = line.Start + line.Ln;
  for (int i = line.Start; i < end; ++i) {
    char16_t c = Buff[i];
    int w = 0;
    if (c == kImageChar) {
      TImageObj* img = Images.FindImage(i);
      w = img && img->ObjAlign != kAlignLeft && img->ObjAlign != kAlignRight ? img->ImageWidth : 0;
    } else if (c == kControlChar) {
      w = std::max(0, FormControls.GetWidthAt(i));
    } else {
      int ov;
      canvas.SetFont(Fonts.GetFontAt(i, ov).TheFont.Desc());
      w = canvas.CharWidth(c);
    }
    if (x < cx + w) {
      if (nearer && x >= cx + w / 2 + (w & 1)) {
        caretX = cx + w;
        return i + 1;
      }
      caretX = cx;
      return i;
    }
    cx += w;
  }
  caretX = cx;
  return end;
}

bool TSection::GetURL(Canvas& canvas, int x, int y, TUrlTarget& link) {
  const TMapItem* map = nullptr;
  bool usesMap = false, isMap = false;
  int pos, dx, dy;
  if (Images.PtInImage(x, y, *ParentSectionList, map, usesMap, isMap, pos, dx, dy)) {
    if (usesMap && map) {
      QString url, target;
      if (!map->GetURL(dx, dy, url, target) || url.isEmpty()) return false;
      link.Assign(url, target);
      return true;
    }
    int ov;
    const TFontObj& f = Fonts.GetFontAt(pos, ov);
    if (f.UrlTarget.Url.isEmpty()) return false;
    link = f.UrlTarget;
    if (isMap) link.Url += '?' + QString::number(dx) + ',' + QString::number(dy);
    return true;
  }
  int top;
  int li = LineAtY(y, top);
  if (li < 0) return false;
  const LineRec& line = Lines[li];
  int caret;
  int i = IndexAtX(canvas, line, x, false, caret);
  if (i >= line.Start + line.Ln || x < LastDrawX + line.LineIndent) return false;
  int ov;
  const TFontObj& f = Fonts.GetFontAt(i, ov);
  if (f.UrlTarget.Url.isEmpty()) return false;
  link = f.UrlTarget;
  return true;
}

int TSection::FindCursor(Canvas& canvas, int x, int y, int& lineHeight, int& lineTop, int& caretX) {
  int top;
  int li = LineAtY(y, top);
  if (li < 0) return -1;
  const LineRec& line = Lines[li];
  lineHeight = line.Height();
  lineTop = top;
  int i = IndexAtX(canvas, line, x, true, caretX);
  return StartCurs + i;
}

int TSection::FindString(int from, const QString& text, bool matchCase) {
  QString t = text.left(255);
  if (t.isEmpty()) return -1;
  int start = std::max(0, from - StartCurs);
  if (start >= Len()) return -1;
  QStringView hay(Buff.data(), qsizetype(Buff.size()));
  qsizetype i = hay.indexOf(t, start, matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive);
  return i < 0 ? -1 : StartCurs + int(i);
}

bool TSection::FindCursorPos(int pos, int& y, int& x) {
  int p = pos - StartCurs;
  if (p < 0 || p >= Len()) return false;
  int t = YValue;
  for (const LineRec& l : Lines) {
    if (p >= l.Start && p < l.Start + l.Ln) {
      y = t;
      x = LastDrawX + l.LineIndent;
      return true;
    }
    t = LayoutSum(t, l.Height());
  }
  return false;
}

void TSection::CopyToClipboard() {
  TSectionList& list = *ParentSectionList;
  if (!list.SelText) return;
  int b = list.SelB - StartCurs, e = list.SelE - StartCurs;
  for (const LineRec& l : Lines) {
    int ls = l.Start, le = l.Start + l.Ln;
    if (le <= b || ls >= e) continue;
    int s = std::max(ls, b), t = std::min(le, e);
    if (s == ls) {
      static const char16_t kBlanks[] = u"   ";
      for (int k = 0; k < l.LineIndent / kListIndent; ++k) list.SelText->AddText(kBlanks, 3);
    }
    // A preformatted line end is copied as the line end it is.
    int copyEnd = t == le && t > s && Buff[t - 1] == u'\r' ? t - 1 : t;
    list.SelText->AddText(Buff.data() + s, copyEnd - s);
    if (t == le) list.SelText->AddLineEnd();
  }
}

void TSection::UpdateFonts() {
  Fonts.UpdateFonts(*ParentSectionList);
  BaseFont.UpdateFont(*ParentSectionList, ParentSectionList->FontColor);
  SetHeight();
}

void TSection::Shift(int dy) {
  YValue += dy;
  for (TImageObj& i : Images.Items) i.FloatY += dy;
}

bool TSection::LineAt(int height, int& top) const {
  int t = 0;
  for (const LineRec& l : Lines) {
    if (t + l.DrawHeight > height) {
      top = t;
      return true;
    }
    t = LayoutSum(t, l.Height());
  }
  return false;
}

TUListItem::TUListItem(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify,
                       bool plain)
    : TSection(list, level, font, link, justify) {
  ListType = plain ? kPlainList : kBulletItem;
}

TOListItem::TOListItem(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify,
                       int number)
    : TSection(list, level, font, link, justify) {
  ListType = kNumberedItem;
  ListNumb = number;
}

TDListItem::TDListItem(TSectionList* list, int level, const TMyFont& font, const TUrlTarget* link, uint8_t justify)
    : TSection(list, level, font, link, justify) {
  ListType = kDefinitionItem;
}

namespace {
int Scaled(const TSectionBase& s, int n) { return s.ParentSectionList ? MulDiv(n, s.ParentSectionList->FontSize, 12) : n; }
void CopyLineBreak(const TSectionBase& s) {
  TSectionList* list = s.ParentSectionList;
  if (list && list->SelText && list->SelB <= s.StartCurs && s.StartCurs < list->SelE) list->SelText->AddLineEnd();
}
}  // namespace

TParagraphSpace::TParagraphSpace(TSectionList* list) : TSectionBase(list) { SetHeight(); }
std::unique_ptr<TSectionBase> TParagraphSpace::Copy(TSectionList* list) const {
  auto s = std::make_unique<TParagraphSpace>(list);
  s->SectionHeight = SectionHeight;
  return s;
}
void TParagraphSpace::CopyToClipboard() { CopyLineBreak(*this); }
void TParagraphSpace::SetHeight() { SectionHeight = Scaled(*this, 14); }

THeadingSpace::THeadingSpace(TSectionList* list, int level) : TSectionBase(list), HeadingSize(uint8_t(level)) {
  SetHeight();
}
std::unique_ptr<TSectionBase> THeadingSpace::Copy(TSectionList* list) const {
  auto s = std::make_unique<THeadingSpace>(list, HeadingSize);
  s->SectionHeight = SectionHeight;
  return s;
}
void THeadingSpace::CopyToClipboard() { CopyLineBreak(*this); }
void THeadingSpace::SetHeight() {
  static const int kSizes[7] = {8, 16, 12, 10, 8, 6, 4};
  SectionHeight = Scaled(*this, HeadingSize <= 6 ? kSizes[HeadingSize] : 8);
}

THorzLine::THorzLine(TSectionList* list, const TAttributeList& attributes) : TSectionBase(list) {
  for (const TAttribute& a : attributes.Items()) {
    if (a.Which == Attr::Size && a.Value >= 1 && a.Value <= 20) VSize = a.Value;
    if (a.Which == Attr::Width && a.Value > 0) {
      if (a.Name.contains('%')) {
        Percent = true;
        if (a.Value <= 100) Width = a.Value;
      } else {
        Width = AttrSize(a.Value);
      }
    }
  }
  SetHeight();
}

std::unique_ptr<TSectionBase> THorzLine::Copy(TSectionList* list) const {
  auto s = std::make_unique<THorzLine>(list, TAttributeList());
  s->VSize = VSize;
  s->Width = Width;
  s->Percent = Percent;
  s->SetHeight();
  return s;
}

void THorzLine::CopyToClipboard() { CopyLineBreak(*this); }
void THorzLine::SetHeight() { SectionHeight = Scaled(*this, 20) - 2 + VSize; }

int THorzLine::Draw(Canvas& canvas, const QRect& clip, IndentManager& imgr, int x, int y) {
  (void)x;
  TSectionList& list = *ParentSectionList;
  bool printing = list.Printing || canvas.IsPrinter();
  if (y > clip.bottom() || y + SectionHeight < clip.top() || (printing && y >= list.PageBottom)) return LayoutSum(y, SectionHeight);
  int left = imgr.LeftIndent(YValue), right = imgr.RightSide(YValue);
  int l, r;
  if (Width < 0) {
    l = left + 10;
    r = right - 10;
  } else {
    int w = Percent ? MulDiv(right - left, Width, 100) : Width;
    l = left + (right - left - w) / 2;
    r = l + w;
  }
  int top = y + (SectionHeight - VSize) / 2, bottom = top + VSize;
  Color dark = clBtnShadow, light = LightEdgeColor(list);
  canvas.Line(QPoint(l, bottom - 1), QPoint(l, top), dark);
  canvas.Line(QPoint(l, top), QPoint(r, top), dark);
  canvas.Line(QPoint(r - 1, top + 1), QPoint(r - 1, bottom), light);
  canvas.Line(QPoint(l + 1, bottom - 1), QPoint(r, bottom - 1), light);
  return LayoutSum(y, SectionHeight);
}

std::unique_ptr<TSectionBase> TPage::Copy(TSectionList* list) const { return std::make_unique<TPage>(list); }

int TPage::Draw(Canvas& canvas, const QRect& clip, IndentManager&, int, int y) {
  TSectionList& list = *ParentSectionList;
  if ((list.Printing || canvas.IsPrinter()) && y > clip.top() + 5 && y < clip.bottom() && y < list.PageBottom)
    list.PageBottom = y;
  return LayoutSum(y, SectionHeight);
}

}  // namespace qlon::viewer
