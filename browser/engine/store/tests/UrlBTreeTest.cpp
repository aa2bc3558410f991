#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <random>
#include <tuple>

#include "TempRoot.h"
#include "UrlBTree.h"
#include "WebFile.h"

namespace {
using namespace qlon;

constexpr uint64_t kBase = 5120;

uint32_t Le32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) | uint32_t(uint8_t(b[at + 1])) << 8 | uint32_t(uint8_t(b[at + 2])) << 16 |
         uint32_t(uint8_t(b[at + 3])) << 24;
}
uint16_t Le16(const std::string& b, size_t at) { return uint16_t(uint8_t(b[at]) | uint8_t(b[at + 1]) << 8); }

struct RawEntry {
  uint32_t child;
  uint16_t len, a, b;
  std::string s1, s2;
};

std::vector<RawEntry> Entries(const std::string& file, uint64_t pageAt) {
  std::vector<RawEntry> out;
  uint32_t used = Le32(file, pageAt + 4);
  for (size_t q = pageAt + 12; q < pageAt + 12 + used;) {
    RawEntry e{Le32(file, q), Le16(file, q + 4), Le16(file, q + 6), Le16(file, q + 8), {}, {}};
    e.s1 = std::string(file.c_str() + q + 28);
    e.s2 = std::string(file.c_str() + q + 28 + e.s1.size() + 1);
    out.push_back(e);
    q += e.len;
  }
  return out;
}

class BTreeFile : public ::testing::Test {
 protected:
  void SetUp() override { path_ = dir_.path() / "local.web"; }

  void Create(bool sync = true) {
    stream_ = std::make_unique<TWebStream>(path_, TWebStream::Mode::Create);
    stream_->SetSynchronous(sync);
    std::string zeros(kBase, '\0');
    stream_->Write(0, zeros.data(), zeros.size());
    tree_ = std::make_unique<TUrlBTree>();
    tree_->CreateTree(dir_.path().string(), stream_.get(), kBase);
  }
  void Close() {
    if (tree_) tree_->CloseTree();
    tree_.reset();
    stream_.reset();
  }
  // The writer dies: nothing after the last flush reaches the next open.
  void Crash() {
    tree_->DiscardTree();
    tree_.reset();
    stream_.reset();
  }
  void Open(bool sync = true) {
    stream_ = std::make_unique<TWebStream>(path_, TWebStream::Mode::Open);
    stream_->SetSynchronous(sync);
    tree_ = std::make_unique<TUrlBTree>();
    ASSERT_TRUE(tree_->OpenTree(dir_.path().string(), stream_.get(), kBase));
  }
  bool Add(const std::string& url, const std::string& local = "") {
    TWebFile r;
    r.SetLocalName(local);
    return tree_->AddUrl(url, r);
  }
  std::string Bytes() { return qlon::test::ReadFileBytes(path_); }

  qlon::test::TempDir dir_;
  std::filesystem::path path_;
  std::unique_ptr<TWebStream> stream_;
  std::unique_ptr<TUrlBTree> tree_;
};

TEST_F(BTreeFile, NewTreeHasTheEmptyHeaderBlock) {
  Create();
  Close();
  std::string b = Bytes();
  ASSERT_EQ(b.size(), kBase + 7185);
  EXPECT_EQ(Le16(b, kBase), 0);
  EXPECT_EQ(Le16(b, kBase + 2), 0);  // site counter
  EXPECT_EQ(Le32(b, kBase + 4), 0u);  // record count
  EXPECT_EQ(Le32(b, kBase + 8), 0u);  // root's own offset
  EXPECT_EQ(Le32(b, kBase + 12), 0u);  // used
  EXPECT_EQ(Le32(b, kBase + 16), 0xFFFFFFFFu);  // leftmost: a leaf
  EXPECT_EQ(Le32(b, kBase + 7177), 0xFFFFFFFFu);  // free head
  EXPECT_EQ(Le32(b, kBase + 7181), 1u);  // height
}

TEST_F(BTreeFile, FirstRecordMakesSiteFoldersAndMarkers) {
  Create();
  ASSERT_TRUE(Add("http://Host.example/dir/page.htm?x=1", "host.example/dir/page.htm"));
  EXPECT_FALSE(Add("http://host.example/dir/page.htm?x=1"));  // already there
  EXPECT_EQ(tree_->GetCount(), 1u);
  Close();
  std::string b = Bytes();
  EXPECT_EQ(Le16(b, kBase + 2), 1);
  EXPECT_EQ(Le32(b, kBase + 4), 1u);
  auto e = Entries(b, kBase + 8);
  ASSERT_EQ(e.size(), 6u);
  EXPECT_EQ(std::tie(e[0].a, e[0].b, e[0].s1), std::make_tuple(uint16_t(0), uint16_t(1), std::string("http://host.example/")));
  EXPECT_EQ(Le16(b, kBase + 8 + 12 + 26), 2);  // the site's folder counter
  EXPECT_EQ(std::tie(e[1].a, e[1].b, e[1].s1), std::make_tuple(uint16_t(1), uint16_t(0), std::string("http://host.example/")));
  EXPECT_EQ(std::tie(e[2].a, e[2].b, e[2].s1),
            std::make_tuple(uint16_t(1), uint16_t(1), std::string("http://host.example/dir/")));
  EXPECT_EQ(std::tie(e[3].a, e[3].b), std::make_tuple(uint16_t(1), uint16_t(0x8000)));
  EXPECT_EQ(std::tie(e[4].a, e[4].b), std::make_tuple(uint16_t(1), uint16_t(0x8002)));
  EXPECT_EQ(std::tie(e[5].a, e[5].b, e[5].s1, e[5].s2),
            std::make_tuple(uint16_t(1), uint16_t(0x8003), std::string("page.htm?x=1"),
                            std::string("host.example/dir/page.htm")));
  EXPECT_EQ(e[5].len, 28 + 12 + 1 + 25 + 1);
  for (auto& x : e) EXPECT_EQ(x.child, 0xFFFFFFFFu);
}

