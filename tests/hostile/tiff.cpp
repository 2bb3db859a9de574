// TIFF files that ask for far more memory than their data can fill.
#include "Hostile.h"
#include "TiffWriter.h"

namespace {

// 16 kB of data for one strip (or tile) of 8192 x 32768 (8192 x 8192) pixels
// of subsampled YCbCr, which libtiff converts through its RGBA interface,
// decoding the whole strip into a buffer of its own first.
std::vector<uint8_t> colourBomb(uint16_t compression, bool tiled) {
    std::vector<uint8_t> data(16 << 10);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    ixtest::tiff::Tags tags = ixtest::tiff::Tags(8192, tiled ? 8192 : 32768).subsampled(2, 2).compress(compression);
    if (tiled) tags.tiles(8192, 8192);
    return ixtest::tiff::fileBytes({{tags.raw(data), nullptr}});
}

}  // namespace

// 384 MB of packed samples and a 1 GB raster before a byte is decoded.
IX_HOSTILE(TiffYCbCrStripBomb) {
    return {ixhostile::writeFile(dir, "ycbcr.tif", colourBomb(COMPRESSION_LZW, false)), "exceeds the limit", 128};
}

// The same as one tile.
IX_HOSTILE(TiffYCbCrTileBomb) {
    return {ixhostile::writeFile(dir, "ycbcrtile.tif", colourBomb(COMPRESSION_ADOBE_DEFLATE, true)), "exceeds the limit", 128};
}

// Old-style JPEG, which libtiff decodes only through its RGBA interface.
IX_HOSTILE(TiffOldJpegStripBomb) {
    return {ixhostile::writeFile(dir, "ojpeg.tif", colourBomb(COMPRESSION_OJPEG, false)), "exceeds the limit", 128};
}
