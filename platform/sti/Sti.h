#pragma once
// The still-image interface (STI): a device list, devices opened by internal
// name, an exclusive lock per device held across processes, and Escape, which
// carries one SCSI command to the device (pass-through).
//
// This library (libqlonsti.so) is a shared object so that the driver library
// and a host that installs a device provider (tests, the demonstration
// device) see one provider and one device catalogue.
//
// The 32-bit record layouts of the original interface do not survive LP64;
// the records below keep their fields and meaning, not their bytes.
#include <cstdint>
#include <string>
#include <string_view>

namespace qlon::sti {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
// Failures, with the values callers map (HRESULT_FROM_WIN32 where a Win32 error).
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_ACCESSDENIED = static_cast<HRESULT>(0x80070005);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT STIERR_NOT_LOCKED = static_cast<HRESULT>(0x8007009E);       // ERROR_NOT_LOCKED
inline constexpr HRESULT STIERR_LOCK_TIMEOUT = static_cast<HRESULT>(0x80070102);     // WAIT_TIMEOUT
inline constexpr HRESULT STIERR_DEVICE_GONE = static_cast<HRESULT>(0x8007045D);      // ERROR_IO_DEVICE
inline constexpr HRESULT STIERR_COMMAND_TIMEOUT = static_cast<HRESULT>(0x800705B4);  // ERROR_TIMEOUT

inline bool Failed(HRESULT hr) { return hr < 0; }

inline constexpr uint32_t kStiVersion = 2;
inline constexpr uint32_t kDeviceTypeScanner = 1;  // high 16 bits of DeviceInformation::deviceType
inline constexpr uint32_t kModeStatusAndData = 3;   // CreateDevice mode
inline constexpr uint32_t kEscapeScsiPassThrough = 0x1001;

// One record of the device list. The strings point into the list's own
// allocation and live until FreeDeviceList.
struct DeviceInformation {
  uint32_t size;                // sizeof(DeviceInformation)
  uint32_t deviceType;          // (type << 16) | subtype; type 1 = scanner
  char16_t internalName[128];   // NUL-terminated
  uint32_t capabilities;
  uint32_t hardwareConfiguration;
  const char16_t* vendorDescription;
  const char16_t* deviceDescription;  // what a driver matches its device by
  const char16_t* portName;           // empty when the device is not attached
  const char16_t* propertyProvider;   // the control-panel library of the device
  const char16_t* localName;
};

// Pass-through request for Escape(kEscapeScsiPassThrough, &request, sizeof request, data, dataLength, &returned).
inline constexpr uint32_t kDataIn = 0x40;   // from the device into data
inline constexpr uint32_t kDataOut = 0x80;  // from data to the device
inline constexpr uint8_t kSenseLength = 14;
struct ScsiPassThrough {
  uint32_t reserved;      // 0
  uint32_t size;          // sizeof(ScsiPassThrough)
  uint32_t flags;         // kDataIn, kDataOut, or 0 without data
  uint8_t cdbLength;      // 6, 10, 12 or 16
  uint8_t senseLength;    // kSenseLength
  uint16_t reserved2;
  uint32_t dataLength;
  uint8_t cdb[16];
  uint8_t* status;        // receives the SRB status (below)
  uint8_t* sense;         // receives senseLength bytes, fixed format: key at 2, ASC at 12, ASCQ at 13
};

// SRB status values written through ScsiPassThrough::status (callers mask with 0x3F).
inline constexpr uint8_t kSrbSuccess = 0x01;
inline constexpr uint8_t kSrbError = 0x04;   // CHECK CONDITION; the sense buffer says why
inline constexpr uint8_t kSrbBusy = 0x05;    // the device answered BUSY
inline constexpr uint8_t kSrbInvalidRequest = 0x06;
inline constexpr uint8_t kSrbReservationConflict = 0x18;  // ours: RESERVATION CONFLICT (SCSI status 18h)

class IStiDevice {
 public:
  // Waits up to timeoutMs for the device's lock (exclusive across processes
  // and across handles of one process); STIERR_LOCK_TIMEOUT when it stays taken.
  virtual HRESULT LockDevice(uint32_t timeoutMs) = 0;
  virtual HRESULT UnLockDevice() = 0;  // STIERR_NOT_LOCKED when this handle holds no lock
  virtual HRESULT Escape(uint32_t code, const void* in, uint32_t inSize, void* data, uint32_t dataSize,
                         uint32_t* returned) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;  // the last release unlocks and closes the device

 protected:
  virtual ~IStiDevice() = default;
};

class IStillImage {
 public:
  // Every catalogued device (the caller filters by type); *list is one
  // allocation freed with FreeDeviceList.
  virtual HRESULT GetDeviceList(uint32_t type, uint32_t flags, uint32_t* count, void** list) = 0;
  // E_INVALIDARG for an unknown internal name.
  virtual HRESULT CreateDevice(const char16_t* internalName, uint32_t mode, IStiDevice** device, void* outer) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  virtual ~IStillImage() = default;
};

// The thread's last system error (GetLastError/SetLastError). The calls of
// this library set it when they fail and leave it alone when they succeed.
uint32_t GetLastError();
void SetLastError(uint32_t code);

// The record strings are UTF-16; callers compare and keep UTF-8. Invalid
// sequences become U+FFFD.
std::string Utf16ToUtf8(const char16_t* text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace qlon::sti

extern "C" {
qlon::sti::HRESULT StiCreateInstanceW(void* hostInstance, uint32_t version, qlon::sti::IStillImage** out,
                                      void* outer);
// Frees a device list from GetDeviceList (the LocalFree of the original); null is allowed.
void StiFreeDeviceList(void* list);
}
