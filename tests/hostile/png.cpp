// PNG files that ask for far more memory than their size justifies.
#include <cstdint>
#include <string>

#include "Hostile.h"

namespace {

uint32_t crc32(const std::string& bytes) {
    uint32_t crc = 0xffffffff;
    for (const char c : bytes) {
        crc ^= static_cast<uint8_t>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320 & (0 - (crc & 1)));
    }
    return ~crc;
}

std::string bigEndian(uint32_t value) {
    return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
            static_cast<char>(value)};
}

// A chunk declaring `length` bytes of which `data` are present.
std::string chunk(const std::string& type, const std::string& data, uint32_t length) {
    return bigEndian(length) + type + data + bigEndian(crc32(type + data));
}
std::string chunk(const std::string& type, const std::string& data) {
    return chunk(type, data, static_cast<uint32_t>(data.size()));
}

// Signature and header of a `side` x `side` image.
std::string start(uint32_t side, uint8_t depth, uint8_t colourType) {
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           chunk("IHDR", bigEndian(side) + bigEndian(side) + std::string{static_cast<char>(depth),
                                                                        static_cast<char>(colourType), 0, 0, 0});
}

}  // namespace

// 20000 x 20000 one-bit palette indices with a partial alpha: 60 kB whose
// image data may inflate to 50 MB, but whose planes would take 1.6 GB.
IX_HOSTILE(PngPaletteWidenedBeyondBudget) {
    const std::string png = start(20000, 1, 3) + chunk("PLTE", std::string(6, '\x7f')) + chunk("tRNS", "\x80\xff") +
                            chunk("IDAT", std::string(60000, '\0')) + chunk("IEND", "");
    return {ixhostile::writeFile(dir, "palette.png", png), "exceeds the limit of", 64};
}

// 40000 x 40000 RGBA pixels in a hundred bytes.
IX_HOSTILE(PngHeaderBeyondItsData) {
    const std::string png = start(40000, 8, 6) + chunk("IDAT", std::string(40, '\0')) + chunk("IEND", "");
    return {ixhostile::writeFile(dir, "header.png", png), "image data too short for 40000 x 40000 pixels", 32};
}

// A text chunk declaring 1 GB in a file of a hundred bytes.
IX_HOSTILE(PngChunkLongerThanTheFile) {
    const std::string png = start(16, 8, 0) + chunk("tEXt", std::string("Comment\0x", 9), 1u << 30) + chunk("IEND", "");
    return {ixhostile::writeFile(dir, "text.png", png), "Invalid PNG file", 32};
}
