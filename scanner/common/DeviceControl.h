#pragma once
// The codes of the driver's DeviceControl export, shared by the driver and
// the settings page that calls it through ScannerInterface.
#include <cstdint>

namespace qlon::scanner {

enum DeviceControlCode : int32_t {
  kControlGammaFirst = 0,  // 0..3: the gamma table of channel 0..3 (256 bytes in)
  kControlGammaLast = 3,
  kControlDiagnostics = 4,  // the device's self-test
  kControlDeviceInfo = 5,   // the device information block (44 bytes out)
  kControlCalibration = 6,  // calibration, with the notice window
};

}  // namespace qlon::scanner
