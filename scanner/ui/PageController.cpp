#include "PageController.h"

#include <algorithm>
#include <cstring>

#include "CapabilityTypes.h"
#include "DeviceControl.h"
#include "Registry.h"
#include "RegistryValueList.h"
#include "UiStrings.h"

namespace qlon::scanner::ui {

namespace {
constexpr int32_t kPortCap = 0x8074, kPaperWidth = 0x806b, kPaperLength = 0x806c, kHalftoneOn = 0x8067,
                  kHalftoneIndex = 0x8068, kPixelType = 0x0101, kFeederCap = 0x1002, kAutoFeed = 0x1007,
                  kLightPath = 0x111e, kAuto = 0x1100, kThreshold = 0x1123,
                  kFilmKind = 0x8065, kFilmType = 0x8066;
constexpr int kRowLegal = 7, kRowFullPlaten = 6, kRowFau = 8;

struct Size { int w, l; };
// Rows 0-8 by paper-size table 1-6.
constexpr Size kTables[6][9] = {
    {{1063, 650}, {1650, 2550}, {2150, 3035}, {2175, 3150}, {2550, 3300}, {2483, 3496}, {2552, 3508}, {2552, 4200}, {2552, 3496}},
    {{1417, 867}, {2200, 3400}, {2867, 4047}, {2900, 4200}, {3400, 4400}, {3310, 4661}, {3400, 4661}, {3400, 5600}, {3400, 4661}},
    {{1063, 650}, {1650, 2550}, {2150, 3035}, {2175, 3150}, {2550, 3300}, {2483, 3496}, {2552, 3496}, {2552, 4200}, {2552, 3496}},
    {{2126, 1300}, {3300, 5100}, {4300, 6070}, {4350, 6300}, {5100, 6600}, {4965, 6992}, {5104, 6992}, {5104, 8400}, {4800, 6472}},
    {{1063, 650}, {1650, 2550}, {2150, 3035}, {2175, 3150}, {2550, 3300}, {2483, 3508}, {2552, 3508}, {2552, 4200}, {2552, 3496}},
    {{2126, 1300}, {3300, 5100}, {4300, 6070}, {4350, 6300}, {5100, 6600}, {4965, 7016}, {5104, 7016}, {5104, 8400}, {4800, 6472}},
};
constexpr int kTableOfModel[8] = {0, 1, 2, 2, 3, 4, 5, 5};
const char* const kModels[7] = {"QM-6620", "QM-7731", "QM-7741", "QM-51270K", "QM-28460P", "QM-51290T", "QM-28490T"};

std::string Field(const uint8_t* p, size_t n) {
  std::string s(reinterpret_cast<const char*>(p), strnlen(reinterpret_cast<const char*>(p), n));
  return s;
}
std::string Trim(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
int32_t Read(const RegistryValueList& list, const char* name, int32_t lo, int32_t hi, int32_t fallback) {
  const RegistryValue* v = list.Find(name);
  if (!v) return fallback;
  const int32_t x = v->AsInt32();
  return x < lo || x > hi ? fallback : x;
}
}  // namespace

std::pair<std::string, int> SplitEntry(const std::string& entry) {
  const size_t semi = entry.find(';');
  if (semi == std::string::npos) return {entry, 0};
  return {entry.substr(0, semi), std::atoi(entry.c_str() + semi + 1)};
}

std::string WrapText(const std::string& text, size_t width) {
  // Widths count characters: a UTF-8 sequence is one ("irrécupérable" is 13).
  std::string out, line, word;
  size_t lineChars = 0, wordChars = 0;
  auto flushWord = [&] {
    if (word.empty()) return;
    if (!line.empty() && lineChars + 1 + wordChars > width) {
      out += line + "\n";
      line.clear();
      lineChars = 0;
    }
    if (!line.empty()) {
      line += ' ';
      ++lineChars;
    }
    line += word;
    lineChars += wordChars;
    word.clear();
    wordChars = 0;
  };
  for (char c : text) {
    if (c == ' ' || c == '\n' || c == '\r' || c == '\t') {
      flushWord();
    } else {
      word += c;
      if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++wordChars;
    }
  }
  flushWord();
  return out + line;
}

std::pair<int, int> PaperSize(int model, int row) {
  const Size s = kTables[kTableOfModel[std::clamp(model, 0, 7)]][std::clamp(row, 0, 8)];
  return {s.w, s.l};
}

int ModelOfDeviceName(const std::string& name) {
  for (int i = 0; i < 7; ++i)
    if (Trim(name) == kModels[i]) return i;
  return 7;
}

int32_t PageController::Current(int32_t id) {
  int32_t kind = -1;
  void* value = nullptr;
  if (si_->GetCapability(id, &kind, &value) != 0 || !value) return -1;
  if (kind == kCapEnum) return static_cast<CapEnum*>(value)->current;
  if (kind == kCapOne) return static_cast<CapOne*>(value)->current;
  if (kind == kCapRange) return static_cast<CapRange*>(value)->current;
  return -1;
}

void PageController::Load() {
  RegistryValueList list;
  // A user with no saved state yet starts from the defaults (and the first
  // save creates the key), rather than from all-zero values.
  PageState& s = *state_;
  const bool have = list.LoadUserDevice(s.keyName.c_str()) == 0 && list.Find("Image Source");
  s.automatic = false;
  s.filmKind = 0;
  s.filmTypeName.clear();
  if (have) {
    if (model_ == kFilmModel) {
      s.filmKind = Read(list, "Film Selection", 0, 3, 0);
      if (const RegistryValue* v = list.Find("Negative Selection"); v && v->Kind() == RegistryValue::kString)
        s.filmTypeName = reinterpret_cast<const char*>(v->Data());
    }
    s.source = Read(list, "Image Source", 0, 2, 0);
    s.paper = Read(list, "Paper Size", 0, 8, s.defaultPaper);
    s.moire = Read(list, "MoireReduction", 0, 1, 0);
    s.smoothing = Read(list, "Smoothing", INT32_MIN, INT32_MAX, 0);
    s.halftone = Read(list, "Halftone", 0, 8, 0);
    s.threshold = std::clamp(Read(list, "Threshold", INT32_MIN, INT32_MAX, 0), 0, 255);
    state_->loaded = true;
  } else {
    s.source = 0;
    s.paper = s.defaultPaper;
    s.moire = s.smoothing = s.halftone = 0;
    s.threshold = 128;
    state_->loaded = true;
    Save();
  }
  s.manualThreshold = s.threshold;
}

void SaveState(const PageState& s) {
  if (!s.loaded || s.keyName.empty()) return;
  RegistryValueList list;
  list.LoadUserDevice(s.keyName.c_str());
  auto dword = [&](const char* name, int32_t v) { list.SetBytes(name, &v, 4, RegistryValue::kInt32); };
  dword("Image Source", s.source);
  dword("Paper Size", s.paper);
  dword("MoireReduction", s.moire);
  dword("Smoothing", s.smoothing);
  dword("Halftone", s.halftone);
  // While automatic, the user's manual threshold is what must survive.
  dword("Threshold", s.automatic ? s.manualThreshold : s.threshold);
  dword("AutoThreshold", s.automatic ? 1 : 0);
  // One list for both, so that the save (which first removes the key's
  // values) keeps the film values.
  if (s.model == kFilmModel) {
    dword("Film Selection", s.filmKind);
    list.SetString("Negative Selection", s.filmTypeName.c_str(), RegistryValue::kString);
  }
  list.SaveUserDevice(s.keyName.c_str());
}

std::vector<FilmType> BuiltInFilmTypes() {
  std::vector<FilmType> types;
  for (int id = 1; id <= 37; ++id) {
    const auto [name, type] = SplitEntry(UiString(id));
    types.push_back({name, static_cast<uint32_t>(type) | kBuiltInFilm});
  }
  return types;
}

namespace {
// The list store takes one name per level; this key sits a level below the
// device key, so it is read and written here with the same rules: values in
// order, the whole key replaced in one write.
std::string FilmTypesKey(const std::string& keyName) {
  return "Software\\Norva\\Vellumor\\5.3\\Devices\\" + keyName + "\\NegativeTypes";
}
}  // namespace

bool LoadFilmTypes(const std::string& keyName, std::vector<FilmType>* types) {
  types->clear();
  registry::Key key;
  if (keyName.empty() ||
      registry::OpenKey(registry::HKEY_CURRENT_USER, FilmTypesKey(keyName), registry::Access::Read, &key) != registry::kOk)
    return false;
  registry::Value v;
  for (uint32_t i = 0; registry::EnumValue(key, i, &v) == registry::kOk; ++i) {
    uint32_t type = 0;
    if (v.type == registry::kDword && v.data.size() == 4) {
      std::memcpy(&type, v.data.data(), 4);
      types->push_back({v.name, type});
    }
  }
  // An empty list would leave no film type to send.
  return !types->empty();
}

void SaveFilmTypes(const std::string& keyName, const std::vector<FilmType>& types) {
  registry::Key key;
  if (keyName.empty() ||
      registry::CreateKey(registry::HKEY_CURRENT_USER, FilmTypesKey(keyName), "option", &key) != registry::kOk)
    return;
  std::vector<registry::Value> values;
  for (const FilmType& t : types) {
    registry::Value v{t.name, registry::kDword, std::vector<uint8_t>(4)};
    std::memcpy(v.data.data(), &t.type, 4);
    values.push_back(std::move(v));
  }
  registry::ReplaceValues(key, values);
}

void PageController::StartFilm() {
  PageState& s = *state_;
  filmKinds_.clear();
  for (int id = 57; id <= 60; ++id) filmKinds_.push_back(UiString(id));
  if (!LoadFilmTypes(s.keyName, &filmTypes_)) {
    filmTypes_ = BuiltInFilmTypes();
    SaveFilmTypes(s.keyName, filmTypes_);
    s.filmTypeName = filmTypes_.front().name;
    Save();
  }
  Set(kFilmKind, s.filmKind);
  Set(kFilmType, static_cast<intptr_t>(filmTypes_.front().type & ~kBuiltInFilm) - 1);
}

bool PageController::Start() {
  PageState& s = *state_;
  s.defaultPaper = usMeasure_ ? 4 : 5;
  view_ = Controls{};
  for (int id = 39; id <= 41; ++id) view_.sources.push_back(SplitEntry(UiString(id)).first);
  // Information line.
  std::string info = std::string("Refresh \tMar 24 2000\n") + si_->GetDriverName();
  std::memset(block_, 0, sizeof block_);
  // The block is 43 bytes plus its NUL; the buffer is larger than both.
  blockRead_ = si_->DeviceControl(kControlDeviceInfo, nullptr, 0, block_, 44) == 0;
  if (blockRead_) {
    char line[96];
    std::snprintf(line, sizeof line, "SCSI ID : %s  \t\tSCSI Adapter : %s", Field(block_ + 38, 2).c_str(),
                  Field(block_ + 41, 2).c_str());
    info += " \t\tFirmware : " + Field(block_ + 27, 4) + "\n" + line;
  }
  view_.text[kInfoLine] = info;
  char name[32] = {};
  int32_t length = sizeof name;
  model_ = si_->GetDeviceName(name, &length) == 0 ? ModelOfDeviceName(Field(reinterpret_cast<uint8_t*>(name), 16)) : 7;
  s.model = model_;
  if (const char* key = si_->GetKeyName()) s.keyName = key;
  if (!s.started) Load();
  if (!Refresh()) return false;
  if (model_ == kFilmModel) StartFilm();
  view_.enabled[kDescreenCheck] = s.descreenAllowed;
  view_.checked[kDescreenCheck] = s.moire == 1;
  for (int id = 48; id <= 56; ++id) view_.halftones.push_back(UiString(id));
  // Sources: probed once per library load.
  if (!s.started) {
    s.feederPresent = Set(kFeederCap, 1) == 0;
    if (s.feederPresent) {
      if (s.source == kFeeder) Set(kAutoFeed, 1); else Set(kFeederCap, 0);
    }
    s.filmPresent = Set(kLightPath, 1) == 0;
    if (s.filmPresent && s.source != kFilm) Set(kLightPath, 0);
  }
  const bool present[3] = {true, s.feederPresent, s.filmPresent};
  std::vector<std::string> offered;
  for (int i = 0; i < 3; ++i)
    if (present[i]) offered.push_back(view_.sources[i]);
  view_.sources = offered;
  if (!present[s.source]) {
    s.source = kPlaten;
    s.paper = s.defaultPaper;
  }
  const std::string current = SplitEntry(UiString(39 + s.source)).first;
  view_.source = static_cast<int>(std::find(offered.begin(), offered.end(), current) - offered.begin());
  FillPapers(s.source, true);
  if (!s.started) SendPaperSize();
  view_.halftone = s.halftone;
  view_.preview = s.halftone;
  s.manualThreshold = s.threshold;
  if (s.halftone != 0) {
    Set(kHalftoneOn, 1);
    view_.checked[kAutoRadio] = s.automatic;
    view_.checked[kManualRadio] = !s.automatic;
    OnScroll(4, s.threshold);
    for (int id : {kThresholdLabel, kAutoRadio, kManualRadio, kThresholdEdit, kTrackBar}) view_.enabled[id] = false;
  } else {
    Set(kHalftoneOn, 0);
    view_.enabled[kAutoRadio] = view_.enabled[kManualRadio] = true;
    view_.checked[kAutoRadio] = s.automatic;
    view_.checked[kManualRadio] = !s.automatic;
    if (s.automatic) {
      EnableThreshold(false);
      ShowThreshold(s.threshold);
    } else if (Current(kPixelType) != 0) {
      ShowThreshold(128);
      EnableThreshold(false);
    } else {
      EnableThreshold(true);
      ShowThreshold(s.threshold);
    }
    Set(kAuto, s.automatic ? 1 : 0);
    Set(kThreshold, s.threshold);
  }
  Set(kHalftoneIndex, s.halftone);
  s.started = true;
  return true;
}

bool PageController::Refresh() {
  view_.text[kVersionText] = "V" + Field(block_ + 27, 4);
  std::string product = Field(block_ + 10, 16);
  view_.text[kModelLabel] = std::string(UiString(product == "QM-51290T       " ? 121 : 122)) + " :";
  view_.checked[kDescreenCheck] = state_->moire == 1;
  EnableThreshold(Current(kPixelType) == 0 && !state_->automatic && state_->halftone == 0);
  const int32_t port = Current(kPortCap);
  if (port < 1 || port > 4) return false;
  view_.text[kPortText] = UiString(112 + port);
  return true;
}

void PageController::EnableThreshold(bool on) {
  for (int id : {kThresholdLabel, kThresholdEdit, kTrackBar}) view_.enabled[id] = on;
}

void PageController::ShowThreshold(int value) {
  view_.track = value;
  view_.edit = std::to_string(value);
}

void PageController::FillPapers(int previousSource, bool atStart) {
  PageState& s = *state_;
  view_.papers.clear();
  auto name = [](int row) { return std::string(UiString(200 + row)); };
  switch (s.source) {
    case kPlaten:
      for (int r = 0; r <= 6; ++r) view_.papers.push_back(name(r));
      if (s.paper > 6 || (!atStart && previousSource == kFilm) ||
          (!atStart && previousSource == kFeeder && s.paper == kRowFullPlaten))
        s.paper = s.defaultPaper;
      view_.paper = s.paper;
      break;
    case kFeeder:
      for (int r = 0; r <= 5; ++r) view_.papers.push_back(name(r));
      view_.papers.push_back(name(kRowLegal));
      if (s.paper > 7 || (!atStart && previousSource == kFilm)) s.paper = s.defaultPaper;
      if (!atStart && previousSource == kPlaten && s.paper == kRowFullPlaten) s.paper = kRowLegal;
      // Full Platen is not offered with the feeder: it falls back to the default.
      if (s.paper == kRowFullPlaten) s.paper = s.defaultPaper;
      view_.paper = s.paper == kRowLegal ? 6 : s.paper;
      break;
    default:
      view_.papers.push_back(name(kRowFau));
      s.paper = 0;
      view_.paper = 0;
  }
}

void PageController::SendPaperSize() {
  const auto [w, l] = PaperSize(model_, state_->source == kFilm ? kRowFau : state_->paper);
  Set(kPaperWidth, w);
  Set(kPaperLength, l);
}

void PageController::OnSource(const std::string& name) {
  int next = -1;
  for (int i = 0; i < 3; ++i)
    if (SplitEntry(UiString(39 + i)).first == name) next = i;
  if (next < 0) return;
  const int previous = state_->source;
  if (next == kPlaten) {
    if (previous == kFeeder) Set(kFeederCap, 0);
    if (previous == kFilm) Set(kLightPath, 0);
  } else if (next == kFeeder) {
    if (Set(kFeederCap, 1) == 0) Set(kAutoFeed, 1);
  } else {
    Set(kLightPath, 1);
  }
  state_->source = next;
  FillPapers(previous, false);
  view_.source = static_cast<int>(std::find(view_.sources.begin(), view_.sources.end(), name) - view_.sources.begin());
  SendPaperSize();
  Save();
}

void PageController::OnPaper(const std::string& name) {
  for (int r = 0; r < 9; ++r) {
    if (name != UiString(200 + r)) continue;
    if (state_->source != kFilm) {
      state_->paper = r;
      view_.paper = state_->source == kFeeder && r == kRowLegal ? 6 : r;
    }
    SendPaperSize();
    Save();
    return;
  }
}

void PageController::OnHalftone(const std::string& name) {
  int index = -1;
  for (int i = 0; i < 9; ++i)
    if (name == UiString(48 + i)) index = i;
  if (index < 0) return;
  PageState& s = *state_;
  if (index > 0) {
    for (int id : {kAutoRadio, kManualRadio, kThresholdLabel, kThresholdEdit, kTrackBar}) view_.enabled[id] = false;
  } else {
    s.threshold = s.manualThreshold;
    ShowThreshold(s.threshold);
    view_.checked[kAutoRadio] = s.automatic;
    view_.checked[kManualRadio] = !s.automatic;
    view_.enabled[kAutoRadio] = view_.enabled[kManualRadio] = true;
    EnableThreshold(!s.automatic);
  }
  view_.halftone = index;
  if (index == s.halftone) return;
  s.halftone = index;
  view_.preview = index;
  Set(kHalftoneOn, index > 0 ? 1 : 0);
  Set(kHalftoneIndex, index);
  Set(kAuto, s.automatic ? 1 : 0);
  Save();
}

void PageController::OnAutomatic() {
  PageState& s = *state_;
  // A driver without automatic threshold refuses 0x1100: then threshold 0
  // would be a near-blank scan, so the page stays on manual (the disabled
  // radio button says why; the information line stays as it is).
  if (Set(kAuto, 1) != 0) {
    view_.checked[kAutoRadio] = false;
    view_.checked[kManualRadio] = true;
    view_.enabled[kAutoRadio] = false;
    return;
  }
  s.automatic = true;
  s.manualThreshold = s.threshold;
  s.threshold = 0;
  Set(kThreshold, 0);
  view_.checked[kAutoRadio] = true;
  view_.checked[kManualRadio] = false;
  EnableThreshold(false);
  Save();
}

void PageController::OnManual() {
  PageState& s = *state_;
  s.automatic = false;
  Set(kAuto, 0);
  s.threshold = s.manualThreshold;
  view_.checked[kManualRadio] = true;
  view_.checked[kAutoRadio] = false;
  EnableThreshold(true);
  OnScroll(4, s.threshold);
  Save();
}

void PageController::OnDescreen(bool checked) {
  state_->moire = checked ? 1 : 0;
  view_.checked[kDescreenCheck] = checked;
  Save();
}

void PageController::OnDescreenAllowed(bool allowed) {
  state_->descreenAllowed = allowed;
  view_.enabled[kDescreenCheck] = allowed;
}

void PageController::OnCommand1042() {
  if (view_.papers.size() > 1) view_.paper = 1;
  ShowThreshold(128);
}

void PageController::OnScroll(int code, int position) {
  PageState& s = *state_;
  switch (code) {
    case 0: pendingStep_ -= 1; break;
    case 1: pendingStep_ += 1; break;
    case 2: pendingStep_ -= 32; break;
    case 3: pendingStep_ += 32; break;
    case 4: case 5: s.threshold = std::clamp(position, 0, 255); break;
    case 6: s.threshold = 0; break;
    case 7: s.threshold = 255; break;
    case 8:
      s.threshold = std::clamp(s.threshold + pendingStep_, 0, 255);
      pendingStep_ = 0;
      break;
    default: break;
  }
  if (code == 4 || code == 5 || code == 8) ShowThreshold(s.threshold);
  if (!s.automatic) s.manualThreshold = s.threshold;
  Set(kThreshold, s.threshold);
  Refresh();
}

std::string PageController::Accept(const std::string& text) {
  editPending_ = false;
  const bool digits = !text.empty() && text.size() <= 9 &&
                      std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
  const int value = digits ? std::atoi(text.c_str()) : 256;
  const bool valid = value <= 255;
  // A refused value leaves the kept threshold, which is sent again: the
  // driver, the track bar and the edit agree once more.
  OnScroll(4, valid ? value : state_->threshold);
  Save();
  return valid ? std::string() : UiString(98);
}

std::string PageController::OnEditFocusOut(const std::string& text) {
  return editPending_ ? Accept(text) : std::string();
}

uint32_t PageController::RunDiagnostics(std::string* text) {
  const uint32_t status = si_->DeviceControl(kControlDiagnostics, nullptr, 0, nullptr, 0);
  if (status == 0) {
    *text = UiString(72);
    return 0;
  }
  DrvErrorInfo info{};
  info.size = sizeof info;
  si_->GetLastErrorInfo(&info);
  info.text[sizeof info.text - 1] = 0;
  char line[300];
  std::snprintf(line, sizeof line, UiString(71), info.text);
  *text = WrapText(line, 60);
  // The "FAILED -" heading keeps its own line.
  const size_t dash = text->find("FAILED - ");
  if (dash == 0) (*text)[8] = '\n';
  return status;
}

std::string PageController::Calibrate(int* icon, bool* closeHost) {
  const uint32_t status = si_->DeviceControl(kControlCalibration, nullptr, 0, nullptr, 0);
  *icon = static_cast<int>(status >> 30);
  *closeHost = false;
  if (status == 0) return {};
  DrvErrorInfo info{};
  info.size = sizeof info;
  si_->GetLastErrorInfo(&info);
  info.text[256] = 0;
  *closeHost = *icon == 3;
  std::string text = WrapText(info.text, 60);
  return text.empty() ? std::string("(Code:") + std::to_string(info.code) + ")" : text;
}

}  // namespace qlon::scanner::ui
