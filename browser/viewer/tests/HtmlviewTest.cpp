#include <gtest/gtest.h>

#include <QApplication>
#include <filesystem>
#include <QClipboard>
#include <QKeyEvent>
#include <QElapsedTimer>
#include <QListWidget>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QStyleOptionButton>
#include <QTextBlock>

#include "FormControls.h"
#include "Htmlview.h"
#include "QtCanvas.h"
#include "Sections.h"
#include "TempRoot.h"
#include "ViewerTestSupport.h"


namespace qlon::viewer {
namespace {

std::string Paragraphs(int from, int to) {
  std::string out;
  for (int i = from; i < to; ++i) out += "<p>Paragraph number " + std::to_string(i) + " of the page.\n";
  return out;
}

struct ViewerFixture : ::testing::Test {
  qlon::test::TempDir dir;
  THTMLViewer viewer;

  ViewerFixture() {
    viewer.resize(400, 300);
    viewer.SetDefBackground(clWhite);
    viewer.SetDefFontColor(clBlack);
    viewer.show();
  }
  QString Write(const std::string& name, const std::string& html) {
    qlon::test::WriteFileBytes(dir.path() / name, html);
    return QString::fromStdString((dir.path() / name).string());
  }
  QImage Shot() {
    QImage img = viewer.PaintPanel()->grab().toImage();
    return img;
  }
  void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons = Qt::LeftButton) {
    QMouseEvent e(type, at, viewer.PaintPanel()->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                  buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(viewer.PaintPanel(), &e);
  }
  void Key(int key, Qt::KeyboardModifiers mods = Qt::NoModifier) {
    QKeyEvent e(QEvent::KeyPress, key, mods);
    QCoreApplication::sendEvent(&viewer, &e);
  }
  // A panel point inside the character at a document position (after a
  // paint): the last X left of where the caret would go past it.
  QPoint PointOf(int pos) {
    int y = 0, x = 0;
    EXPECT_TRUE(viewer.SectionList().FindCursorPos(pos, y, x));
    y += 6;
    QtMeasureCanvas canvas;
    int h, top, caret;
    for (int px = 0; px < viewer.PanelWidth(); ++px)
      if (viewer.SectionList().FindCursor(canvas, px, y, h, top, caret) > pos) return {px - 1, y - viewer.VScrollPosition()};
    ADD_FAILURE() << "no point for " << pos;
    return {};
  }
  int Find(const QString& text) { return viewer.SectionList().FindString(0, text, true); }
};

using test::DarkPixels;

TEST_F(ViewerFixture, LoadsLaysOutPaintsAndScrolls) {
  QString page = Write("page.htm", "<title>The title</title>" + Paragraphs(0, 40) + "<p><a name=Middle>mid</a>" +
                                       Paragraphs(40, 80));
  std::vector<bool> processing;
  viewer.OnProcessing = [&](THTMLViewer&, bool on) { processing.push_back(on); };
  viewer.LoadFromFile(page);
  EXPECT_EQ(processing, (std::vector<bool>{true, false}));
  EXPECT_EQ(viewer.GetDocumentTitle(), "The title");
  EXPECT_EQ(viewer.GetCurrentFile(), page);
  EXPECT_GT(viewer.DocHeight(), 1000);
  EXPECT_TRUE(viewer.VScrollBar()->isVisible());
  EXPECT_FALSE(viewer.HScrollBar()->isVisible());
  EXPECT_EQ(viewer.VScrollPosition(), 0);
  EXPECT_GT(DarkPixels(Shot()), 50);

  // Keyboard: one line, a page, the ends; never past the last screen.
  const int bottom = viewer.DocHeight() - viewer.PanelHeight();
  Key(Qt::Key_Down);
  EXPECT_EQ(viewer.VScrollPosition(), 16);
  Key(Qt::Key_PageDown);
  EXPECT_EQ(viewer.VScrollPosition(), 16 + viewer.PanelHeight() - 16);
  Key(Qt::Key_End);
  EXPECT_EQ(viewer.VScrollPosition(), bottom);
  Key(Qt::Key_Down);
  EXPECT_EQ(viewer.VScrollPosition(), bottom);
  EXPECT_EQ(viewer.VScrollBar()->value(), bottom);
  Key(Qt::Key_Home);
  EXPECT_EQ(viewer.VScrollPosition(), 0);
  viewer.VScrollBar()->setValue(100);  // the user drags the thumb
  EXPECT_EQ(viewer.VScrollPosition(), 100);

  // Anchors, with and without "#", in any case; a missing one changes nothing.
  QImage top = Shot();
  ASSERT_TRUE(viewer.PositionTo("#middle"));
  int y = viewer.AnchorY("MIDDLE");
  EXPECT_GT(y, 500);
  EXPECT_EQ(viewer.VScrollPosition(), y);
  EXPECT_NE(Shot(), top);
  EXPECT_FALSE(viewer.PositionTo("#nowhere"));
  EXPECT_EQ(viewer.VScrollPosition(), y);

  // Another width: the text reflows and the same place stays on top.
  TDocPosition before = viewer.Position();
  viewer.resize(250, 300);
  EXPECT_EQ(viewer.Position() >> 32, before >> 32);
  EXPECT_EQ(viewer.VScrollPosition(), viewer.AnchorY("MIDDLE"));

  // A missing file leaves the document as it was.
  try {
    viewer.LoadFromFile(page + "x");
    FAIL() << "no error";
  } catch (const EInOutError& e) {
    EXPECT_EQ(std::string(e.what()), "Can't locate file: " + (page + "x").toStdString());
  }
  EXPECT_EQ(viewer.GetDocumentTitle(), "The title");
  EXPECT_FALSE(viewer.Processing());

  // The same file again keeps its place; "file#anchor" goes to the anchor.
  viewer.ScrollTo(200);
  viewer.LoadFromFile(page);
  EXPECT_EQ(viewer.VScrollPosition(), 200);
  viewer.LoadFromString("<p>short");
  EXPECT_TRUE(viewer.GetCurrentFile().isEmpty());
  EXPECT_EQ(viewer.VScrollPosition(), 0);
  EXPECT_FALSE(viewer.VScrollBar()->isVisible());
  viewer.LoadFromFile(page + "#Middle");
  EXPECT_EQ(viewer.VScrollPosition(), viewer.AnchorY("middle"));
}

TEST_F(ViewerFixture, LinksHotSpotsAndHistory) {
  QString second = Write("second.htm", "<title>Second</title>" + Paragraphs(0, 40) + "<p><a name=part>Part</a>" +
                                           Paragraphs(40, 80));
  QString first = Write("first.htm", "<title>First</title><p><a href=\"second.htm#part\">Go there</a> and "
                                     "<a href=\"http://example.invalid/x.htm\">away</a> and "
                                     "<a href=\"notes.txt\">notes</a>" + Paragraphs(0, 40) +
                                     "<p><a href=#low>down</a><p><a name=low>low</a>" + Paragraphs(0, 40));
  Write("notes.txt", "plain");
  viewer.SetHistoryMaxCount(10);
  int historyChanges = 0;
  viewer.OnHistoryChange = [&](THTMLViewer&) { ++historyChanges; };
  QStringList covered, clicked;
  bool handle = false;
  viewer.OnHotSpotCovered = [&](THTMLViewer&, const QString& src) { covered << src; };
  viewer.OnHotSpotClick = [&](THTMLViewer&, const QString& src, bool& handled) {
    clicked << src;
    handled = handle;
  };
  viewer.LoadFromFile(first);
  Shot();  // hit testing uses the places of the last paint
  ASSERT_EQ(viewer.History().size(), 1);

  // Hovering reports each link once, and leaving it.
  QPoint onGo = PointOf(Find("Go"));
  Mouse(QEvent::MouseMove, onGo, Qt::NoButton);
  Mouse(QEvent::MouseMove, onGo + QPoint(1, 0), Qt::NoButton);
  Mouse(QEvent::MouseMove, PointOf(Find(" and ")), Qt::NoButton);
  EXPECT_EQ(covered, (QStringList{"second.htm#part", ""}));

  // Links to other schemes and other file kinds are the host's business.
  for (const char* word : {"away", "notes"}) {
    QPoint at = PointOf(Find(word));
    Mouse(QEvent::MouseButtonPress, at);
    Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
  }
  EXPECT_EQ(clicked, (QStringList{"http://example.invalid/x.htm", "notes.txt"}));
  EXPECT_EQ(viewer.GetCurrentFile(), first);

  // A handled click is not followed; an unhandled one loads the file at its anchor.
  handle = true;
  Mouse(QEvent::MouseButtonPress, onGo);
  Mouse(QEvent::MouseButtonRelease, onGo, Qt::NoButton);
  EXPECT_EQ(viewer.GetCurrentFile(), first);
  handle = false;
  Mouse(QEvent::MouseButtonPress, onGo);
  Mouse(QEvent::MouseButtonRelease, onGo, Qt::NoButton);
  EXPECT_EQ(clicked.last(), "second.htm#part");
  EXPECT_EQ(viewer.HotSpotURL(), "second.htm#part");
  EXPECT_EQ(viewer.GetCurrentFile(), second);
  EXPECT_EQ(viewer.VScrollPosition(), viewer.AnchorY("part"));
  ASSERT_EQ(viewer.History(), (QStringList{second, first}));
  EXPECT_EQ(viewer.HistoryTitles(), (QStringList{"Second", "First"}));

  // Back and forward keep each entry's place and add no entries.
  int partY = viewer.VScrollPosition();
  viewer.SetHistoryIndex(1);
  EXPECT_EQ(viewer.GetCurrentFile(), first);
  EXPECT_EQ(viewer.VScrollPosition(), 0);
  viewer.SetHistoryIndex(0);
  EXPECT_EQ(viewer.GetCurrentFile(), second);
  EXPECT_EQ(viewer.VScrollPosition(), partY);
  EXPECT_EQ(viewer.History().size(), 2);

  // Going back then elsewhere drops the newer entries.
  viewer.SetHistoryIndex(1);
  Shot();
  QPoint down = PointOf(Find("down"));
  viewer.ScrollTo(down.y() - 6);
  Shot();
  Mouse(QEvent::MouseButtonPress, PointOf(Find("down")));
  Mouse(QEvent::MouseButtonRelease, PointOf(Find("down")), Qt::NoButton);
  EXPECT_EQ(viewer.VScrollPosition(), viewer.AnchorY("low"));
  ASSERT_EQ(viewer.History(), (QStringList{first, first}));
  EXPECT_EQ(viewer.HistoryIndex(), 0);

  // An entry whose file is gone raises and moves nothing.
  viewer.LoadFromFile(second);
  std::filesystem::remove(first.toStdString());
  EXPECT_THROW(viewer.SetHistoryIndex(1), EInOutError);
  EXPECT_EQ(viewer.HistoryIndex(), 0);
  EXPECT_EQ(viewer.GetCurrentFile(), second);

  // Lowering the limit empties the history, reported once.
  int changes = historyChanges;
  viewer.SetHistoryMaxCount(1);
  EXPECT_TRUE(viewer.History().isEmpty());
  EXPECT_EQ(historyChanges, changes + 1);
  viewer.SetHistoryMaxCount(0);
  EXPECT_EQ(historyChanges, changes + 1);
}

TEST_F(ViewerFixture, SelectionDragCopiesToClipboard) {
  viewer.LoadFromFile(Write("sel.htm", "<p>alpha beta gamma delta<p>second <a href=x.htm>linked</a> line"));
  Shot();
  int b = Find("beta"), d = Find("delta");
  QStringList clicked;
  viewer.OnHotSpotClick = [&](THTMLViewer&, const QString& src, bool& handled) {
    clicked << src;
    handled = true;
  };
  Mouse(QEvent::MouseButtonPress, PointOf(b));
  Mouse(QEvent::MouseMove, PointOf(d));
  Mouse(QEvent::MouseButtonRelease, PointOf(d), Qt::NoButton);
  EXPECT_EQ(viewer.SelText(), "beta gamma ");
  EXPECT_EQ(viewer.SelLength(), 11);
  QGuiApplication::clipboard()->clear();
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "beta gamma ");

