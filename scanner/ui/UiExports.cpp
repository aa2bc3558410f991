// tq21uui.so's export: the settings page inside a scanning host's window.
#include <QWidget>

#include "SettingsPage.h"

#define QLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
// Survives the page window: a host that makes the page again reuses it.
qlon::scanner::ui::PageState g_state;
}  // namespace

// parent: the host's QWidget; scanner: its imgport::ScannerInterface.
QLON_EXPORT void* CreateUserInterface(void* parent, int32_t pageIndex, void* scanner) {
  if (pageIndex != 0 || !scanner) return nullptr;
  auto* host = static_cast<QWidget*>(parent);
  auto* page = new qlon::scanner::ui::SettingsPage(host, static_cast<qlon::imgport::ScannerInterface*>(scanner), &g_state);
  if (host) page->setGeometry(host->rect());
  page->show();
  return page;
}
