// JPEG reading: files written with TurboJPEG, compared with TurboJPEG's own
// decoding of the same file.
#include <gtest/gtest.h>

#include "JpegWriter.h"
#include "TestFiles.h"
#include "formats/jpeg/JpegFormat.h"

namespace {

using namespace ixtest::jpeg;
constexpr auto read = ixv::formats::jpeg::readImage;

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

// Colour, baseline and progressive, of odd sizes and more rows than one call decodes, read as the codec
// decodes them, and every cut of them refused; gray is the scan limit's file below.
TEST(JpegFormat, ReadsAsTheCodecDecodesAndRefusesDamagedFiles) {
    for (int flags : {0, TJFLAG_PROGRESSIVE}) {
        const Bytes jpeg = compress(45, 37, TJPF_RGB, TJSAMP_420, flags);
        EXPECT_EQ(planesOf(*readOne(read, jpeg)), decompress(jpeg, 45, 37, 3));
        expectTruncationsInvalid(read, jpeg, "JPEG");
    }
    // Stuffed 0xFF bytes are all one bits, which is no Huffman code.
    Bytes corrupt = compress(160, 120, TJPF_RGB, TJSAMP_420);
    for (size_t i = corrupt.size() / 2; i < corrupt.size() / 2 + 64; i += 2) corrupt[i] = 0xFF, corrupt[i + 1] = 0x00;
    const std::string message = readError(read, corrupt);
    EXPECT_EQ(message.rfind("Invalid JPEG file: Corrupt JPEG data", 0), 0u) << message;
}

// The bombs and their memory are the hostile cases'; here what they do not show.
TEST(JpegFormat, RefusesCmykAndWhatWouldTakeTooMuchMemoryOrTime) {
    EXPECT_EQ(readError(read, compress(16, 16, TJPF_CMYK, TJSAMP_444)), "Invalid JPEG file: CMYK JPEG is not supported");

    // 64 scans are read; 631 are more than any encoder writes.
    const Bytes manyScans = progressiveWithScans(24, 16, 0);
    EXPECT_EQ(planesOf(*readOne(read, manyScans)), decompress(manyScans, 24, 16, 1));
    EXPECT_EQ(readError(read, progressiveWithScans(24, 16, 9)),
              "scan 501 of the JPEG file exceeds the limit of 500 scans");

    // Images of one level as an encoder writes them, in its few progressive
    // scans, cost the fewest bytes per block decoded and still read.
    for (int subsampling : {TJSAMP_GRAY, TJSAMP_444, TJSAMP_420}) {
        const int format = subsampling == TJSAMP_GRAY ? TJPF_GRAY : TJPF_RGB;
        EXPECT_EQ(readError(read, compress(1024, 1024, format, subsampling, TJFLAG_PROGRESSIVE, true)), "") << subsampling;
    }
}

TEST(JpegFormat, AFileTruncatedWhileBeingReadIsAReadError) {
    for (int flags : {0, TJFLAG_PROGRESSIVE}) expectTruncatedWhileRead(read, compress(400, 300, TJPF_RGB, TJSAMP_420, flags));
}

}  // namespace
