#pragma once
// An emulated flatbed scanner of the QM family: a SCSI-2 scanner target with
// the family's vendor commands, for tests and demonstration. It decodes what
// it is sent, keeps the state a device keeps (reservation, window, scan,
// sense of the last failure) and refuses malformed or out-of-order commands
// with the sense data a device gives, so a driver is exercised, not echoed.
//
// Commands (big-endian numbers; "alloc" = allocation length in the CDB):
//   00 TEST UNIT READY        GOOD
//   03 REQUEST SENSE          fixed-format sense (70h) of the last CHECK CONDITION, else
//                             key 0, with EOM (40h of byte 2) once the last image byte was read
//   12 INQUIRY                EVPD 0: 36 bytes, type 06h, vendor at 8, product at 16,
//                             revision at 32. EVPD 1 page F0h: 74 bytes, BE16 base X/Y
//                             resolution at 5/7, BE32 maximum width/length (base units) at
//                             20/24, window descriptor length at 38. Other pages 5/24h.
//   15/1A MODE SELECT/SENSE(6) accepted / a 4-byte header without pages
//   16/17 RESERVE/RELEASE     per handle; another handle's commands then get
//                             kSrbReservationConflict (INQUIRY, REQUEST SENSE, RELEASE excepted)
//   1B SCAN                   needs a window (else 5/2Ch/00); starts the image
//   1D SEND DIAGNOSTIC        byte 1 = 04h (self test): GOOD
//   24 SET WINDOW             8-byte header (descriptor length at 6, which must be the model's)
//                             and one descriptor; resolutions in the model's list, composition
//                             0 (1 bit) / 2 (8 bits) / 5 (8 bits per colour), extents inside the
//                             maximums, transfer length 8 + descriptor length; else 5/26h
//   25 GET WINDOW             the window kept (5/2Ch without one)
//   28 READ(10)               image bytes; past the end what is left, with CHECK CONDITION
//                             key 0 + EOM + ILI and the residue in the information field
//   2A SEND(10)               data type 3 (gamma), qualifier (byte 4) 0..3, 256 bytes
//   31 OBJECT POSITION        GOOD; ends the scan (the carriage returns)
//   34 GET DATA BUFFER STATUS 28 bytes: BE32 bytes per line at 12, lines left at 16, bytes
//                             buffered at 20 (zeros outside a scan)
//   C2 calibrate              2 bytes out; clears the calibration-needed bits
//   C3 calibration status     2 bytes in; bits 0-1 of both bytes = calibration needed
//   D3 device status          2 bytes in: byte 0 bit 7 ready, low nibble error; byte 1
//   D5/D6 read/write vendor page  page code at CDB byte 2 (read) or data byte 0 (write),
//                             length at byte 4: pages 01h, 02h (12 bytes), 20h (20), 3Fh (36,
//                             read only). Page 02h byte 6 bit 7: document feeder present.
//   anything else             5/20h
// The CDB length must fit the opcode group (6 for groups 0 and 6, 10 for 1 and 2), else
// 5/24h; a data direction or data-out length that does not match the CDB gives
// kSrbInvalidRequest.
//
// Geometry of a scan (A, B = base resolutions, X, Y = window resolutions):
// pixels = width × X ÷ A, lines = length × Y ÷ B, and the image's first pixel is
// at (left × X ÷ A, top × Y ÷ B) on the bed. The test pattern depends only on
// the bed position (bx, by) of a pixel, so a frame's image is a window onto one
// picture: grey (bx + by) & FFh; colour R, G, B = bx, by, bx ^ by (& FFh); line
// art bit (bx ÷ 8 + by) & 1, most significant bit first, unused bits of a line's
// last byte 0. Reverse image and brightness are kept in the window, not applied.
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "StiProvider.h"

