// The block that stores one 3D object model, every field of it: points,
// normals, triangles, polygons, attributes and the primitive type. Dictionary
// files hold it after their model tag; a model file can hold it whole. The
// layout is in docs/formats.md ("3D object model block").
#pragma once

#include <memory>

#include "formats/hdict/Binary.h"
#include "tools/ObjectModel3d.h"

namespace ixv::formats::model3d {

void write(const ObjectModel3d& model, BinaryOut& out, const char* proc);
// Reads one block, checking every count against the limits and the bytes left
// and every point index against the point count.
std::shared_ptr<ObjectModel3d> read(BinaryIn& in);

}  // namespace ixv::formats::model3d
