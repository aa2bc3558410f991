// Printing to PDF files: page breaks checked against the layout, and the
// printed text read back with pdftotext when it is installed.
#include <gtest/gtest.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <filesystem>
#include <optional>
#include <sys/stat.h>

#include "Htmlview.h"
#include "Readhtml.h"
#include "Sections.h"
#include "Tables.h"
#include "PdfText.h"
#include "TempRoot.h"
#include "vwPrint.h"

namespace qlon::viewer {
namespace {

namespace fs = std::filesystem;

std::unique_ptr<TSectionList> Parse(const QString& html) {
  auto list = std::make_unique<TSectionList>();
  list->SetFonts("DejaVu Sans", "DejaVu Sans Mono", clWhite, clBlue, clBlack, 12);
  TAnchorList anchors;
  ParseString(*list, anchors, html.toStdU16String());
  return list;
}

// "L001 ..." to "Lnnn ...", one line each.
QString NumberedLines(int n, const QString& prefix = "L") {
  QString html;
  for (int i = 1; i <= n; ++i) html += QString("%1%2 some words on the line<br>").arg(prefix).arg(i, 3, 10, QChar('0'));
  return html;
}

using test::PdfPages;

struct LineBox {
  int top, height;
};

void CollectLines(const TCell& cell, std::vector<LineBox>& out) {
  for (const auto& s : cell.Sections) {
    if (auto* t = dynamic_cast<const TSection*>(s.get())) {
      int top = t->YValue;
      for (const LineRec& l : t->Lines) {
        out.push_back({top, l.Height()});
        top += l.Height();
      }
    } else if (auto* table = dynamic_cast<const ThtmlTable*>(s.get())) {
      for (const auto& row : table->Rows)
        for (const auto& c : row->Cells)
          if (!c->IsPlaceholder()) CollectLines(*c->Cell, out);
    }
  }
}

class PrintTest : public ::testing::Test {
 protected:
  qlon::test::TempDir dir;
  PrinterSetup setup;

