#include "Driver.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "DeviceControl.h"
#include "ErrorState.h"
#include "RegistryValueList.h"

namespace qlon::scanner {

namespace {

constexpr const char* kProducts[] = {"QM-51270K       ", "QM-7741         ", "QM-28460P       ",
                                     "QM-7731         ", "QM-6620         ", "QM-51290T       ",
                                     "QM-28490T       "};

int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

// Decimal text of at most `digits` digits (capped at the largest that fits).
void PutDecimal(uint8_t* at, uint32_t value, int digits) {
  uint32_t cap = 1;
  for (int i = 0; i < digits; ++i) cap *= 10;
  char text[12];
  const int n = std::snprintf(text, sizeof text, "%u", std::min(value, cap - 1));
  std::memcpy(at, text, size_t(n));
}

}  // namespace

int32_t LoadDeviceSettings(const std::string& modulePath, DeviceSettings* out) {
  *out = DeviceSettings{};
  RegistryValueList values;
  if (const int32_t rc = values.LoadMachineDeviceOfModule(modulePath)) return rc;
  auto text = [&](const char* name) -> std::optional<std::string> {
    const RegistryValue* v = values.Find(name);
    if (!v || v->Kind() != RegistryValue::kString) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(v->Data()), size_t(v->Length()));
  };
  auto number = [&](const char* name) -> std::optional<uint32_t> {
    const RegistryValue* v = values.Find(name);
    if (!v) return std::nullopt;
    return uint32_t(v->AsInt32());
  };
  out->productId = text("ProductId").value_or("");
  out->scsiId = number("SCSI Id").value_or(0);
  out->lun = number("LUN Number").value_or(0);
  out->hostAdapter = number("Host Adapter").value_or(0);
  out->bwSpeed = number("BWSpeed");
  out->tabNames = text("TabNames");
  return 0;
}

int ModelOfProduct(const std::string& productId) {
  for (int i = 0; i < 7; ++i)
    if (productId == kProducts[i]) return i;
  return -1;
}

std::vector<std::string> SplitTabNames(const std::string& text) {
  std::vector<std::string> names(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"')
      quoted = !quoted;
    else if (c == ';' && !quoted)
      names.emplace_back();
    else
      names.back() += c;
  }
  return names;
}

Driver::Driver(DeviceLink& link, Recorder record)
    : link_(link), record_(std::move(record)), scsi_(link, 0), reader_(*this) {
  caps_.SetDevice(this);
}

Driver::~Driver() {
  // Unloading the library closes an open session.
  if (state_ != SessionState::Closed) Close();
}

int32_t Driver::StartDriver(const std::string& keyName, NotifyCallback notify, int32_t settingsResult,
                            const DeviceSettings& settings) {
  if (state_ != SessionState::Closed) Close();
  if (keyName != keyName_) link_.Release();  // another device: its link is of no use
  state_ = SessionState::Closed;
  model_ = -1;  // until this start finds one, Open refuses
  caps_.SetNotify(notify);
  deviceName_.clear();
  infoBlock_.clear();
  tabNamesLoaded_ = false;
  tabNames_.clear();
  tabPointers_.clear();
  // The store's own codes (-1..-7) would read as capability errors.
  if (settingsResult != 0) return kBadInstallation;
  if (!settings.bwSpeed) return kBadInstallation;
  settings_ = settings;
  keyName_ = keyName;
  model_ = ModelOfProduct(settings.productId);
  if (model_ < 0) return kModelUnknown;
  scsi_.SetModel(model_);
  if (const int32_t rc = Open()) {
    link_.Release();  // a driver that did not start holds no device lock
    return rc;
  }
  caps_.Select(model_);
  return Close();
}

int32_t Driver::StopDriver() {
  if (state_ != SessionState::Closed) Close();
  link_.Release();
  return 0;
}

int32_t Driver::OpenDevice() {
  if (const int32_t rc = link_.Open(keyName_)) return rc;
  return scsi_.Open();
}

int32_t Driver::Open() {
  if (model_ < 0) return kModelUnknown;
  if (state_ != SessionState::Closed)
    if (const int32_t rc = Close()) return rc;
  if (const int32_t rc = OpenDevice()) return rc;
  state_ = SessionState::Open;
  return 0;
}

int32_t Driver::Close() {
  if (state_ == SessionState::Closed) return 0;
  if (InScan()) StopScan();
  state_ = SessionState::Open;
  const int32_t rc = scsi_.ReleaseUnit();
  reader_.End();
  // A lost RELEASE must not keep the session from ever opening again.
  state_ = SessionState::Closed;
  return rc;
}

