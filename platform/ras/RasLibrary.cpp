#include "RasLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace qlon::platform {

namespace {

std::mutex gMutex;
RasApi gApi;
void* gHandle = nullptr;
bool gTried = false;

template <class F>
bool Bind(F& f, const char* name) {
  f = reinterpret_cast<F>(dlsym(gHandle, name));
  return f != nullptr;
}

bool LoadLocked(const std::filesystem::path& folder) {
  gTried = true;
  if (gHandle) return true;
  std::error_code ec;
  const std::filesystem::path dir =
      folder.empty() ? std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() : folder;
  gHandle = dlopen((dir / kRasFileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!gHandle) return false;
  RasApi api;
  const bool complete = Bind(api.EnumConnections, "RasEnumConnections") && Bind(api.EnumEntries, "RasEnumEntries") &&
                        Bind(api.GetEntryDialParams, "RasGetEntryDialParams") && Bind(api.Dial, "RasDial") &&
                        Bind(api.HangUp, "RasHangUp") && Bind(api.GetErrorString, "RasGetErrorString");
  if (!complete) {
    dlclose(gHandle);
    gHandle = nullptr;
    return false;
  }
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
  if (gHandle) dlclose(gHandle);
  gHandle = nullptr;
  gTried = false;
}

}  // namespace qlon::platform
