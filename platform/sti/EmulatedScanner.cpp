#include "EmulatedScanner.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace qlon::sti {

namespace {

// Sense conditions the device reports.
constexpr SenseCode kInvalidOpcode{5, 0x20, 0};
constexpr SenseCode kInvalidFieldInCdb{5, 0x24, 0};
constexpr SenseCode kInvalidFieldInParameters{5, 0x26, 0};
constexpr SenseCode kSequenceError{5, 0x2C, 0};

constexpr uint8_t kPageSize1 = 12, kPageSize2 = 12, kPageSize20 = 20, kPageSize3F = 36;

uint32_t Be16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 8 | p[1]; }
uint32_t Be24(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 16 | Be16(p + 1); }
uint32_t Be32(const uint8_t* p) { return static_cast<uint32_t>(p[0]) << 24 | Be24(p + 1); }
void PutBe16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
void PutBe32(uint8_t* p, uint32_t v) {
  PutBe16(p, v >> 16);
  PutBe16(p + 2, v);
}
void PutText(uint8_t* p, const std::string& text, size_t width) {
  for (size_t i = 0; i < width; ++i) p[i] = i < text.size() ? static_cast<uint8_t>(text[i]) : ' ';
}

std::array<uint8_t, kSenseLength> FixedSense(SenseCode s, uint8_t flags = 0, uint32_t information = 0) {
  std::array<uint8_t, kSenseLength> b{};
  b[0] = information ? 0xF0 : 0x70;  // valid bit when the information field is set
  b[2] = static_cast<uint8_t>(flags | (s.key & 0x0F));
  PutBe32(&b[3], information);
  b[7] = kSenseLength - 8;
  b[12] = s.asc;
  b[13] = s.ascq;
  return b;
}

// Where the data of each command goes; the lengths the CDB gives.
enum class Flow { None, In, Out };
struct Shape {
  Flow flow;
  uint32_t length;  // from the CDB
};

Shape ShapeOf(const uint8_t* cdb) {
  switch (cdb[0]) {
    case 0x03: case 0x12: case 0x1A: case 0xC3: case 0xD3: case 0xD5: return {Flow::In, cdb[4]};
    case 0x15: case 0x1B: case 0xC2: case 0xD6: return {Flow::Out, cdb[4]};
    case 0x24: case 0x2A: return {Flow::Out, Be24(cdb + 6)};
    case 0x25: case 0x28: return {Flow::In, Be24(cdb + 6)};
    case 0x34: return {Flow::In, Be16(cdb + 7)};
    default: return {Flow::None, 0};
  }
}

uint8_t GroupLength(uint8_t opcode) {
  switch (opcode >> 5) {
    case 0: case 6: return 6;
    case 1: case 2: return 10;
    case 5: return 12;
    case 4: return 16;
    default: return 0;
  }
}

class EmulatedTarget : public ScsiTarget {
 public:
  EmulatedTarget(std::shared_ptr<EmulatedScanner> scanner, int initiator)
      : scanner_(std::move(scanner)), initiator_(initiator) {}
  ~EmulatedTarget() override;
  ScsiReply Execute(const uint8_t* cdb, uint8_t cdbLength, Direction direction, uint8_t* data,
                    uint32_t length) override {
    return scanner_->Execute(initiator_, cdb, cdbLength, direction, data, length);
  }

 private:
  std::shared_ptr<EmulatedScanner> scanner_;
  int initiator_;
};

}  // namespace

struct EmulatedScanner::Reply {
  ScsiReply out;
  std::vector<uint8_t> in;  // data-in reply before it is cut to the allocation length
  bool hasIn = false;
  // Data in, at most the allocation length of the CDB.
  void Answer(std::vector<uint8_t> bytes, uint32_t allocation) {
    in = std::move(bytes);
    hasIn = true;
    in.resize(std::min<size_t>(in.size(), allocation));
  }
};

EmulatedTarget::~EmulatedTarget() { scanner_->Disconnect(initiator_); }

void EmulatedScanner::Disconnect(int initiator) {
  std::lock_guard guard(mutex_);
  if (reservedBy_ == initiator) reservedBy_ = -1;
}

