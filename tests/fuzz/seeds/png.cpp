// Small PNG files of each colour type, depth and interlacing, written by libspng.
#include "PngWriter.h"
#include "Seeds.h"

using namespace ixtest::png;

IX_SEEDS(png) {
    spng_trns trns{};
    trns.gray = 1, trns.red = 11, trns.green = 48, trns.blue = 85;
    trns.n_type3_entries = 2, trns.type3_alpha[0] = 0, trns.type3_alpha[1] = 128;
    const std::vector<std::array<uint8_t, 3>> palette = {{0, 255, 0}, {60, 195, 17}, {120, 135, 34}, {180, 75, 51}};
    const Png kinds[] = {
        {SPNG_COLOR_TYPE_GRAYSCALE, 1, false},      {SPNG_COLOR_TYPE_GRAYSCALE, 4, true, {}, {}, &trns},
        {SPNG_COLOR_TYPE_GRAYSCALE, 16, true},      {SPNG_COLOR_TYPE_TRUECOLOR, 8, false, {}, {}, &trns},
        {SPNG_COLOR_TYPE_TRUECOLOR, 16, false},     {SPNG_COLOR_TYPE_INDEXED, 2, false, {}, palette, &trns},
        {SPNG_COLOR_TYPE_INDEXED, 8, true, {}, palette}, {SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 8, false},
        {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 16, true}, {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, false},
    };
    for (Png png : kinds) {
        const uint32_t top = png.palette.empty() ? 1u << png.depth : 4;
        png.value = [top](uint32_t x, uint32_t y, int s) { return (x * 37 + y * 11 + s * 5) % top; };
        png.width = 7, png.height = 5;
        add(encode(png));
    }
}
