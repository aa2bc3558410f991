// The page widget: host messages, the keyboard hand-over, tooltips and
// status lines, the threshold edit's keys, diagnostics, calibration, help.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTimer>
#include <gtest/gtest.h>

#include <filesystem>

#include "AppEnvironment.h"
#include "DiagnosticsDialog.h"
#include "FakeScanner.h"
#include "HalftonePreviews.h"
#include "MessageBox.h"
#include "PageMessages.h"
#include "SettingsPage.h"
#include "Shell.h"
#include "TempRoot.h"

using namespace qlon::scanner;
using namespace qlon::scanner::ui;
namespace pf = qlon::platform;

namespace {

const auto* const g_env = qlon::test::AddAppEnvironment<QApplication>();

// Plays the host: host window > client > page, and records what the page sends it.
class Host : public QWidget {
 public:
  std::vector<unsigned> messages;
  QString status;
  bool event(QEvent* e) override {
    if (const PageMessage* m = PageMessage::Of(e)) {
      messages.push_back(m->message);
      if (m->message == kMsgStatusText) status = m->text;
      return true;
    }
    return QWidget::event(e);
  }
  int Count(unsigned message) const { return int(std::count(messages.begin(), messages.end(), message)); }
};

class PageWidget : public ::testing::Test {
 protected:
  void SetUp() override {
    client_ = new QWidget(&host_);
    hostButton_ = new QPushButton("OK", &host_);
    hostButton_->move(0, 440);
    client_->resize(460, 430);
    page_ = new SettingsPage(client_, &si_, &state_);
    page_->resize(client_->size());
    host_.resize(480, 480);
    host_.show();
    PostPageMessage(page_, kMsgHostWindow, reinterpret_cast<uintptr_t>(static_cast<QWidget*>(&host_)));
    QApplication::processEvents();
  }
  void Pump() {
    for (int i = 0; i < 3; ++i) QApplication::processEvents();
  }
  qlon::test::TempRoot root_;
  test::FakeScanner si_;
  PageState state_;
  Host host_;
  QWidget* client_;
  QPushButton* hostButton_;
  SettingsPage* page_;
  pf::ScriptedMessageBoxes boxes_;
};

TEST_F(PageWidget, HostMessagesAndKeyboardHandOver) {
  EXPECT_EQ(page_->HostWindow(), &host_);
  PageMessage noDescreen(kMsgDescreenAllowed, 0, 0);
  QApplication::sendEvent(page_, &noDescreen);
  EXPECT_FALSE(page_->Control(kDescreenCheck)->isEnabled());

  // Into the page: first stop, or the last with Shift.
  page_->HandOver(hostButton_, hostButton_, false);
  QWidget* first = QApplication::focusWidget();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first, page_->TabStops().front());
  page_->HandOver(hostButton_, hostButton_, true);
  QWidget* last = QApplication::focusWidget();
  EXPECT_EQ(last, page_->TabStops().back());
  EXPECT_NE(last, first);
  // Tab on the last stop returns to the host; on another stop nothing moves.
  first->setFocus();
  PageMessage tab(kMsgHandOver, reinterpret_cast<uintptr_t>(first), reinterpret_cast<intptr_t>(hostButton_));
  QApplication::sendEvent(page_, &tab);
  EXPECT_EQ(QApplication::focusWidget(), first);
  last->setFocus();
  PageMessage tabLast(kMsgHandOver, reinterpret_cast<uintptr_t>(last), reinterpret_cast<intptr_t>(hostButton_));
  QApplication::sendEvent(page_, &tabLast);
  EXPECT_EQ(QApplication::focusWidget(), hostButton_);
  page_->HandOver(nullptr, nullptr, false);
  EXPECT_EQ(QApplication::focusWidget(), first);
}

TEST_F(PageWidget, TipsShowTheSecondPartAndPostTheFirstThreeLevelsUp) {
  EXPECT_EQ(page_->TipFor(page_->Control(kDescreenCheck)), "Moire Reduction");
  Pump();
  EXPECT_EQ(host_.status, "Reduces moire");
  EXPECT_EQ(page_->TipFor(page_->Control(kSourceCombo)), "");
  Pump();
  EXPECT_EQ(host_.status, "Selects Image Source");
  // Through the tooltip event, as the mouse would ask.
  QWidget* test = page_->Control(kTestButton);
  QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), test->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(test, &help);
  Pump();
  EXPECT_EQ(host_.status, "Performs scanner diagnostics");
  const int before = host_.Count(kMsgStatusText);
  EXPECT_EQ(page_->TipFor(page_->Control(kModelLabel)), "");
  Pump();
  EXPECT_EQ(host_.Count(kMsgStatusText), before);  // no text, no status line
}

