#include "Web.h"

#include <QBuffer>
#include <gtest/gtest.h>

#include "TempRoot.h"
#include "Urlutil.h"
#include "Utils.h"

using namespace qlon;

namespace {

class WebTest : public ::testing::Test {
 protected:
  std::string Area() { return qlon::test::ReadFileBytes(path_).substr(0, kWebHeaderSize); }
  void Fill(TWeb& web) {
    web.SetTitle(std::string(200, 't'));
    web.StartEntries = {{"http://a.example/", "u", "p", "x"}, {"http://b.example/x/", "", "", ""}};
    web.RetrievedCount = 5;
    web.ErrorCount = 2;
    web.MimeCategorySet = 0x45;
    web.Options.SetDefault(3);
    web.Options.MaxTime = 12;
    web.Options.BackgroundOnlyFlag = true;
    web.TotalSize = 123456;
    web.CaptureDate = 36526.5;
    web.Identities.SetIdentity("site", "bob", "secret");
    web.Maps.AddMap("http://a.example/i.gif", "i.gif", "i.map", "T", "http://a.example/m", "http://a.example/", "");
    web.HostAddresses.AddPair("10.0.0.1", "a.example");
    web.Info.FirstDate = 36000.25;
    web.Info.Counters[5] = -7;
  }
  qlon::test::TempDir dir_;
  std::filesystem::path path_ = dir_.path() / "local.web";
};

}  // namespace

TEST_F(WebTest, NewFileHasTheHeaderAreaThenTheTree) {
  TWeb web;
  web.CreateNew(path_);
  web.Close();
  const std::string bytes = qlon::test::ReadFileBytes(path_);
  ASSERT_GT(bytes.size(), size_t(kWebHeaderSize) + TUrlBTree::kHeaderBlock - 1);
  EXPECT_EQ(bytes.substr(0, 14), std::string("\x05MQLON\x01\x02\x04" "2.03\x00", 14));
  const QByteArray header = web.HeaderBytes();
  EXPECT_EQ(bytes.substr(0, size_t(header.size())), header.toStdString());
  EXPECT_GE(bytes.find_first_not_of('\0', size_t(header.size())), size_t(kWebHeaderSize));  // zeros up to the tree
}

TEST_F(WebTest, HeaderRoundTripAndStableSaves) {
  {
    TWeb web;
    Fill(web);
    web.CreateNew(path_);
    TWebFile r(&web);
    ASSERT_TRUE(web.AddUrl("http://a.example/page.htm", r));
    ASSERT_TRUE(web.Save());
    const std::string first = Area();
    ASSERT_TRUE(web.Save());
    EXPECT_EQ(Area(), first);
  }
  TWeb back;
  ASSERT_EQ(back.Open(path_), wlOk);
  EXPECT_EQ(back.GetTitle(), std::string(128, 't'));
  ASSERT_EQ(back.StartEntries.size(), 2u);
  EXPECT_EQ(back.StartEntries[0].Extra, "x");
  EXPECT_EQ(back.StartEntries[1].Url, "http://b.example/x/");
  EXPECT_EQ(back.ErrorCount, 2);
  EXPECT_EQ(back.MimeCategorySet, 0x45);
  EXPECT_EQ(back.Options.MaxTime, 12);
  EXPECT_TRUE(back.Options.InternalPathLimit);
  EXPECT_TRUE(back.Options.BackgroundOnlyFlag);
  EXPECT_EQ(back.TotalSize, 123456);
  EXPECT_DOUBLE_EQ(back.CaptureDate, 36526.5);
  std::string user, password;
  EXPECT_TRUE(back.Identities.GetIdentity(back.Identities.IndexOf("site"), user, password));
  EXPECT_EQ(password, "secret");
  ASSERT_EQ(back.Maps.Count(), 1);
  EXPECT_EQ(back.Maps[0].MapFile, "i.map");
  EXPECT_EQ(back.HostAddresses.Lines(), (StringList{"10.0.0.1", "a.example"}));
  EXPECT_DOUBLE_EQ(back.Info.FirstDate, 36000.25);
  EXPECT_EQ(back.Info.Counters[5], -7);
  TWebFile r(&back);
  EXPECT_TRUE(back.FindUrl("http://a.example/page.htm", r));
  EXPECT_EQ(ReadWebTitle(path_), std::string(128, 't'));
  back.SetTitle("Renamed");
  EXPECT_EQ(ReadWebTitle(path_, &back), "Renamed");
}

