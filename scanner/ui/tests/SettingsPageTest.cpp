// The page widget: host messages and the keyboard hand-over.
#include <QApplication>
#include <QPushButton>
#include <gtest/gtest.h>

#include "CapabilityTypes.h"
#include "SettingsPage.h"
#include "TempRoot.h"

using namespace qlon::scanner;
using namespace qlon::scanner::ui;

namespace {

class Quiet : public qlon::imgport::ScannerInterface {
 public:
  CapEnum pixel{3, 0, 0, nullptr}, port{4, 1, 1, nullptr};
  uint32_t GetCapability(int32_t id, int32_t* kind, void** value) override {
    *kind = kCapEnum;
    *value = id == 0x8074 ? &port : &pixel;
    return 0;
  }
  uint32_t SetCapability(int32_t, intptr_t) override { return 0; }
  uint32_t DeviceControl(int32_t, const void*, int32_t, void*, int32_t) override { return 0; }
  uint32_t GetLastErrorInfo(DrvErrorInfo*) override { return 0; }
  const char* GetKeyName() override { return "QMDEV"; }
  const char* GetDriverName() override { return "tq21udrv"; }
  uint32_t GetDeviceName(char* b, int32_t*) override { std::snprintf(b, 17, "QM-6620         "); return 0; }
};

TEST(SettingsPageWidget, HostMessagesAndKeyboardHandOver) {
  qlon::test::TempRoot root;
  int argc = 1;
  char name[] = "page";
  char* argv[] = {name};
  QApplication app(argc, argv);
  Quiet si;
  PageState state;
  QWidget host;
  auto* hostButton = new QPushButton("OK", &host);
  auto* page = new SettingsPage(&host, &si, &state);
  host.show();
  app.processEvents();
  HostMessage noDescreen(SettingsPage::kDescreenAllowed, nullptr, 0);
  QApplication::sendEvent(page, &noDescreen);
  EXPECT_FALSE(page->Control(kDescreenCheck)->isEnabled());
  HostMessage window(SettingsPage::kHostWindow, &host, 0);
  QApplication::sendEvent(page, &window);
  EXPECT_EQ(page->HostWindow(), &host);

  // Into the page: first stop, or the last with Shift.
  page->HandOver(hostButton, hostButton, false);
  QWidget* first = QApplication::focusWidget();
  ASSERT_NE(first, nullptr);
  EXPECT_TRUE(page->isAncestorOf(first));
  page->HandOver(hostButton, hostButton, true);
  QWidget* last = QApplication::focusWidget();
  EXPECT_NE(last, first);
  // Tab on the last stop returns to the host; on another stop nothing moves.
  first->setFocus();
  page->HandOver(first, hostButton, false);
  EXPECT_EQ(QApplication::focusWidget(), first);
  page->HandOver(last, hostButton, false);
  EXPECT_EQ(QApplication::focusWidget(), hostButton);
  page->HandOver(nullptr, nullptr, false);
  EXPECT_EQ(QApplication::focusWidget(), first);
}

}  // namespace
