// Real pages: HTML manuals of Debian documentation packages (lua5.2-doc,
// libxslt1-dev, python3.11-doc, postgresql-doc-15), read and laid out as a reader sees them,
// and loaded into the viewer and painted to PNG files. A page whose package
// is not installed is skipped. QLON_VIEWER_PNG_DIR keeps the pictures.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPushButton>
#include <QStyleOptionButton>
#include <filesystem>
#include <map>
#include <set>

#include "FormControls.h"
#include "Htmlview.h"
#include "Readhtml.h"
#include "TempRoot.h"
#include "ViewerTestSupport.h"

namespace qlon::viewer {
namespace {

const char* const kDocFolder = "/usr/share/doc/lua5.2";
const QString kXslt = "/usr/share/doc/libxslt1-dev/html/";
const QString kPython = "/usr/share/doc/python3.11/html/";
// Its synopses and examples are preformatted blocks full of inline markup.
const QString kPostgres = "/usr/share/doc/postgresql-doc-15/html/";

bool Installed(const QString& file) { return std::filesystem::exists(file.toStdString()); }

QString PngFolder(const qlon::test::TempDir& temp) {
  QString out = qEnvironmentVariableIsSet("QLON_VIEWER_PNG_DIR") ? qEnvironmentVariable("QLON_VIEWER_PNG_DIR")
                                                                 : QString::fromStdString(temp.path().string());
  QDir().mkpath(out);
  return out;
}

// A window of 800 x 600 showing black text on white, with the pictures.
void Prepare(THTMLViewer& viewer) {
  viewer.resize(800, 600);
  viewer.SetDefBackground(clWhite);
  viewer.SetDefFontColor(clBlack);
  viewer.SetViewImages(true);
  viewer.show();
}

TEST(RealPages, DocumentationSetRendersToPng) {
  if (!std::filesystem::exists(std::filesystem::path(kDocFolder) / "manual.html"))
    GTEST_SKIP() << kDocFolder << " is not installed";
  qlon::test::TempDir temp;
  QString out = PngFolder(temp);

  THTMLViewer viewer;
  viewer.SetHistoryMaxCount(10);
  Prepare(viewer);
  auto shoot = [&](const QString& name) {
    QImage img = viewer.grab().toImage();
    EXPECT_GT(test::DarkPixels(img, 128), 2000) << name.toStdString();
    EXPECT_TRUE(img.save(out + '/' + name + ".png")) << name.toStdString();
  };

  int pages = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kDocFolder)) {
    if (entry.path().extension() != ".html") continue;
    QString file = QString::fromStdString(entry.path().string());
    ASSERT_NO_THROW(viewer.LoadFromFile(file)) << entry.path();
    EXPECT_FALSE(viewer.GetDocumentTitle().isEmpty()) << entry.path();
    EXPECT_GT(viewer.DocHeight(), 600) << entry.path();
    shoot(QString::fromStdString(entry.path().stem().string()));
    ++pages;
  }
  EXPECT_GE(pages, 3);

  // The contents page: its logo comes through the image cache; a link into
  // the manual follows to the section's anchor.
  viewer.LoadFromFile(QString(kDocFolder) + "/contents.html");
  EXPECT_GE(viewer.SectionList().BitmapList.Count(), 1);
  ASSERT_TRUE(viewer.PositionTo("#contents"));
  shoot("contents-at-contents");
  viewer.LoadFromFile(QString(kDocFolder) + "/manual.html#6.4");
  EXPECT_GT(viewer.VScrollPosition(), 10000);
  EXPECT_EQ(viewer.VScrollPosition(), viewer.AnchorY("6.4"));
  shoot("manual-at-6.4");
  ASSERT_GE(viewer.History().size(), 2);
  EXPECT_EQ(viewer.History()[0], QString(kDocFolder) + "/manual.html");
  EXPECT_EQ(viewer.History()[1], QString(kDocFolder) + "/contents.html");

  QImage thumb = viewer.MakePageBitmap(200, 150, true, true, 1);
  ASSERT_FALSE(thumb.isNull());
  EXPECT_TRUE(thumb.save(out + "/manual-thumbnail.png"));
}

