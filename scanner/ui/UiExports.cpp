// tq21uui.so's export: the settings page inside a scanning host's window.
#include <QApplication>
#include <QPointer>
#include <QWidget>
#include <vector>

#include "SettingsPage.h"

#define QLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
using qlon::scanner::ui::PageState;
using qlon::scanner::ui::SettingsPage;

// Lives from load to unload: it survives the page window, and a host that
// makes the page again reuses what the first start learnt.
struct Library {
  PageState state;
  std::vector<QPointer<SettingsPage>> pages;
  ~Library() {
    // Unloading: the state is written back (its save needs no host object),
    // and pages the host left behind go, while there still is an application.
    qlon::scanner::ui::SaveState(state);
    if (QApplication::instance())
      for (auto& page : pages) delete page.data();
  }
};
Library g_library;
}  // namespace

// parent: the host's QWidget; scanner: its imgport::ScannerInterface.
QLON_EXPORT void* CreateUserInterface(void* parent, int32_t pageIndex, void* scanner) {
  if (pageIndex != 0 || !scanner) return nullptr;
  auto* host = static_cast<QWidget*>(parent);
  auto* page = new SettingsPage(host, static_cast<qlon::imgport::ScannerInterface*>(scanner), &g_library.state);
  if (host) page->setGeometry(host->rect());
  page->show();
  std::erase_if(g_library.pages, [](const QPointer<SettingsPage>& p) { return p.isNull(); });
  g_library.pages.emplace_back(page);
  return page;
}
