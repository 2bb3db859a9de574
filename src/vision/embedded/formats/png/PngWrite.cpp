// PNG writing with libspng.
//
// Byte images become 8-bit, uint2 images 16-bit files; 1 channel is gray, 2
// gray+alpha, 3 RGB (channel 1 red), 4 RGBA. A gray or RGB image whose domain
// leaves pixels out gets an alpha channel that is opaque exactly on the domain,
// so that reading the file gives the domain back; the pixels outside it hold
// the fill value. Images of 2 or 4 channels keep their last channel as the
// alpha (read back as the domain when it holds only 0 and the maximum, by the
// reader's rule), and pixels outside their domain are filled.
//
// Options: "png <level>", the deflate level 0 (stored) to 9 (smallest); 6 by
// default, zlib's own balance of size and time.
//
// Rows are encoded one at a time and streamed to the sink; an error of the
// sink is kept while spng unwinds and raised once it has returned.
#include <spng.h>

#include <exception>
#include <memory>
#include <utility>

#include "base/Errors.h"
#include "formats/png/PngFormat.h"

namespace ixv::formats::png {

namespace {

constexpr const char* kProc = "write_image";

struct Output {
    FileSink* sink;
    std::exception_ptr pending;

    static int write(spng_ctx*, void* user, void* data, size_t length) {
        auto* self = static_cast<Output*>(user);
        try {
            self->sink->write(data, length);
            return 0;
        } catch (...) {
            self->pending = std::current_exception();
            return SPNG_IO_ERROR;
        }
    }
};

struct ContextFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

}  // namespace

void writeImage(const Image& image, const std::string& format, double fill, FileSink& sink) {
    const int level = integerOption(format, 0, 9, 6, "compression level");
    const size_t channels = image.channelCount();
    const bool wide = image.type() == PixelType::UInt2;
    if ((image.type() != PixelType::Byte && !wide) || channels < 1 || channels > 4)
        raiseCannotWrite(image, "PNG takes byte or uint2 images of 1 to 4 channels");
    if (image.width() > 0x7fffffff || image.height() > 0x7fffffff)
        raise(kProc, err::FileWrite, "PNG holds at most 2^31 - 1 rows and columns");
    const bool alpha = (channels == 1 || channels == 3) && domainReduced(image);
    const size_t samples = channels + (alpha ? 1 : 0);
    static const uint8_t kColourType[5] = {0, SPNG_COLOR_TYPE_GRAYSCALE, SPNG_COLOR_TYPE_GRAYSCALE_ALPHA,
                                           SPNG_COLOR_TYPE_TRUECOLOR, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA};
    ImageRows rows(image, fill, alpha, wide ? 0xffff : 0xff);

    std::unique_ptr<spng_ctx, ContextFree> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx) raise(kProc, err::OutOfMemory, "PNG encoder");
    Output output{&sink, nullptr};
    const auto check = [&](int error) {
        if (output.pending) std::rethrow_exception(std::exchange(output.pending, nullptr));
        if (error == SPNG_EMEM) raise(kProc, err::OutOfMemory, "PNG encoder");
        if (error != SPNG_OK && error != SPNG_EOI)
            raiseMessage(kProc, err::FileWrite, std::string("Cannot write PNG file: ") + spng_strerror(error));
    };
    spng_ihdr header{};
    header.width = static_cast<uint32_t>(image.width());
    header.height = static_cast<uint32_t>(image.height());
    header.bit_depth = wide ? 16 : 8;
    header.color_type = kColourType[samples];
    check(spng_set_png_stream(ctx.get(), Output::write, &output));
    check(spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, level));
    check(spng_set_ihdr(ctx.get(), &header));
    check(spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG, SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE));

    // SPNG_FMT_PNG: samples in host byte order, which spng turns big-endian.
    for (int64_t y = 0; y < image.height(); ++y) {
        const uint8_t* row = rows.row(y);
        const int error = spng_encode_row(ctx.get(), row, rows.rowBytes());
        check(error);
        if (error == SPNG_EOI) break;
    }
}

}  // namespace ixv::formats::png
