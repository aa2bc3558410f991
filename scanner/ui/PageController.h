#pragma once
// The rules of the scanner settings page, without widgets: the page state
// kept per user, the source and paper lists, the threshold track bar and
// edit, and the calls made on the host's ScannerInterface. The widget
// (SettingsPage) shows Controls and forwards user actions here.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "ScannerInterface.h"

namespace qlon::scanner::ui {

enum ControlId : int {
  kPaperCombo = 1002, kTestButton = 1008, kCalibrateButton = 1009, kHalftoneCombo = 1010,
  kAutoRadio = 1011, kManualRadio = 1012, kThresholdEdit = 1019, kTrackBar = 1020,
  kSourceCombo = 1021, kPreview = 1023, kPortText = 1037, kVersionText = 1040,
  kDescreenCheck = 1044, kModelLabel = 1045, kInfoLine = 1048, kThresholdLabel = 1053,
};
enum Source : int { kPlaten = 0, kFeeder = 1, kFilm = 2 };

// What the page shows; the widget copies it after every call.
struct Controls {
  std::vector<std::string> sources, papers, halftones;
  int source = -1, paper = -1, halftone = -1;
  int track = 0;
  std::string edit;
  std::map<int, bool> enabled, checked;
  std::map<int, std::string> text;
  int preview = -1;  // halftone index whose bitmap picture 1023 shows
  bool Enabled(int id) const { auto it = enabled.find(id); return it == enabled.end() || it->second; }
  bool Checked(int id) const { auto it = checked.find(id); return it != checked.end() && it->second; }
};

// Kept for the life of the library: it survives the page window.
struct PageState {
  int source = 0, paper = 0, defaultPaper = 5;
  int moire = 0, smoothing = 0, halftone = 0, threshold = 128, manualThreshold = 128;
  bool automatic = false, feederPresent = false, filmPresent = false;
  bool descreenAllowed = true, started = false, loaded = false;
  // Film settings (model 4 only): film kind index and the selected film type.
  int filmKind = 0;
  std::string filmTypeName;
  // What a save needs once the host's interface may be gone (library unload).
  std::string keyName;
  int model = 7;
};

// One entry of the film-type list: a film name and its type 1-4; built-in
// entries carry bit 0x8000.
struct FilmType {
  std::string name;
  uint32_t type = 0;
};
inline constexpr uint32_t kBuiltInFilm = 0x8000;
inline constexpr int kFilmModel = 4;

// Writes the page state to the user's device key (state.keyName); nothing
// before the state was loaded.
void SaveState(const PageState& state);
// The film-type list of the "NegativeTypes" subkey; false when it cannot be read.
bool LoadFilmTypes(const std::string& keyName, std::vector<FilmType>* types);
void SaveFilmTypes(const std::string& keyName, const std::vector<FilmType>& types);
// The 37 built-in film types of the string table.
std::vector<FilmType> BuiltInFilmTypes();

class PageController {
 public:
  PageController(imgport::ScannerInterface* scanner, PageState* state) : si_(scanner), state_(state) {}

  void SetUsMeasure(bool us) { usMeasure_ = us; }
  // WM_INITDIALOG; false when the page refresh failed and the start ended.
  bool Start();
  bool Refresh();
  int Model() const { return model_; }
  std::string DriverName() const { const char* n = si_->GetDriverName(); return n ? n : ""; }

  void OnSource(const std::string& name);
  void OnPaper(const std::string& name);
  void OnHalftone(const std::string& name);
  void OnAutomatic();
  void OnManual();
  void OnDescreen(bool checked);
  void OnDescreenAllowed(bool allowed);
  void OnCommand1042();
  // Track bar notification code 0-8 and position.
  void OnScroll(int code, int position);

  // Threshold edit: focus in clears the pending flag, a change or a key sets it.
  void OnEditFocusIn() { editPending_ = false; }
  void OnEditChanged() { editPending_ = true; }
  // Focus lost: accepts when pending. Returns the warning text when refused.
  std::string OnEditFocusOut(const std::string& text);
  // Tab and Enter: the pending flag is set and the value accepted.
  std::string Accept(const std::string& text);

  // Diagnostics run (DeviceControl 4): 0 or the failure status; *text what to show.
  uint32_t RunDiagnostics(std::string* text);
  // Calibration (DeviceControl 6): empty on success, else the box text;
  // *icon = top two bits of the status, *closeHost for the failure class 3.
  std::string Calibrate(int* icon, bool* closeHost);

  void Save() { SaveState(*state_); }
  const Controls& View() const { return view_; }
  const std::vector<std::string>& FilmKinds() const { return filmKinds_; }
  const std::vector<FilmType>& FilmTypes() const { return filmTypes_; }
  const PageState& State() const { return *state_; }

 private:
  void Load();
  void StartFilm();
  void FillPapers(int previousSource, bool atStart);
  void SendPaperSize();
  int32_t Current(int32_t id);
  void ShowThreshold(int value);
  void EnableThreshold(bool on);
  uint32_t Set(int32_t id, intptr_t value) { return si_->SetCapability(id, value); }

  imgport::ScannerInterface* si_;
  PageState* state_;
  Controls view_;
  bool usMeasure_ = false;
  int model_ = 7;
  int pendingStep_ = 0;
  bool editPending_ = false;
  uint8_t block_[64] = {};
  bool blockRead_ = false;
  std::vector<std::string> filmKinds_;
  std::vector<FilmType> filmTypes_;
};

// "Name;123" split at the first ";" (0 without one).
std::pair<std::string, int> SplitEntry(const std::string& entry);
// Wraps text to lines of at most `width` characters (UTF-8) at blanks, its own
// line breaks counting as blanks; longer words stay whole.
std::string WrapText(const std::string& text, size_t width);
// Width and length of a paper row for a model's table.
std::pair<int, int> PaperSize(int model, int row);
int ModelOfDeviceName(const std::string& name);

}  // namespace qlon::scanner::ui
