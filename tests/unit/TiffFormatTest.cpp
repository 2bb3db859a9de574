// The TIFF reader on files written by libtiff itself: sample formats, layouts,
// compressions, alpha, palettes, pages, and broken files.
#include <gtest/gtest.h>
#include <tiffio.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Iconic.h"
#include "formats/Formats.h"

using namespace HalconCpp;
namespace fs = std::filesystem;

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
    Tags& separate() { planar = PLANARCONFIG_SEPARATE; return *this; }
    Tags& compress(uint16_t v, uint16_t p = 0) { compression = v; predictor = p; return *this; }
    Tags& extra(std::vector<uint16_t> v) { extras = std::move(v); return *this; }
    Tags& tiles(uint32_t w, uint32_t l) { tileWidth = w; tileLength = l; return *this; }
    Tags& strips(uint32_t rows) { rowsPerStrip = rows; return *this; }
    Tags& palette(std::vector<uint16_t> map) { photometric = PHOTOMETRIC_PALETTE; colormap = std::move(map); return *this; }
    // clang-format on
};

// The samples as the file stores them: rows of interleaved samples, or one
// plane after the other, packed to the bits per sample.
std::vector<uint8_t> encode(const Tags& t, const Value& f) {
    const bool separate = t.planar == PLANARCONFIG_SEPARATE;
    const int perPixel = separate ? 1 : t.samples;
    const size_t rowBytes = (size_t{t.width} * perPixel * t.bits + 7) / 8;
    std::vector<uint8_t> out(rowBytes * t.height * (separate ? t.samples : 1), 0);
    size_t i = 0;
    for (int p = 0; p < (separate ? t.samples : 1); ++p)
        for (uint32_t y = 0; y < t.height; ++y)
            for (uint32_t x = 0; x < t.width; ++x)
                for (int s = 0; s < perPixel; ++s, ++i) {
                    const double v = f(x, y, separate ? p : s);
                    uint8_t* at = out.data() + (i / (size_t{t.width} * perPixel)) * rowBytes;
                    const size_t k = i % (size_t{t.width} * perPixel);
                    if (t.bits < 8) {
                        at[k * t.bits / 8] |=
                            static_cast<uint8_t>(static_cast<unsigned>(v) << (8 - t.bits - k * t.bits % 8));
                    } else if (t.format == SAMPLEFORMAT_IEEEFP) {
                        const float f32 = static_cast<float>(v);
                        t.bits == 32 ? std::memcpy(at + 4 * k, &f32, 4) : std::memcpy(at + 8 * k, &v, 8);
                    } else {
                        const int64_t n = static_cast<int64_t>(v);
                        std::memcpy(at + k * t.bits / 8, &n, t.bits / 8);  // little-endian host
                    }
                }
    return out;
}

void writePage(TIFF* tif, const Tags& t, std::vector<uint8_t> data) {
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
    if (t.photometric == PHOTOMETRIC_YCBCR && t.compression == COMPRESSION_JPEG) {
        TIFFSetField(tif, TIFFTAG_JPEGQUALITY, 95);
        TIFFSetField(tif, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);  // libjpeg converts our RGB rows
    } else if (t.photometric == PHOTOMETRIC_YCBCR) {
        TIFFSetField(tif, TIFFTAG_YCBCRSUBSAMPLING, 1, 1);
    }
    const bool separate = t.planar == PLANARCONFIG_SEPARATE;
    const size_t perPixel = separate ? 1 : t.samples;
    const size_t rowBytes = (t.width * perPixel * t.bits + 7) / 8;
    auto row = [&](int p, uint32_t y) { return data.data() + (static_cast<size_t>(p) * t.height + y) * rowBytes; };
    if (!t.tileWidth) {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, t.rowsPerStrip ? t.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
        for (int p = 0; p < (separate ? t.samples : 1); ++p)
            for (uint32_t y = 0; y < t.height; ++y) ASSERT_GE(TIFFWriteScanline(tif, row(p, y), y, p), 0);
    } else {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, t.tileWidth);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, t.tileLength);
        const size_t pixelBytes = perPixel * t.bits / 8;
        for (int p = 0; p < (separate ? t.samples : 1); ++p)
            for (uint32_t y0 = 0; y0 < t.height; y0 += t.tileLength)
                for (uint32_t x0 = 0; x0 < t.width; x0 += t.tileWidth) {
                    std::vector<uint8_t> tile(t.tileWidth * t.tileLength * pixelBytes, 0);
                    for (uint32_t y = y0; y < std::min(t.height, y0 + t.tileLength); ++y)
                        std::memcpy(&tile[(y - y0) * t.tileWidth * pixelBytes], row(p, y) + x0 * pixelBytes,
                                    std::min(t.width - x0, t.tileWidth) * pixelBytes);
                    ASSERT_GE(TIFFWriteEncodedTile(tif, TIFFComputeTile(tif, x0, y0, 0, p), tile.data(), tile.size()),
                              0);
                }
    }
    ASSERT_TRUE(TIFFWriteDirectory(tif));
}

