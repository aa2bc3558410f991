// tq21ucpl.so's export: the "Préférences" page of the scanner properties.
#include <QApplication>

#include "MessageBox.h"
#include "PreferencesPage.h"
#include "QtMessageBox.h"
#include "RegistryValueList.h"
#include "Sti.h"

#define QLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
void Complain(const char* text) {
  // A control panel that installed no handler in this library gets Qt's box.
  if (!qlon::platform::CurrentMessageBoxHandler() && QApplication::instance()) {
    static qlon::platform::QtMessageBoxHandler boxes;
  }
  qlon::platform::MessageBox(text, "EnumStiPropPages", qlon::platform::MB_OK);
}
}  // namespace

// The sheet's add-page callback: takes the page (a PreferencesPage, a QWidget
// with apply() and changed()), true when it keeps it.
using AddPageFn = int (*)(void* page, intptr_t parameter);

QLON_EXPORT int32_t EnumStiPropPages(const qlon::sti::DeviceInformation* device, AddPageFn addPage,
                                     intptr_t parameter) {
  if (!device || !addPage) return 0;
  if (!device->deviceDescription) {
    Complain("No Device Description");
    return 0;
  }
  const std::string description = QString::fromStdU16String(device->deviceDescription).toStdString();
  const std::string key = qlon::scanner::cpl::DeviceKeyOf(description);
  // The library's own module (the instance its page resources belong to).
  static const int anchor = 0;
  if (qlon::scanner::ModulePathOf(&anchor).empty()) {
    Complain("No HINSTANCE!");
    return 0;
  }
  auto* page = new qlon::scanner::cpl::PreferencesPage(key);
  if (!addPage(page, parameter)) {
    delete page;
    return 0;
  }
  return 1;
}
