// The embedded object file (.hobj), specified byte for byte in docs/formats.md.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::hobj {

bool matches(const uint8_t* head, size_t size);
// Every object of the file, in stored order.
std::vector<IconicPtr> readObjects(const ByteSource& file, Budget& budget);
// The first image of a file that holds only images: what ReadImage accepts.
IconicPtr readImage(const ByteSource& file, Budget& budget);
void writeObjects(const std::vector<IconicPtr>& objects, FileSink& sink);
// WriteImage's "hobj": the image as an object file of one image, its domain
// and every pixel kept as they are (the fill value is not used); no options.
void writeImage(const Image& image, const std::string& format, double fill, FileSink& sink);
// The file's bytes for these objects.
std::vector<uint8_t> encode(const std::vector<IconicPtr>& objects);

}  // namespace ixv::formats::hobj
