// Object files whose records ask for far more memory than they hold.
#include <cstdint>
#include <string>

#include "Hostile.h"

namespace {

const std::string kMagic = "\x89IXOBJ\r\n";

template <class T>
void put(std::string& out, T value) {
    out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

std::string header(uint32_t count) {
    std::string out = kMagic;
    put<uint32_t>(out, 1);
    put<uint32_t>(out, count);
    return out;
}

void record(std::string& out, uint32_t tag, const std::string& payload) {
    put<uint32_t>(out, tag);
    put<uint32_t>(out, 0);
    put<uint64_t>(out, payload.size());
    out += payload;
}

}  // namespace

// 65536 x 32768 pixels of 8 bytes in 2^30 channels: the pixel bytes wrap to 0
// in 64 bits, which a reader without overflow checks takes for "fits".
IX_HOSTILE(ObjectImageChannelCountOverflow) {
    std::string image;
    for (uint32_t field : {5u, 1u << 30, 65536u, 32768u, 0u, 0u}) put<uint32_t>(image, field);
    image += std::string(64, '\0');
    std::string file = header(1);
    record(file, 1, image);
    return {ixhostile::writeFile(dir, "channels.hobj", file), "exceeds the limit of 4096 channels", 64};
}

// A million empty regions: 24 MB of records that would take over 600 MB as
// objects and tree nodes.
IX_HOSTILE(ObjectFileOfAMillionEmptyRegions) {
    std::string emptyRegion;
    put<uint64_t>(emptyRegion, 0);
    std::string one;
    record(one, 2, emptyRegion);
    std::string file = header(1000000);
    file.reserve(file.size() + 1000000 * one.size());
    for (int i = 0; i < 1000000; ++i) file += one;
    return {ixhostile::writeFile(dir, "regions.hobj", file), "1000000 objects exceeds the limit of", 64};
}
