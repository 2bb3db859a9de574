// TIFF files for the tests and the fuzz seeds, written by libtiff itself: each
// page described by its tags and a function giving every sample's value.
#pragma once

#include <tiffio.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace ixtest::tiff {

using Value = std::function<double(uint32_t x, uint32_t y, int sample)>;

struct Tags {
    uint32_t width, height;
    uint16_t samples = 1, bits = 8, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE, predictor = 0;
    uint16_t subsampleX = 1, subsampleY = 1;                   // YCbCr chroma subsampling
    std::vector<uint16_t> extras, colormap;                    // colour map: all red entries, then green, then blue
    uint32_t tileWidth = 0, tileLength = 0, rowsPerStrip = 0;  // 0, 0, 0: libtiff's strips
    std::vector<uint8_t> rawData;                              // the first strip or tile as stored, and no other

    // clang-format off
    Tags(uint32_t w, uint32_t h) : width(w), height(h) {}
    Tags& spp(uint16_t v) { samples = v; return *this; }
    Tags& bps(uint16_t v, uint16_t f = SAMPLEFORMAT_UINT) { bits = v; format = f; return *this; }
    Tags& photo(uint16_t v) { photometric = v; return *this; }
    Tags& rgb() { samples = 3; photometric = PHOTOMETRIC_RGB; return *this; }
    Tags& separate() { planar = PLANARCONFIG_SEPARATE; return *this; }
    Tags& compress(uint16_t v, uint16_t p = 0) { compression = v; predictor = p; return *this; }
    Tags& extra(std::vector<uint16_t> v) { extras = std::move(v); return *this; }
    Tags& tiles(uint32_t w, uint32_t l) { tileWidth = w; tileLength = l; return *this; }
    Tags& strips(uint32_t rows) { rowsPerStrip = rows; return *this; }
    Tags& raw(std::vector<uint8_t> data) { rawData = std::move(data); return *this; }
    Tags& palette(std::vector<uint16_t> map) { photometric = PHOTOMETRIC_PALETTE; colormap = std::move(map); return *this; }
    // Subsampled YCbCr, written only as raw data: blocks of Y samples, then Cb and Cr.
    Tags& subsampled(uint16_t x, uint16_t y) {
        photometric = PHOTOMETRIC_YCBCR; samples = 3; subsampleX = x; subsampleY = y; return *this;
    }
    // clang-format on
};

using Page = std::pair<Tags, Value>;

// The samples as the file stores them: rows of interleaved samples, or one
// plane after the other, packed to the bits per sample (host order, as libtiff takes them).
inline std::vector<uint8_t> encode(const Tags& t, const Value& f) {
    const int planes = t.planar == PLANARCONFIG_SEPARATE ? t.samples : 1, perPixel = t.samples / planes;
    const size_t perRow = size_t{t.width} * perPixel, rowBytes = (perRow * t.bits + 7) / 8;
    std::vector<uint8_t> out(rowBytes * t.height * planes, 0);
    for (size_t i = 0; i < perRow * t.height * planes; ++i) {
        const size_t row = i / perRow, k = i % perRow;  // k: the sample in the row
        const double v = f(static_cast<uint32_t>(k / perPixel), static_cast<uint32_t>(row % t.height),
                           static_cast<int>(planes > 1 ? row / t.height : k % perPixel));
        uint8_t* at = out.data() + row * rowBytes;
        if (t.bits < 8) {
            at[k * t.bits / 8] |= static_cast<uint8_t>(static_cast<unsigned>(v) << (8 - t.bits - k * t.bits % 8));
        } else if (t.format == SAMPLEFORMAT_IEEEFP && t.bits > 16) {
            const float f32 = static_cast<float>(v);
            t.bits == 32 ? std::memcpy(at + 4 * k, &f32, 4) : std::memcpy(at + 8 * k, &v, 8);
        } else {  // integers, and the bits of half floats
            const int64_t n = static_cast<int64_t>(v);
            std::memcpy(at + k * t.bits / 8, &n, t.bits / 8);  // little-endian host
        }
    }
    return out;
}

