// The TIFF reader on files written by libtiff itself and read through ReadImage:
// sample formats, layouts, compressions, alpha, colour, pages, and broken files.
#include <gtest/gtest.h>

#include <cmath>

#include "TestFiles.h"
#include "TiffWriter.h"
#include "formats/tiff/TiffFormat.h"

namespace {

using namespace ixtest::tiff;
using Bytes = std::vector<uint8_t>;
constexpr auto read = ixv::formats::tiff::readImage;

Bytes tiffFile(const Tags& tags, const Value& f, const char* mode = "w") {
    const Bytes bytes = fileBytes({{tags, f}}, mode);
    EXPECT_FALSE(bytes.empty()) << "libtiff refused the file";
    return bytes;
}

TEST(TiffFormat, AFileTruncatedWhileReadIsAnError) {
    expectTruncatedWhileRead(read, tiffFile(Tags(256, 256).bps(16).strips(16), [](auto x, auto y, auto) { return x * y; }));
}

TEST(TiffFormat, SampleFormatsLayoutsCompressionsAndColour) {
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
        {"int32", Tags(3, 2).bps(32, SAMPLEFORMAT_INT), "int4 3x2x1",
         [](auto x, auto y, auto) { return (x * 70000. - 100000) * (y ? -1000 : 1); }},
        // Every 32-bit unsigned value, kept in 64-bit pixels.
        {"uint32", Tags(2, 2).bps(32), "int8 2x2x1",
         [](auto x, auto y, auto) { return x * 4294967295. + y * (1 - x) * 2147483648.; }},
        {"half", Tags(5, 1).bps(16, SAMPLEFORMAT_IEEEFP), "real 5x1x1", [&](auto x, auto, auto) { return half[x]; },
         [&](auto x, auto, auto) { return halfValue[x]; }},
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
        // Rows that end inside a byte; fewer than 8 bits scale to 0..255 (packed 4-bit samples: the palette
        // row); min-is-white as the viewer shows it, through the scale table and at whole bytes.
        {"bilevel", Tags(13, 3).bps(1), "byte 13x3x1", bits, [&](auto x, auto y, int) { return 255 * bits(x, y, 0); }},
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
        const auto got = readOne(read, tiffFile(c.tags, c.f, c.mode));
        EXPECT_EQ(shapeOf(*got), c.shape);
        const Planes planes = planesOf(*got);
        std::string wrong;
        for (size_t ch = 0, i = 0; ch < planes.size(); i = 0, ++ch)
            for (uint32_t y = 0; y < got->height(); ++y)
                for (uint32_t x = 0; x < got->width(); ++x, ++i) {
                    const double want = (c.want ? c.want : c.f)(x, y, int(ch)), value = planes[ch][i];
                    if (value != want && !(std::abs(value - want) <= c.tolerance) && wrong.empty())
                        wrong = std::to_string(value) + " at channel, x, y " + std::to_string(ch) + ", " +
                                std::to_string(x) + ", " + std::to_string(y) + ", not " + std::to_string(want);
                }
        EXPECT_EQ(wrong, "");
    }
}

// Where the directory at `ifd` holds the offset of the next one.
size_t nextPointerOf(const Bytes& file, uint32_t ifd) {
    uint16_t count;
    std::memcpy(&count, &file[ifd], 2);
    return ifd + 2 + 12 * size_t{count};
}

// Patches the value of `tag` in the directory at `ifd` (the first by default) of a little-endian file, classic or BigTIFF.
Bytes patchTag(Bytes file, uint16_t tag, uint64_t value, uint64_t ifd = 0) {
    const bool big = file[2] == 43;
    const size_t entry = big ? 20 : 12, countSize = big ? 8 : 2;
    if (!ifd) std::memcpy(&ifd, &file[big ? 8 : 4], big ? 8 : 4);
    uint64_t count = 0;
    std::memcpy(&count, &file[ifd], countSize);
    for (size_t at = ifd + countSize; at < ifd + countSize + entry * count; at += entry) {
        if (file[at] != (tag & 0xff) || file[at + 1] != tag >> 8) continue;
        const uint16_t type = big ? TIFF_LONG8 : TIFF_LONG;
        std::memcpy(&file[at + 2], &type, 2);
        std::memcpy(&file[at + (big ? 12 : 8)], &value, big ? 8 : 4);
        return file;
    }
    ADD_FAILURE() << "no tag " << tag;
    return file;
}

