// TIFF files: recognising, reading and writing them.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::tiff {

bool matches(const uint8_t* head, size_t size);
IconicPtr readImage(const ByteSource& file, Budget& budget);
// Writes `image` with the options of WriteImage's format argument (see the writer).
void writeImage(const Image& image, const std::string& format, double fill, FileSink& sink);

}  // namespace ixv::formats::tiff
