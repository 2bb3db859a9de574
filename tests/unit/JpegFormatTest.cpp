// JPEG reading: files written with TurboJPEG, compared with TurboJPEG's own
// decoding of the same file.
#include <gtest/gtest.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>  // before jpeglib.h
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "Raises.h"
#include "TestFiles.h"
#include "formats/jpeg/JpegFormat.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ixv::formats::jpeg::readImage;
constexpr auto read = ixv::formats::jpeg::readImage;

// A picture with edges and texture, so that subsampling matters.
Bytes picture(int width, int height, int channels) {
    Bytes pixels;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                pixels.push_back(uint8_t(x * 7 + y * 3 + c * 80 + ((x / 5 + y / 3) % 2) * 90 + (x * y) % 13));
    return pixels;
}

Bytes compress(int width, int height, int format, int subsampling, int flags = 0) {
    tjhandle tj = tjInitCompress();
    unsigned char* out = nullptr;
    unsigned long size = 0;
    const Bytes pixels = picture(width, height, tjPixelSize[format]);
    EXPECT_EQ(tjCompress2(tj, pixels.data(), width, 0, height, format, &out, &size, subsampling, 85, flags), 0);
    Bytes jpeg(out, out + size);
    tjFree(out);
    tjDestroy(tj);
    return jpeg;
}

// The planes TurboJPEG decodes the file to.
Planes decompress(const Bytes& jpeg, int width, int height, int channels) {
    tjhandle tj = tjInitDecompress();
    Bytes pixels(static_cast<size_t>(width * height * channels));
    EXPECT_EQ(tjDecompress2(tj, jpeg.data(), jpeg.size(), pixels.data(), width, 0, height,
                            channels == 1 ? TJPF_GRAY : TJPF_RGB, 0),
              0);
    tjDestroy(tj);
    Planes planes(static_cast<size_t>(channels));
    for (size_t i = 0; i < pixels.size(); ++i) planes[i % channels].push_back(pixels[i]);
    return planes;
}

// Sets the frame header's size.
void setFrameSize(Bytes& jpeg, int width, int height) {
    for (size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            const uint8_t size[4] = {uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width)};
            return (void)std::copy(size, size + 4, jpeg.begin() + static_cast<long>(i) + 5);
        }
    ADD_FAILURE() << "no frame header";
}

// A gray progressive JPEG with a scan for each AC coefficient, and for each of
// those `refinements` further scans of one more bit; of the test picture, or
// of one gray level, which costs the least bytes per scan.
Bytes progressiveWithScans(int width, int height, int refinements, bool flat = false) {
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
    const Bytes pixels = flat ? Bytes(static_cast<size_t>(width) * height, 128) : picture(width, height, 1);
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

TEST(JpegFormat, ReadsGrayAndColourAsTheCodecDecodesThem) {
    const struct {
        int width, height, subsampling, flags;
        const char* shape;
    } cases[] = {
        {37, 23, TJSAMP_GRAY, 0, "byte 37x23x1"},
        {45, 37, TJSAMP_420, 0, "byte 45x37x3"},  // odd sizes, more rows than one call decodes
        {70, 50, TJSAMP_420, TJFLAG_PROGRESSIVE, "byte 70x50x3"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shape);
        const bool gray = c.subsampling == TJSAMP_GRAY;
        const Bytes jpeg = compress(c.width, c.height, gray ? TJPF_GRAY : TJPF_RGB, c.subsampling, c.flags);
        const auto image = readOne(read, jpeg);
        EXPECT_EQ(shapeOf(*image), c.shape);
        EXPECT_EQ(planesOf(*image), decompress(jpeg, c.width, c.height, gray ? 1 : 3));
    }
}

TEST(JpegFormat, DamagedFilesAreErrorsWithoutImage) {
    for (int flags : {0, TJFLAG_PROGRESSIVE}) {
        const Bytes jpeg = compress(24, 16, TJPF_RGB, TJSAMP_420, flags);
        ASSERT_EQ(readError(read, jpeg), "");
        expectTruncationsInvalid(read, jpeg, "JPEG");
    }
    // Stuffed 0xFF bytes are all one bits, which is no Huffman code.
    Bytes corrupt = compress(160, 120, TJPF_RGB, TJSAMP_420);
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 64; i += 2) corrupt[i] = 0xFF, corrupt[i + 1] = 0x00;
    const std::string message = readError(read, corrupt);
    EXPECT_EQ(message.rfind("Invalid JPEG file: Corrupt JPEG data", 0), 0u) << message;
}

