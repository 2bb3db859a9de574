// The embedded dictionary file (.hdict), specified byte for byte in
// docs/formats.md: a dictionary with string and integer keys, tuples, iconic
// objects and nested handles (dictionaries, matrices, 3D object models).
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::hdict {

bool matches(const uint8_t* head, size_t size);
// The dictionary of a file; the generic parameters (JSON's) do not apply.
HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);
// Writes a dictionary; "raise_error_if_content_not_serializable" = "false"
// writes a handle it cannot hold as a left-out handle instead of raising 2455.
void writeHandle(const HalconCpp::HHandle& dict, FileSink& sink, const HalconCpp::HTuple& names,
                 const HalconCpp::HTuple& values);
// The file's bytes for a dictionary.
std::vector<uint8_t> encode(const HalconCpp::HHandle& dict, bool raiseIfNotSerializable = true);

}  // namespace ixv::formats::hdict
