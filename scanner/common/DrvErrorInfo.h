#pragma once
// The record GetLastErrorInfo fills for a host: shared by the driver, which
// fills it, and the settings page, which shows it. Text is UTF-8, at most
// 256 bytes of message and never cut inside a character, NUL-terminated.
#include <cstdint>

namespace qlon::scanner {

struct DrvErrorInfo {
  int32_t size;            // sizeof(DrvErrorInfo), 296
  int32_t code;            // the negated internal code (positive for a failure)
  char deviceName[30];     // the product name when the driver knows it
  char text[258];
};
static_assert(sizeof(DrvErrorInfo) == 296, "hosts allocate the record by this size");

}  // namespace qlon::scanner
