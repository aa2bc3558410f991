#pragma once
// The reduction of a picture to an 8-bit one of at most 256 colours, for GIF
// files and the page pictures.
//
// A picture of at most 256 colours keeps them all, pixel for pixel. Beyond
// that the table holds first the picture's flat colours (a pixel equal to its
// right and lower neighbours belongs to a flat area), most used first, at most
// kMaxFlatEntries of them; a median cut over the remaining pixels fills the
// rest. A pixel whose colour is in the table keeps it exactly and takes no
// diffused error, so white stays white and a flat area is never dotted; the
// other pixels (photographs, smoothed edges) are dithered by error diffusion.
//
// With an alpha channel, a pixel under half opacity becomes the one
// transparent entry (qRgba(0, 0, 0, 0)); the others count as opaque.
#include <QImage>

namespace qlon::zoom {

inline constexpr int kMaxFlatEntries = 128;

// Format_Indexed8 (an Indexed8 source is returned as it is); null for a null
// source.
QImage ReduceTo256(const QImage &source);

}  // namespace qlon::zoom
