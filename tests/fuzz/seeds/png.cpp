// Small PNG files of each colour type, depth and interlacing, written by libspng.
#include <spng.h>

#include <cstdlib>
#include <memory>

#include "Seeds.h"

namespace {

struct Variant {
    uint8_t colourType, depth, interlace;
    bool trns;
};

ixseeds::Bytes encode(const Variant& v, uint32_t width, uint32_t height) {
    const int samples = v.colourType == 2 ? 3 : v.colourType == 4 ? 2 : v.colourType == 6 ? 4 : 1;
    const size_t rowBytes = (size_t{width} * samples * v.depth + 7) / 8;
    ixseeds::Bytes raw(rowBytes * height);
    for (size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<uint8_t>(i * 37 + 11);
    if (v.colourType == SPNG_COLOR_TYPE_INDEXED && v.depth == 8)
        for (auto& index : raw) index %= 4;

    std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> ctx(spng_ctx_new(SPNG_CTX_ENCODER), spng_ctx_free);
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr{width, height, v.depth, v.colourType, 0, 0, v.interlace};
    spng_set_ihdr(ctx.get(), &ihdr);
    if (v.colourType == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte plte{};
        plte.n_entries = v.depth == 1 ? 2 : 4;
        for (uint32_t i = 0; i < plte.n_entries; ++i)
            plte.entries[i] = {uint8_t(i * 60), uint8_t(255 - i * 60), uint8_t(i * 17), 255};
        spng_set_plte(ctx.get(), &plte);
    }
    if (v.trns) {
        spng_trns trns{};
        trns.gray = 1, trns.red = 11, trns.green = 48, trns.blue = 85;
        trns.n_type3_entries = 2;
        trns.type3_alpha[0] = 0, trns.type3_alpha[1] = 128;
        spng_set_trns(ctx.get(), &trns);
    }
    spng_set_gama(ctx.get(), 0.45455);
    if (spng_encode_image(ctx.get(), raw.data(), raw.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) != 0) return {};
    size_t size = 0;
    int error = 0;
    std::unique_ptr<void, void (*)(void*)> buffer(spng_get_png_buffer(ctx.get(), &size, &error), free);
    if (error != 0 || !buffer) return {};
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer.get());
    return ixseeds::Bytes(bytes, bytes + size);
}

}  // namespace

IX_SEEDS(png) {
    const Variant variants[] = {
        {SPNG_COLOR_TYPE_GRAYSCALE, 1, 0, false},       {SPNG_COLOR_TYPE_GRAYSCALE, 4, 1, true},
        {SPNG_COLOR_TYPE_GRAYSCALE, 16, 1, false},      {SPNG_COLOR_TYPE_TRUECOLOR, 8, 0, true},
        {SPNG_COLOR_TYPE_TRUECOLOR, 16, 0, false},      {SPNG_COLOR_TYPE_INDEXED, 2, 0, true},
        {SPNG_COLOR_TYPE_INDEXED, 8, 1, false},         {SPNG_COLOR_TYPE_GRAYSCALE_ALPHA, 8, 0, false},
        {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 16, 1, false}, {SPNG_COLOR_TYPE_TRUECOLOR_ALPHA, 8, 0, false},
    };
    for (const Variant& v : variants) {
        const ixseeds::Bytes bytes = encode(v, 7, 5);
        if (!bytes.empty()) add(bytes);
    }
}
