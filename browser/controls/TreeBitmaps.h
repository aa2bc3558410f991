#pragma once
// The tree's shared picture strips, drawn once on first use. Their layout
// is fixed because trees address cells by number:
//   buttons  7 cells of 18x18: 0 expanded button with the line going on,
//            1 collapsed button with the line going on, 2 leaf tee,
//            3 leaf corner (last child), 4 vertical line, 5 expanded and
//            6 collapsed button of a last child; magenta transparent.
//   checks   6 columns x 4 rows of 16x16: column = check state 0..2, plus
//            3 for a disabled node; row = check style; silver transparent.
//   folders  6 columns x 17 rows of 16x16: row = the node's image, column
//            0 normal, 1 on the current row, 2 disabled, 3..5 the same open;
//            magenta transparent.
// File-type icons come from the desktop's icon theme, with a drawn page as
// the fallback so that headless runs draw (and measure) the same.
#include <QPixmap>
#include <QString>

#include "Gdi.h"

namespace qlon::controls {

const ImageStrip& TreeButtonStrip();
const ImageStrip& TreeCheckStrip();
const ImageStrip& TreeFolderStrip();

// 16x16 small icon of a file's type; selected gives the selected look.
QPixmap FileTypeIcon(const QString& fileName, bool selected);
// 16x16 icon of the program the desktop opens files of that extension with.
QPixmap AssociatedProgramIcon(const QString& extension, bool selected);
// The name as the icon lookup sees it: lower case, cut after ".exe".
QString FileIconKey(const QString& fileName);

}  // namespace qlon::controls