// Fills the root with records of one folder until `room` bytes remain.
class SplitPoint : public BTreeFile {
 protected:
  uint32_t RootUsed() {
    tree_->Flush();
    return Le32(Bytes(), kBase + 12);
  }
  void FillTo(uint32_t room) {
    for (int i = 0;; ++i) {
      uint32_t left = 7156 - RootUsed();
      if (left - room < 1053 + 30) break;
      ASSERT_TRUE(Add("http://h/" + std::string(900, 'a') + std::to_string(1000 + i)));
    }
    uint32_t left = 7156 - RootUsed();
    // One more record of the exact size that leaves `room` bytes.
    uint32_t len = left - room;
    ASSERT_GE(len, 60u);
    std::string name = "z" + std::string(len - 30 - 1 - 1, 'q');
    ASSERT_TRUE(Add("http://h/" + name, "x"));
    ASSERT_EQ(RootUsed(), 7156 - room);
  }
};

TEST_F(SplitPoint, FullPageTakesAnEntryThatFitsExactly) {
  Create(false);
  FillTo(100);
  std::string name = "zz" + std::string(100 - 30 - 2, 'r');  // entry of 100 bytes
  ASSERT_TRUE(Add("http://h/" + name));
  EXPECT_EQ(RootUsed(), 7156u);
  EXPECT_EQ(tree_->GetHeight(), 1u);
}

TEST_F(SplitPoint, OneByteMoreSplitsTheRoot) {
  Create(false);
  FillTo(100);
  std::string name = "zz" + std::string(101 - 30 - 2, 'r');
  ASSERT_TRUE(Add("http://h/" + name));
  EXPECT_EQ(tree_->GetHeight(), 2u);
  Close();
  std::string b = Bytes();
  // The root keeps one entry and points at two pages behind the header block.
  auto root = Entries(b, kBase + 8);
  ASSERT_EQ(root.size(), 1u);
  uint32_t left = Le32(b, kBase + 16);
  EXPECT_EQ(root[0].child, 7185u);  // the split's new page comes first
  EXPECT_EQ(left, 7185u + 7169u);
  EXPECT_EQ(b.size(), kBase + 7185 + 2 * 7169);
  Open();
  tree_->CheckTree();
}

// Names that are prefixes of one another, or differ only in their last
// byte, across many pages: each is found as itself, and no name between
// them is found, before and after a reopen.
TEST_F(BTreeFile, NamesThatArePrefixesOfOneAnotherAreFoundAsThemselves) {
  Create(false);
  std::vector<std::string> names;
  for (int i = 0; i < 3000; ++i) names.push_back("p" + std::to_string(i));
  for (const char* tail : {"-", "_", "a", "zz"}) names.push_back(std::string("p1") + tail);
  std::vector<std::string> order = names;
  std::shuffle(order.begin(), order.end(), std::mt19937(33));
  for (const std::string& n : order) ASSERT_TRUE(Add("http://h.example/d/" + n, n + ".htm")) << n;
  EXPECT_GT(tree_->GetHeight(), 1u);
  for (int pass = 0; pass < 2; ++pass) {
    for (const std::string& n : names) {
      TWebFile r;
      ASSERT_TRUE(tree_->FindRecord("http://h.example/d/" + n, r)) << n;
      EXPECT_EQ(r.GetUrl(), n);
      EXPECT_EQ(r.GetLocalName(), n + ".htm");
    }
    for (const char* absent : {"p", "p01", "p3000", "p1!", "p10-", "p29999", "q", "o"}) {
      TWebFile r;
      EXPECT_FALSE(tree_->FindRecord(std::string("http://h.example/d/") + absent, r)) << absent;
    }
    EXPECT_NO_THROW(tree_->CheckTree());
    Close();
    Open(false);
  }
  std::vector<std::string> walked;
  tree_->ForEach([&](TWebFile& r) {
    walked.push_back(r.GetUrl());
    return true;
  });
  std::vector<std::string> sorted = names;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(walked, sorted);
}

