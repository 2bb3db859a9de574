// PNM reading: PBM, PGM and PPM files of every kind, built as text and bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Iconic.h"
#include "formats/Formats.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Words = std::vector<uint16_t>;

Bytes bytesOf(const std::string& header, const Bytes& raster = {}) {
    Bytes out(header.begin(), header.end());
    out.insert(out.end(), raster.begin(), raster.end());
    return out;
}

std::shared_ptr<const ixv::Image> read(const Bytes& bytes) {
    auto items = ixv::formats::pnm::read({bytes.data(), bytes.size()});
    EXPECT_EQ(items.size(), 1u);
    return std::dynamic_pointer_cast<const ixv::Image>(items.at(0));
}

// Every channel of a byte image, top row first.
std::vector<Bytes> bytePlanes(const ixv::Image& image) {
    EXPECT_EQ(image.type(), ixv::PixelType::Byte);
    std::vector<Bytes> out;
    const size_t n = static_cast<size_t>(image.width() * image.height());
    for (size_t c = 0; c < image.channelCount(); ++c) out.emplace_back(image.plane(c)->data(), image.plane(c)->data() + n);
    return out;
}

std::vector<Words> wordPlanes(const ixv::Image& image) {
    EXPECT_EQ(image.type(), ixv::PixelType::UInt2);
    std::vector<Words> out;
    const size_t n = static_cast<size_t>(image.width() * image.height());
    for (size_t c = 0; c < image.channelCount(); ++c) {
        Words words(n);
        std::memcpy(words.data(), image.plane(c)->data(), 2 * n);
        out.push_back(words);
    }
    return out;
}

std::string errorOf(const Bytes& bytes) {
    try {
        ixv::formats::pnm::read({bytes.data(), bytes.size()});
    } catch (const HalconCpp::HException& e) {
        return e.ErrorMessage().Text();
    }
    return "";
}

TEST(PnmFormat, BitmapsGiveBlackAsZeroAndWhiteAs255) {
    // Plain: comments anywhere in the header, digits with or without spaces.
    auto image = read(bytesOf("P1\n# a comment\n3 # width\n2\n1 0 1\n001"));
    EXPECT_EQ(image->width(), 3);
    EXPECT_EQ(image->height(), 2);
    EXPECT_EQ(bytePlanes(*image), (std::vector<Bytes>{{0, 255, 0, 255, 255, 0}}));

    // Raw: rows padded to whole bytes; what follows the image is ignored.
    image = read(bytesOf("P4 10 2\n", {0xA5, 0x40, 0x00, 0xFF, 'P', '4'}));
    EXPECT_EQ(bytePlanes(*image),
              (std::vector<Bytes>{{0, 255, 0, 255, 255, 0, 255, 0, 255, 0, 255, 255, 255, 255, 255, 255, 255, 255, 0, 0}}));
}

TEST(PnmFormat, GrayAndColourKeepTheirValues) {
    EXPECT_EQ(bytePlanes(*read(bytesOf("P2 3 1 15\n0 7\n15\n"))), (std::vector<Bytes>{{0, 7, 15}}));
    EXPECT_EQ(wordPlanes(*read(bytesOf("P2\n2 1\n1000\n999 1000"))), (std::vector<Words>{{999, 1000}}));
    EXPECT_EQ(bytePlanes(*read(bytesOf("P3 2 1 255 1 2 3 4 5 6"))), (std::vector<Bytes>{{1, 4}, {2, 5}, {3, 6}}));
    EXPECT_EQ(wordPlanes(*read(bytesOf("P3 1 1 65535 65535 256 0"))), (std::vector<Words>{{65535}, {256}, {0}}));

    EXPECT_EQ(bytePlanes(*read(bytesOf("P5 2 2 255\n", {1, 2, 3, 4}))), (std::vector<Bytes>{{1, 2, 3, 4}}));
    // A single whitespace byte ends the header, even when the raster starts with one.
    EXPECT_EQ(bytePlanes(*read(bytesOf("P5 2 1 200\n", {'\n', ' '}))), (std::vector<Bytes>{{'\n', ' '}}));
    // 16-bit samples are big-endian.
    EXPECT_EQ(wordPlanes(*read(bytesOf("P5 2 1 4095\n", {0x0F, 0xFF, 0x01, 0x02}))), (std::vector<Words>{{4095, 258}}));
    EXPECT_EQ(bytePlanes(*read(bytesOf("P6 2 1 255\n", {1, 2, 3, 4, 5, 6, 7}))),
              (std::vector<Bytes>{{1, 4}, {2, 5}, {3, 6}}));
    EXPECT_EQ(wordPlanes(*read(bytesOf("P6 1 2 65535\n", {0xFF, 0xFE, 0, 1, 1, 0, 0, 0, 0, 2, 3, 4}))),
              (std::vector<Words>{{65534, 0}, {1, 2}, {256, 772}}));
    const auto image = read(bytesOf("P6 1 2 65535\n", Bytes(12, 0)));
    EXPECT_EQ(image->channelCount(), 3u);
    EXPECT_EQ(image->reducedDomain(), nullptr);
}

