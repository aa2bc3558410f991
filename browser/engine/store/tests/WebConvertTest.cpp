// Capture files of the versions before 512, written byte by byte, and their
// conversion to the current form when opened.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>

#include "TempRoot.h"
#include "Utils.h"
#include "Web.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

struct Bytes {
  std::string b;
  Bytes& Str(const std::string& s) {
    b += char(s.size());
    b += s;
    return *this;
  }
  Bytes& I16(int v) {
    b += char(v & 0xFF);
    b += char((v >> 8) & 0xFF);
    return *this;
  }
  Bytes& I32(int32_t v) {
    for (int i = 0; i < 4; ++i) b += char((uint32_t(v) >> (8 * i)) & 0xFF);
    return *this;
  }
  Bytes& Byte(int v) {
    b += char(v);
    return *this;
  }
  Bytes& Double(double v) {
    char raw[8];
    std::memcpy(raw, &v, 8);  // little-endian machine
    b.append(raw, 8);
    return *this;
  }
};

using Map = std::array<std::string, 6>;  // image file, map file, map URL, title, page URL, target

// A version 19 header: the 512 layout up to the image maps, options with the
// two texts of that version and MaxDiskSize in kilobytes, a MIME table of
// version 1; nothing after the maps.
std::string OldHeader(const std::vector<Map>& maps, int mimeVersion = 1) {
  Bytes h;
  h.Str("MQLON").I16(19);
  h.Str("http://old.example/").Str("a").Str("b").Str("Old title");
  h.I16(7).I16(3).I16(2).I16(1).I16(0x05);  // retrieved, filtered, not found, errors, categories
  h.Byte(1).Byte(0).Byte(0);                // external, internal path limits, RefLimit
  h.I16(5).I16(1).I16(2);                   // link depths
  h.I16(100).I16(0).I16(0).I16(2048).I16(30);  // counts and limits, MaxDiskSize 2048 KB
  for (int f : {1, 0, 0, 1, 0, 0, 0}) h.Byte(f);
  h.Str("old").Str("");                     // the texts of that version
  h.I16(0).I16(0).I32(0);                   // empty filter tree
  h.I16(mimeVersion).I16(1).Str("text/html").Str("htm").Byte(0).Byte(1);  // MIME v1, one enabled type
  h.I32(4096).Byte(1).Double(DateToStored(36526.0));
  h.I16(1).Str("site").Str("bob").Str("secret");
  h.I16(int(maps.size()));
  for (const Map& m : maps)
    for (const std::string& s : m) h.Str(s);
  return h.b;
}

const Map kMap = {"i.gif", "i.map", "http://old.example/m", "T", "http://old.example/", ""};

class WebConvertTest : public ::testing::Test {
 protected:
  // A file whose tree holds two records, behind the given header.
  void WriteOldFile(const std::string& header) {
    {
      TWeb web;
      web.CreateNew(path_);
      TWebFile r(&web);
      ASSERT_TRUE(web.AddUrl("http://old.example/a.htm", r));
      ASSERT_TRUE(web.AddUrl("http://old.example/sub/b.gif", r));
    }
    std::string bytes = test::ReadFileBytes(path_);
    ASSERT_LE(header.size(), size_t(kWebHeaderSize));
    tree_ = bytes.substr(kWebHeaderSize);
    std::string area = header;
    area.resize(kWebHeaderSize, '\0');
    test::WriteFileBytes(path_, area + tree_);
  }

  test::TempDir dir_;
  fs::path path_ = dir_.path() / "local.web";
  std::string tree_;
};