TEST_F(BTreeFile, FreedPagesAreReusedAndTheRootCollapses) {
  Create(false);
  std::vector<std::string> urls;
  for (int i = 0; i < 40; ++i) {
    urls.push_back("http://h/" + std::to_string(100 + i) + std::string(400, 'p'));
    ASSERT_TRUE(Add(urls.back()));
  }
  ASSERT_GE(tree_->GetHeight(), 2u);
  uint64_t size = stream_->Size();
  for (auto& u : urls) ASSERT_TRUE(tree_->DeleteUrl(u));
  tree_->Flush();
  tree_->CheckTree();
  std::string b = Bytes();
  EXPECT_EQ(Le32(b, kBase + 16), 0xFFFFFFFFu) << "the root is a leaf again";
  EXPECT_NE(Le32(b, kBase + 7177), 0xFFFFFFFFu) << "pages went to the free chain";
  for (auto& u : urls) ASSERT_TRUE(Add(u));
  EXPECT_EQ(stream_->Size(), size) << "allocations came from the free chain";
  tree_->CheckTree();
}

TEST_F(BTreeFile, FindUrlFollowsFourRedirectsAndStopsOnTheFifth) {
  Create();
  std::vector<std::string> u;
  for (int i = 0; i < 7; ++i) u.push_back("http://h/r" + std::to_string(i) + ".htm");
  for (int i = 0; i < 7; ++i) ASSERT_TRUE(Add(u[i], "h/r" + std::to_string(i) + ".htm"));
  for (int i = 0; i < 6; ++i) {
    TWebFile r, t;
    ASSERT_TRUE(tree_->FindRecord(u[i], r));
    ASSERT_TRUE(tree_->FindRecord(u[i + 1], t));
    ASSERT_TRUE(r.SetRedirect(t));
    ASSERT_TRUE(r.SaveChanges());
  }
  TWebFile r;
  ASSERT_TRUE(tree_->FindUrl(u[2], r));
  EXPECT_EQ(r.FullUrl, u[6]);
  EXPECT_FALSE(r.IsRedirect());
  ASSERT_TRUE(tree_->FindUrl(u[0], r));
  EXPECT_EQ(r.FullUrl, u[4]) << "the fifth record of the chain is returned as it is";
  EXPECT_TRUE(r.IsRedirect());
  EXPECT_EQ(tree_->GetLocalPathOfUrl(u[0]), "") << "a chain too long has no local file";
  EXPECT_EQ(tree_->GetLocalPathOfUrl(u[2]), tree_->GetFolder() + "h/r6.htm");
}

TEST_F(BTreeFile, RecordsThatDoNotFitAreRefused) {
  Create();
  std::string doc(1053 - 30, 'd');
  EXPECT_TRUE(Add("http://h/" + doc.substr(0, doc.size())));
  EXPECT_FALSE(Add("http://h/" + doc + "x"));
  EXPECT_FALSE(Add("http://h/a" + std::string(1, '\0') + "b"));
  TWebFile r;
  ASSERT_TRUE(tree_->FindRecord("http://h/" + doc, r));
  EXPECT_FALSE(r.SetLocalName("x")) << "a longer string 2 would pass the 1053-byte limit";
  EXPECT_EQ(r.GetUrl(), doc);
  EXPECT_EQ(tree_->GetCount(), 1u);
}

// ---------------------------------------------------------------- site and folder numbers

class SiteNumbers : public BTreeFile {
 protected:
  void SetSiteCounter(uint16_t n) {
    Close();
    std::string b = Bytes();
    b[kBase + 2] = char(n & 0xFF);
    b[kBase + 3] = char(n >> 8);
    qlon::test::WriteFileBytes(path_, b);
    Open(false);
  }
  // The records by walk, each found again by its URL, the sites in root-URL
  // order, and the tree sound.
  std::vector<std::string> Walk() {
    tree_->CheckTree();
    std::vector<std::string> seen;
    tree_->ForEach([&](TWebFile& r) {
      seen.push_back(r.FullUrl);
      return true;
    });
    for (const std::string& url : seen) {
      TWebFile r;
      EXPECT_TRUE(tree_->FindRecord(url, r)) << url;
      EXPECT_EQ(r.FullUrl, url);
    }
    EXPECT_EQ(seen.size(), tree_->GetCount());
    std::vector<std::string> sites;
    for (bool ok = tree_->FindFirstSite(); ok && sites.size() < 100; ok = tree_->FindNextSite())
      sites.push_back(tree_->Cursor().FullUrl);
    EXPECT_TRUE(std::is_sorted(sites.begin(), sites.end())) << "sites go by root URL";
    EXPECT_EQ(std::adjacent_find(sites.begin(), sites.end()), sites.end()) << "each site once";
    return seen;
  }
  bool InOverflow(const std::string& url) {
    TWebFile r;
    return tree_->FindRecord(url, r) && tree_->InOverflow(r);
  }
};