TEST(PnmFormat, InvalidFilesAreErrors) {
    const std::vector<std::pair<Bytes, std::string>> cases = {
        {bytesOf("P2 2 1 100 7 101"), "sample 101 above the maximum value 100 at offset 13"},
        {bytesOf("P5 2 1 100\n", {7, 101}), "sample 101 above the maximum value 100 at offset 12"},
        {bytesOf("P6 1 1 1000\n", {0, 1, 0x03, 0xE9, 0, 0}), "sample 1001 above the maximum value 1000"},
        {bytesOf("P5 2 2 255\n", {1, 2, 3}), "truncated pixel data: 4 bytes needed at offset 11, 3 present"},
        {bytesOf("P6 2 1 65535\n", Bytes(11, 0)), "truncated pixel data: 12 bytes needed"},
        {bytesOf("P4 9 2\n", {0, 0, 0}), "truncated pixel data: 4 bytes needed"},
        {bytesOf("P2 3 1 255 1 2"), "truncated pixel data"},
        {bytesOf("P2 2 2 255 1 2 3        "), "truncated pixel data"},
        {bytesOf("P1 2 2 0 1 2 1"), "expected 0 or 1 at offset 11"},
        {bytesOf("P3 1 1 255 1 x 3"), "expected the sample at offset 13"},
        {bytesOf("P5 2 1 0\n", {0, 0}), "maximum value 0"},
        {bytesOf("P5 2 1 65536\n", {0, 0}), "maximum value above 65535"},
        {bytesOf("P5 2 0 255\n"), "image size 2 x 0"},
        {bytesOf("P5 2 1 255", {0, 0}), "no whitespace after the header"},
        {bytesOf("P6 2 # no height"), "file ends before the height"},
        {bytesOf("P6 99999999999 1 255\n"), "width above 2147483648"},
        {bytesOf("P7 1 1 255\n", {0}), "not a PNM file"},
    };
    for (const auto& [bytes, expected] : cases) {
        const std::string message = errorOf(bytes);
        EXPECT_EQ(message.rfind("Invalid PNM file: " + expected, 0), 0u)
            << message << " / " << std::string(bytes.begin(), bytes.end());
    }
    // A size within the format but beyond the library's limits.
    try {
        const Bytes huge = bytesOf("P5 65536 65536 255\n");
        ixv::formats::pnm::read({huge.data(), huge.size()});
        FAIL();
    } catch (const HalconCpp::HException& e) {
        EXPECT_EQ(e.ErrorCode(), 6001u);
    }

    const Bytes good = bytesOf("P5 1 1 255\n", {0});
    EXPECT_TRUE(ixv::formats::pnm::matches({good.data(), good.size()}));
    EXPECT_TRUE(ixv::formats::pnm::matches({good.data(), 2}));
    const Bytes text = bytesOf("Paris");
    EXPECT_FALSE(ixv::formats::pnm::matches({text.data(), text.size()}));
    const Bytes p7 = bytesOf("P7\n");
    EXPECT_FALSE(ixv::formats::pnm::matches({p7.data(), p7.size()}));
}

}  // namespace
