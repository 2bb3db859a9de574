// BMP reading: files of each layout built byte by byte, read back pixel by pixel.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Iconic.h"
#include "formats/Formats.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ixv::formats::bmp::read;

struct Rgb {
    uint8_t r, g, b;
};

struct Bitmap {
    uint32_t headerSize = 40;
    int32_t width = 0, height = 0;  // negative height: top-down
    uint16_t bits = 8;
    uint32_t compression = 0;
    std::vector<uint32_t> masks;  // in the header, or after a 40-byte one
    std::vector<Rgb> palette;
    Bytes pixels;  // as stored: padded rows, or the RLE stream
};

void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v)), b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF), put16(b, v >> 16);
}

Bytes file(const Bitmap& bm) {
    Bytes info;
    put32(info, bm.headerSize);
    if (bm.headerSize == 12) {
        put16(info, static_cast<uint32_t>(bm.width)), put16(info, static_cast<uint32_t>(bm.height));
        put16(info, 1), put16(info, bm.bits);
    } else {
        put32(info, static_cast<uint32_t>(bm.width)), put32(info, static_cast<uint32_t>(bm.height));
        put16(info, 1), put16(info, bm.bits), put32(info, bm.compression);
        put32(info, static_cast<uint32_t>(bm.pixels.size())), put32(info, 2835), put32(info, 2835);
        put32(info, static_cast<uint32_t>(bm.palette.size())), put32(info, 0);
        for (size_t i = 0; i < bm.masks.size() && bm.headerSize > 40; ++i) put32(info, bm.masks[i]);
        info.resize(bm.headerSize, 0);
        if (bm.headerSize == 40)
            for (uint32_t m : bm.masks) put32(info, m);
    }
    for (const Rgb& c : bm.palette) {
        info.push_back(c.b), info.push_back(c.g), info.push_back(c.r);
        if (bm.headerSize != 12) info.push_back(0);
    }
    Bytes out = {'B', 'M'};
    put32(out, static_cast<uint32_t>(14 + info.size() + bm.pixels.size()));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(14 + info.size()));
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), bm.pixels.begin(), bm.pixels.end());
    return out;
}

