#pragma once
// Error state and sense decoding.
//
// Inside the driver every failure is a negative internal code. The driver
// keeps the last one (with the thread's system error code at that moment),
// turns internal codes into the public status each export returns, decodes
// the sense data of a failed SCSI command into an internal code, and fills
// the host's DrvErrorInfo with a French message of the library.
//
// Public statuses: 0 success, 0xC0000000 failure; 0x40000065 and 0x80000066
// pass unchanged. Every internal code has a row in the error table (code ->
// status, message); a non-zero code without a row is a failure too, so that
// no unforeseen code reaches the host as a success.
#include <cstdint>
#include <functional>

#include "DrvErrorInfo.h"

namespace qlon::scanner {

inline constexpr uint32_t kStatusSuccess = 0;
inline constexpr uint32_t kStatusFailure = 0xC0000000u;
inline constexpr uint32_t kStatusPassed65 = 0x40000065u;
inline constexpr uint32_t kStatusPassed66 = 0x80000066u;

// The internal codes, the one list every unit of the driver returns and the
// error table reads. Hosts and the settings page see them as numbers (the
// negated code of DrvErrorInfo, "(Code:-26)" in a message), so a value never
// changes. A code that stands for several conditions lists them all; a
// kReserved code has a row and a text, but no path of this driver gives it.
enum ErrorCode : int32_t {
  // Refused: no device is open to ask, no internal name to give, or a set
  // hook vetoes the value (auto feed without the feeder, a feeder or device
  // that does not answer, a paper size outside the bed).
  kRefused = -1,
  kNotTransferring = -2,  // GetData outside a transfer, or no scan begun
  kReserved3 = -3,
  kBufferTooShort = -4,  // GetData's buffer holds no whole line
  // SetCapability and its checks.
  kNotInList = -5,
  kOffStep = -6,
  kOutOfRange = -7,  // also a frame with a negative origin or an empty extent
  kBadKind = -8,
  kUnknownCapability = -9,  // also GetValue of a frame
  kBadHook = -11,           // a hook that is not code; never given, the hooks are a switch
  kUnknownControl = -12,    // DeviceControl code above 6
  kBadGammaLength = -13,    // a gamma table is 256 bytes
  kNullPointer = -14,
  kReserved15 = -15,
  kReserved16 = -16,
  // Device status of the feeder: -17 no paper (error nibble 1), -19 the
  // status could not be read, -20 -21 -22 error nibbles 2, 4 and 8.
  kNoPaper = -17,
  kReserved18 = -18,
  kNoFeederStatus = -19,
  kFeederError2 = -20,
  kFeederError4 = -21,
  kFeederError8 = -22,
  kReserved23 = -23,
  kCalibrationFailed = -24,  // the bits stay set after calibrating
  kReadOnly = -25,
  kModelUnknown = -26,  // ProductId names none of the seven models
  kOutputNotWritable = -27,  // DeviceControl 5 needs 44 writable bytes
  // Busy: a device command or name asked while scanning, or STI would not
  // start (a failure, or a new system error).
  kDeviceBusy = -28,
  // A READ above 24 bits, or a device line the reader cannot hold.
  kTransferTooLarge = -29,
  kBadGammaChannel = -30,  // channels 0..3
  kReserved31 = -31,
  kWindowOutside = -32,  // the frame does not fit the bed or a 16-bit request
  kReserved33 = -33,
  kReserved34 = -34,
  kBadReadPage = -35,   // vendor pages 1, 2, 20h and 3Fh are read
  kBadWritePage = -36,  // vendor pages 1, 2 and 20h are written
  kNoMemory = -37,
  kNameTooShort = -38,  // GetDeviceName's buffer: the name and its NUL
  kReserved39 = -39,
  kReserved47 = -47,
  // No scanner with the driver's description in the STI list, or STI says
  // the device is locked elsewhere (lock time-out) or not locked.
  kDeviceUnavailable = -53,
  // Sense conditions (key/ASC/ASCQ in the sense table).
  kRoundedParameter = -56,  // 1/37h: the device adjusted a value; not a failure
  kHardwareFault1 = -59,    // 4/80h/01
  kHardwareFault2 = -60,    // 4/80h/02
  kHardwareFault3 = -61,    // 4/80h/03
  // The device failed a command: 4/80h/04, an SRB status neither success
  // nor CHECK CONDITION, a condition with no row whose key is a failure
  // (DecodeSense), a reply the driver cannot use, or a window asked for
  // before page F0h was read.
  kDeviceFailure = -62,
  kParameterListLength = -65,   // 5/1Ah
  // 5/20h invalid command, or a block STI refuses (E_INVALIDARG) or that
  // the transport will not send.
  kInvalidCommand = -66,
  kInvalidFieldInCdb = -67,     // 5/24h
  kInvalidParameters = -69,     // 5/26h
  kCommandSequence = -70,       // 5/2Ch/00
  kTooManyWindows = -71,        // 5/2Ch/01
  kVendorIllegalRequest = -73,  // 5/80h/02
  // B/80h/00, or STI access denied or the device gone.
  kNoCommunication = -81,
  // Shown with the text that asks to release the lock and reconnect.
  kHeadPosition = -82,  // 4/62h
  kLampFailure = -83,   // 4/60h
  // Settings of the device key missing or unreadable, or an STI failure
  // without a row of its own.
  kBadInstallation = -84,
  kCommandTimeout = -999,
};

// Texts of the library (DriverString), by id.
enum DriverText : int {
  kNoText = 0,
  kCalibratingText = 1,  // the calibration notice
  kUnrecoverableText = 2,
  kNoCommunicationText = 3,
  kNoMemoryText = 4,
  kBadInstallationText = 5,
  kInternalErrorText = 6,
  kReleaseLockText = 7,  // release the lock, reconnect the cable
};

// Public status of an internal code.
uint32_t PublicStatus(int32_t internalCode);

// Row lookup in the sense table (14-byte fixed-format sense: key = byte 2 &
// 0Fh, ASC byte 12, ASCQ byte 13): the row's code, or 0 when no row matches.
int32_t SenseTableCode(const uint8_t* sense);

// The outcome of a command that ended in CHECK CONDITION: 0 when it counts as
// done, else the internal code to record. A listed row gives its code, except
// ROUNDED PARAMETER, which is done; an unlisted condition is done only for
// keys NO SENSE (0, e.g. end of medium on the last READ), RECOVERED ERROR (1)
// and UNIT ATTENTION (6), and a failure (kDeviceFailure) for every other key,
// so that a failed READ's buffer is never handed over as image.
int32_t DecodeSense(const uint8_t* sense);

// Message string of the library by id (1..7), UTF-8; "" for any other id.
const char* DriverString(int id);

class ErrorState {
 public:
  // Keeps a failure (a non-zero code) with the thread's system error code;
  // 0 records nothing, so the last failure stays.
  void Record(int32_t internalCode);
  void Clear();
  int32_t code() const { return code_; }
  uint32_t systemError() const { return systemError_; }

  // GetLastErrorInfo: size, negated code and message. When the session knows
  // the device name, deviceName (the GetDeviceName export: buffer, in/out
  // length) copies it into the record and its status is the result; without
  // it the result is 0. A null record gives the failure status.
  using DeviceNameSource = std::function<uint32_t(char* buffer, int32_t* length)>;
  uint32_t Fill(DrvErrorInfo* info, const DeviceNameSource& deviceName = nullptr) const;

 private:
  int32_t code_ = 0;
  uint32_t systemError_ = 0;
};

// The driver's one error state.
ErrorState& LastError();

// Records a non-zero code in LastError() and returns it: `return Failure(rc);`.
inline int32_t Failure(int32_t internalCode) {
  LastError().Record(internalCode);
  return internalCode;
}

}  // namespace qlon::scanner
