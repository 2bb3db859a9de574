// JPEG reading with libjpeg-turbo's libjpeg interface, a few rows at a time.
//
// libjpeg reports errors through its error manager; ours records the message
// and jumps back (setjmp/longjmp) to the function that called the library.
// Those functions hold no object with a destructor: everything that needs
// cleaning up lives in read(), above them, so a jump skips no destructor.
// Corrupt-data warnings are errors too: a damaged file never gives a partial
// image.
#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <string>

#include <jpeglib.h>
#include <jerror.h>

#include "base/Errors.h"
#include "formats/jpeg/JpegFormat.h"

namespace ixv::formats::jpeg {

namespace {

// Progressive files with more scans than this are refused: each scan passes
// over the whole image, so a small file of many scans would take minutes.
constexpr int kMaxScans = 500;

// Rows asked of the decoder at a time.
constexpr JDIMENSION kRowsPerCall = 16;

// A file can describe at most this many pixels per byte of it: a Huffman-coded
// file spends at least one bit on each 8x8 block of a scan. Images up to
// kPixelsAlwaysAllowed pixels are read whatever the file's size.
constexpr uint64_t kMaxPixelsPerByte = 2048;
constexpr uint64_t kPixelsAlwaysAllowed = uint64_t{1} << 24;

// The decoder's own memory (the coefficients of a multi-scan image) is held to
// this many bytes per byte of file, on top of kMemoryAlwaysAllowed.
constexpr uint64_t kMemoryPerByte = 4096;
constexpr uint64_t kMemoryAlwaysAllowed = uint64_t{64} << 20;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
    int code;  // the libjpeg message code of the failure
    char message[JMSG_LENGTH_MAX];
};

// Everything the libjpeg calls touch; trivially destructible, so that a jump
// out of the library leaves nothing behind but what jpeg_destroy frees.
struct Session {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
    jpeg_progress_mgr progress;
    bool created;
};

[[noreturn]] void failWith(j_common_ptr cinfo) {
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    error->code = error->pub.msg_code;
    (*error->pub.format_message)(cinfo, error->message);
    std::longjmp(error->jump, 1);
}

void errorExit(j_common_ptr cinfo) {
    failWith(cinfo);
}

void outputMessage(j_common_ptr) {}

// Level -1 is a warning about corrupt data, higher levels are traces.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level != -1) return;
    ++cinfo->err->num_warnings;
    // An unknown JFIF version says nothing about the image data.
    if (cinfo->err->msg_code == JWRN_JFIF_MAJOR) return;
    failWith(cinfo);
}

void progressMonitor(j_common_ptr cinfo) {
    auto* dinfo = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (dinfo->input_scan_number <= kMaxScans) return;
    auto* error = reinterpret_cast<ErrorManager*>(cinfo->err);
    error->code = -1;
    std::snprintf(error->message, sizeof error->message, "more than %d scans", kMaxScans);
    std::longjmp(error->jump, 1);
}

// One pass over a row of RGB triples into three planes.
void spreadRgb(const uint8_t* in, uint8_t* r, uint8_t* g, uint8_t* b, size_t width) {
    for (size_t x = 0; x < width; ++x, in += 3) {
        r[x] = in[0];
        g[x] = in[1];
        b[x] = in[2];
    }
}

// Reads the header and chooses the output colour space; false on an error.
bool readHeader(Session* s, Bytes file) {
    s->cinfo.err = jpeg_std_error(&s->error.pub);
    s->error.pub.error_exit = errorExit;
    s->error.pub.output_message = outputMessage;
    s->error.pub.emit_message = emitMessage;
    s->error.code = 0;
    s->error.message[0] = '\0';
    if (setjmp(s->error.jump)) return false;
    jpeg_create_decompress(&s->cinfo);
    s->created = true;
    const uint64_t memory = kMemoryAlwaysAllowed + kMemoryPerByte * static_cast<uint64_t>(file.size);
    s->cinfo.mem->max_memory_to_use = static_cast<long>(std::min<uint64_t>(memory, uint64_t{1} << 62));
    s->progress.progress_monitor = progressMonitor;
    s->cinfo.progress = &s->progress;
    jpeg_mem_src(&s->cinfo, file.data, static_cast<unsigned long>(file.size));
    jpeg_read_header(&s->cinfo, TRUE);
    return true;
}

