// BMP files for the tests, the fuzz seeds and the hostile cases, built byte by byte.
#pragma once

#include <cstddef>

#include "ByteWriter.h"

namespace ixtest::bmp {

using ixtest::Bytes, ixtest::put;

struct Bitmap {
    uint16_t bits;
    int32_t width, height;          // negative height: top-down
    Bytes pixels;                   // as stored: padded rows, or the RLE stream
    std::vector<uint32_t> palette = {};  // 0xRRGGBB
    uint32_t compression = 0;
    std::vector<uint32_t> masks = {};  // in the header, or after a 40-byte one
    uint32_t headerSize = 40;          // 12: OS/2, 40, 108, 124
};

inline Bytes file(const Bitmap& bm) {
    Bytes info;
    put(info, bm.headerSize);
    if (bm.headerSize == 12) {
        put(info, static_cast<uint32_t>(bm.width), 2), put(info, static_cast<uint32_t>(bm.height), 2);
        put(info, 1, 2), put(info, bm.bits, 2);
    } else {
        put(info, static_cast<uint32_t>(bm.width)), put(info, static_cast<uint32_t>(bm.height));
        put(info, 1, 2), put(info, bm.bits, 2), put(info, bm.compression);
        put(info, static_cast<uint32_t>(bm.pixels.size())), put(info, 2835), put(info, 2835);
        put(info, static_cast<uint32_t>(bm.palette.size())), put(info, 0);
        for (size_t i = 0; i < bm.masks.size() && bm.headerSize > 40; ++i) put(info, bm.masks[i]);
        info.resize(bm.headerSize, 0);
        for (size_t i = 0; i < bm.masks.size() && bm.headerSize == 40; ++i) put(info, bm.masks[i]);
    }
    for (const uint32_t c : bm.palette) put(info, c, bm.headerSize == 12 ? 3 : 4);
    Bytes out = {'B', 'M'};
    put(out, static_cast<uint32_t>(14 + info.size() + bm.pixels.size())), put(out, 0);
    put(out, static_cast<uint32_t>(14 + info.size()));
    out.insert(out.end(), info.begin(), info.end());
    out.insert(out.end(), bm.pixels.begin(), bm.pixels.end());
    return out;
}

// Rows as stored, each padded to four bytes.
inline Bytes rows(std::initializer_list<Bytes> list) {
    Bytes out;
    for (const Bytes& row : list) {
        out.insert(out.end(), row.begin(), row.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
    }
    return out;
}

// A palette of `count` grays from black to white.
inline std::vector<uint32_t> grays(int count) {
    std::vector<uint32_t> p;
    for (int i = 0; i < count; ++i) p.push_back(static_cast<uint32_t>(i * 255 / (count - 1)) * 0x010101);
    return p;
}

}  // namespace ixtest::bmp