void ForEachTable(TCell& cell, const std::function<void(ThtmlTable&)>& f) {
  for (auto& s : cell.Sections) {
    auto* table = dynamic_cast<ThtmlTable*>(s.get());
    if (!table) continue;
    f(*table);
    for (auto& row : table->Rows)
      for (auto& c : row->Cells) ForEachTable(*c->Cell, f);
  }
}

// A page read and laid out at a window's width on the canvas of known
// metrics, then drawn whole.
struct LaidOutPage {
  static constexpr int kWidth = 780;
  test::Doc d;
  TAnchorList anchors;

  explicit LaidOutPage(const QString& file) {
    d.list.ShowImages = false;
    ParseFile(d.list, anchors, file.toStdString());
    d.Layout(kWidth);
    d.Draw(0, QRect(0, 0, 100000, 1 << 29));
  }

  // What a reader of the page would see amiss, one line each.
  QStringList Faults() {
    QStringList faults;
    test::ForEachText(d.list, [&](TSection& s) {
      if (QString split = test::SplitWord(s); !split.isEmpty()) faults << "word split: " + split;
    });
    // Lists are indented by their level (list items of tables' cells too).
    test::ForEachText(d.list, [&](TSection& s) {
      if (s.ListLevel > 0 && !s.Lines.empty() && s.Lines[0].LineIndent < s.ListLevel * kListIndent)
        faults << "list item not indented: " + QString::fromStdU16String(s.Buff.substr(0, 30));
    });
    // The cells of one column start at one X in every row.
    ForEachTable(d.list, [&](ThtmlTable& t) {
      std::map<int, std::set<int>> columnX;
      for (auto& row : t.Rows)
        for (size_t c = 0; c < row->Cells.size(); ++c) {
          TCellObj& cell = *row->Cells[c];
          if (cell.ColSpan != 1 || cell.Cell->Sections.empty()) continue;
          if (auto* s = dynamic_cast<TSection*>(cell.Cell->Sections.front().get()))
            columnX[int(c)].insert(s->LastDrawX);
        }
      for (const auto& [c, xs] : columnX)
        if (xs.size() > 1) faults << QString("table column %1 starts at %2 places").arg(c).arg(xs.size());
    });
    // Beyond the right edge only what cannot break: preformatted text and
    // single words wider than their line (a line's trailing blanks aside;
    // on this canvas every character of a run is as wide as the others).
    // Preformatted text (drawn clipped to its run) is in the fixed font
    // only, whatever markup it holds.
    for (const auto& call : d.canvas.CallsOf(RecordingCanvas::Op::Text))
      if (!call.region.isEmpty() && call.font.face != d.list.PreFontName)
        faults << "preformatted text in " + call.font.face + ": " + call.text;
    for (const auto& call : d.canvas.CallsOf(RecordingCanvas::Op::Text)) {
      QString text = call.text;
      while (text.endsWith(' ')) text.chop(1);
      if (text.isEmpty()) continue;
      int end = call.rect.left() + call.rect.width() * int(text.size()) / int(call.text.size());
      if (end > kWidth && call.region.isEmpty() && text.trimmed().contains(' '))
        faults << "beyond the right edge: " + call.text;
    }
    return faults;
  }
};

// The control shows what the page gave it: an edit box its VALUE, a button
// its caption, a check box its CHECKED state with the whole indicator.
void ExpectInitialValue(TFormControlObj& c, const QString& page) {
  if (c.IsHidden) return;
  QWidget* w = c.Widget();
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w->size(), QSize(c.Width, c.Height)) << page.toStdString();
  if (auto* e = dynamic_cast<TEditFormControlObj*>(&c)) {
    EXPECT_EQ(e->Text(), c.Value) << page.toStdString();
  }
  if (auto* b = qobject_cast<QPushButton*>(w)) {
    EXPECT_EQ(b->text(), c.Value) << page.toStdString();
  }
  if (auto* box = dynamic_cast<TCheckBoxFormControlObj*>(&c)) {
    EXPECT_EQ(box->Checked(), box->IsChecked) << page.toStdString();
    QStyleOptionButton opt;
    opt.initFrom(w);
    EXPECT_TRUE(w->rect().contains(w->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &opt, w)))
        << page.toStdString();
  }
}

