#pragma once
// Capability values as the driver stores them and a host (the settings page
// through ScannerInterface) reads them through the pointer GetCapability
// returns. Shared by the driver and the page, so their members keep this
// order: on LP64 the enumeration's list pointer follows three int32 members
// and 4 bytes of padding, and "current" stays at offset 4.
#include <cstdint>

namespace qlon::scanner {

enum CapabilityKind : int32_t { kCapOne = 0, kCapFrame = 1, kCapRange = 2, kCapEnum = 3 };
enum CapabilityUnits : int32_t { kUnitsNone = 0, kUnitsPixels = 3, kUnitsDpi = 4 };

struct CapOne { int32_t current, defaultValue; };
struct CapFrame { int32_t left, top, width, height; };
struct CapRange { int32_t minimum, maximum, step, defaultValue, current; };
struct CapEnum { int32_t count, current, defaultValue; const int32_t* list; };

// Host notification: (message, capability id).
using NotifyCallback = int32_t (*)(int32_t message, int32_t capabilityId);
constexpr int32_t kNotifyValueChanged = 0x19191901;
constexpr int32_t kNotifyAllowedValuesChanged = 0x19191902;

// Capability ids the driver reads.
namespace cap {
constexpr int32_t PixelType = 0x0101, FeederEnabled = 0x1002, FeederLoaded = 0x1003,
                  AutoFeed = 0x1007, UiControllable = 0x100e, DeviceOnline = 0x100f,
                  AutoThreshold = 0x1100, Brightness = 0x1101, Contrast = 0x1103,
                  PhysicalWidth = 0x1111, PhysicalHeight = 0x1112, Frame = 0x1114,
                  NativeX = 0x1116, NativeY = 0x1117, XResolution = 0x1118, YResolution = 0x1119,
                  MaxFrames = 0x111a, BitOrder = 0x111c, LightPath = 0x111e, PixelFlavour = 0x111f,
                  PlanarChunky = 0x1120, Threshold = 0x1123, Cap8064 = 0x8064,
                  Halftone = 0x8067, Rescale = 0x8069, PaperWidth = 0x806b, PaperLength = 0x806c,
                  OpticalX = 0x8070, OpticalY = 0x8071, ColourOption = 0x8072, Cap8073 = 0x8073,
                  Cap8074 = 0x8074, Smoothing = 0x8075;
}

}  // namespace qlon::scanner
