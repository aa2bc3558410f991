// The exported entry points of tq21udrv.so (see DriverApi.h): one driver
// session per process, created on first use and closed when the library is
// unloaded. Each export turns the driver's internal code into a public
// status and records a failure as the last error.

#include <cstring>
#include <memory>
#include <string>

#include "RegistryValueList.h"
#include "DriverApi.h"
#include "ErrorState.h"
#include "StiTransport.h"
#include "WindowNotice.h"

#define QLON_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

using namespace qlon::scanner;

// An open driver reaches its device through the STI transport.
class StiLink final : public DeviceLink {
 public:
  int32_t Open(const std::string& description) override { return sti_.Open(description); }
  void Release() override { sti_.Release(); }
  bool IsOpen() const override { return sti_.IsOpen(); }
  std::string InternalName() const override { return sti_.InternalName(); }
  int32_t Send(ScsiCommand& command) override { return sti_.Send(command); }

 private:
  StiTransport sti_;
};

void AnchorSymbol() {}

struct Session {
  // The error state is made first so that it outlives the session, whose
  // destructor may still close the device.
  Session()
      : errors(LastError()),
        notice(ModulePathOf(reinterpret_cast<const void*>(&AnchorSymbol))),
        driver(link, [](int32_t code) { LastError().Record(code); }) {
    driver.SetNotice(&notice);
  }
  ErrorState& errors;
  StiLink link;
  WindowNotice notice;
  Driver driver;
};

Session& S() {
  static Session session;
  return session;
}

uint32_t Status(int32_t code) {
  if (code) LastError().Record(code);
  return PublicStatus(code);
}

}  // namespace

QLON_EXPORT uint32_t StartDriver(const char* keyName, NotifyCallback notify) {
  DeviceSettings settings;
  const int32_t loaded = LoadDeviceSettings(ModulePathOf(reinterpret_cast<const void*>(&AnchorSymbol)), &settings);
  return Status(S().driver.StartDriver(keyName ? keyName : "", notify, loaded, settings));
}

QLON_EXPORT uint32_t StopDriver() { return Status(S().driver.StopDriver()); }
QLON_EXPORT uint32_t Open() { return Status(S().driver.Open()); }
QLON_EXPORT uint32_t Close() { return Status(S().driver.Close()); }
QLON_EXPORT uint32_t Reset() { return Status(S().driver.Reset()); }
QLON_EXPORT uint32_t GetScanInfo(ScanInfo* info) { return Status(S().driver.GetScanInfo(info)); }

QLON_EXPORT uint32_t GetCapabilityList(const int32_t** ids, int32_t* count) {
  return Status(S().driver.Caps().GetList(ids, count));
}

QLON_EXPORT int32_t GetCapabilityUnits(int32_t id) {
  const int32_t units = S().driver.Caps().GetUnits(id);
  if (units < 0) LastError().Record(units);
  return units;
}

QLON_EXPORT uint32_t GetCapabilityFlags(int32_t id, int32_t* flags) {
  return Status(S().driver.Caps().GetFlags(id, flags));
}

QLON_EXPORT uint32_t GetCapability(int32_t id, int32_t* kind, void** value) {
  return Status(S().driver.Caps().Get(id, kind, value));
}

QLON_EXPORT uint32_t GetCapabilityValue(int32_t id, int32_t* value) {
  return Status(S().driver.Caps().GetValue(id, value));
}

QLON_EXPORT uint32_t SetCapability(int32_t id, intptr_t value) {
  return Status(S().driver.Caps().Set(id, value));
}

QLON_EXPORT uint32_t StartScan(int32_t noFilter) { return Status(S().driver.StartScan(noFilter)); }

QLON_EXPORT int32_t GetData(uint8_t* buffer, int32_t length) {
  const int32_t lines = S().driver.GetData(buffer, length);
  return lines >= 0 ? lines : static_cast<int32_t>(Status(lines));
}

QLON_EXPORT uint32_t StopScan() { return Status(S().driver.StopScan()); }

QLON_EXPORT uint32_t DeviceControl(int32_t code, const void* in, int32_t inLength, void* out, int32_t outLength) {
  return Status(S().driver.DeviceControl(code, in, inLength, out, outLength));
}

QLON_EXPORT uint32_t GetDeviceName(char* buffer, int32_t* length) {
  return Status(S().driver.GetDeviceName(buffer, length));
}

QLON_EXPORT uint32_t GetDeviceInternalName(char* buffer, int32_t* length) {
  return Status(S().driver.GetDeviceInternalName(buffer, length));
}

QLON_EXPORT const char* const* GetDeviceTabNames() { return S().driver.GetDeviceTabNames(); }

QLON_EXPORT int32_t HasUserInterface() { return 0; }

QLON_EXPORT void* CreateUserInterface(void*, void*) { return nullptr; }

QLON_EXPORT uint32_t GetLastErrorInfo(DrvErrorInfo* info) {
  Driver& d = S().driver;
  if (d.KnownDeviceName().empty()) return LastError().Fill(info);
  return LastError().Fill(info, [&d](char* buffer, int32_t* length) {
    return PublicStatus(d.GetDeviceName(buffer, length));
  });
}
