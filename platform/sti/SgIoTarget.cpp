#include "SgIoTarget.h"

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace qlon::sti {

namespace {
constexpr unsigned char kStatusGood = 0x00, kStatusCheck = 0x02, kStatusBusy = 0x08, kStatusConflict = 0x18;
constexpr unsigned short kDidNoConnect = 0x01, kDidBusBusy = 0x02, kDidTimeOut = 0x03, kDidBadTarget = 0x04;
constexpr unsigned short kDriverTimeout = 0x06;
}  // namespace

HRESULT ErrnoToHresult(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return E_ACCESSDENIED;
    case ENODEV:
    case ENXIO:
    case ENOENT:
    case EIO: return STIERR_DEVICE_GONE;
    case EINVAL: return E_INVALIDARG;
    default: return E_FAIL;
  }
}

HRESULT SgIoTarget::Open(const std::string& node, std::unique_ptr<ScsiTarget>* target) {
  if (node.empty()) return E_INVALIDARG;
  int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) return ErrnoToHresult(errno);
  int version = 0;
  if (::ioctl(fd, SG_GET_VERSION_NUM, &version) < 0 || version < 30000) {  // not an sg node
    ::close(fd);
    return E_INVALIDARG;
  }
  target->reset(new SgIoTarget(fd));
  return S_OK;
}

SgIoTarget::~SgIoTarget() { ::close(fd_); }

void SgIoTarget::ToFixedSense(const uint8_t* raw, size_t rawLength, uint8_t* fixed) {
  std::memset(fixed, 0, kSenseLength);
  if (rawLength < 1) return;
  uint8_t code = raw[0] & 0x7F;
  if ((code == 0x72 || code == 0x73) && rawLength >= 4) {  // descriptor format: key, ASC, ASCQ at 1-3
    fixed[0] = code == 0x72 ? 0x70 : 0x71;
    fixed[2] = raw[1] & 0x0F;
    fixed[7] = kSenseLength - 8;
    fixed[12] = raw[2];
    fixed[13] = raw[3];
    return;
  }
  std::memcpy(fixed, raw, std::min<size_t>(rawLength, kSenseLength));
}

ScsiReply SgIoTarget::Execute(const uint8_t* cdb, uint8_t cdbLength, Direction direction, uint8_t* data,
                              uint32_t length) {
  ScsiReply r;
  uint8_t cdbCopy[16];
  std::memcpy(cdbCopy, cdb, std::min<size_t>(cdbLength, sizeof cdbCopy));
  uint8_t sense[32] = {};
  sg_io_hdr_t io{};
  io.interface_id = 'S';
  io.dxfer_direction = direction == Direction::In    ? SG_DXFER_FROM_DEV
                       : direction == Direction::Out ? SG_DXFER_TO_DEV
                                                     : SG_DXFER_NONE;
  io.cmd_len = cdbLength;
  io.cmdp = cdbCopy;
  io.dxferp = length ? data : nullptr;
  io.dxfer_len = length;
  io.sbp = sense;
  io.mx_sb_len = sizeof sense;
  io.timeout = kTimeoutMs;
  if (::ioctl(fd_, SG_IO, &io) < 0) {
    r.result = ErrnoToHresult(errno);
    return r;
  }
  if (io.host_status == kDidTimeOut || (io.driver_status & 0x0F) == kDriverTimeout) {
    r.result = STIERR_COMMAND_TIMEOUT;
    return r;
  }
  if (io.host_status == kDidNoConnect || io.host_status == kDidBadTarget) {
    r.result = STIERR_DEVICE_GONE;
    return r;
  }
  r.transferred = length > static_cast<uint32_t>(io.resid) && io.resid >= 0 ? length - io.resid : 0;
  if (io.host_status == kDidBusBusy) {
    r.srbStatus = kSrbBusy;
    return r;
  }
  switch (io.status) {
    case kStatusGood: r.srbStatus = kSrbSuccess; break;
    case kStatusCheck:
      r.srbStatus = kSrbError;
      ToFixedSense(sense, io.sb_len_wr, r.sense);
      break;
    case kStatusBusy: r.srbStatus = kSrbBusy; break;
    case kStatusConflict: r.srbStatus = kSrbReservationConflict; break;
    default: r.srbStatus = kSrbInvalidRequest; break;
  }
  return r;
}

}  // namespace qlon::sti
