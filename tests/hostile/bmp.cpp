// BMP files whose pixel data describes far fewer pixels than the image asks for.
#include "BmpWriter.h"
#include "Hostile.h"

// 65536 x 32768 pixels of RLE8 data that ends at once (end of bitmap), then
// 2 MB of padding: the padding describes no pixels, so the image may not grow
// with it. Every pixel is skipped, which would make gray plus an alpha
// channel: 4 GB.
IX_HOSTILE(BmpRleEndOfBitmapThenPadding) {
    ixtest::bmp::Bytes data(2 + (2u << 20), 0);
    data[1] = 1;  // end of bitmap
    const ixtest::bmp::Bitmap bitmap = {8, 65536, 32768, data, {0x000000, 0xFFFFFF}, 1};
    return {ixhostile::writeFile(dir, "padded.bmp", ixtest::bmp::file(bitmap)), "exceeds the limit of", 64};
}