namespace qlon::sti {

struct EmulatedModel {
  std::string vendor = "QLON";               // blank-padded to 8
  std::string productId = "QM-51270K";       // blank-padded to 16
  std::string revision = "1.00";             // blank-padded to 4
  uint16_t baseX = 1200, baseY = 1200;
  // The whole bed of both capability tables: 2552 pixels at 300 dpi and
  // 5104 at 600 are 10208 base units; 3508 and 7016 lines are 14032.
  uint32_t maxWidth = 10208, maxLength = 14040;
  uint8_t descriptorLength = 64;
  std::vector<uint16_t> resolutions = {75, 150, 300, 600, 1200};
  bool feeder = false;
};

struct SenseCode {
  uint8_t key = 0, asc = 0, ascq = 0;
};

// The window of the last valid SET WINDOW, decoded.
struct ScanWindow {
  uint16_t xResolution = 0, yResolution = 0;
  uint32_t left = 0, top = 0, width = 0, length = 0;  // base units
  uint8_t brightness = 0, threshold = 0, contrast = 0;
  uint8_t composition = 0, bitsPerPixel = 0;
  std::vector<uint8_t> bytes;  // header and descriptor as sent
};

struct ImageGeometry {
  uint32_t pixels = 0, lines = 0, bytesPerLine = 0;
  uint32_t firstPixel = 0, firstLine = 0;  // bed position of the image's pixel (0, 0)
  uint8_t composition = 0;
};

class EmulatedScanner : public std::enable_shared_from_this<EmulatedScanner> {
 public:
  explicit EmulatedScanner(EmulatedModel model = {});

  // A target for one more handle; each handle is its own initiator. A target
  // that is destroyed drops its reservation.
  std::unique_ptr<ScsiTarget> Connect();
  ScsiReply Execute(int initiator, const uint8_t* cdb, uint8_t cdbLength, Direction direction, uint8_t* data,
                    uint32_t length);
  // A handle went away: its reservation ends (as a reset of that initiator would).
  void Disconnect(int initiator);

  const EmulatedModel& model() const { return model_; }
  ImageGeometry Geometry(const ScanWindow& window) const;
  // Line `line` of the image a window gives (what READ delivers, line by line).
  static std::vector<uint8_t> PatternLine(const ImageGeometry& g, uint32_t line);

  // ---- what the device was sent ----
  struct Command {
    int initiator = 0;
    std::vector<uint8_t> cdb;
    Direction direction = Direction::None;
    uint32_t length = 0;
    std::vector<uint8_t> dataOut;
    uint8_t srbStatus = 0;
    std::array<uint8_t, kSenseLength> sense{};
    uint32_t transferred = 0;
    std::chrono::steady_clock::time_point at;  // when it arrived
  };
  std::vector<Command> Log() const;
  std::vector<std::string> LogCdbs() const;  // each CDB as "12 01 F0 00 4A 00"
  void ClearLog();

  std::optional<ScanWindow> Window() const;
  std::optional<std::array<uint8_t, 256>> Gamma(int channel) const;
  std::vector<uint8_t> VendorPage(uint8_t page) const;
  int ObjectPositions() const;
  int Diagnostics() const;
  int Calibrations() const;
  int ReservedBy() const;  // initiator, or -1
  bool Scanning() const;

