// PNM reading: PBM, PGM and PPM files of every kind, built as text and bytes.
#include <gtest/gtest.h>

#include "PnmWriter.h"
#include "TestFiles.h"
#include "formats/pnm/PnmFormat.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr auto read = ixv::formats::pnm::readImage;
using ixtest::pnm::file;

TEST(PnmFormat, EveryKindKeepsItsValues) {
    const struct {
        Bytes file;
        const char* shape;
        Planes planes;
    } cases[] = {
        // Bitmaps: black is 0, white 255. Plain: comments anywhere, digits with or without spaces.
        {file("P1\n# a comment\n3 # width\n2\n1 0 1\n001"), "byte 3x2x1", {{0, 255, 0, 255, 255, 0}}},
        // Raw: rows padded to whole bytes; what follows the image is ignored.
        {file("P4 10 2\n", {0xA5, 0x40, 0x00, 0xFF, 'P', '4'}), "byte 10x2x1",
         {{0, 255, 0, 255, 255, 0, 255, 0, 255, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0}}},
        {file("P2 3 1 15\n0 7\n15\n"), "byte 3x1x1", {{0, 7, 15}}},
        {file("P2\n2 1\n1000\n999 1000"), "uint2 2x1x1", {{999, 1000}}},
        {file("P3 1 1 65535 65535 256 0"), "uint2 1x1x3", {{65535}, {256}, {0}}},
        // A single whitespace byte ends the header, even when the raster starts with one.
        {file("P5 2 1 200\n", {'\n', ' '}), "byte 2x1x1", {{'\n', ' '}}},
        {file("P5 2 1 4095\n", {0x0F, 0xFF, 0x01, 0x02}), "uint2 2x1x1", {{4095, 258}}},  // big-endian
        {file("P6 1 2 65535\n", {0xFF, 0xFE, 0, 1, 1, 0, 0, 0, 0, 2, 3, 4}), "uint2 1x2x3",
         {{65534, 0}, {1, 2}, {256, 772}}},
    };
    for (const auto& c : cases) {
        const auto image = readOne(read, c.file);
        EXPECT_EQ(shapeOf(*image), c.shape) << std::string(c.file.begin(), c.file.end());
        EXPECT_EQ(planesOf(*image), c.planes) << std::string(c.file.begin(), c.file.end());
    }
}

TEST(PnmFormat, InvalidFilesAreErrors) {
    const Bytes good = file("P6 2 1 65535\n", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
    ASSERT_EQ(readError(read, good), "");
    expectTruncationsInvalid(read, good, "PNM");

    const std::pair<Bytes, std::string> cases[] = {
        {file("P2 2 1 100 7 101"), "sample 101 above the maximum value 100 at offset 13"},
        {file("P5 2 1 100\n", {7, 101}), "sample 101 above the maximum value 100 at offset 12"},
        {file("P6 1 1 1000\n", {0, 1, 0x03, 0xE9, 0, 0}), "sample 1001 above the maximum value 1000"},
        {file("P5 2 2 255\n", {1, 2, 3}), "truncated pixel data: 4 bytes needed at offset 11, 3 present"},
        {file("P4 9 2\n", {0, 0, 0}), "truncated pixel data: 4 bytes needed"},
        {file("P2 2 2 255 1 2 3        "), "truncated pixel data"},
        {file("P1 2 2 0 1 2 1"), "expected 0 or 1 at offset 11"},
        {file("P3 1 1 255 1 x 3"), "expected the sample at offset 13"},
        {file("P5 2 1 0\n", {0, 0}), "maximum value 0"},
        {file("P5 2 1 65536\n", {0, 0}), "maximum value above 65535"},
        {file("P5 2 0 255\n"), "image size 2 x 0"},
        {file("P5 2 1 255", {0, 0}), "no whitespace after the header"},
        {file("P6 2 # no height"), "file ends before the height"},
        {file("P6 99999999999 1 255\n"), "width above 2147483648"},
        {file("P7 1 1 255\n", {0}), "not a PNM file"},
    };
    for (const auto& [bytes, expected] : cases) {
        const std::string message = readError(read, bytes);
        EXPECT_EQ(message.rfind("Invalid PNM file: " + expected, 0), 0u) << message;
    }
    // A size within the format but beyond the library's limits.
    EXPECT_EQ(errorOf([&] { readOne(read, file("P5 65536 65536 255\n")); }), 6001);
}

}  // namespace
