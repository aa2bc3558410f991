#pragma once
// zoom: scales a picture, reduces it to 256 colours and writes it as a GIF.
// Loaded at run time by file name (kZoomFileName) from the program's folder;
// callers look the three entry points up by name and do without them when the
// library is missing. Pictures are QImage values the caller owns; results go
// into the image the caller hands in. Each function returns 1 on success, 0
// on failure (result left null).
class QImage;

extern "C" {

// The source rectangle (left, top, right, bottom, right and bottom excluded)
// scaled to width x height; filter 0 picks the nearest pixel, any other value
// smooths.
typedef int (*StretchFilterDIBProc)(const QImage* source, int left, int top, int right, int bottom, int width,
                                    int height, int filter, QImage* result);
// The picture at 8 bits per pixel (a colour table of at most 256 entries,
// flat areas kept exact: Quantize.h); other depths give 24 bits.
typedef int (*ConvertDIBProc)(const QImage* source, int bitsPerPixel, QImage* result);
// The picture written as a GIF89a file (reduced to 256 colours first when needed).
typedef int (*SaveToGIFProc)(const QImage* source, const char* fileName);

int StretchFilterDIB(const QImage* source, int left, int top, int right, int bottom, int width, int height,
                     int filter, QImage* result);
int ConvertDIB(const QImage* source, int bitsPerPixel, QImage* result);
int SaveToGIF(const QImage* source, const char* fileName);
}

inline constexpr const char* kZoomFileName = "zoom.so";
