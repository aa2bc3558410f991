#pragma once
// A real SCSI device through the Linux SCSI generic driver (SG_IO on
// /dev/sgN). Best effort: only devices on a SCSI host adapter appear as sg
// nodes; nothing in the tests depends on one.
//
// Results: an ioctl failure maps errno (EACCES/EPERM E_ACCESSDENIED,
// ENODEV/ENXIO/EIO STIERR_DEVICE_GONE, EINVAL E_INVALIDARG, else E_FAIL); a
// host or driver time-out STIERR_COMMAND_TIMEOUT; a lost target
// STIERR_DEVICE_GONE. SCSI status GOOD is kSrbSuccess, CHECK CONDITION
// kSrbError with the sense converted to fixed format, BUSY kSrbBusy,
// RESERVATION CONFLICT kSrbReservationConflict.
#include <memory>
#include <string>

#include "StiProvider.h"

namespace qlon::sti {

class SgIoTarget : public ScsiTarget {
 public:
  static constexpr unsigned kTimeoutMs = 60000;  // calibration and SCAN can be slow

  static HRESULT Open(const std::string& node, std::unique_ptr<ScsiTarget>* target);
  ~SgIoTarget() override;
  ScsiReply Execute(const uint8_t* cdb, uint8_t cdbLength, Direction direction, uint8_t* data,
                    uint32_t length) override;

  // Fixed-format (70h) sense from what the device returned (fixed or descriptor format).
  static void ToFixedSense(const uint8_t* raw, size_t rawLength, uint8_t* fixed);

 private:
  explicit SgIoTarget(int fd) : fd_(fd) {}
  int fd_;
};

HRESULT ErrnoToHresult(int error);

}  // namespace qlon::sti