TEST_F(SiteNumbers, SitesAcross0x8000StayInRootUrlOrderAndAreFoundAgain) {
  Create(false);
  ASSERT_TRUE(Add("http://seed.example/x.htm"));
  SetSiteCounter(0x7FFD);
  // Numbers 0x7FFE to 0x8001 go to hosts in falling root-URL order; a second
  // folder of each must find its site again instead of making another.
  const std::vector<std::string> hosts = {"http://z.example/", "http://y.example/", "http://x.example/",
                                          "http://w.example/"};
  for (const std::string& h : hosts) ASSERT_TRUE(Add(h + "a.htm")) << h;
  for (const std::string& h : hosts) ASSERT_TRUE(Add(h + "d/b.htm")) << h;
  EXPECT_EQ(tree_->GetSiteCount(), 0x8001);
  const std::vector<std::string> expected = {
      "http://seed.example/x.htm", "http://w.example/a.htm", "http://w.example/d/b.htm", "http://x.example/a.htm",
      "http://x.example/d/b.htm",  "http://y.example/a.htm", "http://y.example/d/b.htm", "http://z.example/a.htm",
      "http://z.example/d/b.htm"};
  EXPECT_EQ(Walk(), expected);
  Close();
  auto e = Entries(Bytes(), kBase + 8);
  std::vector<std::string> roots;
  for (const RawEntry& x : e)
    if (x.a == 0) roots.push_back(x.s1);
  EXPECT_EQ(roots, (std::vector<std::string>{"http://seed.example/", "http://w.example/", "http://x.example/",
                                             "http://y.example/", "http://z.example/"}));
  Open(false);
  EXPECT_EQ(Walk(), expected) << "after a reopen, with nothing remembered";
  ASSERT_TRUE(Add("http://w.example/e/c.htm"));
  EXPECT_FALSE(Add("http://w.example/d/b.htm"));
  EXPECT_EQ(tree_->GetSiteCount(), 0x8001) << "no site was made twice";
}

TEST_F(SiteNumbers, TheLastSiteNumbersThenTheOverflowSite) {
  Create(false);
  ASSERT_TRUE(Add("http://seed.example/x.htm"));
  SetSiteCounter(0xFFFC);
  ASSERT_TRUE(Add("http://n-1.example/a.htm"));  // site 65,533
  ASSERT_TRUE(Add("http://n.example/a.htm"));    // 65,534: the last one of its own
  EXPECT_FALSE(InOverflow("http://n.example/a.htm"));
  ASSERT_TRUE(Add("http://n1.example/a.htm"));  // no number left: the overflow site, 65,535
  ASSERT_TRUE(Add("http://n2.example/d/b.htm?q=1", "n2/b.htm"));
  ASSERT_TRUE(Add("http://n.example/new/c.htm")) << "a numbered site still takes folders";
  EXPECT_FALSE(Add("http://n2.example/d/b.htm?q=1"));
  EXPECT_EQ(tree_->GetSiteCount(), 0xFFFF);
  auto check = [&] {
    Walk();
    EXPECT_FALSE(InOverflow("http://n-1.example/a.htm"));
    EXPECT_FALSE(InOverflow("http://n.example/new/c.htm"));
    EXPECT_TRUE(InOverflow("http://n1.example/a.htm"));
    EXPECT_TRUE(InOverflow("http://n2.example/d/b.htm?q=1"));
    TWebFile r;
    ASSERT_TRUE(tree_->FindRecord("http://n2.example/d/b.htm?q=1", r));
    EXPECT_EQ(r.GetLocalName(), "n2/b.htm");
    ASSERT_TRUE(tree_->FindFirstSite());
    EXPECT_EQ(tree_->Cursor().FullUrl, "") << "the overflow site's root sorts first";
  };
  check();
  Close();
  Open(false);
  check();
  ASSERT_TRUE(Add("http://n3.example/z.htm"));
  EXPECT_TRUE(InOverflow("http://n3.example/z.htm"));
  TWebFile r;
  ASSERT_TRUE(tree_->FindRecord("http://n1.example/a.htm", r));
  EXPECT_TRUE(tree_->DeleteRecord(r));
  EXPECT_FALSE(tree_->FindRecord("http://n1.example/a.htm", r));
  Walk();
}

TEST_F(SiteNumbers, AFileWithEverySiteNumberTakenRefusesANewSite) {
  Create(false);
  ASSERT_TRUE(Add("http://seed.example/x.htm"));
  SetSiteCounter(0xFFFF);  // written before there was an overflow site
  EXPECT_FALSE(Add("http://beyond.example/x")) << "site 0 would be the site entries' key";
  EXPECT_TRUE(Add("http://seed.example/y.htm"));
  tree_->CheckTree();
}

TEST_F(SiteNumbers, TheLastFolderNumbersThenTheOverflowSite) {
  Create(false);
  // Folder 0 is the root; 0x3FFE more make N-1 folders, the next one is the
  // last number (0x3FFF, N), one more finds none (N+1).
  for (int f = 1; f < 0x3FFF; ++f) ASSERT_TRUE(Add("http://h/f" + std::to_string(f) + "/x")) << f;
  ASSERT_TRUE(Add("http://h/last/x"));
  EXPECT_FALSE(InOverflow("http://h/last/x"));
  ASSERT_TRUE(Add("http://h/one-too-many/x"));
  EXPECT_TRUE(InOverflow("http://h/one-too-many/x"));
  EXPECT_TRUE(Add("http://h/f7/y")) << "existing folders still take records";
  EXPECT_FALSE(InOverflow("http://h/f7/y"));
  EXPECT_EQ(tree_->GetCount(), 0x3FFEu + 3);
  Close();
  Open(false);
  EXPECT_EQ(Walk().size(), 0x3FFEu + 3);
  EXPECT_TRUE(InOverflow("http://h/one-too-many/x"));
  EXPECT_FALSE(InOverflow("http://h/last/x"));
}

