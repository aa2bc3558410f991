// Layout and paint time of the viewer's display model on a large real page,
// against QTextDocument laying out and painting the same HTML at the same
// width; then reading time: HTML text to a laid-out model, the viewer's
// reader and layout against QTextDocument's setHtml and layout.
//
//   bench_viewer_layout [page.html] [width]
//
// Without a page, the largest HTML file under 2 MB in /usr/share/doc is used.
// For the layout and paint rounds the model is filled from QTextDocument's
// own reading of the page (blocks, lists, tables, character formats), so
// that both sides lay out the same content.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextList>
#include <QTextTable>
#include <cstdio>
#include <filesystem>

#include "QtCanvas.h"
#include "Readhtml.h"
#include "Sections.h"
#include "SectionList.h"
#include "Tables.h"

using namespace qlon::viewer;

namespace {

QString FindPage() {
  std::error_code ec;
  std::filesystem::path best;
  uintmax_t bestSize = 0;
  for (auto it = std::filesystem::recursive_directory_iterator("/usr/share/doc", ec);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (!it->is_regular_file(ec) || it->path().extension() != ".html") continue;
    uintmax_t size = it->file_size(ec);
    if (size < 2'000'000 && size > bestSize) {
      best = it->path();
      bestSize = size;
    }
  }
  return QString::fromStdString(best.string());
}

class ModelBuilder {
 public:
  explicit ModelBuilder(TSectionList& list) : list_(list) {}

  void Frame(QTextFrame* frame, TCell& cell) {
    for (auto it = frame->begin(); !it.atEnd(); ++it) {
      if (QTextFrame* child = it.currentFrame()) {
        if (auto* table = qobject_cast<QTextTable*>(child))
          Table(table, cell);
        else
          Frame(child, cell);
      } else {
        Block(it.currentBlock(), cell);
      }
    }
  }

  void Cells(const QTextTableCell& c, TCell& cell) {
    for (auto it = c.begin(); !it.atEnd(); ++it) {
      if (QTextFrame* child = it.currentFrame()) {
        if (auto* table = qobject_cast<QTextTable*>(child)) Table(table, cell);
      } else {
        Block(it.currentBlock(), cell);
      }
    }
  }

 private:
  TMyFont FontOf(const QTextCharFormat& f) {
    TMyFont font;
    font.Name = list_.FontName;
    font.FontColor = clBlack;
    bool fixed = f.fontFixedPitch() || f.fontFamilies().toStringList().join(',').contains("mono", Qt::CaseInsensitive);
    font.Fixed = fixed;
    if (fixed) font.Name = list_.PreFontName;
    font.SetNormalSize(list_, f.fontPointSize() > 0 ? int(f.fontPointSize()) : 12);
    font.Style = (f.fontWeight() >= QFont::Bold ? kBold : 0) | (f.fontItalic() ? kItalic : 0) |
                 (f.fontUnderline() ? kUnderline : 0);
    return font;
  }

  void Block(const QTextBlock& b, TCell& cell) {
    std::unique_ptr<TSection> s;
    TMyFont first = FontOf(b.charFormat());
    uint8_t justify = (b.blockFormat().alignment() & Qt::AlignHCenter) ? kCentre : kLeft;
    if (QTextList* l = b.textList()) {
      int level = std::max(1, l->format().indent());
      if (l->format().style() == QTextListFormat::ListDecimal)
        s = std::make_unique<TOListItem>(&list_, level, first, nullptr, justify, l->itemNumber(b) + 1);
      else
        s = std::make_unique<TUListItem>(&list_, level, first, nullptr, justify);
    } else if (b.blockFormat().nonBreakableLines()) {
      s = std::make_unique<TPreFormated>(&list_, 0, first, nullptr, justify);
    } else {
      s = std::make_unique<TSection>(&list_, 0, first, nullptr, justify);
    }
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      QTextFragment frag = it.fragment();
      QTextCharFormat f = frag.charFormat();
      if (f.isImageFormat()) {
        QTextImageFormat img = f.toImageFormat();
        TAttributeList a;
        a.Add(Attr::Src, img.name());
        if (img.width() > 0 && img.height() > 0) {
          a.Add(Attr::Width, QString::number(int(img.width())));
          a.Add(Attr::Height, QString::number(int(img.height())));
        }
        s->AddImage(a);
        continue;
      }
      TUrlTarget link;
      link.Url = f.anchorHref();
      s->HRef(link.Url.isEmpty() ? '<' : '>', FontOf(f), link);
      QString text = frag.text();
      text.replace(QChar::LineSeparator, ' ').replace(QChar::Nbsp, QChar(160));
      s->AddText(text);
    }
    s->CheckEmpty();
    cell.Add(std::move(s));
  }

