// The PNG reader on files written by libspng itself: every colour type and bit
// depth, interlaced or not, palettes, transparency, and damaged files.
#include <gtest/gtest.h>

#include "PngWriter.h"
#include "TestFiles.h"
#include "formats/png/PngFormat.h"

namespace {

using namespace ixtest::png;
constexpr auto read = ixv::formats::png::readImage;

uint32_t pattern(uint32_t x, uint32_t y, int s, uint32_t max) {
    return (0x1234 + x * 7919 + y * 104729 + static_cast<uint32_t>(s) * 31337) % (max + 1);
}

// Reads the file of `png`: `channels` channels want(x, y, channel), and a domain of
// `domain` pixels (all when negative).
void expectImage(const Png& png, int channels, Hlong domain, const Value& want) {
    SCOPED_TRACE("colour type " + std::to_string(png.colourType) + ", depth " + std::to_string(png.depth) +
                 (png.interlaced ? ", interlaced" : "") + (png.trns ? ", tRNS" : ""));
    const auto image = readOne(read, encode(png));
    ASSERT_EQ(shapeOf(*image), (png.depth == 16 ? "uint2 13x11x" : "byte 13x11x") + std::to_string(channels) +
                                   (domain < 0 ? "" : " domain " + std::to_string(domain)));
    Planes expected(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c)
        for (uint32_t y = 0; y < png.height; ++y)
            for (uint32_t x = 0; x < png.width; ++x) expected[c].push_back(want(x, y, c));
    EXPECT_EQ(planesOf(*image), expected);
}

TEST(PngFormat, GrayAndColourAtEveryDepthWithOrWithoutColourKey) {
    for (uint8_t colourType : {SPNG_COLOR_TYPE_GRAYSCALE, SPNG_COLOR_TYPE_TRUECOLOR})
        for (uint8_t depth : {1, 2, 4, 8, 16})
            for (int variant = 0; variant < 4; ++variant) {
                const bool keyed = variant & 1, interlaced = variant & 2;
                if (colourType == SPNG_COLOR_TYPE_TRUECOLOR && depth < 8) continue;
                const uint32_t max = (1u << depth) - 1, scale = depth < 8 ? 255 / max : 1;  // 1-4 bits: 0..255
                spng_trns key{};
                key.gray = key.red = static_cast<uint16_t>(max), key.green = 1, key.blue = 2;
                const uint32_t keyColour[3] = {max, 1, 2};
                // Keyed: every fifth pixel (29) has the key colour; a near miss differs in the last sample only.
                const Value value = [&](uint32_t x, uint32_t y, int s) -> uint32_t {
                    const uint32_t i = y * 13 + x;
                    if (!keyed) return pattern(x, y, s, max);
                    if (i % 5 == 0) return keyColour[s];
                    if (i % 5 == 1 && colourType == SPNG_COLOR_TYPE_TRUECOLOR) return s == 2 ? 3 : keyColour[s];
                    return pattern(x, y, s, max) % max;  // never the gray key
                };
                const Png png{colourType, depth, interlaced, value, {}, keyed ? &key : nullptr};
                expectImage(png, samplesOf(colourType), keyed ? 143 - 29 : -1,
                            [&](uint32_t x, uint32_t y, int c) { return value(x, y, c) * scale; });
            }
}

// Gray and colour with an alpha channel, binary (the domain) or graded (a channel), at 8 and
// 16 bits: the writer's round trips in ImageWrite read them.
TEST(PngFormat, PaletteToRgbWithTransparencyAsAlphaOrDomain) {
    const std::vector<std::array<uint8_t, 3>> palette = {
        {10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}, {255, 0, 7}};
    spng_trns partial{}, binary{};
    partial.n_type3_entries = binary.n_type3_entries = 2;  // entries beyond stay opaque
    partial.type3_alpha[0] = 0, partial.type3_alpha[1] = 128;
    binary.type3_alpha[0] = 255, binary.type3_alpha[1] = 0;
    for (uint8_t depth : {1, 2, 4, 8})
        for (const spng_trns* trns : std::initializer_list<const spng_trns*>{nullptr, &partial, &binary}) {
            const uint32_t entries = std::min<uint32_t>(1u << depth, 5);
            const Value index = [&](uint32_t x, uint32_t y, int) { return (x + 2 * y) % entries; };
            Hlong opaque = 0;
            for (uint32_t y = 0; y < 11; ++y)
                for (uint32_t x = 0; x < 13; ++x) opaque += index(x, y, 0) != 1;
            const std::vector<std::array<uint8_t, 3>> used(palette.begin(), palette.begin() + entries);
            expectImage({SPNG_COLOR_TYPE_INDEXED, depth, depth == 2, index, used, trns},
                        trns == &partial ? 4 : 3, trns == &binary ? opaque : -1,
                        [&](uint32_t x, uint32_t y, int c) -> uint32_t {
                            const uint32_t i = index(x, y, 0);
                            return c < 3 ? palette[i][c] : i < 2 ? partial.type3_alpha[i] : 255;
                        });
        }
}

TEST(PngFormat, DamagedFilesAreInvalidPng) {
    const Value value = [](uint32_t x, uint32_t y, int s) { return pattern(x, y, s, 255); };
    std::vector<uint8_t> bytes = encode({SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, true, value, {}, nullptr, 5, 4});
    ASSERT_EQ(readError(read, bytes), "");
    expectTruncationsInvalid(read, bytes, "PNG");
    for (size_t i = 0; i < bytes.size(); ++i)  // every chunk has a checksum: no bit flips unnoticed
        for (int bit = 0; bit < 8; ++bit) {
            bytes[i] ^= static_cast<uint8_t>(1 << bit);
            EXPECT_EQ(readError(read, bytes).rfind("Invalid PNG file: ", 0), 0u) << i << ":" << bit;
            bytes[i] ^= static_cast<uint8_t>(1 << bit);
        }

    const Png indexed{SPNG_COLOR_TYPE_INDEXED, 4, false, [](uint32_t x, uint32_t, int) { return x; }, {{1, 2, 3}, {4}}};
    EXPECT_EQ(readError(read, encode(indexed)), "Invalid PNG file: palette index 2 outside the palette of 2 entries");
}

TEST(PngFormat, AFileTruncatedWhileBeingReadIsAReadError) {
    const Value value = [](uint32_t x, uint32_t y, int s) { return pattern(x, y, s, 255); };
    for (bool interlaced : {false, true})
        expectTruncatedWhileRead(read, encode({SPNG_COLOR_TYPE_TRUECOLOR, 8, interlaced, value, {}, nullptr, 300, 200}));
}

}  // namespace