TEST_F(WebTest, AHeaderThatWouldReachTheTreeIsRefused) {
  TWeb web;
  web.CreateNew(path_);
  TWebFile r(&web);
  ASSERT_TRUE(web.AddUrl("http://a.example/kept.htm", r));
  ASSERT_TRUE(web.Save());
  const std::string before = qlon::test::ReadFileBytes(path_);

  const std::string longText(250, 'm');
  for (int i = 0; i < 30; ++i) web.Maps.AddMap(longText, longText, longText, longText, longText, longText, longText);
  EXPECT_THROW(web.Save(), ECaptureHeaderTooLarge);
  EXPECT_EQ(qlon::test::ReadFileBytes(path_), before);

  web.Maps.Clear();
  for (int i = 0; i < 50; ++i) web.Options.MimeList().AddType("x/t" + std::to_string(i), "e", 0, mcAutre, true);
  ASSERT_TRUE(web.Save());
  web.Close();
  TWeb back;
  ASSERT_EQ(back.Open(path_), wlOk);
  EXPECT_NE(back.Options.MimeList().FindType("x/t49"), nullptr);
  TWebFile k(&back);
  EXPECT_TRUE(back.FindUrl("http://a.example/kept.htm", k));
  back.CheckTree();
}

TEST_F(WebTest, BadFilesAreRefusedWithTheirReason) {
  TWeb web;
  qlon::test::WriteFileBytes(path_, std::string(6000, 'x'));
  EXPECT_EQ(web.Open(path_), wlNotWeb);
  qlon::test::WriteFileBytes(path_, std::string("\x05MQLON\x03\x02", 8) + std::string(6000, '\0'));
  EXPECT_EQ(web.Open(path_), wlNewer);  // 515
  qlon::test::WriteFileBytes(path_, std::string("\x05MQLON\x01\x02\x04" "2.03\x03" "abc\x05", 18));
  EXPECT_EQ(web.Open(path_), wlReadError);
  EXPECT_FALSE(web.IsFileOpen());
  EXPECT_EQ(ReadWebTitle(path_), "abc");
  EXPECT_THROW(web.Open(dir_.path() / "missing.web"), EWebStream);
}

TEST_F(WebTest, Version512HeaderIsConverted) {
  TWeb source;
  Fill(source);
  source.Maps.Clear();  // maps of that version have one text less
  source.CreateNew(path_);
  const QByteArray header = source.HeaderBytes();
  source.Close();
  // Rewrite items 2 to 5 in the older layout: one start URL, two skipped texts, the title.
  std::string bytes = qlon::test::ReadFileBytes(path_);
  const size_t rest = 6 + 2 + 5 + 129 + 2 + (1 + 17 + 2 + 2 + 2) + (1 + 19 + 1 + 1 + 1);
  std::string old = std::string("\x05MQLON\x00\x02", 8) + "\x11http://a.example/" + "\x01s\x01s" + "\x03Old";
  old += header.toStdString().substr(rest);
  old.resize(kWebHeaderSize, '\0');
  bytes.replace(0, old.size(), old);
  qlon::test::WriteFileBytes(path_, bytes);
  TWeb back;
  ASSERT_EQ(back.Open(path_), wlOk);
  EXPECT_EQ(back.GetTitle(), "Old");
  ASSERT_EQ(back.StartEntries.size(), 1u);
  EXPECT_EQ(back.StartEntries[0].Url, "http://a.example/");
  EXPECT_EQ(back.RetrievedCount, 5);
  EXPECT_EQ(back.TotalSize, 123456);
}

