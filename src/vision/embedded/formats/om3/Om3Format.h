// The embedded 3D object model file (.om3): a magic and version, then one 3D
// object model block (formats/hdict/Model3dBlock.h), specified in
// docs/formats.md ("3D object model file (.om3)"). It holds every field of a
// model, so writing and reading give the same model.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::om3 {

bool matches(const uint8_t* head, size_t size);
HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);
void writeHandle(const HalconCpp::HHandle& model, FileSink& sink, const HalconCpp::HTuple& names,
                 const HalconCpp::HTuple& values);

}  // namespace ixv::formats::om3