  void Table(QTextTable* t, TCell& cell) {
    QTextTableFormat tf = t->format();
    TAttributeList a;
    a.Add(Attr::Border, QString::number(int(tf.border())));
    a.Add(Attr::CellPadding, QString::number(int(tf.cellPadding())));
    a.Add(Attr::CellSpacing, QString::number(int(tf.cellSpacing())));
    auto table = std::make_unique<ThtmlTable>(&list_, a, kLeft);
    for (int r = 0; r < t->rows(); ++r) {
      auto row = std::make_unique<TCellList>();
      for (int c = 0; c < t->columns(); ++c) {
        QTextTableCell tc = t->cellAt(r, c);
        if (tc.row() != r || tc.column() != c) continue;
        TAttributeList ca;
        if (tc.columnSpan() > 1) ca.Add(Attr::ColSpan, QString::number(tc.columnSpan()));
        if (tc.rowSpan() > 1) ca.Add(Attr::RowSpan, QString::number(tc.rowSpan()));
        auto co = std::make_unique<TCellObj>(&list_, ca, 0);
        Cells(tc, *co->Cell);
        row->Add(std::move(co));
      }
      table->Rows.push_back(std::move(row));
    }
    cell.Add(std::move(table));
  }

  TSectionList& list_;
};

double Ms(QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM") && !qEnvironmentVariableIsSet("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : FindPage();
  int width = argc > 2 ? atoi(argv[2]) : 1000;
  QFile f(path);
  if (path.isEmpty() || !f.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "no page to lay out (give one as the first argument)\n");
    return 1;
  }
  QString html = QString::fromStdU16String(DecodeDocument(f.readAll().toStdString()));
  std::printf("page: %s (%lld characters), width %d px\n", qPrintable(path), (long long)html.size(), width);

  QTextDocument doc;
  QElapsedTimer t;
  t.start();
  doc.setHtml(html);
  std::printf("QTextDocument reading (not compared):        %9.1f ms\n", Ms(t));

  TSectionList list;
  list.ShowImages = false;
  list.FontName = "DejaVu Serif";
  list.PreFontName = "DejaVu Sans Mono";
  t.restart();
  ModelBuilder(list).Frame(doc.rootFrame(), list);
  std::printf("model built from it (not compared):         %9.1f ms, %zu sections\n", Ms(t), list.Sections.size());

  const int kScreen = 800, kScreens = 10;
  QImage screen(width, kScreen, QImage::Format_RGB32);
  auto paintScreens = [&](int docHeight, auto&& paintAt) {
    for (int i = 0; i < kScreens; ++i) {
      int y = int((long long)std::max(0, docHeight - kScreen) * i / (kScreens - 1));
      screen.fill(Qt::white);
      QPainter p(&screen);
      paintAt(p, y);
    }
  };
  for (int round = 0; round < 3; ++round) {
    t.restart();
    QtMeasureCanvas mc;
    int curs = 0, maxWidth = 0;
    int height = list.DoLogic(mc, 0, curs, maxWidth, width - 20);
    double layout = Ms(t);
    t.restart();
    paintScreens(height, [&](QPainter& p, int y) {
      QtCanvas c(p, QRect(0, 0, width, kScreen));
      list.SetYOffset(y);
      list.Draw(c, QRect(0, 0, width, kScreen), 10, 0);
    });
    double paint = Ms(t);

    t.restart();
    doc.setTextWidth(width - 20);
    QSizeF size = doc.documentLayout()->documentSize();
    double qlayout = Ms(t);
    t.restart();
    paintScreens(int(size.height()), [&](QPainter& p, int y) {
      p.translate(10, -y);
      doc.drawContents(&p, QRectF(0, y, width, kScreen));
    });
    double qpaint = Ms(t);
    std::printf("round %d  model: layout %8.1f ms + %d screens %7.1f ms (height %d px)\n", round + 1, layout, kScreens,
                paint, height);
    std::printf("         QTextDocument: layout %8.1f ms + %d screens %7.1f ms (height %d px)\n", qlayout, kScreens,
                qpaint, int(size.height()));
    doc.setTextWidth(width - 19);  // the next round lays it out afresh
  }

  // Reading: the text of the page to a model laid out at the width.
  const std::u16string text = html.toStdU16String();
  for (int round = 0; round < 3; ++round) {
    t.restart();
    TSectionList read;
    read.ShowImages = false;
    read.FontName = list.FontName;
    read.PreFontName = list.PreFontName;
    TAnchorList anchors;
    try {
      ParseString(read, anchors, text);
    } catch (const EParseError&) {
      // what came before an unterminated comment is laid out all the same
    }
    double parse = Ms(t);
    QtMeasureCanvas mc;
    int curs = 0, maxWidth = 0;
    int height = read.DoLogic(mc, 0, curs, maxWidth, width - 20);
    double total = Ms(t);

    t.restart();
    QTextDocument fresh;
    fresh.setHtml(html);
    double qparse = Ms(t);
    fresh.setTextWidth(width - 20);
    int qheight = int(fresh.documentLayout()->documentSize().height());
    double qtotal = Ms(t);
    std::printf("read %d   reader: %8.1f ms parse, %8.1f ms with layout (%zu sections, height %d px)\n", round + 1, parse,
                total, read.Sections.size(), height);
    std::printf("         QTextDocument: %8.1f ms setHtml, %8.1f ms with layout (height %d px)\n", qparse, qtotal,
                qheight);
  }
  return 0;
}
