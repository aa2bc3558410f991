#pragma once
// Free routines shared by every part of the offline browser, one header per
// concern; include the one a unit needs, or this one for all of them:
//
//   UtilsStream.h    the exceptions, and the binary stream primitives and
//                    little-endian byte helpers of every file format
//   UtilsText.h      texts (UTF-8 prefixes, masks, splitting, words), and
//                    the texts of sizes, HTTP statuses and dates
//   UtilsFile.h      files, folders, the shell and message boxes
//   UtilsGeometry.h  rectangles, list boxes, text fitting and shell icons,
//                    behind small interfaces (the engine opens no window)
//   UtilsInstance.h  the single running instance and the hand-over of a
//                    second one's command line
#include "UtilsFile.h"
#include "UtilsGeometry.h"
#include "UtilsInstance.h"
#include "UtilsStream.h"
#include "UtilsText.h"
