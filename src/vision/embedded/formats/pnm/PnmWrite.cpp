// PNM writing: raw PGM (P5) for 1 channel, raw PPM (P6) for 3 channels
// (channel 1 red), whichever of "pnm", "pgm" and "ppm" is asked for. Byte
// images get the maximum value 255, uint2 images 65535 with big-endian
// samples, so that reading gives the same pixel type back. PNM has no alpha:
// pixels outside the domain hold the fill value. The format takes no options;
// bitmaps (PBM) are not written.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "formats/pnm/PnmFormat.h"

namespace ixv::formats::pnm {

void writeImage(const Image& image, const std::string& format, double fill, FileSink& sink) {
    const size_t begin = std::min(format.find_first_not_of(' '), format.size());  // as WriteImage reads the name
    if (::strncasecmp(format.c_str() + begin, "pbm", 3) == 0 && (format.size() == begin + 3 || format[begin + 3] == ' '))
        raiseParValue("write_image", 2, "'pbm': bitmaps are not written; use pnm, pgm or ppm");
    refuseOptions(format);
    const size_t channels = image.channelCount();
    const bool wide = image.type() == PixelType::UInt2;
    if ((image.type() != PixelType::Byte && !wide) || (channels != 1 && channels != 3))
        raiseCannotWrite(image, "PNM takes byte or uint2 images of 1 or 3 channels");
    const std::string header = std::string(channels == 1 ? "P5\n" : "P6\n") + std::to_string(image.width()) + " " +
                               std::to_string(image.height()) + "\n" + (wide ? "65535" : "255") + "\n";
    sink.write(header.data(), header.size());
    ImageRows rows(image, fill);
    std::vector<uint8_t> bigEndian(wide ? rows.rowBytes() : 0);
    for (int64_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = rows.row(y);
        if (wide) {
            for (size_t i = 0; i < bigEndian.size(); i += 2) {
                uint16_t v;
                std::memcpy(&v, row + i, 2);
                bigEndian[i] = static_cast<uint8_t>(v >> 8);
                bigEndian[i + 1] = static_cast<uint8_t>(v);
            }
            row = bigEndian.data();
        }
        sink.write(row, rows.rowBytes());
    }
}

}  // namespace ixv::formats::pnm
