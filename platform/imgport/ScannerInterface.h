#pragma once
// imgport's ScannerInterface: the object a scanning host creates and hands to
// the settings page (CreateUserInterface of tq21uui). Each method takes the
// arguments of the driver export of the same name and returns its public
// status (0 success). The page sees only this abstract class, so it never
// links the driver; DriverScannerInterface forwards to tq21udrv.so.
#include <cstdint>
#include <memory>
#include <string>

#include "DrvErrorInfo.h"
#include "DynamicLibrary.h"

namespace qlon::imgport {

class ScannerInterface {
 public:
  virtual ~ScannerInterface() = default;
  // *value points into the driver's storage (CapabilityTypes.h layouts).
  virtual uint32_t GetCapability(int32_t id, int32_t* kind, void** value) = 0;
  // value: the integer, or for a frame a pointer to four int32.
  virtual uint32_t SetCapability(int32_t id, intptr_t value) = 0;
  virtual uint32_t DeviceControl(int32_t code, const void* in, int32_t inLength, void* out,
                                 int32_t outLength) = 0;
  virtual uint32_t GetLastErrorInfo(scanner::DrvErrorInfo* info) = 0;
  // The HKEY_CURRENT_USER device key of the page state.
  virtual const char* GetKeyName() = 0;
  virtual const char* GetDriverName() = 0;
  // 16 characters padded with blanks and a NUL; *length in: buffer size.
  virtual uint32_t GetDeviceName(char* buffer, int32_t* length) = 0;
};

// Loads the driver library by path (dlopen) and forwards one for one. The
// key name is the folder the library lives in, the driver's own HKLM key.
class DriverScannerInterface : public ScannerInterface {
 public:
  // Loads and starts the driver with the folder's key; Error() says why not.
  explicit DriverScannerInterface(const std::string& libraryPath);
  ~DriverScannerInterface() override;
  DriverScannerInterface(const DriverScannerInterface&) = delete;
  DriverScannerInterface& operator=(const DriverScannerInterface&) = delete;

  bool Loaded() const { return library_.IsOpen() && started_; }
  const std::string& Error() const { return error_; }
  // Any export of the driver, for hosts that scan through it.
  void* Symbol(const char* name) const;

  uint32_t GetCapability(int32_t id, int32_t* kind, void** value) override;
  uint32_t SetCapability(int32_t id, intptr_t value) override;
  uint32_t DeviceControl(int32_t code, const void* in, int32_t inLength, void* out,
                         int32_t outLength) override;
  uint32_t GetLastErrorInfo(scanner::DrvErrorInfo* info) override;
  const char* GetKeyName() override { return keyName_.c_str(); }
  const char* GetDriverName() override { return driverName_.c_str(); }
  uint32_t GetDeviceName(char* buffer, int32_t* length) override;

 private:
  platform::TDynamicLibrary library_;
  bool started_ = false;
  std::string keyName_;
  std::string driverName_;
  std::string error_;
  uint32_t (*getCapability_)(int32_t, int32_t*, void**) = nullptr;
  uint32_t (*setCapability_)(int32_t, intptr_t) = nullptr;
  uint32_t (*deviceControl_)(int32_t, const void*, int32_t, void*, int32_t) = nullptr;
  uint32_t (*getLastErrorInfo_)(scanner::DrvErrorInfo*) = nullptr;
  uint32_t (*getDeviceName_)(char*, int32_t*) = nullptr;
};

}  // namespace qlon::imgport
