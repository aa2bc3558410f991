#include "ZoomLib.h"

#include <mutex>

#include "DynamicLibrary.h"

namespace qlon::viewer {

namespace {

std::mutex gMutex;
ZoomEntryPoints gZoom;
// Never closed at exit: no static's destruction may unload it under a user.
platform::TDynamicLibrary& gLibrary = *new platform::TDynamicLibrary;
bool gBound = false;

void Bind(const std::string& folder) {
  gLibrary.Close();
  gZoom = {};
  gLibrary = platform::TDynamicLibrary::InFolder(folder, kZoomFileName);
  gBound = true;
  if (!gLibrary) return;
  gZoom.Loaded = true;
  gLibrary.Bind(gZoom.StretchFilterDIB, "StretchFilterDIB");
  gLibrary.Bind(gZoom.ConvertDIB, "ConvertDIB");
  gLibrary.Bind(gZoom.SaveToGIF, "SaveToGIF");
}

}  // namespace

const ZoomEntryPoints& Zoom() {
  std::lock_guard lock(gMutex);
  if (!gBound) Bind({});
  return gZoom;
}

void RebindZoom(const std::string& folder) {
  std::lock_guard lock(gMutex);
  Bind(folder);
}

}  // namespace qlon::viewer
