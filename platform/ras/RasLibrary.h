#pragma once
// The dial-up library as the program holds it: loaded from the program's
// folder on first use, with all its entry points, or not at all. A library
// that lacks one of them is treated as missing.
#include <filesystem>

#include "RasApi.h"

namespace qlon::platform {

struct RasApi {
  RasEnumConnectionsProc EnumConnections = nullptr;
  RasEnumEntriesProc EnumEntries = nullptr;
  RasGetEntryDialParamsProc GetEntryDialParams = nullptr;
  RasDialProc Dial = nullptr;
  RasHangUpProc HangUp = nullptr;
  RasGetErrorStringProc GetErrorString = nullptr;
  bool Loaded() const { return Dial != nullptr; }
};

// The library, loading it from the program's folder the first time.
const RasApi& RasLibrary();
// Loads the library again when it is not loaded, from the folder (the
// program's folder when empty); true when it is available afterwards. A
// loaded library is kept: calls may be under way in it.
bool LoadRasLibrary(const std::filesystem::path& folder = {});
// Forgets the library (tests, with no call under way); the next use loads
// it again.
void UnloadRasLibrary();

}  // namespace qlon::platform
