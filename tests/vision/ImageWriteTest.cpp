// WriteImage: every format written and read back through ReadImage, domains
// and fill values, and the errors.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

#include "TestFiles.h"

using namespace HalconCpp;

namespace {

HObject writeAndRead(const HObject& image, const std::string& format, double fill, const std::string& path) {
    WriteImage(image, HTuple(format.c_str()), HTuple(fill), HTuple(path.c_str()));
    HObject read;
    ReadImage(&read, HTuple(path.c_str()));
    return read;
}

HObject reduced(const HObject& image) {
    HObject circle, out;
    GenCircle(&circle, 2.0, 3.0, 2.2);
    ReduceDomain(image, circle, &out);
    return out;
}

// One flag per pixel: inside the image's domain or not.
std::vector<uint8_t> domainMask(const ixv::Image& image) {
    std::vector<uint8_t> inside(static_cast<size_t>(image.width() * image.height()), 0);
    for (const ixv::Run& r : image.domain()->runs())
        for (int x = r.columnBegin; x <= r.columnEnd; ++x) inside[r.row * image.width() + x] = 1;
    return inside;
}

TEST(ImageWrite, LosslessFormatsRoundTripEveryTypeAndChannelCountTheyTake) {
    using T = ixv::PixelType;
    struct Case {
        const char* format;
        std::vector<T> types;
        std::vector<int> channels;
    };
    const std::vector<T> all = {T::Byte, T::Int1, T::UInt2, T::Int2, T::Int4, T::Int8, T::Real};
    const std::vector<Case> cases = {
        {"png", {T::Byte, T::UInt2}, {1, 2, 3, 4}},   {"png 0", {T::Byte}, {3}},
        {"tiff", all, {1, 2, 3, 5}},                  {"tif deflate", {T::UInt2, T::Real}, {3}},
        {"tiff lzw", {T::Byte}, {1}},                 {"bmp", {T::Byte}, {1, 3}},
        {"pnm", {T::Byte, T::UInt2}, {1, 3}},         {"PGM", {T::UInt2}, {1}},
        {"hobj", all, {2}},
    };
    TempDir dir;
    int n = 0;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    for (const Case& c : cases)
        for (T type : c.types)
            for (int channels : c.channels) {
                const HObject image = testImage(type, channels);
                const HObject read = writeAndRead(image, c.format, 0, dir.path("f" + std::to_string(n++)));
                SCOPED_TRACE(std::string(c.format) + " " + ixv::pixelTypeName(type) + " x" + std::to_string(channels));
                EXPECT_EQ(shapeOf(imageOf(read)), shapeOf(imageOf(image)));
                EXPECT_EQ(planesOf(imageOf(read)), planesOf(imageOf(image)));
            }
    // The codecs print nothing.
    EXPECT_EQ(::testing::internal::GetCapturedStdout() + ::testing::internal::GetCapturedStderr(), "");
}

TEST(ImageWrite, JpegKeepsGrayAndColourWithinASmallLoss) {
    TempDir dir;
    for (int channels : {1, 3}) {
        // Smooth ramps, a different one per channel, so that a swap of red and blue shows.
        std::vector<ixv::Plane> planes;
        for (int c = 0; c < channels; ++c) {
            auto plane = ixv::Image::newPlane(ixv::PixelType::Byte, 32, 24);
            for (int i = 0; i < 32 * 24; ++i) plane->data()[i] = static_cast<uint8_t>(40 + c * 60 + (i % 32) * 2);
            planes.push_back(plane);
        }
        const HObject image = ixv::objectOf({ixv::Image::make(ixv::PixelType::Byte, 32, 24, planes)});
        for (const char* format : {"jpeg", "jpg 95"}) {
            const HObject read = writeAndRead(image, format, 0, dir.path("j.jpg"));
            ASSERT_EQ(shapeOf(imageOf(read)), shapeOf(imageOf(image)));
            const Planes want = planesOf(imageOf(image)), got = planesOf(imageOf(read));
            for (size_t c = 0; c < want.size(); ++c)
                for (size_t i = 0; i < want[c].size(); ++i)
                    ASSERT_NEAR(got[c][i], want[c][i], 6) << format << " channel " << c << " pixel " << i;
        }
    }
}

TEST(ImageWrite, PixelsOutsideTheDomainHoldTheFillAndAlphaGivesTheDomainBack) {
    TempDir dir;
    struct Case {
        const char* format;
        ixv::PixelType type;
        int channels;
        double fill;
        double expected;  // the fill as the pixel type holds it
        bool domainBack;
    };
    const Case cases[] = {
        {"png", ixv::PixelType::Byte, 1, 300, 255, true},   {"png", ixv::PixelType::UInt2, 3, -5, 0, true},
        {"png", ixv::PixelType::Byte, 2, 9, 9, false},      {"tiff", ixv::PixelType::Byte, 3, 7, 7, true},
        {"tiff", ixv::PixelType::Real, 1, 2.5, 2.5, false}, {"tiff", ixv::PixelType::Int2, 1, -7.4, -7, false},
        {"tiff", ixv::PixelType::Real, 1, -1e300, -std::numeric_limits<float>::max(), false},
        {"bmp", ixv::PixelType::Byte, 3, 12, 12, false},    {"pnm", ixv::PixelType::UInt2, 1, 70000, 65535, false},
        {"jpeg", ixv::PixelType::Byte, 1, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.format) + " " + ixv::pixelTypeName(c.type) + " x" + std::to_string(c.channels));
        const HObject image = reduced(testImage(c.type, c.channels));
        const ixv::Image& in = imageOf(image);
        const HObject read = writeAndRead(image, c.format, c.fill, dir.path("d"));
        const ixv::Image& out = imageOf(read);
        ASSERT_EQ(out.channelCount(), in.channelCount());
        EXPECT_EQ(out.reducedDomain() != nullptr, c.domainBack);
        const std::vector<uint8_t> inside = domainMask(in);
        if (c.domainBack) EXPECT_EQ(domainMask(out), inside);
        const Planes want = planesOf(in), got = planesOf(out);
        const double tolerance = std::string(c.format) == "jpeg" ? 40 : 0;
        for (size_t ch = 0; ch < want.size(); ++ch)
            for (size_t i = 0; i < inside.size(); ++i) {
                if (!inside[i]) {
                    EXPECT_NEAR(got[ch][i], c.expected, tolerance) << "pixel " << i;
                } else if (tolerance == 0) {
                    EXPECT_EQ(got[ch][i], want[ch][i]) << "pixel " << i;
                }
            }
    }
}

