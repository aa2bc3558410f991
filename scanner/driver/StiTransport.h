#pragma once
// STI transport: every command block goes to the scanner through the
// still-image interface. The driver finds its device in the STI device list
// by description (the device key name it was started with), opens and locks
// it once, and sends each block through the device's pass-through Escape.
//
// Opening: STI that will not start gives kDeviceBusy; no scanner of that
// description with a port, kDeviceUnavailable. Sending with no device open
// gives kRefused. A command's outcome: an STI failure maps through the
// result table (access denied or device gone kNoCommunication, invalid
// argument kInvalidCommand, not locked or lock time-out kDeviceUnavailable,
// command time-out kCommandTimeout, anything else kBadInstallation);
// otherwise the SRB status decides: success, CHECK CONDITION decoded from
// the sense data (ErrorState's DecodeSense), anything else kDeviceFailure.
// Every failure is recorded as the last error.
#include <cstdint>
#include <string>

#include "Driver.h"
#include "ScsiCommands.h"
#include "Sti.h"

namespace qlon::scanner {

class StiTransport : public DeviceLink {
 public:
  static constexpr uint32_t kLockTimeoutMs = 2000;

  StiTransport() = default;
  ~StiTransport() override;
  StiTransport(const StiTransport&) = delete;
  StiTransport& operator=(const StiTransport&) = delete;

  // Opens STI and the device whose description is `description`, and locks
  // it. When that device is already open, reuses it and returns 0, so a
  // session that reopens never waits against its own lock.
  int32_t Open(const std::string& description) override { return Open(description, nullptr); }
  int32_t Open(const std::string& description, void* hostInstance);
  // Unlocks and releases the device, the list and STI; clears a pending system error.
  void Release() override;
  bool IsOpen() const override { return device_ != nullptr; }
  // The device's STI internal name (UTF-8), empty when none is open.
  std::string InternalName() const override { return internalName_; }

  int32_t Send(ScsiCommand& command) override;

  // Internal code of a failed STI call.
  static int32_t MapResult(sti::HRESULT hr);
  // Tests shorten the wait for a device locked elsewhere.
  void SetLockTimeout(uint32_t ms) { lockTimeoutMs_ = ms; }

 private:
  int32_t OpenDevice(const std::string& description, void* hostInstance);

  sti::IStillImage* sti_ = nullptr;
  void* list_ = nullptr;
  uint32_t count_ = 0;
  sti::IStiDevice* device_ = nullptr;
  bool locked_ = false;
  std::string description_;
  std::string internalName_;
  uint32_t lockTimeoutMs_ = kLockTimeoutMs;
};

}  // namespace qlon::scanner
