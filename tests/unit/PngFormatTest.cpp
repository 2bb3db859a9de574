// The PNG reader on files written by libspng itself: every colour type and bit
// depth, interlaced or not, palettes, transparency, and damaged files.
#include <gtest/gtest.h>
#include <spng.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Raises.h"
#include "TestFiles.h"
#include "formats/png/PngFormat.h"

namespace {

using ixv::formats::png::readImage;
constexpr auto read = ixv::formats::png::readImage;
using Value = std::function<uint32_t(uint32_t x, uint32_t y, int sample)>;

int samplesOf(uint8_t colourType) {
    return std::array<int, 7>{1, 0, 3, 1, 2, 0, 4}.at(colourType);
}

struct Png {
    uint8_t colourType, depth;
    bool interlaced;
    Value value;  // the stored samples
    std::vector<std::array<uint8_t, 3>> palette = {};
    const spng_trns* trns = nullptr;
    uint32_t width = 13, height = 11;  // not a multiple of 8: partial bytes and Adam7 passes
};

std::vector<uint8_t> encode(const Png& png) {
    const size_t perRow = png.width * static_cast<size_t>(samplesOf(png.colourType));
    const size_t rowBytes = (perRow * png.depth + 7) / 8;
    std::vector<uint8_t> raw(rowBytes * png.height, 0);
    for (uint32_t y = 0; y < png.height; ++y)
        for (size_t k = 0; k < perRow; ++k) {
            const uint32_t v = png.value(static_cast<uint32_t>(k) / samplesOf(png.colourType), y,
                                         static_cast<int>(k % samplesOf(png.colourType)));
            uint8_t* row = raw.data() + y * rowBytes;
            if (png.depth == 16) {
                const uint16_t v16 = static_cast<uint16_t>(v);  // spng takes 16-bit samples in host order
                std::memcpy(row + 2 * k, &v16, 2);
            } else {
                row[k * png.depth / 8] |= static_cast<uint8_t>(v << (8 - png.depth - k * png.depth % 8));
            }
        }
    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{png.width, png.height, png.depth, png.colourType, 0, 0, static_cast<uint8_t>(png.interlaced)};
    EXPECT_EQ(spng_set_ihdr(ctx.get(), &ihdr), 0);
    if (!png.palette.empty()) {
        spng_plte plte{};
        plte.n_entries = static_cast<uint32_t>(png.palette.size());
        for (size_t i = 0; i < png.palette.size(); ++i)
            plte.entries[i] = {png.palette[i][0], png.palette[i][1], png.palette[i][2], 255};
        EXPECT_EQ(spng_set_plte(ctx.get(), &plte), 0);
    }
    EXPECT_EQ(spng_set_gama(ctx.get(), 1 / 2.2), 0);  // a gamma that must not be applied
    if (png.trns) {
        EXPECT_EQ(spng_set_trns(ctx.get(), const_cast<spng_trns*>(png.trns)), 0);
    }
    EXPECT_EQ(spng_encode_image(ctx.get(), raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
    size_t size = 0;
    int error = 0;
    std::unique_ptr<void, void (*)(void*)> buffer(spng_get_png_buffer(ctx.get(), &size, &error), free);
    EXPECT_EQ(error, 0);
    return std::vector<uint8_t>(static_cast<uint8_t*>(buffer.get()), static_cast<uint8_t*>(buffer.get()) + size);
}

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

TEST(PngFormat, AlphaBinaryBecomesDomainOtherwiseChannel) {
    for (uint8_t colourType : {SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA})
        for (uint8_t depth : {8, 16})
            for (bool binary : {true, false}) {
                const int n = samplesOf(colourType);
                const uint32_t max = (1u << depth) - 1;
                // Transparent in column 0 and row 2, else opaque or, when not binary, half.
                const Value value = [&](uint32_t x, uint32_t y, int s) {
                    if (s < n - 1) return pattern(x, y, s, max);
                    return x == 0 || y == 2 ? 0 : binary || x < 5 ? max : max / 2;
                };
                expectImage({colourType, depth, depth == 16, value}, binary ? n - 1 : n, binary ? 12 * 10 : -1, value);
            }
}

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

uint32_t crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xffffffff;
    while (n--) {
        crc ^= *p++;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
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

    // A header claiming 40000 x 40000 pixels, far more than the data can hold, fails before allocating.
    const uint8_t header[17] = {'I', 'H', 'D', 'R', 0, 0, 0x9c, 0x40, 0, 0, 0x9c, 0x40, 8, 6, 0, 0, 1};
    const uint32_t crc = crc32(header, 17);
    const uint8_t crcBytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    std::memcpy(&bytes[12], header, 17);
    std::memcpy(&bytes[29], crcBytes, 4);
    EXPECT_EQ(readError(read, bytes), "Invalid PNG file: image data too short for 40000 x 40000 pixels");

    EXPECT_STREQ(ixv::formats::formatOf(bytes.data(), 8)->name, "PNG");
    EXPECT_FALSE(ixv::formats::png::matches(bytes.data(), 7));
}

// One chunk: length, type, data, checksum.
std::string chunk(const char* type, const std::string& data) {
    std::string bytes;
    for (int k = 0; k < 4; ++k) bytes += static_cast<char>(data.size() >> (24 - 8 * k));
    const std::string body = type + data;
    const uint32_t crc = crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size());
    bytes += body;
    for (int k = 0; k < 4; ++k) bytes += static_cast<char>(crc >> (24 - 8 * k));
    return bytes;
}

TEST(PngFormat, ImagesBeyondTheFilesBudgetAreRefusedBeforeDecoding) {
    // One-bit palette indices with a partial alpha become four byte planes: a
    // 60 kB file whose image data could inflate to 20000 x 20000 indices would
    // need 1.6 GB of planes, more than such a file may produce.
    const std::string header = {0, 0, 0x4e, 0x20, 0, 0, 0x4e, 0x20, 1, SPNG_COLOR_TYPE_INDEXED, 0, 0, 0};
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + chunk("IHDR", header) +
                            chunk("PLTE", std::string("\0\0\0\xff\xff\xff", 6)) + chunk("tRNS", "\x80\xff") +
                            chunk("IDAT", std::string(60000, '\0')) + chunk("IEND", "");
    const std::string message = readError(read, std::vector<uint8_t>(png.begin(), png.end()));
    EXPECT_EQ(message.rfind("image of 20000 x 20000 pixels x 4 channels of byte exceeds the limit of ", 0), 0u)
        << message;
}

TEST(PngFormat, AFileTruncatedWhileBeingReadIsAReadError) {
    const Value value = [](uint32_t x, uint32_t y, int s) { return pattern(x, y, s, 255); };
    for (bool interlaced : {false, true}) {
        TempDir dir;
        const std::vector<uint8_t> bytes =
            encode({SPNG_COLOR_TYPE_TRUECOLOR, 8, interlaced, value, {}, nullptr, 300, 200});
        const std::string path = dir.write("camera.png", bytes);
        const auto file = ixv::formats::ByteSource::openFile(path, "read_image");
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(bytes.size() / 2)), 0);
        ixv::Budget budget = budgetOf(read, file);
        EXPECT_EQ(errorOf([&] { read(file, budget); }), 5201);
        EXPECT_NE(messageOf([&] { read(file, budget); }).find("was truncated while being read"), std::string::npos);
    }
}

}  // namespace
