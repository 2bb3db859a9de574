// PLY (Stanford polygon files): ASCII, binary little and big endian.
//
// The vertex element gives the points (x, y, z), the normals (nx, ny, nz,
// when all three are present) and, for every other scalar property, a
// per-point attribute named as the property. The face element's list
// "vertex_indices" (or "vertex_index") gives the faces, as triangles or
// polygons by the rule of Model3dRead.h; its other scalar properties become
// per-face attributes. Other elements and list properties are skipped.
// Binary vertices without lists are read in chunks of whole records and
// converted one property at a time.
//
// The writer writes binary little-endian PLY: float x, y, z and normals,
// per-point attributes as double properties of the vertex element, then the
// triangles followed by the polygons as a face element (a "vertex_indices"
// list) with the per-face attributes as double properties.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::ply {

bool matches(const uint8_t* head, size_t size);
HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);
void writeHandle(const HalconCpp::HHandle& model, FileSink& sink, const HalconCpp::HTuple& names,
                 const HalconCpp::HTuple& values);

}  // namespace ixv::formats::ply
