// BMP files whose pixel data describes far fewer pixels than the image asks for.
#include <cstdint>
#include <string>

#include "Hostile.h"

namespace {

void put(std::string& out, uint32_t value, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) out += static_cast<char>(value >> (8 * i));
}

}  // namespace

// 65536 x 32768 pixels of RLE8 data that ends at once (end of bitmap), then
// 2 MB of padding: the padding describes no pixels, so the image may not grow
// with it. Every pixel is skipped, which would make gray plus an alpha
// channel: 4 GB.
IX_HOSTILE(BmpRleEndOfBitmapThenPadding) {
    const uint32_t padding = 2u << 20;
    std::string file = "BM";
    put(file, 14 + 40 + 8 + 2 + padding), put(file, 0), put(file, 14 + 40 + 8);
    put(file, 40), put(file, 65536), put(file, 32768), put(file, 1, 2), put(file, 8, 2), put(file, 1);
    put(file, 0), put(file, 2835), put(file, 2835), put(file, 2), put(file, 0);
    put(file, 0), put(file, 0x00FFFFFF);  // palette: black, white
    file += std::string("\0\1", 2);       // end of bitmap
    file += std::string(padding, '\0');
    return {ixhostile::writeFile(dir, "padded.bmp", file), "exceeds the limit of", 64};
}
