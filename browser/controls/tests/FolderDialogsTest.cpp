#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "DNewFolder.h"
#include "DWorkDir.h"
#include "DlgSysTree.h"
#include "MessageBox.h"
#include "TempRoot.h"

using namespace qlon::controls;
using qlon::platform::ScriptedMessageBoxes;

namespace {

class Folders : public ::testing::Test {
 protected:
  void SetUp() override {
    base = QString::fromStdString(std::filesystem::canonical(tmp.path()).string());
    QDir().mkpath(base + "/a/b");
    QDir().mkpath(base + "/empty");
  }
  template <typename F>
  static bool waitFor(F cond) {
    for (int i = 0; i < 250 && !cond(); ++i) QTest::qWait(20);  // polling watchers take a second
    return cond();
  }
  qlon::test::TempDir tmp;
  QString base;
};

}  // namespace

TEST(FolderPath, TrailingSlash) {
  EXPECT_EQ(WithTrailingSlash("/x/y"), "/x/y/");
  EXPECT_EQ(WithTrailingSlash("/x/y/"), "/x/y/");
  EXPECT_EQ(WithTrailingSlash(""), "");
  TDlgDir d;
  d.SetPath("/x");
  EXPECT_EQ(d.GetPath(), "/x/");
  d.SetPath("");
  EXPECT_EQ(d.GetPath(), "");
}

TEST_F(Folders, TreeFindsSelectsAndReportsFolders) {
  TSystemTreeView tree;
  tree.resize(300, 400);
  tree.show();
  std::vector<QString> changes;
  tree.OnChange = [&](TSystemTreeView*, TWTreeNode* n) { changes.push_back(TSystemTreeView::PathOf(n)); };
  TWTreeNode* a = tree.FindPath(base + "/a");
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(a->HasChildren());  // has "b": shows a button before it is read
  TWTreeNode* empty = tree.FindPath(base + "/empty/");
  ASSERT_NE(empty, nullptr);
  EXPECT_FALSE(empty->HasChildren());
  EXPECT_EQ(tree.FindPath(base + "/missing"), nullptr);
  EXPECT_EQ(tree.FindPath("relative/path"), nullptr);
  ASSERT_TRUE(tree.SelectPath(base + "/a/b"));
  EXPECT_EQ(tree.SelectedPath(), base + "/a/b");
  EXPECT_TRUE(tree.GetSelectedNode()->IsShown());
  ASSERT_FALSE(changes.empty());
  EXPECT_EQ(changes.back(), base + "/a/b");
  EXPECT_EQ(TSystemTreeView::PathOf(tree.Root()->Child(0)), "/");
}

TEST_F(Folders, TreeCreatesPlainFolderNamesOnly) {
  TSystemTreeView tree;
  TWTreeNode* a = tree.FindPath(base + "/a");
  ASSERT_TRUE(tree.CreateFolder(a, "new"));
  EXPECT_TRUE(QFileInfo(base + "/a/new").isDir());
  EXPECT_EQ(tree.SelectedPath(), base + "/a/new");
  for (const char* bad : {"", ".", "..", "../escape", "x/y"}) EXPECT_FALSE(tree.CreateFolder(a, bad)) << bad;
  EXPECT_FALSE(QFileInfo(base + "/escape").exists());
  EXPECT_FALSE(tree.CreateFolder(a, "new"));  // exists already
}

TEST_F(Folders, TreeFollowsChangesOnDisk) {
  TSystemTreeView tree;
  TWTreeNode* a = tree.FindPath(base + "/a");
  a->ExpandWithParents();
  QDir().mkdir(base + "/a/late");
  EXPECT_TRUE(waitFor([&] { return tree.FindPath(base + "/a/late") != nullptr; }));
  QDir(base + "/a/b").removeRecursively();
  EXPECT_TRUE(waitFor([&] { return tree.FindPath(base + "/a")->FindChild("b") == nullptr; }));
}

