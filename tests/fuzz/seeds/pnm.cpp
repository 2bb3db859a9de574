// Small PNM files of each kind: plain and raw bitmaps, gray and colour, 8 and 16 bit.
#include "PnmWriter.h"
#include "Seeds.h"

using ixtest::pnm::file;

IX_SEEDS(pnm) {
    add(file("P1\n# bitmap\n4 2\n1 0 1 0\n0101\n"));
    add(file("P2\n3 2\n15\n0 1 2\n13 14 15\n"));
    add(file("P3 2 1 255\n1 2 3 4 5 6\n"));
    add(file("P4\n10 2\n", {0xA5, 0x40, 0x00, 0xFF}));
    add(file("P5 3 2 255\n", {0, 1, 2, 253, 254, 255}));
    add(file("P6 2 1 255\n", {1, 2, 3, 4, 5, 6}));
    add(file("P6 1 1 65535\n", {0xFF, 0xFE, 0, 1, 1, 0}));
}
