// Object files whose records ask for far more memory than they hold.
#include "Hostile.h"
#include "ObjectFileWriter.h"

using namespace ixtest::hobj;

// 65536 x 32768 pixels of 8 bytes in 2^30 channels: the pixel bytes wrap to 0
// in 64 bits, which a reader without overflow checks takes for "fits".
IX_HOSTILE(ObjectImageChannelCountOverflow) {
    Bytes image;
    for (uint32_t field : {5u, 1u << 30, 65536u, 32768u, 0u, 0u}) put(image, field, 4);
    image.resize(image.size() + 64, 0);
    return {ixhostile::writeFile(dir, "channels.hobj", file(1, {{1, image}})), "exceeds the limit of 4096 channels", 64};
}

// A million empty regions: 24 MB of records that would take over 600 MB as
// objects and tree nodes.
IX_HOSTILE(ObjectFileOfAMillionEmptyRegions) {
    const std::vector<std::pair<uint32_t, Bytes>> regions(1000000, {2, Bytes(8, 0)});
    return {ixhostile::writeFile(dir, "regions.hobj", file(1000000, regions)), "1000000 objects exceeds the limit of", 64};
}