// A tree written when site entries from number 0x8000 on sorted after the
// others by number, where a site met again got a second number.
class OldSiteOrder : public SiteNumbers {
 protected:
  static std::string Entry(uint16_t a, uint16_t b, const std::string& s1, const std::string& s2 = "",
                           uint16_t folders = 0, uint8_t state = 0) {
    std::string e(28, '\0');
    auto put16 = [&](size_t at, uint16_t v) {
      e[at] = char(v & 0xFF);
      e[at + 1] = char(v >> 8);
    };
    for (int i = 0; i < 4; ++i) e[size_t(i)] = char(0xFF);
    put16(4, uint16_t(28 + s1.size() + 1 + s2.size() + 1));
    put16(6, a);
    put16(8, b);
    e[14] = char(state);
    put16(26, folders);
    return e + s1 + '\0' + s2 + '\0';
  }
  void WriteOldFile() {
    const std::vector<std::string> entries = {
        Entry(0, 1, "http://m.example/", "", 1), Entry(0, 0x8000, "http://z.example/", "", 1),
        Entry(0, 0x8001, "http://a.example/", "", 1), Entry(0, 0x8002, "http://z.example/", "", 2),
        Entry(1, 0, "http://m.example/"), Entry(1, 0x8000, ""), Entry(1, 0x8001, "m.htm"),
        Entry(0x8000, 0, "http://z.example/"), Entry(0x8000, 0x8000, ""), Entry(0x8000, 0x8001, "same.htm"),
        Entry(0x8000, 0x8001, "z1.htm"), Entry(0x8001, 0, "http://a.example/"), Entry(0x8001, 0x8000, ""),
        Entry(0x8001, 0x8001, "a.htm"), Entry(0x8002, 0, "http://z.example/"),
        Entry(0x8002, 1, "http://z.example/sub/"), Entry(0x8002, 0x8000, ""),
        Entry(0x8002, 0x8001, "same.htm", "z/same.htm", 0, uint8_t(fsRetrieved)),
        Entry(0x8002, 0x8001, "z2.htm"), Entry(0x8002, 0x8002, ""), Entry(0x8002, 0x8003, "deep.htm")};
    std::string page;
    for (const std::string& e : entries) page += e;
    std::string block(7185, '\0');
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) block[at + size_t(i)] = char(v >> (8 * i));
    };
    block[2] = char(0x02);
    block[3] = char(0x80);      // site counter 0x8002
    put32(4, 7);                // records
    put32(8 + 4, uint32_t(page.size()));
    put32(8 + 8, 0xFFFFFFFF);   // a leaf root
    block.replace(8 + 12, page.size(), page);
    put32(7177, 0xFFFFFFFF);
    put32(7181, 1);
    qlon::test::WriteFileBytes(path_, std::string(kBase, '\0') + block);
  }
};

TEST_F(OldSiteOrder, IsReorderedAtOpenWithEverythingFoundAndCommitted) {
  WriteOldFile();
  const std::vector<std::string> expected = {"http://a.example/a.htm",  "http://m.example/m.htm",
                                             "http://z.example/same.htm", "http://z.example/z1.htm",
                                             "http://z.example/z2.htm",   "http://z.example/sub/deep.htm"};
  for (int pass = 0; pass < 2; ++pass) {
    Open(false);
    EXPECT_EQ(Walk(), expected) << pass;
    TWebFile r;
    ASSERT_TRUE(tree_->FindRecord("http://z.example/same.htm", r));
    EXPECT_EQ(r.GetState(), fsRetrieved) << "of a URL filed twice, the captured copy stays";
    EXPECT_EQ(r.GetLocalName(), "z/same.htm");
    EXPECT_EQ(tree_->GetCount(), 6u);
    Crash();  // nothing written after the open: the reorder was committed
    EXPECT_FALSE(std::filesystem::exists(TWebStream::JournalPath(path_)));
  }
  Open(false);
  EXPECT_TRUE(Add("http://z.example/sub/more.htm"));
  EXPECT_TRUE(Add("http://b.example/new.htm"));
  EXPECT_EQ(tree_->GetSiteCount(), 0x8003);
  Walk();
}

TEST_F(BTreeFile, RenamedRecordMovesToItsNewKey) {
  Create();
  ASSERT_TRUE(Add("http://h/d/old.htm", "h/d/old.htm"));
  ASSERT_TRUE(Add("http://h/d/taken.htm", "h/d/taken.htm"));
  TWebFile r;
  ASSERT_TRUE(tree_->FindRecord("http://h/d/old.htm", r));
  ASSERT_TRUE(r.SetUrl("new.htm"));
  r.SetState(fsRetrieved);
  ASSERT_TRUE(r.SaveChanges());
  EXPECT_EQ(r.FullUrl, "http://h/d/new.htm");
  EXPECT_FALSE(tree_->FindRecord("http://h/d/old.htm", r));
  ASSERT_TRUE(tree_->FindRecord("http://h/d/new.htm", r));
  EXPECT_EQ(r.GetState(), fsRetrieved);
  EXPECT_EQ(tree_->GetCount(), 2u);
  ASSERT_TRUE(r.SetUrl("taken.htm"));
  EXPECT_FALSE(r.SaveChanges()) << "a rename onto another record is refused";
  ASSERT_TRUE(tree_->FindRecord("http://h/d/taken.htm", r));
  EXPECT_EQ(r.GetLocalName(), "h/d/taken.htm");
}

