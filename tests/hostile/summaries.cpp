// Files that load, whose summaries once went wrong: a full domain of 2^28 rows
// materialised as runs, and lines so long that their texts overflowed.
#include <tiffio.h>

#include <cstring>
#include <vector>

#include "Hostile.h"

namespace {

// An object file (docs/formats.md) with one record of `tag` holding the given polylines.
std::string objectFile(uint32_t tag, const std::vector<std::vector<double>>& lines) {
    std::string payload;
    const auto put = [&](std::string& out, const void* p, size_t n) { out.append(static_cast<const char*>(p), n); };
    for (const std::vector<double>& coordinates : lines) {  // rows then columns
        const uint64_t n = coordinates.size() / 2;
        put(payload, &n, 8);
        put(payload, coordinates.data(), coordinates.size() * 8);
    }
    std::string file("\x89IXOBJ\r\n", 8);
    const uint32_t header[] = {1, 1, tag, 0};
    put(file, header, sizeof header);
    const uint64_t size = payload.size();
    put(file, &size, 8);
    return file + payload;
}

}  // namespace

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

IX_HOSTILE(LinesFarOutside) {
    const std::vector<double> far = {0, 1e300, 1e300, -1e300};  // rows 0, 1e300; columns 1e300, -1e300
    std::string file = objectFile(3, {far});
    return {ixhostile::writeFile(dir, "far.hobj", file), "", 64};
}

IX_HOSTILE(PolygonFarOutside) {
    return {ixhostile::writeFile(dir, "far.hobj", objectFile(4, {{0, 1e300, 5e299, 1e300, -1e300, 3}})), "", 64};
}

IX_HOSTILE(ParallelFarOutside) {
    return {ixhostile::writeFile(dir, "far.hobj", objectFile(5, {{0, 1e300, 1e300, -1e300}, {1e300, 2, -1e300, 1e300}})), "",
            64};
}
