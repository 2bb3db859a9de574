// JPEG writing with libjpeg-turbo's libjpeg interface.
//
// Byte images of 1 channel become gray, of 3 channels colour files (channel 1
// red, stored as YCbCr). JPEG has no alpha: pixels outside the domain hold the
// fill value. Options: "jpeg <quality>", 0 to 100; 90 by default, where the
// loss is hard to see on inspection images.
//
// The encoder writes through a destination manager of our own: a 64 KiB
// buffer emptied into the FileSink. As in the reader, libjpeg's errors jump
// (longjmp) back to compress(), which holds no object with a destructor; an
// error of the sink is kept as an exception in writeImage()'s frame and raised
// there after the jump.
#include <csetjmp>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "base/Errors.h"
#include "formats/jpeg/JpegErrors.h"
#include "formats/jpeg/JpegFormat.h"

namespace ixv::formats::jpeg {

namespace {

constexpr const char* kProc = "write_image";
constexpr size_t kBufferSize = size_t{64} << 10;
constexpr int kSinkFailed = -1;

struct Destination {
    jpeg_destination_mgr pub;
    FileSink* sink;
    JOCTET* buffer;
    std::exception_ptr* pending;
};

// Everything the libjpeg calls touch; trivially destructible.
struct Session {
    jpeg_compress_struct cinfo;
    ErrorManager error;
    Destination destination;
    // Set on cinfo once jpeg_create_compress has cleared it.
    JDIMENSION width, height;
    int components;
    bool created;
};

void initDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = kBufferSize;
}

// Writes `size` bytes of the buffer to the sink; false when the sink raised.
bool flush(Destination* d, size_t size) {
    try {
        d->sink->write(d->buffer, size);
        return true;
    } catch (...) {
        *d->pending = std::current_exception();
        return false;
    }
}

boolean emptyOutputBuffer(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    if (!flush(d, kBufferSize)) jump(reinterpret_cast<j_common_ptr>(cinfo), kSinkFailed);
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = kBufferSize;
    return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
    auto* d = reinterpret_cast<Destination*>(cinfo->dest);
    if (!flush(d, kBufferSize - d->pub.free_in_buffer)) jump(reinterpret_cast<j_common_ptr>(cinfo), kSinkFailed);
}

// The whole encoding; 0, or 1 after libjpeg or the sink failed.
int compress(Session* s, ImageRows* rows, int quality) {
    if (setjmp(s->error.jump)) return 1;
    jpeg_create_compress(&s->cinfo);
    s->created = true;
    s->cinfo.dest = &s->destination.pub;
    s->cinfo.image_width = s->width;
    s->cinfo.image_height = s->height;
    s->cinfo.input_components = s->components;
    s->cinfo.in_color_space = s->components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&s->cinfo);
    jpeg_set_quality(&s->cinfo, quality, TRUE);
    jpeg_start_compress(&s->cinfo, TRUE);
    while (s->cinfo.next_scanline < s->cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(rows->row(s->cinfo.next_scanline));
        jpeg_write_scanlines(&s->cinfo, &row, 1);
    }
    jpeg_finish_compress(&s->cinfo);
    return 0;
}

}  // namespace

void writeImage(const Image& image, const std::string& format, double fill, FileSink& sink) {
    const int quality = integerOption(format, 0, 100, 90, "quality");
    const size_t channels = image.channelCount();
    if (image.type() != PixelType::Byte || (channels != 1 && channels != 3))
        raiseCannotWrite(image, "JPEG takes byte images of 1 or 3 channels");
    if (image.width() > JPEG_MAX_DIMENSION || image.height() > JPEG_MAX_DIMENSION)
        raise(kProc, err::FileWrite, "JPEG holds at most " + std::to_string(JPEG_MAX_DIMENSION) + " rows and columns");
    ImageRows rows(image, fill);
    std::vector<JOCTET> buffer(kBufferSize);
    std::exception_ptr pending;

    Session s{};
    s.cinfo.err = silentErrors(s.error, [](j_common_ptr, int) {});
    s.destination.pub.init_destination = initDestination;
    s.destination.pub.empty_output_buffer = emptyOutputBuffer;
    s.destination.pub.term_destination = termDestination;
    s.destination.sink = &sink;
    s.destination.buffer = buffer.data();
    s.destination.pending = &pending;
    s.width = static_cast<JDIMENSION>(image.width());
    s.height = static_cast<JDIMENSION>(image.height());
    s.components = static_cast<int>(channels);

    const int failed = compress(&s, &rows, quality);
    if (s.created) jpeg_destroy_compress(&s.cinfo);
    if (!failed) return;
    if (pending) std::rethrow_exception(pending);
    if (s.error.code == JERR_OUT_OF_MEMORY) raise(kProc, err::OutOfMemory, "JPEG encoder");
    raiseMessage(kProc, err::FileWrite, std::string("Cannot write JPEG file: ") + s.error.message);
}

}  // namespace ixv::formats::jpeg
