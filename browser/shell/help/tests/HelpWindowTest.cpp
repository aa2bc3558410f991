#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <fstream>

#include "DlgHelp.h"
#include "Htmlview.h"
#include "SectionList.h"
#include "Shell.h"
#include "TempRoot.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

TEST(HelpTopics, PageNamesFromTopicNumbers) {
  SetHelpFolder("/prog/help");
  EXPECT_EQ(HelpTopicPage(0), "/prog/help/index.htm");
  EXPECT_EQ(HelpTopicPage(5), "/prog/help/Chap5.htm");
  EXPECT_EQ(HelpTopicPage(24), "/prog/help/Chap2.htm#2.4");
  EXPECT_EQ(HelpTopicPage(123), "/prog/help/Chap1.htm#1.2.3");
  EXPECT_EQ(HelpTopicPage(203), "/prog/help/Chap2.htm#2");
  SetHelpFolder({});
}

struct RecordingHelpHost : IHelpHost {
  QWidget* HelpFrame() override { return &frame; }
  void HelpPageChanged(const QString& file) override { pages << file; }
  QWidget frame;
  QStringList pages;
};

// Help pages in a folder of their own; the help window made fresh for each test.
class HelpWindowTest : public ::testing::Test {
 protected:
  HelpWindowTest() {
    SetHelpFolder(QString::fromStdString(dir.path().string()));
    Write("index.htm",
          "<html><title>Sommaire</title><body><a href=\"Chap1.htm#1.2\">Premier chapitre de l'aide</a>"
          "<p><a href=\"http://www.quillon98.example/news.htm\">Les nouvelles du site</a></body></html>");
    std::string chapter = "<html><title>Chapitre 1</title><body><h1>Un</h1>";
    for (int i = 0; i < 80; ++i) chapter += "<p>ligne " + std::to_string(i);
    chapter += "<a name=\"1.2\"><h2>Partie 1.2</h2></a>";
    for (int i = 0; i < 80; ++i) chapter += "<p>suite " + std::to_string(i);
    Write("Chap1.htm", chapter + "</body></html>");
    host.frame.resize(500, 400);
    SetHelpHost(&host);
  }
  ~HelpWindowTest() override {
    FreeHelp();
    SetHelpHost(nullptr);
    SetHelpFolder({});
  }
  void Write(const std::string& name, const std::string& html) {
    std::ofstream(dir.path() / name, std::ios::binary) << html;
  }
  QString Page(const std::string& name) { return QString::fromStdString((dir.path() / name).string()); }
  viewer::THTMLViewer& V() { return *HelpWindow()->Viewer; }
  // Clicks the document text at a character position.
  void ClickAt(int pos) {
    int y = 0, x = 0;
    ASSERT_TRUE(V().SectionList().FindCursorPos(pos, y, x));
    const QPointF at(x + 3, y - V().VScrollPosition() + 6);
    for (auto type : {QEvent::MouseMove, QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent e(type, at, V().PaintPanel()->mapToGlobal(at),
                    type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
      QCoreApplication::sendEvent(V().PaintPanel(), &e);
    }
  }

  test::TempDir dir;
  RecordingHelpHost host;
};

TEST_F(HelpWindowTest, DockedHelpShowsATopicAndFollowsALink) {
  ShowHelpTopic(0, true, true);
  ASSERT_NE(HelpWindow(), nullptr);
  EXPECT_TRUE(HelpWindow()->Docked());
  EXPECT_EQ(HelpWindow()->parentWidget(), &host.frame);
  EXPECT_EQ(V().GetCurrentFile(), Page("index.htm"));
  EXPECT_EQ(HelpWindow()->InfoLabel->text(), "Sommaire");
  ASSERT_FALSE(host.pages.isEmpty());
  EXPECT_EQ(host.pages.last(), Page("index.htm"));

  ClickAt(3);
  EXPECT_EQ(V().GetCurrentFile(), Page("Chap1.htm"));
  EXPECT_EQ(HelpWindow()->InfoLabel->text(), "Chapitre 1");
  EXPECT_EQ(host.pages.last(), Page("Chap1.htm"));
  EXPECT_EQ(V().VScrollPosition(), V().AnchorY("1.2"));
}

TEST_F(HelpWindowTest, SamePageOnlyScrollsAndAMissingPageLeavesItShown) {
  ShowHelp(Page("Chap1.htm"), false);
  EXPECT_FALSE(HelpWindow()->Docked());
  ASSERT_EQ(V().VScrollPosition(), 0);
  const int changes = int(V().History().size());
  HelpWindow()->OpenPage(Page("CHAP1.HTM") + "#1.2");
  EXPECT_GT(V().VScrollPosition(), 0);
  EXPECT_EQ(V().VScrollPosition(), V().AnchorY("1.2"));
  EXPECT_EQ(int(V().History().size()), changes);  // not loaded again

  HelpWindow()->OpenPage(Page("Chap9.htm"));
  EXPECT_EQ(V().GetCurrentFile(), Page("Chap1.htm"));
  EXPECT_EQ(HelpWindow()->InfoLabel->text(), "Chapitre 1");

  // Asked docked later, the one window moves into the frame.
  TDlgHelp* window = HelpWindow();
  ShowHelpTopic(0, true, true);
  EXPECT_EQ(HelpWindow(), window);
  EXPECT_TRUE(window->Docked());
}

TEST_F(HelpWindowTest, MakersSiteOpensInTheBrowserAndPrintingListsThePages) {
  ShowHelpTopic(0, false, true);
  std::vector<std::string> opened;
  HelpWindow()->OpenAddress = [&](const std::string& a) { opened.push_back(a); };
  const int news = V().SectionList().FindString(0, "nouvelles", true);
  ASSERT_GE(news, 0);
  ClickAt(news);
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], "http://www.quillon98.example/");
  EXPECT_EQ(V().GetCurrentFile(), Page("index.htm"));

