// TIFF files that ask for far more memory than their data can fill.
#include <tiffio.h>

#include <string>
#include <vector>

#include "Hostile.h"

namespace {

// A file of `stored` bytes of strip data whose one strip (or tile) declares
// width x height pixels of colour that libtiff converts through its RGBA
// interface, decoding the whole strip into a buffer of its own first.
std::string colourBomb(const std::string& path, uint16_t compression, uint16_t photometric, bool tiled) {
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    const uint32_t width = 8192, height = tiled ? 8192 : 32768;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    if (photometric == PHOTOMETRIC_YCBCR) TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
    if (tiled) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, width);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, height);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, height);
    }
    std::vector<uint8_t> data(16 << 10);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + 7);
    if (tiled)
        TIFFWriteRawTile(tif, 0, data.data(), static_cast<tmsize_t>(data.size()));
    else
        TIFFWriteRawStrip(tif, 0, data.data(), static_cast<tmsize_t>(data.size()));
    TIFFWriteDirectory(tif);
    TIFFClose(tif);
    return path;
}

}  // namespace

// 16 KB of LZW data for one strip of 8192 x 32768 subsampled YCbCr pixels:
// 384 MB of packed samples and a 1 GB raster before a byte is decoded.
IX_HOSTILE(TiffYCbCrStripBomb) {
    return {colourBomb(dir + "/ycbcr.tif", COMPRESSION_LZW, PHOTOMETRIC_YCBCR, false), "exceeds the limit", 128};
}

// The same as one tile.
IX_HOSTILE(TiffYCbCrTileBomb) {
    const std::string path = colourBomb(dir + "/ycbcrtile.tif", COMPRESSION_ADOBE_DEFLATE, PHOTOMETRIC_YCBCR, true);
    return {path, "exceeds the limit", 128};
}

// Old-style JPEG, which libtiff decodes only through its RGBA interface.
IX_HOSTILE(TiffOldJpegStripBomb) {
    return {colourBomb(dir + "/ojpeg.tif", COMPRESSION_OJPEG, PHOTOMETRIC_YCBCR, false), "exceeds the limit", 128};
}