EmulatedScanner::EmulatedScanner(EmulatedModel model) : model_(std::move(model)) {
  page1_.assign(kPageSize1, 0);
  page2_.assign(kPageSize2, 0);
  page20_.assign(kPageSize20, 0);
  page3f_.assign(kPageSize3F, 0);
  page1_[0] = 0x01;
  page2_[0] = 0x02;
  page20_[0] = 0x20;
  page3f_[0] = 0x3F;
  for (auto* p : {&page1_, &page2_, &page20_, &page3f_}) (*p)[1] = static_cast<uint8_t>(p->size() - 2);
  if (model_.feeder) page2_[6] |= 0x80;
  PutText(&page3f_[4], model_.productId, 16);
}

std::unique_ptr<ScsiTarget> EmulatedScanner::Connect() {
  int id;
  {
    std::lock_guard guard(mutex_);
    id = nextInitiator_++;
  }
  return std::make_unique<EmulatedTarget>(shared_from_this(), id);
}

ImageGeometry EmulatedScanner::Geometry(const ScanWindow& w) const {
  ImageGeometry g;
  g.composition = w.composition;
  g.pixels = static_cast<uint32_t>(uint64_t{w.width} * w.xResolution / model_.baseX);
  g.lines = static_cast<uint32_t>(uint64_t{w.length} * w.yResolution / model_.baseY);
  g.firstPixel = static_cast<uint32_t>(uint64_t{w.left} * w.xResolution / model_.baseX);
  g.firstLine = static_cast<uint32_t>(uint64_t{w.top} * w.yResolution / model_.baseY);
  g.bytesPerLine = w.composition == 0 ? (g.pixels + 7) / 8 : w.composition == 5 ? 3 * g.pixels : g.pixels;
  return g;
}

std::vector<uint8_t> EmulatedScanner::PatternLine(const ImageGeometry& g, uint32_t line) {
  std::vector<uint8_t> out(g.bytesPerLine, 0);
  uint32_t by = g.firstLine + line;
  for (uint32_t x = 0; x < g.pixels; ++x) {
    uint32_t bx = g.firstPixel + x;
    switch (g.composition) {
      case 0:
        if (((bx / 8 + by) & 1) != 0) out[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
        break;
      case 5:
        out[3 * x] = static_cast<uint8_t>(bx);
        out[3 * x + 1] = static_cast<uint8_t>(by);
        out[3 * x + 2] = static_cast<uint8_t>(bx ^ by);
        break;
      default: out[x] = static_cast<uint8_t>(bx + by); break;
    }
  }
  return out;
}

ScsiReply EmulatedScanner::Execute(int initiator, const uint8_t* cdb, uint8_t cdbLength, Direction direction,
                                   uint8_t* data, uint32_t length) {
  const auto arrived = std::chrono::steady_clock::now();
  std::vector<std::function<void()>> watches;
  {
    std::lock_guard guard(mutex_);
    for (const auto& [opcode, watch] : watches_)
      if (opcode < 0 || (cdbLength && opcode == cdb[0])) watches.push_back(watch);
  }
  // Outside the lock: a watcher may ask the scanner what it holds.
  for (const auto& watch : watches) watch();
  std::lock_guard guard(mutex_);
  Command logged;
  logged.at = arrived;
  logged.initiator = initiator;
  logged.cdb.assign(cdb, cdb + cdbLength);
  logged.direction = direction;
  logged.length = length;
  if (direction == Direction::Out && data) logged.dataOut.assign(data, data + length);

  Reply r;
  bool faulted = false;
  for (auto it = faults_.begin(); it != faults_.end(); ++it) {
    if (it->opcode >= 0 && it->opcode != cdb[0]) continue;
    if (it->skip > 0) {
      --it->skip;
      continue;
    }
    faulted = true;
    if (it->kind == Fault::Transport) r.out.result = it->result;
    else if (it->kind == Fault::Status) r.out.srbStatus = it->srb;
    else Check(r, it->sense);
    if (it->times > 0 && --it->times == 0) faults_.erase(it);
    break;
  }
  if (!faulted) Run(initiator, cdb, cdbLength, direction, data, length, r);

  if (r.hasIn && r.out.srbStatus != kSrbInvalidRequest && !Failed(r.out.result)) {
    for (auto& [opcode, edit] : edits_)
      if (opcode < 0 || opcode == cdb[0]) edit(cdb, r.in);
    uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(std::min<size_t>(r.in.size(), UINT32_MAX)), length);
    if (n) std::memcpy(data, r.in.data(), n);
    r.out.transferred = n;
  }
  logged.srbStatus = r.out.srbStatus;
  std::memcpy(logged.sense.data(), r.out.sense, kSenseLength);
  logged.transferred = r.out.transferred;
  log_.push_back(std::move(logged));
  return r.out;
}

