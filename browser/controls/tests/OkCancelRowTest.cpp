#include "OkCancelRow.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTest>
#include <gtest/gtest.h>

#include "DNewFolder.h"
#include "DlgSysTree.h"

namespace qlon::controls {
namespace {

// The row as the dialogs show it: OK the default, Annuler after it at the
// right, Tab from OK to Annuler, and Annuler closing the dialog as refused.
void ExpectOkCancelRow(QDialog& dialog, QPushButton* ok, QPushButton* cancel) {
  EXPECT_EQ(ok->text(), "&OK");
  EXPECT_EQ(cancel->text(), "&Annuler");
  EXPECT_TRUE(ok->isDefault());
  EXPECT_FALSE(cancel->isDefault());
  EXPECT_EQ(ok->nextInFocusChain(), cancel);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_LT(ok->geometry().right(), cancel->geometry().left());
  dialog.setResult(QDialog::Accepted);
  QTest::mouseClick(cancel, Qt::LeftButton);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(OkCancelRow, TheFolderDialogsEndWithIt) {
  TDlgNewFolder folder;
  ExpectOkCancelRow(folder, folder.OKBtn, folder.CancelBtn);
  TDlgDir dir;
  // The folder dialog's own button stays first in its row.
  EXPECT_EQ(dir.NewFolderBtn->nextInFocusChain(), dir.OKBtn);
  ExpectOkCancelRow(dir, dir.OKBtn, dir.CancelBtn);
  EXPECT_LT(dir.NewFolderBtn->geometry().right(), dir.OKBtn->x());
}

TEST(OkCancelRow, ButtonsTakeTheParentGivenAndTheRowItsOrder) {
  QDialog dialog;
  const TOkCancelRow row = MakeOkCancelRow(&dialog, &dialog);
  EXPECT_EQ(row.Ok->parent(), &dialog);
  ASSERT_EQ(row.Layout->count(), 3);
  EXPECT_NE(row.Layout->itemAt(0)->spacerItem(), nullptr);
  EXPECT_EQ(row.Layout->itemAt(1)->widget(), row.Ok);
  EXPECT_EQ(row.Layout->itemAt(2)->widget(), row.Cancel);
  delete row.Layout;
}

}  // namespace
}  // namespace qlon::controls