TEST_F(BTreeFile, ARecordFiledUnderEscapedCharactersIsFoundByEveryForm) {
  Create();
  ASSERT_TRUE(Add("http://h/d/x.htm", "h/d/x.htm"));
  TWebFile r;
  ASSERT_TRUE(tree_->FindRecord("http://h/d/x.htm", r));
  ASSERT_TRUE(r.SetUrl("caf%C3%A9.htm"));  // as a capture filed it before such bytes had one form
  ASSERT_TRUE(r.SaveChanges());
  for (const char* url : {"http://h/d/caf\xC3\xA9.htm", "http://h/d/caf%c3%a9.htm", "http://h/d/caf%C3%A9.htm"}) {
    ASSERT_TRUE(tree_->FindRecord(url, r)) << url;
    EXPECT_EQ(r.GetLocalName(), "h/d/x.htm");
  }
  EXPECT_FALSE(tree_->FindRecord("http://h/d/caf%E9.htm", r));
}

TEST_F(BTreeFile, IterationGoesSiteByFolderByName) {
  Create();
  for (auto u : {"http://b.example/z.htm", "http://b.example/a/y.htm", "http://a.example/x/Q.htm",
                 "http://a.example/x/a.htm", "http://a.example/w.htm", "http://b.example/A.htm"})
    ASSERT_TRUE(Add(u));
  std::vector<std::string> seen;
  tree_->ForEach([&](TWebFile& r) {
    seen.push_back(r.FullUrl);
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"http://a.example/w.htm", "http://a.example/x/Q.htm",
                                            "http://a.example/x/a.htm", "http://b.example/A.htm",
                                            "http://b.example/z.htm", "http://b.example/a/y.htm"}));
  // Walking sites one by one, as callers do.
  std::vector<std::string> sites;
  for (bool ok = tree_->FindFirstSite(); ok; ok = tree_->FindNextSite()) sites.push_back(tree_->Cursor().FullUrl);
  EXPECT_EQ(sites, (std::vector<std::string>{"http://a.example/", "http://b.example/"}));
  ASSERT_TRUE(tree_->FindFirstSite());
  ASSERT_TRUE(tree_->FindNextFolder());
  EXPECT_EQ(tree_->Cursor().FullUrl, "http://a.example/x/");
  ASSERT_TRUE(tree_->FindFirstInFolder());
  EXPECT_EQ(tree_->Cursor().FullUrl, "http://a.example/x/Q.htm");
  ASSERT_TRUE(tree_->FindNextInFolder());
  EXPECT_EQ(tree_->Cursor().FullUrl, "http://a.example/x/a.htm");
  EXPECT_FALSE(tree_->FindNextInFolder());
  EXPECT_EQ(tree_->Cursor().FullUrl, "http://a.example/x/a.htm") << "a failed step restores the cursor";
  // A callback that stops, and one that deletes what it visits.
  int calls = 0;
  EXPECT_FALSE(tree_->ForEach([&](TWebFile&) { return ++calls < 2; }));
  EXPECT_EQ(calls, 2);
  tree_->ForEach([&](TWebFile& r) { return tree_->DeleteRecord(r); });
  EXPECT_EQ(tree_->GetCount(), 0u);
}

TEST_F(BTreeFile, ForEachWritesBackOnlyWhatChanged) {
  Create();
  ASSERT_TRUE(Add("http://h/a.htm", "h/a.htm"));
  ASSERT_TRUE(Add("http://h/b.htm", "h/b.htm"));
  tree_->Flush();
  tree_->ForEach([](TWebFile&) { return true; });
  EXPECT_FALSE(std::filesystem::exists(TWebStream::JournalPath(path_))) << "an idle walk writes nothing";
  tree_->ForEach([](TWebFile& r) {
    if (r.GetUrl() == "a.htm") r.SetLocalName("h/renamed-in-walk.htm");
    return true;
  });
  TWebFile r;
  ASSERT_TRUE(tree_->FindRecord("http://h/a.htm", r));
  EXPECT_EQ(r.GetLocalName(), "h/renamed-in-walk.htm");
}

TEST_F(BTreeFile, ClosedTreeAnswersNothing) {
  TUrlBTree tree;
  TWebFile r;
  EXPECT_EQ(tree.GetCount(), 0u);
  EXPECT_FALSE(tree.AddUrl("http://h/", r));
  EXPECT_FALSE(tree.FindRecord("http://h/", r));
  EXPECT_FALSE(tree.DeleteUrl("http://h/"));
  EXPECT_FALSE(tree.FindFirstSite());
  EXPECT_EQ(tree.GetLocalPathOfUrl("http://h/"), "");
}

// ---------------------------------------------------------------- model

struct Model {
  struct Rec {
    std::string local;
    uint8_t state = 0;
  };
  std::map<std::string, Rec> byUrl;
  // The walk's order: site, folder, name.
  static std::tuple<std::string, std::string, std::string> Order(const std::string& url) {
    size_t host = url.find('/', 7);
    size_t slash = url.rfind('/');
    return {url.substr(0, host + 1), url.substr(0, slash + 1), url.substr(slash + 1)};
  }
  std::vector<std::string> Walk() const {
    std::map<std::tuple<std::string, std::string, std::string>, std::string> o;
    for (auto& [u, r] : byUrl) o[Order(u)] = u;
    std::vector<std::string> out;
    for (auto& [k, u] : o) out.push_back(u);
    return out;
  }
};