TEST_F(Folders, DirDialogSelectsStoredPathAndMakesNewFolders) {
  TDlgDir dlg;
  dlg.SetPath(base + "/a");
  dlg.show();
  EXPECT_EQ(dlg.SystemTreeView->SelectedPath(), base + "/a");
  EXPECT_TRUE(dlg.NewFolderBtn->isEnabled());
  EXPECT_TRUE(dlg.PathLabel->text().endsWith("/a"));
  QString shownFolder;
  dlg.RunNewFolder = [&](TDlgNewFolder& d) {
    shownFolder = d.CurrentFolderLabel->text();
    EXPECT_TRUE(d.Edit->text().isEmpty());
    d.Edit->setText("made");
    return int(QDialog::Accepted);
  };
  dlg.NewFolderClick();
  EXPECT_EQ(shownFolder, base + "/a");
  EXPECT_TRUE(QFileInfo(base + "/a/made").isDir());
  EXPECT_EQ(dlg.SystemTreeView->SelectedPath(), base + "/a/made");
  // An existing name creates nothing and goes back to the stored path.
  dlg.SystemTreeView->SelectPath(base + "/a");
  dlg.SetPath(base + "/empty");
  dlg.RunNewFolder = [](TDlgNewFolder& d) { d.Edit->setText("b"); return int(QDialog::Accepted); };
  dlg.NewFolderClick();
  EXPECT_EQ(dlg.SystemTreeView->SelectedPath(), base + "/empty");
  // Cancelled: nothing.
  dlg.RunNewFolder = [](TDlgNewFolder& d) { d.Edit->setText("never"); return int(QDialog::Rejected); };
  dlg.NewFolderClick();
  EXPECT_FALSE(QFileInfo(base + "/a/never").exists());
  // Closing, even by Cancel, takes the selected folder.
  dlg.SystemTreeView->SelectPath(base + "/empty");
  dlg.reject();
  EXPECT_EQ(dlg.GetPath(), base + "/empty/");
}

TEST(NewFolderDialog, OkNeedsAName) {
  TDlgNewFolder d;
  EXPECT_EQ(d.windowTitle(), "Nouveau dossier...");
  EXPECT_FALSE(d.OKBtn->isEnabled());
  QTest::keyClicks(d.Edit, "x");
  EXPECT_TRUE(d.OKBtn->isEnabled());
  d.Edit->clear();
  EXPECT_FALSE(d.OKBtn->isEnabled());
}

// The folder the new one goes in reads whole, the dialog widened for it; a
// path wider than the screen keeps its end, whole in its tip.
TEST(NewFolderDialog, ShowsTheCurrentFolderWhole) {
  const QString path = "/home/utilisateur/Quillon/Webs/documentation de PostgreSQL/version quinze";
  TDlgNewFolder dlg;
  dlg.CurrentFolderLabel->setText(path);
  dlg.show();
  QApplication::processEvents();
  EXPECT_EQ(dlg.CurrentFolderLabel->text(), path);
  EXPECT_GE(dlg.CurrentFolderLabel->contentsRect().width(), dlg.CurrentFolderLabel->fontMetrics().horizontalAdvance(path));

  const QString deep = QString("/dossier").repeated(60) + "/Quillon";
  TDlgNewFolder narrow;
  narrow.CurrentFolderLabel->setText(deep);
  narrow.show();
  QApplication::processEvents();
  const QString shown = narrow.CurrentFolderLabel->text();
  EXPECT_TRUE(shown.startsWith("...") && shown.endsWith("/Quillon")) << shown.toStdString();
  EXPECT_LE(narrow.CurrentFolderLabel->fontMetrics().horizontalAdvance(shown),
            narrow.CurrentFolderLabel->contentsRect().width());
  EXPECT_EQ(narrow.CurrentFolderLabel->toolTip(), deep);
}

TEST_F(Folders, WorkPathDialogAsksBeforeCreating) {
  const QString target = base + "/work/Webs/";
  TDlgWorkPath dlg(target);
  dlg.show();
  EXPECT_EQ(dlg.WorkPathEdit->text(), target);
  // The whole proposed folder shows, its start included.
  EXPECT_GE(dlg.WorkPathEdit->contentsRect().width(), dlg.WorkPathEdit->fontMetrics().horizontalAdvance(target));
  EXPECT_TRUE(dlg.OKBtn->isEnabled());
  dlg.WorkPathEdit->setText(base + "/work");
  EXPECT_FALSE(dlg.OKBtn->isEnabled());  // no final "/"
  dlg.WorkPathEdit->setText(target);
  {
    ScriptedMessageBoxes boxes({qlon::platform::IDNO});
    QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Voulez vous le créer?");
    EXPECT_EQ(boxes.shown[0].caption, "Répertoire inexistant");
    EXPECT_TRUE(dlg.isVisible());
    EXPECT_EQ(dlg.WorkPathEdit->text(), target);
    EXPECT_FALSE(QFileInfo(target).exists());
  }
  {
    ScriptedMessageBoxes boxes({qlon::platform::IDYES});
    QTest::mouseClick(dlg.OKBtn, Qt::LeftButton);
    EXPECT_TRUE(QFileInfo(target).isDir());
    EXPECT_FALSE(dlg.isVisible());
    EXPECT_EQ(dlg.result(), QDialog::Accepted);
    EXPECT_EQ(dlg.WorkPath, target);
  }
}

