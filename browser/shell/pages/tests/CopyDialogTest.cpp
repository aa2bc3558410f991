#include "CopyDialog.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <gtest/gtest.h>

#include "TempRoot.h"
#include "Web.h"

using namespace qlon;
using namespace qlon::shell;

namespace {

class CopyDialogTest : public ::testing::Test {
 protected:
  CopyDialogTest() {
    std::filesystem::create_directories(dir_.path() / "cap");
    web_.CreateNew(dir_.path() / "cap" / "local.web");
    for (int i = 0; i < 6; ++i) {
      TWebFile r(&web_);
      r.SetState(fsRetrieved);
      r.SetLocalName("pages/p" + std::to_string(i) + ".htm");
      EXPECT_TRUE(web_.AddUrl("http://h.example/pages/p" + std::to_string(i) + ".htm", r));
      test::WriteFileBytes(dir_.path() / "cap" / "pages" / ("p" + std::to_string(i) + ".htm"), "page");
    }
  }
  test::TempDir dir_;
  TWeb web_;
};

}  // namespace

TEST_F(CopyDialogTest, CopyRunsInTheWindowAndClosesIt) {
  TCopyDialog dialog;
  EXPECT_EQ(dialog.windowTitle(), "Copie...");
  ASSERT_TRUE(web_.CopyTo(dir_.path() / "Cible", {}, &dialog));
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.windowTitle(), "Copier un Web...");
  EXPECT_EQ(dialog.ProgressBar()->maximum(), 6);
  EXPECT_EQ(dialog.ProgressBar()->value(), 6);
  EXPECT_EQ(dialog.SourceLabel()->text(), "De pages vers Cible");
  EXPECT_TRUE(dialog.FileLabel()->text().startsWith("p"));
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "Cible" / "pages" / "p5.htm"));
}

TEST_F(CopyDialogTest, CancelStopsAMoveAndKeepsTheCapture) {
  TCopyDialog dialog;
  // Pressed while the walk processes messages between records.
  QTimer::singleShot(0, &dialog, [&] { QTimer::singleShot(0, dialog.CancelBtn(), &QPushButton::click); });
  EXPECT_FALSE(web_.MoveTo(dir_.path() / "Cible", {}, &dialog));
  EXPECT_LT(dialog.ProgressBar()->value(), 6);
  EXPECT_FALSE(std::filesystem::exists(dir_.path() / "Cible"));
  EXPECT_TRUE(std::filesystem::exists(dir_.path() / "cap" / "pages" / "p0.htm"));
  EXPECT_EQ(web_.Path(), dir_.path() / "cap" / "local.web");
}