void EmulatedScanner::Check(Reply& r, SenseCode s) {
  r.out.srbStatus = kSrbError;
  auto sense = FixedSense(s);
  std::memcpy(r.out.sense, sense.data(), kSenseLength);
  pendingSense_ = sense;
  r.hasIn = false;
}

bool EmulatedScanner::Admit(int initiator, const uint8_t* cdb, uint8_t cdbLength, Direction direction,
                            const uint8_t* data, uint32_t length, Reply& r) {
  const uint8_t op = cdb[0];
  if (GroupLength(op) == 0) return Check(r, kInvalidOpcode), false;  // reserved and unused groups
  if (GroupLength(op) != cdbLength) return Check(r, kInvalidFieldInCdb), false;
  // The handle's request must match what the CDB says moves.
  const Shape shape = ShapeOf(cdb);
  const bool moves = shape.length != 0;
  const Direction expected = shape.flow == Flow::In ? Direction::In : Direction::Out;
  if (moves && (direction != expected || !data || (shape.flow == Flow::Out && length < shape.length))) {
    r.out.srbStatus = kSrbInvalidRequest;
    return false;
  }
  if (reservedBy_ >= 0 && reservedBy_ != initiator && op != 0x12 && op != 0x03 && op != 0x17) {
    r.out.srbStatus = kSrbReservationConflict;
    return false;
  }
  return true;
}

void EmulatedScanner::Run(int initiator, const uint8_t* cdb, uint8_t cdbLength, Direction direction, uint8_t* data,
                          uint32_t length, Reply& r) {
  if (!Admit(initiator, cdb, cdbLength, direction, data, length, r)) return;
  const uint8_t op = cdb[0];
  const uint32_t moved = ShapeOf(cdb).length;
  // Any command but REQUEST SENSE ends the contingent condition.
  if (op != 0x03) pendingSense_.reset();
  switch (op) {
    case 0x00: return;  // TEST UNIT READY
    case 0x03: return r.Answer(RequestSense(), moved);
    case 0x12: return Inquiry(cdb, moved, r);
    case 0x15: return;  // MODE SELECT(6): parameters accepted, none kept
    case 0x1A: return r.Answer({3, 0, 0, 0}, moved);
    case 0x16:
      reservedBy_ = initiator;
      return;
    case 0x17:
      if (reservedBy_ == initiator) reservedBy_ = -1;
      return;
    case 0x1B: return StartScan(data, moved, r);
    case 0x1D:
      if (cdb[1] != 0x04) return Check(r, kInvalidFieldInCdb);
      ++diagnostics_;
      return;
    case 0x24: return SetWindow(cdb, data, moved, r);
    case 0x25:
      if (!window_) return Check(r, kSequenceError);
      return r.Answer(window_->bytes, moved);
    case 0x28: return Read(cdb, r);
    case 0x2A: return SendGamma(cdb, data, moved, r);
    case 0x31:
      ++objectPositions_;
      scanning_ = false;
      return;
    case 0x34: return r.Answer(BufferStatus(), moved);
    case 0xC2:
      if (moved != 2) return Check(r, kInvalidFieldInCdb);
      ++calibrations_;
      if (!keepCalibration_) calibrationBits_ = 0;
      return;
    case 0xC3:
      if (moved != 2) return Check(r, kInvalidFieldInCdb);
      return r.Answer({calibrationBits_, calibrationBits_}, moved);
    case 0xD3:
      if (moved != 2) return Check(r, kInvalidFieldInCdb);
      return r.Answer({status0_, status1_}, moved);
    case 0xD5: {
      const uint8_t page = cdb[2];
      if (page != 0x01 && page != 0x02 && page != 0x20 && page != 0x3F) return Check(r, kInvalidFieldInCdb);
      return r.Answer(Page(page), moved);
    }
    case 0xD6: return WritePage(cdb, data, moved, r);
    default: return Check(r, kInvalidOpcode);
  }
}

