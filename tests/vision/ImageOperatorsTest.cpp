// Pixel operators: type conversion, maximum scaling, channel splitting and
// joining, interleaving and binary images of regions, checked byte by byte.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

#include "HalconCpp.h"
#include "Raises.h"

using namespace HalconCpp;

namespace {

template <class T>
HImage imageOf(const char* type, Hlong width, Hlong height, const std::vector<T>& pixels) {
    HObject image;
    GenImage1(&image, type, width, height, Hlong(reinterpret_cast<intptr_t>(pixels.data())));
    return HImage(image);
}

HImage bytes(Hlong width, Hlong height, const std::vector<uint8_t>& pixels) {
    return imageOf("byte", width, height, pixels);
}

template <class T>
std::vector<T> pixelsOf(const HImage& image) {
    HString type;
    Hlong width = 0, height = 0;
    const void* data = image.GetImagePointer1(&type, &width, &height);
    std::vector<T> values(size_t(width * height));
    std::memcpy(values.data(), data, values.size() * sizeof(T));
    return values;
}

HImage reduced(const HImage& image, Hlong row1, Hlong column1, Hlong row2, Hlong column2) {
    HObject rectangle, result;
    GenRectangle1(&rectangle, row1, column1, row2, column2);
    ReduceDomain(image, rectangle, &result);
    return HImage(result);
}

HImage interleaved(const HObject& image, const char* format, const char* rowBytes = "match", Hlong alpha = 255) {
    return HImage(image).InterleaveChannels(format, rowBytes, alpha);
}

using Bytes = std::vector<uint8_t>;

}  // namespace

TEST(ImageOperators, ConversionClipsToEachTypeRoundsRealsAndKeepsChannelsAndDomain) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<float> reals = {-1e30f, -129.5f, -0.5f, 0.4f, 0.6f, 254.5f, 255.7f, 70000.0f, nan, 1e30f};
    const HImage real = imageOf("real", 10, 1, reals);
    EXPECT_EQ(pixelsOf<uint8_t>(real.ConvertImageType("byte")), (Bytes{0, 0, 0, 0, 1, 255, 255, 255, 0, 255}));
    EXPECT_EQ(pixelsOf<int8_t>(real.ConvertImageType("int1")),
              (std::vector<int8_t>{-128, -128, -1, 0, 1, 127, 127, 127, 0, 127}));
    EXPECT_EQ(pixelsOf<uint16_t>(real.ConvertImageType(HString("uint2"))),
              (std::vector<uint16_t>{0, 0, 0, 0, 1, 255, 256, 65535, 0, 65535}));
    EXPECT_EQ(pixelsOf<int16_t>(real.ConvertImageType("int2")),
              (std::vector<int16_t>{-32768, -130, -1, 0, 1, 255, 256, 32767, 0, 32767}));
    EXPECT_EQ(pixelsOf<int64_t>(real.ConvertImageType("int8")),
              (std::vector<int64_t>{INT64_MIN, -130, -1, 0, 1, 255, 256, 70000, 0, INT64_MAX}));

    // Integers convert exactly, clipped at both ends of the target.
    const std::vector<int64_t> wide = {std::numeric_limits<int64_t>::min(), -129, -1, 0, 128, 65536, 1LL << 40};
    const HImage int8Image = imageOf("int8", 7, 1, wide);
    EXPECT_EQ(pixelsOf<int8_t>(int8Image.ConvertImageType("int1")), (std::vector<int8_t>{-128, -128, -1, 0, 127, 127, 127}));
    EXPECT_EQ(pixelsOf<uint16_t>(int8Image.ConvertImageType("uint2")),
              (std::vector<uint16_t>{0, 0, 0, 0, 128, 65535, 65535}));

    // Every channel is converted; the domain stays.
    HObject colour, third;
    Compose3(real, real, reduced(real, 0, 2, 0, 4), &colour);
    const HImage converted = HImage(colour).ConvertImageType("byte");
    Decompose3(converted, nullptr, nullptr, &third);
    EXPECT_EQ(pixelsOf<uint8_t>(HImage(third)), pixelsOf<uint8_t>(real.ConvertImageType("byte")));
    HTuple area, row, column;
    AreaCenter(converted.GetDomain(), &area, &row, &column);
    EXPECT_EQ(area[0].L(), 3);
    EXPECT_EQ(errorOf([&] { real.ConvertImageType("complex"); }), 1301);
}

