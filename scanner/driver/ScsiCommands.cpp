#include "ScsiCommands.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "ErrorState.h"

namespace qlon::scanner {

namespace {

constexpr std::chrono::milliseconds kNoticePause{100};

// Smallest descriptor that holds every field the driver writes (up to byte 58).
constexpr uint8_t kMinDescriptor = 51;

int VendorPageLength(uint8_t page) {
  switch (page) {
    case 0x01:
    case 0x02: return 12;
    case 0x20: return 20;
    case 0x3F: return 36;
    default: return 0;
  }
}

uint64_t CeilDiv(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

}  // namespace

int32_t ScsiDevice::Run(uint8_t opcode, std::initializer_list<std::pair<int, uint8_t>> bytes,
                        DataDirection direction, uint8_t* data, uint32_t length, uint32_t* transferred) {
  ScsiCommand c;
  c.cdb[0] = opcode;
  // Groups 1 and 2 (20h-5Fh) have 10-byte blocks; group 0 and the vendor group 6, 6 bytes.
  c.cdbLength = (opcode >= 0x20 && opcode < 0x60) ? 10 : 6;
  for (const auto& [index, value] : bytes) c.cdb[index] = value;
  c.direction = length ? direction : DataDirection::None;
  c.data = data;
  c.dataLength = length;
  const int32_t rc = channel_.Send(c);
  if (transferred) *transferred = c.transferred;
  return rc;
}

int32_t ScsiDevice::TestUnitReady() { return Run(0x00, {}); }

int32_t ScsiDevice::RequestSense(std::array<uint8_t, 11>* sense) {
  sense->fill(0);
  return Run(0x03, {{4, 11}}, DataDirection::In, sense->data(), 11);
}

int32_t ScsiDevice::Inquiry(StandardInquiry* out) {
  uint8_t reply[36] = {};
  uint32_t got = 0;
  if (const int32_t rc = Run(0x12, {{4, 36}}, DataDirection::In, reply, 36, &got)) return rc;
  if (got < 36) return kDeviceFailure;
  out->vendor.assign(reinterpret_cast<const char*>(reply + 8), 8);
  out->product.assign(reinterpret_cast<const char*>(reply + 16), 16);
  out->revision.assign(reinterpret_cast<const char*>(reply + 32), 4);
  return 0;
}

int32_t ScsiDevice::InquiryVendorPage() {
  uint8_t page[74] = {};
  uint32_t got = 0;
  haveVendor_ = false;
  if (const int32_t rc = Run(0x12, {{1, 1}, {2, 0xF0}, {4, 74}}, DataDirection::In, page, 74, &got))
    return rc;
  VendorInquiry v;
  v.baseX = GetBe16(page + 5);
  v.baseY = GetBe16(page + 7);
  v.maxWidth = GetBe32(page + 20);
  v.maxLength = GetBe32(page + 24);
  v.descriptorLength = page[38];
  // A short page, a zero base resolution (a divisor) or a descriptor that
  // cannot carry the window or its length byte is no page of this family.
  if (got < 39 || v.baseX == 0 || v.baseY == 0 || v.maxWidth == 0 || v.maxLength == 0 ||
      v.descriptorLength < kMinDescriptor || v.descriptorLength > 255 - 8)
    return kDeviceFailure;
  vendor_ = v;
  haveVendor_ = true;
  return 0;
}

int32_t ScsiDevice::ReserveUnit() { return Run(0x16, {}); }
int32_t ScsiDevice::ReleaseUnit() { return Run(0x17, {}); }

int32_t ScsiDevice::Scan() {
  uint8_t windowId = 0;
  return Run(0x1B, {{4, 1}}, DataDirection::Out, &windowId, 1);
}

int32_t ScsiDevice::SendDiagnostic() { return Run(0x1D, {{1, 4}}); }

int32_t ScsiDevice::BuildWindow(const ScanRequest& r, std::vector<uint8_t>* window) const {
  if (!haveVendor_) return kDeviceFailure;
  if (r.xResolution == 0 || r.yResolution == 0) return kWindowOutside;
  const uint64_t A = vendor_.baseX, B = vendor_.baseY, X = r.xResolution, Y = r.yResolution;
  uint64_t pixelWidth = r.width;
  if (r.bitsPerPixel == 1) pixelWidth = CeilDiv(pixelWidth, 8) * 8;
  const uint64_t left = A * r.left / X;
  const uint64_t top = B * r.top / Y;
  uint64_t width = CeilDiv(A * pixelWidth, X);
  if (model_ == 4) width = CeilDiv(width, 8) * 8;
  uint64_t length = CeilDiv(B * r.height, Y);
  // Every limit applies in turn: a cut width still leaves the length checked.
  const uint64_t maxW = vendor_.maxWidth, maxL = vendor_.maxLength;
  if (left >= maxW || top >= maxL) return kWindowOutside;
  width = std::min(width, maxW);
  if (left + width > maxW) width = maxW - left;
  length = std::min(length, maxL);
  if (top + length > maxL) return kWindowOutside;

  window->assign(std::max<size_t>(kWindowBuffer, 8 + vendor_.descriptorLength), 0);
  uint8_t* w = window->data();
  PutBe16(w + 6, vendor_.descriptorLength);
  w[8] = 0;
  PutBe16(w + 10, r.xResolution);
  PutBe16(w + 12, r.yResolution);
  PutBe32(w + 14, uint32_t(left));
  PutBe32(w + 18, uint32_t(top));
  PutBe32(w + 22, uint32_t(width));
  PutBe32(w + 26, uint32_t(length));
  w[30] = 128;
  if (r.composition == 1)
    w[31] = (r.threshold == 0 && !r.autoThreshold) ? 1 : r.threshold;
  else
    w[31] = 128;
  w[32] = 128;
  w[33] = r.composition == 1 ? 0 : r.composition == 2 ? 2 : 5;
  w[34] = r.composition == 3 ? 8 : r.bitsPerPixel;
  w[37] = r.pixelFlavour ? 0 : 0x80;
  w[50] = r.cap8064 ? 0x08 : 0;
  w[54] = 0;
  const bool legacy = model_ == 0 || model_ == 2;
  w[57] = legacy ? 1 : 0;
  w[58] = legacy ? 1 : 0;
  window->resize(8 + vendor_.descriptorLength);
  return 0;
}

int32_t ScsiDevice::SetWindow(const ScanRequest& request) {
  std::vector<uint8_t> window;
  try {
    if (const int32_t rc = BuildWindow(request, &window)) return rc;
  } catch (const std::bad_alloc&) {
    return kNoMemory;
  }
  return Run(0x24, {{8, uint8_t(window.size())}}, DataDirection::Out, window.data(),
             uint32_t(window.size()));
}

int32_t ScsiDevice::GetWindow(std::array<uint8_t, kWindowBuffer>* window) {
  window->fill(0);
  return Run(0x25, {{1, 1}, {8, kWindowBuffer}}, DataDirection::In, window->data(), kWindowBuffer);
}

int32_t ScsiDevice::Read(uint8_t* data, uint32_t bytes, uint32_t* transferred) {
  *transferred = 0;
  if (bytes > kMaxRead) return kTransferTooLarge;
  return Run(0x28, {{6, uint8_t(bytes >> 16)}, {7, uint8_t(bytes >> 8)}, {8, uint8_t(bytes)}},
             DataDirection::In, data, bytes, transferred);
}

int32_t ScsiDevice::Send10(uint8_t dataType, uint8_t qualifier, const uint8_t* data, uint16_t length) {
  return Run(0x2A, {{2, dataType}, {4, qualifier}, {7, uint8_t(length >> 8)}, {8, uint8_t(length)}},
             DataDirection::Out, const_cast<uint8_t*>(data), length);
}

int32_t ScsiDevice::ObjectPosition() { return Run(0x31, {}); }

int32_t ScsiDevice::GetDataBufferStatus(uint32_t* bytesPerLine, uint32_t* lines) {
  uint8_t reply[28] = {};
  reply[2] = 0x18;
  uint32_t got = 0;
  if (const int32_t rc = Run(0x34, {{8, 28}}, DataDirection::In, reply, 28, &got)) return rc;
  if (got < 20) return kDeviceFailure;
  if (bytesPerLine) *bytesPerLine = GetBe32(reply + 12);
  if (lines) *lines = GetBe32(reply + 16);
  return 0;
}

int32_t ScsiDevice::Calibrate() {
  uint8_t zero[2] = {};
  return Run(0xC2, {{4, 2}}, DataDirection::Out, zero, 2);
}

int32_t ScsiDevice::CalibrationStatus(uint8_t* bits) {
  uint8_t reply[2] = {};
  if (const int32_t rc = Run(0xC3, {{4, 2}}, DataDirection::In, reply, 2)) return rc;
  *bits = reply[0] & 0x03;
  return 0;
}

int32_t ScsiDevice::GetDeviceStatus(DeviceStatus* status) {
  uint8_t reply[2] = {};
  if (const int32_t rc = Run(0xD3, {{4, 2}}, DataDirection::In, reply, 2)) return rc;
  status->byte0 = (reply[0] & 0x01) ? reply[0] : uint8_t(reply[0] | 0x80);
  status->byte1 = reply[1] & 0x07;
  return 0;
}

int32_t ScsiDevice::ReadVendorPage(uint8_t page, std::vector<uint8_t>* data) {
  const int length = VendorPageLength(page);
  if (!length) return kBadReadPage;
  data->assign(length, 0);
  return Run(0xD5, {{2, page}, {4, uint8_t(length)}}, DataDirection::In, data->data(), length);
}

int32_t ScsiDevice::WriteVendorPage(uint8_t page, const std::vector<uint8_t>& data) {
  const int length = page == 0x3F ? 0 : VendorPageLength(page);
  if (!length || data.size() < size_t(length)) return kBadWritePage;
  std::vector<uint8_t> copy(data.begin(), data.begin() + length);
  return Run(0xD6, {{1, 0x10}, {4, uint8_t(length)}}, DataDirection::Out, copy.data(), length);
}

int32_t ScsiDevice::Open() {
  if (const int32_t rc = TestUnitReady()) return rc;
  if (const int32_t rc = ReserveUnit()) return rc;
  return InquiryVendorPage();
}

int32_t ScsiDevice::StartScan(const ScanRequest& request, uint32_t* bytesPerLine, uint32_t* lines) {
  for (int i = 0; i < 2; ++i)
    if (const int32_t rc = TestUnitReady()) return rc;
  if (const int32_t rc = SetWindow(request)) return rc;
  std::array<uint8_t, kWindowBuffer> window;
  if (const int32_t rc = GetWindow(&window)) return rc;
  if (const int32_t rc = TestUnitReady()) return rc;
  if (model_ == 5 || model_ == 6) {
    if (const int32_t rc = Calibration(true)) return rc;
    std::vector<uint8_t> page;
    if (const int32_t rc = ReadVendorPage(0x20, &page)) return rc;
    if (request.composition == 3 && request.colourOption)
      page[19] |= 0x08;
    else
      page[19] &= uint8_t(~0x08);
    if (const int32_t rc = WriteVendorPage(0x20, page)) return rc;
  }
  if (const int32_t rc = Scan()) return rc;
  return GetDataBufferStatus(bytesPerLine, lines);
}

int32_t ScsiDevice::Gamma(int channel, const uint8_t table[256]) {
  if (channel < 0 || channel > 3) return kBadGammaChannel;
  return Send10(3, uint8_t(channel), table, 256);
}

int32_t ScsiDevice::Diagnostics() {
  if (const int32_t rc = TestUnitReady()) return rc;
  return SendDiagnostic();
}

int32_t ScsiDevice::Calibration(bool forScanStart) {
  uint8_t bits = 0;
  if (forScanStart && (CalibrationStatus(&bits) != 0 || bits == 0)) return 0;
  // The pause gives the notice time to appear; a host without a screen
  // keeps it, so that the device sees the same timing.
  notice_->Show();
  std::this_thread::sleep_for(kNoticePause);
  notice_->Repaint();
  notice_->WaitCursor(true);
  int32_t rc = Calibrate();
  if (rc == 0) {
    rc = CalibrationStatus(&bits);
    if (rc == 0 && bits != 0) {
      // The bits may clear a moment later; a second read decides.
      rc = CalibrationStatus(&bits);
      if (rc == 0 && bits != 0) rc = kCalibrationFailed;
    }
  }
  notice_->WaitCursor(false);
  notice_->Close();
  return rc;
}

bool ScsiDevice::FeederPresent() {
  if (model_ != 2) return false;
  std::vector<uint8_t> page;
  return ReadVendorPage(0x02, &page) == 0 && (page[6] & 0x80);
}

bool ScsiDevice::FeederUsable() {
  DeviceStatus s;
  return GetDeviceStatus(&s) == 0 && s.Ready();
}

bool ScsiDevice::PaperPresent(int32_t* record) {
  *record = 0;
  DeviceStatus s;
  if (GetDeviceStatus(&s) != 0 || !s.Ready()) return false;
  if (s.ErrorNibble() == 1) {
    *record = kNoPaper;
    return false;
  }
  return true;
}

int32_t ScsiDevice::PaperLoaded(int32_t* loaded, int32_t* record) {
  *loaded = 0;
  *record = 0;
  DeviceStatus s;
  if (const int32_t rc = GetDeviceStatus(&s)) return rc;
  switch (s.ErrorNibble()) {
    case 0: *loaded = s.Ready() ? 1 : 0; break;
    case 1: *record = kNoPaper; break;
    case 2: *record = kFeederError2; break;
    case 4: *record = kFeederError4; break;
    case 8: *record = kFeederError8; break;
    default: break;
  }
  return 0;
}

}  // namespace qlon::scanner
