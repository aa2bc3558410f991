#pragma once
// Capability tables of the scanner driver and their negotiation.
//
// Every setting of a scan is a capability: a 16-bit id with a kind, units,
// a read-only flag, stored flags, optional set and get hooks and a value
// storage. Two tables of 34 rows exist (table B for model 6, table A for the
// others); one is selected per driver start. The value storage layouts below
// are what the host reads through the pointer GetCapability returns, so their
// members keep this order (on LP64 the enumeration's list pointer follows
// three int32 members and 4 bytes of padding; "current" stays at offset 4).
//
//   kind 0 one value     { current, default }
//   kind 1 frame         { left, top, width, height }   pixels at the requested resolution
//   kind 2 range         { minimum, maximum, step, default, current }
//   kind 3 enumeration   { count, current, default, list* }
//
// The notification callback runs synchronously inside a set, after the value
// is stored, so a host re-reading in its callback sees the new value.

#include <array>
#include <cstdint>
#include <vector>

#include "CapabilityTypes.h"

namespace qlon::scanner {

// What the hooks ask of the device (the SCSI layer implements it; tests fake it).
class CapabilityDevice {
 public:
  virtual ~CapabilityDevice() = default;
  // A session is open, not scanning, and TEST UNIT READY succeeds.
  virtual bool DeviceOnline() = 0;
  // The device status reports a usable document feeder.
  virtual bool FeederUsable() = 0;
  // The device status reports paper in the feeder.
  virtual bool PaperPresent() = 0;
  // 0 with *loaded set, or the internal code of a failed status command.
  virtual int32_t PaperLoaded(int32_t* loaded) = 0;
};

class Capabilities {
 public:
  static constexpr int kRows = 34;

  Capabilities();
  Capabilities(const Capabilities&) = delete;
  Capabilities& operator=(const Capabilities&) = delete;

  // Selects the table of a model (B for 6, A otherwise) with its default values.
  void Select(int model);
  int Model() const { return model_; }
  void SetDevice(CapabilityDevice* device) { device_ = device; }
  void SetNotify(NotifyCallback notify) { notify_ = notify; }

  // Host operations; they return internal codes (0 or negative; GetUnits
  // the units when the id is known).
  int32_t GetList(const int32_t** ids, int32_t* count) const;
  int32_t GetUnits(int32_t id) const;
  int32_t GetFlags(int32_t id, int32_t* flags) const;
  int32_t Get(int32_t id, int32_t* kind, void** value);
  int32_t GetValue(int32_t id, int32_t* value) const;
  // value is the integer, or for a frame a pointer to four int32.
  int32_t Set(int32_t id, intptr_t value);

  // Driver-internal reads and writes: no hooks; only ReplaceList tells the host.
  int32_t Current(int32_t id) const;       // 0 when unknown or a frame
  int32_t Default(int32_t id) const;       // 0 when unknown or a frame
  bool FrameOf(CapFrame* out) const;
  int32_t SetSilently(int32_t id, int32_t value);  // no frame; no list, range or read-only test
  // Replaces the allowed values of an enumeration and tells the host.
  int32_t ReplaceList(int32_t id, const std::vector<int32_t>& list, int32_t current);

 private:
  enum class Hook : uint8_t { None, AutoFeed, DeviceOnline, FeederEnabled, PaperWidth, PaperLength,
                              AcceptAll, XResolution, YResolution, Smoothing, FeederLoaded };
  struct Cell {
    union {
      CapOne one;
      CapFrame frame;
      CapRange range;
      CapEnum enumeration;
    };
    std::vector<int32_t> list;
  };
  struct Row {
    int32_t id;
    int32_t kind;
    int32_t units;
    bool readOnly;
    int32_t flags;
    Hook setHook;
    Hook getHook;
    Cell* cell;
  };

  Row* Find(int32_t id);
  const Row* Find(int32_t id) const;
  static int32_t& CurrentOf(const Row& row);
  int32_t RunSetHook(const Row& row, int32_t value);
  int32_t RunGetHook(const Row& row);
  void Notify(int32_t message, int32_t id);
  void ChooseOptical(int32_t axisId, int32_t requested, int32_t smoothing);
  void PageSizeNotification(bool feederOff);
  bool WideModel() const { return model_ == 5 || model_ == 6; }

  std::array<Cell, kRows> cells_{};
  std::array<Row, kRows> rows_{};
  std::array<int32_t, kRows> ids_{};
  int model_ = -1;
  CapabilityDevice* device_ = nullptr;
  NotifyCallback notify_ = nullptr;
};

}  // namespace qlon::scanner
