// The help pages shipped beside the program: every topic the code opens
// has its page and anchor, every page its title, every link its target, and
// printing the whole help gives the contents and the five chapters.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDirIterator>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QRegularExpression>
#include <set>

#include "DlgHelp.h"
#include "Htmlview.h"
#include "PdfText.h"
#include "ScreenShot.h"
#include "TempRoot.h"
#include "vwPrint.h"

namespace qlon {
namespace {

const QStringList kPages = {"intro.htm", "index.htm", "Chap1.htm", "Chap2.htm",
                            "Chap3.htm", "Chap4.htm", "Chap5.htm"};

QString ReadText(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The topic numbers of each call that names a help page by topic, in the
// program's sources (the help window's own unit excepted: it defines them).
std::map<QString, std::set<int>> TopicsUsed() {
  std::map<QString, int> named;
  for (const THelpTopicName& t : kHelpTopics) named[t.Name] = t.Topic;
  std::map<QString, std::set<int>> calls;
  const QString source = qEnvironmentVariable("QLON_SOURCE_DIR") + "/browser";
  const QRegularExpression call(R"((?:HelpTopicPage|ShowHelpTopic)\s*\(([^;]*?)\)\s*[,;)])");
  const QRegularExpression word(R"(\b(\w+)\b)");
  for (QDirIterator it(source, {"*.cpp", "*.h"}, QDir::Files, QDirIterator::Subdirectories); it.hasNext();) {
    const QString file = it.next();
    if (file.contains("/tests/") || QFileInfo(file).baseName() == "DlgHelp") continue;
    for (auto m = call.globalMatch(ReadText(file)); m.hasNext();) {
      const QString arguments = m.next().captured(1);
      std::set<int>& topics = calls[QFileInfo(file).fileName() + ": " + arguments];
      for (auto w = word.globalMatch(arguments.section(',', 0, 0)); w.hasNext();) {
        const QString token = w.next().captured(1);
        bool number = false;
        const int value = token.toInt(&number);
        if (number) topics.insert(value);
        else if (token.startsWith("ht")) topics.insert(named.count(token) ? named[token] : -1);
      }
    }
  }
  return calls;
}

class HelpPagesTest : public ::testing::Test {
 protected:
  HelpPagesTest() { SetHelpFolder({}); }  // the pages installed beside the program
  ~HelpPagesTest() override { FreeHelp(); }
  static QString Folder() { return HelpFolder(); }
  viewer::THTMLViewer& V() { return *HelpWindow()->Viewer; }
  // The page is shown, and the anchor (when any) found in it.
  void ExpectOpens(const QString& page, const QString& why) {
    const QString file = page.section('#', 0, 0), anchor = page.section('#', 1);
    ASSERT_TRUE(QFileInfo(file).isFile()) << why.toStdString() << ": " << file.toStdString();
    ShowHelp(page, false);
    EXPECT_EQ(V().GetCurrentFile(), file) << why.toStdString();
    if (!anchor.isEmpty()) {
      EXPECT_GE(V().AnchorY(anchor), 0) << why.toStdString() << ": no anchor " << page.toStdString();
    }
  }
};

TEST_F(HelpPagesTest, EveryTopicTheProgramOpensHasItsPageAndAnchor) {
  const auto calls = TopicsUsed();
  ASSERT_GE(calls.size(), 3u) << "the calls of the main window were not found";
  for (const auto& [call, topics] : calls) {
    EXPECT_FALSE(topics.empty()) << call.toStdString() << ": name the topic (THelpTopic)";
    for (int topic : topics) {
      ASSERT_GE(topic, 0) << call.toStdString() << ": a topic missing from kHelpTopics";
      ExpectOpens(HelpTopicPage(topic), call);
    }
  }
  // The chapters that "Tout l'aide..." prints.
  for (int topic = 1; topic <= 5; ++topic) ExpectOpens(HelpTopicPage(topic), "chapter");
}

TEST_F(HelpPagesTest, EveryPageHasItsTitleAndItsLinksLead) {
  const QRegularExpression title("<TITLE>([^<]+)</TITLE>", QRegularExpression::CaseInsensitiveOption);
  const QRegularExpression link(R"re((HREF|SRC)="([^"]+)")re", QRegularExpression::CaseInsensitiveOption);
  for (const QString& name : kPages) {
    const QString html = ReadText(Folder() + name);
    ASSERT_FALSE(html.isEmpty()) << name.toStdString();
    const QString expected = title.match(html).captured(1).simplified();
    EXPECT_FALSE(expected.isEmpty()) << name.toStdString();
    ShowHelp(Folder() + name, false);
    // The help window shows the page's title above it.
    EXPECT_EQ(HelpWindow()->InfoLabel->text(), expected) << name.toStdString();
    HelpWindow()->resize(700, 520);
    EXPECT_TRUE(test::SaveScreenShot(*HelpWindow(), "Help-" + QFileInfo(name).baseName()));
    EXPECT_TRUE(HelpWindow()->InfoLabel->isVisible());
    EXPECT_LE(HelpWindow()->InfoLabel->fontMetrics().horizontalAdvance(expected), HelpWindow()->InfoLabel->width())
        << name.toStdString();
    for (auto m = link.globalMatch(html); m.hasNext();) {
      const auto found = m.next();
      const QString target = found.captured(2);
      if (target.contains("://") || target.startsWith("mailto:")) continue;
      if (found.captured(1).compare("SRC", Qt::CaseInsensitive) == 0) {
        EXPECT_FALSE(QImage(Folder() + target).isNull()) << name.toStdString() << ": " << target.toStdString();
        continue;
      }
      const QString page = target.startsWith('#') ? Folder() + name + target : Folder() + target;
      ExpectOpens(page, name + " links to " + target);
      ShowHelp(Folder() + name, false);
    }
  }
}

TEST_F(HelpPagesTest, PrintingAllTheHelpGivesTheContentsAndEveryChapter) {
  test::TempDir dir;
  const viewer::PrinterSetup saved = viewer::PrinterSelection();
  const std::filesystem::path pdf = dir.path() / "aide.pdf";
  ShowHelpTopic(htIndex, false, true);
  HelpWindow()->ConfirmPrint = [&](QWidget*) {
    viewer::PrinterSelection().OutputFile = QString::fromStdString(pdf.string());
    viewer::PrinterSelection().Resolution = 150;
    return true;
  };
  HelpWindow()->MenuAllPrintClick();
  viewer::PrinterSelection() = saved;
  const auto pages = test::PdfPages(pdf);
  if (!pages) GTEST_SKIP() << "pdftotext is not installed";
  ASSERT_GE(pages->size(), 6);
  for (const QString& page : *pages) EXPECT_FALSE(page.trimmed().isEmpty());
  const QString text = pages->join('\n').simplified();
  for (const char* heading : {"Aide de Quillon 98", "Chapitre 1 : Les Webs", "Chapitre 2 : Les options",
                              "Chapitre 3 : Capturer", "Chapitre 4 : Travaux", "Chapitre 5 : Préférences"})
    EXPECT_TRUE(text.contains(QString::fromUtf8(heading))) << heading;
}

}  // namespace
}  // namespace qlon
