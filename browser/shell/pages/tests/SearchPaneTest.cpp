#include "SearchPane.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <set>

#include "CaptureFixture.h"
#include "PageRewrite.h"
#include "W95Meter.h"
#include "WUrlList.h"

namespace qlon::shell {
namespace {

namespace fs = std::filesystem;
using test::CaptureFixture;
using Urls = std::set<std::string>;

class FakeHost : public ISearchHost {
 public:
  TWeb* CurrentWeb() override { return web; }
  fs::path WorkFolder() override { return work; }
  void SelectTreePage(int tag) override {
    pages.push_back(tag);
    if (tag == TSearchPane::kSearchTreePage) pane->ShowPane(true);
  }
  void PostSearchStart() override {
    QMetaObject::invokeMethod(pane, [p = pane] { p->SearchStartBtnClick(); }, Qt::QueuedConnection);
  }
  void RefreshStatusHints() override { ++hints; }

  TWeb* web = nullptr;
  fs::path work;
  TSearchPane* pane = nullptr;
  std::vector<int> pages;
  int hints = 0;
};

const std::string kOther = "http://other.example/";

// The shell fixture's web, with pages to search: links written relative and
// absolute, a rewritten page, entities, Latin-1, scripts and styles, a page
// whose file is gone, a binary one and an oversized one, and a second site.
class SearchPaneTest : public ::testing::Test, public CaptureFixture {
 protected:
  SearchPaneTest() {
    Add("links.htm", fsRetrieved, "text/html", "htm",
        "<html><head><title>Liens</title></head><body><a href=\"pic.gif\">une image</a> "
        "<a href=\"http://far.example/page.htm\">loin</a></body></html>");
    Add("text.htm", fsRetrieved, "text/html", "htm",
        "<html><head><title>Caf&eacute; &amp; cr&egrave;me</title><style>p.motcache { }</style>"
        "<script>var motcache = 1;</script></head><body><p>Le d&eacute;j&agrave;-vu de la capture "
        "hors&nbsp;ligne.</p>\r\n<p>Un   mot\r\nseul</p></body></html>");
    Add("latin1.htm", fsRetrieved, "text/html", "htm", "<title>R\xE9sum\xE9</title><p>L'\xE9t\xE9 dernier</p>");
    Add("notitle.htm", fsRetrieved, "text/html", "htm", "<title>Sans fin<p>corps du texte");
    Add("missing.htm", fsRetrieved, "text/html", "htm", "<p>introuvable</p>");
    fs::remove(Folder() / "missing.htm");
    std::string junk(300000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = "<>&\"= a\0\xFF\xC3/"[(i * 7919 + i / 13) % 12];
    Add("junk.htm", fsRetrieved, "text/html", "htm", junk);
    Add("huge.htm", fsRetrieved, "text/html", "htm", "<p>immense</p>");
    fs::resize_file(Folder() / "huge.htm", uintmax_t(TSearchPane::kMaxPageBytes) + 1);
    AddOther("o1.htm", "text/html", "htm", "<title>Une image</title><p>rien</p>");
    AddOther("o2.gif", "image/gif", "gif", "GIF89a");
    Add("rew.htm", fsRetrieved, "text/html", "htm",
        "<html><body><a href=\"http://other.example/o2.gif\">o2</a> <a href=\"http://gone.example/x.htm\">x</a>"
        "</body></html>");
    TWebFile rew(&web);
    web.FindUrl(Url("rew.htm"), rew);
    rewritten = RewritePage(web, rew, TRewriteOptions());

    host.web = &web;
    host.work = dir_.path() / "work";
    fs::create_directories(host.work);
    auto* layout = new QVBoxLayout(&window);
    grid = new TWUrlList(usHtml, usFiltered);
    pane = new TSearchPane(host, *grid);
    layout->addWidget(pane);
    layout->addWidget(grid, 1);
    host.pane = pane;
    grid->SetWeb(&web);
    pane->Setup();
    window.resize(640, 360);
  }

  void AddOther(const std::string& name, const std::string& type, const std::string& ext, const std::string& body) {
    TWebFile r(&web);
    r.SetState(fsRetrieved);
    SetContentType(r, type, ext);
    r.SetLocalName("other/" + name);
    test::WriteFileBytes(Folder() / "other" / name, body);
    web.AddUrl(kOther + name, r);
  }

  std::vector<std::string> Rows() const {
    std::vector<std::string> out;
    for (int i = 0; i < grid->List().Count(); ++i) out.push_back(grid->List().Url(i));
    return out;
  }
  Urls Search(const std::string& pattern, int kind) {
    pane->SearchTypeCB->setCurrentIndex(kind);
    pane->SearchTextCombo->setEditText(QString::fromStdString(pattern));
    pane->SearchStartBtnClick();
    const std::vector<std::string> rows = Rows();
    EXPECT_EQ(Urls(rows.begin(), rows.end()).size(), rows.size()) << "a row listed twice";
    return Urls(rows.begin(), rows.end());
  }

  test::TempRoot root_;
  bool rewritten = false;
  FakeHost host;
  QWidget window;
  TWUrlList* grid = nullptr;
  TSearchPane* pane = nullptr;
};

TEST_F(SearchPaneTest, SetupFillsTheKindsAndTheKindSetsTheGridUp) {
  ASSERT_EQ(pane->SearchTypeCB->count(), 5);
  EXPECT_EQ(pane->SearchTypeCB->itemText(1).toStdString(), "Rechercher les pages propriétaires d'une Url");
  EXPECT_EQ(pane->InfoLabel->text().toStdString(), "Url à rechercher (les jockers * et ? sont acceptés) : ");
  EXPECT_FALSE(pane->SearchStartBtn->isEnabled());
  pane->SearchTextCombo->setEditText("x");
  EXPECT_TRUE(pane->SearchStartBtn->isEnabled());
  pane->SearchTextCombo->setEditText("");
  EXPECT_FALSE(pane->SearchStartBtn->isEnabled());

  // A grid filled by its style is emptied when the pane shows.
  ASSERT_GT(grid->List().Count(), 0);
  pane->ShowPane(true);
  EXPECT_TRUE(grid->NoExplore);
  EXPECT_EQ(grid->List().Count(), 0);
  EXPECT_EQ(grid->Style(), usFile);
  pane->SearchTypeCB->setCurrentIndex(3);
  EXPECT_EQ(grid->Style(), usHtml);
  EXPECT_EQ(pane->InfoLabel->text().toStdString(), "Mot clef à rechercher (les jockers * et ? sont acceptés) : ");
  EXPECT_TRUE(pane->Info().NewSearch);
  pane->ShowPane(false);
  EXPECT_FALSE(grid->NoExplore);
}

TEST_F(SearchPaneTest, UrlSearchOverTheWebAndOneSite) {
  pane->ShowPane(true);
  EXPECT_EQ(Search("*.gif", 0), (Urls{Url("pic.gif"), kOther + "o2.gif"}));
  EXPECT_EQ(pane->SearchMeter->Percent(), 0);
  EXPECT_EQ(pane->SearchStartBtn->text().toStdString(), "Rechercher");
  EXPECT_FALSE(pane->Searching());
  EXPECT_GT(host.hints, 0);
  EXPECT_EQ(Search("pic", 0), (Urls{Url("pic.gif")}));  // no wildcard: a part of the URL
  EXPECT_EQ(Search("HTTP://H.EXAMPLE/A.HTM", 0), (Urls{Url("a.htm")}));
  EXPECT_EQ(Search("http://h.example/?.htm", 0), (Urls{Url("a.htm"), Url("b.htm"), Url("c.htm")}));

  pane->SetSite(kOther + "o1.htm");
  EXPECT_EQ(Search("*.gif", 0), (Urls{kOther + "o2.gif"}));
  EXPECT_EQ(Search("*", 0), (Urls{kOther + "o1.htm", kOther + "o2.gif"}));
  pane->SetSite("http://nowhere.example/");
  EXPECT_EQ(Search("*", 0), Urls{});
  pane->SetSite("");
  EXPECT_EQ(Search("*.gif", 0).size(), 2u);
}

TEST_F(SearchPaneTest, OwnerPagesByTheLinksFormerUrls) {
  ASSERT_TRUE(rewritten);
  ASSERT_NE(test::ReadFileBytes(Folder() / "rew.htm").find("OLDREF"), std::string::npos);

  // As the URL commands start it: the search page shows, then the posted start runs.
  pane->SearchFor(QString::fromStdString(Url("pic.gif")), 1);
  EXPECT_EQ(host.pages, (std::vector<int>{30}));
  QCoreApplication::processEvents();
  EXPECT_EQ(grid->Style(), usHtml);
  EXPECT_EQ(Rows(), (std::vector<std::string>{Url("links.htm")}));  // written relative

  EXPECT_EQ(Search("http://other.example/o2.gif", 1), (Urls{Url("rew.htm")}));  // only in OLDREF now
  EXPECT_EQ(Search("*gone.example*", 1), (Urls{Url("rew.htm")}));
  EXPECT_EQ(Search("*/other/o2.gif", 1), Urls{});  // the local link is not the page's link
  EXPECT_EQ(Search("far.example", 1), (Urls{Url("links.htm")}));
}

TEST_F(SearchPaneTest, TitlesAndTextWithEntitiesAndCharsets) {
  EXPECT_EQ(Search("café & crème", 2), (Urls{Url("text.htm")}));
  EXPECT_EQ(Search("RÉSUMÉ", 2), (Urls{Url("latin1.htm")}));
  EXPECT_EQ(Search("caf*", 3), Urls{});  // a title is not text
  EXPECT_EQ(Search("déjà-vu", 3), (Urls{Url("text.htm")}));
  EXPECT_EQ(Search("d?j*vu", 3), (Urls{Url("text.htm")}));
  EXPECT_EQ(Search("hors ligne", 3), (Urls{Url("text.htm")}));  // &nbsp;
  EXPECT_EQ(Search("un mot seul", 3), (Urls{Url("text.htm")}));
  EXPECT_EQ(Search("été", 3), (Urls{Url("latin1.htm")}));
  EXPECT_EQ(Search("corps", 3), (Urls{Url("notitle.htm")}));  // no </TITLE>
  EXPECT_EQ(Search("corps", 2), Urls{});
  EXPECT_EQ(Search("motcache", 3), Urls{});  // scripts and styles
  EXPECT_EQ(Search("Quillon", 3), Urls{});   // the banner a rewrite added
  EXPECT_EQ(Search("image", 2), (Urls{kOther + "o1.htm"}));
  EXPECT_EQ(Search("image", 3), (Urls{Url("links.htm")}));
  EXPECT_EQ(Search("image", 4), (Urls{Url("links.htm"), kOther + "o1.htm"}));
}

TEST_F(SearchPaneTest, MissingBinaryAndOversizedPagesAreSkipped) {
  EXPECT_EQ(Search("introuvable", 3), Urls{});
  EXPECT_EQ(Search("immense", 3), Urls{});
  // The binary page is scanned like any other, and the scan ends.
  const Urls any = Search("*", 4);
  EXPECT_TRUE(any.count(Url("text.htm")));
  EXPECT_FALSE(any.count(Url("missing.htm")));
  Search("*a*&*", 1);
  EXPECT_FALSE(pane->Searching());
}

TEST_F(SearchPaneTest, StopThenContinueOrStartOver) {
  pane->ShowPane(true);
  const size_t all = Search("*", 0).size();
  ASSERT_GT(all, 10u);

  // Stop from an event while the third hit is listed, as a click would.
  int adds = 0, stopAt = 3;
  grid->Onchange = [&](TWUrlList* g) {
    if (pane->Searching() && g->List().Count() > 0 && ++adds == stopAt)
      QTimer::singleShot(0, pane->SearchStartBtn, &QPushButton::click);
  };
  EXPECT_EQ(Search("h*", 0).size(), 3u);
  EXPECT_EQ(pane->Info().Position, 3);
  EXPECT_GT(pane->SearchMeter->Percent(), 0);
  EXPECT_EQ(pane->SearchStartBtn->text().toStdString(), "Rechercher");
  EXPECT_FALSE(pane->AnimateSearch->Active());

  // Same pattern and kind: the rows stay (with their flags) and it goes on.
  grid->List().SetFlags(0, TUrlList::rfMarked);
  const std::string first = grid->List().Url(0);
  stopAt = 0;
  const Urls rest = Search("h*", 0);
  EXPECT_EQ(adds, int(rest.size()));
  EXPECT_EQ(grid->List().Url(0), first);
  EXPECT_EQ(grid->List().Flags(0), TUrlList::rfMarked);
  EXPECT_EQ(pane->SearchMeter->Percent(), 0);
  // Finished: the same pattern again is a new search.
  adds = 0;
  EXPECT_EQ(Search("h*", 0), rest);
  EXPECT_EQ(grid->List().Flags(0), 0);

  // A changed pattern after a stop starts over.
  adds = 0, stopAt = 1;
  EXPECT_EQ(Search("*.htm", 0).size(), 1u);
  EXPECT_EQ(Search("*.gif", 0), (Urls{Url("pic.gif"), kOther + "o2.gif"}));

  // Pages too: a stopped text search goes on with the pages after it.
  adds = 0, stopAt = 1;
  EXPECT_EQ(Search("image", 4).size(), 1u);
  EXPECT_EQ(Search("image", 4), (Urls{Url("links.htm"), kOther + "o1.htm"}));
}

TEST_F(SearchPaneTest, ACommandDuringASearchStartsAfterIt) {
  pane->ShowPane(true);
  bool asked = false;
  grid->Onchange = [&](TWUrlList* g) {
    if (!asked && pane->Searching() && g->List().Count() == 2) {
      asked = true;
      QTimer::singleShot(0, pane, [this] { pane->SearchFor(QString::fromStdString(Url("pic.gif")), 1); });
    }
  };
  Search("*", 0);
  EXPECT_TRUE(asked);
  EXPECT_EQ(pane->Info().LastKind, 0);
  QCoreApplication::processEvents();
  EXPECT_EQ(pane->Info().LastKind, 1);
  EXPECT_EQ(Rows(), (std::vector<std::string>{Url("links.htm")}));
}

TEST_F(SearchPaneTest, HistoryKeepsTheFortyNewestPatterns) {
  host.web = nullptr;  // the history does not need a web
  for (int i = 1; i <= 41; ++i) Search("p" + std::to_string(i), 0);
  Search("p20", 0);  // known: stays where it is
  ASSERT_TRUE(pane->Save());
  std::string expected;
  for (int i = 41; i >= 2; --i) expected += "p" + std::to_string(i) + "\r\n";
  EXPECT_EQ(test::ReadFileBytes(host.work / "srhistory.lst"), expected);

  TWUrlList otherGrid(usHtml, usFiltered);
  TSearchPane reloaded(host, otherGrid);
  reloaded.Setup();
  EXPECT_EQ(reloaded.History(), pane->History());
  EXPECT_TRUE(reloaded.SearchTextCombo->currentText().isEmpty());

  // A file edited by hand: blank lines, duplicates, LF endings, Latin-1.
  test::WriteFileBytes(host.work / "srhistory.lst", "a\n\r\nb\r\na\nd\xE9j\xE0\n");
  reloaded.Setup();
  EXPECT_EQ(reloaded.History(), (QStringList{"a", "b", "déjà"}));
}

TEST_F(SearchPaneTest, ScreenshotWithHits) {
  pane->ShowPane(true);
  window.show();
  // Stopped half-way, so that the meter shows how far it went.
  int hits = 0;
  grid->Onchange = [&](TWUrlList* g) {
    if (pane->Searching() && g->List().Count() > 0 && ++hits == 12)
      QTimer::singleShot(0, pane->SearchStartBtn, &QPushButton::click);
  };
  Search("*.htm", 0);
  EXPECT_GT(pane->SearchMeter->Percent(), 0);
  const QImage image = window.grab().toImage();
  EXPECT_FALSE(image.isNull());
  const QString out = qEnvironmentVariableIsSet("QLON_SCREENS_DIR") ? qEnvironmentVariable("QLON_SCREENS_DIR")
                                                                     : QString::fromStdString(dir_.path().string());
  QDir().mkpath(out);
  EXPECT_TRUE(image.save(out + "/search-pane.png"));
}

}  // namespace
}  // namespace qlon::shell
