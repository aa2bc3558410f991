#include "Preferences.h"

#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "Registry.h"

namespace qlon::scanner::cpl {

namespace reg = qlon::registry;

namespace {
const char* const kDevices = "Software\\Norva\\Vellumor\\5.3\\Devices";

std::pair<const char*, uint32_t Preferences::*> const kValues[] = {
    {"ColorMatch", &Preferences::colorMatch}, {"TextEnhance", &Preferences::textEnhance},
    {"Smoothing", &Preferences::smoothing}, {"HiDefinitionMode", &Preferences::hiDefinition},
    {"UseNorvaProfile", &Preferences::useProfile}, {"AutoPreview", &Preferences::autoPreview},
    {"AutoClose", &Preferences::autoClose},
};

void ReadFrom(const reg::Key& root, const std::string& key, Preferences* prefs) {
  reg::Key k;
  if (reg::OpenKey(root, key, reg::Access::Read, &k) != reg::kOk) return;
  for (auto [name, member] : kValues) reg::QueryDword(k, name, &(prefs->*member));
  reg::QueryDword(k, "SavePreview", &prefs->savePreview);
}
}  // namespace

std::string DeviceKeyOf(const std::string& description) {
  reg::Key devices;
  if (reg::OpenKey(reg::HKEY_LOCAL_MACHINE, kDevices, reg::Access::Read, &devices) == reg::kOk) {
    std::string sub;
    for (uint32_t i = 0; reg::EnumKey(devices, i, &sub) == reg::kOk; ++i) {
      reg::Key k;
      std::string product;
      if (reg::OpenKey(devices, sub, reg::Access::Read, &k) == reg::kOk &&
          reg::QueryString(k, "ProductName", &product) == reg::kOk && product == description)
        return std::string(kDevices) + "\\" + sub;
    }
  }
  return std::string(kDevices) + "\\";
}

void ReadPreferences(const std::string& key, Preferences* prefs) {
  ReadFrom(reg::HKEY_LOCAL_MACHINE, key, prefs);
  ReadFrom(reg::HKEY_CURRENT_USER, key, prefs);
}

void SavePreferences(const std::string& key, const Preferences& prefs) {
  reg::Key k;
  if (reg::CreateKey(reg::HKEY_CURRENT_USER, key, "option", &k) != reg::kOk) return;
  for (auto [name, member] : kValues) reg::SetDword(k, name, prefs.*member);
  uint32_t stored = 0;
  if (reg::QueryDword(k, "SavePreview", &stored) == reg::kOk && stored == 1 && prefs.savePreview == 0) {
    std::string cache;
    reg::QueryString(k, "CacheFileName", &cache);
    // Only an absolute path to a regular file: never a folder, never relative.
    struct stat st{};
    if (!cache.empty() && cache[0] == '/' && lstat(cache.c_str(), &st) == 0 && S_ISREG(st.st_mode))
      unlink(cache.c_str());
    reg::SetString(k, "CacheFileName", "");
  }
  reg::SetDword(k, "SavePreview", prefs.savePreview);
}

std::string HelpFileOf(const std::string& key) {
  reg::Key k;
  std::string help = "pxui.hlp";
  if (reg::OpenKey(reg::HKEY_LOCAL_MACHINE, key, reg::Access::Read, &k) == reg::kOk)
    reg::QueryString(k, "HelpFile", &help);
  return help;
}

}  // namespace qlon::scanner::cpl
