#pragma once
// SCSI command set of the QM scanners and the device operations built on it.
//
// Every command is a small builder that fills a command block and sends it
// through the channel (the STI transport in the driver, fakes in tests).
// Numbers in command blocks and in the data are big-endian.
//
// Window (SET WINDOW data, 8-byte header then the descriptor):
//   6  BE16 descriptor length      8 window id 0
//  10  BE16 X resolution          12 BE16 Y resolution
//  14  BE32 left (base X units)   18 BE32 top (base Y units)
//  22  BE32 width (base X units)  26 BE32 length (base Y units)
//  30  brightness 128   31 threshold   32 contrast 128
//  33  composition 0 line art / 2 grey / 5 colour   34 bits per pixel
//  37  0 with the pixel-flavour flag, else 80h (reverse image)
//  50  bit 3 = capability 0x8064      57, 58  1 for models 0 and 2
//
// Geometry comes from the vendor inquiry page F0h read at every open; every
// value a device gives (base resolutions, maximum extents, descriptor length,
// bytes per line) is checked before it sizes a buffer or divides.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qlon::scanner {

enum class DataDirection : uint16_t { None = 0, In = 1, Out = 2 };

// One command block as the transport carries it.
struct ScsiCommand {
  std::array<uint8_t, 16> cdb{};
  uint16_t cdbLength = 6;
  uint32_t dataLength = 0;
  uint8_t* data = nullptr;
  DataDirection direction = DataDirection::None;
  uint32_t transferred = 0;  // filled by the channel: bytes moved
};

class CommandChannel {
 public:
  virtual ~CommandChannel() = default;
  // 0, or the internal code of a transport, status or sense failure.
  virtual int32_t Send(ScsiCommand& command) = 0;
};

// The notice shown while the device calibrates ("Calibrage en cours."),
// with the hourglass. This base shows nothing: the driver of a host with no
// screen.
class CalibrationNotice {
 public:
  virtual ~CalibrationNotice() = default;
  virtual void Show() {}  // modeless, and left to run
  virtual void Repaint() {}
  virtual void WaitCursor(bool on) { (void)on; }
  virtual void Close() {}
};

// What StartScan asks the device to scan (pixels at the optical resolution).
struct ScanRequest {
  uint16_t xResolution = 0, yResolution = 0;
  uint16_t left = 0, top = 0, width = 0, height = 0;
  uint8_t brightness = 128, threshold = 128, contrast = 128;
  uint8_t composition = 3;  // 1 line art, 2 grey, 3 colour
  uint8_t bitsPerPixel = 24;
  bool pixelFlavour = false;
  bool autoThreshold = false;
  int32_t cap8064 = 0;
  int32_t colourOption = 0;
};

// Page F0h, swapped to host order.
struct VendorInquiry {
  uint16_t baseX = 0, baseY = 0;
  uint32_t maxWidth = 0, maxLength = 0;
  uint8_t descriptorLength = 0;
};

struct StandardInquiry {
  std::string vendor, product, revision;  // 8, 16 and 4 characters as sent
};

struct DeviceStatus {
  uint8_t byte0 = 0, byte1 = 0;
  bool Ready() const { return byte0 & 0x80; }
  int ErrorNibble() const { return byte0 & 0x0F; }
};

class ScsiDevice {
 public:
  static constexpr uint32_t kMaxRead = 0xFFFFFF;
  static constexpr size_t kWindowBuffer = 72;

  ScsiDevice(CommandChannel& channel, int model) : channel_(channel), model_(model) {}
  void SetModel(int model) { model_ = model; }
  // Null: none shown (the pause before calibrating stays).
  void SetNotice(CalibrationNotice* notice) { notice_ = notice ? notice : &silent_; }

  // ---- single commands ----
  int32_t TestUnitReady();
  int32_t RequestSense(std::array<uint8_t, 11>* sense);
  int32_t Inquiry(StandardInquiry* out);
  int32_t InquiryVendorPage();  // keeps the page
  int32_t ReserveUnit();
  int32_t ReleaseUnit();
  int32_t Scan();
  int32_t SendDiagnostic();
  int32_t SetWindow(const ScanRequest& request);
  int32_t GetWindow(std::array<uint8_t, kWindowBuffer>* window);
  int32_t Read(uint8_t* data, uint32_t bytes, uint32_t* transferred);
  int32_t Send10(uint8_t dataType, uint8_t qualifier, const uint8_t* data, uint16_t length);
  int32_t ObjectPosition();
  int32_t GetDataBufferStatus(uint32_t* bytesPerLine, uint32_t* lines);
  int32_t Calibrate();
  int32_t CalibrationStatus(uint8_t* bits);  // bits 0-1 of byte 0: calibration needed
  int32_t GetDeviceStatus(DeviceStatus* status);
  int32_t ReadVendorPage(uint8_t page, std::vector<uint8_t>* data);
  int32_t WriteVendorPage(uint8_t page, const std::vector<uint8_t>& data);

  // ---- device operations ----
  int32_t Open();                        // TEST UNIT READY, RESERVE UNIT, page F0h
  // Ends with GET DATA BUFFER STATUS: the scan's line length and line count.
  int32_t StartScan(const ScanRequest& request, uint32_t* bytesPerLine = nullptr, uint32_t* lines = nullptr);
  int32_t Gamma(int channel, const uint8_t table[256]);
  int32_t Diagnostics();
  // forScanStart: only when the status says it is needed. The notice is
  // shown and, 100 ms later, painted before the device starts; the
  // hourglass lasts while it calibrates. A calibration whose bits are still
  // set at a second status read gives kCalibrationFailed.
  int32_t Calibration(bool forScanStart);

  // ---- queries (codes to record go to *record, 0 when none) ----
  bool FeederPresent();
  bool FeederUsable();
  bool PaperPresent(int32_t* record);
  int32_t PaperLoaded(int32_t* loaded, int32_t* record);

  // The window a request gives; kWindowOutside when it cannot fit the bed,
  // kDeviceFailure before page F0h has been read.
  int32_t BuildWindow(const ScanRequest& request, std::vector<uint8_t>* window) const;
  const VendorInquiry& Vendor() const { return vendor_; }
  bool HaveVendorPage() const { return haveVendor_; }

 private:
  int32_t Run(uint8_t opcode, std::initializer_list<std::pair<int, uint8_t>> bytes,
              DataDirection direction = DataDirection::None, uint8_t* data = nullptr,
              uint32_t length = 0, uint32_t* transferred = nullptr);

  CommandChannel& channel_;
  int model_;
  static inline CalibrationNotice silent_;  // shared: it keeps no state
  CalibrationNotice* notice_ = &silent_;
  VendorInquiry vendor_;
  bool haveVendor_ = false;
};

// Big-endian helpers shared by the driver's units.
inline void PutBe16(uint8_t* p, uint32_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void PutBe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v >> 24); p[1] = uint8_t(v >> 16); p[2] = uint8_t(v >> 8); p[3] = uint8_t(v);
}
inline uint16_t GetBe16(const uint8_t* p) { return uint16_t(p[0] << 8 | p[1]); }
inline uint32_t GetBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3];
}

}  // namespace qlon::scanner
