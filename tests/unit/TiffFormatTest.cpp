// The TIFF reader on files written by libtiff itself and read through ReadImage:
// sample formats, layouts, compressions, alpha, colour, pages, and broken files.
#include <gtest/gtest.h>
#include <tiffio.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "TestFiles.h"
#include "formats/tiff/TiffFormat.h"

using namespace HalconCpp;

namespace {

using Value = std::function<double(uint32_t x, uint32_t y, int sample)>;

struct Tags {
    uint32_t width, height;
    uint16_t samples = 1, bits = 8, format = SAMPLEFORMAT_UINT, photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE, predictor = 0;
    std::vector<uint16_t> extras, colormap;                    // colour map: all red entries, then green, then blue
    uint32_t tileWidth = 0, tileLength = 0, rowsPerStrip = 0;  // 0, 0, 0: libtiff's strips

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
    Tags& palette(std::vector<uint16_t> map) { photometric = PHOTOMETRIC_PALETTE; colormap = std::move(map); return *this; }
    // clang-format on
};

// The samples as the file stores them: rows of interleaved samples, or one
// plane after the other, packed to the bits per sample (host order, as libtiff takes them).
std::vector<uint8_t> encode(const Tags& t, const Value& f) {
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

void writePage(TIFF* tif, const Tags& t, const Value& f) {
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, t.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, t.height);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, t.samples);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, t.bits);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, t.format);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, t.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, t.planar);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, t.compression);
    if (t.predictor) TIFFSetField(tif, TIFFTAG_PREDICTOR, t.predictor);
    if (!t.extras.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(t.extras.size()), t.extras.data());
    const size_t n = t.colormap.size() / 3;
    if (n) TIFFSetField(tif, TIFFTAG_COLORMAP, t.colormap.data(), t.colormap.data() + n, t.colormap.data() + 2 * n);
    if (t.photometric == PHOTOMETRIC_YCBCR && t.compression == COMPRESSION_JPEG)
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);  // libjpeg converts our RGB rows
    else if (t.photometric == PHOTOMETRIC_YCBCR)
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    const bool separate = t.planar == PLANARCONFIG_SEPARATE;
    if (!t.tileWidth) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, t.rowsPerStrip ? t.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
        std::vector<uint8_t> data = encode(t, f);
        const size_t rowBytes = data.size() / t.height / (separate ? t.samples : 1);
        for (uint32_t row = 0; row < t.height * (separate ? t.samples : 1); ++row)
            ASSERT_GE(TIFFWriteScanline(tif, &data[row * rowBytes], row % t.height, uint16_t(row / t.height)), 0);
    } else {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, t.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, t.tileLength);
        Tags tile = separate ? Tags(t).spp(1) : t;  // a tile is a small image: encoded as one, zero beyond the edges
        tile.width = t.tileWidth, tile.height = t.tileLength, tile.planar = PLANARCONFIG_CONTIG;
        for (int p = 0; p < (separate ? t.samples : 1); ++p)
            for (uint32_t y0 = 0; y0 < t.height; y0 += t.tileLength)
                for (uint32_t x0 = 0; x0 < t.width; x0 += t.tileWidth) {
                    std::vector<uint8_t> data = encode(tile, [&](uint32_t x, uint32_t y, int s) {
                        return x0 + x < t.width && y0 + y < t.height ? f(x0 + x, y0 + y, separate ? p : s) : 0;
                    });
                    const uint32_t index = TIFFComputeTile(tif, x0, y0, 0, static_cast<uint16_t>(p));
                    ASSERT_GE(TIFFWriteEncodedTile(tif, index, data.data(), static_cast<tmsize_t>(data.size())), 0);
                }
    }
    ASSERT_TRUE(TIFFWriteDirectory(tif));
}

