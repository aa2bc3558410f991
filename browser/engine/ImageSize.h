#pragma once
// Width and height of a saved image, taken from its header without decoding
// the picture. The capture gives every retrieved image record its size.
//
//   GIF   "GIF87a" / "GIF89a", then width and height, 16-bit little-endian.
//         Files 2048 or more pixels wide are not measured.
//   JPEG  FF D8, then segments FF <marker> [16-bit big-endian length, which
//         counts itself]. The first frame header (SOF0..SOF15 but DHT, JPG
//         and DAC) holds, after its length and the precision byte, the
//         height and the width, 16-bit big-endian. Fill bytes FF before a
//         marker are allowed; TEM and RST0..7 carry no length; a scan (SOS)
//         or the end (EOI) before any frame means there is no size to take.
//   BMP   "BM", a 14-byte file header, then the DIB header whose 32-bit size
//         says its kind: 12 (OS/2 1.x, 16-bit width and height) or 16 and
//         more (32-bit signed; a negative height is a top-down picture).
//   PNG   the signature, then the IHDR chunk first: width and height,
//         32-bit big-endian.
//   SVG   the root element "svg" within the file's first 64 KiB: its width
//         and height (plain numbers, px, or absolute units at 96 per inch);
//         where one is missing or relative (%, em), the viewBox gives it,
//         the other scaled to the box's proportions. Rounded to pixels.
//
// A missing, short, corrupt or other file gives false, never a size of 0.
#include <QSize>
#include <QString>

class QIODevice;

namespace qlon {

bool GetImageSize(const QString& file, QSize& size);
// The same from the current position of an open device.
bool GetImageSize(QIODevice& stream, QSize& size);

}  // namespace qlon