double pixel(const ixv::Image& image, size_t channel, size_t i) {
    const uint8_t* p = image.plane(channel)->data();
    switch (image.type()) {
    case ixv::PixelType::Byte: return p[i];
    case ixv::PixelType::Int1: return reinterpret_cast<const int8_t*>(p)[i];
    case ixv::PixelType::UInt2: return reinterpret_cast<const uint16_t*>(p)[i];
    case ixv::PixelType::Int2: return reinterpret_cast<const int16_t*>(p)[i];
    case ixv::PixelType::Int4: return reinterpret_cast<const int32_t*>(p)[i];
    case ixv::PixelType::Int8: return static_cast<double>(reinterpret_cast<const int64_t*>(p)[i]);
    case ixv::PixelType::Real: return reinterpret_cast<const float*>(p)[i];
    }
    return NAN;
}

// Every pixel of the channel against want(x, y), within `tolerance`.
void expectChannel(const ixv::Image& image, size_t channel, const std::function<double(uint32_t, uint32_t)>& want,
                   double tolerance = 0) {
    ASSERT_LT(channel, image.channelCount());
    for (uint32_t y = 0; y < image.height(); ++y)
        for (uint32_t x = 0; x < image.width(); ++x) {
            const double got = pixel(image, channel, size_t{y} * image.width() + x), expected = want(x, y);
            if (std::abs(got - expected) > tolerance)
                return ADD_FAILURE() << "channel " << channel << " at " << x << "," << y << ": " << got << " not "
                                     << expected;
        }
}

class TiffFormat : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("ix_tiff_" + std::to_string(getpid()) + "_" +
                                            ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string write(const std::string& name, const std::vector<std::pair<Tags, std::vector<uint8_t>>>& pages,
                      const char* mode = "w") {
        const std::string path = (dir_ / name).string();
        TIFF* tif = TIFFOpen(path.c_str(), mode);
        for (const auto& [tags, data] : pages) writePage(tif, tags, data);
        TIFFClose(tif);
        return path;
    }
    std::string write(const std::string& name, const Tags& tags, const Value& f, const char* mode = "w") {
        return write(name, {{tags, encode(tags, f)}}, mode);
    }

    const ixv::Image& image(size_t i = 0) { return dynamic_cast<const ixv::Image&>(*ixv::objectsOf(object_).at(i)); }
    const ixv::Image& read(const std::string& path) {
        ReadImage(&object_, HTuple(path.c_str()));
        return image();
    }

    // The message of the error reading `bytes` raises; nothing may be printed meanwhile.
    std::string failure(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        std::string message = "(no error)";
        try {
            ReadImage(&object_, HTuple(path.c_str()));
        } catch (const HException& e) {
            message = e.ErrorMessage().Text();
        }
        EXPECT_EQ(::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr(), "");
        return message;
    }

    fs::path dir_;
    HObject object_;
};