  // Across paragraphs, and a drag that ends on a link does not follow it.
  int l = Find("linked");
  Mouse(QEvent::MouseButtonPress, PointOf(d));
  Mouse(QEvent::MouseMove, PointOf(l + 3));
  Mouse(QEvent::MouseButtonRelease, PointOf(l + 3), Qt::NoButton);
  EXPECT_EQ(viewer.SelText(), "delta\r\n\r\nsecond lin");
  EXPECT_TRUE(clicked.isEmpty());

  // NoSelect empties the selection and keeps drags from making one.
  viewer.SetNoSelect(true);
  EXPECT_EQ(viewer.SelLength(), 0);
  Mouse(QEvent::MouseButtonPress, PointOf(b));
  Mouse(QEvent::MouseMove, PointOf(d));
  Mouse(QEvent::MouseButtonRelease, PointOf(d), Qt::NoButton);
  EXPECT_EQ(viewer.SelLength(), 0);
}

TEST_F(ViewerFixture, PageBitmapThroughZoom) {
  viewer.LoadFromString(QString::fromStdString("<body bgcolor=#0000ff><h1>Big heading</h1>" + Paragraphs(0, 10)));
  QImage plain = viewer.MakePageBitmap(200, 150, false, false, 1);
  ASSERT_FALSE(plain.isNull());
  EXPECT_EQ(plain.size(), QSize(200, 150));
  EXPECT_EQ(plain.pixelColor(199, 149), QColor(Qt::white));  // no background asked for
  EXPECT_GT(DarkPixels(plain), 20);
  QImage withBackground = viewer.MakePageBitmap(200, 150, true, true, 0);
  ASSERT_FALSE(withBackground.isNull());
  EXPECT_EQ(withBackground.format(), QImage::Format_Indexed8);
  EXPECT_LE(withBackground.colorCount(), 256);
  QColor corner = withBackground.pixelColor(199, 149);
  EXPECT_GT(corner.blue(), 200);
  EXPECT_LT(corner.red(), 60);

  // Refused while a load runs.
  bool tried = false;
  viewer.OnProcessing = [&](THTMLViewer& v, bool on) {
    if (on && !tried) {
      tried = true;
      EXPECT_TRUE(v.MakePageBitmap(10, 10, false, false, 0).isNull());
    }
  };
  viewer.LoadFromString("<p>x");
  EXPECT_TRUE(tried);
}

TEST_F(ViewerFixture, PageBitmapShowsWhatCrossesTheFootOfTheScreen) {
  // The picture is of the first screen: a line it cuts is drawn cut, not
  // put off to a next page as on paper.
  QImage black(300, 400, QImage::Format_RGB32);
  black.fill(Qt::black);
  const QString picture = QString::fromStdString((dir.path() / "tall.png").string());
  ASSERT_TRUE(black.save(picture));
  viewer.SetViewImages(true);
  viewer.LoadFromString("<h1>Heading</h1>" + QString::fromStdString(Paragraphs(0, 6)) + "<p><img src=\"" +
                        picture + "\" width=300 height=400>");
  const QImage page = viewer.MakePageBitmap(800, 600, false, false, 1);
  ASSERT_FALSE(page.isNull());
  int blackRows = 0;
  for (int y = 0; y < page.height(); ++y) blackRows += page.pixelColor(150, y) == QColor(Qt::black);
  EXPECT_GT(blackRows, 50);
  EXPECT_LT(blackRows, 400);
}

TEST_F(ViewerFixture, ImagesTextFilesAndDefaults) {
  // A picture whose name would break the markup it is shown through.
  QImage red(40, 30, QImage::Format_RGB32);
  red.fill(Qt::red);
  QString picture = QString::fromStdString((dir.path() / "R&D \"q\".png").string());
  ASSERT_TRUE(red.save(picture));
  viewer.SetHistoryMaxCount(5);
  viewer.LoadImage(picture);
  EXPECT_EQ(viewer.DocumentKind(), kImageDocument);
  auto* section = dynamic_cast<TSection*>(viewer.SectionList().Sections.at(0).get());
  ASSERT_TRUE(section && section->Images.Items.size() == 1);
  EXPECT_EQ(section->Images.Items[0].Source, picture);
  auto redPixels = [&] {
    QImage shot = Shot();
    int n = 0;
    for (int y = 0; y < shot.height(); ++y)
      for (int x = 0; x < shot.width(); ++x) n += shot.pixelColor(x, y) == QColor(Qt::red);
    return n;
  };
  EXPECT_EQ(redPixels(), 0);  // images are off by default
  viewer.SetViewImages(true);
  EXPECT_EQ(redPixels(), 40 * 30);
  EXPECT_EQ(viewer.SectionList().BitmapList.Count(), 1);

  // A text file shows its markup as text, one line per line.
  QString text = Write("notes.txt", "first <b>line</b>\nsecond\n\nfourth\n");
  viewer.LoadTextFile(text);
  EXPECT_EQ(viewer.DocumentKind(), kTextDocument);
  viewer.SelectAll();
  EXPECT_EQ(viewer.SelText(), "first <b>line</b>\r\nsecond\r\n\r\nfourth\r\n");
  EXPECT_EQ(viewer.History(), (QStringList{text, picture}));

  // Pictures the host hands over.
  QStringList asked;
  viewer.OnBitmapRequest = [&](const QString& name, QImage& bitmap, Color&) {
    asked << name;
    bitmap = red.copy(0, 0, 10, 10);
  };
  viewer.LoadFromString("<img src=\"virtual.gif\"><img src=virtual.gif>");
  EXPECT_EQ(asked, QStringList{"virtual.gif"});  // the second comes from the cache
  EXPECT_EQ(redPixels(), 2 * 10 * 10);

  // The default size lays the document out again; Clear empties everything.
  viewer.LoadFromString(QString::fromStdString(Paragraphs(0, 30)));
  int height = viewer.DocHeight();
  viewer.SetDefFontSize(24);
  EXPECT_GT(viewer.DocHeight(), height * 3 / 2);
  viewer.Clear();
  EXPECT_EQ(viewer.DocHeight(), 0);
  EXPECT_FALSE(viewer.VScrollBar()->isVisible());
  EXPECT_TRUE(viewer.GetCurrentFile().isEmpty());
  EXPECT_EQ(DarkPixels(Shot()), 0);
}

TEST_F(ViewerFixture, FormSubmissionIsReportedAfterTheClick) {
  QString action, method;
  QStringList results;
  viewer.OnFormSubmit = [&](THTMLViewer&, const QString& a, const QString& m, const QStringList& r) {
    action = a;
    method = m;
    results = r;
  };
  viewer.LoadFromString("<form action=go.cgi method=post><input name=q value=abc>"
                        "<input type=submit name=s value=Send></form>");
  TButtonFormControlObj* button = nullptr;
  for (TFormControlObj* c : viewer.SectionList().AllControls())
    if (auto* b = dynamic_cast<TButtonFormControlObj*>(c)) button = b;
  ASSERT_NE(button, nullptr);
  button->Click();
  EXPECT_TRUE(action.isEmpty());  // not from inside the control's click
  QCoreApplication::processEvents();
  EXPECT_EQ(action, "go.cgi");
  EXPECT_EQ(method.toUpper(), "POST");
  EXPECT_EQ(results, (QStringList{"q=abc", "s=Send"}));
}

// Controls on screen show whole: a check box or radio button its whole
// indicator, a list box of SIZE=3 three rows, a text area of ROWS=3 three
// lines; the widget is as large as the layout made room for.
TEST_F(ViewerFixture, FormControlsShowWhole) {
  viewer.resize(600, 400);
  viewer.LoadFromString("<form>x<input type=checkbox checked>y<input type=radio checked>z"
                        "<select name=s size=3><option>Rouge<option>Vert<option>Bleu<option>Jaune</select>"
                        "<textarea rows=3 cols=12>1\n2\n3\n4\n5</textarea></form>");
  Shot();
  auto controls = viewer.SectionList().AllControls();
  ASSERT_EQ(controls.size(), 4u);
  for (TFormControlObj* c : controls) {
    ASSERT_TRUE(c->Widget()->isVisible());
    EXPECT_EQ(c->Widget()->size(), QSize(c->Width, c->Height));
  }
  for (int i : {0, 1}) {
    QWidget* w = controls[size_t(i)]->Widget();
    QStyleOptionButton opt;
    opt.initFrom(w);
    QRect indicator = w->style()->subElementRect(i == 0 ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator,
                                                 &opt, w);
    EXPECT_TRUE(w->rect().contains(indicator)) << i;
  }
  auto* list = qobject_cast<QListWidget*>(controls[2]->Widget());
  ASSERT_NE(list, nullptr);
  EXPECT_TRUE(list->viewport()->rect().contains(list->visualItemRect(list->item(2))));
  const int textMargin = list->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, list) + 1;
  EXPECT_LE(list->fontMetrics().horizontalAdvance("Rouge") + 2 * textMargin, list->viewport()->width());
  auto* memo = qobject_cast<QPlainTextEdit*>(controls[3]->Widget());
  ASSERT_NE(memo, nullptr);
  QTextCursor third(memo->document()->findBlockByNumber(2));
  EXPECT_LE(memo->cursorRect(third).bottom(), memo->viewport()->height());
}

