#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPointer>

#include "FramView.h"
#include "QtCanvas.h"
#include "TempRoot.h"
#include "vwPrint.h"

namespace qlon::viewer {
namespace {

TEST(FrameSizes, ParseAndShareOutTheExtent) {
  struct Case {
    const char* text;
    int extent;
    std::vector<int> sizes;
  } cases[] = {
      {"100,*,2*", 500, {100, 133, 266}},  // the remaining pixel is not given out
      {"600,400", 500, {300, 200}},        // pixels beyond the extent scale down
      {"600,*", 500, {500, 0}},            // ... and shares get nothing
      {"25%,*,50%", 400, {100, 100, 200}},
      {"50%,50%,100", 300, {100, 100, 100}},
      {"80%,80%", 100, {50, 50}},  // percentages share what is left
      {" 3* , abc, 10", 100, {90, 10}},
      {"*", 0, {0}},
      {"", 300, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(FrameSizes(ParseFrameSizes(c.text), c.extent), c.sizes) << c.text;

  EXPECT_EQ(ParseFrameSizes("*,3*,20%,99999,2000%,0*"), (std::vector<int16_t>{-1, -3, -120, 5000, -1000, -1}));
  QStringList many;
  for (int i = 0; i < 25; ++i) many << "10";
  EXPECT_EQ(ParseFrameSizes(many.join(',')).size(), size_t(kMaxFrameSizes));
}

struct FrameFixture : ::testing::Test {
  test::TempDir dir;
  TFrameViewer fv;

  FrameFixture() {
    fv.resize(600, 400);
    fv.SetDefFontName("DejaVu Sans");
    fv.show();
  }
  QString Write(const std::string& name, const std::string& html) {
    test::WriteFileBytes(dir.path() / name, html);
    return Path(name);
  }
  QString Path(const std::string& name) const { return QString::fromStdString((dir.path() / name).string()); }
  TFrame* Frame(const char* name) { return fv.CurFrameSet()->FindFrame(name); }
  static bool Shows(THTMLViewer* v, const QString& text) {
    return v && v->SectionList().FindString(0, text, true) >= 0;
  }
  static void FreeRetired() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

  // Clicks the first character of a text of a viewer's document.
  static void Click(THTMLViewer& v, const QString& text) {
    v.PaintPanel()->grab();  // hit testing uses the places of the last paint
    int pos = v.SectionList().FindString(0, text, true);
    ASSERT_GE(pos, 0) << text.toStdString();
    int y = 0, x = 0;
    ASSERT_TRUE(v.SectionList().FindCursorPos(pos, y, x));
    y += 6;
    QtMeasureCanvas canvas;
    int h, top, caret;
    QPoint at(-1, -1);
    for (int px = 0; px < v.PanelWidth() && at.x() < 0; ++px)
      if (v.SectionList().FindCursor(canvas, px, y, h, top, caret) > pos) at = QPoint(px - 1, y - v.VScrollPosition());
    ASSERT_GE(at.x(), 0);
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent e(type, at, v.PaintPanel()->mapToGlobal(at), Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(v.PaintPanel(), &e);
    }
  }
  static void Mouse(QWidget* w, QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent e(type, at, w->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons,
                  Qt::NoModifier);
    QCoreApplication::sendEvent(w, &e);
  }

  void WriteSite() {
    Write("index.htm",
          "<html><head><title>Site</title></head>\n<frameset cols=\"150,*\">\n"
          "<frame name=\"nav\" src=\"nav.htm\" scrolling=no>\n<frame name=\"Main\" src=\"main.htm\">\n"
          "<noframes>No frames here</noframes></frameset></html>");
    Write("nav.htm",
          "<title>Nav</title><p><a href=\"page2.htm\" target=\"main\">Two</a>"
          "<p><a href=\"plain.htm\" target=\"_top\">Top</a>"
          "<p><a href=\"page2.htm\" target=\"elsewhere\">New</a>"
          "<p><a href=\"page2.htm\">Self</a><p><a href=\"gone.htm\" target=main>Gone</a>");
    Write("main.htm", "<title>Main</title><p>Main page");
    Write("page2.htm", "<title>Second</title><p>Second page");
    Write("plain.htm", "<title>Plain</title><p>Plain page");
  }
};

TEST_F(FrameFixture, TwoColumnsLoadAndLayOut) {
  WriteSite();
  std::vector<bool> busy;
  fv.OnProcessing = [&](TFrameViewer&, bool on) { busy.push_back(on); };
  fv.LoadFromFile(Path("index.htm"));
  EXPECT_EQ(busy, (std::vector<bool>{true, false}));
  TFrameSet* set = fv.CurFrameSet();
  ASSERT_EQ(set->Frames.size(), 2u);
  EXPECT_FALSE(set->Rows);
  EXPECT_EQ(set->DimF, (std::vector<int>{150, 450}));
  TFrame* nav = Frame("NAV");
  TFrame* main = Frame("main");
  ASSERT_TRUE(nav && main);
  EXPECT_EQ(nav->geometry(), QRect(0, 0, 150, 400));
  EXPECT_EQ(main->geometry(), QRect(150, 0, 450, 400));
  EXPECT_TRUE(nav->NoScroll);
  EXPECT_EQ(nav->Viewer->ScrollBars(), ssNone);
  EXPECT_TRUE(Shows(main->Viewer, "Main page"));
  EXPECT_EQ(main->Viewer->GetCurrentFile(), Path("main.htm"));
  // Two viewers and none focused: no active viewer, nothing to print.
  EXPECT_EQ(fv.ActiveViewer(), nullptr);
  EXPECT_EQ(fv.Print(1, 1), 0);

  // Resizing the viewer sizes the frames again.
  fv.resize(800, 300);
  EXPECT_EQ(main->geometry(), QRect(150, 0, 650, 300));
}

TEST_F(FrameFixture, LinksGoToTheirTargets) {
  WriteSite();
  QStringList blank, targeted;
  fv.OnHotSpotTargetClick = [&](THTMLViewer&, const QString& target, const QString& url, bool&) {
    targeted << target + " " + url;
  };
  fv.LoadFromFile(Path("index.htm"));
  THTMLViewer* navViewer = Frame("nav")->Viewer;
  THTMLViewer* mainViewer = Frame("main")->Viewer;

  Click(*navViewer, "Two");  // a named frame
  EXPECT_TRUE(Shows(mainViewer, "Second page"));
  EXPECT_TRUE(Shows(navViewer, "Two"));
  EXPECT_EQ(targeted, (QStringList{"main page2.htm"}));

  Click(*navViewer, "New");  // no such frame and no handler: nothing
  EXPECT_TRUE(Shows(navViewer, "Two"));
  fv.OnBlankWindowRequest = [&](THTMLViewer&, const QString& target, const QString& url) {
    blank << target + " " + url;
  };
  Click(*navViewer, "New");
  EXPECT_EQ(blank, (QStringList{"elsewhere page2.htm"}));

  // A missing file named by a link: an error for the user, the frames stay.
  EXPECT_THROW(Frame("main")->FrameLoad(Path("gone.htm"), {}), EInOutError);
  EXPECT_TRUE(Shows(mainViewer, "Second page"));

  Click(*navViewer, "Self");  // no target: the clicked frame
  EXPECT_TRUE(Shows(Frame("nav")->Viewer, "Second page"));
  navViewer = Frame("nav")->Viewer;

  Write("nav2.htm", "<p><a href=\"plain.htm\" target=\"_top\">Top</a>");
  Frame("nav")->FrameLoad(Path("nav2.htm"), {});
  Click(*Frame("nav")->Viewer, "Top");  // the whole viewer
  FreeRetired();
  ASSERT_EQ(fv.CurFrameSet()->Frames.size(), 1u);
  EXPECT_TRUE(Shows(fv.ActiveViewer(), "Plain page"));
  EXPECT_EQ(fv.CurrentFile(), Path("plain.htm"));
}

TEST_F(FrameFixture, NestedRowsMissingSourceAndParentTarget) {
  Write("index.htm",
        "<frameset rows=\"20%,*\"><frame src=\"top.htm\">"
        "<frameset cols=\"*,*\"><frame name=left src=\"sub/a.htm\"><frame name=right src=\"nothere.htm\"></frameset>"
        "</frameset>");
  Write("top.htm", "<p>Top row");
  Write("sub/a.htm", "<p>Left <a href=\"../plain.htm\" target=_parent>up</a>");
  Write("plain.htm", "<p>Plain page");
  fv.LoadFromFile(Path("index.htm"));
  TFrameSet* set = fv.CurFrameSet();
  EXPECT_TRUE(set->Rows);
  ASSERT_EQ(set->List.size(), 2u);
  EXPECT_EQ(set->List[0]->height(), 80);
  EXPECT_EQ(set->List[1]->geometry(), QRect(0, 80, 600, 320));
  ASSERT_EQ(set->Frames.size(), 3u);
  EXPECT_EQ(Frame("right")->geometry(), QRect(300, 0, 300, 320));
  // The missing source shows the error page; its neighbours are untouched.
  THTMLViewer* right = Frame("right")->Viewer;
  ASSERT_TRUE(right);
  EXPECT_TRUE(Shows(right, "Can't load"));
  EXPECT_TRUE(Shows(right, "nothere.htm"));
  EXPECT_TRUE(Shows(Frame("left")->Viewer, "Left"));

  // "_parent" from a set of the top set: the whole viewer loads the link.
  Click(*Frame("left")->Viewer, "up");
  FreeRetired();
  ASSERT_EQ(fv.CurFrameSet()->Frames.size(), 1u);
  EXPECT_TRUE(Shows(fv.ActiveViewer(), "Plain page"));
}

TEST_F(FrameFixture, FramesetDocumentsInsideFrames) {
  Write("index.htm", "<frameset cols=\"*,*\"><frame name=a src=\"inner.htm\"><frame src=\"p.htm\"></frameset>");
  Write("inner.htm", "<frameset rows=\"*,*\"><frame name=x src=\"p.htm\"><frame name=y src=\"q.htm\"></frameset>");
  Write("p.htm", "<p>Page P <a href=\"q.htm\" target=_parent>parent</a>");
  Write("q.htm", "<p>Page Q");
  fv.LoadFromFile(Path("index.htm"));
  TFrame* a = Frame("a");
  ASSERT_TRUE(a->FrameSet);
  EXPECT_EQ(a->Viewer, nullptr);
  EXPECT_EQ(fv.CurFrameSet()->Frames.size(), 4u);
  EXPECT_TRUE(Shows(Frame("y")->Viewer, "Page Q"));
  EXPECT_EQ(Frame("y")->mapTo(&fv, QPoint(0, 0)), QPoint(0, 200));

  // "_parent" inside the nested set: the frame holding that set loads it.
  Click(*Frame("x")->Viewer, "parent");
  FreeRetired();
  EXPECT_EQ(a->FrameSet, nullptr);
  EXPECT_TRUE(Shows(a->Viewer, "Page Q"));
  EXPECT_EQ(Frame("x"), nullptr);  // the nested frames left the name list
  EXPECT_EQ(fv.CurFrameSet()->Frames.size(), 2u);
}

TEST_F(FrameFixture, ManyChildrenAndDeepNesting) {
  std::string frames;
  for (int i = 0; i < 25; ++i) frames += "<frame name=f" + std::to_string(i) + " src=\"p.htm\">";
  Write("p.htm", "<p>P");
  std::string cols = "*";
  for (int i = 1; i < 25; ++i) cols += ",*";
  Write("many.htm", "<frameset cols=\"" + cols + "\">" + frames + "</frameset>");
  fv.resize(1000, 100);
  fv.LoadFromFile(Path("many.htm"));
  TFrameSet* set = fv.CurFrameSet();
  ASSERT_EQ(set->List.size(), 25u);
  EXPECT_EQ(set->Dim.size(), 25u);
  int total = 0;
  for (int d : set->DimF) {
    EXPECT_GT(d, 0);
    total += d;
  }
  EXPECT_LE(total, 1000);
  EXPECT_EQ(Frame("f24")->x() + Frame("f24")->width(), total);

  // Three sizes and one frame: two more, empty frames.
  Write("three.htm", "<frameset rows=\"*,*,*\"><frame src=\"p.htm\"></frameset>");
  fv.LoadFromFile(Path("three.htm"));
  ASSERT_EQ(fv.CurFrameSet()->Frames.size(), 3u);
  EXPECT_TRUE(fv.CurFrameSet()->Frames[0]->Viewer);
  EXPECT_FALSE(fv.CurFrameSet()->Frames[1]->Viewer);
  EXPECT_FALSE(fv.CurFrameSet()->Frames[2]->Viewer);

  // A frameset showing itself: five documents deep the frames stay empty.
  Write("self.htm", "<frameset cols=\"*\"><frame src=\"self.htm\"></frameset>");
  fv.LoadFromFile(Path("self.htm"));
  int depth = 0;
  TFrame* f = fv.CurFrameSet()->Frames.empty() ? nullptr : dynamic_cast<TFrame*>(fv.CurFrameSet()->List[0]);
  while (f && f->FrameSet) {
    ++depth;
    f = dynamic_cast<TFrame*>(f->FrameSet->List[0]);
  }
  EXPECT_EQ(depth, 4);
  ASSERT_TRUE(f);
  EXPECT_FALSE(f->Viewer);
  EXPECT_FALSE(f->FrameSet);

  // Frame sets nested deeply inside one document are read and sized.
  std::string deep;
  for (int i = 0; i < 40; ++i) deep += "<frameset rows=\"*\">";
  deep += "<frame name=leaf src=\"p.htm\">";
  for (int i = 0; i < 40; ++i) deep += "</frameset>";
  Write("deep.htm", deep);
  fv.LoadFromFile(Path("deep.htm"));
  ASSERT_TRUE(Frame("leaf"));
  EXPECT_TRUE(Shows(Frame("leaf")->Viewer, "P"));
}

// A set shows at most kMaxFramesPerSet frames, and a tree holds at most
// kMaxFrames frames and sets, documents shown in frames included; what is
// built is sized within the window and freed with its tree.
TEST_F(FrameFixture, FramesOfASetAndOfATreeAreBounded) {
  Write("p.htm", "<p>P");
  std::string cols = "*", frames;
  for (int i = 1; i < 65536; ++i) cols += ",*";
  for (int i = 0; i < 65536; ++i) frames += "<frame name=f" + std::to_string(i) + " src=\"p.htm\">";
  Write("many.htm", "<frameset cols=\"" + cols + "\">" + frames + "</frameset>");
  fv.resize(800, 600);
  fv.LoadFromFile(Path("many.htm"));
  TFrameSet* set = fv.CurFrameSet();
  ASSERT_EQ(set->List.size(), size_t(kMaxFramesPerSet));
  EXPECT_EQ(set->Frames.size(), size_t(kMaxFramesPerSet));
  EXPECT_EQ(set->Members, kMaxFramesPerSet);
  for (TFrame* f : set->Frames) {
    EXPECT_TRUE(fv.rect().contains(f->geometry()) && f->width() > 0) << f->WinName.toStdString();
    EXPECT_TRUE(Shows(f->Viewer, "P")) << f->WinName.toStdString();
  }

  // Each frame showing the set again, four documents deep: the tree fills
  // up to its bound, and the frames past it stay empty.
  std::string self;
  for (int i = 0; i < kMaxFramesPerSet; ++i) self += "<frame src=\"self.htm\">";
  Write("self.htm", "<frameset rows=\"" + cols.substr(0, 2 * kMaxFramesPerSet - 1) + "\">" + self + "</frameset>");
  fv.LoadFromFile(Path("self.htm"));
  EXPECT_EQ(fv.CurFrameSet()->Members, kMaxFrames);
  EXPECT_LT(fv.CurFrameSet()->Frames.size(), size_t(kMaxFrames));

  // Another document: the old trees are freed (all but the top set and its frame).
  fv.LoadFromFile(Path("p.htm"));
  FreeRetired();
  EXPECT_EQ(fv.CurFrameSet()->Members, 1);
  int left = 0;
  for (QWidget* w : fv.findChildren<QWidget*>()) left += dynamic_cast<TFrameBase*>(w) != nullptr;
  EXPECT_EQ(left, 2);
}

TEST_F(FrameFixture, DraggingABorderResizesTheFrames) {
  const std::string set = "<frameset cols=\"200,*\"><frame name=a src=\"p.htm\"><frameset rows=\"*,*\">"
                          "<frame name=b src=\"p.htm\"><frame name=c %1 src=\"p.htm\"></frameset></frameset>";
  Write("index.htm", QString::fromStdString(set).arg("").toStdString());
  Write("pinned.htm", QString::fromStdString(set).arg("noresize").toStdString());
  Write("p.htm", "<p>P");
  fv.LoadFromFile(Path("index.htm"));
  TFrame* a = Frame("a");
  // On a's bevel, next to the border at x 200.
  Mouse(a, QEvent::MouseMove, QPoint(199, 50), Qt::NoButton);
  EXPECT_EQ(a->cursor().shape(), Qt::SplitHCursor);
  Mouse(a, QEvent::MouseButtonPress, QPoint(199, 50), Qt::LeftButton);
  EXPECT_EQ(fv.CurFrameSet()->DragSet, fv.CurFrameSet());
  Mouse(a, QEvent::MouseMove, QPoint(300, 50), Qt::LeftButton);
  Mouse(a, QEvent::MouseButtonRelease, QPoint(300, 50), Qt::NoButton);
  EXPECT_EQ(fv.CurFrameSet()->DragSet, nullptr);
  EXPECT_EQ(a->width(), 300);
  EXPECT_EQ(Frame("b")->width(), 300);
  // The border between b and c belongs to the nested set.
  TFrame* b = Frame("b");
  Mouse(b, QEvent::MouseButtonPress, QPoint(20, 199), Qt::LeftButton);
  Mouse(b, QEvent::MouseMove, QPoint(20, 249), Qt::LeftButton);
  Mouse(b, QEvent::MouseButtonRelease, QPoint(20, 249), Qt::NoButton);
  EXPECT_EQ(b->height(), 249);
  EXPECT_EQ(Frame("c")->geometry(), QRect(0, 249, 300, 151));
  // Near the nested set's own edge the mouse belongs to the outer set, and a
  // drag is confined between the neighbouring borders.
  Mouse(b, QEvent::MouseButtonPress, QPoint(0, 100), Qt::LeftButton);
  EXPECT_EQ(fv.CurFrameSet()->DragSet, fv.CurFrameSet());
  Mouse(b, QEvent::MouseMove, QPoint(5000, 100), Qt::LeftButton);
  Mouse(b, QEvent::MouseButtonRelease, QPoint(5000, 100), Qt::NoButton);
  EXPECT_EQ(a->width(), 599);

  // A NORESIZE frame pins every border it touches.
  fv.LoadFromFile(Path("pinned.htm"));
  a = Frame("a");
  Mouse(a, QEvent::MouseButtonPress, QPoint(199, 50), Qt::LeftButton);
  EXPECT_EQ(fv.CurFrameSet()->DragSet, nullptr);
  Mouse(a, QEvent::MouseButtonRelease, QPoint(199, 50), Qt::NoButton);
  TFrame* pinnedB = Frame("b");
  Mouse(pinnedB, QEvent::MouseButtonPress, QPoint(20, 199), Qt::LeftButton);
  EXPECT_EQ(fv.CurFrameSet()->DragSet, nullptr);
  Mouse(pinnedB, QEvent::MouseButtonRelease, QPoint(20, 199), Qt::NoButton);
  EXPECT_EQ(a->width(), 200);
  EXPECT_EQ(pinnedB->height(), 200);
}

TEST_F(FrameFixture, HistoryKeepsFrameTreesAlive) {
  WriteSite();
  fv.SetHistoryMaxCount(5);
  int changes = 0;
  fv.OnHistoryChange = [&](TFrameViewer&) { ++changes; };
  fv.LoadFromFile(Path("index.htm"));
  QPointer<TFrameSet> frames = fv.CurFrameSet();
  // A changed page inside the frame set is the frame's own history.
  Click(*Frame("nav")->Viewer, "Two");
  EXPECT_EQ(fv.History().size(), 1u);
  EXPECT_EQ(Frame("main")->Viewer->History().size(), 2);
  // The popup moves the history of the frame under the mouse.
  THTMLViewer* mainViewer = Frame("main")->Viewer;
  fv.PreparePopup(mainViewer);
  EXPECT_FALSE(fv.ForwardAction()->isEnabled());
  ASSERT_TRUE(fv.BackAction()->isEnabled());
  fv.BackAction()->trigger();
  EXPECT_TRUE(Shows(mainViewer, "Main page"));
  fv.PreparePopup(mainViewer);
  EXPECT_TRUE(fv.ForwardAction()->isEnabled());
  fv.ForwardAction()->trigger();
  EXPECT_TRUE(Shows(mainViewer, "Second page"));
  EXPECT_EQ(fv.History().size(), 1u);

  fv.LoadFromFile(Path("plain.htm"));
  ASSERT_EQ(fv.History().size(), 2u);
  EXPECT_EQ(fv.History()[0].File, Path("plain.htm"));
  EXPECT_EQ(fv.History()[1].Set, frames.data());
  Write("plain2.htm", "<p>Second plain");
  Write("plainlink.htm", "<p><a href=\"plain2.htm\">next</a>");
  fv.LoadFromFile(Path("plainlink.htm"));
  Click(*fv.ActiveViewer(), "next");  // a one-frame document changed by a link
  ASSERT_EQ(fv.History().size(), 4u);
  EXPECT_EQ(fv.History()[0].File, Path("plain2.htm"));
  EXPECT_EQ(fv.History()[0].Set, fv.History()[1].Set);
  EXPECT_EQ(changes, 4);

  fv.PreparePopup(nullptr);
  EXPECT_FALSE(fv.ForwardAction()->isEnabled());
  EXPECT_TRUE(fv.BackAction()->isEnabled());
  fv.BackAction()->trigger();  // same tree: the single frame goes back
  EXPECT_EQ(fv.HistoryIndex(), 1);
  EXPECT_TRUE(Shows(fv.ActiveViewer(), "next"));

  fv.SetHistoryIndex(3);  // the frame set comes back with its frames' pages
  FreeRetired();
  ASSERT_TRUE(frames);
  EXPECT_EQ(fv.CurFrameSet(), frames.data());
  EXPECT_TRUE(frames->isVisible());
  EXPECT_TRUE(Shows(Frame("main")->Viewer, "Second page"));
  fv.PreparePopup(nullptr);
  EXPECT_TRUE(fv.ForwardAction()->isEnabled());
  EXPECT_FALSE(fv.BackAction()->isEnabled());
  fv.SetHistoryIndex(0);
  EXPECT_TRUE(Shows(fv.ActiveViewer(), "Second plain"));

  // Trees no entry refers to are freed.
  fv.SetHistoryMaxCount(0);
  fv.LoadFromFile(Path("plain.htm"));
  FreeRetired();
  EXPECT_FALSE(frames);
  EXPECT_TRUE(fv.History().empty());
}

TEST_F(FrameFixture, PrintsTheActiveFrame) {
  WriteSite();
  PrinterSetup setup;
  setup.OutputFile = Path("out.pdf");
  PrinterSetup saved = PrinterSelection();
  PrinterSelection() = setup;
  fv.LoadFromFile(Path("plain.htm"));
  EXPECT_EQ(fv.Print(1, 9999), 1);
  EXPECT_TRUE(QFileInfo::exists(Path("out.pdf")));
  PrinterSelection() = saved;
  EXPECT_THROW(fv.LoadFromFile(Path("absent.htm")), EInOutError);
  EXPECT_TRUE(Shows(fv.ActiveViewer(), "Plain page"));  // what was shown stays
}

}  // namespace
}  // namespace qlon::viewer