class BTreeModel : public BTreeFile {
 protected:
  std::mt19937 rng{20240601};
  int Rand(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); }
  std::string Text(size_t n) {
    static const char chars[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.=&";
    std::string s(n, 'a');
    for (auto& c : s) c = chars[Rand(sizeof chars - 1)];
    return s;
  }
  size_t Length() {
    int r = Rand(100);
    if (r < 70) return 1 + Rand(40);
    if (r < 95) return 40 + Rand(300);
    return 300 + Rand(720);
  }
  std::string Url() {
    std::string u = "http://s" + std::to_string(Rand(6)) + ".example/";
    if (Rand(4)) u += "d" + std::to_string(Rand(30)) + "/";
    return u + "x" + Text(Length());  // never "." or "..", which the URL model resolves
  }
  void Check(const Model& m, const std::vector<std::string>& touched) {
    ASSERT_EQ(tree_->GetCount(), m.byUrl.size());
    // Every fourth key the batch touched, at a random phase.
    for (size_t i = size_t(Rand(4)); i < touched.size(); i += 4) {
      const std::string& u = touched[i];
      TWebFile r;
      auto it = m.byUrl.find(u);
      bool found = tree_->FindRecord(u, r);
      ASSERT_EQ(found, it != m.byUrl.end()) << u;
      if (found) {
        ASSERT_EQ(r.GetLocalName(), it->second.local);
        ASSERT_EQ(r.GetState(), it->second.state);
      }
    }
  }
  void CheckWalk(const Model& m) {
    std::vector<std::string> seen;
    tree_->ForEach([&](TWebFile& r) {
      seen.push_back(r.FullUrl);
      return true;
    });
    ASSERT_EQ(seen, m.Walk());
  }
};

TEST_F(BTreeModel, RandomOperationsMatchAMapAcrossReopensAndCrashes) {
  Create(false);
  Model m;
  // What changed since the last flush, to undo when the writer "dies".
  std::vector<std::pair<std::string, std::optional<Model::Rec>>> undo;
  auto remember = [&](const std::string& u) {
    auto it = m.byUrl.find(u);
    undo.emplace_back(u, it == m.byUrl.end() ? std::nullopt : std::optional<Model::Rec>(it->second));
  };
  std::vector<std::string> live;
  const int kBatches = 200, kOps = 900;
  int inserted = 0, crashes = 0;
  for (int batch = 0; batch < kBatches; ++batch) {
    std::vector<std::string> touched;
    for (int op = 0; op < kOps; ++op) {
      int kind = Rand(100);
      if (kind < 60 || live.empty()) {
        std::string u = Url(), local = Text(Length());
        bool fits = u.size() - u.rfind('/') - 1 + local.size() + 30 <= 1053;
        TWebFile r;
        r.SetStrings("", fits ? local : "");
        if (!fits) local.clear();
        bool fresh = !m.byUrl.count(u);
        ASSERT_EQ(tree_->AddUrl(u, r), fresh);
        if (fresh) {
          remember(u);
          m.byUrl[u] = {local, 0};
          live.push_back(u);
          ++inserted;
        }
        touched.push_back(u);
      } else if (kind < 80) {
        size_t i = size_t(Rand(int(live.size())));
        std::string u = live[i];
        ASSERT_TRUE(tree_->DeleteUrl(u));
        remember(u);
        m.byUrl.erase(u);
        live[i] = live.back();
        live.pop_back();
        touched.push_back(u);
      } else {
        std::string u = live[size_t(Rand(int(live.size())))];
        TWebFile r;
        ASSERT_TRUE(tree_->FindRecord(u, r));
        remember(u);
        auto& rec = m.byUrl[u];
        rec.state = uint8_t(Rand(22));
        r.SetState(TWebFileState(rec.state));
        if (Rand(2)) {
          std::string local = Text(Length());
          if (r.SetLocalName(local)) rec.local = local;
        }
        ASSERT_TRUE(r.SaveChanges());
        touched.push_back(u);
      }
    }
    Check(m, touched);
    if (HasFatalFailure()) return;
    int event = Rand(10);
    if (event == 0) {
      tree_->Flush();
      undo.clear();
      Close();
      Open(false);
    } else if (event == 1) {
      Crash();
      Open(false);
      for (auto it = undo.rbegin(); it != undo.rend(); ++it) {
        if (it->second)
          m.byUrl[it->first] = *it->second;
        else
          m.byUrl.erase(it->first);
      }
      undo.clear();
      ++crashes;
      live.clear();
      for (auto& [u, r] : m.byUrl) live.push_back(u);
      ASSERT_EQ(tree_->GetCount(), m.byUrl.size());
    } else if (event < 5) {
      tree_->Flush();
      undo.clear();
    }
    if (batch % 40 == 39) {
      CheckWalk(m);
      tree_->CheckTree();
    }
    if (HasFatalFailure()) return;
  }
  CheckWalk(m);
  Close();
  Open(false);
  CheckWalk(m);
  EXPECT_GE(inserted, 100000);
  EXPECT_GT(crashes, 5);
  EXPECT_GE(tree_->GetHeight(), 3u);
}

