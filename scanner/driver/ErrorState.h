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

// The internal code a sense reply stands for when it is not in the sense table.
inline constexpr int32_t kUnlistedSense = -62;
// Sense row of ROUNDED PARAMETER (key 1, ASC 37h): the device adjusted a value.
inline constexpr int32_t kRoundedParameter = -56;

// Public status of an internal code.
uint32_t PublicStatus(int32_t internalCode);

// Row lookup in the sense table (14-byte fixed-format sense: key = byte 2 &
// 0Fh, ASC byte 12, ASCQ byte 13): the row's code, or 0 when no row matches.
int32_t SenseTableCode(const uint8_t* sense);

// The outcome of a command that ended in CHECK CONDITION: 0 when it counts as
// done, else the internal code to record. A listed row gives its code, except
// ROUNDED PARAMETER, which is done; an unlisted condition is done only for
// keys NO SENSE (0, e.g. end of medium on the last READ), RECOVERED ERROR (1)
// and UNIT ATTENTION (6), and a failure (kUnlistedSense) for every other key,
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
