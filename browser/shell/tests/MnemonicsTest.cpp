// The Alt+letter keys of the program's dialogs: on every page of each, no
// two visible controls answer the same key (the main window's pages are
// checked with its menu bar in MainViewsTest).
#include <gtest/gtest.h>

#include <QDialog>

#include "CaptureFixture.h"
#include "DNewFolder.h"
#include "DWorkDir.h"
#include "DlgAbout.h"
#include "DlgChooseCapture.h"
#include "DlgFilter.h"
#include "DlgMime.h"
#include "DlgPrint.h"
#include "DlgProfile.h"
#include "DlgSetup.h"
#include "DlgStop.h"
#include "DlgSysTree.h"
#include "DlgTask.h"
#include "DlgTaskWeb.h"
#include "DlgText.h"
#include "DlgUrlProp.h"
#include "DlgUrlVerif.h"
#include "DlgWeb.h"
#include "SiteFixture.h"
#include "Mnemonics.h"
#include "Scheduler.h"

namespace qlon {
namespace {

namespace fs = std::filesystem;

void ExpectNoClash(QWidget& window, const char* name) {
  test::ForEachPage(window, [&](const QString& page) {
    const QStringList clashes = test::MnemonicClashes(window);
    EXPECT_TRUE(clashes.isEmpty()) << name << " " << page.toStdString() << ":\n"
                                   << clashes.join("\n").toStdString();
  });
}

class MnemonicsTest : public test::SiteFixture {};

TEST_F(MnemonicsTest, EveryDialogPage) {
  shell::TDlgWeb wizard(setup_);
  ExpectNoClash(wizard, "TDlgWeb");
  shell::TDlgSetup options(setup_);
  ExpectNoClash(options, "TDlgSetup");
  {
    test::CaptureFixture capture;
    TWebFile record(&capture.web);
    ASSERT_TRUE(capture.web.FindUrl(test::CaptureFixture::Url("a.htm"), record));
    shell::TDlgUrlProp properties(capture.web, record);
    ExpectNoClash(properties, "TDlgUrlProp");
  }
  TMimeItem type;
  shell::TDlgMime mime(type);
  ExpectNoClash(mime, "TDlgMime");
  shell::TDlgFilter filter;
  ExpectNoClash(filter, "TDlgFilter");
  TProfileList profiles(fs::path(work_) / "profiles.ini");
  TOptions current;
  shell::TDlgProfileList profileList(profiles, current);
  ExpectNoClash(profileList, "TDlgProfileList");
  shell::TDlgNameProfile profileName;
  ExpectNoClash(profileName, "TDlgNameProfile");
  shell::TDlgText text("texte");
  ExpectNoClash(text, "TDlgText");
  shell::TDlgChooseCapture choose(shell::TCaptureFlags{});
  ExpectNoClash(choose, "TDlgChooseCapture");
  TDlgStop stop;
  ExpectNoClash(stop, "TDlgStop");
  TDlgUrlVerif verify;
  ExpectNoClash(verify, "TDlgUrlVerif");
  TTask task;
  TDlgTask taskDialog(task, {1, 2});
  ExpectNoClash(taskDialog, "TDlgTask");
  TTaskWeb step;
  for (bool list : {false, true}) {
    TDlgTaskWeb stepDialog(step, work_, list);
    ExpectNoClash(stepDialog, list ? "TDlgTaskWeb (list)" : "TDlgTaskWeb");
  }
  TDlgPrint print;
  ExpectNoClash(print, "TDlgPrint");
  TDlgAbout about;
  ExpectNoClash(about, "TDlgAbout");
  controls::TDlgDir folder;
  ExpectNoClash(folder, "TDlgDir");
  controls::TDlgNewFolder newFolder;
  ExpectNoClash(newFolder, "TDlgNewFolder");
  controls::TDlgWorkPath workPath(QString::fromStdString(work_));
  ExpectNoClash(workPath, "TDlgWorkPath");
}

}  // namespace
}  // namespace qlon
