// Small BMP files of each layout: palettes of 1 and 8 bits, RLE4 and RLE8 (with
// a delta and padding after the end code), 16 bit fields, 24 bit, 32 bit with an
// alpha mask, an OS/2 bitmap and a top-down one.
#include "BmpWriter.h"
#include "Seeds.h"

using namespace ixtest::bmp;

IX_SEEDS(bmp) {
    const std::vector<uint32_t> colours = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x808080};
    const Bitmap bitmaps[] = {
        {1, 10, 2, {0xA5, 0x40, 0, 0, 0x0F, 0xF0, 0, 0}, grays(2)},
        {8, 3, -2, {0, 1, 2, 0, 3, 2, 1, 0}, grays(4)},
        {4, 5, 2, {5, 0x12, 0, 0, 0, 5, 0x01, 0x24, 0x30, 0, 0, 1}, colours, 2},
        // A delta, then the end of the bitmap followed by padding.
        {8, 8, 6, {2, 1, 0, 2, 3, 2, 0, 3, 1, 4, 0, 0, 0, 1, 0, 0, 0, 0}, colours, 1},
        {16, 3, 2, Bytes(16, 0x5A), {}, 3, {0xF800, 0x07E0, 0x001F}},
        {24, 3, 2, Bytes(24, 0x5A)},
        {32, 2, 2, Bytes(16, 0x5A), {}, 3, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, 124},
        {8, 2, 2, {0, 1, 0, 0, 2, 4, 0, 0}, colours, 0, {}, 12},
    };
    for (const Bitmap& bitmap : bitmaps) add(file(bitmap));
}
