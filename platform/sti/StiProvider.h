#pragma once
// What stands behind the STI stand-in: a device provider lists the devices
// and opens a SCSI target for each device handle. The default provider reads
// the device catalogue of the registry (below); a test or host may install
// its own, typically EmulatedScanner devices, before the driver opens STI.
//
// Device catalogue: one key per device under
//   HKEY_LOCAL_MACHINE\System\StillImage\Devices\<internal name>
// with the values
//   "DeviceDescription", "Vendor", "PortName", "PropertyProvider", "LocalName"  strings
//   "DeviceType"   DWORD, (type << 16) | subtype; 0x10000 (scanner) when absent
//   "Backend"      "emulated" (an EmulatedScanner living in this process) or
//                  "sg" (Linux SCSI generic, the node given by "Node", e.g. "/dev/sg3")
//   "ProductId"    emulated devices: the 16-character product text of INQUIRY
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Sti.h"

namespace qlon::sti {

enum class Direction { None, In, Out };

struct ScsiReply {
  HRESULT result = S_OK;         // a transport failure; status and sense are then meaningless
  uint8_t srbStatus = kSrbSuccess;
  uint8_t sense[kSenseLength] = {};
  uint32_t transferred = 0;      // bytes moved in either direction
};

// One open handle on a device. Execute runs one command block: for
// Direction::Out the device reads `length` bytes from data, for In it writes
// at most `length` bytes into data.
class ScsiTarget {
 public:
  virtual ~ScsiTarget() = default;
  virtual ScsiReply Execute(const uint8_t* cdb, uint8_t cdbLength, Direction direction, uint8_t* data,
                            uint32_t length) = 0;
};

struct DeviceEntry {
  std::string internalName;  // unique key of the device; also names its lock
  std::string description;
  std::string vendor;
  std::string portName;
  std::string propertyProvider;
  std::string localName;
  uint32_t deviceType = kDeviceTypeScanner << 16;
};

class DeviceProvider {
 public:
  virtual ~DeviceProvider() = default;
  virtual std::vector<DeviceEntry> Devices() = 0;
  // A target for a new handle on the device, or a failure (E_INVALIDARG,
  // E_ACCESSDENIED, STIERR_DEVICE_GONE ...).
  virtual HRESULT Open(const DeviceEntry& device, std::unique_ptr<ScsiTarget>* target) = 0;
};

// Installs the provider every later CreateDevice uses; null restores the
// catalogue provider. Handles already open keep their targets.
void SetDeviceProvider(std::shared_ptr<DeviceProvider> provider);
std::shared_ptr<DeviceProvider> CurrentDeviceProvider();

// The lock file of a device (under RootFolder("sti")).
std::string DeviceLockFile(const std::string& internalName);

}  // namespace qlon::sti
