// BMP writing: uncompressed Windows bitmaps, rows bottom-up, each padded to
// four bytes. Byte images of 1 channel become 8-bit bitmaps with a gray
// palette (read back as 1 channel), of 3 channels 24-bit bitmaps (stored blue,
// green, red; channel 1 is red). BMP has no alpha here: pixels outside the
// domain hold the fill value. The format takes no options.
#include <cstring>
#include <vector>

#include "base/Errors.h"
#include "formats/bmp/BmpFormat.h"

namespace ixv::formats::bmp {

namespace {

constexpr const char* kProc = "write_image";

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    put16(p, v & 0xffff);
    put16(p + 2, v >> 16);
}

}  // namespace

void writeImage(const Image& image, const std::string& format, double fill, FileSink& sink) {
    refuseOptions(format);
    const size_t channels = image.channelCount();
    if (image.type() != PixelType::Byte || (channels != 1 && channels != 3))
        raiseCannotWrite(image, "BMP takes byte images of 1 or 3 channels");
    const uint64_t width = static_cast<uint64_t>(image.width()), height = static_cast<uint64_t>(image.height());
    const uint64_t stride = (width * channels + 3) / 4 * 4;
    const uint64_t paletteBytes = channels == 1 ? 256 * 4 : 0;
    const uint64_t headerBytes = 14 + 40 + paletteBytes;
    const uint64_t fileBytes = saturatingAdd(headerBytes, saturatingMul(stride, height));
    checkLimit(fileBytes, 0xffffffffu, kProc, "BMP file of " + std::to_string(fileBytes) + " bytes", "bytes");
    if (width > 0x7fffffff || height > 0x7fffffff)
        raise(kProc, err::FileWrite, "BMP holds at most 2^31 - 1 rows and columns");

    std::vector<uint8_t> header(static_cast<size_t>(headerBytes), 0);
    uint8_t* h = header.data();
    h[0] = 'B';
    h[1] = 'M';
    put32(h + 2, static_cast<uint32_t>(fileBytes));
    put32(h + 10, static_cast<uint32_t>(headerBytes));
    put32(h + 14, 40);
    put32(h + 18, static_cast<uint32_t>(width));
    put32(h + 22, static_cast<uint32_t>(height));  // positive: bottom-up
    put16(h + 26, 1);                              // planes
    put16(h + 28, static_cast<uint32_t>(channels * 8));
    put32(h + 34, static_cast<uint32_t>(stride * height));
    put32(h + 38, 2835);  // 72 dpi
    put32(h + 42, 2835);
    if (channels == 1) {
        put32(h + 46, 256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint8_t* entry = h + 54 + 4 * i;
            entry[0] = entry[1] = entry[2] = static_cast<uint8_t>(i);
        }
    }
    sink.write(header.data(), header.size());

    ImageRows rows(image, fill);
    std::vector<uint8_t> out(static_cast<size_t>(stride), 0);
    for (int64_t y = image.height() - 1; y >= 0; --y) {
        const uint8_t* row = rows.row(y);
        if (channels == 1) {
            std::memcpy(out.data(), row, static_cast<size_t>(width));
        } else {
            for (size_t x = 0; x < width; ++x) {
                out[3 * x] = row[3 * x + 2];
                out[3 * x + 1] = row[3 * x + 1];
                out[3 * x + 2] = row[3 * x];
            }
        }
        sink.write(out.data(), out.size());
    }
}

}  // namespace ixv::formats::bmp
