// PNG files for the tests, the fuzz seeds and the hostile cases: written by
// libspng from a function giving every stored sample, or chunk by chunk.
#pragma once

#include <spng.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace ixtest::png {

using Value = std::function<uint32_t(uint32_t x, uint32_t y, int sample)>;

inline int samplesOf(uint8_t colourType) {
    return std::array<int, 7>{1, 0, 3, 1, 2, 0, 4}.at(colourType);
}

struct Png {
    uint8_t colourType, depth;
    bool interlaced;
    Value value;  // the stored samples: palette indices, or samples of `depth` bits
    std::vector<std::array<uint8_t, 3>> palette = {};
    const spng_trns* trns = nullptr;
    uint32_t width = 13, height = 11;  // not a multiple of 8: partial bytes and Adam7 passes
};

// The file, with a gamma that a reader must not apply; empty when libspng refuses it.
inline std::vector<uint8_t> encode(const Png& png) {
    const int samples = samplesOf(png.colourType);
    const size_t perRow = png.width * static_cast<size_t>(samples), rowBytes = (perRow * png.depth + 7) / 8;
    std::vector<uint8_t> raw(rowBytes * png.height, 0);
    for (uint32_t y = 0; y < png.height; ++y)
        for (size_t k = 0; k < perRow; ++k) {
            const uint32_t v = png.value(static_cast<uint32_t>(k / samples), y, static_cast<int>(k % samples));
            uint8_t* row = raw.data() + y * rowBytes;
            if (png.depth == 16) {
                const uint16_t v16 = static_cast<uint16_t>(v);  // spng takes 16-bit samples in host order
                std::memcpy(row + 2 * k, &v16, 2);
            } else {
                row[k * png.depth / 8] |= static_cast<uint8_t>(v << (8 - png.depth - k * png.depth % 8));
            }
        }
    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{png.width, png.height, png.depth, png.colourType, 0, 0, static_cast<uint8_t>(png.interlaced)};
    spng_plte plte{};
    plte.n_entries = static_cast<uint32_t>(png.palette.size());
    for (size_t i = 0; i < png.palette.size(); ++i)
        plte.entries[i] = {png.palette[i][0], png.palette[i][1], png.palette[i][2], 255};
    if (spng_set_ihdr(ctx.get(), &ihdr) || (plte.n_entries && spng_set_plte(ctx.get(), &plte)) ||
        spng_set_gama(ctx.get(), 1 / 2.2) || (png.trns && spng_set_trns(ctx.get(), const_cast<spng_trns*>(png.trns))) ||
        spng_encode_image(ctx.get(), raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE))
        return {};
    size_t size = 0;
    int error = 0;
    std::unique_ptr<void, void (*)(void*)> buffer(spng_get_png_buffer(ctx.get(), &size, &error), free);
    if (error || !buffer) return {};
    return std::vector<uint8_t>(static_cast<uint8_t*>(buffer.get()), static_cast<uint8_t*>(buffer.get()) + size);
}

inline uint32_t crc32(const uint8_t* p, size_t n) {
    uint32_t crc = 0xffffffff;
    while (n--) {
        crc ^= *p++;
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

inline std::string bigEndian(uint32_t v) {
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8), static_cast<char>(v)};
}

// One chunk declaring `length` bytes of which `data` are present, with its checksum.
inline std::string chunk(const std::string& type, const std::string& data, uint32_t length) {
    const std::string body = type + data;
    return bigEndian(length) + body + bigEndian(crc32(reinterpret_cast<const uint8_t*>(body.data()), body.size()));
}
inline std::string chunk(const std::string& type, const std::string& data) {
    return chunk(type, data, static_cast<uint32_t>(data.size()));
}

// Signature and header of a `side` x `side` image.
inline std::string start(uint32_t side, uint8_t depth, uint8_t colourType) {
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           chunk("IHDR", bigEndian(side) + bigEndian(side) + std::string{char(depth), char(colourType), 0, 0, 0});
}

}  // namespace ixtest::png
