#pragma once
// The control panel's "Préférences": eight 0/1 values read from the device
// key under HKEY_LOCAL_MACHINE (installed default) and then HKEY_CURRENT_USER
// (the user's value), saved per user.
#include <cstdint>
#include <string>

namespace qlon::scanner::cpl {

struct Preferences {
  uint32_t colorMatch = 1, textEnhance = 0, smoothing = 1, hiDefinition = 0, useProfile = 0,
           autoPreview = 0, savePreview = 1, autoClose = 0;
};

// "Software\Norva\Vellumor\5.3\Devices\<subkey>" whose HKLM "ProductName" is
// the description; the devices key itself followed by "\" when none matches.
std::string DeviceKeyOf(const std::string& description);
// Reads over `prefs` (the values last held serve as defaults).
void ReadPreferences(const std::string& key, Preferences* prefs);
// Writes the user's values; dropping a saved preview deletes its file.
void SavePreferences(const std::string& key, const Preferences& prefs);
std::string HelpFileOf(const std::string& key);

}  // namespace qlon::scanner::cpl
