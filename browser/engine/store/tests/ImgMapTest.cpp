#include <gtest/gtest.h>

#include <QBuffer>

#include "ImgMap.h"
#include "TempRoot.h"
#include "UrlBTree.h"
#include "Utils.h"

namespace {
using namespace qlon;

TEST(MapList, StreamRoundTripAndOlderVersions) {
  TMapList maps;
  maps.AddMap("http://h/i.gif", "h/i.gif", "h/i.map", "Titre", "http://h/cgi/map", "http://h/p.htm", "_top");
  maps.AddMap("http://h/j.gif", "h/j.gif", "h/j.map", "", "", "http://h/p.htm", "");
  QBuffer buf;
  buf.open(QIODevice::ReadWrite);
  ASSERT_TRUE(maps.SaveToStream(buf));
  QByteArray bytes = buf.data();
  // Count, then the seven short strings in their stored order.
  EXPECT_EQ(bytes.left(10), QByteArray("\x02\x00\x07h/i.gif", 10));
  buf.seek(0);
  TMapList back;
  back.LoadFromStream(513, buf);
  ASSERT_EQ(back.Count(), 2);
  EXPECT_EQ(back[0].ImageUrl, "http://h/i.gif");
  EXPECT_EQ(back[0].MapUrl, "http://h/cgi/map");
  EXPECT_EQ(back[0].Title, "Titre");
  EXPECT_EQ(back[0].Target, "_top");
  EXPECT_EQ(back.IndexOfName("H/J.GIF"), 1);
  EXPECT_EQ(back.IndexOfName("h/none.gif"), -1);

  // A version-512 block has six strings per map and no image URL.
  QBuffer old;
  old.open(QIODevice::ReadWrite);
  WriteInt16(1, old);
  for (const char* s : {"a.gif", "a.map", "http://h/map", "t", "http://h/", "x"}) WriteShortString(s, old);
  old.seek(0);
  back.LoadFromStream(512, old);
  ASSERT_EQ(back.Count(), 1);
  EXPECT_EQ(back[0].ImageUrl, "");
  EXPECT_EQ(back[0].Target, "x");

  QBuffer cut;
  cut.setData(bytes.left(bytes.size() - 3));
  cut.open(QIODevice::ReadOnly);
  EXPECT_THROW(back.LoadFromStream(513, cut), EReadError);
}

TEST(MapList, LongTextsAreReportedAndMapFilesDeletedInsideTheFolder) {
  TMapList maps;
  maps.AddMap(std::string(300, 'u'), "a.gif", "a.map", "", "", "", "");
  QBuffer buf;
  buf.open(QIODevice::WriteOnly);
  EXPECT_FALSE(maps.SaveToStream(buf)) << "a cut text is reported";

  qlon::test::TempDir dir;
  qlon::test::WriteFileBytes(dir.path() / "cap/a.map", "zones");
  qlon::test::WriteFileBytes(dir.path() / "victim.map", "keep");
  TMapList del;
  del.AddMap("", "a.gif", "a.map", "", "", "", "");
  del.AddMap("", "b.gif", "../victim.map", "", "", "", "");
  del.DeleteMapFiles((dir.path() / "cap").string());
  EXPECT_FALSE(std::filesystem::exists(dir.path() / "cap/a.map"));
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "victim.map"));
}

TEST(CollectPageMaps, AddsEachRetrievedIsmapImageOnce) {
  qlon::test::TempDir dir;
  auto file = dir.path() / "local.web";
  TWebStream stream(file, TWebStream::Mode::Create);
  TUrlBTree tree;
  tree.CreateTree(dir.path().string(), &stream, 0);
  auto add = [&](const std::string& url, const std::string& local, TWebFileState state) {
    TWebFile r;
    r.SetLocalName(local);
    r.SetState(state);
    ASSERT_TRUE(tree.AddUrl(url, r));
  };
  add("http://h/img/map.gif", "img/map.gif", fsRetrieved);
  add("http://h/img/map.jpg", "img/map.jpg", fsRetrieved);
  add("http://h/img/wait.gif", "img/wait.gif", fsToCapture);
  qlon::test::WriteFileBytes(dir.path() / "p.htm",
                             "<html><title>Plan</title><a href=\"/cgi/imagemap\" target=\"main\">"
                             "<img src=\"img/map.gif\" ismap></a>"
                             "<a href=\"/cgi/other\"><img src=\"http://h/img/map.gif\" ismap></a>"
                             "<a href=\"/cgi/j\"><img src=\"img/map.jpg\" ismap></a>"
                             "<img src=\"img/wait.gif\" ismap><img src=\"img/map.gif\"></html>");
  TMapList maps;
  CollectPageMaps("http://h/p.htm", (dir.path() / "p.htm").string(), tree, maps);
  ASSERT_EQ(maps.Count(), 2);
  EXPECT_EQ(maps[0].ImageUrl, "http://h/img/map.gif");
  EXPECT_EQ(maps[0].ImageFile, "img/map.gif");
  EXPECT_EQ(maps[0].MapFile, "img/map.map");
  EXPECT_EQ(maps[0].MapUrl, "http://h/cgi/imagemap");
  EXPECT_EQ(maps[0].Target, "main");
  EXPECT_EQ(maps[0].Title, "Plan");
  EXPECT_EQ(maps[0].PageUrl, "http://h/p.htm");
  EXPECT_EQ(maps[1].MapFile, "img/map.jpg.map") << "two images of one base name keep their zones apart";
  tree.CloseTree();
}