TEST_F(ViewerFixture, DraggingBelowTheWindowScrollsAndSelects) {
  viewer.LoadFromString(QString::fromStdString(Paragraphs(0, 80)));
  Shot();
  Mouse(QEvent::MouseButtonPress, PointOf(Find("number 0")));
  Mouse(QEvent::MouseMove, QPoint(50, viewer.PanelHeight() + 40));
  QElapsedTimer wait;
  wait.start();
  while (viewer.VScrollPosition() < 8 * 16 * 2 && wait.elapsed() < 5000) QCoreApplication::processEvents();
  EXPECT_GE(viewer.VScrollPosition(), 8 * 16 * 2);  // far below: eight lines a tick
  Mouse(QEvent::MouseButtonRelease, QPoint(50, viewer.PanelHeight() + 40), Qt::NoButton);
  int stopped = viewer.VScrollPosition();
  EXPECT_TRUE(viewer.SelText().startsWith("number 0 of the page."));
  EXPECT_TRUE(viewer.SelText().contains("Paragraph number 5 "));
  wait.restart();
  while (wait.elapsed() < 300) QCoreApplication::processEvents();
  EXPECT_EQ(viewer.VScrollPosition(), stopped);
}

TEST_F(ViewerFixture, HostilePagesLoadAndPaint) {
  static const char kBroken[] = "nul\0in\0text <blink>unknown</blink> <b><i>x</b>y</i>z </td></tr></table></b> end";
  std::string deep;
  for (int i = 0; i < 10000; ++i) deep += "<table><tr><td><ul><li><font size=+1>";
  const std::string pages[] = {
      deep + "bottom",
      std::string(kBroken, sizeof kBroken - 1),
      "<table><tr><td colspan=100000000 rowspan=100000000>wide<td>b</table><img src=p width=100000 height=100000>",
      "<p>" + std::string(300000, 'w') + " <pre>" + std::string(100000, 'p') + "</pre>",
  };
  for (const std::string& page : pages) {
    viewer.LoadFromString(QString::fromUtf8(page.data(), qsizetype(page.size())));
    Shot();
    viewer.SelectAll();
    viewer.ScrollTo(viewer.DocHeight() / 2);
    Shot();
    viewer.resize(250, 200);
    Shot();
    viewer.resize(400, 300);
    EXPECT_GT(viewer.SelLength(), 0);
  }
  viewer.LoadFromString(QString::fromStdString(deep + "bottom"));
  viewer.SelectAll();
  EXPECT_TRUE(viewer.SelText().contains("bottom"));
  viewer.LoadFromString(QString::fromUtf8(pages[1].data(), qsizetype(pages[1].size())));
  viewer.SelectAll();
  EXPECT_EQ(viewer.SelText().simplified().toStdString(), "nulintext unknown xyz end");
}

