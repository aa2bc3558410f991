#include "ErrorState.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "Sti.h"

namespace qlon::scanner {

namespace {

struct ErrorRow {
  int32_t code;
  uint32_t status;
  int stringId;  // 0: no text
};

constexpr uint32_t F = kStatusFailure;

// Searched in this order; the first row with the code decides.
constexpr ErrorRow kErrorTable[] = {
    {-81, F, 3}, {-73, F, 2}, {-71, F, 2}, {-70, F, 2}, {-69, F, 2}, {-67, F, 2}, {-66, F, 2},
    {-65, F, 2}, {-62, F, 2}, {-61, F, 2}, {-60, F, 2}, {-59, F, 2}, {-83, F, 7}, {-82, F, 7},
    {-56, 0, 0}, {-53, F, 3}, {-47, F, 6}, {-39, F, 2}, {-38, F, 2}, {-37, F, 4}, {-36, F, 2},
    {-35, F, 2}, {-34, F, 6}, {-33, F, 2}, {-32, F, 2}, {-31, F, 2}, {-30, F, 2}, {-29, F, 2},
    {-28, F, 2}, {-27, F, 2}, {-26, F, 2}, {-25, F, 2}, {-24, F, 2}, {-23, F, 6}, {-22, F, 6},
    {-21, F, 6}, {-20, F, 6}, {-19, F, 6}, {-18, F, 6}, {-17, F, 6}, {-16, F, 2}, {-15, F, 2},
    {-14, F, 2}, {-13, F, 2}, {-12, F, 2}, {-11, F, 2}, {-9, F, 2},  {-8, F, 2},  {-7, F, 2},
    {-6, F, 2},  {-5, F, 2},  {-4, F, 2},  {-3, F, 2},  {-2, F, 2},  {-1, F, 2},  {-999, F, 2},
    {-84, F, 5},
};

struct SenseRow {
  uint8_t key, asc, ascq;
  int32_t code;
};

constexpr SenseRow kSenseTable[] = {
    {1, 0x37, 0x00, -56}, {4, 0x60, 0x00, -83}, {4, 0x62, 0x00, -82}, {4, 0x80, 0x01, -59},
    {4, 0x80, 0x02, -60}, {4, 0x80, 0x03, -61}, {4, 0x80, 0x04, -62}, {5, 0x1A, 0x00, -65},
    {5, 0x20, 0x00, -66}, {5, 0x24, 0x00, -67}, {5, 0x26, 0x00, -69}, {5, 0x2C, 0x00, -70},
    {5, 0x2C, 0x01, -71}, {5, 0x80, 0x02, -73}, {11, 0x80, 0x00, -81},
};

constexpr const char* kStrings[] = {
    "",
    "Calibrage en cours.\nNe pas ouvrir le cache.",
    "Erreur irrécupérable sur le scanner. Mettez le scanner hors tension et suivez les instructions du "
    "manuel. Le pilote du scanner va être fermé.",
    "Communication impossible avec le scanner.\nLe scanner est peut-être hors tension ou hors ligne, ou le "
    "câble déconnecté.\nVérifiez l'état du scanner. \nLe pilote du scanner va être fermé.",
    "Mémoire saturée. Libérez de l'espace. Le pilote du scanner va être fermé.",
    "Le fichier requis est peut-être manquant ou endommagé, ou le paramétrage incorrect. Réinstallez le "
    "pilote  du scanner. Le pilote du scanner va être fermé.",
    "Erreur interne.\nLe pilote du scanner va être fermé.",
    "Libérez le verrou, détachez le câble USB et reconnectez-le. Refermez le pilote du scanner.",
};

constexpr size_t kMaxMessage = 256;  // bytes of the message before the "(Code:...)" suffix

const ErrorRow* FindRow(int32_t code) {
  for (const ErrorRow& row : kErrorTable)
    if (row.code == code) return &row;
  return nullptr;
}

bool Passed(int32_t code) {
  auto u = static_cast<uint32_t>(code);
  return u == kStatusPassed65 || u == kStatusPassed66 || u == kStatusFailure;
}

// Appends to text (capacity bytes with the NUL) what fits, never half a character.
void Append(char* text, size_t capacity, const std::string& more, size_t limit = SIZE_MAX) {
  size_t used = std::strlen(text);
  size_t room = std::min(capacity - 1 - used, limit);
  size_t n = std::min(room, more.size());
  if (n < more.size())
    while (n > 0 && (static_cast<unsigned char>(more[n]) & 0xC0) == 0x80) --n;
  std::memcpy(text + used, more.data(), n);
  text[used + n] = '\0';
}

std::string CodeSuffix(int32_t code, bool decimal) {
  char buf[32];
  if (decimal) std::snprintf(buf, sizeof buf, "(Code:%d)", code);
  else std::snprintf(buf, sizeof buf, "(Code:%xh)", static_cast<uint32_t>(code));
  return buf;
}

}  // namespace

uint32_t PublicStatus(int32_t internalCode) {
  if (Passed(internalCode)) return static_cast<uint32_t>(internalCode);
  if (const ErrorRow* row = FindRow(internalCode)) return row->status;
  return internalCode == 0 ? kStatusSuccess : kStatusFailure;
}

int32_t SenseTableCode(const uint8_t* sense) {
  uint8_t key = sense[2] & 0x0F;
  for (const SenseRow& row : kSenseTable)
    if (row.key == key && row.asc == sense[12] && row.ascq == sense[13]) return row.code;
  return 0;
}

int32_t DecodeSense(const uint8_t* sense) {
  int32_t code = SenseTableCode(sense);
  if (code == kRoundedParameter) return 0;
  if (code != 0) return code;
  uint8_t key = sense[2] & 0x0F;
  return key == 0 || key == 1 || key == 6 ? 0 : kUnlistedSense;
}

const char* DriverString(int id) {
  return id >= 1 && id < static_cast<int>(std::size(kStrings)) ? kStrings[id] : "";
}

void ErrorState::Record(int32_t internalCode) {
  if (internalCode == 0) return;
  code_ = internalCode;
  systemError_ = sti::GetLastError();
}

void ErrorState::Clear() {
  code_ = 0;
  systemError_ = 0;
}

uint32_t ErrorState::Fill(DrvErrorInfo* info, const DeviceNameSource& deviceName) const {
  if (!info) return kStatusFailure;
  std::memset(info, 0, sizeof *info);
  info->size = sizeof(DrvErrorInfo);
  info->code = static_cast<int32_t>(0u - static_cast<uint32_t>(code_));  // no overflow for INT32_MIN
  if (const ErrorRow* row = FindRow(code_)) {
    Append(info->text, sizeof info->text, DriverString(row->stringId), kMaxMessage);
    if (row->stringId == 2 || row->stringId == 6) Append(info->text, sizeof info->text, CodeSuffix(code_, code_ < 0));
  } else if (code_ != 0) {
    Append(info->text, sizeof info->text, CodeSuffix(code_, false));
  }
  if (!deviceName) return 0;
  int32_t length = sizeof info->deviceName;
  uint32_t status = deviceName(info->deviceName, &length);
  info->deviceName[sizeof info->deviceName - 1] = '\0';
  return status;
}

ErrorState& LastError() {
  static ErrorState state;
  return state;
}

}  // namespace qlon::scanner
