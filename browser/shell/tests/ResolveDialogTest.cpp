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
