// PNG files that ask for far more memory than their size justifies.
#include "Hostile.h"
#include "PngWriter.h"

using namespace ixtest::png;

// 20000 x 20000 one-bit palette indices with a partial alpha: 60 kB whose
// image data may inflate to 50 MB, but whose planes would take 1.6 GB.
IX_HOSTILE(PngPaletteWidenedBeyondBudget) {
    const std::string png = start(20000, 1, 3) + chunk("PLTE", std::string(6, '\x7f')) + chunk("tRNS", "\x80\xff") +
                            chunk("IDAT", std::string(60000, '\0')) + chunk("IEND", "");
    return {ixhostile::writeFile(dir, "palette.png", png),
            "image of 20000 x 20000 pixels x 4 channels of byte exceeds the limit of", 64};
}

// 40000 x 40000 RGBA pixels in a hundred bytes.
IX_HOSTILE(PngHeaderBeyondItsData) {
    const std::string png = start(40000, 8, 6) + chunk("IDAT", std::string(40, '\0')) + chunk("IEND", "");
    return {ixhostile::writeFile(dir, "header.png", png), "Invalid PNG file: image data too short for 40000 x 40000 pixels", 32};
}

// A text chunk declaring 1 GB in a file of a hundred bytes.
IX_HOSTILE(PngChunkLongerThanTheFile) {
    const std::string png = start(16, 8, 0) + chunk("tEXt", std::string("Comment\0x", 9), 1u << 30) + chunk("IEND", "");
    return {ixhostile::writeFile(dir, "text.png", png), "Invalid PNG file", 32};
}
