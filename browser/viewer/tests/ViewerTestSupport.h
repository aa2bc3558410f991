#pragma once
// A document built directly in the model and laid out on the recording
// canvas (size 12 text: 8 px per character, line height 18, descent 4).
#include <QImage>
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

}  // namespace qlon::viewer::test