// ---------------------------------------------------------------- damage

class BTreeDamage : public BTreeFile {
 protected:
  void Build() {
    Create(false);
    for (int i = 0; i < 400; ++i) ASSERT_TRUE(Add("http://h/d" + std::to_string(i % 7) + "/" + std::to_string(i) + std::string(60, 'x')));
    for (int i = 0; i < 400; i += 3) ASSERT_TRUE(tree_->DeleteUrl("http://h/d" + std::to_string(i % 7) + "/" + std::to_string(i) + std::string(60, 'x')));
    Close();
    good_ = Bytes();
  }
  // Opens the file and uses it fully; true when it was refused cleanly.
  bool RefusedOrUsable(const std::string& bytes) {
    qlon::test::WriteFileBytes(path_, bytes);
    std::filesystem::remove(TWebStream::JournalPath(path_));
    try {
      TWebStream s(path_, TWebStream::Mode::Open);
      TUrlBTree t;
      if (!t.OpenTree(dir_.path().string(), &s, kBase)) return true;
      uint32_t walked = 0;
      t.ForEach([&](TWebFile&) { return ++walked, true; });
      EXPECT_EQ(walked, t.GetCount()) << "an accepted tree is whole";
      TWebFile r;
      t.AddUrl("http://h/new", r);
      t.DeleteUrl("http://h/d1/1" + std::string(60, 'x'));
      t.CloseTree();
      return false;
    } catch (const EWebStream&) {
      return true;
    }
  }
  // The file is refused at open with a message naming the fault.
  void ExpectRefused(const std::string& bytes, const std::string& why) {
    qlon::test::WriteFileBytes(path_, bytes);
    TWebStream s(path_, TWebStream::Mode::Open);
    TUrlBTree t;
    try {
      t.OpenTree(dir_.path().string(), &s, kBase);
      ADD_FAILURE() << "accepted a file that should say: " << why;
    } catch (const EUrlBTreeCorrupt& e) {
      // Said to the person as it is, in French.
      EXPECT_EQ(std::string(e.what()).rfind("Le fichier de capture " + path_.string() + " est endommagé : ", 0), 0u)
          << e.what();
      EXPECT_NE(std::string(e.what()).find(why), std::string::npos) << e.what();
    }
  }
  std::string good_;
};

TEST_F(BTreeDamage, DamagedPagesGiveAClearError) {
  Build();
  std::string b = good_;
  b[kBase + 7185 + 4] = char(0x7F);  // used bytes of the first page
  ExpectRefused(b, "la page 0x1C11");
}

TEST_F(BTreeDamage, RecordsOutsideAnyFolderAreRefused) {
  Create();
  ASSERT_TRUE(Add("http://h/d/x.htm"));
  Close();
  std::string b = Bytes();
  auto e = Entries(b, kBase + 8);
  ASSERT_EQ(e.back().b, 0x8003);
  // The last entry moves to folder 2, which does not exist: the page stays in
  // order, only the capture's structure is broken.
  size_t at = kBase + 8 + 12;
  for (size_t i = 0; i + 1 < e.size(); ++i) at += e[i].len;
  b[at + 8] = char(0x05);
  ExpectRefused(b, "une adresse n'appartient à aucun dossier");
}

TEST_F(BTreeDamage, TruncatedFileIsRefused) {
  Build();
  EXPECT_TRUE(RefusedOrUsable(good_.substr(0, kBase + 100)));
  EXPECT_TRUE(RefusedOrUsable(good_.substr(0, good_.size() - 10)));
}

TEST_F(BTreeDamage, RandomByteDamageNeverCrashesOrHangs) {
  Build();
  std::mt19937 rng(7);
  int refused = 0;
  for (int run = 0; run < 300; ++run) {
    std::string b = good_;
    int hits = 1 + int(rng() % 8);
    for (int i = 0; i < hits; ++i) {
      size_t at = kBase + rng() % (b.size() - kBase);
      b[at] = char(rng() % 4 == 0 ? 0xFF : rng());
    }
    refused += RefusedOrUsable(b);
  }
  EXPECT_GT(refused, 30) << "damage was detected at all";
}

TEST_F(BTreeDamage, LoopsInTheTreeOrFreeChainAreRefused) {
  Build();
  std::string b = good_;
  ASSERT_NE(Le32(b, kBase + 16), 0xFFFFFFFFu);
  // A child pointer that leads back to a page above it.
  uint32_t first = Le32(b, kBase + 16);
  std::string c = b;
  uint64_t root = kBase + 8;
  uint32_t rootEntryChild = Le32(c, root + 12);
  auto put32 = [](std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) s[at + i] = char(v >> (8 * i));
  };
  put32(c, root + 12, first);
  EXPECT_TRUE(RefusedOrUsable(c)) << "two pointers to one page";
  c = b;
  put32(c, kBase + 7177, rootEntryChild);  // the free chain points at a page in use
  EXPECT_TRUE(RefusedOrUsable(c));
}

}  // namespace
