// The one table of the embedded library's file formats. Adding a format: its
// folder, and a line here.
#include <strings.h>

#include "formats/Formats.h"
#include "formats/bmp/BmpFormat.h"
#include "formats/hobj/HobjFormat.h"
#include "formats/jpeg/JpegFormat.h"
#include "formats/png/PngFormat.h"
#include "formats/pnm/PnmFormat.h"
#include "formats/tiff/TiffFormat.h"

namespace ixv::formats {

const std::vector<Format>& formats() {
    using H = Holds;
    // Expansion: deflate's 1032:1 times eight for one-bit samples widened to
    // bytes (PNG); 2048 pixels of three bytes per byte (JPEG); any codec TIFF
    // decodes, fax included (TIFF); RLE runs (BMP); one-bit samples and ASCII
    // (PNM); record overhead of small objects (object files).
    // clang-format off
    static const std::vector<Format> table = {
        // name     suffixes           holds             expansion  matches         readImage        readObjects
        {"PNG",    "png",             H::Images,        Limits::inflateRatio * 8,      png::matches,   png::readImage},
        {"JPEG",   "jpg jpeg",        H::Images,        6144,      jpeg::matches,  jpeg::readImage},
        {"TIFF",   "tif tiff",        H::Images,        65536,     tiff::matches,  tiff::readImage},
        {"BMP",    "bmp",             H::Images,        1024,      bmp::matches,   bmp::readImage},
        {"PNM",    "pnm pgm ppm pbm", H::Images,        64,        pnm::matches,   pnm::readImage},
        {"object", "hobj",            H::IconicObjects, 64,        hobj::matches,  hobj::readImage, hobj::readObjects,
         nullptr, nullptr, hobj::writeObjects},
    };
    // clang-format on
    return table;
}

bool Format::hasSuffix(const std::string& suffix) const {
    const char* at = suffixes;
    while (*at) {
        const char* end = at;
        while (*end && *end != ' ') ++end;
        if (static_cast<size_t>(end - at) == suffix.size() && ::strncasecmp(at, suffix.c_str(), suffix.size()) == 0)
            return true;
        at = *end ? end + 1 : end;
    }
    return false;
}

const Format* formatOf(const uint8_t* head, size_t size) {
    for (const Format& format : formats())
        if (format.matches && format.matches(head, size)) return &format;
    return nullptr;
}

}  // namespace ixv::formats
