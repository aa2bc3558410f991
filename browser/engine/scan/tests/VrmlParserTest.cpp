#include <gtest/gtest.h>

#include <QBuffer>

#include "VrmlParser.h"

namespace {
using namespace qlon;

struct Found {
  std::string url, oldUrl;
  bool page;
  bool operator==(const Found&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Found& f) {
  return os << "{" << f.url << ", " << f.oldUrl << ", " << f.page << "}";
}

std::vector<Found> Links(const QByteArray& text) {
  QByteArray copy = text;
  QBuffer b(&copy);
  b.open(QIODevice::ReadOnly);
  TVRMLParser parser(b);
  std::vector<Found> out;
  for (int i = 0; i < parser.Count(); ++i) {
    Found f;
    EXPECT_TRUE(parser.GetLink(i, f.url, f.oldUrl));
    f.page = parser.Link(i).Page;
    // The position is the opening quote's.
    EXPECT_EQ(text[static_cast<qsizetype>(parser.Link(i).Position)], '"');
    out.push_back(f);
  }
  return out;
}

TEST(VrmlScan, NodesFieldsAndComments) {
  const QByteArray world =
      "#VRML V1.0 ascii\r\n"
      "WWWAnchor {\r\n"
      "  name \"page.htm#top\"\r\n"
      "  description \"x\"\r\n"
      "}\r\n"
      "Texture2 { filename \"wood.gif\" }\n"
      "WWWInline\n{ name \"sub.wrl\" }\n"
      "  # name \"commented.wrl\"\n"
      "Texture2 { XFILENAME \"no.gif\" filenames \"no2.gif\" }\n"
      "Scenery \"a.wrl\" SCENERY \"b.wrl\"\n"
      "Texture2 { filename \"open.gif }\n"
      "DirectSound { name\n \"separate.wav\" }\n";
  const std::vector<Found> want = {
      {"page.htm#top", "", true}, {"wood.gif", "", false}, {"sub.wrl", "", false},
      {"a.wrl", "", false},       {"b.wrl", "", false}};
  EXPECT_EQ(Links(world), want);
}

TEST(VrmlScan, RewrittenLinksRoundTrip) {
  QByteArray out;
  QBuffer w(&out);
  w.open(QIODevice::WriteOnly);
  w.write("WWWAnchor { name ");
  TVRMLParser::WriteLink(w, "local/p.htm", "http://h/p.htm");
  w.write("}\r\nTexture2 { filename \"t.gif\" }");
  EXPECT_EQ(out, QByteArray("WWWAnchor { name \"local/p.htm\" #OLDREF=\"http://h/p.htm\"\r\n}\r\n"
                            "Texture2 { filename \"t.gif\" }"));
  const std::vector<Found> want = {{"local/p.htm", "http://h/p.htm", true}, {"t.gif", "", false}};
  EXPECT_EQ(Links(out), want);

  QBuffer b(&out);
  b.open(QIODevice::ReadOnly);
  TVRMLParser parser(b);
  std::int64_t pos = 0;
  int len = 0;
  ASSERT_TRUE(parser.GetLinkPosition(0, pos, len));
  // A rewritten link runs to the end of its line, comment included.
  EXPECT_EQ(out.mid(pos, len), QByteArray("\"local/p.htm\" #OLDREF=\"http://h/p.htm\""));
  EXPECT_FALSE(parser.GetLinkPosition(2, pos, len));
  std::string url, old;
  EXPECT_FALSE(parser.GetLink(-1, url, old));
}

TEST(VrmlScan, PositionsAcrossChunksLongLinesAndManyLinks) {
  // Links past the 800-byte read chunks keep their stream positions; a
  // line is cut after 256 bytes; more than 201 links are all kept.
  QByteArray text;
  for (int i = 0; i < 300; ++i) text += "Texture2 { filename \"t" + QByteArray::number(i) + ".gif\" }\n";
  text += QByteArray(250, ' ') + "name \"split.gif\"\n";  // crosses the cut
  text += QByteArray(300, 'x') + " name \"after.gif\"\n";
  const std::vector<Found> got = Links(text);
  ASSERT_EQ(got.size(), 301u);
  EXPECT_EQ(got[0].url, "t0.gif");
  EXPECT_EQ(got[299].url, "t299.gif");
  EXPECT_EQ(got[300].url, "after.gif");
  EXPECT_TRUE(Links(QByteArray()).empty());
  EXPECT_TRUE(Links(QByteArray(5000, '"')).empty());
}

}  // namespace
