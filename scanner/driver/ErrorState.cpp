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
  DriverText text;
};

constexpr uint32_t F = kStatusFailure;

// Searched in this order; the first row with the code decides.
constexpr ErrorRow kErrorTable[] = {
    {kNoCommunication, F, kNoCommunicationText},
    {kVendorIllegalRequest, F, kUnrecoverableText},
    {kTooManyWindows, F, kUnrecoverableText},
    {kCommandSequence, F, kUnrecoverableText},
    {kInvalidParameters, F, kUnrecoverableText},
    {kInvalidFieldInCdb, F, kUnrecoverableText},
    {kInvalidCommand, F, kUnrecoverableText},
    {kParameterListLength, F, kUnrecoverableText},
    {kDeviceFailure, F, kUnrecoverableText},
    {kHardwareFault3, F, kUnrecoverableText},
    {kHardwareFault2, F, kUnrecoverableText},
    {kHardwareFault1, F, kUnrecoverableText},
    {kLampFailure, F, kReleaseLockText},
    {kHeadPosition, F, kReleaseLockText},
    {kRoundedParameter, kStatusSuccess, kNoText},
    {kDeviceUnavailable, F, kNoCommunicationText},
    {kReserved47, F, kInternalErrorText},
    {kReserved39, F, kUnrecoverableText},
    {kNameTooShort, F, kUnrecoverableText},
    {kNoMemory, F, kNoMemoryText},
    {kBadWritePage, F, kUnrecoverableText},
    {kBadReadPage, F, kUnrecoverableText},
    {kReserved34, F, kInternalErrorText},
    {kReserved33, F, kUnrecoverableText},
    {kWindowOutside, F, kUnrecoverableText},
    {kReserved31, F, kUnrecoverableText},
    {kBadGammaChannel, F, kUnrecoverableText},
    {kTransferTooLarge, F, kUnrecoverableText},
    {kDeviceBusy, F, kUnrecoverableText},
    {kOutputNotWritable, F, kUnrecoverableText},
    {kModelUnknown, F, kUnrecoverableText},
    {kReadOnly, F, kUnrecoverableText},
    {kCalibrationFailed, F, kUnrecoverableText},
    {kReserved23, F, kInternalErrorText},
    {kFeederError8, F, kInternalErrorText},
    {kFeederError4, F, kInternalErrorText},
    {kFeederError2, F, kInternalErrorText},
    {kNoFeederStatus, F, kInternalErrorText},
    {kReserved18, F, kInternalErrorText},
    {kNoPaper, F, kInternalErrorText},
    {kReserved16, F, kUnrecoverableText},
    {kReserved15, F, kUnrecoverableText},
    {kNullPointer, F, kUnrecoverableText},
    {kBadGammaLength, F, kUnrecoverableText},
    {kUnknownControl, F, kUnrecoverableText},
    {kBadHook, F, kUnrecoverableText},
    {kUnknownCapability, F, kUnrecoverableText},
    {kBadKind, F, kUnrecoverableText},
    {kOutOfRange, F, kUnrecoverableText},
    {kOffStep, F, kUnrecoverableText},
    {kNotInList, F, kUnrecoverableText},
    {kBufferTooShort, F, kUnrecoverableText},
    {kReserved3, F, kUnrecoverableText},
    {kNotTransferring, F, kUnrecoverableText},
    {kRefused, F, kUnrecoverableText},
    {kCommandTimeout, F, kUnrecoverableText},
    {kBadInstallation, F, kBadInstallationText},
};

struct SenseRow {
  uint8_t key, asc, ascq;
  int32_t code;
};

constexpr SenseRow kSenseTable[] = {
    {1, 0x37, 0x00, kRoundedParameter},   {4, 0x60, 0x00, kLampFailure},
    {4, 0x62, 0x00, kHeadPosition},       {4, 0x80, 0x01, kHardwareFault1},
    {4, 0x80, 0x02, kHardwareFault2},     {4, 0x80, 0x03, kHardwareFault3},
    {4, 0x80, 0x04, kDeviceFailure},      {5, 0x1A, 0x00, kParameterListLength},
    {5, 0x20, 0x00, kInvalidCommand},     {5, 0x24, 0x00, kInvalidFieldInCdb},
    {5, 0x26, 0x00, kInvalidParameters},  {5, 0x2C, 0x00, kCommandSequence},
    {5, 0x2C, 0x01, kTooManyWindows},     {5, 0x80, 0x02, kVendorIllegalRequest},
    {11, 0x80, 0x00, kNoCommunication},
};

// Indexed by DriverText.
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
static_assert(std::size(kStrings) == kReleaseLockText + 1);

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
  if (key == 0 || key == 1 || key == 6) return 0;
  return kDeviceFailure;
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
    Append(info->text, sizeof info->text, DriverString(row->text), kMaxMessage);
    // The two generic texts say which code they stand for.
    if (row->text == kUnrecoverableText || row->text == kInternalErrorText)
      Append(info->text, sizeof info->text, CodeSuffix(code_, code_ < 0));
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
