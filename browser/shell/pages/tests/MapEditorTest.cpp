#include "MapEditor.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QBuffer>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QTest>
#include <QToolButton>

#include "CaptureFixture.h"
#include "ExImage.h"
#include "MessageBox.h"
#include "PictureBytes.h"
#include "Utils.h"
#include "WUrlList.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;
using test::CaptureFixture;
using test::ReadFileBytes;
using test::WriteFileBytes;

constexpr const char* kMapUrl = "http://h.example/cgi/plan";

class FakeHost : public IMapEditorHost {
 public:
  void RefreshStatusHints() override { ++hints; }
  void RefreshState() override { ++states; }
  std::optional<QColor> ChooseMapPenColor() override { return color; }
  int hints = 0, states = 0;
  std::optional<QColor> color;
};

std::string BmpBytes(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(QColor(235, 242, 250));
  QPainter p(&image);
  p.fillRect(20, 20, w / 3, h / 3, QColor(120, 170, 90));
  p.fillRect(w / 2, h / 2, w / 3, h / 3, QColor(90, 120, 190));
  p.end();
  return test::ImageBytes(image);
}

// The capture of the shell tests (its map 0, "pic.gif", has no readable
// picture) with a second map over a real 200 x 150 picture.
class MapEditorTest : public ::testing::Test, public CaptureFixture {
 protected:
  MapEditorTest() : editor(host) {
    Add("plan.bmp", fsRetrieved, "image/bmp", "bmp", BmpBytes(200, 150), 200, 150);
    web.Maps.AddMap(Url("plan.bmp"), "plan.bmp", "plan.map", "Plan", kMapUrl, Url("a.htm"), "");
    editor.resize(460, 480);
    editor.show();
    editor.SetWeb(&web);
    editor.ShowMapPage(true);
    QCoreApplication::processEvents();
  }

  static constexpr int kPlan = 1;
  QWidget* Viewport() { return editor.MapImage->viewport(); }
  fs::path MapPath(const std::string& name = "plan.map") const { return Folder() / name; }

  // Mouse events at image coordinates.
  void Send(QEvent::Type type, QPoint image, Qt::MouseButton button, Qt::MouseButtons buttons,
            Qt::KeyboardModifiers mods = Qt::NoModifier) {
    const QPoint at = editor.ImageToControl(image);
    QMouseEvent e(type, QPointF(at), QPointF(Viewport()->mapToGlobal(at)), button, buttons, mods);
    QCoreApplication::sendEvent(Viewport(), &e);
  }
  void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
    Send(QEvent::MouseButtonPress, p, b, b, m);
  }
  void Move(QPoint p, Qt::MouseButtons held = Qt::NoButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
    Send(QEvent::MouseMove, p, Qt::NoButton, held, m);
  }
  void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton, Qt::KeyboardModifiers m = Qt::NoModifier) {
    Send(QEvent::MouseButtonRelease, p, b, Qt::NoButton, m);
  }
  void Drag(QPoint from, QPoint to, Qt::KeyboardModifiers m = Qt::NoModifier) {
    Press(from, Qt::LeftButton, m);
    Move(to, Qt::LeftButton, m);
    Release(to, Qt::LeftButton, m);
  }
  void Click(QPoint p) {
    Press(p);
    Release(p);
  }
  // A polygon by clicks, closed by a second click on its last vertex.
  void Polygon(const std::vector<QPoint>& points) {
    editor.MapMenuToolClick(TMapEditor::mtPolygon);
    for (const QPoint& p : points) {
      Move(p);
      Click(p);
    }
    Click(points.back());
  }
  std::vector<std::string> Coords() const {
    std::vector<std::string> out;
    for (auto& z : editor.MapZones()) out.push_back(z->GetShapeName() + " " + z->GetCoordsText());
    return out;
  }

  test::TempRoot root_;
  platform::ScriptedMessageBoxes boxes;
  FakeHost host;
  TMapEditor editor;
};

