#pragma once
// A document built directly in the model and laid out on the recording
// canvas (size 12 text: 8 px per character, line height 18, descent 4).
#include <QImage>
#include <functional>
#include <memory>
#include <string>

#include "RecordingCanvas.h"
#include "Sections.h"
#include "SectionList.h"
#include "Tables.h"

namespace qlon::viewer::test {

inline TAttributeList Attrs(std::initializer_list<std::pair<Attr, QString>> items) {
  TAttributeList a;
  for (const auto& [which, text] : items) {
    QString t = text;
    int value = t.endsWith('%') ? t.chopped(1).toInt() : t.toInt();
    a.Add(which, value, text);
  }
  return a;
}

struct Doc {
  TSectionList list;
  RecordingCanvas canvas;
  TMyFont font;
  int maxWidth = 0;
  int curs = 0;

  Doc() {
    font.FontColor = clBlack;
    // Pictures come from the request hook: "WxH" names give a W x H picture.
    list.OnBitmapRequest = [](const QString& name, QImage& bitmap, Color&) {
      QStringList wh = name.section('.', 0, 0).split('x');
      if (wh.size() == 2 && wh[0].toInt() > 0 && wh[1].toInt() > 0) {
        bitmap = QImage(wh[0].toInt(), wh[1].toInt(), QImage::Format_RGB32);
        bitmap.fill(Qt::red);
      }
    };
  }

  template <typename T = TSection, typename... Args>
  T& Add(const std::u16string& text, Args... args) {
    auto s = std::make_unique<T>(&list, args...);
    if (!text.empty()) s->AddText(text);
    T& r = *s;
    list.Add(std::move(s));
    return r;
  }
  TSection& Para(const std::u16string& text, uint8_t justify = kLeft, int level = 0) {
    return Add<TSection>(text, level, font, nullptr, justify);
  }
  int Layout(int width) {
    curs = 0;
    return list.DoLogic(canvas, 0, curs, maxWidth, width);
  }
  void Draw(int x = 0, QRect clip = QRect(0, 0, 2000, 100000)) {
    canvas.clear();
    list.Draw(canvas, clip, x, 0);
  }
};

// Pixels darker than the threshold grey: how much a picture shows.
inline int DarkPixels(const QImage& img, int threshold = 100) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < threshold) ++n;
  return n;
}

// A cell's content: one paragraph of text.
inline std::unique_ptr<TCellObj> TextCell(Doc& d, const std::u16string& text, const TAttributeList& a = {},
                                          uint8_t valign = 0) {
  auto c = std::make_unique<TCellObj>(&d.list, a, valign);
  auto s = std::make_unique<TSection>(&d.list, 0, d.font, nullptr, kLeft);
  s->AddText(text);
  c->Cell->Add(std::move(s));
  return c;
}

// Every text section of a cell, tables' cells and captions included, in
// document order.
inline void ForEachText(TCell& cell, const std::function<void(TSection&)>& f) {
  for (auto& s : cell.Sections) {
    if (auto* t = dynamic_cast<TSection*>(s.get())) {
      f(*t);
    } else if (auto* table = dynamic_cast<ThtmlTable*>(s.get())) {
      if (table->Caption) ForEachText(*table->Caption->Cell, f);
      for (auto& row : table->Rows)
        for (auto& c : row->Cells) ForEachText(*c->Cell, f);
    }
  }
}

// Where a laid-out line of a section ends without a break opportunity (a
// blank, an image or a control, a character of the scripts written without
// blanks; a line end in preformatted text): the text of the two sides, or
// empty when every line ends where a line may.
inline QString SplitWord(const TSection& s) {
  auto breaks = [](char16_t c) {
    return c == u' ' || c == kImageChar || c == kControlChar || (c >= 0x3000 && c <= 0x9FFF) ||
           (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xFF00 && c <= 0xFF60);
  };
  for (size_t i = 0; i + 1 < s.Lines.size(); ++i) {
    int end = s.Lines[i].Start + s.Lines[i].Ln;
    if (end <= 0 || end >= s.Len()) continue;
    char16_t last = s.Buff[size_t(end - 1)], next = s.Buff[size_t(end)];
    bool ok = s.IsPre() ? last == u'\r' : breaks(last) || breaks(next);
    if (!ok) {
      int from = std::max(0, end - 10);
      return QString::fromStdU16String(s.Buff.substr(size_t(from), size_t(end - from))) + " / " +
             QString::fromStdU16String(s.Buff.substr(size_t(end), 10));
    }
  }
  return {};
}

}  // namespace qlon::viewer::test
