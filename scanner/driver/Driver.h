#pragma once
// Session state of the scanner driver: one device per process, one session.
//
// States (SessionState, numbered as the interface documents them): closed,
// open, device control (diagnostics running), scanning (window set, scan
// starting), transferring (lines can be read).
//
// Every operation returns an internal code (0 or negative; GetData a line
// count); the exports turn them into public statuses and record failures.
// The device link is opened once and reused by Open and Reset; StopDriver
// releases it.
//
// Scan information record (44 bytes, pixels at the optical resolution):
//   0 left  4 top  8 width  12 height  16 optical X  20 optical Y
//  24 pixel type (u8)  25 bits per pixel (u8)  28 physical width  32 physical height
//  36 bytes per line (DWORD aligned)  40 the same again
//
// Device information block (kControlDeviceInfo; 44 bytes, NUL-terminated texts):
//   1-8 vendor, 10-25 product, 27-30 revision, 32-35 firmware (decimal, at
//   most 9999), 38-39 SCSI id (decimal, at most 99), 41-42 host adapter.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Capabilities.h"
#include "LineReader.h"
#include "ScsiCommands.h"

namespace qlon::scanner {

struct ScanInfo {
  int32_t left, top, width, height;
  int32_t opticalX, opticalY;
  uint8_t pixelType, bitsPerPixel, reserved[2];
  int32_t physicalWidth, physicalHeight;
  int32_t bytesPerLine, bytesPerLine2;
};
static_assert(sizeof(ScanInfo) == 44);

constexpr int32_t kDeviceInfoBlockSize = 44;

// The transport as the session sees it: a command channel on an STI device
// found by description, opened once (with its lock) until Release.
class DeviceLink : public CommandChannel {
 public:
  virtual int32_t Open(const std::string& description) = 0;  // 0 at once when open
  virtual void Release() = 0;
  virtual bool IsOpen() const = 0;
  virtual std::string InternalName() const = 0;
};

// The machine-wide values of the device key.
struct DeviceSettings {
  std::string productId;
  uint32_t scsiId = 0, lun = 0, hostAdapter = 0;
  std::optional<uint32_t> bwSpeed;
  std::optional<std::string> tabNames;
};

// Loads the machine-wide values of the device key named after the folder
// holding `modulePath`: 0, or the store's failure (the values stay empty).
int32_t LoadDeviceSettings(const std::string& modulePath, DeviceSettings* out);

// -1 or the model index of a ProductId (exact, blank-padded to 16).
int ModelOfProduct(const std::string& productId);
// "a;\"b;c\";d" -> {"a", "b;c", "d"}.
std::vector<std::string> SplitTabNames(const std::string& text);

enum class SessionState : int {
  Closed = 0,
  Open = 1,
  DeviceControl = 2,
  Scanning = 3,
  Transferring = 4,
};

class Driver : private CapabilityDevice, private LineDevice {
 public:
  using Recorder = std::function<void(int32_t)>;
  Driver(DeviceLink& link, Recorder record);
  ~Driver() override;
  Driver(const Driver&) = delete;
  Driver& operator=(const Driver&) = delete;

  // settingsResult: the store's load result (non-zero: it failed).
  int32_t StartDriver(const std::string& keyName, NotifyCallback notify, int32_t settingsResult,
                      const DeviceSettings& settings);
  int32_t StopDriver();
  int32_t Open();
  int32_t Close();
  int32_t Reset();
  int32_t GetScanInfo(ScanInfo* info);
  int32_t StartScan(int32_t noFilter);
  int32_t GetData(uint8_t* buffer, int32_t length);  // lines delivered, or an internal code
  int32_t StopScan();
  int32_t DeviceControl(int32_t code, const void* in, int32_t inLength, void* out, int32_t outLength);
  int32_t GetDeviceName(char* buffer, int32_t* length);
  int32_t GetDeviceInternalName(char* buffer, int32_t* length);
  const char* const* GetDeviceTabNames();

  Capabilities& Caps() { return caps_; }
  SessionState State() const { return state_; }
  int Model() const { return model_; }
  // The cached product name, empty until read.
  const std::string& KnownDeviceName() const { return deviceName_; }
  void SetNotice(CalibrationNotice* notice) { scsi_.SetNotice(notice); }
  void SetCarriagePause(int milliseconds) { carriagePauseMs_ = milliseconds; }
  LineReader& Reader() { return reader_; }

 private:
  // CapabilityDevice
  bool DeviceOnline() override;
  bool FeederUsable() override;
  bool PaperPresent() override;
  int32_t PaperLoaded(int32_t* loaded) override;
  // LineDevice
  int32_t ReadData(uint8_t* buffer, uint32_t bytes, uint32_t* transferred) override;
  int32_t RefreshBufferStatus() override;

  int32_t OpenDevice();
  int32_t FillInfoBlock(uint8_t* out);
  void WaitForCarriage(const ScanInfo& info);
  // A scan is set up or delivering lines.
  bool InScan() const { return state_ == SessionState::Scanning || state_ == SessionState::Transferring; }
  void Record(int32_t code) {
    if (code) record_(code);
  }

  DeviceLink& link_;
  Recorder record_;
  ScsiDevice scsi_;
  Capabilities caps_;
  LineReader reader_;
  SessionState state_ = SessionState::Closed;
  int model_ = -1;
  std::string keyName_;
  DeviceSettings settings_;
  std::string deviceName_;  // 16 characters once read
  std::vector<uint8_t> infoBlock_;
  bool tabNamesLoaded_ = false;
  std::vector<std::string> tabNames_;
  std::vector<const char*> tabPointers_;
  // Scan bookkeeping.
  int64_t linesExpected_ = 0;
  int64_t linesHandedOver_ = 0;
  int32_t noFilter_ = 0;
  bool firstRead_ = false;
  bool slowMonochrome_ = false;
  ScanInfo scanInfo_{};
  int carriagePauseMs_ = 100;
};

}  // namespace qlon::scanner
