#include "ResolveDialog.h"

#include "DlgRapportError.h"
#include "RapportError.h"

#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "Gauge95.h"
#include "TempRoot.h"
#include "Web.h"

using namespace qlon;
using namespace qlon::shell;

namespace {

class ResolveDialogTest : public ::testing::Test {
 protected:
  ResolveDialogTest() {
    std::filesystem::create_directories(dir_.path() / "cap");
    web_.CreateNew(dir_.path() / "cap" / "local.web");
    for (const char* name : {"a", "b"}) {
      TWebFile r(&web_);
      r.SetState(fsRetrieved);
      r.SetLinkType(0);
      SetContentType(r, "text/html", "htm");
      r.SetLocalName(std::string(name) + ".htm");
      EXPECT_TRUE(web_.AddUrl(std::string("http://h.example/") + name + ".htm", r));
      test::WriteFileBytes(dir_.path() / "cap" / (std::string(name) + ".htm"), "<a href=\"a.htm\">a</a>");
    }
  }
  test::TempDir dir_;
  TWeb web_;
  TSommaireParam param_;
};

}  // namespace

TEST_F(ResolveDialogTest, RunsWhenShownAndClosesWithTheResult) {
  TResolveDialog dialog(web_, param_);
  EXPECT_EQ(dialog.exec(), rrFinished);
  EXPECT_EQ(dialog.StateLabel()->text(), "h.example");
  EXPECT_EQ(dialog.Gauge()->MaxValue(), 2);
  EXPECT_EQ(dialog.Gauge()->Progress(), 2);
  EXPECT_NE(test::ReadFileBytes(dir_.path() / "cap" / "b.htm").find("OLDREF=\"http://h.example/a.htm\""),
            std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "cap" / "_Accueil.htm"));
}

TEST_F(ResolveDialogTest, CancelDuringTheWalk) {
  TResolveDialog dialog(web_, param_);
  // Pressed while the walk processes messages between records.
  QTimer::singleShot(0, &dialog, [&] { QTimer::singleShot(0, dialog.Button1(), &QPushButton::click); });
  EXPECT_EQ(dialog.exec(), rrCancelled);
  EXPECT_EQ(test::ReadFileBytes(dir_.path() / "cap" / "b.htm"), "<a href=\"a.htm\">a</a>");
}

TEST_F(ResolveDialogTest, MissingTemplatesEndTheWindowWithTheMessage) {
  TResolveDialog dialog(web_, param_, nullptr, dir_.path() / "none");
  EXPECT_EQ(dialog.exec(), 0);
  EXPECT_NE(dialog.Error().find("_Accueil.ht_"), std::string::npos) << dialog.Error();
}

TEST_F(ResolveDialogTest, ErrorReportWindow) {
  TWebFile failed(&web_);
  failed.SetState(fsError);
  ASSERT_TRUE(web_.AddUrl("http://h.example/bad.htm", failed));
  test::WriteFileBytes(dir_.path() / "cap" / "a.htm", "<a href=\"bad.htm\">bad</a>");
  TDlgRapportError dialog(&web_);
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Compte rendu des erreurs..."));
  EXPECT_EQ(dialog.CancelButton()->text(), "&Interrompre");
  EXPECT_EQ(dialog.Gauge()->BoxCount(), 29);
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  EXPECT_NE(test::ReadFileBytes(dir_.path() / "cap" / kReportPage).find("http://h.example/bad.htm"),
            std::string::npos);

  TDlgRapportError none(nullptr);
  EXPECT_EQ(none.exec(), QDialog::Rejected);
}

TEST_F(ResolveDialogTest, TheErrorReportsGaugeFollowsItsScanOnScreen) {
  // Enough records for the scan to be seen halfway, one page with a long name.
  for (int i = 0; i < 300; ++i) {
    TWebFile r(&web_);
    r.SetState(fsRetrieved);
    r.SetLinkType(0);
    r.SetFlag(TWebFile::kFlagPageLink, true);
    SetContentType(r, "text/html", "htm");
    const std::string name = (i == 150 ? std::string(200, 'n') : "p" + std::to_string(i)) + ".htm";
    r.SetLocalName(name);
    ASSERT_TRUE(web_.AddUrl("http://h.example/" + name, r));
    test::WriteFileBytes(dir_.path() / "cap" / name, "<a href=\"a.htm\">a</a>");
  }
  TDlgRapportError dialog(&web_);
  struct Seen {
    int progress, maximum, filled, painted, width;
    QString name;
  };
  std::vector<Seen> seen;
  // Sampled while the scan processes messages between records.
  QTimer sample;
  QObject::connect(&sample, &QTimer::timeout, &dialog, [&] {
    controls::TGauge95* gauge = dialog.Gauge();
    if (gauge->MaxValue() < 300 || gauge->Progress() == 0) return;
    const QImage shot = gauge->grab().toImage();
    const QColor box = gauge->BoxColor();
    int painted = 0;
    for (int k = 0; k < gauge->BoxCount(); ++k)
      painted += shot.pixelColor(gauge->BoxRect(k).center()) == box;
    seen.push_back({gauge->Progress(), gauge->MaxValue(), gauge->FilledBoxes(), painted, dialog.width(),
                    dialog.FileLabel()->toolTip()});
  });
  sample.start(0);
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  ASSERT_GT(seen.size(), 10u);
  bool halfway = false;
  for (const Seen& s : seen) {
    const int boxes = dialog.Gauge()->BoxCount();
    EXPECT_EQ(s.filled, s.progress * boxes / s.maximum) << s.progress << "/" << s.maximum;
    EXPECT_EQ(s.painted, s.filled) << s.progress << "/" << s.maximum;
    // A long name does not stretch the window off the screen.
    EXPECT_LE(s.width, 600) << s.progress;
    halfway |= s.progress * 2 >= s.maximum && s.painted * 2 >= boxes - 1 && s.progress < s.maximum;
  }
  EXPECT_TRUE(halfway);
  // The long name was shown shortened, whole in its tooltip.
  EXPECT_TRUE(std::any_of(seen.begin(), seen.end(), [](const Seen& s) { return s.name.startsWith(QString(200, 'n')); }));
}