  PrintTest() {
    setup.OutputFile = Out("out.pdf");
    setup.Resolution = 300;
  }
  QString Out(const char* name) const { return QString::fromStdString((dir.path() / name).string()); }
  fs::path OutPath() const { return setup.OutputFile.toStdString(); }
  // Everything in the folder: no temporary file may be left behind.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
    return names;
  }
  // The page size in screen pixels of the setup's printer, and the copy
  // of the document laid out the way printing lays it out.
  struct Layout {
    int width, height, docHeight;
    std::unique_ptr<TSectionList> copy;
  };
  Layout LayOut(const TSectionList& doc) {
    TvwPrinter p(setup);
    Layout l;
    l.width = MulDiv(p.PageWidth(), kScreenPixelsPerInch, p.PixelsPerInchX()) - 20;
    l.height = MulDiv(p.PageHeight(), kScreenPixelsPerInch, p.PixelsPerInchY());
    l.copy = std::make_unique<TSectionList>(doc);
    l.copy->Printing = true;
    QtMeasureCanvas canvas;
    int curs = 0, maxWidth = 0;
    l.docHeight = l.copy->DoLogic(canvas, 0, curs, maxWidth, l.width);
    return l;
  }
  PrintResult PrintAlone(const TSectionList& doc, int first, int last) {
    PrinterSetup saved = PrinterSelection();
    PrinterSelection() = setup;
    PrintResult r = PrintDocument(doc, first, last, "Test document");
    PrinterSelection() = saved;
    return r;
  }
};

TEST_F(PrintTest, PageCountFollowsTheLineHeights) {
  auto doc = Parse(NumberedLines(250));
  Layout l = LayOut(*doc);
  std::vector<LineBox> lines;
  CollectLines(*l.copy, lines);
  ASSERT_EQ(lines.size(), 250u);
  // Whole lines packed greedily onto pages of the page height.
  int expected = 1, used = 0;
  for (const LineBox& b : lines) {
    if (used + b.height > l.height) {
      ++expected;
      used = 0;
    }
    used += b.height;
  }
  ASSERT_GT(expected, 3);

  PrintResult r = PrintAlone(*doc, 1, 9999);
  EXPECT_EQ(r.Pages, expected);
  EXPECT_EQ(r.PrintedPages, expected);  // no trailing empty page
  ASSERT_TRUE(fs::exists(OutPath()));
  EXPECT_EQ(Files().size(), 1u);
  auto pages = PdfPages(OutPath());
  if (!pages) GTEST_SKIP() << "pdftotext not installed";
  EXPECT_EQ(pages->size(), size_t(expected));
}

TEST_F(PrintTest, NoLineIsCutAcrossPages) {
  // Text, a table whose cells break across pages, and more text.
  QString html = NumberedLines(40, "A") + "<table border=1><tr><td>";
  for (int i = 1; i <= 60; ++i) html += QString("B%1 left cell<br>").arg(i, 3, 10, QChar('0'));
  html += "</td><td>";
  for (int i = 1; i <= 45; ++i) html += QString("C%1 right<br><font size=6>big</font><br>").arg(i, 3, 10, QChar('0'));
  html += "</td></tr></table>" + NumberedLines(40, "D");
  auto doc = Parse(html);
  Layout l = LayOut(*doc);
  PrintResult r = PrintAlone(*doc, 1, 9999);
  ASSERT_GE(r.Pages, 3);
  std::vector<LineBox> lines;
  CollectLines(*l.copy, lines);
  std::vector<int> ends(r.PageTops.begin() + 1, r.PageTops.end());
  ends.push_back(l.docHeight);
  for (const LineBox& b : lines) {
    bool inOnePage = false;
    for (size_t k = 0; k < ends.size(); ++k)
      inOnePage |= b.top >= r.PageTops[k] && b.top + b.height <= ends[k];
    EXPECT_TRUE(inOnePage) << "line at " << b.top << " height " << b.height;
  }
  for (size_t k = 0; k + 1 < r.PageTops.size(); ++k) {
    EXPECT_GT(r.PageTops[k + 1], r.PageTops[k]);
    EXPECT_LE(r.PageTops[k + 1] - r.PageTops[k], l.height);
  }

  auto pages = PdfPages(OutPath());
  if (!pages) GTEST_SKIP() << "pdftotext not installed";
  ASSERT_EQ(pages->size(), size_t(r.PrintedPages));
  // A cut line would print (part of) its text on two pages.
  QString all = pages->join('\n');
  for (const char* prefix : {"A", "B", "C", "D"}) {
    int count = prefix[0] == 'B' ? 60 : prefix[0] == 'C' ? 45 : 40;
    for (int i = 1; i <= count; ++i) {
      QString label = QString("%1%2").arg(prefix).arg(i, 3, 10, QChar('0'));
      EXPECT_EQ(all.count(label), 1) << label.toStdString();
    }
  }
}

TEST_F(PrintTest, PagesBeforeTheFirstAreLaidOutButNotPrinted) {
  auto doc = Parse(NumberedLines(300));
  PrintResult all = PrintAlone(*doc, 1, 9999);
  ASSERT_GE(all.Pages, 5);
  PrintResult r = PrintAlone(*doc, 3, 4);
  EXPECT_EQ(r.Pages, 4);
  EXPECT_EQ(r.PrintedPages, 2);
  EXPECT_EQ(std::vector<int>(r.PageTops.begin(), r.PageTops.end()),
            std::vector<int>(all.PageTops.begin(), all.PageTops.begin() + 4));

  auto pages = PdfPages(OutPath());
  if (!pages) GTEST_SKIP() << "pdftotext not installed";
  ASSERT_EQ(pages->size(), 2u);
  // The first printed page starts where page 3 starts; page 1's text is absent.
  EXPECT_FALSE(pages->join("").contains("L001 "));
  Layout l = LayOut(*doc);
  std::vector<LineBox> lines;
  CollectLines(*l.copy, lines);
  int firstOfPage3 = 0;
  while (lines[size_t(firstOfPage3)].top < r.PageTops[2]) ++firstOfPage3;
  QString label = QString("L%1 ").arg(firstOfPage3 + 1, 3, 10, QChar('0'));
  EXPECT_TRUE(pages->at(0).trimmed().startsWith(label)) << pages->at(0).left(40).toStdString();
}

TEST_F(PrintTest, NothingInRangeAbortsTheJobAndKeepsAnOlderFile) {
  qlon::test::WriteFileBytes(OutPath(), "older");
  auto doc = Parse(NumberedLines(5));
  PrintResult r = PrintAlone(*doc, 3, 4);
  EXPECT_EQ(r.Pages, 1);
  EXPECT_EQ(r.PrintedPages, 0);
  EXPECT_EQ(qlon::test::ReadFileBytes(OutPath()), "older");
  EXPECT_EQ(Files().size(), 1u);
}

// The printed file gets the permissions a new file gets, or keeps those of
// the file it replaces.
TEST_F(PrintTest, PrintedFileHasTheUsualPermissions) {
  auto doc = Parse(NumberedLines(5));
  const mode_t saved = ::umask(022);
  auto mode = [&] {
    struct stat st {};
    EXPECT_EQ(::stat(OutPath().c_str(), &st), 0);
    return st.st_mode & 07777;
  };
  EXPECT_EQ(PrintAlone(*doc, 1, 9999).PrintedPages, 1);
  EXPECT_EQ(mode(), 0644u);
  fs::permissions(OutPath(), fs::perms(0640));
  EXPECT_EQ(PrintAlone(*doc, 1, 9999).PrintedPages, 1);
  EXPECT_EQ(mode(), 0640u);
  ::umask(saved);
  EXPECT_EQ(Files().size(), 1u);
}

TEST_F(PrintTest, AbortLeavesNoHalfJob) {
  auto doc = Parse(NumberedLines(200));
  {  // aborted after pages were drawn
    TvwPrinter p(setup);
    p.BeginDoc();
    PrintResult r = PrintDocument(*doc, p, 1, 2);
    EXPECT_EQ(r.PrintedPages, 2);
    EXPECT_GE(p.DevicePages(), 2);
    p.Abort();
    EXPECT_FALSE(p.Printing);
    EXPECT_EQ(p.PageNumber, 0);
  }
  EXPECT_TRUE(Files().empty());
  {  // aborted while spooling (a cancel button handled between pages)
    TvwPrinter p(setup);
    p.BeginDoc();
    QTimer::singleShot(0, [&] { p.Abort(); });
    PrintResult r = PrintDocument(*doc, p, 1, 9999);
    EXPECT_EQ(r.PrintedPages, 1);
    EXPECT_FALSE(p.Printing);
  }
  EXPECT_TRUE(Files().empty());
  {  // a job never ended is aborted with its printer
    TvwPrinter p(setup);
    p.BeginDoc();
    PrintDocument(*doc, p, 1, 1);
  }
  EXPECT_TRUE(Files().empty());
}

TEST_F(PrintTest, SeveralDocumentsInOneJob) {
  auto a = Parse(NumberedLines(120, "A"));
  auto b = Parse(NumberedLines(10, "B"));
  auto c = Parse(NumberedLines(5, "C"));
  TvwPrinter p(setup);
  p.Title = "A capture of three pages with a long name";
  p.BeginDoc();
  PrintResult ra = PrintDocument(*a, p, 1, 9999);
  PrintResult rb = PrintDocument(*b, p, 1, 9999);
  PrintResult none = PrintDocument(*c, p, 2, 3);  // nothing in range: adds nothing
  PrintResult rc = PrintDocument(*c, p, 1, 1);
  ASSERT_GE(ra.PrintedPages, 2);
  EXPECT_EQ(rb.PrintedPages, 1);
  EXPECT_EQ(none.PrintedPages, 0);
  EXPECT_EQ(p.DevicePages(), ra.PrintedPages + 2);
  EXPECT_EQ(p.PageNumber, ra.PrintedPages + 2);
  p.EndDoc();
  EXPECT_EQ(Files().size(), 1u);

  auto pages = PdfPages(OutPath());
  if (!pages) GTEST_SKIP() << "pdftotext not installed";
  ASSERT_EQ(pages->size(), size_t(ra.PrintedPages + 2));
  // Each document starts on a page of its own.
  EXPECT_TRUE(pages->at(size_t(ra.PrintedPages)).trimmed().startsWith("B001"));
  EXPECT_FALSE(pages->at(size_t(ra.PrintedPages - 1)).contains("B0"));
  EXPECT_TRUE(pages->last().trimmed().startsWith("C001"));
  EXPECT_EQ(pages->last().count("C00"), 5);
}

TEST_F(PrintTest, PageBreakTagStartsANewPage) {
  auto doc = Parse("first part<br>more<page>second part");
  PrintResult r = PrintAlone(*doc, 1, 9999);
  EXPECT_EQ(r.PrintedPages, 2);
  auto pages = PdfPages(OutPath());
  if (!pages) GTEST_SKIP() << "pdftotext not installed";
  ASSERT_EQ(pages->size(), 2u);
  EXPECT_TRUE(pages->at(0).contains("more"));
  EXPECT_TRUE(pages->at(1).contains("second part"));
}

TEST_F(PrintTest, TheLayoutDoesNotDependOnThePrinterResolution) {
  auto doc = Parse(NumberedLines(100) + "<p>" + QString("wrapping words ").repeated(200));
  PrintResult low = PrintAlone(*doc, 1, 9999);
  setup.Resolution = 1200;
  PrintResult high = PrintAlone(*doc, 1, 9999);
  EXPECT_EQ(low.PageTops, high.PageTops);
}

TEST_F(PrintTest, TheViewerPrintsAtThePageWidthWhateverItsOwnWidth) {
  QString html = "<p>" + QString("a long paragraph of words that wraps ").repeated(300) + NumberedLines(100);
  qlon::test::WriteFileBytes(dir.path() / "doc.htm", html.toStdString());
  auto reference = Parse(html);
  PrinterSetup saved = PrinterSelection();
  PrinterSelection() = setup;
  int expected = PrintAlone(*reference, 1, 9999).PrintedPages;
  ASSERT_GE(expected, 2);
  for (int width : {150, 900}) {
    THTMLViewer viewer;
    viewer.resize(width, 300);
    viewer.SetDefFontName("DejaVu Sans");
    viewer.SetDefPreFontName("DejaVu Sans Mono");
    viewer.LoadFromFile(QString::fromStdString((dir.path() / "doc.htm").string()));
    std::vector<bool> busy;
    viewer.OnProcessing = [&](THTMLViewer&, bool on) { busy.push_back(on); };
    EXPECT_EQ(viewer.Print(1, 9999), expected) << width;
    EXPECT_EQ(busy, (std::vector<bool>{true, false}));
    // Into an open job: the viewer's pages follow what the job holds.
    TvwPrinter job(setup);
    job.BeginDoc();
    EXPECT_EQ(viewer.Print(2, 2, job), 1);
    EXPECT_EQ(viewer.Print(1, 1, job), 1);
    EXPECT_EQ(job.DevicePages(), 2);
    job.EndDoc();
  }
  PrinterSelection() = saved;
}

TEST(Printer, StateRules) {
  qlon::test::TempDir dir;
  PrinterSetup setup;
  setup.OutputFile = QString::fromStdString((dir.path() / "x.pdf").string());
  TvwPrinter p(setup);
  EXPECT_EQ(p.State(), 0);
  EXPECT_EQ(p.PageNumber, 0);
  EXPECT_THROW(p.NewPage(), EPrinter);
  EXPECT_THROW(p.EndDoc(), EPrinter);
  EXPECT_THROW(p.Abort(), EPrinter);
  EXPECT_GT(p.PageWidth(), 0);
  EXPECT_EQ(p.State(), 1);
  p.BeginDoc();
  EXPECT_EQ(p.State(), 2);
  EXPECT_EQ(p.PageNumber, 1);
  try {
    p.BeginDoc();
    ADD_FAILURE() << "a second BeginDoc must fail";
  } catch (const EPrinter& e) {
    EXPECT_STREQ(e.what(), kPrinting);
  }
  p.NewPage();
  EXPECT_EQ(p.PageNumber, 2);
  p.EndDoc();
  EXPECT_EQ(p.PageNumber, 0);
  EXPECT_FALSE(p.Printing);
  EXPECT_TRUE(fs::exists(dir.path() / "x.pdf"));
}

TEST(Printer, AnUnknownPrinterIsInvalid) {
  PrinterSetup setup;
  setup.PrinterName = "no such printer here";
  TvwPrinter p(setup);
  try {
    p.BeginDoc();
    ADD_FAILURE() << "an unknown printer must fail";
  } catch (const EPrinter& e) {
    EXPECT_STREQ(e.what(), kInvalidPrinter);
  }
  EXPECT_FALSE(p.Printing);
}

TEST(Printer, CurrentPrinterSwaps) {
  TvwPrinter& base = CurrentPrinter();
  {
    TvwPrinter mine;
    TvwPrinter* previous = SetPrinter(&mine);
    EXPECT_EQ(previous, &base);
    EXPECT_EQ(&CurrentPrinter(), &mine);
    EXPECT_FALSE(AbortProc());  // not printing
    SetPrinter(previous);
  }
  EXPECT_EQ(&CurrentPrinter(), &base);
  {
    TvwPrinter gone;
    SetPrinter(&gone);
  }
  EXPECT_EQ(&CurrentPrinter(), &base);  // a freed current printer is forgotten
}

}  // namespace
}  // namespace qlon::viewer