// ---------------------------------------------------------------- zones

struct Recorder : TZoneCanvas {
  std::string log;
  void Rectangle(const TZoneRectangle& r) override {
    log += "R" + std::to_string(r.Left) + "," + std::to_string(r.Bottom);
  }
  void Ellipse(const TZoneRectangle& r) override { log += "E" + std::to_string(r.Right - r.Left); }
  void Polygon(const std::vector<TZonePoint>& p) override { log += "P" + std::to_string(p.size()); }
};

TEST(Zones, RectangleCreationValidityAndText) {
  TZoneRect r;
  r.Limit = {0, 0, 100, 80};
  r.BeginCreate(50, 60);
  EXPECT_TRUE(r.Creating);
  r.Track(3, 4, 0);
  r.EndCreate(3, 4);
  EXPECT_FALSE(r.Creating);
  EXPECT_EQ(r.GetCoordsText(), "03,04,50,60");
  EXPECT_EQ(r.GetCenter(), (TZonePoint{26, 32}));
  r.Track(200, -5, 0);  // clipped to the image
  EXPECT_EQ(r.Bounds, (TZoneRectangle{50, 0, 100, 60}));
  r.ParseCoords("10,10,15,30");
  EXPECT_FALSE(r.IsValid()) << "5 pixels wide";
  r.ParseCoords("10 10 16 30");
  EXPECT_TRUE(r.IsValid());
  EXPECT_TRUE(r.Contains(10, 10));
  EXPECT_FALSE(r.Contains(16, 20)) << "the right edge lies outside";
  EXPECT_FALSE(r.ParseCoords("1,2,3"));
  TZoneRect full(true, true);
  full.Limit = {0, 0, 100, 80};
  full.BeginCreate(10, 10);
  full.EndCreate(20, 20);
  EXPECT_EQ(full.Bounds, (TZoneRectangle{10, 10, 100, 80}));
  full.MoveTo(15, 5);
  EXPECT_EQ(full.Bounds, (TZoneRectangle{15, 5, 105, 75}));
  Recorder c;
  full.Draw(c);
  EXPECT_EQ(c.log, "R15,75");
}

TEST(Zones, CircleRadiusStopsAtTheImageEdge) {
  TZoneCircle c;
  c.Limit = {0, 0, 200, 200};
  c.BeginCreate(20, 100);
  EXPECT_EQ(c.Bounds, (TZoneRectangle{19, 99, 21, 101}));
  c.EndCreate(100, 180);
  EXPECT_EQ(c.Bounds, (TZoneRectangle{0, 80, 40, 120})) << "radius 20, the distance to the left edge";
  EXPECT_EQ(c.GetCoordsText(), "20,100,20");
  EXPECT_TRUE(c.IsValid());
  EXPECT_TRUE(c.Contains(20, 100));
  EXPECT_FALSE(c.Contains(1, 81)) << "a corner of the box is outside the circle";
  ASSERT_TRUE(c.ParseCoords("50,50,2"));  // 4 wide
  EXPECT_FALSE(c.IsValid());
}

TEST(Zones, PolygonClicksPointsAndHitTests) {
  TZonePolygon p;
  p.BeginCreate(0, 0);
  p.BeginCreate(10, 0);
  EXPECT_FALSE(p.IsValid());
  p.BeginCreate(10, 10);
  EXPECT_TRUE(p.IsValid());
  p.BeginCreate(10, 10);  // a click on the last point ends the polygon
  EXPECT_FALSE(p.Creating);
  EXPECT_EQ(p.Points.size(), 3u);
  EXPECT_EQ(p.GetShapeName(), "POLYGON");
  EXPECT_EQ(p.GetCoordsText(), "0,0,10,0,10,10");
  EXPECT_TRUE(p.Contains(8, 2));
  EXPECT_FALSE(p.Contains(2, 8));
  Recorder c;
  p.Draw(c);
  EXPECT_EQ(c.log, "P4") << "drawn with its closing point";

  TZonePolygon many;
  for (int i = 0; i < 120; ++i) many.BeginCreate(i, i % 2 ? 0 : 50);
  EXPECT_EQ(many.Points.size(), 99u) << "the 100th click adds no point";
  std::string coords;
  for (int i = 0; i < 500; ++i) coords += std::to_string(i) + "," + std::to_string(i % 7) + ",";
  ASSERT_TRUE(many.ParseCoords(coords));
  EXPECT_EQ(many.Points.size(), 99u) << "a long coordinate text cannot overflow the points";
  EXPECT_FALSE(many.ParseCoords("1,2,3,4,5"));
  // A self-crossing star: the winding rule fills its middle.
  TZonePolygon star;
  star.ParseCoords("50,0,79,90,2,35,98,35,21,90");
  EXPECT_TRUE(star.Contains(50, 45));
  EXPECT_EQ(star.GetBounds(), (TZoneRectangle{2, 0, 98, 90}));
  star.MoveTo(60, 10);
  EXPECT_EQ(star.Points[0], (TZonePoint{60, 10}));
}

}  // namespace