TEST_F(WebTest, RecordsReachTheCaptureMimeTable) {
  TWeb web;
  web.CreateNew(path_);
  TWebFile r(&web);
  ASSERT_TRUE(web.AddUrl("http://a.example/scene", r));
  EXPECT_EQ(GetMimeItem(r), &DefaultMimeItem());
  EXPECT_EQ(r.GetMimeNaming().Category, -1);

  SetContentType(r, "x-world/x-vrml", "wrl");
  EXPECT_TRUE(IsVrml(r));
  EXPECT_EQ(GetContentType(r), "x-world/x-vrml");
  SetContentType(r, "image/webp", "webp");
  EXPECT_TRUE(IsImage(r));
  EXPECT_EQ(r.GetMimeIndex(), 14);
  EXPECT_EQ(r.GetMimeNaming().Category, mcImage);
  EXPECT_EQ(r.GetMimeNaming().Extensions, (std::vector<std::string>{"webp"}));
  EXPECT_TRUE(web.Options.MimeList().FindType("image/webp")->IsUsed());
  EXPECT_TRUE(web.MimeCategorySet & (1u << mcImage));

  while (web.Options.MimeList().Count() < kMimeMaxSlots)
    web.Options.MimeList().AddType("f/" + std::to_string(web.Options.MimeList().Count()), "", 0, mcAutre, true);
  SetContentType(r, "a/full", "z");
  EXPECT_EQ(r.GetMimeIndex(), 0);

  web.Options.UseWebStructureFlag = true;
  web.ApplyOptions();
  EXPECT_TRUE(web.NameOptions.UseWebStructure);
}

// The counters as any reader of the format sees them: items 1 to 6 of the
// header read with the format's own primitives (short strings, signed
// little-endian 16-bit integers), nothing of ours.
std::vector<int16_t> CountersAsTheFormatReadsThem(const std::string& area) {
  size_t at = 0;
  auto shortString = [&] { at += 1 + uint8_t(area.at(at)); };
  auto int16 = [&] {
    const auto v = int16_t(uint16_t(uint8_t(area.at(at))) | uint16_t(uint8_t(area.at(at + 1))) << 8);
    at += 2;
    return v;
  };
  shortString();  // magic
  int16();        // version
  shortString();  // program version
  shortString();  // title
  for (int16_t n = int16(); n > 0; --n)
    for (int text = 0; text < 4; ++text) shortString();
  std::vector<int16_t> counters;
  for (int i = 0; i < 5; ++i) counters.push_back(int16());
  return counters;
}

TEST_F(WebTest, LargeCountsSaturateAtTheSigned16BitMaximum) {
  {
    TWeb web;
    web.StartEntries = {{"http://a.example/", "", "", ""}};
    web.CreateNew(path_);
    web.RetrievedCount = 40000;
    web.FilteredCount = 300000;
    web.NotFoundCount = 32768;
    web.ErrorCount = 32767;
    web.MimeCategorySet = 0x7F;
    ASSERT_TRUE(web.Save());
    EXPECT_EQ(web.FilteredCount, 300000u) << "the counts in memory are not cut";
    EXPECT_EQ(CountersAsTheFormatReadsThem(Area()), (std::vector<int16_t>{32767, 32767, 32767, 32767, 0x7F}));
    web.FilteredCount = 12;
    ASSERT_TRUE(web.Save());
    EXPECT_EQ(CountersAsTheFormatReadsThem(Area())[1], 12);
  }
  TWeb back;
  ASSERT_EQ(back.Open(path_), wlOk);
  EXPECT_EQ(back.FilteredCount, 12u);
  EXPECT_EQ(back.RetrievedCount, 0u) << "a saturated count is the records' count: none";
}