  // ---- faults ----
  // The next `times` commands with this opcode (-1: any opcode), after
  // `skip` matching ones, fail as given; times < 0 means for ever.
  void FailWithSense(int opcode, SenseCode sense, int times = 1, int skip = 0);
  void FailTransport(int opcode, HRESULT result, int times = 1, int skip = 0);
  void FailWithStatus(int opcode, uint8_t srbStatus, int times = 1, int skip = 0);
  // Edits every data-in reply of the opcode before it is sent (it may shrink
  // or grow the reply): hostile answers.
  using ReplyEdit = std::function<void(const uint8_t* cdb, std::vector<uint8_t>& reply)>;
  void EditReplies(int opcode, ReplyEdit edit);
  // Calls `watch` on the sender's thread as each command of the opcode (-1:
  // any) arrives, before the device acts on it: what a host shows while the
  // device works.
  void WatchCommands(int opcode, std::function<void()> watch);
  void SetCalibrationNeeded(uint8_t bits, bool keepAfterCalibrate = false);
  // Named faults for hosts and demonstrations, a comma-separated list:
  //   "diagnostics"  every self test fails (HARDWARE ERROR 4/80h/04h)
  //   "calibration"  calibration never clears the calibration-needed bits
  //   "offline"      every command fails in transport (the device is gone)
  // False (and nothing applied) when a name is unknown.
  bool ApplyFaultSwitch(const std::string& names);
  void SetDeviceStatus(uint8_t byte0, uint8_t byte1);
  void ClearFaults();

 private:
  struct Fault {
    int opcode;
    int skip, times;
    enum { Sense, Transport, Status } kind;
    SenseCode sense;
    HRESULT result;
    uint8_t srb;
  };
  struct Reply;

  void AddFault(Fault f);
  // Whether the command may run: a known length, a data phase that matches
  // its CDB, no other initiator's reservation.
  bool Admit(int initiator, const uint8_t* cdb, uint8_t cdbLength, Direction direction, const uint8_t* data,
             uint32_t length, Reply& r);
  void Run(int initiator, const uint8_t* cdb, uint8_t cdbLength, Direction direction, uint8_t* data,
           uint32_t length, Reply& r);
  std::vector<uint8_t> RequestSense();
  void Inquiry(const uint8_t* cdb, uint32_t allocation, Reply& r);
  void StartScan(const uint8_t* data, uint32_t length, Reply& r);
  void SendGamma(const uint8_t* cdb, const uint8_t* data, uint32_t length, Reply& r);
  std::vector<uint8_t> BufferStatus() const;
  void WritePage(const uint8_t* cdb, const uint8_t* data, uint32_t length, Reply& r);
  void Check(Reply& r, SenseCode s);
  void SetWindow(const uint8_t* cdb, const uint8_t* data, uint32_t length, Reply& r);
  void Read(const uint8_t* cdb, Reply& r);
  std::vector<uint8_t>& Page(uint8_t page);

  mutable std::mutex mutex_;
  EmulatedModel model_;
  int nextInitiator_ = 1;
  int reservedBy_ = -1;
  std::optional<ScanWindow> window_;
  bool scanning_ = false;
  ImageGeometry image_;
  uint64_t imageOffset_ = 0;
  bool endOfMedium_ = false;
  std::optional<std::array<uint8_t, kSenseLength>> pendingSense_;
  std::array<std::optional<std::array<uint8_t, 256>>, 4> gamma_;
  std::vector<uint8_t> page1_, page2_, page20_, page3f_;
  uint8_t calibrationBits_ = 0;
  bool keepCalibration_ = false;
  uint8_t status0_ = 0x80, status1_ = 0;
  int objectPositions_ = 0, diagnostics_ = 0, calibrations_ = 0;
  std::vector<Fault> faults_;
  std::vector<std::pair<int, ReplyEdit>> edits_;
  std::vector<std::pair<int, std::function<void()>>> watches_;
  std::vector<Command> log_;
};

// A provider of emulated devices, for tests and hosts that install it.
class EmulatedProvider : public DeviceProvider {
 public:
  // Adds a device and returns its scanner (kept alive by the provider).
  std::shared_ptr<EmulatedScanner> Add(const DeviceEntry& entry, EmulatedModel model = {});
  std::vector<DeviceEntry> Devices() override;
  HRESULT Open(const DeviceEntry& device, std::unique_ptr<ScsiTarget>* target) override;

 private:
  std::mutex mutex_;
  std::vector<std::pair<DeviceEntry, std::shared_ptr<EmulatedScanner>>> devices_;
};

}  // namespace qlon::sti
