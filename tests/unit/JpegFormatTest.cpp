// JPEG reading: files written with TurboJPEG, read back through ReadImage and
// compared with TurboJPEG's own decoding of the same file.
#include <gtest/gtest.h>
#include <turbojpeg.h>

#include <cstdio>  // before jpeglib.h
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "HalconCpp.h"
#include "Iconic.h"
#include "formats/Formats.h"

using namespace HalconCpp;

namespace {

using Bytes = std::vector<uint8_t>;

class JpegFiles : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("ix_jpeg_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string write(const std::string& name, const Bytes& bytes) {
        const std::string path = (dir_ / name).string();
        std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return path;
    }

    std::filesystem::path dir_;
};

// A picture with edges and texture, so that every subsampling matters.
Bytes picture(int width, int height, int channels) {
    Bytes pixels(static_cast<size_t>(width * height * channels));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels[static_cast<size_t>((y * width + x) * channels + c)] =
                    static_cast<uint8_t>((x * 7 + y * 3 + c * 80 + ((x / 5 + y / 3) % 2) * 90 + (x * y) % 13) & 255);
    return pixels;
}

Bytes compress(const Bytes& pixels, int width, int height, int format, int subsampling, int flags) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const int status = tjCompress2(tj, pixels.data(), width, 0, height, format, &out, &size, subsampling, 85, flags);
    EXPECT_EQ(status, 0) << tjGetErrorStr2(tj);
    Bytes jpeg(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

Bytes decompress(const Bytes& jpeg, int width, int height, int format) {
    tjhandle tj = tjInitDecompress();
    Bytes pixels(static_cast<size_t>(width * height * tjPixelSize[format]));
    const int status = tjDecompress2(tj, jpeg.data(), jpeg.size(), pixels.data(), width, 0, height, format, 0);
    EXPECT_EQ(status, 0) << tjGetErrorStr2(tj);
    tjDestroy(tj);
    return pixels;
}

const ixv::Image& imageIn(const HObject& object) {
    const auto& items = ixv::objectsOf(object);
    EXPECT_EQ(items.size(), 1u);
    return ixv::objectAs<ixv::Image>(items.at(0), "test");
}

// The single plane of a gray image read.
Bytes bytesOf(const std::vector<ixv::IconicPtr>& items) {
    const auto& image = ixv::objectAs<ixv::Image>(items.at(0), "test");
    EXPECT_EQ(image.channelCount(), 1u);
    return Bytes(image.plane(0)->data(), image.plane(0)->data() + image.width() * image.height());
}

// The message of the HException `read` throws, or "" when it throws none.
template <class F>
std::string errorOf(F&& read) {
    try {
        read();
    } catch (const HException& e) {
        return e.ErrorMessage().Text();
    }
    return "";
}

// The offset of the frame header's height field.
size_t frameSizeAt(const Bytes& jpeg) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) return i + 5;
    ADD_FAILURE() << "no frame header";
    return 0;
}

// A gray progressive JPEG with a scan for each AC coefficient, and for each of
// those `refinements` further scans of one more bit.
Bytes progressiveWithScans(int width, int height, int refinements) {
    jpeg_compress_struct c;
    jpeg_error_mgr error;
    c.err = jpeg_std_error(&error);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = static_cast<JDIMENSION>(width), c.image_height = static_cast<JDIMENSION>(height);
    c.input_components = 1, c.in_color_space = JCS_GRAYSCALE;
    jpeg_set_defaults(&c);
    std::vector<jpeg_scan_info> scans = {{1, {0}, 0, 0, 0, 0}};
    for (int k = 1; k < 64; ++k) {
        scans.push_back({1, {0}, k, k, 0, refinements});
        for (int al = refinements - 1; al >= 0; --al) scans.push_back({1, {0}, k, k, al + 1, al});
    }
    c.scan_info = scans.data(), c.num_scans = static_cast<int>(scans.size());
    jpeg_start_compress(&c, TRUE);
    const Bytes pixels = picture(width, height, 1);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row = const_cast<uint8_t*>(pixels.data()) + c.next_scanline * static_cast<size_t>(width);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes jpeg(out, out + size);
    free(out);
    return jpeg;
}

