// Small TIFF files of every kind the reader handles, written by libtiff.
#include "Seeds.h"
#include "TiffWriter.h"

using namespace ixtest::tiff;

IX_SEEDS(tiff) {
    constexpr uint16_t S = SAMPLEFORMAT_INT, F = SAMPLEFORMAT_IEEEFP;
    std::vector<uint16_t> map(3 * 16);
    for (size_t i = 0; i < map.size(); ++i) map[i] = static_cast<uint16_t>(i * 4099);
    const std::pair<Tags, const char*> kinds[] = {
        {Tags(9, 7).strips(3), "w"},
        {Tags(9, 7).bps(16).compress(COMPRESSION_LZW).strips(3), "wb"},
        {Tags(9, 7).rgb().compress(COMPRESSION_ADOBE_DEFLATE).strips(3), "w"},
        {Tags(9, 7).rgb().spp(4).separate().compress(COMPRESSION_PACKBITS).extra({EXTRASAMPLE_UNASSALPHA}), "w"},
        {Tags(40, 20).rgb().bps(16).compress(COMPRESSION_LZW).tiles(16, 16), "w"},
        {Tags(40, 20).spp(2).separate().tiles(16, 16).extra({EXTRASAMPLE_ASSOCALPHA}), "w8"},
        {Tags(9, 7).bps(32, F), "w"},
        {Tags(9, 7).bps(64, F).compress(COMPRESSION_ADOBE_DEFLATE, PREDICTOR_FLOATINGPOINT), "wb"},
        {Tags(9, 7).bps(16, F), "w"},
        {Tags(9, 7).bps(16, S), "w"},
        {Tags(17, 7).bps(1).photo(PHOTOMETRIC_MINISWHITE).compress(COMPRESSION_CCITTFAX4), "w"},
        {Tags(17, 7).bps(4).compress(COMPRESSION_LZW).palette(map), "w"},
        {Tags(32, 32).rgb().photo(PHOTOMETRIC_YCBCR).compress(COMPRESSION_JPEG).strips(16), "w"},
        {Tags(32, 32).subsampled(2, 2).raw(std::vector<uint8_t>(16 * 16 * 6, 0x80)), "w"},
        {Tags(9, 7).spp(4).photo(PHOTOMETRIC_SEPARATED).compress(COMPRESSION_ZSTD), "w"},
    };
    // Pages of a pattern in range for any sample: palette indices and samples of 1 to 4 bits included.
    auto file = [](const Tags& tags, const char* mode, int pages) {
        std::vector<Page> all;
        const int top = tags.bits < 8 ? (1 << tags.bits) : 251;
        for (int page = 0; page < pages; ++page)
            all.emplace_back(tags, [=](uint32_t x, uint32_t y, int s) { return (x * 7 + y * 13 + s * 29 + page) % top; });
        return fileBytes(all, mode);
    };
    for (const auto& [tags, mode] : kinds) add(file(tags, mode, 1));
    add(file(kinds[4].first, "w", 3));
}
