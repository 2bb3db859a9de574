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

// A sequence naming one PNG of 4096 x 4096 pixels a thousand times: the file is
// decoded once and its image shared by every entry.
IX_HOSTILE(SequenceRepeatingOneLargePng) {
    ixhostile::writeFile(dir, "frame.png", encode({0, 8, false, [](uint32_t, uint32_t, int) { return 0u; }, {}, nullptr, 4096, 4096}));
    std::string lines;
    for (int i = 0; i < 1000; ++i) lines += "frame.png\n";
    return {ixhostile::writeFile(dir, "repeat.seq", lines), "", 96};
}

// 257 distinct files of 8 kB, each a 8192 x 8192 image of 64 MiB: together more
// than any load may decode, refused before the first is decoded.
IX_HOSTILE(SequenceOfDistinctPngsBeyondTheCeiling) {
    const auto png = encode({0, 1, false, [](uint32_t, uint32_t, int) { return 0u; }, {}, nullptr, 8192, 8192});
    std::string lines;
    for (int i = 0; i < 257; ++i) lines += ixhostile::writeFile(dir, "f" + std::to_string(i) + ".png", png) + "\n";
    return {ixhostile::writeFile(dir, "distinct.seq", lines), "images of at least 17246978048 bytes in all exceeds the limit of 17179869184", 64};
}