// A proposed folder longer than the field can show (149 characters, a deep
// home folder) is shown whole all the same: the field starts at its start,
// and the lines under it give it whole, broken after a "/".
TEST_F(Folders, WorkPathDialogShowsALongProposedFolderWhole) {
  QString path = base;
  while (path.size() + 20 + 15 + 1 <= 149) path += "/dossier-de-travail1";
  path += "/" + QString(149 - path.size() - 15, 'x') + "/Quillon/Webs/";
  ASSERT_EQ(path.size(), 149);
  TDlgWorkPath dlg(path);
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_EQ(dlg.WorkPathEdit->text(), path);
  EXPECT_EQ(dlg.WorkPathEdit->toolTip(), path);
  EXPECT_EQ(dlg.WorkPathEdit->cursorPosition(), 0);
  ASSERT_TRUE(dlg.WholePathLabel->isVisible());
  const QStringList lines = dlg.WholePathLabel->text().split('\n');
  EXPECT_EQ(lines.join(QString()), path);
  EXPECT_EQ(dlg.WholePathLabel->toolTip(), path);
  // On as many lines as it needs, each inside the dialog, broken after a "/".
  ASSERT_GE(lines.size(), 2);
  const QFontMetrics fm = dlg.WholePathLabel->fontMetrics();
  for (const QString& line : lines.mid(0, lines.size() - 1)) EXPECT_TRUE(line.endsWith('/')) << line.toStdString();
  QCoreApplication::processEvents();
  EXPECT_GE(dlg.WholePathLabel->height(), int(lines.size()) * fm.height());
  EXPECT_LE(dlg.WholePathLabel->geometry().right(), dlg.width());
  for (const QString& line : lines)
    EXPECT_LE(fm.horizontalAdvance(line), dlg.WholePathLabel->width()) << line.toStdString();
  QDir().mkpath(QCoreApplication::applicationDirPath() + "/../screens");
  dlg.grab().save(QCoreApplication::applicationDirPath() + "/../screens/WorkPath-LongFolder.png");

  // A short folder fits the field: no second line.
  dlg.WorkPathEdit->setText(base + "/w/");
  EXPECT_FALSE(dlg.WholePathLabel->isVisible());
  EXPECT_EQ(dlg.WorkPathEdit->toolTip(), base + "/w/");
}

TEST_F(Folders, WorkPathDialogFailsToCreateStaysOpen) {
  QFile file(base + "/plain");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  TDlgWorkPath dlg(base + "/plain/sub/");
  dlg.show();
  ScriptedMessageBoxes boxes({qlon::platform::IDYES});
  EXPECT_FALSE(dlg.CanClose());
  EXPECT_EQ(boxes.shown.size(), 2u);  // the question, then the failure
  EXPECT_TRUE(dlg.isVisible());
}

TEST_F(Folders, WorkPathDialogBrowsesAndCannotBeDismissed) {
  TDlgWorkPath dlg(base + "/x/");
  dlg.show();
  QString given;
  dlg.RunDirDialog = [&](TDlgDir& d) {
    given = d.GetPath();
    d.SetPath(base + "/a");
    return true;
  };
  dlg.BrowseClick();
  EXPECT_EQ(given, base + "/x/");
  EXPECT_EQ(dlg.WorkPathEdit->text(), base + "/a/");
  dlg.hide();
  dlg.show();  // shown again: the choice stays
  EXPECT_EQ(dlg.WorkPathEdit->text(), base + "/a/");
  QTest::keyClick(&dlg, Qt::Key_Escape);
  dlg.close();
  EXPECT_TRUE(dlg.isVisible());
}
