// The PNG reader on arbitrary bytes. Chunk checksums are made to match before
// reading, so that mutated headers, palettes and transparency reach the decoder
// instead of stopping at the first checksum; the unit tests flip checksummed bits.
#include <algorithm>
#include <vector>

#include "FuzzReader.h"
#include "PngWriter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> png(data, data + size);
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint64_t length = (uint64_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
        if (length > png.size() - at - 12) break;
        const std::string crc = ixtest::png::bigEndian(ixtest::png::crc32(&png[at + 4], size_t(length) + 4));
        std::copy(crc.begin(), crc.end(), png.begin() + static_cast<long>(at + 8 + length));
        at += 12 + length;
    }
    return fuzzReader("png", png.data(), png.size());
}