TEST_F(PageWidget, ThresholdEditWarnsOnTabAndSendsTheKeptValueAgain) {
  auto* edit = static_cast<QLineEdit*>(page_->Control(kThresholdEdit));
  auto* track = static_cast<QSlider*>(page_->Control(kTrackBar));
  ASSERT_TRUE(edit->isEnabled());
  edit->setFocus();
  Pump();
  si_.Take();
  // Enter takes a good value at once.
  edit->setText("64");
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(edit, &enter);
  EXPECT_EQ(state_.threshold, 64);
  EXPECT_EQ(si_.Take(), (test::Calls{{0x1123, 64}}));
  EXPECT_TRUE(boxes_.shown.empty());

  edit->setText("300");
  QKeyEvent three(QEvent::KeyPress, Qt::Key_3, Qt::NoModifier, "3");
  QApplication::sendEvent(edit, &three);
  QKeyEvent tabKey(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
  QApplication::sendEvent(edit, &tabKey);
  EXPECT_NE(QApplication::focusWidget(), edit);  // Tab moved on inside the page
  Pump();
  ASSERT_EQ(boxes_.shown.size(), 1u);
  EXPECT_EQ(boxes_.shown[0].text, "Invalid numeric value. Please enter valid number.");
  EXPECT_EQ(boxes_.shown[0].caption, "Vellumor");
  EXPECT_EQ(boxes_.shown[0].Icon(), pf::MessageIcon::Warning);
  // The kept value went through the track-bar path again: driver, track bar, edit.
  EXPECT_EQ(si_.Take(), (test::Calls{{0x1123, 64}}));
  EXPECT_EQ(state_.threshold, 64);
  EXPECT_EQ(track->value(), 64);
  EXPECT_EQ(edit->text(), "64");
  EXPECT_EQ(QApplication::focusWidget(), edit);
  EXPECT_EQ(edit->selectedText(), "64");

  // No number at all is refused the same way.
  edit->clear();
  QApplication::sendEvent(edit, &enter);
  Pump();
  EXPECT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(si_.Take(), (test::Calls{{0x1123, 64}}));
  EXPECT_EQ(edit->text(), "64");
}

TEST_F(PageWidget, RefusedAutomaticThresholdStaysManualAndKeepsTheInformationLine) {
  auto* info = static_cast<QLabel*>(page_->Control(kInfoLine));
  const QString line = info->text();
  ASSERT_NE(line.indexOf("tq21udrv"), -1);
  ASSERT_NE(line.indexOf("Firmware : 1.07"), -1);
  si_.failSet[0x1100] = 0xC0000000u;
  si_.Take();
  static_cast<QRadioButton*>(page_->Control(kAutoRadio))->click();
  Pump();
  EXPECT_EQ(info->text(), line);
  EXPECT_EQ(si_.Take(), (test::Calls{{0x1100, 1}}));  // never threshold 0
  EXPECT_TRUE(static_cast<QRadioButton*>(page_->Control(kManualRadio))->isChecked());
  EXPECT_FALSE(static_cast<QRadioButton*>(page_->Control(kAutoRadio))->isChecked());
  EXPECT_TRUE(page_->Control(kTrackBar)->isEnabled());
  EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(PageWidget, FailedDiagnosticsKeepStartDisabledAndCloseTheHost) {
  si_.controlStatus[4] = 0xC0000000u;
  si_.Error(62, "Erreur irrécupérable sur le scanner. Mettez le scanner hors tension et suivez les instructions.");
  QString title, text;
  bool startEnabled = true;
  QTimer::singleShot(0, [&] {
    auto* dialog = dynamic_cast<DiagnosticsDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    title = static_cast<QLabel*>(dialog->Control(1049))->text();
    static_cast<QPushButton*>(dialog->Control(1))->click();
    text = static_cast<QPlainTextEdit*>(dialog->Control(1043))->toPlainText();
    startEnabled = dialog->Control(1)->isEnabled();
    EXPECT_TRUE(dialog->Control(2)->hasFocus() || !dialog->isActiveWindow());
    static_cast<QPushButton*>(dialog->Control(2))->click();
  });
  page_->TestScanner();
  EXPECT_EQ(title, "tq21udrv Diagnostics :");
  EXPECT_TRUE(text.startsWith("FAILED -\nErreur irrécupérable")) << text.toStdString();
  for (const QString& line : text.split('\n')) EXPECT_LE(line.size(), 60);
  EXPECT_FALSE(startEnabled);
  Pump();
  EXPECT_EQ(host_.Count(kMsgDiagnosticsGone), 1);
  EXPECT_EQ(host_.Count(kWmClose), 1);

  // A passing run closes nothing.
  si_.controlStatus[4] = 0;
  QTimer::singleShot(0, [&] {
    auto* dialog = dynamic_cast<DiagnosticsDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    static_cast<QPushButton*>(dialog->Control(1))->click();
    text = static_cast<QPlainTextEdit*>(dialog->Control(1043))->toPlainText();
    startEnabled = dialog->Control(1)->isEnabled();
    dialog->reject();
  });
  page_->TestScanner();
  Pump();
  EXPECT_EQ(text, "Diagnostics Passed.");
  EXPECT_TRUE(startEnabled);
  EXPECT_EQ(host_.Count(kMsgDiagnosticsGone), 2);
  EXPECT_EQ(host_.Count(kWmClose), 1);
}

TEST_F(PageWidget, CalibrationBoxFollowsTheStatusClass) {
  page_->Calibrate();
  EXPECT_TRUE(boxes_.shown.empty());
  EXPECT_EQ(si_.controls.back(), 6);
  si_.Error(24, "Le calibrage a échoué.");
  si_.controlStatus[6] = 0x40000065u;  // information class: the host stays
  page_->Calibrate();
  si_.controlStatus[6] = 0xC0000000u;
  page_->Calibrate();
  Pump();
  ASSERT_EQ(boxes_.shown.size(), 2u);
  EXPECT_EQ(boxes_.shown[0].Icon(), pf::MessageIcon::Information);
  EXPECT_EQ(boxes_.shown[1].Icon(), pf::MessageIcon::Error);
  EXPECT_EQ(boxes_.shown[1].caption, "Vellumor");
  EXPECT_EQ(boxes_.shown[1].text, "Le calibrage a échoué.");
  EXPECT_EQ(host_.Count(kWmClose), 1);
}

TEST_F(PageWidget, HelpOpensTheFileBesideTheLibraryAtItsTopic) {
  const std::string file = SettingsPage::HelpFile();
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(std::filesystem::path(file).filename(), "pxui.hlp");
  pf::RecordingShell shell;
  ASSERT_TRUE(std::filesystem::exists(file));  // the build puts it beside the programs
  EXPECT_TRUE(SettingsPage::OpenHelp(200));
  ASSERT_EQ(shell.opened.size(), 1u);
  EXPECT_NE(shell.opened[0].find("pxui.hlp#topic200"), std::string::npos);
}

TEST_F(PageWidget, HalftoneChoiceShowsItsBitmap) {
  auto* preview = static_cast<QLabel*>(page_->Control(kPreview));
  auto* combo = static_cast<QComboBox*>(page_->Control(kHalftoneCombo));
  combo->setCurrentIndex(3);
  emit combo->activated(3);
  const QImage shown = preview->pixmap().toImage().convertToFormat(QImage::Format_Mono);
  EXPECT_EQ(shown, HalftoneBitmap(107).convertToFormat(QImage::Format_Mono));
  EXPECT_EQ(si_.sets.back().first, 0x1100);
}

TEST(DiagnosticsPlacement, CentredOnTheHostAndKeptOnTheDesktop) {
  const QRect desktop(0, 0, 1024, 768);
  const QRect dialog(0, 0, 300, 200);
  EXPECT_EQ(DiagnosticsDialog::Place(dialog, QRect(100, 100, 500, 400), desktop), QRect(200, 200, 300, 200));
  // A host near a corner: the dialog stays whole on the desktop.
  EXPECT_EQ(DiagnosticsDialog::Place(dialog, QRect(-200, -150, 300, 200), desktop).topLeft(), QPoint(0, 0));
  EXPECT_EQ(DiagnosticsDialog::Place(dialog, QRect(900, 700, 300, 200), desktop).bottomRight(), desktop.bottomRight());
}

// Every pattern draws darker shades with more black, and no two look alike.
TEST(HalftoneBitmaps, RampsDarkToLightAndDiffer) {
  EXPECT_TRUE(HalftoneBitmap(103).isNull());
  EXPECT_TRUE(HalftoneBitmap(113).isNull());
  std::vector<QImage> all;
  for (int id = 104; id <= 112; ++id) {
    const QImage image = HalftoneBitmap(id);
    ASSERT_FALSE(image.isNull());
    auto black = [&](int x0, int x1) {
      int n = 0;
      for (int y = 0; y < image.height(); ++y)
        for (int x = x0; x < x1; ++x) n += qGray(image.pixel(x, y)) == 0;
      return n;
    };
    const int w = image.width();
    const int q[4] = {black(0, w / 4), black(w / 4, w / 2), black(w / 2, 3 * w / 4), black(3 * w / 4, w)};
    EXPECT_TRUE(q[0] >= q[1] && q[1] >= q[2] && q[2] >= q[3] && q[0] > q[3]) << id;
    for (const QImage& other : all) EXPECT_NE(image, other) << id;
    all.push_back(image);
  }
}

}  // namespace
