// BMP reading: files of each layout built byte by byte, read back pixel by pixel.
#include <gtest/gtest.h>

#include "BmpWriter.h"
#include "TestFiles.h"
#include "formats/bmp/BmpFormat.h"

namespace {

using namespace ixtest::bmp;
constexpr auto read = ixv::formats::bmp::readImage;

std::string runsOf(const ixv::Image& image) {
    std::string runs = image.reducedDomain() ? "" : "full";
    for (const ixv::Run& r : image.reducedDomain() ? image.reducedDomain()->runs() : std::vector<ixv::Run>{})
        runs += std::to_string(r.row) + ":" + std::to_string(r.columnBegin) + "-" + std::to_string(r.columnEnd) + " ";
    return runs;
}

struct Case {
    const char* name;
    Bitmap bitmap;
    const char* shape;
    Planes planes;
};

void expectImages(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto image = readOne(read, file(c.bitmap));
        EXPECT_EQ(shapeOf(*image), c.shape);
        EXPECT_EQ(planesOf(*image), c.planes);
    }
}

TEST(BmpFormat, PaletteImagesAreGrayOnlyWhenEveryUsedEntryIsGray) {
    const std::vector<uint32_t> mixed = {0x000000, 0xFF0000, 0x070707}, colours = {0x010203, 0x040506, 0x070809};
    expectImages({
        // Bottom-up: the last stored row is the top one.
        {"gray8", {8, 3, 2, rows({{10, 20, 30}, {40, 50, 60}}), grays(256)}, "byte 3x2x1", {{40, 50, 60, 10, 20, 30}}},
        {"unused colour", {8, 3, 2, rows({{0, 2, 0}, {2, 2, 0}}), mixed}, "byte 3x2x1", {{7, 7, 0, 0, 7, 0}}},
        {"used colour", {8, 3, 2, rows({{0, 2, 0}, {2, 1, 0}}), mixed}, "byte 3x2x3",
         {{7, 255, 0, 0, 7, 0}, {7, 0, 0, 0, 7, 0}, {7, 0, 0, 0, 7, 0}}},
        {"colour4 top-down", {4, 5, -2, rows({{0x01, 0x20, 0x10}, {0x22, 0x11, 0x00}}), colours}, "byte 5x2x3",
         {{1, 4, 7, 1, 4, 7, 7, 4, 4, 1}, {2, 5, 8, 2, 5, 8, 8, 5, 5, 2}, {3, 6, 9, 3, 6, 9, 9, 6, 6, 3}}},
        {"bilevel", {1, 10, 1, rows({{0xA5, 0x40}}), grays(2)}, "byte 10x1x1",
         {{255, 0, 255, 0, 0, 255, 0, 255, 0, 255}}},
        // OS/2 core header: three-byte palette entries.
        {"os2", {8, 2, 1, rows({{1, 0}}), {0x090909, 0xC86432}, 0, {}, 12}, "byte 2x1x3",
         {{200, 9}, {100, 9}, {50, 9}}},
    });
}

TEST(BmpFormat, TrueColourLayouts) {
    const Bytes bgr = rows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
    const std::vector<uint32_t> argb = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    expectImages({
        {"bgr top-down", {24, 3, -2, bgr}, "byte 3x2x3",
         {{3, 6, 9, 12, 15, 18}, {2, 5, 8, 11, 14, 17}, {1, 4, 7, 10, 13, 16}}},
        // 16 bit: 5-5-5 by default, 5-6-5 from bit fields; fields scale to 0..255.
        {"555", {16, 2, 1, rows({{0x1F, 0x7C, 0x10, 0x02}})}, "byte 2x1x3", {{255, 0}, {0, 132}, {255, 132}}},
        {"565", {16, 2, 1, rows({{0x1F, 0x7C, 0x10, 0x02}}), {}, 3, {0xF800, 0x07E0, 0x001F}}, "byte 2x1x3",
         {{123, 0}, {130, 65}, {255, 132}}},
        // The fourth byte of uncompressed 32-bit pixels is not alpha.
        {"bgrx", {32, 2, 1, rows({{1, 2, 3, 77, 4, 5, 6, 0}})}, "byte 2x1x3", {{3, 6}, {2, 5}, {1, 4}}},
        // An alpha mask (V5 header): graded alpha stays a channel, binary alpha becomes the domain.
        {"graded alpha", {32, 3, 1, rows({{1, 2, 3, 255, 4, 5, 6, 128, 7, 8, 9, 0}}), {}, 3, argb, 124}, "byte 3x1x4",
         {{3, 6, 9}, {2, 5, 8}, {1, 4, 7}, {255, 128, 0}}},
        {"binary alpha", {32, 3, 1, rows({{1, 2, 3, 255, 4, 5, 6, 0, 7, 8, 9, 255}}), {}, 3, argb, 124},
         "byte 3x1x3 domain 2", {{3, 6, 9}, {2, 5, 8}, {1, 4, 7}}},
        // Masks after a 40-byte header: 10-bit fields and a 2-bit alpha (B = 1023, A = 1).
        {"wide fields", {32, 1, 1, rows({{0xFF, 0x03, 0x00, 0x40}}), {}, 6, {0x3FF00000, 0xFFC00, 0x3FF, 0xC0000000}},
         "byte 1x1x4", {{0}, {0}, {255}, {85}}},
    });
}