TEST(ImageWrite, RefusesWhatItCannotWriteWithTheVendorsErrors) {
    TempDir dir;
    const HObject byte3 = testImage(ixv::PixelType::Byte, 3);
    const std::string path = dir.path("x.png");
    const auto write = [&](const HObject& image, const HTuple& format, const HTuple& names) {
        return messageOf([&] { WriteImage(image, format, HTuple(0), names); });
    };
    const auto code = [&](const HObject& image, const HTuple& format, const HTuple& names) {
        return errorOf([&] { WriteImage(image, format, HTuple(0), names); });
    };
    EXPECT_NE(write(byte3, "gif", path.c_str()).find("'gif'"), std::string::npos);
    for (const char* bad : {"gif", "jpeg 101", "jpeg high", "png 10", "png 6 7", "bmp 3", "tiff zip", "hobj x", "pbm", " PBM"})
        EXPECT_EQ(code(byte3, bad, path.c_str()), 1302) << bad;

    // Pixel types and channel counts, with what the format takes.
    EXPECT_EQ(code(testImage(ixv::PixelType::UInt2, 1), "jpeg", path.c_str()), 9007);
    EXPECT_EQ(code(testImage(ixv::PixelType::Byte, 2), "bmp", path.c_str()), 9007);
    EXPECT_EQ(code(testImage(ixv::PixelType::Byte, 5), "png", path.c_str()), 9007);
    EXPECT_NE(write(testImage(ixv::PixelType::Real, 1), "pnm", path.c_str()).find("PNM takes byte or uint2"),
              std::string::npos);

    HObject region, two;
    GenRectangle1(&region, 0, 0, 3, 3);
    EXPECT_EQ(code(region, "png", path.c_str()), 5279);
    ConcatObj(byte3, byte3, &two);
    EXPECT_EQ(code(two, "png", path.c_str()), 1404);
    EXPECT_NE(write(two, "png", path.c_str()).find("FileName"), std::string::npos);
    // No failed write leaves a file behind; directories and missing folders are the file sink's test.
    EXPECT_EQ(code(byte3, "png", dir.path("missing/x.png").c_str()), 5202);
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(ImageWrite, ReplacesTheFileALinkNamesKeepingItsPermissions) {
    TempDir dir;
    const HObject image = testImage(ixv::PixelType::Byte, 1);
    const auto write = [&](const std::string& path) {
        return messageOf([&] { WriteImage(image, "png", HTuple(0), HTuple(path.c_str())); });
    };
    // A link stays a link, to the new file; a dangling one gets its file.
    const std::string real = dir.write("real.png", "old"), link = dir.path("link.png");
    std::filesystem::create_symlink("real.png", link);
    std::filesystem::create_symlink(dir.path("made.png"), dir.path("dangling.png"));
    EXPECT_EQ(write(link) + write(dir.path("dangling.png")), "");
    EXPECT_TRUE(std::filesystem::is_symlink(link) && std::filesystem::is_symlink(dir.path("dangling.png")));
    EXPECT_EQ(readFile(real).substr(1, 3), "PNG");
    EXPECT_EQ(readFile(dir.path("made.png")).substr(1, 3), "PNG");
    // A private file stays private; one that may not be written to is refused.
    std::filesystem::permissions(real, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(write(real), "");
    EXPECT_EQ(std::filesystem::status(real).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::filesystem::permissions(real, std::filesystem::perms::owner_read);
    if (::geteuid() != 0) EXPECT_NE(write(real).find("Permission denied"), std::string::npos);
    // A name near the system's limit leaves room for the temporary file's.
    EXPECT_EQ(write(dir.path(std::string(250, 'n'))), "");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 5);
}

TEST(ImageWrite, WritesExactlyAtTheNameGivenAndOneFilePerImage) {
    TempDir dir;
    HObject two, read;
    ConcatObj(testImage(ixv::PixelType::Byte, 1), testImage(ixv::PixelType::Byte, 3), &two);
    HTuple names;
    names.Append(HTuple(dir.path("plain").c_str()));
    names.Append(HTuple(dir.path("second.dat").c_str()));
    WriteImage(two, "tiff", 0, names);
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.path("plain")));
    EXPECT_FALSE(std::filesystem::exists(dir.path("plain.tif")));
    ReadImage(&read, names);
    EXPECT_EQ(shapeOf(imageOf(read)), "byte 7x5x1");
    EXPECT_EQ(readFile(dir.path("second.dat")).substr(0, 2), "II");
}

}  // namespace
