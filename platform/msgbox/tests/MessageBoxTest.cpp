#include <gtest/gtest.h>

#include "MessageBox.h"

namespace qlon::platform {
namespace {

TEST(MessageBoxRequest, ButtonSetsDefaultsAndEscape) {
  struct Row {
    unsigned flags;
    std::vector<int> buttons;
    int defaultButton;
    int escape;
  };
  const Row rows[] = {
      {MB_OK, {IDOK}, IDOK, IDOK},
      {MB_OKCANCEL | MB_DEFBUTTON2, {IDOK, IDCANCEL}, IDCANCEL, IDCANCEL},
      {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, {IDABORT, IDRETRY, IDIGNORE}, IDIGNORE, 0},
      {MB_YESNOCANCEL, {IDYES, IDNO, IDCANCEL}, IDYES, IDCANCEL},
      {MB_YESNO | MB_DEFBUTTON2, {IDYES, IDNO}, IDNO, 0},
      {MB_RETRYCANCEL, {IDRETRY, IDCANCEL}, IDRETRY, IDCANCEL},
      {MB_YESNO | MB_DEFBUTTON3, {IDYES, IDNO}, IDYES, 0},  // no third button: the first
      {7, {IDOK}, IDOK, IDOK},                              // unknown set: the message is still shown
  };
  for (const Row& r : rows) {
    const MessageBoxRequest q{"t", "c", r.flags};
    EXPECT_EQ(q.Buttons(), r.buttons) << r.flags;
    EXPECT_EQ(q.DefaultButton(), r.defaultButton) << r.flags;
    EXPECT_EQ(q.EscapeButton(), r.escape) << r.flags;
  }
}

TEST(MessageBoxRequest, Icons) {
  EXPECT_EQ((MessageBoxRequest{"", "", MB_OK}.Icon()), MessageIcon::None);
  EXPECT_EQ((MessageBoxRequest{"", "", MB_YESNO | MB_ICONQUESTION}.Icon()), MessageIcon::Question);
  EXPECT_EQ((MessageBoxRequest{"", "", MB_ICONHAND}.Icon()), MessageIcon::Error);
  EXPECT_EQ((MessageBoxRequest{"", "", MB_ICONEXCLAMATION}.Icon()), MessageIcon::Warning);
  EXPECT_EQ((MessageBoxRequest{"", "", MB_ICONASTERISK}.Icon()), MessageIcon::Information);
}

TEST(MessageBox, WithoutHandlerAnswersTheDefaultButton) {
  ASSERT_EQ(CurrentMessageBoxHandler(), nullptr);
  EXPECT_EQ(MessageBox("Effacer ?", "Effacement", MB_YESNO | MB_DEFBUTTON2), IDNO);
  EXPECT_EQ(MessageBox("Fini", "Quillon", MB_OK), IDOK);
}

TEST(MessageBox, ScriptedHandlerRecordsAnswersAndUninstalls) {
  {
    ScriptedMessageBoxes boxes({IDNO, IDOK});
    EXPECT_EQ(MessageBox("Le répertoire n'est pas vide", "Effacement", MB_YESNO | MB_ICONQUESTION), IDNO);
    // IDOK is not a button of a Yes/No box: refused, the default answers.
    EXPECT_EQ(MessageBox("Encore ?", "Effacement", MB_YESNO), IDYES);
    EXPECT_EQ(boxes.refused, std::vector<int>{IDOK});
    EXPECT_EQ(MessageBox("x", "y", MB_RETRYCANCEL | MB_DEFBUTTON2), IDCANCEL);  // script exhausted
    ASSERT_EQ(boxes.shown.size(), 3u);
    EXPECT_EQ(boxes.shown[0].caption, "Effacement");
    EXPECT_EQ(boxes.shown[0].flags, MB_YESNO | MB_ICONQUESTION);
    {
      ScriptedMessageBoxes inner({IDCANCEL});
      EXPECT_EQ(MessageBox("a", "b", MB_OKCANCEL), IDCANCEL);
    }
    EXPECT_EQ(CurrentMessageBoxHandler(), &boxes);
  }
  EXPECT_EQ(CurrentMessageBoxHandler(), nullptr);
}

}  // namespace
}  // namespace qlon::platform
