// The PNG reader on arbitrary bytes: an image or an HException, never a crash.
//
// Chunk checksums are made to match before reading, so that mutated headers,
// palettes and transparency reach the decoder instead of stopping at the first
// checksum; checksum errors themselves are covered by the unit tests.
#include <vector>

#include "HalconCpp.h"
#include "formats/png/PngFormat.h"

namespace {

uint32_t crc32(const uint8_t* p, size_t n) {
    static const std::vector<uint32_t> table = [] {
        std::vector<uint32_t> t(256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xedb88320u & (0u - (c & 1)));
            t[i] = c;
        }
        return t;
    }();
    uint32_t crc = 0xffffffffu;
    while (n--) crc = table[(crc ^ *p++) & 0xff] ^ (crc >> 8);
    return ~crc;
}

void fixChecksums(std::vector<uint8_t>& png) {
    size_t at = 8;
    while (at + 12 <= png.size()) {
        const uint64_t length = (uint64_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
        if (length > png.size() - at - 12) return;
        const size_t end = at + 8 + static_cast<size_t>(length);
        const uint32_t crc = crc32(&png[at + 4], static_cast<size_t>(length) + 4);
        for (int k = 0; k < 4; ++k) png[end + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
        at = end + 4;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> png(data, data + size);
    fixChecksums(png);
    try {
        const auto file = ixv::formats::ByteSource::inMemory(png.data(), png.size());
        ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("png", &ixv::formats::Format::matches), file);
        ixv::formats::png::readImage(file, budget);
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