TEST(ImageOperators, ScaleImageMaxSpreadsTheDomainsValuesOverBytes) {
    const std::vector<int16_t> values = {-10, 0, 10, 30, 1000, -1000, 5, 5};
    const HImage scaled = reduced(imageOf("int2", 4, 2, values), 0, 0, 0, 3).ScaleImageMax();
    const Bytes pixels = pixelsOf<uint8_t>(scaled);
    // min -10 -> 0, max 30 -> 255: the values outside the domain play no part.
    EXPECT_EQ(Bytes(pixels.begin(), pixels.begin() + 4), (Bytes{0, 64, 128, 255}));

    const std::vector<float> constant(6, 3.5f);
    EXPECT_EQ(pixelsOf<uint8_t>(imageOf("real", 3, 2, constant).ScaleImageMax()), Bytes(6, 0));
}

TEST(ImageOperators, InterleavingGivesBgrAndBgraBytesWithRowPaddingAndTheDomainAsAlpha) {
    const HImage red = bytes(3, 1, {10, 11, 12}), green = bytes(3, 1, {20, 21, 22}), blue = bytes(3, 1, {30, 31, 32});
    HObject colour;
    Compose3(red, green, blue, &colour);
    EXPECT_EQ(pixelsOf<uint8_t>(interleaved(colour, "bgr")), (Bytes{30, 20, 10, 31, 21, 11, 32, 22, 12}));
    EXPECT_EQ(pixelsOf<uint8_t>(HImage(colour).InterleaveChannels(HString("rgb"), HTuple(Hlong(11)), 255)),
              (Bytes{10, 20, 30, 11, 21, 31, 12, 22, 32, 0, 0}));
    EXPECT_EQ(errorOf([&] { interleaved(colour, "bgr", "8"); }), 1302);

    // How extraction composes gray, colour and four channels with a mask before interleaving is the hosts' test.
    const HImage fourth = bytes(3, 1, {40, 41, 42});
    HObject four, c1, c2, c3, c4;
    Compose4(red, green, blue, fourth, &four);
    // Four channels are taken as (green, blue, alpha, red): extraction composes them so.
    EXPECT_EQ(pixelsOf<uint8_t>(interleaved(four, "bgra", "14")), (Bytes{20, 10, 40, 30, 21, 11, 41, 31, 22, 12, 42, 32, 0, 0}));
    // A 3-channel image with a reduced domain: the alpha given inside, 0 outside.
    EXPECT_EQ(pixelsOf<uint8_t>(interleaved(reduced(HImage(colour), 0, 1, 0, 2), "rgba", "match", 200)),
              (Bytes{10, 20, 30, 0, 11, 21, 31, 200, 12, 22, 32, 200}));

    EXPECT_EQ(errorOf([&] { interleaved(imageOf("uint2", 1, 1, std::vector<uint16_t>{1}), "bgr"); }), 9007);
    EXPECT_EQ(errorOf([&] { Decompose3(red, &c1, &c2, &c3); }), 1501);
    EXPECT_EQ(errorOf([&] { Decompose4(colour, &c1, &c2, &c3, &c4); }), 1501);
}

TEST(ImageOperators, RegionToBinFillsTheRegionClippedToTheImage) {
    HObject rectangle, bin;
    GenRectangle1(&rectangle, -1, 1, 0, 5);
    RegionToBin(rectangle, &bin, 255, 7, 4, 2);
    EXPECT_EQ(pixelsOf<uint8_t>(HImage(bin)), (Bytes{7, 255, 255, 255, 7, 7, 7, 7}));
}