TEST_F(WebConvertTest, OldFileIsReadAndRewrittenInTheCurrentForm) {
  WriteOldFile(OldHeader({kMap}));
  TWeb web;
  ASSERT_EQ(web.Open(path_), wlOk);
  EXPECT_EQ(web.FileVersion(), kWebFileVersion);
  EXPECT_EQ(web.GetTitle(), "Old title");
  ASSERT_EQ(web.StartEntries.size(), 1u);
  EXPECT_EQ(web.StartEntries[0].Url, "http://old.example/");
  EXPECT_EQ(web.RetrievedCount, 7u);
  EXPECT_EQ(web.ErrorCount, 1u);
  EXPECT_EQ(web.MimeCategorySet, 0x05);
  EXPECT_TRUE(web.Options.ExternalPathLimit);
  EXPECT_EQ(web.Options.InternalLinkDepth, 5);
  EXPECT_EQ(web.Options.MaxDiskSize, 2) << "kilobytes of that version become megabytes";
  EXPECT_EQ(web.Options.MaxTime, 30);
  const TMimeItem* html = web.Options.MimeList().FindType("text/html");
  ASSERT_NE(html, nullptr);
  EXPECT_EQ(html->Extensions, "htm,html,shtml,map");
  EXPECT_EQ(web.TotalSize, 4096);
  EXPECT_TRUE(web.Options.BackgroundOnlyFlag);
  EXPECT_DOUBLE_EQ(web.CaptureDate, 36526.0);
  std::string user, password;
  EXPECT_TRUE(web.Identities.GetIdentity(web.Identities.IndexOf("site"), user, password));
  EXPECT_EQ(password, "secret");
  ASSERT_EQ(web.Maps.Count(), 1);
  EXPECT_EQ(web.Maps[0].MapUrl, "http://old.example/m");
  EXPECT_EQ(web.Maps[0].ImageUrl, "");
  EXPECT_EQ(web.HostAddresses.Count(), 0);
  EXPECT_EQ(web.Info.Counters[0], 0);
  TWebFile r(&web);
  EXPECT_TRUE(web.FindUrl("http://old.example/sub/b.gif", r));

  // On disk already, before any save: the current header, the same tree,
  // no journal left behind.
  const std::string disk = test::ReadFileBytes(path_);
  const QByteArray header = web.HeaderBytes();
  EXPECT_TRUE(disk.substr(0, size_t(header.size())) == header.toStdString());
  EXPECT_TRUE(disk.substr(kWebHeaderSize) == tree_);
  EXPECT_FALSE(fs::exists(TWebStream::JournalPath(path_)));
  web.Close();

  // Read again as a current file: nothing converted twice.
  TWeb again;
  ASSERT_EQ(again.Open(path_), wlOk);
  EXPECT_EQ(again.Options.MaxDiskSize, 2);
  EXPECT_EQ(again.GetTitle(), "Old title");
  EXPECT_EQ(ReadWebTitle(path_), "Old title");
  again.CheckTree();
}

TEST_F(WebConvertTest, OldFilesThatCannotBeConvertedAreLeftAsTheyAre) {
  // A MIME table of an unknown version inside the options.
  WriteOldFile(OldHeader({kMap}, 99));
  std::string before = test::ReadFileBytes(path_);
  TWeb web;
  EXPECT_EQ(web.Open(path_), wlReadError);
  EXPECT_TRUE(test::ReadFileBytes(path_) == before);

  // Long maps: the old header fits its area, the current form would not.
  std::vector<Map> maps;
  for (size_t size = OldHeader(maps).size(); size + 7 <= kWebHeaderSize - 20; size = OldHeader(maps).size())
    maps.push_back({"", "", "", std::string(std::min<size_t>(250, kWebHeaderSize - 20 - size - 6), 'm'), "", ""});
  const std::string header = OldHeader(maps);
  ASSERT_LT(header.size(), size_t(kWebHeaderSize));
  WriteOldFile(header);
  before = test::ReadFileBytes(path_);
  EXPECT_EQ(web.Open(path_), wlError);
  EXPECT_FALSE(web.IsFileOpen());
  EXPECT_TRUE(test::ReadFileBytes(path_) == before);
  EXPECT_EQ(ReadWebTitle(path_), "Old title");

  // Version 0 was never written.
  std::string zero = OldHeader({});
  zero[6] = 0;
  WriteOldFile(zero);
  EXPECT_EQ(web.Open(path_), wlError);
}

}  // namespace
}  // namespace qlon
