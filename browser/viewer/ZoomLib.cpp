#include "ZoomLib.h"

#include <dlfcn.h>

#include <filesystem>
#include <mutex>

#include "HTMLUn2.h"

namespace qlon::viewer {

namespace {

std::mutex gMutex;
ZoomEntryPoints gZoom;
void* gHandle = nullptr;
bool gBound = false;

void Bind(const std::string& folder) {
  if (gHandle) dlclose(gHandle);
  gZoom = {};
  std::string dir = folder.empty() ? ProgramFolder() : folder;
  gHandle = dlopen((std::filesystem::path(dir) / kZoomFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  gBound = true;
  if (!gHandle) return;
  gZoom.Loaded = true;
  gZoom.StretchFilterDIB = reinterpret_cast<StretchFilterDIBProc>(dlsym(gHandle, "StretchFilterDIB"));
  gZoom.ConvertDIB = reinterpret_cast<ConvertDIBProc>(dlsym(gHandle, "ConvertDIB"));
  gZoom.SaveToGIF = reinterpret_cast<SaveToGIFProc>(dlsym(gHandle, "SaveToGIF"));
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
