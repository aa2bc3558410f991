#include "EmulatedInstall.h"

#include <system_error>

#include "Registry.h"

namespace qlon::scanner::host {

namespace fs = std::filesystem;
namespace reg = qlon::registry;

fs::path ProgramFolder() {
  std::error_code ec;
  return fs::read_symlink("/proc/self/exe", ec).parent_path();
}

EmulatedInstall::EmulatedInstall(const fs::path& folder, const fs::path& libraries, InstallOptions options)
    : folder_(folder), libraries_(libraries), options_(std::move(options)) {
  std::error_code ec;
  fs::create_directories(folder_ / options_.key, ec);
  fs::remove(DriverPath(), ec);
  fs::create_symlink(libraries_ / "tq21udrv.so", DriverPath(), ec);
  if (ec) {
    error_ = "cannot install the driver: " + ec.message();
    return;
  }
  reg::Key key;
  if (reg::CreateKey(reg::HKEY_LOCAL_MACHINE, "Software\\Norva\\Vellumor\\5.3\\Devices\\" + options_.key, "option",
                     &key) != reg::kOk) {
    error_ = "cannot write the machine's device key";
    return;
  }
  std::string padded = options_.product;
  padded.resize(16, ' ');
  reg::SetString(key, "ProductId", padded);
  reg::SetString(key, "ProductName", options_.key);
  reg::SetDword(key, "BWSpeed", 0);

  auto provider = std::make_shared<sti::EmulatedProvider>();
  sti::EmulatedModel model;
  model.productId = options_.product;
  model.revision = "1.07";
  sti::DeviceEntry entry;
  entry.internalName = "emu-" + options_.key;
  entry.description = options_.key;
  entry.vendor = "QLON";
  entry.portName = "emu0";
  entry.propertyProvider = "tq21ucpl.so";
  scanner_ = provider->Add(entry, model);
  if (!scanner_->ApplyFaultSwitch(options_.faults)) {
    error_ = "unknown emulator fault in \"" + options_.faults + "\"";
    return;
  }
  sti::SetDeviceProvider(provider);

  description_ = sti::Utf8ToUtf16(entry.description);
  internalName_ = sti::Utf8ToUtf16(entry.internalName);
  information_.size = sizeof information_;
  information_.deviceType = sti::kDeviceTypeScanner << 16;
  const size_t n = std::min(internalName_.size(), std::size(information_.internalName) - 1);
  std::copy_n(internalName_.begin(), n, information_.internalName);
  information_.deviceDescription = description_.c_str();
}

EmulatedInstall::~EmulatedInstall() {
  if (scanner_) sti::SetDeviceProvider(nullptr);
}

}  // namespace qlon::scanner::host
