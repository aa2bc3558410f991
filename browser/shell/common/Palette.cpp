#include "Palette.h"

#include "HTMLUn2.h"

namespace qlon {

const std::vector<QRgb>& ProgramPalette() {
  static const std::vector<QRgb> palette = viewer::SharedPaletteTable();
  return palette;
}

}  // namespace qlon
