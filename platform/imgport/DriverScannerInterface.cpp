#include <filesystem>

#include "ScannerInterface.h"

namespace qlon::imgport {

namespace {
constexpr uint32_t kFailure = 0xC0000000u;
using StartDriverFn = uint32_t (*)(const char*, int32_t (*)(int32_t, int32_t));
using StopDriverFn = uint32_t (*)();
}  // namespace

DriverScannerInterface::DriverScannerInterface(const std::string& libraryPath) {
  const std::filesystem::path path(libraryPath);
  keyName_ = path.parent_path().filename().string();
  driverName_ = path.stem().string();
  library_ = platform::TDynamicLibrary(path);
  if (!library_) {
    error_ = library_.ErrorOr("cannot load the driver");
    return;
  }
  auto resolve = [this](auto& fn, const char* name) {
    if (!library_.Bind(fn, name) && error_.empty()) error_ = std::string("missing export ") + name;
  };
  StartDriverFn start = nullptr;
  resolve(start, "StartDriver");
  resolve(getCapability_, "GetCapability");
  resolve(setCapability_, "SetCapability");
  resolve(deviceControl_, "DeviceControl");
  resolve(getLastErrorInfo_, "GetLastErrorInfo");
  resolve(getDeviceName_, "GetDeviceName");
  if (!error_.empty()) return;
  const uint32_t status = start(keyName_.c_str(), nullptr);
  started_ = status == 0;
  if (!started_) error_ = "StartDriver failed";
}

DriverScannerInterface::~DriverScannerInterface() {
  if (started_)
    if (auto stop = library_.Entry<StopDriverFn>("StopDriver")) stop();
}

void* DriverScannerInterface::Symbol(const char* name) const { return library_.Symbol(name); }

uint32_t DriverScannerInterface::GetCapability(int32_t id, int32_t* kind, void** value) {
  return getCapability_ ? getCapability_(id, kind, value) : kFailure;
}
uint32_t DriverScannerInterface::SetCapability(int32_t id, intptr_t value) {
  return setCapability_ ? setCapability_(id, value) : kFailure;
}
uint32_t DriverScannerInterface::DeviceControl(int32_t code, const void* in, int32_t inLength, void* out,
                                               int32_t outLength) {
  return deviceControl_ ? deviceControl_(code, in, inLength, out, outLength) : kFailure;
}
uint32_t DriverScannerInterface::GetLastErrorInfo(scanner::DrvErrorInfo* info) {
  return getLastErrorInfo_ ? getLastErrorInfo_(info) : kFailure;
}
uint32_t DriverScannerInterface::GetDeviceName(char* buffer, int32_t* length) {
  return getDeviceName_ ? getDeviceName_(buffer, length) : kFailure;
}

}  // namespace qlon::imgport