TEST(JpegFormat, RefusesCmykAndWhatWouldTakeTooMuchMemoryOrTime) {
    const Bytes cmyk = compress(16, 16, TJPF_CMYK, TJSAMP_444);
    EXPECT_EQ(readError(read, cmyk), "Invalid JPEG file: CMYK JPEG is not supported");

    // A small file whose frame header claims 60000 x 30000 pixels is refused before allocating.
    for (int flags : {0, TJFLAG_PROGRESSIVE}) {
        Bytes jpeg = compress(64, 64, TJPF_RGB, TJSAMP_420, flags);
        setFrameSize(jpeg, 60000, 30000);
        const std::string message = readError(read, jpeg);
        EXPECT_EQ(message.rfind("image of 60000 x 30000 pixels x 3 channels of byte exceeds the limit of ", 0), 0u)
            << message;
    }
    // Within the file's budget for the planes, but a multi-scan image's
    // coefficients would take 96 MB more for a file of a few kilobytes.
    Bytes progressive = compress(64, 64, TJPF_RGB, TJSAMP_444, TJFLAG_PROGRESSIVE);
    setFrameSize(progressive, 4000, 4000);
    const std::string message = readError(read, progressive);
    EXPECT_EQ(message.rfind("coefficients of a JPEG of 4000 x 4000 pixels in several scans exceeds the limit of ", 0),
              0u)
        << message;

    // 64 scans are read; 631 are more than any encoder writes.
    const Bytes manyScans = progressiveWithScans(24, 16, 0);
    EXPECT_EQ(planesOf(*readOne(read, manyScans)), decompress(manyScans, 24, 16, 1));
    EXPECT_EQ(readError(read, progressiveWithScans(24, 16, 9)),
              "scan 501 of the JPEG file exceeds the limit of 500 scans");

    EXPECT_STREQ(ixv::formats::formatOf(cmyk.data(), 3)->name, "JPEG");
    const Bytes notJpeg = {0xFF, 0xD8, 0x00, 0x01};
    EXPECT_FALSE(ixv::formats::jpeg::matches(notJpeg.data(), notJpeg.size()));
    EXPECT_FALSE(ixv::formats::jpeg::matches(cmyk.data(), 2));
}

TEST(JpegFormat, DecodingWorkIsBoundedByTheFilesSize) {
    // An image of one gray level costs a bit per block and a few bytes per
    // scan: 442 scans over 16384 blocks each from 17 kB. Each scan passes over
    // the whole image; the file is refused once the blocks decoded exceed 128
    // per byte, long before its last scan.
    const Bytes manyScans = progressiveWithScans(1024, 1024, 6, true);
    const std::string message = readError(read, manyScans);
    const std::string limit = std::to_string(manyScans.size() * 128);
    EXPECT_EQ(message.rfind("decoding ", 0), 0u) << message;
    EXPECT_NE(message.find(" scans of a 1024 x 1024 image ("), std::string::npos) << message;
    EXPECT_NE(message.find(" blocks) exceeds the limit of " + limit + " blocks for a file of " +
                           std::to_string(manyScans.size()) + " bytes"),
              std::string::npos)
        << message;

    // Images of one level as an encoder writes them, in its few progressive
    // scans, cost the fewest bytes per block and still read.
    for (int subsampling : {TJSAMP_GRAY, TJSAMP_444, TJSAMP_420}) {
        const int channels = subsampling == TJSAMP_GRAY ? 1 : 3;
        const Bytes pixels(1024 * 1024 * channels, 200);
        tjhandle tj = tjInitCompress();
        unsigned char* out = nullptr;
        unsigned long size = 0;
        ASSERT_EQ(tjCompress2(tj, pixels.data(), 1024, 0, 1024, channels == 1 ? TJPF_GRAY : TJPF_RGB, &out, &size,
                              subsampling, 90, TJFLAG_PROGRESSIVE),
                  0);
        const Bytes jpeg(out, out + size);
        tjFree(out);
        tjDestroy(tj);
        EXPECT_EQ(readError(read, jpeg), "") << "subsampling " << subsampling;
    }
}

TEST(JpegFormat, AFileTruncatedWhileBeingReadIsAReadError) {
    for (int flags : {0, TJFLAG_PROGRESSIVE}) {
        TempDir dir;
        const Bytes jpeg = compress(400, 300, TJPF_RGB, TJSAMP_420, flags);
        const std::string path = dir.write("camera.jpg", jpeg);
        const auto file = ixv::formats::ByteSource::openFile(path, "read_image");
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(jpeg.size() / 2)), 0);
        ixv::Budget budget = budgetOf(read, file);
        EXPECT_EQ(errorOf([&] { read(file, budget); }), 5201);
        EXPECT_NE(messageOf([&] { read(file, budget); }).find("was truncated while being read"), std::string::npos);
    }
}

}  // namespace
