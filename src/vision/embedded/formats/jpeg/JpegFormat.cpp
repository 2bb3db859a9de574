// JPEG reading with libjpeg-turbo's libjpeg interface, a few rows at a time.
//
// The decoder reads the file through a source manager of our own: a 64 KiB
// buffer filled by preads from the ByteSource; the file is never copied whole.
// libjpeg reports errors through its error manager; ours records the message
// and jumps back (setjmp/longjmp) to the function that called the library.
// Those functions hold no object with a destructor: everything that needs
// cleaning up lives in read(), above them, so a jump skips no destructor. An
// error of the source (a file truncated while being read) is kept as an
// exception in read()'s frame and raised there after the jump. Corrupt-data
// warnings are errors too, and so is an early end of the data: a damaged file
// never gives a partial image.
//
// What a file may cost is bounded by its size: the image planes and, for a
// file of several scans, the decoder's coefficients are taken from the file's
// budget, and the 8x8 blocks decoded over all scans are counted as the scans
// arrive (Limits::jpegBlocksPerByte), so that a small file of many scans is
// refused before it takes seconds.
#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cstdio>
#include <cstring>
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

// Rows asked of the decoder at a time.
constexpr JDIMENSION kRowsPerCall = 16;

// Bytes read from the file at a time.
constexpr size_t kReadSize = size_t{64} << 10;

// Failures of our own, beside libjpeg's message codes.
constexpr int kSourceFailed = -1;  // the ByteSource raised; the exception is pending
constexpr int kTooManyScans = -2;
constexpr int kTooManyBlocks = -3;

// The file, through a buffer that lives in read()'s frame.
struct Source {
    jpeg_source_mgr pub;
    const ByteSource* file;
    uint64_t offset;  // the file offset of the next byte to buffer
    JOCTET* buffer;
    std::exception_ptr* pending;  // where an exception of the file is kept
};

// The scans seen so far and the blocks they decode.
struct Progress {
    jpeg_progress_mgr pub;
    int scans;
    uint64_t blocks;
    uint64_t blockLimit;
};

// Everything the libjpeg calls touch; trivially destructible, so that a jump
// out of the library leaves nothing behind but what jpeg_destroy frees.
struct Session {
    jpeg_decompress_struct cinfo;
    ErrorManager error;
    Progress progress;
    Source source;
    bool created;
};

// Level -1 is a warning about corrupt data, higher levels are traces.
void emitMessage(j_common_ptr cinfo, int level) {
    if (level != -1) return;
    ++cinfo->err->num_warnings;
    // An unknown JFIF version says nothing about the image data.
    if (cinfo->err->msg_code == JWRN_JFIF_MAJOR) return;
    failWith(cinfo);
}

void initSource(j_decompress_ptr) {}
void termSource(j_decompress_ptr) {}