int32_t Driver::Reset() {
  if (const int32_t rc = Open()) return rc;
  scsi_.ReleaseUnit();
  reader_.End();
  return OpenDevice();
}

int32_t Driver::GetScanInfo(ScanInfo* info) {
  if (!info) return kNullPointer;
  CapFrame f{};
  caps_.FrameOf(&f);
  const int64_t X = std::max(1, caps_.Current(cap::XResolution));
  const int64_t Y = std::max(1, caps_.Current(cap::YResolution));
  const int64_t oX = caps_.Current(cap::OpticalX), oY = caps_.Current(cap::OpticalY);
  const int pixelType = caps_.Current(cap::PixelType);
  const int bpp = pixelType == 0 ? 1 : pixelType == 1 ? 8 : 24;
  auto clamp = [](int64_t v) { return int32_t(std::clamp<int64_t>(v, INT32_MIN, INT32_MAX)); };
  *info = ScanInfo{};
  info->left = clamp(oX * f.left / X);
  info->top = clamp(oY * f.top / Y);
  info->width = clamp(CeilDiv(oX * f.width, X));
  info->height = clamp(oY * f.height / Y);
  info->opticalX = int32_t(oX);
  info->opticalY = int32_t(oY);
  info->pixelType = uint8_t(pixelType);
  info->bitsPerPixel = uint8_t(bpp);
  info->physicalWidth = caps_.Current(cap::PhysicalWidth);
  info->physicalHeight = caps_.Current(cap::PhysicalHeight);
  info->bytesPerLine = clamp(((int64_t(bpp) * info->width + 31) / 8) & ~int64_t(3));
  info->bytesPerLine2 = info->bytesPerLine;
  return 0;
}

int32_t Driver::StartScan(int32_t noFilter) {
  noFilter_ = noFilter;
  firstRead_ = true;
  if (state_ == SessionState::Transferring) StopScan();
  if (state_ == SessionState::Closed) {
    if (const int32_t rc = Open()) return rc;
  } else if (state_ == SessionState::Scanning) {
    if (const int32_t rc = Reset()) return rc;
  }
  ScanInfo& info = scanInfo_;
  GetScanInfo(&info);
  slowMonochrome_ = info.pixelType <= 1 && caps_.Current(cap::XResolution) == 200;

  // The request carries 16-bit extents; a frame beyond them cannot be scanned.
  int64_t width = info.width;
  if (info.pixelType == 0) width = CeilDiv(width, 8) * 8;
  if (info.left < 0 || info.top < 0 || info.height <= 0 || width <= 0 || info.left > 0xFFFF ||
      info.top > 0xFFFF || width > 0xFFFF || info.height > 0xFFFF)
    return kWindowOutside;
  ScanRequest r;
  r.xResolution = uint16_t(info.opticalX);
  r.yResolution = uint16_t(info.opticalY);
  r.left = uint16_t(info.left);
  r.top = uint16_t(info.top);
  r.width = uint16_t(width);
  r.height = uint16_t(info.height);
  r.bitsPerPixel = info.bitsPerPixel;
  r.composition = uint8_t(info.pixelType + 1);
  if (info.pixelType == 2 && (model_ == 5 || model_ == 6)) r.colourOption = caps_.Current(cap::ColourOption);
  r.pixelFlavour = caps_.Current(cap::PixelFlavour) == 1;
  r.autoThreshold = caps_.Current(cap::AutoThreshold) != 0;
  r.cap8064 = caps_.Current(cap::Cap8064);
  int32_t t = r.autoThreshold ? 0 : caps_.Current(cap::Threshold);
  if (!r.autoThreshold && t == 0) t = 1;
  r.threshold = uint8_t(255 - std::clamp(t, 0, 255));
  r.brightness = uint8_t(caps_.Current(cap::Brightness));
  r.contrast = uint8_t(caps_.Current(cap::Contrast));

  state_ = SessionState::Scanning;
  linesExpected_ = info.height;
  uint32_t deviceBytesPerLine = 0, deviceLines = 0;
  int32_t rc = scsi_.StartScan(r, &deviceBytesPerLine, &deviceLines);
  if (rc == 0) {
    LineReader::Options o;
    o.pixelType = info.pixelType;
    o.smoothing = noFilter_ == 0 && caps_.Current(cap::Smoothing) == 1;
    o.triplets = info.pixelType == 2 && (model_ == 5 || model_ == 6);
    o.imageHeight = uint32_t(info.height);
    rc = reader_.Begin(deviceBytesPerLine, deviceLines, o);
  }
  if (rc) {
    state_ = SessionState::Open;
    Reset();
    return rc;
  }
  state_ = SessionState::Transferring;
  return 0;
}