  bool confirm = false;
  std::vector<std::pair<QString, QStringList>> jobs;
  HelpWindow()->ConfirmPrint = [&](QWidget*) { return confirm; };
  HelpWindow()->Print = [&](const QString& t, const QStringList& f) { jobs.emplace_back(t, f); };
  HelpWindow()->MenuPrintPageClick();
  EXPECT_TRUE(jobs.empty());
  confirm = true;
  HelpWindow()->MenuPrintPageClick();
  HelpWindow()->MenuAllPrintClick();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0].first, "Sommaire");
  EXPECT_EQ(jobs[0].second, QStringList{Page("index.htm")});
  EXPECT_EQ(jobs[1].first, "Aide en ligne de Quillon 98");
  EXPECT_EQ(jobs[1].second, (QStringList{Page("index.htm"), Page("Chap1.htm"), Page("Chap2.htm"), Page("Chap3.htm"),
                                         Page("Chap4.htm"), Page("Chap5.htm")}));
}

TEST_F(HelpWindowTest, NonHtmlTopicWithoutAPlatformHelpFileShowsItsPage) {
  platform::RecordingShell shell;
  ShowHelpTopic(12, false, false);
  EXPECT_TRUE(shell.opened.empty());
  ASSERT_NE(HelpWindow(), nullptr);
  EXPECT_EQ(V().GetCurrentFile(), Page("Chap1.htm"));
  EXPECT_EQ(V().VScrollPosition(), V().AnchorY("1.2"));
}

TEST_F(HelpWindowTest, NonHtmlTopicGoesToThePlatformHelp) {
  platform::RecordingShell shell;
  Write("Aide.hlp", "<html><body>aide</body></html>");
  ShowHelpTopic(24, false, false);
  EXPECT_EQ(HelpWindow(), nullptr);
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_NE(shell.opened[0].find("Aide.hlp"), std::string::npos);
  EXPECT_NE(shell.opened[0].find("24"), std::string::npos);
}

}  // namespace
}  // namespace qlon