boolean fillInputBuffer(j_decompress_ptr cinfo) {
    auto* source = reinterpret_cast<Source*>(cinfo->src);
    size_t got = 0;
    bool failed = false;
    try {
        got = source->file->readSome(source->offset, source->buffer, kReadSize);
    } catch (...) {
        *source->pending = std::current_exception();
        failed = true;
    }
    if (failed) jump(reinterpret_cast<j_common_ptr>(cinfo), kSourceFailed);
    if (got == 0) {
        // The data ends early: a warning, which emitMessage makes an error.
        WARNMS(cinfo, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        got = 2;
    } else {
        source->offset += got;
    }
    source->pub.next_input_byte = source->buffer;
    source->pub.bytes_in_buffer = got;
    return TRUE;
}

void skipInputData(j_decompress_ptr cinfo, long count) {
    if (count <= 0) return;
    auto* source = reinterpret_cast<Source*>(cinfo->src);
    const auto n = static_cast<size_t>(count);
    if (n <= source->pub.bytes_in_buffer) {
        source->pub.next_input_byte += n;
        source->pub.bytes_in_buffer -= n;
        return;
    }
    source->offset = saturatingAdd(source->offset, n - source->pub.bytes_in_buffer);
    source->pub.bytes_in_buffer = 0;
}

// Called as rows and scans arrive: each new scan is counted, with the blocks
// it decodes, before its data is decoded.
void progressMonitor(j_common_ptr common) {
    auto* cinfo = reinterpret_cast<j_decompress_ptr>(common);
    auto* progress = reinterpret_cast<Progress*>(cinfo->progress);
    if (cinfo->input_scan_number == progress->scans) return;
    progress->scans = cinfo->input_scan_number;
    if (static_cast<uint64_t>(progress->scans) > Limits::jpegScans) jump(common, kTooManyScans);
    const uint64_t blocks = saturatingMul(saturatingMul(cinfo->MCUs_per_row, cinfo->MCU_rows_in_scan),
                                          static_cast<uint64_t>(std::max(cinfo->blocks_in_MCU, 0)));
    progress->blocks = saturatingAdd(progress->blocks, blocks);
    if (progress->blocks > progress->blockLimit) jump(common, kTooManyBlocks);
}

// One pass over a row of RGB triples into three planes.
void spreadRgb(const uint8_t* in, uint8_t* r, uint8_t* g, uint8_t* b, size_t width) {
    for (size_t x = 0; x < width; ++x, in += 3) {
        r[x] = in[0];
        g[x] = in[1];
        b[x] = in[2];
    }
}

// Reads the header; false on an error.
bool readHeader(Session* s) {
    if (setjmp(s->error.jump)) return false;
    jpeg_create_decompress(&s->cinfo);
    s->created = true;
    s->cinfo.src = &s->source.pub;
    s->cinfo.progress = &s->progress.pub;
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
    // The source never suspends; a call that gives no row is a failure.
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

[[noreturn]] void raiseFailure(const Session& s, std::exception_ptr& pending) {
    const char* proc = s.source.file->proc();
    const jpeg_decompress_struct& cinfo = s.cinfo;
    const std::string image =
        "a " + std::to_string(cinfo.image_width) + " x " + std::to_string(cinfo.image_height) + " image";
    switch (s.error.code) {
    case kSourceFailed: std::rethrow_exception(pending);
    case kTooManyScans:
        checkLimit(static_cast<uint64_t>(s.progress.scans), Limits::jpegScans, proc,
                   "scan " + std::to_string(s.progress.scans) + " of the JPEG file", "scans");
        break;
    case kTooManyBlocks:
        checkLimit(s.progress.blocks, s.progress.blockLimit, proc,
                   "decoding " + std::to_string(s.progress.scans) + " scans of " + image + " (" +
                       std::to_string(s.progress.blocks) + " blocks)",
                   ("blocks for a file of " + std::to_string(s.source.file->size()) + " bytes").c_str());
        break;
    case JERR_OUT_OF_MEMORY: raise(proc, err::OutOfMemory, s.error.message);
    case JERR_NO_BACKING_STORE:
        raiseMessage(proc, err::OutOfMemory,
                     "decoding memory of " + image + " exceeds the limit of " +
                         std::to_string(s.cinfo.mem->max_memory_to_use) + " bytes");
    }
    raiseInvalid("JPEG", s.error.message[0] ? s.error.message : "unknown decoder error");
}

// The decoder's coefficients of a file of several scans, held for the whole
// image until the last scan; 0 for a file of one scan.
uint64_t coefficientBytes(j_decompress_ptr cinfo) {
    if (!jpeg_has_multiple_scans(cinfo)) return 0;
    auto roundUp = [](uint64_t n, int factor) {
        const auto f = static_cast<uint64_t>(std::max(factor, 1));
        return saturatingMul((n + f - 1) / f, f);
    };
    uint64_t bytes = 0;
    for (int i = 0; i < cinfo->num_components; ++i) {
        const jpeg_component_info& c = cinfo->comp_info[i];
        const uint64_t blocks =
            saturatingMul(roundUp(c.width_in_blocks, c.h_samp_factor), roundUp(c.height_in_blocks, c.v_samp_factor));
        bytes = saturatingAdd(bytes, saturatingMul(blocks, sizeof(JBLOCK)));
    }
    return bytes;
}

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    return size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

IconicPtr readImage(const ByteSource& file, Budget& budget) {
    std::vector<JOCTET> buffer(kReadSize);
    std::exception_ptr pending;
    SessionGuard guard;
    Session* s = guard.get();
    s->cinfo.err = silentErrors(s->error, emitMessage);
    s->source.pub.init_source = initSource;
    s->source.pub.fill_input_buffer = fillInputBuffer;
    s->source.pub.skip_input_data = skipInputData;
    s->source.pub.resync_to_restart = jpeg_resync_to_restart;
    s->source.pub.term_source = termSource;
    s->source.file = &file;
    s->source.buffer = buffer.data();
    s->source.pending = &pending;
    s->progress.pub.progress_monitor = progressMonitor;
    s->progress.blockLimit = saturatingMul(file.size(), Limits::jpegBlocksPerByte);
    if (!readHeader(s)) raiseFailure(*s, pending);

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
    const int channels = cinfo.out_color_space == JCS_RGB ? 3 : 1;
    const uint64_t coefficients = coefficientBytes(&cinfo);
    const std::string coefficientsWhat = "coefficients of a JPEG of " + std::to_string(width) + " x " +
                                         std::to_string(height) + " pixels in several scans";
    // The planes and the coefficients must fit together before either is allocated.
    Budget both = budget;
    takeImage(both, PixelType::Byte, width, height, static_cast<uint64_t>(channels), file.proc());
    both.take(coefficients, coefficientsWhat);
    ImageAssembler image(PixelType::Byte, width, height, channels, false, 255, budget, file.proc());
    budget.take(coefficients, coefficientsWhat);
    // The decoder's own memory, coefficients included, stays within the budget.
    cinfo.mem->max_memory_to_use =
        static_cast<long>(std::min<uint64_t>(saturatingAdd(coefficients, budget.remaining()), LONG_MAX));
    if (!decode(s, &image)) raiseFailure(*s, pending);
    return image.finish();
}

}  // namespace ixv::formats::jpeg