int32_t Driver::GetData(uint8_t* buffer, int32_t length) {
  if (firstRead_) {
    firstRead_ = false;
    linesHandedOver_ = 0;
  }
  if (state_ != SessionState::Transferring) return kNotTransferring;
  if (slowMonochrome_ && settings_.bwSpeed && *settings_.bwSpeed)
    std::this_thread::sleep_for(std::chrono::milliseconds(*settings_.bwSpeed));
  const int32_t stride = scanInfo_.bytesPerLine;
  if (!buffer || stride <= 0 || length < stride) return kBufferTooShort;
  const uint32_t asked = uint32_t(length / stride);
  uint32_t delivered = 0;
  if (const int32_t rc = reader_.ReadLines(buffer, asked, uint32_t(stride), &delivered)) {
    StopScan();
    return rc;
  }
  linesExpected_ -= delivered;
  linesHandedOver_ += delivered;
  if (reader_.Finished()) {
    state_ = SessionState::Open;
    WaitForCarriage(scanInfo_);
  } else if (linesHandedOver_ >= scanInfo_.height) {
    StopScan();
    state_ = SessionState::Open;
    WaitForCarriage(scanInfo_);
  }
  // The lines that carry image: a host ends at the first short answer.
  return int32_t(delivered);
}

void Driver::WaitForCarriage(const ScanInfo& info) {
  if (caps_.Current(cap::FeederEnabled) != 1 || caps_.Current(cap::AutoFeed) != 1) return;
  const int64_t P = caps_.Current(cap::PhysicalHeight);
  const int64_t N = caps_.Current(cap::NativeY);
  const int64_t O = std::max(1, info.opticalY);
  if (P <= 0) return;
  const int64_t waitMs = (P - CeilDiv(N * (int64_t(info.top) + info.height), O)) * 6000 / P;
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max<int64_t>(0, waitMs));
  while (std::chrono::steady_clock::now() < until) {
    scsi_.TestUnitReady();
    std::this_thread::sleep_for(std::chrono::milliseconds(carriagePauseMs_));
  }
}

int32_t Driver::StopScan() {
  int32_t rc = 0;
  if (state_ != SessionState::Closed) {
    if (linesExpected_ > 0) {
      rc = scsi_.GetDataBufferStatus(nullptr, nullptr);
      if (rc == 0) rc = scsi_.ObjectPosition();
    } else {
      std::array<uint8_t, 11> sense{};
      rc = scsi_.RequestSense(&sense);
      if (rc == 0 && !(sense[2] & 0x40)) {
        rc = scsi_.GetDataBufferStatus(nullptr, nullptr);
        if (rc == 0) rc = scsi_.ObjectPosition();
      }
    }
    state_ = SessionState::Open;
  }
  linesExpected_ = 0;
  reader_.End();
  return rc;
}

int32_t Driver::FillInfoBlock(uint8_t* out) {
  StandardInquiry inq;
  if (const int32_t rc = scsi_.Inquiry(&inq)) return rc;
  if (!scsi_.HaveVendorPage())
    if (const int32_t rc = scsi_.InquiryVendorPage()) return rc;
  std::vector<uint8_t> block(kDeviceInfoBlockSize, 0);
  std::memcpy(&block[1], inq.vendor.data(), 8);
  std::memcpy(&block[10], inq.product.data(), 16);
  std::memcpy(&block[27], inq.revision.data(), 4);
  PutDecimal(&block[32], scsi_.Vendor().baseX, 4);
  PutDecimal(&block[38], settings_.scsiId, 2);
  PutDecimal(&block[41], settings_.hostAdapter, 2);
  infoBlock_ = block;
  std::memcpy(out, block.data(), block.size());
  return 0;
}