// Every number a page can give at its largest: the page is laid out within
// bounds, its text is all there, and it paints from top to bottom.
TEST_F(ViewerFixture, HostileNumbersLoadAndPaint) {
  const std::string n = "2147483647";
  const std::string page =
      "<p>before<table cellspacing=" + n + " cellpadding=" + n + " border=" + n + " width=" + n + "><tr><td colspan=" +
      n + " rowspan=" + n + " width=" + n + ">cell</table><ol start=" + n + "><li>a<li>b</ol><font size=+" +
      n + ">big</font><hr size=" + n + " width=" + n + "><form><input size=" + n + " maxlength=" + n +
      "><select size=" + n + "><option>o</select><textarea rows=" + n + " cols=" + n +
      ">t</textarea></form><p>after";
  viewer.LoadFromString(QString::fromStdString(page));
  EXPECT_GT(test::DarkPixels(Shot()), 200);  // the first screen shows its text, not one letter
  EXPECT_LT(viewer.DocHeight(), 4 * kMaxAttrSize);
  viewer.SelectAll();
  for (const char* word : {"before", "cell", "a", "b", "big", "after"})
    EXPECT_TRUE(viewer.SelText().contains(word)) << word;
  viewer.ScrollTo(viewer.DocHeight());
  EXPECT_GT(test::DarkPixels(Shot()), 0);
  for (QWidget* w : viewer.PaintPanel()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    EXPECT_LE(std::max(w->width(), w->height()), kMaxAttrSize);
}

TEST_F(ViewerFixture, LinkPathsFollowBaseOrTheCurrentFile) {
  viewer.LoadFromString("<base href=\"/docs/sub/index.htm\">");
  EXPECT_EQ(viewer.ExpandName(" a.htm "), "/docs/sub/a.htm");
  EXPECT_EQ(viewer.ExpandName("../b.htm"), "/docs/b.htm");
  EXPECT_EQ(viewer.ExpandName("/abs/c.htm"), "/abs/c.htm");
  EXPECT_EQ(viewer.ExpandName("file:///x/y.htm"), "/x/y.htm");
  viewer.LoadFromString("<base href=\"http://host/dir/\">");
  EXPECT_EQ(viewer.ExpandName("a.htm"), "http://host/dir/a.htm");
  viewer.LoadFromString("<base href=DosPath>");
  EXPECT_EQ(viewer.ExpandName("rel/a.htm"), "rel/a.htm");
  QString page = Write("in/page.htm", "<p>x");
  viewer.LoadFromFile(page);
  EXPECT_EQ(viewer.ExpandName("../up.htm"), QString::fromStdString((dir.path() / "up.htm").string()));
  viewer.SetBase("/elsewhere/");  // fills only an empty base
  EXPECT_EQ(viewer.Base(), "/elsewhere/");
  viewer.SetBase("/again/");
  EXPECT_EQ(viewer.Base(), "/elsewhere/");
}

// The ink of each line of text in a picture: its left- and rightmost dark
// columns, top to bottom.
std::vector<std::pair<int, int>> InkOfLines(const QImage& img) {
  std::vector<std::pair<int, int>> lines;
  bool inLine = false;
  for (int y = 0; y < img.height(); ++y) {
    int left = img.width(), right = -1;
    for (int x = 0; x < img.width(); ++x)
      if (qGray(img.pixel(x, y)) < 128) {
        left = std::min(left, x);
        right = std::max(right, x);
      }
    if (right < 0) {
      inLine = false;
      continue;
    }
    if (!inLine) lines.emplace_back(left, right);
    lines.back() = {std::min(lines.back().first, left), std::max(lines.back().second, right)};
    inLine = true;
  }
  return lines;
}

// A synopsis keeps its columns: lines of as many characters end at one X
// whatever markup their words carry.
TEST_F(ViewerFixture, PreformattedMarkupKeepsTheColumns) {
  viewer.LoadFromString(
      "<pre>SELECT <em class=\"replaceable\"><code>expression</code></em> [, <b>...</b>] |\n"
      "SELECT <i>xxxxxxxxxx</i> [, <a href=\"x.htm\">...</a>] |\n"
      "SELECT <tt>xxxxxxxxxx</tt> [, <strong>...</strong>] |\n"
      "SELECT xxxxxxxxxx [, ...] |</pre>");
  const auto lines = InkOfLines(Shot());
  ASSERT_EQ(lines.size(), 4u);
  for (size_t i = 1; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].first, lines[0].first) << "line " << i;
    EXPECT_EQ(lines[i].second, lines[0].second) << "line " << i;
  }
}

