#include "UiStrings.h"

#include <map>

namespace qlon::scanner::ui {

const char* UiString(int id) {
  static const std::map<int, const char*> table = {
      {1, "Agfa HDC 100;1"}, {2, "Agfa Optima 100;1"}, {3, "Agfa XRS 100;3"},
      {4, "Agfa XRS 400;3"}, {5, "Agfa HDC 400;4"}, {6, "Agfa Optima 400;4"},
      {7, "Agfa Portrait 160;4"}, {8, "Agfa XRG 100;4"}, {9, "Fuji 160S (4x5);1"},
      {10, "Fuji 160L (4x5);1"}, {11, "Fuji G100;1"}, {12, "Fuji HG100;1"},
      {13, "Fuji NPS160;1"}, {14, "Fuji G200;2"}, {15, "Fuji G400;2"},
      {16, "Fuji Reala;2"}, {17, "Fuji HG400;3"}, {18, "Kodak Ektar 100;1"},
      {19, "Kodak PMC 400;1"}, {20, "Kodak Gold 100;2"}, {21, "Kodak PJA 100;2"},
      {22, "Kodak PJB 400;2"}, {23, "Kodak PJC 1600;2"}, {24, "Kodak PJZ 200;2"},
      {25, "Kodak Ektar 25;3"}, {26, "Kodak Gold 400;3"}, {27, "Kodak VPH 400;3"},
      {28, "Kodak VPL 120;3"}, {29, "Kodak VPS 160;3"}, {30, "Konica 160S (4x5);1"},
      {31, "Konica 160L (4x5);1"}, {32, "Konica GXM 100;1"}, {33, "Konica LV 100;3"},
      {34, "Konica LV 400;3"}, {35, "Konica XG 400;3"}, {36, "Konica DD 100;4"},
      {37, "Konica DD 400;4"},
      {57, "Color Positives"}, {58, "Color Negatives"}, {59, "Black and White Positives"}, {60, "Black and White Negatives"},
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