TEST_F(MapEditorTest, DrawnZonesAreSavedAsAreaLinesWithCentreLinksAndLoadAgain) {
  web.Options.InternalLinkDepth = 5;  // the answers one link below the page are wanted
  editor.SelectMap(kPlan);
  ASSERT_EQ(editor.CurrentMap(), &web.Maps[kPlan]);
  ASSERT_EQ(editor.ImageRect(), QRect(0, 0, 200, 150));
  EXPECT_TRUE(boxes.shown.empty());

  Drag({3, 4}, {50, 60});
  editor.MapMenuToolClick(TMapEditor::mtCircle);
  EXPECT_TRUE(editor.MapMenuCircle->isChecked());
  EXPECT_FALSE(editor.MapMenuRectangle->isChecked());
  Drag({100, 50}, {120, 75});  // the radius is the smaller distance
  Polygon({{10, 100}, {60, 100}, {35, 140}});
  EXPECT_FALSE(editor.MapCreating());
  EXPECT_TRUE(editor.MapModified());
  EXPECT_EQ(Coords(), (std::vector<std::string>{"rect 03,04,50,60", "circle 100,50,20", "POLYGON 10,100,60,100,35,140"}));

  ASSERT_TRUE(editor.SaveMapZones());
  EXPECT_FALSE(editor.MapModified());
  EXPECT_EQ(ReadFileBytes(MapPath()),
            "<area shape=\"rect\" coords=\"03,04,50,60\" href=\"http://h.example/cgi/plan?26,32\">\r\n"
            "<area shape=\"circle\" coords=\"100,50,20\" href=\"http://h.example/cgi/plan?100,50\">\r\n"
            "<area shape=\"POLYGON\" coords=\"10,100,60,100,35,140\" href=\"http://h.example/cgi/plan?10,100\">\r\n");
  for (const char* centre : {"?26,32", "?100,50", "?10,100"}) {
    TWebFile link(&web);
    ASSERT_TRUE(web.FindUrl(kMapUrl + std::string(centre), link)) << centre;
    EXPECT_EQ(link.GetLinkType(), ltPage);
    EXPECT_EQ(int(link.GetState()), int(fsToCapture));
    EXPECT_EQ(link.GetLinkLevel(), 1);
  }
  EXPECT_GE(host.states, 1);

  // Another editor on the same capture reads the zones back.
  FakeHost other;
  TMapEditor again(other);
  again.SetWeb(&web);
  again.SelectMap(kPlan);
  ASSERT_EQ(again.MapZones().size(), 3u);
  EXPECT_EQ(again.MapZones()[2]->GetCoordsText(), "10,100,60,100,35,140");
  EXPECT_FALSE(again.MapModified());
}

TEST_F(MapEditorTest, TargetAndUrlAreEscapedInTheMapFile) {
  web.Maps[kPlan].Target = "main\" onclick=\"x";
  web.Maps[kPlan].MapUrl = "http://h.example/cgi/plan?a=1&b=<2>";
  editor.SelectMap(kPlan);
  Drag({3, 4}, {50, 60});
  ASSERT_TRUE(editor.SaveMapZones());
  EXPECT_EQ(ReadFileBytes(MapPath()),
            "<area shape=\"rect\" coords=\"03,04,50,60\" target=\"main&quot; onclick=&quot;x\" "
            "href=\"http://h.example/cgi/plan?a=1&amp;b=&lt;2&gt;?26,32\">\r\n");
}

TEST_F(MapEditorTest, ShapesReloadByNameAndBadAreasAreDroppedButCounted) {
  WriteFileBytes(MapPath(),
                 "<map><AREA SHAPE=\"Rectangle\" COORDS=\"5,5,40,40\">\n"
                 "<area shape=POLYGON coords=\"1,1,30,1,15,20\">\n"
                 "<area shape=\"poly\" coords=\"50,50,80,50,65,90\">\n"
                 "<area shape=\"circle\" coords=\"100,100,10\">\n"
                 "<area shape=\"default\" coords=\"0,0,10,10\">\n"
                 "<area shape=\"rect\" coords=\"5,5,9,40\">\n"   // 4 wide: not valid
                 "<area shape=\"rect\" coords=\"5,5\"><p>junk &amp; <b\n");
  editor.SelectMap(kPlan);
  EXPECT_EQ(Coords(), (std::vector<std::string>{"rect 05,05,40,40", "POLYGON 1,1,30,1,15,20",
                                                "POLYGON 50,50,80,50,65,90", "circle 100,100,10"}));
  EXPECT_TRUE(editor.StatusHint().contains("3 zone(s) illisible(s)")) << editor.StatusHint().toStdString();
}