TEST(RealPages, ManualsReadAsTheirReadersSeeThem) {
  const QString pages[] = {kXslt + "internals.html", kXslt + "xsltproc2.html", kPython + "library/functions.html",
                           kPython + "tutorial/controlflow.html", QString(kDocFolder) + "/manual.html",
                           kPostgres + "sql-select.html", kPostgres + "plpgsql-control-structures.html"};
  qlon::test::TempDir temp;
  QString out = PngFolder(temp);
  THTMLViewer viewer;
  Prepare(viewer);
  int read = 0;
  for (const QString& page : pages) {
    if (!Installed(page)) continue;
    ++read;
    LaidOutPage laid(page);
    EXPECT_EQ(laid.Faults().join('\n').toStdString(), "") << page.toStdString();

    viewer.LoadFromFile(page);
    QImage shot = viewer.grab().toImage();
    EXPECT_TRUE(shot.save(out + '/' + QFileInfo(page).completeBaseName() + ".png"));
    for (TFormControlObj* c : viewer.SectionList().AllControls()) ExpectInitialValue(*c, page);
  }
  if (read == 0) GTEST_SKIP() << "no documentation package installed";

  // The colours of the page's BODY, after its XML declaration, DOCTYPE and head.
  if (!Installed(kXslt + "internals.html")) return;
  viewer.LoadFromFile(kXslt + "internals.html");
  EXPECT_EQ(viewer.SectionList().Background & 0xFFFFFF, 0x65778Bu);
  EXPECT_EQ(viewer.SectionList().HotSpotColor & 0xFFFFFF, 0x6060A0u);
  QImage shot = viewer.PaintPanel()->grab().toImage();
  EXPECT_EQ(shot.pixelColor(3, 200), QColor(0x8B, 0x77, 0x65));
  auto controls = viewer.SectionList().AllControls();
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(qobject_cast<QPushButton*>(controls[1]->Widget())->text(), "Search ...");
}

// The whole PostgreSQL manual, whose pages hold preformatted blocks with
// markup (synopses of SQL commands, examples): every block in one font.
// (A few of its function tables are wider than the window, so their
// cells run past its edge, as they would in any browser.)
TEST(RealPages, WholeManualKeepsItsPreformattedBlocksFixed) {
  if (!Installed(kPostgres + "index.html")) GTEST_SKIP() << kPostgres.toStdString() << " is not installed";
  int pages = 0, withMarkupInPre = 0;
  QStringList faults;
  for (const QFileInfo& page : QDir(kPostgres).entryInfoList({"*.html"}, QDir::Files, QDir::Name)) {
    ++pages;
    LaidOutPage laid(page.filePath());
    bool markup = false;
    test::ForEachText(laid.d.list, [&](TSection& s) { markup |= s.IsPre() && s.Fonts.Items.size() > 1; });
    withMarkupInPre += markup;
    for (const QString& f : laid.Faults())
      if (f.startsWith("preformatted")) faults << page.fileName() + ": " + f;
  }
  EXPECT_GE(pages, 1000);
  EXPECT_GE(withMarkupInPre, 300);
  EXPECT_EQ(faults.join('\n').toStdString(), "");
}

// A text file is shown line for line, however long.
TEST(RealPages, SourceTextShownLineForLine) {
  const QString file = kPython + "_sources/library/functions.rst.txt";
  if (!Installed(file)) GTEST_SKIP() << file.toStdString() << " is not installed";
  QFile f(file);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QStringList lines = QString::fromUtf8(f.readAll()).replace('\t', ' ').split('\n');
  ASSERT_GT(lines.join('\n').size(), 20000);
  THTMLViewer viewer;
  Prepare(viewer);
  viewer.LoadTextFile(file);
  ASSERT_EQ(viewer.SectionList().Sections.size(), 1u);
  auto& pre = dynamic_cast<TPreFormated&>(*viewer.SectionList().Sections[0]);
  ASSERT_GE(pre.Lines.size() + 1, size_t(lines.size()));
  for (size_t i = 0; i < pre.Lines.size(); ++i) {
    QString shown = QString::fromStdU16String(pre.Buff.substr(size_t(pre.Lines[i].Start), size_t(pre.Lines[i].Ln)));
    if (shown.endsWith('\r')) shown.chop(1);
    ASSERT_EQ(shown.toStdString(), lines[int(i)].toStdString()) << "line " << i;
  }
}

}  // namespace
}  // namespace qlon::viewer
