// tq21ucpl.so's export: the "Préférences" page of the scanner properties.
#include "PreferencesPage.h"
#include "Sti.h"

#define QLON_EXPORT extern "C" __attribute__((visibility("default")))

// The sheet's add-page callback: takes the page (a PreferencesPage, a QWidget
// with apply() and changed()), true when it keeps it.
using AddPageFn = int (*)(void* page, intptr_t parameter);

QLON_EXPORT int32_t EnumStiPropPages(const qlon::sti::DeviceInformation* device, AddPageFn addPage,
                                     intptr_t parameter) {
  if (!device || !device->deviceDescription || !addPage) return 0;
  const std::string description = QString::fromStdU16String(device->deviceDescription).toStdString();
  auto* page = new qlon::scanner::cpl::PreferencesPage(qlon::scanner::cpl::DeviceKeyOf(description));
  if (!addPage(page, parameter)) {
    delete page;
    return 0;
  }
  return 1;
}