// A word wider than the window widens the page: the horizontal bar reaches
// its last letter, with the page's margin after it.
TEST_F(ViewerFixture, LongWordIsReachedByTheHorizontalBar) {
  viewer.LoadFromString("<p>start " + QString(150, 'W') + " end");
  ASSERT_TRUE(viewer.HScrollBar()->isVisible());
  for (int i = 0; i < 400; ++i) Key(Qt::Key_Right);
  ASSERT_EQ(viewer.HScrollPosition(), viewer.HScrollBar()->maximum());
  QImage shot = Shot();
  int last = -1;
  for (int x = 0; x < shot.width(); ++x)
    for (int y = 0; y < 60 && last < x; ++y)
      if (qGray(shot.pixel(x, y)) < 100) last = x;
  EXPECT_GT(last, shot.width() / 2);
  EXPECT_LT(last, shot.width() - 5);
}

TEST_F(ViewerFixture, WideAndVeryTallDocuments) {
  // A line wider than the window: the horizontal bar, moved by the arrow keys.
  viewer.LoadFromString(QString::fromStdString("<pre>" + std::string(200, 'x') + "</pre>"));
  ASSERT_TRUE(viewer.HScrollBar()->isVisible());
  EXPECT_FALSE(viewer.VScrollBar()->isVisible());
  EXPECT_GT(viewer.MaxHorz(), 1000);
  QImage left = Shot();
  Key(Qt::Key_Right);
  EXPECT_EQ(viewer.HScrollPosition(), 15);
  EXPECT_NE(Shot(), left);
  for (int i = 0; i < 200; ++i) Key(Qt::Key_Right);
  EXPECT_EQ(viewer.HScrollPosition(), viewer.HScrollBar()->maximum());
  EXPECT_EQ(viewer.HScrollBar()->maximum(), viewer.MaxHorz() + 20 - viewer.PanelWidth());
  Key(Qt::Key_Left);
  EXPECT_EQ(viewer.HScrollPosition(), viewer.HScrollBar()->maximum() - 15);

  // One section far taller than 65,535 pixels keeps its place across a re-layout.
  std::string lines;
  for (int i = 0; i < 5000; ++i) lines += "x\n";
  viewer.LoadFromString(QString::fromStdString("<pre>" + lines + "</pre>"));
  ASSERT_GT(viewer.DocHeight(), 90000 + 300);
  viewer.ScrollTo(90000);
  TDocPosition pos = viewer.Position();
  EXPECT_EQ(pos >> 32, 0);
  EXPECT_EQ(pos & 0xFFFFFFFF, 90000);
  viewer.ScrollTo(0);
  viewer.resize(350, 300);
  viewer.SetPosition(pos);
  EXPECT_EQ(viewer.VScrollPosition(), 90000);
  EXPECT_EQ(viewer.VScrollBar()->value(), 90000);
}

}  // namespace
}  // namespace qlon::viewer