TEST(BmpFormat, RunLengthEncodedBitmaps) {
    // 8-bit RLE, bottom-up: a run, a literal run, end of line, a delta that
    // skips pixels, end of bitmap. Skipped pixels fall outside the domain.
    const Bitmap rle8 = {8, 6, 4, {
        3, 1, 0, 3, 2, 3, 2, 0, 0, 0,  // bottom row: 1 1 1 2 3 2, end of line
        0, 2, 2, 1,                    // delta: right 2, up 1, skipping the second row
        2, 3, 0, 0,                    // third row: _ _ 3 3 _ _
        6, 2, 0, 1,                    // top row: 2 x 6, then end of bitmap
    }, {0, 0x0A0A0A, 0x141414, 0x1E1E1E}, 1};
    // 4-bit RLE covering every pixel, runs alternating two colours: no domain.
    const Bitmap rle4 = {4, 5, 2, {5, 0x12, 0, 0, 0, 5, 0x01, 0x22, 0x00, 0, 0, 1}, {0x010000, 0x020000, 0x030000},
                         2};
    const std::vector<double> zeros(10, 0);
    expectImages({
        {"rle8", rle8, "byte 6x4x1 domain 14",
         {{20, 20, 20, 20, 20, 20, 0, 0, 30, 30, 0, 0, 0, 0, 0, 0, 0, 0, 10, 10, 10, 20, 30, 20}}},
        {"rle4", rle4, "byte 5x2x3", {{1, 2, 3, 3, 1, 2, 3, 2, 3, 2}, zeros, zeros}},
    });
    EXPECT_EQ(runsOf(*readOne(read, file(rle8))), "0:0-5 1:2-3 3:0-5 ");

    const std::pair<Bitmap, std::string> damaged[] = {
        // The run past the row end is cut, but the data ends early.
        {{8, 6, 4, {7, 1, 0, 0}, rle8.palette, 1}, "RLE data ends before the end of the bitmap"},
        {{8, 6, 4, {0, 5, 1, 2}, rle8.palette, 1}, "truncated RLE run"},
        {{8, 6, 4, {0, 2, 0, 9, 1, 1}, rle8.palette, 1}, "RLE pixels past the last row"},
        {{8, 6, 4, {2, 9, 0, 1}, rle8.palette, 1}, "pixel index 9 outside the palette of 4 colours"},
        {{8, 6, -4, rle8.pixels, rle8.palette, 1}, "top-down RLE bitmap"},
    };
    for (const auto& [bitmap, expected] : damaged)
        EXPECT_EQ(readError(read, file(bitmap)).rfind("Invalid BMP file: " + expected, 0), 0u) << expected;
}

TEST(BmpFormat, InvalidFilesAreErrors) {
    const Bitmap good = {8, 4, 2, rows({{0, 1, 2, 3}, {3, 2, 1, 0}}), grays(4)};  // rows without padding
    const Bytes base = file(good);
    ASSERT_EQ(readError(read, base), "");
    expectTruncationsInvalid(read, base, "BMP");

    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = base;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
        return readError(read, b);
    };
    const std::pair<std::string, std::string> cases[] = {
        {patched(14, {41}), "unknown header size 41"},
        {patched(18, {0}), "image size 0 x 2"},
        {patched(28, {7}), "7 bits per pixel"},
        {patched(30, {9}), "unknown compression 9"},
        {patched(46, {1, 1}), "palette of 257 colours for 8-bit pixels"},
        {patched(46, {200}), "truncated palette"},
        {patched(10, {50}), "palette overlaps the pixel data"},
        {[&] { Bytes b = base; std::fill_n(b.begin() + 46, 4, 0); b[10] = 56; return readError(read, b); }(), "empty palette"},
        {patched(10, {0xFF, 0xFF}), "pixel data offset"},
        {patched(26, {2}), "2 planes"},
        {readError(read, file({8, 4, 2, rows({{0, 1, 2, 3}, {3, 4, 1, 0}}), grays(4)})), "pixel index 4 outside"},
        {readError(read, file({16, 3, 2, Bytes(16, 0), {}, 3, {0xF0F0, 0x0F00, 0x000F}})),
         "invalid colour mask 0x0000F0F0"},
        {readError(read, file({24, 4, 2, Bytes(24, 0), {}, 3})), "bit fields with 24 bits"},
    };
    for (const auto& [message, expected] : cases)
        EXPECT_EQ(message.rfind("Invalid BMP file: " + expected, 0), 0u) << message;
}

}  // namespace
