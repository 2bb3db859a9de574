// Small TIFF files of every kind the reader handles, written by libtiff.
#include <tiffio.h>

#include <cstring>
#include <vector>

#include "Seeds.h"

namespace {

struct Kind {
    uint32_t width, height;
    uint16_t samples, bits, format, photometric, planar, compression;
    uint32_t tile;   // 0: strips of 3 rows
    uint16_t extra;  // EXTRASAMPLE_* of the last sample, or 0xffff for none
    const char* mode;
};

ixseeds::Bytes write(const Kind& k, int pages = 1) {
    return ixseeds::bytesWrittenBy([&](const std::string& path) {
        TIFF* tif = TIFFOpen(path.c_str(), k.mode);
        if (!tif) return;
        for (int page = 0; page < pages; ++page) {
            TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, k.width);
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, k.height);
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, k.samples);
            TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, k.bits);
            TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, k.format);
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, k.photometric);
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, k.planar);
            TIFFSetField(tif, TIFFTAG_COMPRESSION, k.compression);
            if (k.extra != 0xffff) {
                const uint16_t extra = k.extra;
                TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
            }
            std::vector<uint16_t> map(3 << (k.bits <= 8 ? k.bits : 0));
            if (k.photometric == PHOTOMETRIC_PALETTE) {
                for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint16_t>(i * 4099);
                const size_t n = map.size() / 3;
                TIFFSetField(tif, TIFFTAG_COLORMAP, map.data(), map.data() + n, map.data() + 2 * n);
            }
            if (k.compression == COMPRESSION_JPEG && k.photometric == PHOTOMETRIC_YCBCR)
                TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
            else if (k.photometric == PHOTOMETRIC_YCBCR)
                TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 2, 2);
            const bool separate = k.planar == PLANARCONFIG_SEPARATE;
            const int planes = separate ? k.samples : 1;
            std::vector<uint8_t> data(1 << 16);
            for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 7 + i / 13 + page);
            if (k.tile) {
                TIFFSetField(tif, TIFFTAG_TILEWIDTH, k.tile);
                TIFFSetField(tif, TIFFTAG_TILELENGTH, k.tile);
                for (int p = 0; p < planes; ++p)
                    for (uint32_t y = 0; y < k.height; y += k.tile)
                        for (uint32_t x = 0; x < k.width; x += k.tile)
                            TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x, y, 0, p), data.data(), TIFFTileSize(tif));
            } else {
                TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, k.photometric == PHOTOMETRIC_YCBCR ? 16 : 3);
                for (int p = 0; p < planes; ++p)
                    for (uint32_t s = 0; s < TIFFNumberOfStrips(tif) / planes; ++s)
                        TIFFWriteEncodedStrip(
                            tif, TIFFComputeStrip(tif, s * (k.photometric == PHOTOMETRIC_YCBCR ? 16 : 3), p),
                            data.data(), TIFFStripSize(tif));
            }
            TIFFWriteDirectory(tif);
        }
        TIFFClose(tif);
    });
}

}  // namespace

IX_SEEDS(tiff) {
    constexpr uint16_t U = SAMPLEFORMAT_UINT, S = SAMPLEFORMAT_INT, F = SAMPLEFORMAT_IEEEFP;
    constexpr uint16_t C = PLANARCONFIG_CONTIG, P = PLANARCONFIG_SEPARATE, none = 0xffff;
    const Kind kinds[] = {
        {9, 7, 1, 8, U, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_NONE, 0, none, "w"},
        {9, 7, 1, 16, U, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_LZW, 0, none, "wb"},
        {9, 7, 3, 8, U, PHOTOMETRIC_RGB, C, COMPRESSION_ADOBE_DEFLATE, 0, none, "w"},
        {9, 7, 4, 8, U, PHOTOMETRIC_RGB, P, COMPRESSION_PACKBITS, 0, EXTRASAMPLE_UNASSALPHA, "w"},
        {40, 20, 3, 16, U, PHOTOMETRIC_RGB, C, COMPRESSION_LZW, 16, none, "w"},
        {40, 20, 2, 8, U, PHOTOMETRIC_MINISBLACK, P, COMPRESSION_NONE, 16, EXTRASAMPLE_ASSOCALPHA, "w8"},
        {9, 7, 1, 32, F, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_NONE, 0, none, "w"},
        {9, 7, 1, 64, F, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_ADOBE_DEFLATE, 0, none, "wb"},
        {9, 7, 1, 16, F, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_NONE, 0, none, "w"},
        {9, 7, 1, 16, S, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_NONE, 0, none, "w"},
        {9, 7, 1, 32, S, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_NONE, 0, none, "w"},
        {9, 7, 1, 32, U, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_NONE, 0, none, "w"},
        {9, 7, 1, 8, S, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_NONE, 0, none, "w"},
        {17, 7, 1, 1, U, PHOTOMETRIC_MINISWHITE, C, COMPRESSION_CCITTFAX4, 0, none, "w"},
        {17, 7, 1, 1, U, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_CCITTFAX3, 0, none, "w"},
        {17, 7, 1, 4, U, PHOTOMETRIC_PALETTE, C, COMPRESSION_LZW, 0, none, "w"},
        {9, 7, 1, 8, U, PHOTOMETRIC_PALETTE, C, COMPRESSION_NONE, 0, none, "w"},
        {9, 7, 1, 2, U, PHOTOMETRIC_MINISWHITE, C, COMPRESSION_NONE, 0, none, "w"},
        {32, 32, 3, 8, U, PHOTOMETRIC_YCBCR, C, COMPRESSION_JPEG, 0, none, "w"},
        {32, 32, 3, 8, U, PHOTOMETRIC_YCBCR, C, COMPRESSION_NONE, 0, none, "w"},
        {32, 32, 1, 8, U, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_JPEG, 16, none, "w"},
        {9, 7, 4, 8, U, PHOTOMETRIC_SEPARATED, C, COMPRESSION_ZSTD, 0, none, "w"},
        {9, 7, 1, 8, U, PHOTOMETRIC_MINISBLACK, C, COMPRESSION_LZMA, 0, none, "w"},
    };
    for (const Kind& k : kinds) {
        const ixseeds::Bytes bytes = write(k);
        if (!bytes.empty()) add(bytes);
    }
    add(write(kinds[0], 3));
    add(write(kinds[4], 2));
}
