#include "RasLibrary.h"

#include <mutex>

#include "DynamicLibrary.h"

namespace qlon::platform {

namespace {

std::mutex gMutex;
RasApi gApi;
// Never closed at exit: no static's destruction may unload it under a call.
TDynamicLibrary& gLibrary = *new TDynamicLibrary;
bool gTried = false;

bool LoadLocked(const std::filesystem::path& folder) {
  gTried = true;
  if (gLibrary) return true;
  TDynamicLibrary library = TDynamicLibrary::InFolder(folder, kRasFileName);
  if (!library) return false;
  RasApi api;
  const bool complete = library.Bind(api.EnumConnections, "RasEnumConnections") &&
                        library.Bind(api.EnumEntries, "RasEnumEntries") &&
                        library.Bind(api.GetEntryDialParams, "RasGetEntryDialParams") &&
                        library.Bind(api.Dial, "RasDial") && library.Bind(api.HangUp, "RasHangUp") &&
                        library.Bind(api.GetErrorString, "RasGetErrorString");
  if (!complete) return false;
  gLibrary = std::move(library);
  gApi = api;
  return true;
}

}  // namespace

const RasApi& RasLibrary() {
  std::lock_guard lock(gMutex);
  if (!gTried) LoadLocked({});
  return gApi;
}

bool LoadRasLibrary(const std::filesystem::path& folder) {
  std::lock_guard lock(gMutex);
  return LoadLocked(folder);
}

void UnloadRasLibrary() {
  std::lock_guard lock(gMutex);
  gApi = {};
  gLibrary.Close();
  gTried = false;
}

}  // namespace qlon::platform
