// The one table that maps the first bytes of a file to its image reader.
// Adding a format: its folder, and a line here.
#include "Formats.h"

namespace ixv::formats {

const std::vector<ImageFormat>& imageFormats() {
    static const std::vector<ImageFormat> formats = {
        {"PNG", png::matches, png::read},
        {"JPEG", jpeg::matches, jpeg::read},
        {"TIFF", tiff::matches, tiff::read},
        {"BMP", bmp::matches, bmp::read},
        {"PNM", pnm::matches, pnm::read},
    };
    return formats;
}

const ImageFormat* imageFormatOf(Bytes file) {
    for (const ImageFormat& format : imageFormats())
        if (format.matches(file)) return &format;
    return nullptr;
}

}  // namespace ixv::formats
