#pragma once
// The program's shared 256-colour table, read by the thumbnail dialog as
// the target of its 8-bit pictures. Displays have no palettes any more:
// the table is the one of the viewers' recipe (a 6 x 6 x 6 cube and greys
// among the system colours), made once at first use.
#include <vector>

#include <QRgb>

namespace qlon {

const std::vector<QRgb>& ProgramPalette();

}  // namespace qlon
