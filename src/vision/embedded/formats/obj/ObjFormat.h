// Wavefront OBJ, parsed with tinyobjloader from the file's bytes in memory
// (the library never opens a path itself, material libraries included).
// "v" lines give the points, "f" lines the faces, kept as triangles or
// polygons by the rule of Model3dRead.h (never triangulated). Normals ("vn")
// become the points' normals when the faces give every point one; otherwise
// the model has none. Texture coordinates, lines, groups and materials are
// ignored. OBJ has no magic: files are recognised by their suffix.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::obj {

HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);

}  // namespace ixv::formats::obj
