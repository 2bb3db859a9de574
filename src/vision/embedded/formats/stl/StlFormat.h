// STL, ASCII ("solid" ... "facet normal" / "outer loop" / three "vertex" lines)
// and binary (an 80-byte header, a u32 triangle count, 50 bytes per
// triangle). A file is binary when its size is exactly 84 + 50 × its count,
// whatever its header says (binary files often begin with "solid" too); else
// it must be ASCII. Points are not merged: each triangle has three points of
// its own, in file order, and the facet normal becomes the normal of its three
// points. STL has no magic: files are recognised by their suffix.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::stl {

HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);

}  // namespace ixv::formats::stl