TEST_F(JpegFiles, ReadsEveryLayoutAsTheCodecDecodesIt) {
    struct Case {
        const char* name;
        int width, height, subsampling, flags;
    };
    const Case cases[] = {
        {"gray", 37, 23, TJSAMP_GRAY, 0},         {"rgb444", 37, 23, TJSAMP_444, 0},
        {"rgb422", 41, 19, TJSAMP_422, 0},        {"rgb420", 301, 203, TJSAMP_420, 0},
        {"rgb440", 33, 35, TJSAMP_440, 0},        {"rgb411", 45, 17, TJSAMP_411, 0},
        {"progressive", 129, 67, TJSAMP_420, TJFLAG_PROGRESSIVE},
        {"progressive_gray", 70, 90, TJSAMP_GRAY, TJFLAG_PROGRESSIVE},
        {"one_pixel", 1, 1, TJSAMP_420, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const bool gray = c.subsampling == TJSAMP_GRAY;
        const int format = gray ? TJPF_GRAY : TJPF_RGB;
        const int channels = gray ? 1 : 3;
        const Bytes jpeg = compress(picture(c.width, c.height, channels), c.width, c.height, format, c.subsampling,
                                    c.flags);
        const Bytes expected = decompress(jpeg, c.width, c.height, format);

        HObject object;
        ReadImage(&object, HTuple(write(std::string(c.name) + ".jpg", jpeg).c_str()));
        const ixv::Image& image = imageIn(object);
        EXPECT_EQ(image.type(), ixv::PixelType::Byte);
        ASSERT_EQ(image.channelCount(), static_cast<size_t>(channels));
        EXPECT_EQ(image.width(), c.width);
        EXPECT_EQ(image.height(), c.height);
        EXPECT_EQ(image.reducedDomain(), nullptr);
        size_t mismatches = 0;
        for (int ch = 0; ch < channels; ++ch) {
            const uint8_t* plane = image.plane(static_cast<size_t>(ch))->data();
            for (size_t i = 0; i < static_cast<size_t>(c.width * c.height); ++i)
                mismatches += plane[i] != expected[i * static_cast<size_t>(channels) + static_cast<size_t>(ch)];
        }
        EXPECT_EQ(mismatches, 0u);
    }
}

TEST_F(JpegFiles, DamagedFilesAreErrorsWithoutImage) {
    const Bytes baseline = compress(picture(160, 120, 3), 160, 120, TJPF_RGB, TJSAMP_420, 0);
    const Bytes progressive = compress(picture(160, 120, 3), 160, 120, TJPF_RGB, TJSAMP_420, TJFLAG_PROGRESSIVE);

    Bytes cutBaseline(baseline.begin(), baseline.begin() + static_cast<long>(baseline.size() / 2));
    Bytes cutProgressive(progressive.begin(), progressive.begin() + static_cast<long>(progressive.size() / 2));
    // Stuffed 0xFF bytes are all one bits, which is no Huffman code.
    Bytes corrupt = baseline;
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 64; i += 2) corrupt[i] = 0xFF, corrupt[i + 1] = 0x00;
    Bytes noEnd(baseline.begin(), baseline.end() - 2);  // all data, no EOI marker
    Bytes headerOnly(baseline.begin(), baseline.begin() + static_cast<long>(frameSizeAt(baseline)) + 4);

    const struct {
        const char* name;
        const Bytes& bytes;
        const char* detail;
    } cases[] = {
        {"cut_baseline", cutBaseline, "Premature end of JPEG file"},
        {"cut_progressive", cutProgressive, "Premature end of JPEG file"},
        {"corrupt", corrupt, "Corrupt JPEG data"},
        {"no_end", noEnd, "Premature end of JPEG file"},
        {"header_only", headerOnly, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HObject object;
        GenEmptyObj(&object);
        const std::string path = write(std::string(c.name) + ".jpg", c.bytes);
        const std::string message = errorOf([&] { ReadImage(&object, HTuple(path.c_str())); });
        EXPECT_EQ(message.rfind("Invalid JPEG file: ", 0), 0u) << message;
        EXPECT_NE(message.find(c.detail), std::string::npos) << message;
        EXPECT_EQ(object.CountObj(), 0);
    }
}

TEST_F(JpegFiles, RefusesCmykAndWhatWouldTakeTooMuchMemoryOrTime) {
    const Bytes cmyk = compress(picture(16, 16, 4), 16, 16, TJPF_CMYK, TJSAMP_444, 0);
    EXPECT_EQ(errorOf([&] { ixv::formats::jpeg::read({cmyk.data(), cmyk.size()}); }),
              "Invalid JPEG file: CMYK JPEG is not supported");

    // A small file whose frame header claims 60000 x 30000 pixels is refused
    // before anything of that size is allocated.
    for (int flags : {0, TJFLAG_PROGRESSIVE}) {
        Bytes jpeg = compress(picture(64, 64, 3), 64, 64, TJPF_RGB, TJSAMP_420, flags);
        const size_t at = frameSizeAt(jpeg);
        jpeg[at] = 30000 >> 8, jpeg[at + 1] = 30000 & 255, jpeg[at + 2] = 60000 >> 8, jpeg[at + 3] = 60000 & 255;
        const std::string message = errorOf([&] { ixv::formats::jpeg::read({jpeg.data(), jpeg.size()}); });
        EXPECT_NE(message.find("cannot hold an image of 60000 x 30000 pixels"), std::string::npos) << message;
    }

    // Within the pixel limit, but a multi-scan image's coefficients would take
    // 96 MB for a file of a few kilobytes.
    Bytes progressive = compress(picture(64, 64, 3), 64, 64, TJPF_RGB, TJSAMP_444, TJFLAG_PROGRESSIVE);
    const size_t at = frameSizeAt(progressive);
    progressive[at] = 4000 >> 8, progressive[at + 1] = 4000 & 255, progressive[at + 2] = 4000 >> 8,
    progressive[at + 3] = 4000 & 255;
    const std::string message = errorOf([&] { ixv::formats::jpeg::read({progressive.data(), progressive.size()}); });
    EXPECT_NE(message.find("needs more decoding memory"), std::string::npos) << message;

    // 64 scans are read; 631 are more than any encoder writes.
    const Bytes manyScans = progressiveWithScans(24, 16, 0);
    const auto image = ixv::formats::jpeg::read({manyScans.data(), manyScans.size()});
    EXPECT_EQ(bytesOf(image), decompress(manyScans, 24, 16, TJPF_GRAY));
    const Bytes tooManyScans = progressiveWithScans(24, 16, 9);
    EXPECT_EQ(errorOf([&] { ixv::formats::jpeg::read({tooManyScans.data(), tooManyScans.size()}); }),
              "Invalid JPEG file: more than 500 scans");

    const Bytes notJpeg = {0xFF, 0xD8, 0x00, 0x01};
    EXPECT_EQ(errorOf([&] { ixv::formats::jpeg::read({notJpeg.data(), notJpeg.size()}); }).rfind("Invalid JPEG", 0),
              0u);
    EXPECT_TRUE(ixv::formats::jpeg::matches({cmyk.data(), 3}));
    EXPECT_FALSE(ixv::formats::jpeg::matches({notJpeg.data(), notJpeg.size()}));
    EXPECT_FALSE(ixv::formats::jpeg::matches({cmyk.data(), 2}));
}

}  // namespace
