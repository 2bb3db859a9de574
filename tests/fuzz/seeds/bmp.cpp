// Small BMP files of each layout: palettes of 1, 4 and 8 bits, RLE8 and RLE4
// (with deltas and padding after the end code),
// 16 bit with and without bit fields, 24 bit, 32 bit with an alpha mask, an
// OS/2 bitmap and a top-down one.
#include <vector>

#include "Seeds.h"

namespace {

using ixseeds::Bytes;

void put16(Bytes& b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v)), b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF), put16(b, v >> 16);
}

// A bitmap with a header of `headerSize` bytes; masks go into the header or,
// for a 40-byte one, after it; palette entries are 0xRRGGBB.
Bytes bmp(uint32_t headerSize, int32_t width, int32_t height, uint16_t bits, uint32_t compression,
          const std::vector<uint32_t>& masks, const std::vector<uint32_t>& palette, const Bytes& pixels) {
    Bytes info;
    put32(info, headerSize);
    if (headerSize == 12) {
        put16(info, static_cast<uint32_t>(width)), put16(info, static_cast<uint32_t>(height));
        put16(info, 1), put16(info, bits);
    } else {
        put32(info, static_cast<uint32_t>(width)), put32(info, static_cast<uint32_t>(height));
        put16(info, 1), put16(info, bits), put32(info, compression);
        put32(info, static_cast<uint32_t>(pixels.size())), put32(info, 2835), put32(info, 2835);
        put32(info, static_cast<uint32_t>(palette.size())), put32(info, 0);
        if (headerSize > 40)
            for (uint32_t m : masks) put32(info, m);
        info.resize(headerSize, 0);
        if (headerSize == 40)
            for (uint32_t m : masks) put32(info, m);
    }
    for (uint32_t c : palette) {
        info.push_back(static_cast<uint8_t>(c)), info.push_back(static_cast<uint8_t>(c >> 8));
        info.push_back(static_cast<uint8_t>(c >> 16));
        if (headerSize != 12) info.push_back(0);
    }
    Bytes out = {'B', 'M'};
    put32(out, static_cast<uint32_t>(14 + info.size() + pixels.size()));
    put32(out, 0);
    put32(out, static_cast<uint32_t>(14 + info.size()));
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
}

Bytes ramp(size_t size) {
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) b[i] = static_cast<uint8_t>(i * 29 + 3);
    return b;
}

}  // namespace

IX_SEEDS(bmp) {
    const std::vector<uint32_t> grays = {0x000000, 0x555555, 0xAAAAAA, 0xFFFFFF};
    const std::vector<uint32_t> colours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    add(bmp(40, 10, 2, 1, 0, {}, {0x000000, 0xFFFFFF}, {0xA5, 0x40, 0, 0, 0x0F, 0xF0, 0, 0}));
    add(bmp(40, 5, 2, 4, 0, {}, colours, {0x01, 0x23, 0x40, 0, 0x44, 0x32, 0x10, 0}));
    std::vector<uint32_t> palette256;
    for (uint32_t i = 0; i < 256; ++i) palette256.push_back(i * 0x010101);
    add(bmp(40, 4, 3, 8, 0, {}, palette256, ramp(12)));
    add(bmp(40, 3, -2, 8, 0, {}, grays, {0, 1, 2, 0, 3, 2, 1, 0}));
    add(bmp(40, 6, 4, 8, 1, {}, grays,
            {3, 1, 0, 3, 2, 3, 2, 0, 0, 0, 0, 2, 2, 1, 2, 3, 0, 0, 6, 2, 0, 1}));
    add(bmp(40, 5, 2, 4, 2, {}, colours, {5, 0x12, 0, 0, 0, 5, 0x01, 0x24, 0x30, 0, 0, 1}));
    // A delta, then the end of the bitmap followed by padding.
    add(bmp(40, 8, 6, 8, 1, {}, colours, {2, 1, 0, 2, 3, 2, 0, 3, 1, 4, 0, 0, 0, 1, 0, 0, 0, 0}));
    add(bmp(40, 3, 2, 16, 0, {}, {}, ramp(16)));
    add(bmp(40, 3, 2, 16, 3, {0xF800, 0x07E0, 0x001F}, {}, ramp(16)));
    add(bmp(40, 3, 2, 24, 0, {}, {}, ramp(24)));
    add(bmp(40, 2, 2, 32, 0, {}, {}, ramp(16)));
    add(bmp(124, 2, 2, 32, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {}, ramp(16)));
    add(bmp(108, 2, 1, 32, 3, {0x3FF00000, 0x000FFC00, 0x000003FF, 0xC0000000}, {}, ramp(8)));
    add(bmp(12, 2, 2, 8, 0, {}, colours, {0, 1, 0, 0, 2, 4, 0, 0}));
    add(bmp(12, 2, 2, 24, 0, {}, {}, ramp(16)));
}
