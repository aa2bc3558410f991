#pragma once
// One configurable ScannerInterface for the page's tests: logs every
// SetCapability, answers from scripted capability values and failures,
// scripted DeviceControl results and information block, and a scripted
// error record.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CapabilityTypes.h"
#include "ScannerInterface.h"

namespace qlon::scanner::ui::test {

using Calls = std::vector<std::pair<int32_t, intptr_t>>;

class FakeScanner : public imgport::ScannerInterface {
 public:
  Calls sets;
  std::map<int32_t, uint32_t> failSet;      // id -> status of SetCapability
  std::map<int32_t, CapEnum> caps;          // GetCapability: current value at the second member
  std::map<int32_t, uint32_t> controlStatus;  // DeviceControl code -> status (0 when absent)
  std::vector<int32_t> controls;            // DeviceControl codes called
  std::string device = "QM-28460P       ";  // GetDeviceName
  std::string product = "QM-51290T       ";  // information block, offset 10
  std::string revision = "1.07";
  std::string keyName = "QMDEV";
  DrvErrorInfo error{};

  FakeScanner() {
    caps[0x0101] = {3, 0, 0, nullptr};  // line art
    caps[0x8074] = {4, 1, 1, nullptr};  // LPT1
  }
  void Error(int32_t code, const char* text) {
    error.code = code;
    std::snprintf(error.text, sizeof error.text, "%s", text);
  }
  Calls Take() { Calls s = sets; sets.clear(); return s; }

  uint32_t GetCapability(int32_t id, int32_t* kind, void** value) override {
    auto it = caps.find(id);
    if (it == caps.end()) return 0xC0000000u;
    *kind = kCapEnum;
    *value = &it->second;
    return 0;
  }
  uint32_t SetCapability(int32_t id, intptr_t value) override {
    sets.emplace_back(id, value);
    auto it = failSet.find(id);
    return it == failSet.end() ? 0 : it->second;
  }
  uint32_t DeviceControl(int32_t code, const void*, int32_t, void* out, int32_t outLength) override {
    controls.push_back(code);
    auto it = controlStatus.find(code);
    const uint32_t status = it == controlStatus.end() ? 0 : it->second;
    if (code == 5 && status == 0 && out) {
      EXPECT_GE(outLength, 44);
      auto* b = static_cast<char*>(out);
      std::memcpy(b + 10, product.data(), std::min<size_t>(product.size(), 16));
      std::memcpy(b + 27, revision.data(), std::min<size_t>(revision.size(), 4));
      std::memcpy(b + 38, "3", 1);
      std::memcpy(b + 41, "1", 1);
    }
    return status;
  }
  uint32_t GetLastErrorInfo(DrvErrorInfo* info) override { *info = error; return 0; }
  const char* GetKeyName() override { return keyName.c_str(); }
  const char* GetDriverName() override { return "tq21udrv"; }
  uint32_t GetDeviceName(char* buffer, int32_t* length) override {
    if (*length < 17) return 0xC0000000u;
    std::snprintf(buffer, 17, "%-16s", device.c_str());
    return 0;
  }
};

}  // namespace qlon::scanner::ui::test
