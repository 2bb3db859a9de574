// ONNX model files (.onnx): a ModelProto in protobuf's wire format, read by a
// reader of our own that walks the file piecewise and skips tensor payloads
// without reading them, so a model of gigabytes opens after reading a few
// kilobytes. docs/formats.md lists the fields read.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::onnx {

// A ModelProto that begins, as every ONNX writer writes it, with ir_version
// (field 1, varint) holding a value from 1 to 63 in one byte, followed by
// nothing or by the key of another ModelProto field with its wire type.
bool matches(const uint8_t* head, size_t size);

// The model's description as a DlModel tool; "Invalid ONNX file: <what> at
// offset N" (error 5280) for a truncated or malformed file. No generic
// parameters apply.
HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);

}  // namespace ixv::formats::onnx
