#pragma once
// The two roads on which the driver calibrates, as a scanning host takes
// them through the exports: DeviceControl(6), and the scan start of a model
// that calibrates (5 and 6) while the device asks for it. What the device
// sees on them is the same whether or not the host has a screen.
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "DriverApi.h"
#include "EmulatedScanner.h"

namespace qlon::scanner::test {

// DeviceControl(6) with the session closed: open, calibrate, close.
inline const std::vector<std::string> kCalibrationCdbs = {
    "00 00 00 00 00 00", "16 00 00 00 00 00", "12 01 F0 00 4A 00",
    "C2 00 00 00 02 00", "C3 00 00 00 02 00", "17 00 00 00 00 00"};
// Open, then StartScan while the calibration status asks for it, up to
// the scan's first buffer status.
inline const std::vector<std::string> kCalibratingScanCdbs = {
    "00 00 00 00 00 00", "16 00 00 00 00 00", "12 01 F0 00 4A 00",
    "00 00 00 00 00 00", "00 00 00 00 00 00", "24 00 00 00 00 00 00 00 48 00",
    "25 01 00 00 00 00 00 00 48 00", "00 00 00 00 00 00", "C3 00 00 00 02 00", "C2 00 00 00 02 00",
    "C3 00 00 00 02 00", "D5 00 20 00 14 00", "D6 10 00 00 14 00", "1B 00 00 00 01 00",
    "34 00 00 00 00 00 00 00 1C 00"};

// The time from the command before the first calibrate (C2h) to it: the
// pause the notice gets before the device starts. Zero without a C2h.
inline std::chrono::steady_clock::duration PauseBeforeCalibrate(const std::vector<sti::EmulatedScanner::Command>& log) {
  for (size_t i = 1; i < log.size(); ++i)
    if (!log[i].cdb.empty() && log[i].cdb[0] == 0xC2) return log[i].at - log[i - 1].at;
  return {};
}

// A colour scan of a small frame through the exports the resolver finds,
// from Open to Close; the lines received, or -1 when a call failed.
inline int32_t ScanSmallFrame(const std::function<void*(const char*)>& symbol) {
  auto open = reinterpret_cast<VoidFn>(symbol("Open"));
  auto close = reinterpret_cast<VoidFn>(symbol("Close"));
  auto set = reinterpret_cast<SetCapabilityFn>(symbol("SetCapability"));
  auto start = reinterpret_cast<StartScanFn>(symbol("StartScan"));
  auto info = reinterpret_cast<GetScanInfoFn>(symbol("GetScanInfo"));
  auto data = reinterpret_cast<GetDataFn>(symbol("GetData"));
  auto stop = reinterpret_cast<VoidFn>(symbol("StopScan"));
  if (!open || !close || !set || !start || !info || !data || !stop) return -1;
  const int32_t frame[4] = {8, 4, 64, 16};
  if (open() || set(cap::PixelType, 2) || set(cap::XResolution, 150) || set(cap::YResolution, 150) ||
      set(cap::Frame, reinterpret_cast<intptr_t>(frame)) || start(1))
    return -1;
  ScanInfo scan{};
  if (info(&scan)) return -1;
  std::vector<uint8_t> buffer(size_t(scan.bytesPerLine) * 4);
  int32_t lines = 0;
  while (lines < scan.height) {
    const int32_t got = data(buffer.data(), int32_t(buffer.size()));
    if (got <= 0) return -1;
    lines += got;
  }
  return stop() == 0 && close() == 0 ? lines : -1;
}

}  // namespace qlon::scanner::test