int32_t Driver::DeviceControl(int32_t code, const void* in, int32_t inLength, void* out, int32_t outLength) {
  if (code == kControlDeviceInfo && !infoBlock_.empty()) {
    if (!out || outLength < kDeviceInfoBlockSize) return kOutputNotWritable;
    std::memcpy(out, infoBlock_.data(), infoBlock_.size());
    return 0;
  }
  if (code < kControlGammaFirst || code > kControlCalibration) return kUnknownControl;
  if ((code <= kControlGammaLast && (!in || inLength != 256))) return kBadGammaLength;
  if (code == kControlDeviceInfo && (!out || outLength < kDeviceInfoBlockSize)) return kOutputNotWritable;
  // Commands in the middle of a transfer would break the scan.
  if (InScan() && code != kControlDeviceInfo) return kDeviceBusy;
  const bool opened = state_ == SessionState::Closed;
  if (opened)
    if (const int32_t rc = Open()) return rc;
  int32_t rc = 0;
  switch (code) {
    case kControlDiagnostics:
      state_ = SessionState::DeviceControl;
      rc = scsi_.Diagnostics();
      state_ = SessionState::Open;
      break;
    case kControlDeviceInfo: rc = FillInfoBlock(static_cast<uint8_t*>(out)); break;
    case kControlCalibration: rc = scsi_.Calibration(false); break;
    default: {
      const auto* src = static_cast<const uint8_t*>(in);
      uint8_t table[256];
      for (int i = 0; i < 256; ++i) table[i] = uint8_t(~src[255 - i]);
      rc = scsi_.Gamma(code, table);
    }
  }
  if (opened) {
    const int32_t closeRc = Close();
    if (rc == 0) rc = closeRc;
  }
  return rc;
}

int32_t Driver::GetDeviceName(char* buffer, int32_t* length) {
  if (!buffer || !length) return kNullPointer;
  if (deviceName_.empty()) {
    if (InScan()) return kDeviceBusy;
    const bool opened = state_ == SessionState::Closed;
    if (opened)
      if (const int32_t rc = Open()) return rc;
    StandardInquiry inq;
    const int32_t rc = scsi_.Inquiry(&inq);
    if (opened) Close();
    if (rc) return rc;
    deviceName_ = inq.product;
  }
  // The name and its NUL must fit, on both paths.
  const auto needed = int32_t(deviceName_.size() + 1);
  if (*length < needed) {
    *length = needed;
    return kNameTooShort;
  }
  std::memcpy(buffer, deviceName_.c_str(), size_t(needed));
  *length = needed - 1;
  return 0;
}

int32_t Driver::GetDeviceInternalName(char* buffer, int32_t* length) {
  if (!buffer || !length || !link_.IsOpen()) return kRefused;
  const std::string name = link_.InternalName();
  if (name.empty() || *length < int32_t(name.size() + 1)) return kRefused;
  std::memcpy(buffer, name.c_str(), name.size() + 1);
  *length = int32_t(name.size());
  return 0;
}

const char* const* Driver::GetDeviceTabNames() {
  if (tabNamesLoaded_) return tabPointers_.empty() ? nullptr : tabPointers_.data();
  tabNamesLoaded_ = true;
  tabNames_.clear();
  tabPointers_.clear();
  if (!settings_.tabNames) return nullptr;
  tabNames_ = settings_.tabNames->empty() ? std::vector<std::string>{} : SplitTabNames(*settings_.tabNames);
  if (model_ == 2 && tabNames_.size() > 1) {
    // The second tab belongs to the document feeder.
    const bool opened = state_ == SessionState::Closed && Open() == 0;
    const bool feeder = state_ != SessionState::Closed && scsi_.FeederPresent();
    if (opened) Close();
    if (!feeder) tabNames_.resize(1);
  }
  for (const std::string& n : tabNames_) tabPointers_.push_back(n.c_str());
  tabPointers_.push_back(nullptr);
  return tabPointers_.data();
}

bool Driver::DeviceOnline() {
  return (state_ == SessionState::Open || state_ == SessionState::DeviceControl) && scsi_.TestUnitReady() == 0;
}

bool Driver::FeederUsable() { return link_.IsOpen() && scsi_.FeederUsable(); }

bool Driver::PaperPresent() {
  int32_t record = 0;
  const bool present = link_.IsOpen() && scsi_.PaperPresent(&record);
  Record(record);
  return present;
}

int32_t Driver::PaperLoaded(int32_t* loaded) {
  if (!link_.IsOpen()) return kRefused;
  int32_t record = 0;
  const int32_t rc = scsi_.PaperLoaded(loaded, &record);
  Record(record);
  return rc;
}

int32_t Driver::ReadData(uint8_t* buffer, uint32_t bytes, uint32_t* transferred) {
  return scsi_.Read(buffer, bytes, transferred);
}

int32_t Driver::RefreshBufferStatus() { return scsi_.GetDataBufferStatus(nullptr, nullptr); }

}  // namespace qlon::scanner