std::vector<uint8_t> EmulatedScanner::RequestSense() {
  const std::array<uint8_t, kSenseLength> s = pendingSense_ ? *pendingSense_ : FixedSense({}, endOfMedium_ ? 0x40 : 0);
  pendingSense_.reset();
  std::vector<uint8_t> bytes(18, 0);
  std::copy(s.begin(), s.end(), bytes.begin());
  bytes[7] = 10;
  return bytes;
}

// The standard data, or the vendor's page F0h: base resolutions, the
// resolutions offered, the scan area and the window descriptor's length.
void EmulatedScanner::Inquiry(const uint8_t* cdb, uint32_t allocation, Reply& r) {
  const bool evpd = cdb[1] & 1;
  if (!evpd) {
    if (cdb[2] != 0) return Check(r, kInvalidFieldInCdb);
    std::vector<uint8_t> b(36, 0);
    b[0] = 0x06;
    b[2] = 0x02;
    b[3] = 0x02;
    b[4] = 31;
    PutText(&b[8], model_.vendor, 8);
    PutText(&b[16], model_.productId, 16);
    PutText(&b[32], model_.revision, 4);
    return r.Answer(b, allocation);
  }
  if (cdb[2] != 0xF0) return Check(r, kInvalidFieldInCdb);
  std::vector<uint8_t> b(74, 0);
  b[0] = 0x06;
  b[1] = 0xF0;
  b[3] = 74 - 4;
  PutBe16(&b[5], model_.baseX);
  PutBe16(&b[7], model_.baseY);
  for (size_t i = 0; i < 5 && i < model_.resolutions.size(); ++i) PutBe16(&b[10 + 2 * i], model_.resolutions[i]);
  PutBe32(&b[20], model_.maxWidth);
  PutBe32(&b[24], model_.maxLength);
  PutBe32(&b[30], model_.maxWidth);
  PutBe32(&b[34], model_.maxLength);
  b[38] = model_.descriptorLength;
  r.Answer(b, allocation);
}

void EmulatedScanner::StartScan(const uint8_t* data, uint32_t length, Reply& r) {
  if (!window_) return Check(r, kSequenceError);
  if (length && data[0] != 0) return Check(r, kInvalidFieldInParameters);
  image_ = Geometry(*window_);
  imageOffset_ = 0;
  endOfMedium_ = false;
  scanning_ = true;
}

// SEND(10) of a gamma table: 256 bytes for channel 0 to 3.
void EmulatedScanner::SendGamma(const uint8_t* cdb, const uint8_t* data, uint32_t length, Reply& r) {
  if (cdb[2] != 3 || cdb[4] > 3 || length != 256) return Check(r, kInvalidFieldInCdb);
  std::array<uint8_t, 256> table;
  std::memcpy(table.data(), data, 256);
  gamma_[cdb[4]] = table;
}

// GET DATA BUFFER STATUS: what is left of the image while scanning.
std::vector<uint8_t> EmulatedScanner::BufferStatus() const {
  std::vector<uint8_t> b(28, 0);
  b[3] = 24;
  if (scanning_) {
    uint64_t total = uint64_t{image_.bytesPerLine} * image_.lines;
    uint64_t left = total - std::min(total, imageOffset_);
    uint32_t linesLeft = image_.bytesPerLine ? static_cast<uint32_t>((left + image_.bytesPerLine - 1) / image_.bytesPerLine) : 0;
    PutBe32(&b[12], image_.bytesPerLine);
    PutBe32(&b[16], linesLeft);
    PutBe32(&b[20], static_cast<uint32_t>(std::min<uint64_t>(left, 1u << 20)));
  }
  return b;
}

// A vendor page written whole: 12 bytes for pages 1 and 2, 20 for page 20h.
void EmulatedScanner::WritePage(const uint8_t* cdb, const uint8_t* data, uint32_t length, Reply& r) {
  if (cdb[1] != 0x10 || (length != 12 && length != 20)) return Check(r, kInvalidFieldInCdb);
  const uint8_t page = data[0];
  const bool fits = (length == 12 && (page == 0x01 || page == 0x02)) || (length == 20 && page == 0x20);
  if (!fits) return Check(r, kInvalidFieldInParameters);
  Page(page).assign(data, data + length);
}

