// OFF (Object File Format) and its NOFF, COFF and CNOFF variants: a keyword,
// the counts of points, faces and edges, one point per line (x y z, then the
// normal with N, then the colour with C: three or four numbers kept as the
// per-point attributes "red", "green", "blue" and "alpha"), then one face per
// line (its point count and point indices; a face colour after them is
// ignored). Faces become triangles or polygons by the rule of Model3dRead.h.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::off {

bool matches(const uint8_t* head, size_t size);
HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);

}  // namespace ixv::formats::off