class TiffFormat : public ::testing::Test {
protected:
    std::string write(const char* name, const std::vector<std::pair<Tags, Value>>& pages, const char* mode = "w") {
        TIFF* tif = TIFFOpen(dir_.path(name).c_str(), mode);
        for (const auto& [tags, f] : pages) writePage(tif, tags, f);
        TIFFClose(tif);
        return dir_.path(name);
    }
    const ixv::Image& image(size_t i = 0) { return dynamic_cast<const ixv::Image&>(*ixv::objectsOf(object_).at(i)); }
    const ixv::Image& read(const std::string& path) {
        ReadImage(&object_, HTuple(path.c_str()));
        return image();
    }
    // The error code and message reading `bytes` raises; nothing may be printed meanwhile.
    std::string failure(const std::vector<uint8_t>& bytes) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        std::string message = "(no error)";
        try {
            ReadImage(&object_, HTuple(dir_.write("bad.tif", bytes).c_str()));
        } catch (const HException& e) {
            message = std::to_string(e.ErrorCode()) + " " + e.ErrorMessage().Text();
        }
        EXPECT_EQ(::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr(), "");
        return message;
    }

    TempDir dir_;
    HObject object_;
};

TEST_F(TiffFormat, SampleFormatsLayoutsCompressionsAndColour) {
    const Value wave = [](auto x, auto y, int s) { return (x * 37 + y * 101 + s * 7919) % 251; };
    const Value wave16 = [](auto x, auto y, int s) { return (x * 4099 + y * 257 + s * 7919) % 65521; };
    const Value bits = [](auto x, auto y, auto) { return (x + y) % 3 == 0; };
    const Value index = [](auto x, auto y, auto) { return (x * 7 + y * 3) % 16; };
    std::vector<uint16_t> map(3 * 16);
    for (int i = 0; i < 16; ++i)
        map[i] = uint16_t(i * 0x1111), map[16 + i] = uint16_t(0xffff - i * 0x1000), map[32 + i] = uint16_t(i % 2 << 15);
    const uint16_t half[] = {0x3c00, 0xc000, 0x7bff, 0x0001, 0x7c00};  // 1, -2, largest, smallest subnormal, infinity
    const double halfValue[] = {1, -2, 65504, std::ldexp(1.0, -24), INFINITY};
    const Value binary = [](auto x, auto y, int s) { return s < 3 ? 10 * x + 40 * y + s : x >= y ? 255 : 0; };
    const Value graded = [](auto x, auto y, int s) { return s < 3 ? 10 * x + 40 * y + s : x * 40; };
    const Value alphaFirst = [](auto x, auto y, int s) {
        return s == 1 ? 65535 * (x != 1 || y != 1) : 1000 * s + 10 * x + y;
    };
    const Value bands = [](auto, auto y, int s) {  // one colour per JPEG strip
        static const uint8_t colours[3][3] = {{200, 30, 40}, {20, 180, 60}, {30, 40, 220}};
        return colours[y / 16][s];
    };
    const Tags rgba = Tags(6, 4).rgb().spp(4).extra({EXTRASAMPLE_UNASSALPHA});
    struct Case {
        const char* name;
        Tags tags;
        const char* shape;
        Value f;
        Value want = nullptr;  // of each channel; f itself when null
        double tolerance = 0;
        const char* mode = "w";
    };
    const Case cases[] = {
        // Big-endian, so that the reader's samples are swapped.
        {"gray16", Tags(3, 2).bps(16), "uint2 3x2x1",
         [](auto x, auto y, auto) { return 0x1234 + 0x1111 * x + 0x2000 * y; }, nullptr, 0, "wb"},
        {"int8", Tags(4, 3).bps(8, SAMPLEFORMAT_INT), "int1 4x3x1",
         [](auto x, auto y, auto) { return 50 * x + 7 * y - 128.; }},
        {"int16", Tags(4, 3).bps(16, SAMPLEFORMAT_INT), "int2 4x3x1",
         [](auto x, auto y, auto) { return -300. + 1000 * x - 9000. * y; }},
        {"int32", Tags(3, 2).bps(32, SAMPLEFORMAT_INT), "int4 3x2x1",
         [](auto x, auto y, auto) { return (x * 70000. - 100000) * (y ? -1000 : 1); }},
        // Every 32-bit unsigned value, kept in 64-bit pixels.
        {"uint32", Tags(2, 2).bps(32), "int8 2x2x1",
         [](auto x, auto y, auto) { return x * 4294967295. + y * (1 - x) * 2147483648.; }},
        {"half", Tags(5, 1).bps(16, SAMPLEFORMAT_IEEEFP), "real 5x1x1", [&](auto x, auto, auto) { return half[x]; },
         [&](auto x, auto, auto) { return halfValue[x]; }},
        {"float32", Tags(3, 2).bps(32, SAMPLEFORMAT_IEEEFP), "real 3x2x1",
         [](auto x, auto y, auto) { return std::ldexp(1.5 - x, 90 * y - 60); }},
        {"double", Tags(3, 2).bps(64, SAMPLEFORMAT_IEEEFP).compress(COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT),
         "real 3x2x1", [](auto x, auto y, auto) { return (x + 0.5) * (y ? -0x1p100 : 0x1p-30); }},
        // A strip too long to decode whole: row by row.
        {"longstrip",
         Tags(400, 400).spp(2).bps(64, SAMPLEFORMAT_IEEEFP).separate().compress(COMPRESSION_ADOBE_DEFLATE).strips(400),
         "real 400x400x2", [](auto x, auto y, int s) { return x * 0.5 + y * 1000 + s * 1e6; }},
        {"separate", Tags(9, 7).rgb().bps(16).separate().strips(3), "uint2 9x7x3", wave16},
        // Partial tiles at the right and bottom edges.
        {"tiled", Tags(40, 20).rgb().tiles(16, 16), "byte 40x20x3", wave},
        {"tiledseparate", Tags(40, 20).rgb().bps(16).separate().compress(COMPRESSION_LZW).tiles(32, 16),
         "uint2 40x20x3", wave16},
        {"lzw", Tags(50, 30).rgb().bps(16).compress(COMPRESSION_LZW, PREDICTOR_HORIZONTAL).strips(8),
         "uint2 50x30x3", wave16},
        {"packbits", Tags(50, 30).spp(2).bps(16).compress(COMPRESSION_PACKBITS), "uint2 50x30x2", wave16},
        {"bigtiff", Tags(50, 30).bps(16).compress(COMPRESSION_LZW).tiles(16, 16), "uint2 50x30x1", wave16, nullptr, 0,
         "w8"},
        // Rows that end inside a byte; 1 to 4 bits scale to 0..255; min-is-white as the viewer shows it.
        {"bilevel", Tags(13, 3).bps(1), "byte 13x3x1", bits, [&](auto x, auto y, int) { return 255 * bits(x, y, 0); }},
        {"gray4", Tags(5, 3).bps(4).compress(COMPRESSION_PACKBITS), "byte 5x3x1",
         [](auto x, auto y, auto) { return x + 5 * y; }, [](auto x, auto y, auto) { return (x + 5 * y) * 17; }},
        {"fax", Tags(13, 3).bps(1).photo(PHOTOMETRIC_MINISWHITE).compress(COMPRESSION_CCITTFAX4), "byte 13x3x1", bits,
         [&](auto x, auto y, int) { return 255 - bits(x, y, 0) * 255; }},
        {"white8", Tags(4, 1).photo(PHOTOMETRIC_MINISWHITE), "byte 4x1x1", [](auto x, auto, auto) { return x * 60; },
         [](auto x, auto, auto) { return 255 - x * 60; }},
        // Alpha: only 0 and its maximum is the domain (x >= y), else a channel; last, whatever extra follows.
        {"binaryalpha", rgba, "byte 6x4x3 domain 18", binary},
        {"gradedalpha", Tags(rgba).separate().extra({EXTRASAMPLE_ASSOCALPHA}), "byte 6x4x4", graded},
        {"notalpha", Tags(rgba).extra({EXTRASAMPLE_UNSPECIFIED}), "byte 6x4x4", binary},
        {"alphafirst", Tags(3, 2).spp(3).bps(16).extra({EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED}),
         "uint2 3x2x2 domain 5", alphaFirst, [&](auto x, auto y, int c) { return alphaFirst(x, y, 2 * c); }},
        {"palette", Tags(5, 2).bps(4).compress(COMPRESSION_LZW).palette(map), "byte 5x2x3", index,
         [&](auto x, auto y, int c) { return map[16 * c + index(x, y, 0)] >> 8; }},
        // JPEG's own colour conversion, lossy.
        {"jpeg", Tags(24, 48).rgb().photo(PHOTOMETRIC_YCBCR).compress(COMPRESSION_JPEG).strips(16), "byte 24x48x3",
         bands, nullptr, 4},
        // Y, Cb, Cr stored as they are: neutral gray and a saturated red.
        {"ycbcr", Tags(2, 1).rgb().photo(PHOTOMETRIC_YCBCR), "byte 2x1x3",
         [](auto x, auto, int s) { return x ? (s ? 85 + 170 * (s - 1) : 76) : 128; },
         [](auto x, auto, int c) { return x ? (c ? 0 : 255) : 128; }, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ixv::Image& got = read(write(c.name, {{c.tags, c.f}}, c.mode));
        EXPECT_EQ(shapeOf(got), c.shape);
        const Planes planes = planesOf(got);
        std::string wrong;
        for (size_t ch = 0, i = 0; ch < planes.size(); i = 0, ++ch)
            for (uint32_t y = 0; y < got.height(); ++y)
                for (uint32_t x = 0; x < got.width(); ++x, ++i) {
                    const double want = (c.want ? c.want : c.f)(x, y, int(ch)), value = planes[ch][i];
                    if (value != want && !(std::abs(value - want) <= c.tolerance) && wrong.empty())
                        wrong = std::to_string(value) + " at channel, x, y " + std::to_string(ch) + ", " +
                                std::to_string(x) + ", " + std::to_string(y) + ", not " + std::to_string(want);
                }
        EXPECT_EQ(wrong, "");
    }
}

TEST_F(TiffFormat, EveryPageIsAnImageInOrder) {
    read(write("pages.tif", {{Tags(4, 2), [](auto, auto, auto) { return 11; }},
                             {Tags(3, 3).bps(16).compress(COMPRESSION_LZW), [](auto, auto, auto) { return 2222; }},
                             {Tags(2, 1).rgb(), [](auto x, auto, int s) { return 1 + s + 3 * x; }}}));
    ASSERT_EQ(ixv::objectsOf(object_).size(), 3u);
    EXPECT_EQ(planesOf(image(0)), Planes(1, std::vector<double>(8, 11)));
    EXPECT_EQ(planesOf(image(1)), Planes(1, std::vector<double>(9, 2222)));
    EXPECT_EQ(planesOf(image(2)), (Planes{{1, 4}, {2, 5}, {3, 6}}));
}

// Patches the value of `tag` in the first directory of a little-endian file.
void patchTag(std::vector<uint8_t>& file, uint16_t tag, uint32_t value) {
    uint32_t ifd;
    uint16_t count, t;
    std::memcpy(&ifd, &file[4], 4);
    std::memcpy(&count, &file[ifd], 2);
    for (uint8_t* entry = &file[ifd + 2]; entry < &file[ifd + 2 + 12 * count]; entry += 12) {
        std::memcpy(&t, entry, 2);
        if (t != tag) continue;
        const uint16_t type = TIFF_LONG;
        std::memcpy(entry + 2, &type, 2);
        std::memcpy(entry + 8, &value, 4);
        return;
    }
    ADD_FAILURE() << "no tag " << tag;
}

TEST_F(TiffFormat, BrokenFilesAreErrorsAndPrintNothing) {
    auto file = [&](const char* name, const Tags& tags, const Value& f) {
        const std::string bytes = readFile(write(name, {{tags, f}}));
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    };
    const Value small = [](auto x, auto y, int s) { return x * y + s; };
    expectTruncationsInvalid(ixv::formats::tiff::readImage,
                             file("tiny.tif", Tags(5, 3).rgb().compress(COMPRESSION_LZW).strips(2), small), "TIFF");
    const std::vector<uint8_t> good = file("good.tif", Tags(64, 64).compress(COMPRESSION_LZW).strips(64),
                                           [](auto x, auto y, auto) { return (x * y + x) % 256; });
    const Tags jpeg = Tags(32, 32).rgb().photo(PHOTOMETRIC_YCBCR).compress(COMPRESSION_JPEG);
    uint32_t ifd;
    uint16_t count;
    std::memcpy(&ifd, &good[4], 4);
    std::memcpy(&count, &good[ifd], 2);
    auto patched = [&](const std::function<void(std::vector<uint8_t>&)>& change) {
        std::vector<uint8_t> bytes = good;
        change(bytes);
        return failure(bytes);
    };
    // The second half of the image data garbled, the directory kept: 0xff bytes in LZW codes; in JPEG data
    // stuffed 0xff bytes, no Huffman code, which the decoder only warns about.
    auto garbled = [&](std::vector<uint8_t> bytes, uint8_t second) {
        uint32_t end;
        std::memcpy(&end, &bytes[4], 4);
        for (size_t i = 8 + (end - 8) / 2; i + 1 < end; i += 2) bytes[i] = 0xff, bytes[i + 1] = second;
        return failure(bytes);
    };
    const std::pair<std::string, std::string> cases[] = {
        {garbled(good, 0xff), ""},
        {garbled(file("jpeg.tif", jpeg, [](auto x, auto y, int s) { return x * 8 + y * s; }), 0), ""},
        {patched([](auto& b) { patchTag(b, TIFFTAG_COMPRESSION, 34712); }), "unsupported compression 34712"},
        {patched([](auto& b) { patchTag(b, TIFFTAG_BITSPERSAMPLE, 12); }), "unsupported bits per sample 12"},
        // Far more uncompressed pixel data than the file holds: refused before allocating.
        {patched([](auto& b) { patchTag(b, TIFFTAG_COMPRESSION, 1), patchTag(b, TIFFTAG_IMAGELENGTH, 1 << 20); }),
         "uncompressed image data of 67108864 bytes"},
        // A directory that is its own successor.
        {patched([&](auto& b) { std::memcpy(&b[ifd + 2 + 12 * count], &ifd, 4); }), "directory"},
        {failure({'I', 'I', 42, 0, 0xff, 0xff, 0xff, 0x7f}), ""},
    };
    for (const auto& [message, detail] : cases) {
        EXPECT_EQ(message.rfind("5280 Invalid TIFF file: ", 0), 0u) << message;
        EXPECT_NE(message.find(detail), std::string::npos) << message;
    }
}

TEST(TiffMagic, ClassicAndBigTiffInBothByteOrders) {
    auto tiff = [](std::vector<uint8_t> head) {
        const ixv::formats::Format* format = ixv::formats::formatOf(head.data(), head.size());
        return format && std::string(format->name) == "TIFF";
    };
    EXPECT_TRUE(tiff({'I', 'I', 42, 0}) && tiff({'M', 'M', 0, 42, 0, 0, 0, 8}) && tiff({'I', 'I', 43, 0}) &&
                tiff({'M', 'M', 0, 43}));
    EXPECT_FALSE(tiff({'I', 'I', 0, 42}) || tiff({'M', 'M', 42, 0}) || tiff({'I', 'I', 42}));
}

}  // namespace