void EmulatedScanner::SetWindow(const uint8_t*, const uint8_t* data, uint32_t length, Reply& r) {
  if (length < 8 || Be16(data + 6) != model_.descriptorLength || length != 8u + model_.descriptorLength ||
      model_.descriptorLength < 51)
    return Check(r, kInvalidFieldInParameters);
  const uint8_t* d = data + 8;
  ScanWindow w;
  w.xResolution = static_cast<uint16_t>(Be16(d + 2));
  w.yResolution = static_cast<uint16_t>(Be16(d + 4));
  w.left = Be32(d + 6);
  w.top = Be32(d + 10);
  w.width = Be32(d + 14);
  w.length = Be32(d + 18);
  w.brightness = d[22];
  w.threshold = d[23];
  w.contrast = d[24];
  w.composition = d[25];
  w.bitsPerPixel = d[26];
  auto listed = [&](uint16_t res) {
    return std::find(model_.resolutions.begin(), model_.resolutions.end(), res) != model_.resolutions.end();
  };
  bool ok = d[0] == 0 && listed(w.xResolution) && listed(w.yResolution) &&
            ((w.composition == 0 && w.bitsPerPixel == 1) || (w.composition == 2 && w.bitsPerPixel == 8) ||
             (w.composition == 5 && w.bitsPerPixel == 8)) &&
            w.width > 0 && w.length > 0 && uint64_t{w.left} + w.width <= model_.maxWidth &&
            uint64_t{w.top} + w.length <= model_.maxLength;
  if (ok) {
    ImageGeometry g = Geometry(w);
    ok = g.pixels > 0 && g.lines > 0;
  }
  if (!ok) return Check(r, kInvalidFieldInParameters);
  w.bytes.assign(data, data + length);
  window_ = std::move(w);
  scanning_ = false;
  endOfMedium_ = false;
}

void EmulatedScanner::Read(const uint8_t* cdb, Reply& r) {
  if (!scanning_) return Check(r, kSequenceError);
  if (cdb[2] != 0) return Check(r, kInvalidFieldInCdb);
  uint32_t want = Be24(cdb + 6);
  uint64_t total = uint64_t{image_.bytesPerLine} * image_.lines;
  uint64_t left = total - std::min(total, imageOffset_);
  auto n = static_cast<uint32_t>(std::min<uint64_t>(want, left));
  r.in.resize(n);
  r.hasIn = true;
  uint32_t done = 0;
  while (done < n) {
    auto line = static_cast<uint32_t>(imageOffset_ / image_.bytesPerLine);
    auto at = static_cast<uint32_t>(imageOffset_ % image_.bytesPerLine);
    std::vector<uint8_t> bytes = PatternLine(image_, line);
    uint32_t take = std::min(n - done, image_.bytesPerLine - at);
    std::memcpy(r.in.data() + done, bytes.data() + at, take);
    done += take;
    imageOffset_ += take;
  }
  if (imageOffset_ >= total) endOfMedium_ = true;
  if (n < want) {  // short: end of the image, with the residue
    auto sense = FixedSense({}, 0x40 | 0x20, want - n);
    r.out.srbStatus = kSrbError;
    std::memcpy(r.out.sense, sense.data(), kSenseLength);
    pendingSense_ = sense;
  }
}

std::vector<uint8_t>& EmulatedScanner::Page(uint8_t page) {
  switch (page) {
    case 0x01: return page1_;
    case 0x02: return page2_;
    case 0x20: return page20_;
    default: return page3f_;
  }
}

// ---- inspection and faults -------------------------------------------------

std::vector<EmulatedScanner::Command> EmulatedScanner::Log() const {
  std::lock_guard guard(mutex_);
  return log_;
}

std::vector<std::string> EmulatedScanner::LogCdbs() const {
  std::lock_guard guard(mutex_);
  std::vector<std::string> out;
  for (const Command& c : log_) {
    std::string s;
    char hex[4];
    for (uint8_t b : c.cdb) {
      std::snprintf(hex, sizeof hex, "%02X", b);
      if (!s.empty()) s += ' ';
      s += hex;
    }
    out.push_back(s);
  }
  return out;
}

void EmulatedScanner::ClearLog() {
  std::lock_guard guard(mutex_);
  log_.clear();
}

std::optional<ScanWindow> EmulatedScanner::Window() const {
  std::lock_guard guard(mutex_);
  return window_;
}

std::optional<std::array<uint8_t, 256>> EmulatedScanner::Gamma(int channel) const {
  std::lock_guard guard(mutex_);
  if (channel < 0 || channel > 3) return std::nullopt;
  return gamma_[static_cast<size_t>(channel)];
}