TEST_F(WebTest, SaturatedCountsAreCountedAgainFromTheRecordsAtOpen) {
  // Around the header's limit N = 32,767: retrieved N+1, errors N, not
  // found N-1 records; the filtered count is one the records do not hold.
  const std::pair<TWebFileState, int> kinds[] = {{fsRetrieved, 32768}, {fsError, 32767}, {fsNotFound, 32766}};
  {
    TWeb web;
    web.CreateNew(path_);
    for (const auto& [state, n] : kinds)
      for (int i = 0; i < n; ++i) {
        TWebFile r(&web);
        ASSERT_TRUE(web.AddUrl("http://a.example/" + std::to_string(state) + "/" + std::to_string(i), r));
        r.SetState(state);
        r.SaveChanges();
      }
    web.RetrievedCount = 32768;
    web.ErrorCount = 32767;
    web.NotFoundCount = 32766;
    web.FilteredCount = 5;
    ASSERT_TRUE(web.Save());
    EXPECT_EQ(CountersAsTheFormatReadsThem(Area()), (std::vector<int16_t>{32767, 5, 32766, 32767, 0}));
  }
  for (int pass = 0; pass < 2; ++pass) {
    TWeb back;
    ASSERT_EQ(back.Open(path_), wlOk);
    EXPECT_EQ(back.RetrievedCount, 32768u) << pass;
    EXPECT_EQ(back.ErrorCount, 32767u) << pass;
    EXPECT_EQ(back.NotFoundCount, 32766u) << "below the limit the header is true";
    EXPECT_EQ(back.FilteredCount, 5u);
    back.Close();
    EXPECT_EQ(CountersAsTheFormatReadsThem(Area()), (std::vector<int16_t>{32767, 5, 32766, 32767, 0}))
        << "the header stays in its form";
  }
}

TEST_F(WebTest, NewTypesJavaClassesAndEmptyTypes) {
  TWeb web;
  web.CreateNew(path_);
  TMimeList& mime = web.Options.MimeList();
  const int count = mime.Count();
  TWebFile r(&web);
  ASSERT_TRUE(web.AddUrl("http://a.example/x", r));
  for (bool capture : {false, true}) {
    web.Options.NewMimeValidStateFlag = capture;
    const std::string type = capture ? "application/x-taken" : "application/x-left";
    SetContentType(r, type, "bin");
    const TMimeItem* item = mime.FindType(type);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->IsEnabled(), capture) << type;
    EXPECT_TRUE(item->IsUsed());
    EXPECT_EQ(item->Category, mcAutre);
    EXPECT_EQ(r.GetMimeIndex(), mime.IndexOf(item) + 1);
  }
  SetContentType(r, "", "bin");
  EXPECT_EQ(r.GetMimeIndex(), 0);
  EXPECT_EQ(mime.Count(), count + 2);  // no empty type added

  TWebFile applet(&web);
  ASSERT_TRUE(web.AddUrl("http://a.example/App.class", applet));
  MakeJavaClass(applet);
  const TMimeItem* classes = mime.FindExtension("class");
  ASSERT_NE(classes, nullptr);
  EXPECT_EQ(applet.GetMimeIndex(), mime.IndexOf(classes) + 1);
  SetContentType(applet, "application/x-served-as", "class");
  EXPECT_EQ(GetMimeItem(applet), classes);
  EXPECT_EQ(mime.FindType("application/x-served-as"), nullptr);
}

// The capture's host list follows the URL model while the file is open,
// reaches the file at a save and comes back at the next open.
TEST_F(WebTest, HostListIsBoundWhileOpenAndKeptInTheFile) {
  ClearHostAliases();
  {
    TWeb web;
    web.CreateNew(path_);
    TWebFile r(&web);
    ASSERT_TRUE(web.AddUrl("http://10.1.1.1/early.htm", r));  // before its name is known
    AddHostAlias("named.example", "10.1.1.1");
    TWebFile late(&web);
    ASSERT_TRUE(web.AddUrl("http://10.1.1.1/late.htm", late));
    EXPECT_EQ(late.FullUrl, "http://named.example/late.htm");
    // The record filed under the address is found by either form.
    TWebFile found(&web);
    EXPECT_TRUE(web.FindUrl("http://named.example/early.htm", found));
    EXPECT_TRUE(web.FindUrl("http://10.1.1.1/early.htm", found));
    EXPECT_EQ(found.FullUrl, "http://10.1.1.1/early.htm");
    TUrl("http://10.2.2.2/");
    {
      // Opened and closed over it: the capture gets its list back.
      TWeb other;
      other.CreateNew(dir_.path() / "other.web");
      TUrl("http://10.3.3.3/");
    }
    TUrl("http://10.4.4.4/");
    web.Close();
  }
  ClearHostAliases();
  TWeb back;
  ASSERT_EQ(back.Open(path_), wlOk);
  EXPECT_EQ(back.HostAddresses.Lines(),
            (StringList{"10.1.1.1", "named.example", "10.2.2.2", "", "10.4.4.4", ""}));
  TUrl("http://10.5.5.5/");
  EXPECT_EQ(back.HostAddresses.PairCount(), 4);
  TWebFile r(&back);
  EXPECT_TRUE(back.FindUrl("http://named.example/early.htm", r));
  ClearHostAliases();
}

