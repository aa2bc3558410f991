#pragma once
// A GIF89a writer: one image, a global colour table padded to a power of two,
// a graphic-control extension when the table has a transparent entry, and
// LZW-compressed pixels in sub-blocks of at most 255 bytes.
//
//   "GIF89a" | screen: width, height (16-bit LE), flags 0xF0|bits-1, bg 0, aspect 0
//   | colour table (3 bytes per entry) | [21 F9 04 flags delay(2) index 00]
//   | 2C left top width height (16-bit LE) flags 00 | min code size | sub-blocks | 00 | 3B
//
// The compressor keeps its string table in a hash map, so it runs in time
// linear in the pixels; it clears the table when 4096 codes are used.
#include <QImage>
#include <string>

namespace qlon::zoom {

// The GIF bytes of an 8-bit image (Format_Indexed8); empty for any other
// format or for a size beyond 65535.
std::string EncodeGif(const QImage& indexed);

}  // namespace qlon::zoom