TEST_F(MapEditorTest, OverlappingZonesRightClickDeletesTheLastShiftDragMovesTheFirst) {
  editor.SelectMap(kPlan);
  Drag({10, 10}, {60, 60});
  Drag({40, 40}, {100, 100});
  ASSERT_EQ(editor.MapZones().size(), 2u);

  // Shift + drag on the overlap moves the first zone; its anchor stops at 1.
  Press({50, 50}, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_TRUE(editor.MapMoving());
  Move({60, 55}, Qt::LeftButton, Qt::ShiftModifier);
  EXPECT_EQ(Coords()[0], "rect 20,15,70,65");
  Move({30, 30}, Qt::LeftButton, Qt::ShiftModifier);  // anchor would be (-10, -10)
  EXPECT_EQ(Coords()[0], "rect 20,15,70,65");
  Move({41, 45}, Qt::LeftButton, Qt::ShiftModifier);  // anchor (1, 5)
  EXPECT_EQ(Coords()[0], "rect 01,05,51,55");
  Move({41, 45}, Qt::LeftButton);  // Shift released: the move ends
  EXPECT_FALSE(editor.MapMoving());
  Release({41, 45});
  EXPECT_EQ(Coords()[1], "rect 40,40,100,100");

  // The overlap now lies at (40..51, 40..55): the last drawn zone goes.
  Press({45, 45}, Qt::RightButton);
  Release({45, 45}, Qt::RightButton);
  EXPECT_EQ(Coords(), (std::vector<std::string>{"rect 01,05,51,55"}));
  Press({150, 140}, Qt::RightButton);  // nothing there
  EXPECT_EQ(editor.MapZones().size(), 1u);
}

TEST_F(MapEditorTest, BandsSpanThePictureAndSmallZonesDisappear) {
  editor.SelectMap(kPlan);
  editor.MapMenuToolClick(TMapEditor::mtBandH);
  Drag({30, 40}, {60, 70});
  editor.MapMenuToolClick(TMapEditor::mtBandV);
  Drag({80, 20}, {120, 50});
  EXPECT_EQ(Coords(), (std::vector<std::string>{"rect 00,40,200,70", "rect 80,00,120,150"}));

  editor.MapMenuToolClick(TMapEditor::mtRectangle);
  Drag({10, 10}, {14, 60});  // 4 pixels wide
  editor.MapMenuToolClick(TMapEditor::mtCircle);
  Click({90, 90});
  editor.MapMenuToolClick(TMapEditor::mtPolygon);
  Click({5, 5});
  Click({30, 5});
  Click({30, 5});  // closed with two vertices
  EXPECT_EQ(editor.MapZones().size(), 2u);
  EXPECT_FALSE(editor.MapCreating());

  // Dragging past the picture's edge clips; a circle keeps inside the edge.
  editor.MapMenuToolClick(TMapEditor::mtRectangle);
  Drag({150, 100}, {400, 400});
  editor.MapMenuToolClick(TMapEditor::mtCircle);
  Drag({190, 75}, {150, 20});
  EXPECT_EQ(Coords()[2], "rect 150,100,200,150");
  EXPECT_EQ(Coords()[3], "circle 190,75,10");

  // A double click ends a polygon even a pixel off its last vertex.
  editor.MapMenuToolClick(TMapEditor::mtPolygon);
  Click({100, 20});
  Click({140, 20});
  Click({120, 60});
  Send(QEvent::MouseButtonDblClick, {121, 61}, Qt::LeftButton, Qt::LeftButton);
  Release({121, 61});
  EXPECT_FALSE(editor.MapCreating());
  EXPECT_EQ(Coords().back(), "POLYGON 100,20,140,20,120,60");

  // A polygon still open when the map is saved is left out.
  editor.MapMenuToolClick(TMapEditor::mtPolygon);
  Click({20, 20});
  Click({60, 20});
  EXPECT_TRUE(editor.MapCreating());
  ASSERT_TRUE(editor.SaveMapZones());
  EXPECT_EQ(ReadFileBytes(MapPath()).find("20,20,60,20"), std::string::npos);
  EXPECT_NE(ReadFileBytes(MapPath()).find("100,20,140,20,120,60"), std::string::npos);
}

TEST_F(MapEditorTest, PasteReplacesTheZonesAndIsDisabledUntilACopy) {
  editor.SelectMap(kPlan);
  editor.EnableMapMenus();
  EXPECT_FALSE(editor.MapMenuPaste->isEnabled());
  Drag({3, 4}, {50, 60});
  editor.MapMenuCopy->trigger();
  EXPECT_TRUE(editor.MapMenuPaste->isEnabled());
  editor.MapMenuClear->trigger();
  EXPECT_TRUE(editor.MapZones().empty());
  Drag({100, 100}, {150, 140});
  editor.MapMenuPaste->trigger();
  EXPECT_EQ(Coords(), (std::vector<std::string>{"rect 03,04,50,60"}));
  EXPECT_TRUE(editor.MapModified());

  // The clipboard outlives a change of web and holds copies, not the zones.
  editor.SetWeb(nullptr);
  EXPECT_FALSE(editor.MapMenuSave->isEnabled());
  EXPECT_FALSE(editor.MapMenuPaste->isEnabled());
  editor.SetWeb(&web);
  editor.SelectMap(kPlan);
  editor.MapMenuClear->trigger();
  editor.MapMenuPaste->trigger();
  EXPECT_EQ(Coords(), (std::vector<std::string>{"rect 03,04,50,60"}));
  editor.Free();
  editor.EnableMapMenus();
  EXPECT_FALSE(editor.MapMenuPaste->isEnabled());
}

TEST_F(MapEditorTest, LeavingAMapSavesItsEditsOnlyAndReloadDropsThem) {
  // A hand-written file with a zone the editor cannot read stays as it is
  // while its map is only looked at.
  const std::string handWritten = "<area shape=\"rect\" coords=\"5,5,40,40\" href=\"/x\">\r\n<area shape=oval>\r\n";
  WriteFileBytes(MapPath(), handWritten);
  editor.SelectMap(kPlan);
  editor.SelectMap(0);
  EXPECT_EQ(ReadFileBytes(MapPath()), handWritten);

  editor.SelectMap(kPlan);
  Drag({60, 60}, {90, 90});
  editor.SelectMap(0);  // saved without a question
  EXPECT_TRUE(boxes.shown.size() >= 1);  // map 0's picture is unreadable, nothing asked about saving
  for (auto& b : boxes.shown) EXPECT_EQ(b.flags & platform::MB_TYPEMASK, platform::MB_OK);
  EXPECT_NE(ReadFileBytes(MapPath()).find("coords=\"60,60,90,90\""), std::string::npos);

  editor.SelectMap(kPlan);
  Drag({100, 10}, {140, 40});
  editor.MapMenuLoad->trigger();  // edits dropped
  EXPECT_EQ(editor.MapZones().size(), 2u);
  EXPECT_FALSE(editor.MapModified());

  // Pending edits go into the web being left before the editor lets it go.
  Drag({100, 10}, {140, 40});
  editor.SetWeb(nullptr);
  EXPECT_EQ(editor.CurrentMap(), nullptr);
  EXPECT_NE(ReadFileBytes(MapPath()).find("coords=\"100,10,140,40\""), std::string::npos);
}

TEST_F(MapEditorTest, UnreadablePictureOrMapFileIsReportedAndNothingIsLost) {
  editor.SelectMap(kPlan);
  ASSERT_FALSE(editor.MapImage->Bitmap().isNull());
  WriteFileBytes(Folder() / "pic.map", "<area shape=\"rect\" coords=\"10,10,60,60\">");
  editor.SelectMap(0);  // "pic.gif" holds no picture
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_NE(boxes.shown[0].text.find("pic.gif"), std::string::npos);
  EXPECT_TRUE(editor.MapImage->Bitmap().isNull());  // not the previous map's picture
  EXPECT_EQ(editor.MapZones().size(), 1u);           // zones still load
  EXPECT_EQ(editor.ImageRect(), QRect(QPoint(0, 0), Viewport()->size()));
  EXPECT_TRUE(editor.StatusHint().contains("image introuvable"));

  // A map file far too large for zones is not read, and never overwritten.
  const std::string big(size_t(TMapEditor::kMaxMapFileSize) + 1, 'x');
  WriteFileBytes(MapPath(), big);
  editor.SelectMap(kPlan);
  ASSERT_EQ(boxes.shown.size(), 2u);
  EXPECT_NE(boxes.shown[1].text.find("plan.map"), std::string::npos);
  Drag({3, 4}, {50, 60});
  EXPECT_FALSE(editor.SaveMapZones());
  EXPECT_EQ(boxes.shown.size(), 3u);
  EXPECT_EQ(fs::file_size(MapPath()), big.size());
  EXPECT_TRUE(editor.MapModified());
  editor.SelectMap(0);  // the edits that could not be saved keep their map
  EXPECT_EQ(editor.MapIndex(), kPlan);
  EXPECT_EQ(editor.MapZones().size(), 1u);
  editor.MapMenuLoad->trigger();  // dropping them lets the map go
  editor.SelectMap(0);
  EXPECT_EQ(editor.MapIndex(), 0);
  EXPECT_EQ(fs::file_size(MapPath()), big.size());
}

TEST_F(MapEditorTest, ACapturedFileOfTheMapNameIsNotOverwritten) {
  // The site serves its own "plan.map" beside the picture.
  Add("plan.map", fsRetrieved, "text/plain", "map", "default /index.html\nrect /a.html 0,0 10,10\n");
  editor.SelectMap(kPlan);
  Drag({3, 4}, {50, 60});
  ASSERT_TRUE(editor.SaveMapZones());
  EXPECT_EQ(ReadFileBytes(MapPath()), "default /index.html\nrect /a.html 0,0 10,10\n");
  EXPECT_EQ(web.Maps[kPlan].MapFile, "plan.bmp.zones.map");
  EXPECT_NE(ReadFileBytes(MapPath("plan.bmp.zones.map")).find("03,04,50,60"), std::string::npos);
}

TEST_F(MapEditorTest, MapWithoutServerUrlOrKnownPageSavesZonesButNoLinks) {
  web.Maps[kPlan].PageUrl = "http://h.example/unknown.htm";
  editor.SelectMap(kPlan);
  Drag({3, 4}, {50, 60});
  ASSERT_TRUE(editor.SaveMapZones());
  TWebFile link(&web);
  EXPECT_FALSE(web.FindUrl(kMapUrl + std::string("?26,32"), link));

  web.Maps[kPlan].PageUrl = Url("a.htm");
  web.Maps[kPlan].MapUrl.clear();
  editor.SelectMap(kPlan);
  Drag({60, 4}, {90, 60});
  ASSERT_TRUE(editor.SaveMapZones());
  EXPECT_FALSE(web.FindUrl("?75,32", link));
  EXPECT_NE(ReadFileBytes(MapPath()).find("href=\"?75,32\""), std::string::npos);
}

TEST_F(MapEditorTest, ImageCoordinatesFollowCentringAndScrolling) {
  editor.SelectMap(kPlan);
  const QPoint origin((Viewport()->width() - 200) / 2, (Viewport()->height() - 150) / 2);
  EXPECT_GT(origin.x(), 0);
  EXPECT_EQ(editor.ControlToImage(origin + QPoint(5, 7)), QPoint(5, 7));

  // A picture larger than the control scrolls; presses land where the picture is.
  Add("big.bmp", fsRetrieved, "image/bmp", "bmp", BmpBytes(900, 800), 900, 800);
  web.Maps.AddMap(Url("big.bmp"), "big.bmp", "big.map", "", kMapUrl, Url("a.htm"), "");
  editor.SelectMap(2);
  editor.MapImage->ScrollHorizontal(30);
  editor.MapImage->ScrollVertical(20);
  EXPECT_EQ(editor.ControlToImage(QPoint(10, 10)), QPoint(40, 30));
  Drag({50, 50}, {100, 90});
  EXPECT_EQ(Coords(), (std::vector<std::string>{"rect 50,50,100,90"}));

  // Moving near an edge scrolls by 8 pixels.
  const QPoint edge(Viewport()->width() - 3, 100);
  QMouseEvent move(QEvent::MouseMove, QPointF(edge), QPointF(Viewport()->mapToGlobal(edge)), Qt::NoButton,
                   Qt::NoButton, Qt::NoModifier);
  QCoreApplication::sendEvent(Viewport(), &move);
  EXPECT_EQ(editor.MapImage->HorzPos(), 38);
  EXPECT_EQ(editor.MapMouse(), QPoint(Viewport()->width() - 3 + 38, 120));
  const int hints = host.hints;
  Move({200, 210});
  EXPECT_EQ(host.hints, hints + 1);
  EXPECT_TRUE(editor.StatusHint().startsWith("big.bmp  |  1 zone  |  x 200, y 210")) << editor.StatusHint().toStdString();
}

TEST_F(MapEditorTest, MenusButtonsListAndColourFollowTheState) {
  EXPECT_TRUE(editor.MapFileBtn->isEnabled());
  EXPECT_EQ(editor.MapFileBtn->text(), "Map");
  EXPECT_EQ(editor.MapEditBtn->text(), "Edition");
  EXPECT_EQ(editor.MapToolsBtn->text(), "Outils");
  EXPECT_TRUE(editor.MapMenuLoad->isEnabled());
  EXPECT_FALSE(editor.MapMenuSave->isEnabled());
  EXPECT_FALSE(editor.MapMenuCopy->isEnabled());
  EXPECT_FALSE(editor.MapMenuClear->isEnabled());

  // The list holds the two map images; a click on a row selects its map.
  EXPECT_EQ(editor.MapList->List().Count(), 2);
  const int row = 1 + editor.MapList->List().Find(Url("plan.bmp"));
  QTest::mouseClick(editor.MapList->viewport(), Qt::LeftButton, {}, editor.MapList->CellRect(1, row).center());
  EXPECT_EQ(editor.MapIndex(), kPlan);
  EXPECT_TRUE(editor.MapMenuSave->isEnabled());
  EXPECT_TRUE(editor.MapMenuRectangle->isChecked());
  EXPECT_TRUE(editor.MapList->isEnabled());

  editor.ShowMapPage(false);
  EXPECT_TRUE(editor.MapListFrame->isHidden());
  editor.ShowMapPage(true);
  EXPECT_FALSE(editor.MapListFrame->isHidden());

  EXPECT_EQ(editor.MapPenColor(), QColor(255, 0, 0));
  editor.MapMenuColorClick();  // cancelled
  EXPECT_EQ(editor.MapPenColor(), QColor(255, 0, 0));
  host.color = QColor(0, 0, 255);
  editor.MapMenuColor->trigger();
  EXPECT_EQ(editor.MapPenColor(), QColor(0, 0, 255));

  editor.Reset();
  EXPECT_EQ(editor.MapIndex(), -1);
  EXPECT_FALSE(editor.MapMenuSave->isEnabled());
  EXPECT_TRUE(editor.MapImage->Bitmap().isNull());

  TWeb empty;
  editor.SetWeb(&empty);
  editor.ShowMapPage(true);
  EXPECT_FALSE(editor.MapFileBtn->isEnabled());
  editor.SetWeb(nullptr);
}

// The editor as the user sees it, for the build's screenshots.
TEST_F(MapEditorTest, Screenshot) {
  host.color = QColor(200, 0, 0);
  editor.MapMenuColorClick();
  const int row = 1 + editor.MapList->List().Find(Url("plan.bmp"));
  QTest::mouseClick(editor.MapList->viewport(), Qt::LeftButton, {}, editor.MapList->CellRect(1, row).center());
  ASSERT_EQ(editor.MapIndex(), kPlan);
  Drag({15, 12}, {80, 55});
  editor.MapMenuToolClick(TMapEditor::mtCircle);
  Drag({150, 40}, {175, 65});
  Polygon({{20, 90}, {90, 80}, {110, 140}, {40, 135}});
  editor.MapMenuToolClick(TMapEditor::mtBandV);
  Drag({125, 0}, {140, 10});
  const QImage shot = editor.grab().toImage();
  // The rectangle's outline is drawn in the pen colour where the picture is.
  const QPoint corner = editor.MapImage->mapTo(&editor, editor.ImageToControl({15, 30}));
  EXPECT_EQ(shot.pixelColor(corner), QColor(200, 0, 0));
  const fs::path screens = ProgramFolder().parent_path() / "screens";
  fs::create_directories(screens);
  EXPECT_TRUE(shot.save(QString::fromStdString((screens / "map-editor.png").string())));
}

}  // namespace
}  // namespace qlon