// Decodes every row into the planes; false on an error.
bool decode(Session* s, ImageAssembler* image) {
    if (setjmp(s->error.jump)) return false;
    j_decompress_ptr cinfo = &s->cinfo;
    jpeg_start_decompress(cinfo);
    if (static_cast<int64_t>(cinfo->output_width) != image->width() ||
        static_cast<int64_t>(cinfo->output_height) != image->height() ||
        cinfo->output_components != (cinfo->out_color_space == JCS_RGB ? 3 : 1)) {
        std::snprintf(s->error.message, sizeof s->error.message, "unexpected output size");
        return false;
    }
    // The decoder never suspends on data in memory; a call that gives no row is a failure.
    std::snprintf(s->error.message, sizeof s->error.message, "the decoder stopped early");
    const int components = cinfo->output_components;
    // A few rows per call: the decoder works an 8- or 16-row band at a time.
    const JDIMENSION step = static_cast<JDIMENSION>(cinfo->rec_outbuf_height);
    const JDIMENSION rows = std::max<JDIMENSION>(step, kRowsPerCall / step * step);
    if (components == 1) {
        // Gray rows go straight into the plane.
        uint8_t* plane = image->plane(0);
        JSAMPROW pointers[kRowsPerCall];
        while (cinfo->output_scanline < cinfo->output_height) {
            const JDIMENSION first = cinfo->output_scanline;
            const JDIMENSION count = std::min<JDIMENSION>({rows, kRowsPerCall, cinfo->output_height - first});
            for (JDIMENSION i = 0; i < count; ++i)
                pointers[i] = plane + (first + i) * static_cast<size_t>(cinfo->output_width);
            if (jpeg_read_scanlines(cinfo, pointers, count) == 0) return false;
        }
    } else {
        const JDIMENSION stride = cinfo->output_width * static_cast<JDIMENSION>(components);
        JSAMPARRAY buffer =
            (*cinfo->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, stride, rows);
        const size_t width = cinfo->output_width;
        uint8_t* planes[3] = {image->plane(0), image->plane(1), image->plane(2)};
        while (cinfo->output_scanline < cinfo->output_height) {
            const JDIMENSION first = cinfo->output_scanline;
            const JDIMENSION read = jpeg_read_scanlines(cinfo, buffer, rows);
            if (read == 0) return false;
            for (JDIMENSION i = 0; i < read; ++i) {
                const size_t offset = (first + i) * width;
                spreadRgb(buffer[i], planes[0] + offset, planes[1] + offset, planes[2] + offset, width);
            }
        }
    }
    jpeg_finish_decompress(cinfo);
    return true;
}

// Owns the session in the caller's frame, which no jump ever leaves.
class SessionGuard {
public:
    SessionGuard() { std::memset(&session_, 0, sizeof session_); }
    ~SessionGuard() {
        if (session_.created) jpeg_destroy_decompress(&session_.cinfo);
    }
    SessionGuard(const SessionGuard&) = delete;
    SessionGuard& operator=(const SessionGuard&) = delete;
    Session* get() { return &session_; }

private:
    Session session_;
};

[[noreturn]] void raiseFailure(const Session& s) {
    if (s.error.code == JERR_OUT_OF_MEMORY) raise("read_image", err::OutOfMemory, s.error.message);
    if (s.error.code == JERR_NO_BACKING_STORE)
        raiseInvalid("JPEG", "the image of " + std::to_string(s.cinfo.image_width) + " x " +
                                 std::to_string(s.cinfo.image_height) +
                                 " pixels needs more decoding memory than a file of this size justifies");
    raiseInvalid("JPEG", s.error.message[0] ? s.error.message : "unknown decoder error");
}

}  // namespace

bool matches(Bytes head) {
    return head.size >= 3 && head.data[0] == 0xFF && head.data[1] == 0xD8 && head.data[2] == 0xFF;
}

std::vector<IconicPtr> read(Bytes file) {
    SessionGuard guard;
    Session* s = guard.get();
    if (!readHeader(s, file)) raiseFailure(*s);

    jpeg_decompress_struct& cinfo = s->cinfo;
    switch (cinfo.jpeg_color_space) {
    case JCS_GRAYSCALE: cinfo.out_color_space = JCS_GRAYSCALE; break;
    case JCS_YCbCr:
    case JCS_RGB: cinfo.out_color_space = JCS_RGB; break;
    case JCS_CMYK:
    case JCS_YCCK: raiseInvalid("JPEG", "CMYK JPEG is not supported");
    default:
        raiseInvalid("JPEG", "unsupported colour space with " + std::to_string(cinfo.num_components) + " components");
    }
    const int64_t width = cinfo.image_width;
    const int64_t height = cinfo.image_height;
    Image::checkSize(width, height, "read_image");
    const uint64_t pixels = static_cast<uint64_t>(width) * static_cast<uint64_t>(height);
    if (pixels > kPixelsAlwaysAllowed && pixels / kMaxPixelsPerByte > file.size)
        raiseInvalid("JPEG", "a file of " + std::to_string(file.size) + " bytes cannot hold an image of " +
                                 std::to_string(width) + " x " + std::to_string(height) + " pixels");

    ImageAssembler image(PixelType::Byte, width, height, cinfo.out_color_space == JCS_RGB ? 3 : 1, false, 255,
                         "read_image");
    if (!decode(s, &image)) raiseFailure(*s);
    return {image.finish()};
}

bool matches(const uint8_t* head, size_t size) {
    return matches(Bytes{head, size});
}

IconicPtr readImage(const ByteSource& file, Budget&) {
    const std::vector<uint8_t> bytes = file.readAll(UINT64_MAX, "JPEG");
    return read(Bytes{bytes.data(), bytes.size()}).at(0);
}

}  // namespace ixv::formats::jpeg
