#pragma once
// One installed scanner for the host programs and their tests: the driver
// library in a folder named after the device key (the driver's HKLM key is
// its folder name), the machine's device key with the product and the
// control panel's "ProductName", and an emulated device in the STI
// catalogue whose description is the key, so that the driver, the page and
// the control panel all meet at one name.
#include <filesystem>
#include <memory>
#include <string>

#include "EmulatedScanner.h"
#include "Sti.h"

namespace qlon::scanner::host {

struct InstallOptions {
  std::string key = "QMDEV";
  std::string product = "QM-28460P";
  // Emulator faults (EmulatedScanner::ApplyFaultSwitch), e.g. "diagnostics,calibration".
  std::string faults;
};

class EmulatedInstall {
 public:
  // folder: where the driver is linked in; libraries: the folder holding
  // tq21udrv.so, tq21uui.so and tq21ucpl.so.
  EmulatedInstall(const std::filesystem::path& folder, const std::filesystem::path& libraries,
                  InstallOptions options = {});
  ~EmulatedInstall();
  EmulatedInstall(const EmulatedInstall&) = delete;
  EmulatedInstall& operator=(const EmulatedInstall&) = delete;

  // Empty when the install could not be made.
  const std::string& Error() const { return error_; }
  std::string DriverPath() const { return (folder_ / options_.key / "tq21udrv.so").string(); }
  std::string UiLibrary() const { return (libraries_ / "tq21uui.so").string(); }
  std::string CplLibrary() const { return (libraries_ / "tq21ucpl.so").string(); }
  const std::shared_ptr<sti::EmulatedScanner>& Scanner() const { return scanner_; }
  // The record the control panel passes to EnumStiPropPages.
  const sti::DeviceInformation& Information() const { return information_; }
  const InstallOptions& Options() const { return options_; }

 private:
  std::filesystem::path folder_, libraries_;
  InstallOptions options_;
  std::string error_;
  std::shared_ptr<sti::EmulatedScanner> scanner_;
  std::u16string description_, internalName_;
  sti::DeviceInformation information_{};
};

// The folder of the running program (where the build puts every library).
std::filesystem::path ProgramFolder();

}  // namespace qlon::scanner::host