std::vector<uint8_t> EmulatedScanner::VendorPage(uint8_t page) const {
  std::lock_guard guard(mutex_);
  return const_cast<EmulatedScanner*>(this)->Page(page);
}

int EmulatedScanner::ObjectPositions() const {
  std::lock_guard guard(mutex_);
  return objectPositions_;
}
int EmulatedScanner::Diagnostics() const {
  std::lock_guard guard(mutex_);
  return diagnostics_;
}
int EmulatedScanner::Calibrations() const {
  std::lock_guard guard(mutex_);
  return calibrations_;
}
int EmulatedScanner::ReservedBy() const {
  std::lock_guard guard(mutex_);
  return reservedBy_;
}
bool EmulatedScanner::Scanning() const {
  std::lock_guard guard(mutex_);
  return scanning_;
}

void EmulatedScanner::AddFault(Fault f) {
  std::lock_guard guard(mutex_);
  faults_.push_back(f);
}
void EmulatedScanner::FailWithSense(int opcode, SenseCode sense, int times, int skip) {
  AddFault({opcode, skip, times, Fault::Sense, sense, S_OK, 0});
}
void EmulatedScanner::FailTransport(int opcode, HRESULT result, int times, int skip) {
  AddFault({opcode, skip, times, Fault::Transport, {}, result, 0});
}
void EmulatedScanner::FailWithStatus(int opcode, uint8_t srbStatus, int times, int skip) {
  AddFault({opcode, skip, times, Fault::Status, {}, S_OK, srbStatus});
}
void EmulatedScanner::EditReplies(int opcode, ReplyEdit edit) {
  std::lock_guard guard(mutex_);
  edits_.emplace_back(opcode, std::move(edit));
}
void EmulatedScanner::SetCalibrationNeeded(uint8_t bits, bool keepAfterCalibrate) {
  std::lock_guard guard(mutex_);
  calibrationBits_ = bits & 3;
  keepCalibration_ = keepAfterCalibrate;
}
void EmulatedScanner::SetDeviceStatus(uint8_t byte0, uint8_t byte1) {
  std::lock_guard guard(mutex_);
  status0_ = byte0;
  status1_ = byte1;
}
bool EmulatedScanner::ApplyFaultSwitch(const std::string& names) {
  std::vector<std::string> list;
  for (size_t start = 0; start <= names.size();) {
    const size_t comma = std::min(names.find(',', start), names.size());
    if (comma > start) list.push_back(names.substr(start, comma - start));
    start = comma + 1;
  }
  for (const std::string& name : list)
    if (name != "diagnostics" && name != "calibration" && name != "offline") return false;
  for (const std::string& name : list) {
    if (name == "diagnostics") FailWithSense(0x1D, SenseCode{4, 0x80, 0x04}, -1);
    if (name == "calibration") SetCalibrationNeeded(3, true);
    if (name == "offline") FailTransport(-1, STIERR_DEVICE_GONE, -1);
  }
  return true;
}

void EmulatedScanner::WatchCommands(int opcode, std::function<void()> watch) {
  std::lock_guard guard(mutex_);
  watches_.emplace_back(opcode, std::move(watch));
}

void EmulatedScanner::ClearFaults() {
  std::lock_guard guard(mutex_);
  faults_.clear();
  edits_.clear();
  watches_.clear();
}

// ---- provider ------------------------------------------------------------------

std::shared_ptr<EmulatedScanner> EmulatedProvider::Add(const DeviceEntry& entry, EmulatedModel model) {
  auto scanner = std::make_shared<EmulatedScanner>(std::move(model));
  std::lock_guard guard(mutex_);
  devices_.emplace_back(entry, scanner);
  return scanner;
}

std::vector<DeviceEntry> EmulatedProvider::Devices() {
  std::lock_guard guard(mutex_);
  std::vector<DeviceEntry> list;
  for (auto& d : devices_) list.push_back(d.first);
  return list;
}

HRESULT EmulatedProvider::Open(const DeviceEntry& device, std::unique_ptr<ScsiTarget>* target) {
  std::lock_guard guard(mutex_);
  for (auto& d : devices_)
    if (d.first.internalName == device.internalName) {
      *target = d.second->Connect();
      return S_OK;
    }
  return E_INVALIDARG;
}

}  // namespace qlon::sti