// Writes one page (directory); false when libtiff refuses it.
inline bool writePage(TIFF* tif, const Tags& t, const Value& f) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, t.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, t.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, t.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, t.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, t.format);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, t.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, t.planar);
    if (!TIFFSetField(tif, TIFFTAG_COMPRESSION, t.compression)) return false;
    if (t.predictor) TIFFSetField(tif, TIFFTAG_PREDICTOR, t.predictor);
    if (!t.extras.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(t.extras.size()), t.extras.data());
    const size_t n = t.colormap.size() / 3;
    if (n) TIFFSetField(tif, TIFFTAG_COLORMAP, t.colormap.data(), t.colormap.data() + n, t.colormap.data() + 2 * n);
    if (t.photometric == PHOTOMETRIC_YCBCR && t.compression == COMPRESSION_JPEG)
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);  // libjpeg converts our RGB rows
    else if (t.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, t.subsampleX, t.subsampleY);
    const bool separate = t.planar == PLANARCONFIG_SEPARATE;
    const int planes = separate ? t.samples : 1;
    if (t.tileWidth) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, t.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, t.tileLength);
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, t.rowsPerStrip        ? t.rowsPerStrip
                                                : t.rawData.empty() ? TIFFDefaultStripSize(tif, 0)
                                                                    : t.height);
    }
    if (!t.rawData.empty()) {
        auto* data = const_cast<uint8_t*>(t.rawData.data());
        if ((t.tileWidth ? TIFFWriteRawTile : TIFFWriteRawStrip)(tif, 0, data, tmsize_t(t.rawData.size())) < 0)
            return false;
    } else if (!t.tileWidth) {
        std::vector<uint8_t> data = encode(t, f);
        const size_t rowBytes = data.size() / t.height / planes;
        for (uint32_t row = 0; row < t.height * planes; ++row)
            if (TIFFWriteScanline(tif, &data[row * rowBytes], row % t.height, uint16_t(row / t.height)) < 0)
                return false;
    } else {
        Tags tile = separate ? Tags(t).spp(1) : t;  // a tile is a small image: encoded as one, zero beyond the edges
        tile.width = t.tileWidth, tile.height = t.tileLength, tile.planar = PLANARCONFIG_CONTIG;
        for (int p = 0; p < planes; ++p)
            for (uint32_t y0 = 0; y0 < t.height; y0 += t.tileLength)
                for (uint32_t x0 = 0; x0 < t.width; x0 += t.tileWidth) {
                    std::vector<uint8_t> data = encode(tile, [&](uint32_t x, uint32_t y, int s) {
                        return x0 + x < t.width && y0 + y < t.height ? f(x0 + x, y0 + y, separate ? p : s) : 0;
                    });
                    const uint32_t index = TIFFComputeTile(tif, x0, y0, 0, static_cast<uint16_t>(p));
                    if (TIFFWriteEncodedTile(tif, index, data.data(), static_cast<tmsize_t>(data.size())) < 0)
                        return false;
                }
    }
    return TIFFWriteDirectory(tif) != 0;
}

// The file of the pages, with libtiff's mode ("w"; "wb" big-endian; "w8" BigTIFF);
// empty when libtiff refuses any of it. libtiff's messages go to its default handlers.
inline std::vector<uint8_t> fileBytes(const std::vector<Page>& pages, const char* mode = "w") {
    char path[] = "/tmp/ixtiff_XXXXXX";
    ::close(::mkstemp(path));
    TIFF* tif = TIFFOpen(path, mode);
    bool ok = tif != nullptr;
    for (const auto& [tags, f] : pages) ok = ok && writePage(tif, tags, f);
    if (tif) TIFFClose(tif);
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes(std::istreambuf_iterator<char>(in), {});
    std::remove(path);
    return ok ? bytes : std::vector<uint8_t>();
}

}  // namespace ixtest::tiff
