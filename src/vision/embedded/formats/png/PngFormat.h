// PNG files: recognising and reading them.
#pragma once

#include "formats/Formats.h"

namespace ixv::formats::png {

bool matches(const uint8_t* head, size_t size);
IconicPtr readImage(const ByteSource& file, Budget& budget);

}  // namespace ixv::formats::png
