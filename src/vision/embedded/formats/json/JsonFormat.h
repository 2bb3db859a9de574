// JSON dictionary files: recognising, reading and writing.
//
// Objects become dictionaries with string keys in document order (a repeated
// key: the last value wins, at the first key's place); arrays become
// dictionaries with the integer keys 0..n-1 or, with "convert_json_arrays_to"
// "tuple", tuples. Writing is the inverse. docs/formats.md has the mapping
// both ways, the options and the limits.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::json {

// An optional UTF-8 byte order mark and JSON whitespace, then '{' or '['.
bool matches(const uint8_t* head, size_t size);

// Reads a dictionary with ReadDict's generic parameters; "Invalid JSON: <what>
// at line L, column C" (error 5280) for a malformed file.
HalconCpp::HHandle readHandle(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                              const HalconCpp::HTuple& values);

// Writes a dictionary as JSON, with WriteDict's generic parameters.
void writeHandle(const HalconCpp::HHandle& handle, FileSink& sink, const HalconCpp::HTuple& names,
                 const HalconCpp::HTuple& values);

// "line L, column C" of a byte offset in `text`: lines counted from 1 at each
// '\n', columns from 1 in characters (UTF-8 sequences count once).
std::string lineColumn(const char* text, size_t offset);

}  // namespace ixv::formats::json
