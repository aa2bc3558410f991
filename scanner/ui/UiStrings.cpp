#include "UiStrings.h"

#include <map>

namespace qlon::scanner::ui {

const char* UiString(int id) {
  static const std::map<int, const char*> table = {
      {39, "Platen;7"}, {40, "Document Feeder;6"}, {41, "Film Adapter;8"},
      {48, "Threshold"}, {49, "Coarse"}, {50, "Diagonal Fine"}, {51, "Dither"}, {52, "Horizontal Fine"},
      {53, "Horizontal Line"}, {54, "Medium"}, {55, "Vertical Line"}, {56, "Vertical Line (Detail)"},
      {71, "FAILED -\n%s"}, {72, "Diagnostics Passed."}, {73, "Testing Scanner..."},
      {83, "Selects Image Source"}, {84, "Specifies Paper Size\nPaper Size Selection"},
      {85, "Performs scanner diagnostics\nScanner Diagnostics"}, {87, "Selects Halftone Pattern"},
      {88, "Automatic Threshold Adjustment"}, {89, "Manual Threshold Adjustment"},
      {90, "Specifies threshold gradient\nThreshold Gradient"},
      {91, "Specifies threshold gradient\nThreshold Gradient"}, {94, "Vellumor"}, {95, "%s Diagnostics :"},
      {97, "pxui.hlp"}, {98, "Invalid numeric value. Please enter valid number."},
      {99, "This scanner has no automatic threshold."},
      {113, "LPT1"}, {114, "LPT2"}, {115, "LPT3"}, {116, "LPT4"},
      {120, "Adjusts scanner calibration\nScanner Calibration"}, {121, "Pixavon ZU110V"},
      {122, "Pixavon ZE210R/EV216A"},
      {200, "Business Card"}, {201, "Statement"}, {202, "B5"}, {203, "Executive"}, {204, "Letter"},
      {205, "A4"}, {206, "Full Platen"}, {207, "Legal"}, {208, "Full FAU Platen"},
      {209, "Reduces moire\nMoire Reduction"},
  };
  auto it = table.find(id);
  return it == table.end() ? "" : it->second;
}

}  // namespace qlon::scanner::ui
