// Files that load, whose summaries once went wrong: a full domain of 2^28 rows
// materialised as runs, and lines so long that their texts overflowed.
#include <tiffio.h>

#include "Hostile.h"
#include "ObjectFileWriter.h"

using namespace ixtest::hobj;

IX_HOSTILE(ImageOfATallFullDomain) {
    const std::string path = dir + "/tall.tif";
    const uint32_t height = uint32_t{1} << 28, rowsPerStrip = uint32_t{1} << 20;
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, 1);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    std::vector<uint8_t> strip(rowsPerStrip, 7);
    for (uint32_t s = 0; s < height / rowsPerStrip; ++s)
        TIFFWriteEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(strip.size()));
    TIFFClose(tif);
    // The pixels themselves take 256 MB; their domain must take nothing.
    return {path, "", 400};
}

// A contour, a polygon and a parallel (rows then columns of each line) far outside any image.
IX_HOSTILE(LinesFarOutside) {
    const Bytes parallel = concat(polyline({0, 1e300, 1e300, -1e300}), polyline({1e300, 2, -1e300, 1e300}));
    return {ixhostile::writeFile(dir, "far.hobj", file(3, {{3, polyline({0, 1e300, 1e300, -1e300})},
                                                          {4, polyline({0, 1e300, 5e299, 1e300, -1e300, 3})}, {5, parallel}})),
            "", 64};
}