TEST_F(TiffFormat, SampleFormatsLayoutsAndCompressions) {
    const Value wave = [](uint32_t x, uint32_t y, int s) { return (x * 37 + y * 101 + s * 7919) % 251; };
    const Value wave16 = [](uint32_t x, uint32_t y, int s) { return (x * 4099 + y * 257 + s * 7919) % 65521; };
    struct Case {
        const char* name;
        Tags tags;
        const char* type;
        Value f;
        Value want = nullptr;  // f itself when null
        const char* mode = "w";
    };
    const Case cases[] = {
        {"gray8", Tags(7, 5), "byte", wave},
        // Big-endian, so that the reader's samples are swapped.
        {"gray16", Tags(3, 2).bps(16), "uint2",
         [](uint32_t x, uint32_t y, int) { return 0x1234 + 0x1111 * x + 0x2000 * y; }, nullptr, "wb"},
        {"int8", Tags(4, 3).bps(8, SAMPLEFORMAT_INT), "int1",
         [](uint32_t x, uint32_t y, int) { return -128.0 + 50 * x + 7 * y; }},
        {"int16", Tags(4, 3).bps(16, SAMPLEFORMAT_INT), "int2",
         [](uint32_t x, uint32_t y, int) { return -300.0 + 1000 * x - 9000.0 * y; }},
        {"int32", Tags(3, 2).bps(32, SAMPLEFORMAT_INT), "int4",
         [](uint32_t x, uint32_t y, int) { return (x * 70000.0 - 100000) * (y ? -1000 : 1); }},
        // Every 32-bit unsigned value, kept in 64-bit pixels.
        {"uint32", Tags(2, 2).bps(32), "int8",
         [](uint32_t x, uint32_t y, int) { return x * 4294967295.0 + y * 2147483648.0 * (1 - x); }},
        {"float32", Tags(3, 2).bps(32, SAMPLEFORMAT_IEEEFP), "real",
         [](uint32_t x, uint32_t y, int) { return std::ldexp(1.5 - x, 90 * y - 60); }},
        {"float64",
         Tags(3, 2).bps(64, SAMPLEFORMAT_IEEEFP).compress(COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT), "real",
         [](uint32_t x, uint32_t y, int) { return (x + 0.1) * (y ? -1e30 : 1e-3); },
         [](uint32_t x, uint32_t y, int) { return static_cast<float>((x + 0.1) * (y ? -1e30 : 1e-3)); }},
        // Long separate strips of doubles, decoded row by row.
        {"float64separate",
         Tags(400, 400).spp(2).bps(64, SAMPLEFORMAT_IEEEFP).separate().compress(COMPRESSION_ADOBE_DEFLATE).strips(400),
         "real", [](uint32_t x, uint32_t y, int s) { return x * 0.5 + y * 1000 + s * 1e6; }},
        {"contig", Tags(9, 7).spp(3).photo(PHOTOMETRIC_RGB).strips(2), "byte", wave},
        {"separate", Tags(9, 7).spp(3).photo(PHOTOMETRIC_RGB).separate().strips(3), "byte", wave},
        {"separate16", Tags(5, 4).spp(3).bps(16).photo(PHOTOMETRIC_RGB).separate(), "uint2", wave16},
        // Partial tiles at the right and bottom edges.
        {"tiled", Tags(40, 20).spp(3).photo(PHOTOMETRIC_RGB).tiles(16, 16), "byte", wave},
        {"tiledseparate",
         Tags(40, 20).spp(3).bps(16).photo(PHOTOMETRIC_RGB).separate().compress(COMPRESSION_LZW).tiles(32, 16), "uint2",
         wave16},
        {"lzw",
         Tags(50, 30).spp(3).bps(16).photo(PHOTOMETRIC_RGB).compress(COMPRESSION_LZW, PREDICTOR_HORIZONTAL).strips(8),
         "uint2", wave16},
        {"packbits", Tags(50, 30).spp(2).bps(16).compress(COMPRESSION_PACKBITS), "uint2", wave16},
        {"bigtiff", Tags(50, 30).bps(16).compress(COMPRESSION_LZW).tiles(16, 16), "uint2", wave16, nullptr, "w8"},
        // One strip longer than the reader decodes whole: row by row.
        {"longstrip", Tags(700, 500).spp(2).bps(16).compress(COMPRESSION_ADOBE_DEFLATE).strips(500), "uint2", wave16},
        // One uncompressed strip, decoded straight into the plane.
        {"onestrip", Tags(300, 200).bps(16).strips(200), "uint2", wave16},
        // Rows that end inside a byte.
        {"bilevel", Tags(13, 3).bps(1), "byte", [](uint32_t x, uint32_t y, int) { return (x + y) % 3 == 0; },
         [](uint32_t x, uint32_t y, int) { return (x + y) % 3 == 0 ? 255 : 0; }},
        // Min-is-white is read as the viewer shows it: a set bit is black.
        {"fax", Tags(13, 3).bps(1).photo(PHOTOMETRIC_MINISWHITE).compress(COMPRESSION_CCITTFAX4), "byte",
         [](uint32_t x, uint32_t y, int) { return (x + y) % 3 == 0; },
         [](uint32_t x, uint32_t y, int) { return (x + y) % 3 == 0 ? 0 : 255; }},
        {"gray4", Tags(5, 3).bps(4).compress(COMPRESSION_PACKBITS), "byte",
         [](uint32_t x, uint32_t y, int) { return x + 5 * y; },
         [](uint32_t x, uint32_t y, int) { return (x + 5 * y) * 17; }},
        {"white8", Tags(4, 1).photo(PHOTOMETRIC_MINISWHITE), "byte", [](uint32_t x, uint32_t, int) { return x * 60; },
         [](uint32_t x, uint32_t, int) { return 255 - x * 60; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const ixv::Image& got = read(write(std::string(c.name) + ".tif", c.tags, c.f, c.mode));
        EXPECT_STREQ(ixv::pixelTypeName(got.type()), c.type);
        EXPECT_EQ(got.channelCount(), c.tags.samples);
        EXPECT_EQ(got.width(), c.tags.width);
        EXPECT_EQ(got.height(), c.tags.height);
        EXPECT_EQ(got.reducedDomain(), nullptr);
        const Value& want = c.want ? c.want : c.f;
        for (int s = 0; s < c.tags.samples; ++s)
            expectChannel(got, s, [&](uint32_t x, uint32_t y) { return want(x, y, s); });
    }
    // Half floats: 1, -2, the largest, the smallest subnormal, infinity.
    const Tags half = Tags(5, 1).bps(16, SAMPLEFORMAT_IEEEFP);
    const uint16_t bits[] = {0x3c00, 0xc000, 0x7bff, 0x0001, 0x7c00};
    const ixv::Image& got =
        read(write("half.tif", {{half, std::vector<uint8_t>(reinterpret_cast<const uint8_t*>(bits),
                                                            reinterpret_cast<const uint8_t*>(bits + 5))}}));
    const double want[] = {1, -2, 65504, std::ldexp(1.0, -24), INFINITY};
    expectChannel(got, 0, [&](uint32_t x, uint32_t) { return want[x]; });
}

TEST_F(TiffFormat, AlphaBecomesDomainOnlyWhenBinary) {
    const Tags rgba = Tags(6, 4).spp(4).photo(PHOTOMETRIC_RGB).extra({EXTRASAMPLE_UNASSALPHA});
    const Value colour = [](uint32_t x, uint32_t y, int s) { return 10 * x + 40 * y + s; };
    // Opaque exactly where x >= y.
    const Value binary = [&](uint32_t x, uint32_t y, int s) { return s < 3 ? colour(x, y, s) : x >= y ? 255 : 0; };
    const ixv::Image& masked = read(write("binary.tif", rgba, binary));
    ASSERT_EQ(masked.channelCount(), 3u);
    for (int s = 0; s < 3; ++s) expectChannel(masked, s, [&](uint32_t x, uint32_t y) { return colour(x, y, s); });
    ASSERT_NE(masked.reducedDomain(), nullptr);
    EXPECT_EQ(masked.reducedDomain()->area(), 6 + 5 + 4 + 3);
    EXPECT_EQ(masked.reducedDomain()->runs()[3].columnBegin, 3);

    const Value partial = [&](uint32_t x, uint32_t y, int s) { return s < 3 ? colour(x, y, s) : x * 40; };
    const ixv::Image& blended =
        read(write("partial.tif", Tags(rgba).separate().extra({EXTRASAMPLE_ASSOCALPHA}), partial));
    ASSERT_EQ(blended.channelCount(), 4u);
    EXPECT_EQ(blended.reducedDomain(), nullptr);
    for (int s = 0; s < 4; ++s) expectChannel(blended, s, [&](uint32_t x, uint32_t y) { return partial(x, y, s); });

    // An alpha before another extra sample goes last; the other stays a channel.
    const Tags gray = Tags(3, 2).spp(3).bps(16).extra({EXTRASAMPLE_UNASSALPHA, EXTRASAMPLE_UNSPECIFIED});
    const Value grayAlpha = [](uint32_t x, uint32_t y, int s) {
        return s == 1 ? (x == 1 && y == 1 ? 0 : 65535) : 1000 * s + 10 * x + y;
    };
    const ixv::Image& reordered = read(write("grayextra.tif", gray, grayAlpha));
    ASSERT_EQ(reordered.channelCount(), 2u);
    expectChannel(reordered, 1, [&](uint32_t x, uint32_t y) { return grayAlpha(x, y, 2); });
    ASSERT_NE(reordered.reducedDomain(), nullptr);
    EXPECT_EQ(reordered.reducedDomain()->area(), 5);

    // An extra sample that is not alpha is a channel, binary or not.
    const ixv::Image& other = read(write("unspecified.tif", Tags(rgba).extra({EXTRASAMPLE_UNSPECIFIED}), binary));
    EXPECT_EQ(other.channelCount(), 4u);
    EXPECT_EQ(other.reducedDomain(), nullptr);
}

TEST_F(TiffFormat, PaletteAndYCbCrBecomeRgb) {
    std::vector<uint16_t> map(3 * 16);
    for (int i = 0; i < 16; ++i) {
        map[i] = static_cast<uint16_t>(i * 0x1111);
        map[16 + i] = static_cast<uint16_t>(0xffff - i * 0x1000);
        map[32 + i] = static_cast<uint16_t>((i % 2) * 0x8000);
    }
    const Value index = [](uint32_t x, uint32_t y, int) { return (x * 7 + y * 3) % 16; };
    const ixv::Image& palette =
        read(write("palette.tif", Tags(5, 2).bps(4).compress(COMPRESSION_LZW).palette(map), index));
    ASSERT_EQ(palette.channelCount(), 3u);
    for (int c = 0; c < 3; ++c)
        expectChannel(palette, c, [&](uint32_t x, uint32_t y) { return map[16 * c + index(x, y, 0)] >> 8; });

    // JPEG's own colour conversion; lossy, with chroma subsampled: compare the middle of each colour block.
    const Value blocks = [](uint32_t x, uint32_t y, int s) {
        static const uint8_t colours[4][3] = {{200, 30, 40}, {20, 180, 60}, {30, 40, 220}, {128, 128, 128}};
        return colours[(x / 16) % 2 + 2 * ((y / 16) % 2)][s];
    };
    const Tags jpeg = Tags(64, 48).spp(3).photo(PHOTOMETRIC_YCBCR).compress(COMPRESSION_JPEG).strips(16);
    const ixv::Image& decoded = read(write("jpeg.tif", jpeg, blocks));
    ASSERT_EQ(decoded.channelCount(), 3u);
    for (int s = 0; s < 3; ++s)
        for (uint32_t y = 8; y < 48; y += 16)
            for (uint32_t x = 8; x < 64; x += 16) EXPECT_NEAR(pixel(decoded, s, y * 64 + x), blocks(x, y, s), 4);

    // Y, Cb, Cr stored as they are: neutral gray and a saturated red.
    const ixv::Image& raw =
        read(write("ycbcr.tif", {{Tags(2, 1).spp(3).photo(PHOTOMETRIC_YCBCR), {128, 128, 128, 76, 85, 255}}}));
    const double rgb[3][2] = {{128, 255}, {128, 0}, {128, 0}};
    for (int s = 0; s < 3; ++s)
        expectChannel(
            raw, s, [&](uint32_t x, uint32_t) { return rgb[s][x]; }, 2);
}

TEST_F(TiffFormat, EveryPageIsAnImageInOrder) {
    const Tags second = Tags(3, 3).bps(16).compress(COMPRESSION_LZW);
    const Tags third = Tags(2, 1).spp(3).photo(PHOTOMETRIC_RGB);
    read(write("pages.tif", {{Tags(4, 2), std::vector<uint8_t>(8, 11)},
                             {second, encode(second, [](uint32_t, uint32_t, int) { return 2222; })},
                             {third, {1, 2, 3, 4, 5, 6}}}));
    ASSERT_EQ(ixv::objectsOf(object_).size(), 3u);
    EXPECT_EQ(image(0).width(), 4);
    EXPECT_EQ(pixel(image(0), 0, 7), 11);
    EXPECT_EQ(image(1).type(), ixv::PixelType::UInt2);
    EXPECT_EQ(pixel(image(1), 0, 8), 2222);
    EXPECT_EQ(image(2).channelCount(), 3u);
    EXPECT_EQ(pixel(image(2), 2, 1), 6);
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
    const Tags tags = Tags(64, 64).compress(COMPRESSION_LZW).strips(64);
    const std::string path = write("good.tif", tags, [](uint32_t x, uint32_t y, int) { return (x * y + x) % 256; });
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    uint32_t ifd;
    std::memcpy(&ifd, &good[4], 4);

    auto expectInvalid = [&](const std::string& name, const std::vector<uint8_t>& bytes, const char* detail = "") {
        const std::string message = failure(name, bytes);
        EXPECT_EQ(message.rfind("Invalid TIFF file: ", 0), 0u) << message;
        EXPECT_NE(message.find(detail), std::string::npos) << message;
    };
    // libtiff writes the directory after the data: cut, it is gone.
    expectInvalid("truncated.tif", std::vector<uint8_t>(good.begin(), good.begin() + good.size() / 2));
    // The directory kept, the second half of the compressed data overwritten.
    std::vector<uint8_t> bytes = good;
    std::fill(bytes.begin() + 8 + (ifd - 8) / 2, bytes.begin() + ifd, 0xff);
    expectInvalid("corrupt.tif", bytes);
    bytes = good;
    patchTag(bytes, TIFFTAG_COMPRESSION, 34712);
    expectInvalid("jpeg2000.tif", bytes, "unsupported compression 34712");
    bytes = good;
    patchTag(bytes, TIFFTAG_BITSPERSAMPLE, 12);
    expectInvalid("bits12.tif", bytes, "unsupported bits per sample 12");
    // Far more uncompressed pixel data than the file holds.
    bytes = good;
    patchTag(bytes, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    patchTag(bytes, TIFFTAG_IMAGELENGTH, 1 << 20);
    expectInvalid("huge.tif", bytes, "uncompressed image data of 67108864 bytes");
    // A directory that is its own successor.
    bytes = good;
    uint16_t count;
    std::memcpy(&count, &bytes[ifd], 2);
    std::memcpy(&bytes[ifd + 2 + 12 * count], &ifd, 4);
    expectInvalid("loop.tif", bytes);
    expectInvalid("header.tif", {'I', 'I', 42, 0, 0xff, 0xff, 0xff, 0x7f});
}

TEST(TiffMagic, ClassicAndBigTiffInBothByteOrders) {
    auto matches = [](std::vector<uint8_t> head) { return ixv::formats::tiff::matches({head.data(), head.size()}); };
    EXPECT_TRUE(matches({'I', 'I', 42, 0}));
    EXPECT_TRUE(matches({'M', 'M', 0, 42, 0, 0, 0, 8}));
    EXPECT_TRUE(matches({'I', 'I', 43, 0}));
    EXPECT_TRUE(matches({'M', 'M', 0, 43}));
    EXPECT_FALSE(matches({'I', 'I', 0, 42}));
    EXPECT_FALSE(matches({'M', 'M', 42, 0}));
    EXPECT_FALSE(matches({'I', 'I', 42}));
}

}  // namespace
