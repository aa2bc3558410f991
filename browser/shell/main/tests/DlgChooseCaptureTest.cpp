#include "DlgChooseCapture.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QPushButton>
#include <QRadioButton>

#include "MessageBox.h"
#include "ScreenShot.h"
#include "Utils.h"

namespace qlon::shell {
namespace {

using platform::ScriptedMessageBoxes;

const QDateTime kNow(QDate(2026, 3, 14), QTime(10, 20));

TCaptureFlags ChooseWith(TCaptureFlags proposed, const std::function<void(TDlgChooseCapture&)>& edit) {
  TDlgChooseCapture dlg(proposed);
  dlg.Now = [] { return kNow; };
  edit(dlg);
  dlg.OKBtn->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  return dlg.Flags();
}

TEST(DlgChooseCaptureTest, ProposedFlagsSelectTheirChoiceAndComeBackUnchanged) {
  struct Case {
    TCaptureFlags proposed;
    QRadioButton* TDlgChooseCapture::*checked;
  };
  const Case cases[] = {{65, &TDlgChooseCapture::ResetRadio},
                        {1, &TDlgChooseCapture::FinishRadio},
                        {2, &TDlgChooseCapture::UpdateRadio},
                        {3, &TDlgChooseCapture::FinishUpdateRadio}};
  for (const Case& c : cases) {
    TDlgChooseCapture dlg(c.proposed);
    EXPECT_TRUE((dlg.*c.checked)->isChecked()) << c.proposed;
    EXPECT_FALSE(dlg.LaterCheck->isChecked());
    EXPECT_FALSE(dlg.LaterEdit->isEnabled());
    dlg.OKBtn->click();
    EXPECT_EQ(dlg.Flags(), c.proposed);
    EXPECT_EQ(dlg.Date(), 0);
  }
}

TEST(DlgChooseCaptureTest, EachChoiceGivesItsFlagsAndKeepsTheBitsNotShown) {
  constexpr TCaptureFlags kHidden = 8 | 16 | 0x100;
  EXPECT_EQ(ChooseWith(kHidden | 2, [](auto& d) { d.ResetRadio->setChecked(true); }), kHidden | 65);
  EXPECT_EQ(ChooseWith(kHidden | 65, [](auto& d) { d.UpdateRadio->setChecked(true); }), kHidden | 2);
  EXPECT_EQ(ChooseWith(65, [](auto& d) { d.FinishRadio->setChecked(true); }), 1);
  EXPECT_EQ(ChooseWith(1, [](auto& d) { d.FinishUpdateRadio->setChecked(true); }), 3);
  EXPECT_EQ(ChooseWith(1, [](auto& d) { d.HangUpCheck->setChecked(true); }), 1 | 128);
  EXPECT_EQ(ChooseWith(1 | 128, [](auto& d) { d.HangUpCheck->setChecked(false); }), 1);
}

TEST(DlgChooseCaptureTest, ALaterStartGivesFlagFourAndItsDate) {
  const QDateTime at(QDate(2026, 3, 15), QTime(3, 45));
  TDlgChooseCapture dlg(65);
  dlg.Now = [] { return kNow; };
  dlg.LaterCheck->setChecked(true);
  EXPECT_TRUE(dlg.LaterEdit->isEnabled());
  dlg.LaterEdit->setDateTime(at);
  dlg.OKBtn->click();
  ASSERT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.Flags(), 65 | 4);
  EXPECT_DOUBLE_EQ(dlg.Date(), QDateTimeToDateTime(at));
  EXPECT_EQ(DateTimeToQDateTime(dlg.Date()), at);

  // Unchecked again: neither the flag nor a date.
  dlg.LaterCheck->setChecked(false);
  EXPECT_EQ(dlg.Flags(), 65);
  EXPECT_EQ(dlg.Date(), 0);
}

TEST(DlgChooseCaptureTest, AStartThatHasPassedIsRefusedAndTheDialogStays) {
  ScriptedMessageBoxes boxes;
  TDlgChooseCapture dlg(1);
  dlg.Now = [] { return kNow; };
  dlg.LaterCheck->setChecked(true);
  dlg.LaterEdit->setDateTime(kNow);
  dlg.OKBtn->click();
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].text, TDlgChooseCapture::kPastDateText);

  dlg.LaterEdit->setDateTime(kNow.addSecs(60));
  dlg.OKBtn->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(dlg.Flags(), 1 | 4);
}

TEST(DlgChooseCaptureTest, CancelIsNotAccepted) {
  TDlgChooseCapture dlg(65);
  dlg.CancelBtn->click();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(DlgChooseCaptureTest, ScreenShot) {
  TDlgChooseCapture dlg(65 | 128);
  EXPECT_TRUE(test::SaveScreenShot(dlg, "DlgChooseCapture"));
}

}  // namespace
}  // namespace qlon::shell
