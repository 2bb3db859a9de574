// The PNG reader on files written by libspng itself: every colour type and bit
// depth, interlaced or not, the alpha rule, and damaged files.
#include <gtest/gtest.h>
#include <spng.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Iconic.h"
#include "formats/Formats.h"

using namespace HalconCpp;

namespace {

using Samples = std::vector<uint32_t>;

int samplesOf(uint8_t colourType) {
    switch (colourType) {
    case SPNG_COLOR_TYPE_TRUECOLOR: return 3;
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA: return 2;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA: return 4;
    default: return 1;
    }
}

struct Png {
    uint32_t width = 13, height = 11;  // not a multiple of 8: partial bytes and Adam7 passes
    uint8_t depth = 8;
    uint8_t colourType = SPNG_COLOR_TYPE_GRAYSCALE;
    bool interlaced = false;
    Samples samples;  // interleaved, as the file stores them
    std::vector<std::array<uint8_t, 3>> palette;
    const spng_trns* trns = nullptr;

    // Fills the samples from f(x, y, sample).
    Png& fill(const std::function<uint32_t(uint32_t, uint32_t, int)>& f) {
        const int n = samplesOf(colourType);
        samples.clear();
        for (uint32_t y = 0; y < height; ++y)
            for (uint32_t x = 0; x < width; ++x)
                for (int s = 0; s < n; ++s) samples.push_back(f(x, y, s));
        return *this;
    }
};

std::vector<uint8_t> encode(const Png& png) {
    const size_t perRow = png.width * static_cast<size_t>(samplesOf(png.colourType));
    const size_t rowBytes = (perRow * png.depth + 7) / 8;
    std::vector<uint8_t> raw(rowBytes * png.height, 0);
    for (size_t y = 0; y < png.height; ++y)
        for (size_t k = 0; k < perRow; ++k) {
            const uint32_t v = png.samples[y * perRow + k];
            uint8_t* row = raw.data() + y * rowBytes;
            if (png.depth == 16) {
                const uint16_t v16 = static_cast<uint16_t>(v);
                std::memcpy(row + 2 * k, &v16, 2);
            } else if (png.depth == 8) {
                row[k] = static_cast<uint8_t>(v);
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
    // A gamma that must not be applied, and an ancillary chunk whose damage must be noticed.
    EXPECT_EQ(spng_set_gama(ctx.get(), 1 / 2.2), 0);
    if (png.trns) {
        EXPECT_EQ(spng_set_trns(ctx.get(), const_cast<spng_trns*>(png.trns)), 0);
    }
    EXPECT_EQ(spng_encode_image(ctx.get(), raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE), 0);
    size_t size = 0;
    int error = 0;
    std::unique_ptr<void, void (*)(void*)> buffer(spng_get_png_buffer(ctx.get(), &size, &error), free);
    EXPECT_EQ(error, 0);
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer.get());
    return std::vector<uint8_t>(bytes, bytes + size);
}

// What ReadImage gives for a file: type, size, every channel, the domain.
struct Decoded {
    std::string type;
    Hlong channels = 0, width = 0, height = 0;
    std::vector<Samples> planes;
    Hlong domainArea = 0;
};

Decoded read(const std::vector<uint8_t>& bytes) {
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("ix_png_test_" + std::to_string(getpid()) + ".png")).string();
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    struct Remove {
        std::string path;
        ~Remove() { std::filesystem::remove(path); }
    } remove{path};
    HObject object;
    ReadImage(&object, path.c_str());

    Decoded d;
    HImage image(object);
    HString type;
    image.GetImagePointer1(&type, &d.width, &d.height);
    d.type = type.Text();
    d.channels = image.CountChannels()[0].L();
    HTuple area, row, column;
    AreaCenter(image.GetDomain(), &area, &row, &column);
    d.domainArea = area[0].L();
    const auto& pixels = dynamic_cast<const ixv::Image&>(*ixv::objectsOf(object).at(0));
    const size_t count = static_cast<size_t>(d.width * d.height);
    for (size_t c = 0; c < pixels.channelCount(); ++c) {
        Samples plane(count);
        const uint8_t* data = pixels.plane(c)->data();
        for (size_t i = 0; i < count; ++i)
            plane[i] = d.type == "uint2" ? reinterpret_cast<const uint16_t*>(data)[i] : data[i];
        d.planes.push_back(plane);
    }
    return d;
}

// The expected planes from f(x, y, channel).
std::vector<Samples> planes(const Png& png, int channels, const std::function<uint32_t(uint32_t, uint32_t, int)>& f) {
    std::vector<Samples> result(static_cast<size_t>(channels));
    for (int c = 0; c < channels; ++c)
        for (uint32_t y = 0; y < png.height; ++y)
            for (uint32_t x = 0; x < png.width; ++x) result[c].push_back(f(x, y, c));
    return result;
}

void expectImage(const Png& png, const char* type, const std::vector<Samples>& expected, Hlong domainArea = -1) {
    SCOPED_TRACE(std::string(type) + " colour type " + std::to_string(png.colourType) + ", depth " +
                 std::to_string(png.depth) + (png.interlaced ? ", interlaced" : ""));
    const Decoded d = read(encode(png));
    EXPECT_EQ(d.type, type);
    EXPECT_EQ(d.width, png.width);
    EXPECT_EQ(d.height, png.height);
    EXPECT_EQ(d.channels, static_cast<Hlong>(expected.size()));
    EXPECT_EQ(d.domainArea, domainArea < 0 ? Hlong{png.width * png.height} : domainArea);
    EXPECT_EQ(d.planes, expected);
}

uint32_t pattern(uint32_t x, uint32_t y, int s, uint32_t max) {
    return (0x1234 + x * 7919 + y * 104729 + static_cast<uint32_t>(s) * 31337) % (max + 1);
}

TEST(PngFormat, GrayAndColourSamplesAsStored) {
    for (uint8_t colourType : {SPNG_COLOR_TYPE_GRAYSCALE, SPNG_COLOR_TYPE_TRUECOLOR})
        for (uint8_t depth : {8, 16})
            for (bool interlaced : {false, true}) {
                Png png;
                png.colourType = colourType;
                png.depth = depth;
                png.interlaced = interlaced;
                const uint32_t max = (1u << depth) - 1;
                png.fill([&](uint32_t x, uint32_t y, int s) { return pattern(x, y, s, max); });
                expectImage(png, depth == 16 ? "uint2" : "byte",
                            planes(png, samplesOf(colourType), [&](uint32_t x, uint32_t y, int c) {
                                return pattern(x, y, c, max);
                            }));
                if (depth == 16) {
                    EXPECT_EQ(read(encode(png)).planes[0][0], 0x1234u);  // host order
                }
            }
}

TEST(PngFormat, LowBitDepthGrayScaledToBytes) {
    for (uint8_t depth : {1, 2, 4})
        for (bool interlaced : {false, true}) {
            Png png;
            png.depth = depth;
            png.interlaced = interlaced;
            const uint32_t max = (1u << depth) - 1;
            png.fill([&](uint32_t x, uint32_t y, int) { return (x + 3 * y) % (max + 1); });
            expectImage(png, "byte", planes(png, 1, [&](uint32_t x, uint32_t y, int) {
                            return (x + 3 * y) % (max + 1) * 255 / max;
                        }));
        }
}

TEST(PngFormat, AlphaBinaryBecomesDomainOtherwiseChannel) {
    for (uint8_t colourType : {SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA})
        for (uint8_t depth : {8, 16})
            for (bool binary : {true, false}) {
                Png png;
                png.colourType = colourType;
                png.depth = depth;
                png.interlaced = depth == 16;
                const int n = samplesOf(colourType);
                const uint32_t max = (1u << depth) - 1;
                // Alpha: transparent in column 0 and row 2, else opaque or, when not binary, half.
                auto value = [&](uint32_t x, uint32_t y, int s) {
                    if (s < n - 1) return pattern(x, y, s, max);
                    return x == 0 || y == 2 ? 0 : binary || x < 5 ? max : max / 2;
                };
                png.fill(value);
                const int channels = binary ? n - 1 : n;
                const Hlong opaque = binary ? Hlong{(13 - 1) * (11 - 1)} : -1;
                expectImage(png, depth == 16 ? "uint2" : "byte", planes(png, channels, value), opaque);
            }
}

TEST(PngFormat, PaletteToRgbWithTransparencyAsAlphaOrDomain) {
    const std::vector<std::array<uint8_t, 3>> palette = {
        {10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {100, 110, 120}, {255, 0, 7}};
    spng_trns partial{}, binary{};
    partial.n_type3_entries = 2;  // entries beyond stay opaque
    partial.type3_alpha[0] = 0, partial.type3_alpha[1] = 128;
    binary.n_type3_entries = 2;
    binary.type3_alpha[0] = 255, binary.type3_alpha[1] = 0;
    for (uint8_t depth : {1, 2, 4, 8})
        for (const spng_trns* trns : std::initializer_list<const spng_trns*>{nullptr, &partial, &binary}) {
            Png png;
            png.colourType = SPNG_COLOR_TYPE_INDEXED;
            png.depth = depth;
            png.interlaced = depth == 2;
            png.trns = trns;
            const uint32_t entries = std::min<uint32_t>(1u << depth, 5);
            png.palette.assign(palette.begin(), palette.begin() + entries);
            auto index = [&](uint32_t x, uint32_t y) { return (x + 2 * y) % entries; };
            png.fill([&](uint32_t x, uint32_t y, int) { return index(x, y); });
            Hlong opaque = -1;
            if (trns == &binary) {
                opaque = 0;
                for (uint32_t y = 0; y < png.height; ++y)
                    for (uint32_t x = 0; x < png.width; ++x) opaque += index(x, y) != 1;
            }
            const int channels = trns == &partial ? 4 : 3;
            expectImage(png, "byte", planes(png, channels, [&](uint32_t x, uint32_t y, int c) -> uint32_t {
                            const uint32_t i = index(x, y);
                            if (c < 3) return palette[i][c];
                            return i < 2 ? partial.type3_alpha[i] : 255;
                        }),
                        opaque);
        }
}

TEST(PngFormat, ColourKeyBecomesDomain) {
    for (uint8_t colourType : {SPNG_COLOR_TYPE_GRAYSCALE, SPNG_COLOR_TYPE_TRUECOLOR})
        for (uint8_t depth : {2, 8, 16}) {
            if (colourType == SPNG_COLOR_TYPE_TRUECOLOR && depth == 2) continue;
            Png png;
            png.colourType = colourType;
            png.depth = depth;
            png.interlaced = depth == 8;
            const uint32_t max = (1u << depth) - 1;
            spng_trns key{};
            key.gray = key.red = static_cast<uint16_t>(max), key.green = 1, key.blue = 2;
            png.trns = &key;
            const uint32_t keyed[3] = {max, 1, 2};
            // Every fifth pixel has the key colour; a near miss differs in the last sample only.
            auto value = [&](uint32_t x, uint32_t y, int s) -> uint32_t {
                const uint32_t i = y * png.width + x;
                if (i % 5 == 0) return keyed[s];
                if (i % 5 == 1 && colourType == SPNG_COLOR_TYPE_TRUECOLOR) return s == 2 ? 3 : keyed[s];
                return pattern(x, y, s, max) % max;  // never the gray key
            };
            png.fill(value);
            const uint32_t scale = depth == 2 ? 85 : 1;
            expectImage(png, depth == 16 ? "uint2" : "byte",
                        planes(png, samplesOf(colourType),
                               [&](uint32_t x, uint32_t y, int c) { return value(x, y, c) * scale; }),
                        13 * 11 - (13 * 11 + 4) / 5);
        }
}

// The error of reading these bytes as PNG, or "" when they read.
std::string errorOf(const std::vector<uint8_t>& bytes, size_t size) {
    try {
        ixv::formats::png::read({bytes.data(), size});
        return "";
    } catch (const HException& e) {
        return e.ErrorMessage().Text();
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
    Png rgba;
    rgba.width = 5, rgba.height = 4, rgba.colourType = SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, rgba.interlaced = true;
    rgba.fill([](uint32_t x, uint32_t y, int s) { return pattern(x, y, s, 255); });
    Png indexed;
    indexed.width = 6, indexed.height = 3, indexed.colourType = SPNG_COLOR_TYPE_INDEXED, indexed.depth = 4;
    indexed.palette = {{1, 2, 3}, {4, 5, 6}};
    indexed.fill([](uint32_t x, uint32_t, int) { return x % 2; });
    for (const Png* png : {&rgba, &indexed}) {
        std::vector<uint8_t> bytes = encode(*png);
        ASSERT_EQ(errorOf(bytes, bytes.size()), "");
        for (size_t size = 0; size < bytes.size(); ++size)
            EXPECT_EQ(errorOf(bytes, size).rfind("Invalid PNG file: ", 0), 0u) << "truncated to " << size;
        for (size_t i = 0; i < bytes.size(); ++i)
            for (int bit = 0; bit < 8; ++bit) {
                bytes[i] ^= static_cast<uint8_t>(1 << bit);
                EXPECT_EQ(errorOf(bytes, bytes.size()).rfind("Invalid PNG file: ", 0), 0u) << i << ":" << bit;
                bytes[i] ^= static_cast<uint8_t>(1 << bit);
            }
    }

    // A palette index beyond the palette.
    indexed.fill([](uint32_t x, uint32_t, int) { return x; });
    EXPECT_EQ(errorOf(encode(indexed), encode(indexed).size()),
              "Invalid PNG file: palette index 2 outside the palette of 2 entries");

    // A header claiming far more pixels than the data can hold fails before allocating.
    std::vector<uint8_t> huge = encode(rgba);
    const uint8_t side[4] = {0, 0, 0x9c, 0x40};  // 40000
    std::memcpy(&huge[16], side, 4);
    std::memcpy(&huge[20], side, 4);
    const uint32_t crc = crc32(&huge[12], 17);
    const uint8_t crcBytes[4] = {uint8_t(crc >> 24), uint8_t(crc >> 16), uint8_t(crc >> 8), uint8_t(crc)};
    std::memcpy(&huge[29], crcBytes, 4);
    EXPECT_EQ(errorOf(huge, huge.size()), "Invalid PNG file: image data too short for 40000 x 40000 pixels");

    // Through ReadImage: the format's error, code 5280.
    try {
        read(std::vector<uint8_t>(huge.begin(), huge.begin() + 40));
        ADD_FAILURE() << "no error";
    } catch (const HException& e) {
        EXPECT_EQ(e.ErrorCode(), 5280);
        EXPECT_EQ(std::string(e.ErrorMessage().Text()).rfind("Invalid PNG file: ", 0), 0u);
    }
    EXPECT_TRUE(ixv::formats::png::matches({huge.data(), 8}));
    EXPECT_FALSE(ixv::formats::png::matches({huge.data(), 7}));
}

}  // namespace