// Rows as stored, each padded to four bytes.
Bytes rows(std::initializer_list<Bytes> list) {
    Bytes out;
    for (const Bytes& row : list) {
        out.insert(out.end(), row.begin(), row.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    return out;
}

std::vector<Rgb> grays(int count) {
    std::vector<Rgb> p;
    for (int i = 0; i < count; ++i) {
        const auto v = static_cast<uint8_t>(i * 255 / (count - 1));
        p.push_back({v, v, v});
    }
    return p;
}

const ixv::Image& single(const std::vector<ixv::IconicPtr>& items) {
    EXPECT_EQ(items.size(), 1u);
    return ixv::objectAs<ixv::Image>(items.at(0), "test");
}

std::shared_ptr<const ixv::Image> readBytes(const Bytes& bytes) {
    auto items = read({bytes.data(), bytes.size()});
    const ixv::Image& image = single(items);
    EXPECT_EQ(image.type(), ixv::PixelType::Byte);
    return std::dynamic_pointer_cast<const ixv::Image>(items.at(0));
}

// The channels of an image, each as its bytes, top row first.
std::vector<Bytes> planes(const ixv::Image& image) {
    std::vector<Bytes> out;
    const size_t n = static_cast<size_t>(image.width() * image.height());
    for (size_t c = 0; c < image.channelCount(); ++c)
        out.emplace_back(image.plane(c)->data(), image.plane(c)->data() + n);
    return out;
}

using Runs = std::vector<std::array<int, 3>>;

// The runs of a reduced domain: row, first column, last column.
Runs domainRuns(const ixv::Image& image) {
    Runs runs;
    if (image.reducedDomain())
        for (const ixv::Run& r : image.reducedDomain()->runs()) runs.push_back({r.row, r.columnBegin, r.columnEnd});
    return runs;
}

std::string errorOf(const Bytes& bytes) {
    try {
        read({bytes.data(), bytes.size()});
    } catch (const HalconCpp::HException& e) {
        return e.ErrorMessage().Text();
    }
    return "";
}

TEST(BmpFormat, PaletteImagesAreGrayOnlyWhenEveryUsedEntryIsGray) {
    // 8 bit, gray palette, bottom-up: the last stored row is the top one.
    Bitmap bm;
    bm.width = 3, bm.height = 2, bm.palette = grays(256);
    bm.pixels = rows({{10, 20, 30}, {40, 50, 60}});
    auto image = readBytes(file(bm));
    EXPECT_EQ(image->width(), 3);
    EXPECT_EQ(image->height(), 2);
    EXPECT_EQ(planes(*image), (std::vector<Bytes>{{40, 50, 60, 10, 20, 30}}));
    EXPECT_EQ(image->reducedDomain(), nullptr);

    // A palette with colours that no pixel uses is still gray.
    bm.palette = {{0, 0, 0}, {255, 0, 0}, {7, 7, 7}};
    bm.pixels = rows({{0, 2, 0}, {2, 2, 0}});
    EXPECT_EQ(planes(*readBytes(file(bm))), (std::vector<Bytes>{{7, 7, 0, 0, 7, 0}}));
    bm.pixels = rows({{0, 2, 0}, {2, 1, 0}});
    EXPECT_EQ(planes(*readBytes(file(bm))),
              (std::vector<Bytes>{{7, 255, 0, 0, 7, 0}, {7, 0, 0, 0, 7, 0}, {7, 0, 0, 0, 7, 0}}));

    // 4 bit colour, odd width, top-down.
    Bitmap four;
    four.bits = 4, four.width = 5, four.height = -2;
    four.palette = {{1, 2, 3}, {4, 5, 6}, {7, 8, 9}};
    four.pixels = rows({{0x01, 0x20, 0x10}, {0x22, 0x11, 0x00}});
    EXPECT_EQ(planes(*readBytes(file(four))), (std::vector<Bytes>{{1, 4, 7, 1, 4, 7, 7, 4, 4, 1},
                                                                  {2, 5, 8, 2, 5, 8, 8, 5, 5, 2},
                                                                  {3, 6, 9, 3, 6, 9, 9, 6, 6, 3}}));

    // 1 bit black and white, row of 10 pixels padded to 4 bytes.
    Bitmap one;
    one.bits = 1, one.width = 10, one.height = 1, one.palette = grays(2);
    one.pixels = rows({{0xA5, 0x40}});
    EXPECT_EQ(planes(*readBytes(file(one))), (std::vector<Bytes>{{255, 0, 255, 0, 0, 255, 0, 255, 0, 255}}));

    // OS/2 core header: three-byte palette entries.
    Bitmap core;
    core.headerSize = 12, core.width = 2, core.height = 1, core.palette = {{9, 9, 9}, {200, 100, 50}};
    core.pixels = rows({{1, 0}});
    EXPECT_EQ(planes(*readBytes(file(core))), (std::vector<Bytes>{{200, 9}, {100, 9}, {50, 9}}));
}

TEST(BmpFormat, TrueColourLayouts) {
    // 24 bit, top-down, three bytes of padding per row.
    Bitmap bm;
    bm.bits = 24, bm.width = 3, bm.height = -2;
    bm.pixels = rows({{1, 2, 3, 4, 5, 6, 7, 8, 9}, {10, 11, 12, 13, 14, 15, 16, 17, 18}});
    EXPECT_EQ(planes(*readBytes(file(bm))),
              (std::vector<Bytes>{{3, 6, 9, 12, 15, 18}, {2, 5, 8, 11, 14, 17}, {1, 4, 7, 10, 13, 16}}));
    bm.headerSize = 12, bm.height = 2;  // OS/2, bottom-up
    EXPECT_EQ(planes(*readBytes(file(bm)))[0], (Bytes{12, 15, 18, 3, 6, 9}));

    // 16 bit: 5-5-5 by default, 5-6-5 from bit fields; fields scale to 0..255.
    Bitmap sixteen;
    sixteen.bits = 16, sixteen.width = 2, sixteen.height = 1;
    sixteen.pixels = rows({{0x1F, 0x7C, 0x10, 0x02}});  // 0x7C1F, 0x0210
    EXPECT_EQ(planes(*readBytes(file(sixteen))), (std::vector<Bytes>{{255, 0}, {0, 132}, {255, 132}}));
    sixteen.compression = 3, sixteen.masks = {0xF800, 0x07E0, 0x001F};
    EXPECT_EQ(planes(*readBytes(file(sixteen))), (std::vector<Bytes>{{123, 0}, {130, 65}, {255, 132}}));

    // 32 bit uncompressed: the fourth byte is not alpha.
    Bitmap rgbx;
    rgbx.bits = 32, rgbx.width = 2, rgbx.height = 1;
    rgbx.pixels = rows({{1, 2, 3, 77, 4, 5, 6, 0}});
    auto image = readBytes(file(rgbx));
    EXPECT_EQ(planes(*image), (std::vector<Bytes>{{3, 6}, {2, 5}, {1, 4}}));
    EXPECT_EQ(image->reducedDomain(), nullptr);

    // 32 bit with an alpha mask (V5 header): graded alpha stays a channel,
    // binary alpha becomes the domain.
    Bitmap argb;
    argb.headerSize = 124, argb.bits = 32, argb.compression = 3, argb.width = 3, argb.height = 1;
    argb.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    argb.pixels = rows({{1, 2, 3, 255, 4, 5, 6, 128, 7, 8, 9, 0}});
    EXPECT_EQ(planes(*readBytes(file(argb))), (std::vector<Bytes>{{3, 6, 9}, {2, 5, 8}, {1, 4, 7}, {255, 128, 0}}));
    argb.pixels = rows({{1, 2, 3, 255, 4, 5, 6, 0, 7, 8, 9, 255}});
    image = readBytes(file(argb));
    EXPECT_EQ(image->channelCount(), 3u);
    EXPECT_EQ(domainRuns(*image), (Runs{{0, 0, 0}, {0, 2, 2}}));

    // Unusual masks after a 40-byte header: 10-bit fields and a 2-bit alpha.
    Bitmap wide;
    wide.bits = 32, wide.compression = 6, wide.width = 1, wide.height = 1;
    wide.masks = {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000};
    wide.pixels = rows({{0xFF, 0x03, 0x00, 0x40}});  // B = 1023, G = 0, R = 0, A = 1
    EXPECT_EQ(planes(*readBytes(file(wide))), (std::vector<Bytes>{{0}, {0}, {255}, {85}}));
}

TEST(BmpFormat, RunLengthEncodedBitmaps) {
    // 8-bit RLE, 6 x 4, bottom-up: a run, a literal run, end of line, a delta
    // that skips pixels, end of bitmap. Skipped pixels fall outside the domain.
    Bitmap bm;
    bm.compression = 1, bm.width = 6, bm.height = 4;
    bm.palette = {{0, 0, 0}, {10, 10, 10}, {20, 20, 20}, {30, 30, 30}};
    bm.pixels = {
        3, 1, 0, 3, 2, 3, 2, 0, 0, 0,  // bottom row: 1 1 1 2 3 2, end of line
        0, 2, 2, 1,                    // delta: right 2, up 1, skipping the second row
        2, 3, 0, 0,                    // third row: _ _ 3 3 _ _
        6, 2, 0, 1,                    // top row: 2 x 6, then end of bitmap
    };
    auto image = readBytes(file(bm));
    EXPECT_EQ(image->channelCount(), 1u);
    EXPECT_EQ(planes(*image)[0], (Bytes{20, 20, 20, 20, 20, 20,   //
                                        0, 0, 30, 30, 0, 0,       //
                                        0, 0, 0, 0, 0, 0,         //
                                        10, 10, 10, 20, 30, 20}));
    EXPECT_EQ(domainRuns(*image), (Runs{{0, 0, 5}, {1, 2, 3}, {3, 0, 5}}));

    // 4-bit RLE covering every pixel: no domain; runs alternate two colours.
    Bitmap four;
    four.compression = 2, four.bits = 4, four.width = 5, four.height = 2;
    four.palette = {{1, 0, 0}, {2, 0, 0}, {3, 0, 0}};
    four.pixels = {5, 0x12, 0, 0, 0, 5, 0x01, 0x22, 0x00, 0, 0, 1};
    image = readBytes(file(four));
    EXPECT_EQ(planes(*image)[0], (Bytes{1, 2, 3, 3, 1, 2, 3, 2, 3, 2}));
    EXPECT_EQ(image->channelCount(), 3u);
    EXPECT_EQ(image->reducedDomain(), nullptr);

    // Damaged streams.
    Bitmap bad = bm;
    bad.pixels = {7, 1, 0, 0};  // a run past the row end is cut, but the data ends early
    EXPECT_NE(errorOf(file(bad)).find("RLE data ends before the end of the bitmap"), std::string::npos);
    bad.pixels = {0, 5, 1, 2};  // literal run of 5 with 2 bytes
    EXPECT_NE(errorOf(file(bad)).find("truncated RLE run"), std::string::npos);
    bad.pixels = {0, 2, 0, 9, 1, 1};  // delta past the top, then pixels
    EXPECT_NE(errorOf(file(bad)).find("RLE pixels past the last row"), std::string::npos);
    bad.pixels = {2, 9, 0, 1};  // index outside the palette
    EXPECT_NE(errorOf(file(bad)).find("pixel index 9 outside the palette of 4 colours"), std::string::npos);
    bad.height = -4;
    EXPECT_NE(errorOf(file(bad)).find("top-down RLE"), std::string::npos);
}

TEST(BmpFormat, InvalidFilesAreErrors) {
    Bitmap good;
    good.width = 3, good.height = 2, good.palette = grays(4);
    good.pixels = rows({{0, 1, 2}, {3, 2, 1}});
    const Bytes base = file(good);
    ASSERT_EQ(errorOf(base), "");

    auto with = [&](auto change) {
        Bitmap bm = good;
        change(bm);
        return errorOf(file(bm));
    };
    auto patched = [&](size_t at, std::initializer_list<uint8_t> bytes) {
        Bytes b = base;
        std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<long>(at));
        return errorOf(b);
    };
    const std::vector<std::pair<std::string, std::string>> cases = {
        {errorOf(Bytes(base.begin(), base.end() - 5)), "pixel data truncated"},
        {errorOf(Bytes(base.begin(), base.begin() + 30)), "truncated header"},
        {patched(14, {41}), "unknown header size 41"},
        {patched(18, {0}), "image size 0 x 2"},
        {patched(28, {7}), "7 bits per pixel"},
        {patched(30, {9}), "unknown compression 9"},
        {patched(46, {1, 1}), "palette of 257 colours for 8-bit pixels"},
        {patched(10, {50}), "palette overlaps the pixel data"},
        {patched(10, {0xFF, 0xFF}), "pixel data offset"},
        {patched(26, {2}), "2 planes"},
        {with([](Bitmap& bm) { bm.pixels = rows({{0, 1, 2}, {3, 4, 1}}); }), "pixel index 4 outside the palette"},
        {with([](Bitmap& bm) {
             bm.bits = 16, bm.compression = 3, bm.masks = {0xF0F0, 0x0F00, 0x000F}, bm.palette.clear();
             bm.pixels = rows({{0, 0, 0, 0, 0, 0}, {0, 0, 0, 0, 0, 0}});
         }),
         "invalid colour mask 0x0000F0F0"},
        {with([](Bitmap& bm) { bm.bits = 24, bm.compression = 3, bm.palette.clear(); }), "bit fields with 24 bits"},
        {errorOf({'B', 'A', 0, 0}), "not a BMP file"},
    };
    for (const auto& [message, expected] : cases) {
        EXPECT_EQ(message.rfind("Invalid BMP file: ", 0), 0u) << message;
        EXPECT_NE(message.find(expected), std::string::npos) << message << " / " << expected;
    }

    EXPECT_TRUE(ixv::formats::bmp::matches({base.data(), base.size()}));
    EXPECT_TRUE(ixv::formats::bmp::matches({base.data(), 2}));
    const Bytes text = {'B', 'M', 'W', ' ', 'i', 's', ' ', 'a', ' ', 'c', 'a', 'r', ' ', 'm', 'a', 'k', 'e', 'r'};
    EXPECT_FALSE(ixv::formats::bmp::matches({text.data(), text.size()}));
}

}  // namespace
