#include "Capabilities.h"

#include <algorithm>
#include <limits>

#include "ErrorState.h"

namespace qlon::scanner {

namespace {

int32_t StoredFlags(int32_t id) {
  switch (id) {
    case cap::AutoFeed:
    case cap::FeederEnabled:
    case cap::FeederLoaded: return 0x3;
    case cap::DeviceOnline: return 0x1;
    case cap::PixelType:
    case cap::XResolution:
    case cap::YResolution: return 0x2;
    default: return 0;
  }
}

bool FitsInt32(intptr_t v) {
  return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
}

}  // namespace

Capabilities::Capabilities() { Select(0); }

void Capabilities::Select(int model) {
  model_ = model;
  const bool tableB = model == 6;
  int n = 0;
  for (Cell& c : cells_) {
    c.list.clear();
    c.range = CapRange{};
  }
  auto add = [&](int32_t id, int32_t kind, int32_t units, bool ro, Hook set, Hook get,
                 Cell* shared = nullptr) -> Cell& {
    Cell* cell = shared ? shared : &cells_[n];
    rows_[n] = Row{id, kind, units, ro, StoredFlags(id), set, get, cell};
    ids_[n] = id;
    ++n;
    return *cell;
  };
  auto one = [&](int32_t id, int32_t units, bool ro, int32_t v, Hook set = Hook::None) -> Cell& {
    Cell& c = add(id, kCapOne, units, ro, set, Hook::None);
    c.one = CapOne{v, v};
    return c;
  };
  auto range = [&](int32_t id, int32_t units, int32_t lo, int32_t hi, int32_t def,
                   Hook set = Hook::None) {
    add(id, kCapRange, units, false, set, Hook::None).range = CapRange{lo, hi, 1, def, def};
  };
  auto enumeration = [&](int32_t id, bool ro, std::vector<int32_t> list, int32_t def,
                         Hook set = Hook::None, Hook get = Hook::None) {
    Cell& c = add(id, kCapEnum, kUnitsNone, ro, set, get);
    c.list = std::move(list);
    c.enumeration = CapEnum{static_cast<int32_t>(c.list.size()), def, def, c.list.data()};
  };

  const int32_t length = tableB ? 7016 : 3508;
  const int32_t width = tableB ? 5104 : 2552;
  const int32_t native = tableB ? 600 : 300;
  const int32_t maxRes = tableB ? 9600 : 600;

  enumeration(cap::AutoFeed, false, {0}, 0, Hook::AutoFeed, Hook::AutoFeed);
  enumeration(cap::DeviceOnline, false, {0, 1}, 0, Hook::DeviceOnline, Hook::DeviceOnline);
  enumeration(cap::FeederEnabled, false, {0}, 0, Hook::FeederEnabled);
  enumeration(cap::FeederLoaded, true, {0}, 0, Hook::None, Hook::FeederLoaded);
  enumeration(cap::UiControllable, true, {0, 1}, 1);
  enumeration(cap::Halftone, false, {0}, 0, Hook::AcceptAll);
  enumeration(cap::Cap8064, false, {0, 1}, 0);
  Cell& paperLength = one(cap::PaperLength, kUnitsPixels, false, length, Hook::PaperLength);
  Cell& paperWidth = one(cap::PaperWidth, kUnitsPixels, false, width, Hook::PaperWidth);
  one(0x806d, kUnitsNone, true, 1);
  one(0x806f, kUnitsPixels, true, 64);
  one(0x806e, kUnitsPixels, true, 64);
  enumeration(cap::BitOrder, false, {1}, 1);
  range(cap::Brightness, kUnitsNone, 0, 100, 50);
  range(cap::Contrast, kUnitsNone, 0, 100, 50);
  add(cap::Frame, kCapFrame, kUnitsPixels, false, Hook::None, Hook::None).frame =
      CapFrame{0, 0, 637, 825};
  enumeration(cap::LightPath, false, {0, 0}, 0);
  one(cap::MaxFrames, kUnitsNone, true, 1);
  add(cap::PhysicalHeight, kCapOne, kUnitsPixels, true, Hook::PaperLength, Hook::None, &paperLength);
  add(cap::PhysicalWidth, kCapOne, kUnitsPixels, true, Hook::PaperWidth, Hook::None, &paperWidth);
  enumeration(cap::PixelFlavour, false, {0, 1}, 0);
  enumeration(cap::PixelType, false, {0, 1, 2}, 2);
  enumeration(cap::PlanarChunky, false, {0}, 0);
  range(cap::Threshold, kUnitsNone, 0, 255, 128);
  one(cap::NativeX, kUnitsPixels, true, native);
  range(cap::XResolution, kUnitsDpi, 50, maxRes, 75, Hook::XResolution);
  one(cap::NativeY, kUnitsPixels, true, native);
  range(cap::YResolution, kUnitsDpi, 50, maxRes, 75, Hook::YResolution);
  enumeration(cap::OpticalX, false,
              tableB ? std::vector<int32_t>{75, 150, 300, 600} : std::vector<int32_t>{75, 150, 300}, 75);
  enumeration(cap::OpticalY, false,
              tableB ? std::vector<int32_t>{75, 150, 300, 600, 1200}
                     : std::vector<int32_t>{75, 150, 300},
              75);
  enumeration(cap::ColourOption, false, {0, 1}, 0);
  enumeration(cap::Cap8073, false, {0, 1, 2}, 2);
  enumeration(cap::Cap8074, false, {1, 2, 3, 4}, 1);
  enumeration(cap::Smoothing, false, {0, 1}, 0, Hook::Smoothing);
}

Capabilities::Row* Capabilities::Find(int32_t id) {
  for (Row& row : rows_)
    if (row.id == id) return &row;
  return nullptr;
}

const Capabilities::Row* Capabilities::Find(int32_t id) const {
  return const_cast<Capabilities*>(this)->Find(id);
}

int32_t& Capabilities::CurrentOf(const Row& row) {
  switch (row.kind) {
    case kCapRange: return row.cell->range.current;
    case kCapEnum: return row.cell->enumeration.current;
    default: return row.cell->one.current;
  }
}

int32_t Capabilities::GetList(const int32_t** ids, int32_t* count) const {
  if (!ids || !count) return kNullPointer;
  *ids = ids_.data();
  *count = kRows;
  return 0;
}

int32_t Capabilities::GetUnits(int32_t id) const {
  const Row* row = Find(id);
  if (!row) return kUnknownCapability;
  return row->units;
}

int32_t Capabilities::GetFlags(int32_t id, int32_t* flags) const {
  const Row* row = Find(id);
  if (!row) return kUnknownCapability;
  if (!flags) return kNullPointer;
  *flags = row->flags;
  return 0;
}

int32_t Capabilities::Get(int32_t id, int32_t* kind, void** value) {
  Row* row = Find(id);
  if (!row) return kUnknownCapability;
  if (!kind || !value) return kNullPointer;
  if (const int32_t rc = RunGetHook(*row)) return rc;
  *kind = row->kind;
  *value = row->cell;  // every member of the union starts at the cell's address
  return 0;
}

int32_t Capabilities::GetValue(int32_t id, int32_t* value) const {
  const Row* row = Find(id);
  if (!row || row->kind == kCapFrame) return kUnknownCapability;
  if (!value) return kNullPointer;
  *value = CurrentOf(*row);
  return 0;
}

int32_t Capabilities::Set(int32_t id, intptr_t value) {
  Row* row = Find(id);
  if (!row) return kUnknownCapability;
  if (row->kind == kCapFrame) {
    const auto* in = reinterpret_cast<const int32_t*>(value);
    if (!in) return kNullPointer;
    const CapFrame f{in[0], in[1], in[2], in[3]};
    CapFrame& cur = row->cell->frame;
    if (f.left == cur.left && f.top == cur.top && f.width == cur.width && f.height == cur.height)
      return 0;
    // A frame with a negative origin or an empty extent would give negative
    // window sizes and line counts further down.
    if (f.left < 0 || f.top < 0 || f.width <= 0 || f.height <= 0) return kOutOfRange;
    if (row->readOnly) return kReadOnly;
    if (const int32_t rc = RunSetHook(*row, 0)) return rc;
    cur = f;
    Notify(kNotifyValueChanged, id);
    return 0;
  }
  if (row->kind != kCapOne && row->kind != kCapRange && row->kind != kCapEnum) return kBadKind;
  if (FitsInt32(value) && static_cast<int32_t>(value) == CurrentOf(*row)) return 0;
  if (row->kind == kCapRange) {
    const CapRange& r = row->cell->range;
    if (!FitsInt32(value) || value < r.minimum || value > r.maximum) return kOutOfRange;
    const int64_t step = r.step > 0 ? r.step : 1;
    if ((static_cast<int64_t>(value) - r.minimum) % step != 0) return kOffStep;
  } else if (row->kind == kCapEnum) {
    const CapEnum& e = row->cell->enumeration;
    if (!FitsInt32(value) || std::find(e.list, e.list + e.count, static_cast<int32_t>(value)) ==
                                 e.list + e.count)
      return kNotInList;
  } else if (!FitsInt32(value)) {
    return kOutOfRange;
  }
  if (row->readOnly) return kReadOnly;
  const auto v = static_cast<int32_t>(value);
  if (const int32_t rc = RunSetHook(*row, v)) return rc;
  CurrentOf(*row) = v;
  Notify(kNotifyValueChanged, id);
  return 0;
}

int32_t Capabilities::Current(int32_t id) const {
  const Row* row = Find(id);
  if (!row || row->kind == kCapFrame) return 0;
  return CurrentOf(*row);
}

int32_t Capabilities::Default(int32_t id) const {
  const Row* row = Find(id);
  if (!row) return 0;
  switch (row->kind) {
    case kCapOne: return row->cell->one.defaultValue;
    case kCapRange: return row->cell->range.defaultValue;
    case kCapEnum: return row->cell->enumeration.defaultValue;
    default: return 0;
  }
}

bool Capabilities::FrameOf(CapFrame* out) const {
  const Row* row = Find(cap::Frame);
  if (!row || !out) return false;
  *out = row->cell->frame;
  return true;
}

int32_t Capabilities::SetSilently(int32_t id, int32_t value) {
  Row* row = Find(id);
  if (!row) return kUnknownCapability;
  if (row->kind == kCapFrame) return kBadKind;
  CurrentOf(*row) = value;
  return 0;
}

int32_t Capabilities::ReplaceList(int32_t id, const std::vector<int32_t>& list, int32_t current) {
  Row* row = Find(id);
  if (!row) return kUnknownCapability;
  if (row->kind != kCapEnum) return kBadKind;
  if (std::find(list.begin(), list.end(), current) == list.end()) return kNotInList;
  Cell& c = *row->cell;
  c.list = list;
  c.enumeration.count = static_cast<int32_t>(c.list.size());
  c.enumeration.list = c.list.data();
  c.enumeration.current = current;
  Notify(kNotifyAllowedValuesChanged, id);
  return 0;
}

void Capabilities::Notify(int32_t message, int32_t id) {
  if (notify_) notify_(message, id);
}

void Capabilities::ChooseOptical(int32_t opticalId, int32_t requested, int32_t smoothing) {
  const Row* row = Find(opticalId);
  if (!row) return;
  int32_t chosen;
  if (smoothing) {
    chosen = Current(opticalId == cap::OpticalX ? cap::NativeX : cap::NativeY);
  } else {
    const CapEnum& e = row->cell->enumeration;
    const int32_t* end = e.list + e.count;
    const int32_t* hit = std::find_if(e.list, end, [&](int32_t v) { return v >= requested; });
    chosen = hit != end ? *hit : (e.count ? end[-1] : 0);
  }
  SetSilently(opticalId, chosen);
}

void Capabilities::PageSizeNotification(bool feederOff) {
  if (WideModel() && feederOff && Current(cap::LightPath) != 1) {
    SetSilently(cap::PhysicalWidth, Default(cap::PhysicalWidth));
    SetSilently(cap::PhysicalHeight, Default(cap::PhysicalHeight));
  }
  Notify(kNotifyValueChanged, cap::PhysicalWidth);
  Notify(kNotifyValueChanged, cap::PhysicalHeight);
}

int32_t Capabilities::RunSetHook(const Row& row, int32_t value) {
  switch (row.setHook) {
    case Hook::None:
    case Hook::AcceptAll:
    case Hook::FeederLoaded: return 0;
    case Hook::AutoFeed:
      if (value == 1 && Current(cap::FeederEnabled) != 1) return kRefused;
      return 0;
    case Hook::DeviceOnline:
      if (value == 1 && !(device_ && device_->DeviceOnline())) return kRefused;
      return 0;
    case Hook::FeederEnabled:
      if (value == 1) {
        if (!(device_ && device_->FeederUsable())) return kRefused;
        PageSizeNotification(false);
      } else {
        PageSizeNotification(true);
        SetSilently(cap::AutoFeed, 0);
      }
      return 0;
    case Hook::PaperWidth:
    case Hook::PaperLength: {
      const bool isWidth = row.setHook == Hook::PaperWidth;
      const int32_t physical = isWidth ? cap::PhysicalWidth : cap::PhysicalHeight;
      // The carriage wait divides by the physical height: no model takes a size below 1.
      if (value < 1) return kRefused;
      if (WideModel() && (value < 100 || value > Default(physical))) return kRefused;
      // The shared cell is stored before the host hears of it.
      SetSilently(physical, value);
      Notify(kNotifyValueChanged, physical);
      return 0;
    }
    case Hook::XResolution:
      ChooseOptical(cap::OpticalX, value, Current(cap::Smoothing));
      return 0;
    case Hook::YResolution:
      ChooseOptical(cap::OpticalY, value, Current(cap::Smoothing));
      return 0;
    case Hook::Smoothing:
      ChooseOptical(cap::OpticalX, Current(cap::XResolution), value);
      ChooseOptical(cap::OpticalY, Current(cap::YResolution), value);
      return 0;
  }
  return 0;
}

int32_t Capabilities::RunGetHook(const Row& row) {
  switch (row.getHook) {
    case Hook::AutoFeed:
      if (Current(cap::FeederEnabled) == 1 && Current(cap::AutoFeed) == 1 &&
          !(device_ && device_->PaperPresent()))
        return kNoPaper;
      return 0;
    case Hook::FeederLoaded: {
      if (Current(cap::FeederEnabled) != 1) {
        SetSilently(cap::FeederLoaded, 0);
        return 0;
      }
      int32_t loaded = 0;
      if (!device_ || device_->PaperLoaded(&loaded) != 0) {
        SetSilently(cap::FeederLoaded, 0);
        return kNoFeederStatus;
      }
      SetSilently(cap::FeederLoaded, loaded ? 1 : 0);
      return 0;
    }
    case Hook::DeviceOnline:
      SetSilently(cap::DeviceOnline, device_ && device_->DeviceOnline() ? 1 : 0);
      return 0;
    default: return 0;
  }
}

}  // namespace qlon::scanner
