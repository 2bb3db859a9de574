// DXF output of XLD contours and polygons: AutoCAD R12 (AC1009) ASCII, one
// POLYLINE per object. The layout is described in docs/formats.md. The format
// is only written; the operators check the objects' class before writing.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::dxf {

// Writes each object, a contour or a polygon, as a POLYLINE with one VERTEX
// per point (x = column, y = row, z = 0); error 5279 for any other class.
void writeObjects(const std::vector<IconicPtr>& objects, FileSink& sink);

}  // namespace ixv::formats::dxf
