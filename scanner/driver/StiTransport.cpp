#include "StiTransport.h"

#include <cstring>

#include "ErrorState.h"

namespace qlon::scanner {

StiTransport::~StiTransport() { Release(); }

int32_t StiTransport::MapResult(sti::HRESULT hr) {
  switch (static_cast<uint32_t>(hr)) {
    case 0x80070005u:
    case 0x8007045Du: return kNoCommunication;
    case 0x80070057u: return kInvalidCommand;
    case 0x8007009Eu:
    case 0x80070102u: return kDeviceUnavailable;
    case 0x800705B4u: return kCommandTimeout;
    default: return kBadInstallation;
  }
}

int32_t StiTransport::Open(const std::string& description, void* hostInstance) {
  if (device_ && description == description_) return 0;
  Release();
  if (int32_t rc = OpenDevice(description, hostInstance); rc != 0) {
    Failure(rc);  // with the system error of the failing call, before Release clears it
    Release();
    return rc;
  }
  return 0;
}

int32_t StiTransport::OpenDevice(const std::string& description, void* hostInstance) {
  const uint32_t before = sti::GetLastError();
  sti::HRESULT hr = StiCreateInstanceW(hostInstance, sti::kStiVersion, &sti_, nullptr);
  const uint32_t after = sti::GetLastError();
  // STI that will not start reads as a busy device.
  if (sti::Failed(hr) || !sti_ || (after != 0 && after != before)) return kDeviceBusy;

  void* list = nullptr;
  hr = sti_->GetDeviceList(0, 0, &count_, &list);
  list_ = list;
  if (sti::Failed(hr)) return MapResult(hr);
  const auto* records = static_cast<const sti::DeviceInformation*>(list_);
  const sti::DeviceInformation* chosen = nullptr;
  bool anyScanner = false;
  for (uint32_t i = 0; i < count_ && !chosen; ++i) {
    const sti::DeviceInformation& r = records[i];
    if ((r.deviceType >> 16) != sti::kDeviceTypeScanner) continue;
    anyScanner = true;
    if (r.portName && r.portName[0] && sti::Utf16ToUtf8(r.deviceDescription) == description) chosen = &r;
  }
  if (!anyScanner || !chosen) return kDeviceUnavailable;  // no scanner, or not ours: the no-communication text

  char16_t name[128];
  std::memcpy(name, chosen->internalName, sizeof name);
  name[127] = u'\0';  // the record's field is fixed; never read past it
  hr = sti_->CreateDevice(name, sti::kModeStatusAndData, &device_, nullptr);
  if (sti::Failed(hr) || !device_) {
    device_ = nullptr;
    return sti::Failed(hr) ? MapResult(hr) : kBadInstallation;
  }
  hr = device_->LockDevice(lockTimeoutMs_);
  if (sti::Failed(hr)) return MapResult(hr);
  locked_ = true;
  internalName_ = sti::Utf16ToUtf8(name);
  description_ = description;
  return 0;
}

void StiTransport::Release() {
  if (device_) {
    if (locked_) device_->UnLockDevice();
    device_->Release();
  }
  device_ = nullptr;
  locked_ = false;
  StiFreeDeviceList(list_);
  list_ = nullptr;
  count_ = 0;
  if (sti_) sti_->Release();
  sti_ = nullptr;
  internalName_.clear();
  description_.clear();
  sti::SetLastError(0);
}

int32_t StiTransport::Send(ScsiCommand& command) {
  command.transferred = 0;
  if (!device_) return Failure(kRefused);
  if (command.cdbLength == 0 || command.cdbLength > command.cdb.size() || (command.dataLength && !command.data))
    return Failure(kInvalidCommand);
  uint8_t status = 0;
  uint8_t sense[sti::kSenseLength] = {};
  sti::ScsiPassThrough req{};
  req.size = sizeof req;
  if (command.dataLength)
    req.flags = command.direction == DataDirection::In ? sti::kDataIn
                : command.direction == DataDirection::Out ? sti::kDataOut
                                                          : 0;
  if (command.dataLength && !req.flags) return Failure(kInvalidCommand);
  req.cdbLength = static_cast<uint8_t>(command.cdbLength);
  req.senseLength = sti::kSenseLength;
  req.dataLength = command.dataLength;
  std::memcpy(req.cdb, command.cdb.data(), command.cdbLength);
  req.status = &status;
  req.sense = sense;
  uint32_t returned = 0;
  sti::HRESULT hr = device_->Escape(sti::kEscapeScsiPassThrough, &req, sizeof req, command.data, command.dataLength,
                                    &returned);
  if (sti::Failed(hr)) return Failure(MapResult(hr));
  command.transferred = returned;
  switch (status & 0x3F) {
    case sti::kSrbSuccess: return 0;
    case sti::kSrbError: return Failure(DecodeSense(sense));
    default: return Failure(kDeviceFailure);
  }
}

}  // namespace qlon::scanner