// A multi-page file is its first page; what follows is never read, so a broken
// second page or a chain of directories that loops does not matter.
TEST(TiffFormat, AMultiPageFileIsItsFirstPage) {
    const Bytes good = fileBytes({{Tags(4, 2), [](auto, auto, auto) { return 11; }},
                                  {Tags(3, 3).bps(16).compress(COMPRESSION_LZW), [](auto, auto, auto) { return 2222; }},
                                  {Tags(2, 1).rgb(), [](auto x, auto, int s) { return 1 + s + 3 * x; }}});
    uint32_t first, second;
    std::memcpy(&first, &good[4], 4);
    std::memcpy(&second, &good[nextPointerOf(good, first)], 4);
    auto withNext = [&](uint32_t next) {  // the first directory's successor
        Bytes file = good;
        std::memcpy(&file[nextPointerOf(file, first)], &next, 4);
        return file;
    };
    const uint32_t nowhere = 0x7ffffff0;
    const std::pair<const char*, Bytes> cases[] = {
        {"second page of an unknown compression", patchTag(good, TIFFTAG_COMPRESSION, 34712, second)},
        {"second directory beyond the end", withNext(nowhere)},
        {"first directory its own successor", withNext(first)},
    };
    for (const auto& [name, file] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(planesOf(*readOne(read, file)), Planes(1, std::vector<double>(8, 11)));
    }
}

// A private tag of a type libtiff does not know is skipped, as readers must;
// libtiff reports it through the error handler and goes on.
TEST(TiffFormat, PrivateTagsOfUnknownTypesAreSkipped) {
    for (uint16_t type : {0, 14, 20}) {
        Bytes file = {'I', 'I', 42, 0, 24, 0, 0, 0};
        for (uint8_t v = 0; v < 16; ++v) file.push_back(v);
        const uint32_t tags[][4] = {{256, 3, 1, 4}, {257, 3, 1, 4}, {258, 3, 1, 8}, {259, 3, 1, 1},  {262, 3, 1, 1},
                                    {273, 4, 1, 8}, {277, 3, 1, 1}, {278, 3, 1, 4}, {279, 4, 1, 16}, {65000, type, 1, 5}};
        file.push_back(std::size(tags)), file.push_back(0);
        for (const auto& t : tags)
            for (const auto& [value, bytes] : {std::pair{t[0], 2}, {t[1], 2}, {t[2], 4}, {t[3], 4}})
                for (int k = 0; k < bytes; ++k) file.push_back(static_cast<uint8_t>(value >> (8 * k)));
        file.insert(file.end(), 4, 0);
        EXPECT_EQ(readError(read, file), "") << "tag type " << type;
    }
}

TEST(TiffFormat, BrokenFilesAreErrorsAndPrintNothing) {
    const Value small = [](auto x, auto y, int s) { return x * y + s; };
    expectTruncationsInvalid(read, tiffFile(Tags(5, 3).rgb().compress(COMPRESSION_LZW).strips(2), small), "TIFF");
    const Bytes good = tiffFile(Tags(64, 64).compress(COMPRESSION_LZW).strips(64), [](auto x, auto y, auto) { return (x * y + x) % 256; });
    const Tags jpeg = Tags(32, 32).rgb().photo(PHOTOMETRIC_YCBCR).compress(COMPRESSION_JPEG);
    // The second half of the image data garbled, the directory kept: 0xff bytes in LZW codes; in JPEG data
    // stuffed 0xff bytes, no Huffman code, which the decoder only warns about.
    auto garbled = [&](Bytes bytes, uint8_t second) {
        uint32_t end;
        std::memcpy(&end, &bytes[4], 4);
        for (size_t i = 8 + (end - 8) / 2; i + 1 < end; i += 2) bytes[i] = 0xff, bytes[i + 1] = second;
        return readError(read, bytes);
    };
    const std::pair<std::string, std::string> cases[] = {
        {garbled(good, 0xff), ""},
        {garbled(tiffFile(jpeg, [](auto x, auto y, int s) { return x * 8 + y * s; }), 0), ""},
        {readError(read, patchTag(good, TIFFTAG_COMPRESSION, 34712)), "unsupported compression 34712"},
        {readError(read, patchTag(good, TIFFTAG_BITSPERSAMPLE, 12)), "unsupported bits per sample 12"},
        // Far more uncompressed pixel data than the file holds: refused before allocating.
        {readError(read, patchTag(patchTag(good, TIFFTAG_COMPRESSION, 1), TIFFTAG_IMAGELENGTH, 1 << 20)),
         "uncompressed image data of 67108864 bytes"},
        {readError(read, {'I', 'I', 42, 0, 0xff, 0xff, 0xff, 0x7f}), ""},
        // A byte count libtiff takes as negative is shown so, not as 18446744073709551615.
        {readError(read, patchTag(tiffFile(Tags(50, 40).compress(COMPRESSION_LZW), small, "w8"), TIFFTAG_STRIPBYTECOUNTS, ~uint64_t{0})),
         "strip byte count -1,"},
    };
    for (const auto& [message, detail] : cases) {
        EXPECT_EQ(message.rfind("Invalid TIFF file: ", 0), 0u) << message;
        EXPECT_NE(message.find(detail), std::string::npos) << message << " / " << detail;
    }
}

}  // namespace