TEST_F(WebTest, AHostListLargerThanTheHeaderKeepsTheNamedPairs) {
  ClearHostAliases();
  TWeb web;
  web.CreateNew(path_);
  for (int i = 0; i < 600; ++i) TUrl("http://10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + "/");
  AddHostAlias("late.example", "10.0.2.99");
  ASSERT_TRUE(web.Save());
  web.Close();
  TWeb back;
  ASSERT_EQ(back.Open(path_), wlOk);
  EXPECT_GT(back.HostAddresses.PairCount(), 100);
  EXPECT_LT(back.HostAddresses.PairCount(), 600);
  EXPECT_EQ(back.HostAddresses.GetKey(0), "10.0.2.99");
  EXPECT_EQ(back.HostAddresses.GetValue(0), "late.example");
  EXPECT_EQ(back.HostAddresses.GetKey(1), "10.0.0.0");
  ClearHostAliases();
}

// ---------------------------------------------------------------- the host list's place

class HostListLayout : public WebTest {
 protected:
  // A capture with statistics and no host list: its header ends with them.
  QByteArray HeaderWithoutList() {
    TWeb web;
    Fill(web);
    web.HostAddresses = TDoubleList();
    web.CreateNew(path_);
    TWebFile r(&web);
    EXPECT_TRUE(web.AddUrl("http://a.example/page.htm", r));
    web.Close();
    const QByteArray header = web.HeaderBytes();
    EXPECT_EQ(GetLE16(reinterpret_cast<const uint8_t*>(header.constData()) + kVersionAt), 513);
    return header;
  }
  void PutHeader(const QByteArray& header) {
    std::string bytes = qlon::test::ReadFileBytes(path_);
    bytes.replace(0, kWebHeaderSize, header.toStdString() + std::string(kWebHeaderSize - size_t(header.size()), '\0'));
    qlon::test::WriteFileBytes(path_, bytes);
  }
  void ExpectListAndStatistics(const std::string& what) {
    ClearHostAliases();
    TWeb web;
    ASSERT_EQ(web.Open(path_), wlOk) << what;
    EXPECT_EQ(web.HostAddresses.Lines(), (StringList{"10.0.0.1", "a.example", "192.168.100.200", ""})) << what;
    EXPECT_DOUBLE_EQ(web.Info.FirstDate, 36000.25) << what;
    EXPECT_EQ(web.Info.Counters[5], -7) << what;
    EXPECT_EQ(web.Info.Counters[0], 0) << what;
    EXPECT_EQ(web.RetrievedCount, 5u) << what;
    EXPECT_EQ(web.GetCount(), 1u) << what;
    web.Close();
    ClearHostAliases();
  }
  // The file holds version 513 with the lines right after the image maps
  // (where `header`, written without a list, has its statistics) and the
  // statistics right after them.
  void ExpectFormatsLayout(const QByteArray& header, qsizetype statistics) {
    const std::string area = Area();
    EXPECT_EQ(GetLE16(reinterpret_cast<const uint8_t*>(area.data()) + kVersionAt), 513);
    EXPECT_EQ(area.substr(0, size_t(header.size()) + size_t(kLines.size())),
              (header.left(statistics) + kLines + header.mid(statistics)).toStdString());
  }
  static inline const QByteArray kLines = "10.0.0.1\r\na.example\r\n192.168.100.200\r\n\r\n";
};

TEST_F(HostListLayout, Version513InTheFormatsOrderIsReadAndKeptByAReopen) {
  const QByteArray header = HeaderWithoutList();
  const qsizetype statistics = header.size() - 40;
  PutHeader(header.left(statistics) + kLines + header.mid(statistics));
  ExpectListAndStatistics("the format's order");
  // That open's close wrote the same layout back, still as 513, which
  // every reader of the format reads.
  ExpectFormatsLayout(header, statistics);
  ExpectListAndStatistics("reopened after its close");
  ExpectListAndStatistics("and once more");
}

TEST_F(HostListLayout, Version514IsReadAndWrittenBackAs513InTheFormatsPlace) {
  const QByteArray header = HeaderWithoutList();
  const qsizetype statistics = header.size() - 40;
  QByteArray counted = header.left(statistics) + QByteArray("\x02\x00", 2) + kLines + header.mid(statistics);
  PutLE16(reinterpret_cast<uint8_t*>(counted.data()) + kVersionAt, 514);
  PutHeader(counted);
  ExpectListAndStatistics("version 514");
  ExpectFormatsLayout(header, statistics);
}

TEST_F(HostListLayout, Version513AsThisProgramWroteItIsStillRead) {
  const QByteArray header = HeaderWithoutList();
  PutHeader(header + QByteArray("\x02\x00", 2) + kLines);
  ExpectListAndStatistics("statistics first");
}

TEST_F(HostListLayout, AnEmptyListStaysVersion513AndTextThatIsNoListIsNotTakenForOne) {
  const QByteArray header = HeaderWithoutList();
  PutHeader(header);
  {
    TWeb web;
    ASSERT_EQ(web.Open(path_), wlOk);
    EXPECT_EQ(web.HostAddresses.PairCount(), 0);
    EXPECT_DOUBLE_EQ(web.Info.FirstDate, 36000.25);
    web.Close();
  }
  EXPECT_EQ(Area().substr(0, size_t(header.size())), header.toStdString()) << "the same bytes";
  // Lines in the format's place whose first is not an address, or that run
  // into statistics that are no dates, are not a list.
  const qsizetype statistics = header.size() - 40;
  for (const QByteArray& lines : {QByteArray("a.example\r\n10.0.0.1\r\n"), QByteArray("10.0.0.1\r\na.example\r\n")}) {
    const QByteArray tail = lines.startsWith("a.") ? header.mid(statistics) : QByteArray(40, 'x');
    PutHeader(header.left(statistics) + lines + tail);
    TWeb web;
    const TWebLoadResult result = web.Open(path_);
    if (result == wlOk) {
      EXPECT_EQ(web.HostAddresses.PairCount(), 0) << lines.toStdString();
    }
    web.DiscardTree();
  }
}

// A damaged header whose statistics are no dates, with a counted list after
// them, still opens; what its save writes opens again with the same list.
TEST_F(HostListLayout, StatisticsThatAreNoDatesAreSavedAsNoDateAndReopen) {
  const QByteArray header = HeaderWithoutList();
  const qsizetype statistics = header.size() - 40;
  PutHeader(header.left(statistics) + QByteArray(16, 'x') + header.mid(statistics + 16) +
            QByteArray("\x01\x00", 2) + "10.0.0.1\r\na.example\r\n");
  for (const char* what : {"damaged", "saved"}) {
    ClearHostAliases();
    TWeb web;
    ASSERT_EQ(web.Open(path_), wlOk) << what << ": " << web.LoadError();
    EXPECT_EQ(web.HostAddresses.Lines(), (StringList{"10.0.0.1", "a.example"})) << what;
    EXPECT_EQ(web.Info.Counters[5], -7) << what;
    if (std::string(what) == "saved") EXPECT_EQ(web.Info.FirstDate, StoredToDate(0));
    ASSERT_TRUE(web.Save());
    web.Close();
  }
  ClearHostAliases();
}
