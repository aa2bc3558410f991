#pragma once
// Binds the optional outside library zoom (scaling, 8-bit reduction, GIF
// writing) on first use, from the program's folder. Missing entry points stay
// null; callers must check them (the page picture and the thumbnails do
// without zoom).
#include <string>

#include "Zoom.h"

namespace qlon::viewer {

struct ZoomEntryPoints {
  bool Loaded = false;
  StretchFilterDIBProc StretchFilterDIB = nullptr;
  ConvertDIBProc ConvertDIB = nullptr;
  SaveToGIFProc SaveToGIF = nullptr;
};

const ZoomEntryPoints& Zoom();
// Binds again from another folder (empty: the program's folder); for tests.
void RebindZoom(const std::string& folder);

}  // namespace qlon::viewer
