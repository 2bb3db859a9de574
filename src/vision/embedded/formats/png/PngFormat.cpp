// PNG reading with libspng.
//
// The file is read through spng's stream callback, in buffered preads from the
// ByteSource (never copied whole), and decoded progressively, one scanline at
// a time in the file's own sample layout (16-bit samples host-endian, sub-byte
// samples packed). Each scanline goes straight into the image planes: spread
// as it is when its samples are 8 or 16 bits wide, else unpacked, looked up in
// the palette or given an alpha from the tRNS colour key on the way.
// Interlaced files arrive pass by pass; each pass row goes to the columns it
// covers. No gamma, sBIT or colour-space change is ever applied. The planes
// and the row buffers are taken from the file's budget before they are
// allocated.
#include <spng.h>

#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/Errors.h"
#include "formats/png/PngFormat.h"

namespace ixv::formats::png {

namespace {

const char kProc[] = "read_image";
const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
// The complete IEND chunk: length 0, type, CRC.
const uint8_t kIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xae, 0x42, 0x60, 0x82};

// Bytes read from the file at a time.
constexpr size_t kReadSize = size_t{64} << 10;

// Adam7: first column and column step of each pass.
const int kPassColumn[7] = {0, 4, 0, 2, 0, 1, 0};
const int kPassColumnStep[7] = {8, 8, 4, 4, 2, 2, 1};

[[noreturn]] void raiseSpng(int error) {
    switch (error) {
    case SPNG_EMEM: raise(kProc, err::OutOfMemory, "PNG decoder");
    case SPNG_IO_EOF:
    case SPNG_IO_ERROR:
    case SPNG_EOF: raiseInvalid("PNG", "the file is truncated");
    case SPNG_EUSER_WIDTH: raiseInvalid("PNG", "image width too large for the size of the file");
    case SPNG_EUSER_HEIGHT: raiseInvalid("PNG", "image height too large for the size of the file");
    case SPNG_ECHUNK_LIMITS: raiseInvalid("PNG", "ancillary chunks too large");
    default: raiseInvalid("PNG", spng_strerror(error));
    }
}

// The file as spng reads it: buffered preads at a cursor. What the source
// raises (a file truncated while being read) cannot cross the C library; it
// is kept, spng is told of an I/O error, and `check` raises it once spng has
// returned.
class Stream {
public:
    // The buffer is no larger than the file, so that small files cost no large buffer.
    explicit Stream(const ByteSource& file)
        : file_(file), buffer_(static_cast<size_t>(std::min<uint64_t>(kReadSize, file.size() + 1))) {}

    static int read(spng_ctx*, void* user, void* out, size_t length) {
        return static_cast<Stream*>(user)->fill(static_cast<uint8_t*>(out), length);
    }
    // The offset of the next byte spng will read.
    uint64_t offset() const { return offset_; }

    void check(int error) {
        if (pending_) std::rethrow_exception(std::exchange(pending_, nullptr));
        if (error != SPNG_OK) raiseSpng(error);
    }

private:
    int fill(uint8_t* out, size_t length) noexcept {
        try {
            while (length > 0) {
                if (offset_ >= start_ && offset_ < start_ + length_) {
                    const size_t at = static_cast<size_t>(offset_ - start_);
                    const size_t n = std::min(length, length_ - at);
                    std::memcpy(out, buffer_.data() + at, n);
                    out += n, length -= n, offset_ += n;
                } else if (length >= buffer_.size()) {
                    const size_t got = file_.readSome(offset_, out, length);
                    offset_ += got;
                    return got == length ? 0 : SPNG_IO_EOF;
                } else {
                    start_ = offset_;
                    length_ = file_.readSome(offset_, buffer_.data(), buffer_.size());
                    if (length_ == 0) return SPNG_IO_EOF;
                }
            }
            return 0;
        } catch (...) {
            pending_ = std::current_exception();
            return SPNG_IO_ERROR;
        }
    }

    const ByteSource& file_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;  // the file offset of buffer_[0]
    size_t length_ = 0;   // valid bytes in buffer_
    uint64_t offset_ = 0;
    std::exception_ptr pending_;
};

struct ContextFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using Context = std::unique_ptr<spng_ctx, ContextFree>;

// How a scanline becomes samples of the image.
enum class Layout {
    Direct,      // 8/16-bit samples as they are
    GrayPacked,  // 1/2/4-bit gray, scaled to 0..255
    Palette,     // 1/2/4/8-bit indices into RGB or RGBA entries
    ColourKey,   // 8/16-bit gray or RGB plus an alpha from the tRNS colour
};

struct Plan {
    Layout layout = Layout::Direct;
    PixelType type = PixelType::Byte;
    int fileSamples = 1;   // samples per pixel in the file
    int imageSamples = 1;  // samples per pixel in the image, alpha included
    bool hasAlpha = false;
    int depth = 8;
    uint16_t key[3] = {0, 0, 0};  // the tRNS colour key
    uint8_t palette[4][256] = {};  // red, green, blue, alpha of each entry
    uint32_t paletteSize = 0;
};

int samplesOf(uint8_t colourType) {
    switch (colourType) {
    case SPNG_COLOR_TYPE_GRAYSCALE: return 1;
    case SPNG_COLOR_TYPE_TRUECOLOR: return 3;
    case SPNG_COLOR_TYPE_INDEXED: return 1;
    case SPNG_COLOR_TYPE_GRAYSCALE_ALPHA: return 2;
    case SPNG_COLOR_TYPE_TRUECOLOR_ALPHA: return 4;
    default: raiseInvalid("PNG", "invalid color type " + std::to_string(colourType));
    }
}

Plan planFor(spng_ctx* ctx, Stream& stream, const spng_ihdr& ihdr) {
    Plan plan;
    plan.depth = ihdr.bit_depth;
    plan.fileSamples = samplesOf(ihdr.color_type);
    plan.type = ihdr.bit_depth == 16 ? PixelType::UInt2 : PixelType::Byte;
    plan.hasAlpha = ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                    ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    plan.imageSamples = plan.fileSamples;

    spng_trns trns{};
    const int trnsError = spng_get_trns(ctx, &trns);
    stream.check(trnsError == SPNG_ECHUNKAVAIL ? SPNG_OK : trnsError);
    const bool hasTrns = trnsError == SPNG_OK;

    if (ihdr.color_type == SPNG_COLOR_TYPE_INDEXED) {
        spng_plte plte{};
        stream.check(spng_get_plte(ctx, &plte));
        plan.layout = Layout::Palette;
        plan.paletteSize = std::min<uint32_t>(plte.n_entries, 256);
        for (uint32_t i = 0; i < plan.paletteSize; ++i) {
            plan.palette[0][i] = plte.entries[i].red;
            plan.palette[1][i] = plte.entries[i].green;
            plan.palette[2][i] = plte.entries[i].blue;
            plan.palette[3][i] = hasTrns && i < trns.n_type3_entries ? trns.type3_alpha[i] : 255;
        }
        plan.hasAlpha = hasTrns;
        plan.imageSamples = hasTrns ? 4 : 3;
    } else if (hasTrns && (ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE ||
                           ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR)) {
        plan.layout = ihdr.bit_depth < 8 ? Layout::GrayPacked : Layout::ColourKey;
        if (ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE) {
            plan.key[0] = trns.gray;
        } else {
            plan.key[0] = trns.red;
            plan.key[1] = trns.green;
            plan.key[2] = trns.blue;
        }
        plan.hasAlpha = true;
        plan.imageSamples = plan.fileSamples + 1;
    } else if (ihdr.bit_depth < 8) {
        plan.layout = Layout::GrayPacked;
    }
    return plan;
}

// Unpacks `count` samples of `depth` bits (most significant first) into bytes.
void unpack(const uint8_t* in, size_t count, int depth, uint8_t* out) {
    const unsigned mask = (1u << depth) - 1;
    const int perByte = 8 / depth;
    size_t k = 0;
    for (; k + static_cast<size_t>(perByte) <= count; ++in)
        for (int shift = 8 - depth; shift >= 0; shift -= depth) out[k++] = static_cast<uint8_t>((*in >> shift) & mask);
    for (int shift = 8 - depth; k < count; shift -= depth) out[k++] = static_cast<uint8_t>((*in >> shift) & mask);
}

// Where the pixels of one scanline go: pixel k to element `offset + k * step`
// of every plane.
struct Target {
    uint8_t* planes[5];
    size_t offset;
    size_t step;
};

template <class T>
void put(const T* in, int samples, size_t count, const Target& to) {
    for (int s = 0; s < samples; ++s) {
        T* out = reinterpret_cast<T*>(to.planes[s]) + to.offset;
        const T* p = in + s;
        for (size_t k = 0; k < count; ++k, p += samples) out[k * to.step] = *p;
    }
}

// Gray or RGB samples and the alpha of the tRNS colour key.
template <class T>
void putKeyed(const T* in, int samples, const uint16_t* key, size_t count, const Target& to) {
    put(in, samples, count, to);
    T* alpha = reinterpret_cast<T*>(to.planes[samples]) + to.offset;
    const T opaque = static_cast<T>(~T{0});
    for (size_t k = 0; k < count; ++k, in += samples) {
        bool keyed = in[0] == key[0];
        for (int s = 1; s < samples; ++s) keyed = keyed && in[s] == key[s];
        alpha[k * to.step] = keyed ? 0 : opaque;
    }
}

// Converts `count` pixels of a scanline in the file's layout into the planes.
void convert(const Plan& plan, const uint8_t* in, size_t count, uint8_t* values, const Target& to) {
    switch (plan.layout) {
    case Layout::Direct:
        if (plan.type == PixelType::UInt2)
            put(reinterpret_cast<const uint16_t*>(in), plan.fileSamples, count, to);
        else
            put(in, plan.fileSamples, count, to);
        break;
    case Layout::GrayPacked: {
        unpack(in, count, plan.depth, values);
        const unsigned scale = 255u / ((1u << plan.depth) - 1);
        uint8_t* gray = to.planes[0] + to.offset;
        for (size_t k = 0; k < count; ++k) gray[k * to.step] = static_cast<uint8_t>(values[k] * scale);
        if (plan.hasAlpha) {
            uint8_t* alpha = to.planes[1] + to.offset;
            for (size_t k = 0; k < count; ++k) alpha[k * to.step] = values[k] == plan.key[0] ? 0 : 255;
        }
        break;
    }
    case Layout::Palette: {
        const uint8_t* indices = in;
        if (plan.depth < 8) {
            unpack(in, count, plan.depth, values);
            indices = values;
        }
        unsigned largest = 0;
        for (size_t k = 0; k < count; ++k) largest = std::max<unsigned>(largest, indices[k]);
        if (count > 0 && largest >= plan.paletteSize) {
            const unsigned index =
                *std::find_if(indices, indices + count, [&](uint8_t i) { return i >= plan.paletteSize; });
            raiseInvalid("PNG", "palette index " + std::to_string(index) + " outside the palette of " +
                                    std::to_string(plan.paletteSize) + " entries");
        }
        uint8_t* r = to.planes[0] + to.offset;
        uint8_t* g = to.planes[1] + to.offset;
        uint8_t* b = to.planes[2] + to.offset;
        const auto& lut = plan.palette;
        for (size_t k = 0, x = 0; k < count; ++k, x += to.step) {
            const uint8_t i = indices[k];
            r[x] = lut[0][i], g[x] = lut[1][i], b[x] = lut[2][i];
        }
        if (plan.imageSamples == 4) {
            uint8_t* a = to.planes[3] + to.offset;
            for (size_t k = 0; k < count; ++k) a[k * to.step] = lut[3][indices[k]];
        }
        break;
    }
    case Layout::ColourKey:
        if (plan.type == PixelType::UInt2)
            putKeyed(reinterpret_cast<const uint16_t*>(in), plan.fileSamples, plan.key, count, to);
        else
            putKeyed(in, plan.fileSamples, plan.key, count, to);
        break;
    }
}

// The least number of bits of filtered image data: every pixel's bits.
uint64_t minimumImageBits(const spng_ihdr& ihdr) {
    const uint64_t bitsPerPixel = static_cast<uint64_t>(samplesOf(ihdr.color_type)) * ihdr.bit_depth;
    return saturatingMul(saturatingMul(ihdr.width, ihdr.height), bitsPerPixel);
}

// True when the chunk spng read last, ending before `offset`, is a complete
// IEND. (spng may stop after IEND's type without reading its checksum; a file
// cut there is still cut.)
bool endsWithIend(const ByteSource& file, uint64_t offset) {
    for (const uint64_t start : {offset - std::min<uint64_t>(offset, 12), offset - std::min<uint64_t>(offset, 8)}) {
        uint8_t end[sizeof(kIend)];
        if (file.readSome(start, end, sizeof end) == sizeof end && std::memcmp(end, kIend, sizeof kIend) == 0)
            return true;
    }
    return false;
}

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    return size >= sizeof(kSignature) && std::memcmp(head, kSignature, sizeof(kSignature)) == 0;
}

IconicPtr readImage(const ByteSource& file, Budget& budget) {
    if (!matches(file.head().data(), file.head().size())) raiseInvalid("PNG", "no PNG signature");

    Context ctx(spng_ctx_new(0));
    if (!ctx) raise(kProc, err::OutOfMemory, "PNG decoder");
    spng_ctx* c = ctx.get();
    Stream stream(file);
    // What the file's bytes can inflate to, in bits; no row is longer, and
    // every pixel of the image needs its bits in there.
    const uint64_t inflatedBits = saturatingMul(saturatingMul(file.size(), Limits::inflateRatio), 8);
    const uint32_t maxSide = static_cast<uint32_t>(std::min<uint64_t>(0x7fffffff, inflatedBits));
    stream.check(spng_set_image_limits(c, maxSide, maxSide));
    // No chunk is longer than the file.
    stream.check(spng_set_chunk_limits(c, static_cast<size_t>(std::min(Limits::pngChunkBytes, file.size())),
                                       static_cast<size_t>(Limits::pngChunkCache)));
    stream.check(spng_set_crc_action(c, SPNG_CRC_ERROR, SPNG_CRC_ERROR));
    stream.check(spng_set_png_stream(c, Stream::read, &stream));

    spng_ihdr ihdr{};
    stream.check(spng_get_ihdr(c, &ihdr));
    // Refused before anything is allocated, even within the budget's floor.
    if (minimumImageBits(ihdr) > inflatedBits)
        raiseInvalid("PNG", "image data too short for " + std::to_string(ihdr.width) + " x " +
                                std::to_string(ihdr.height) + " pixels");
    Image::checkSize(ihdr.width, ihdr.height, kProc);

    const Plan plan = planFor(c, stream, ihdr);
    const size_t width = ihdr.width;
    const size_t scanlineBytes = (width * static_cast<size_t>(plan.fileSamples) * plan.depth + 7) / 8;
    ImageAssembler image(plan.type, ihdr.width, ihdr.height, plan.imageSamples, plan.hasAlpha,
                         plan.type == PixelType::UInt2 ? 0xffff : 0xff, budget, kProc);
    budget.take(saturatingAdd(scanlineBytes, plan.depth < 8 ? width : 0),
                "row buffers of " + std::to_string(width) + " pixels");
    stream.check(spng_decode_image(c, nullptr, 0, SPNG_FMT_PNG, SPNG_DECODE_PROGRESSIVE));

    // 16-bit samples need their alignment.
    std::vector<uint16_t> scanline(scanlineBytes / 2 + 1);
    std::vector<uint8_t> values(plan.depth < 8 ? width : 0);
    const bool interlaced = ihdr.interlace_method != SPNG_INTERLACE_NONE;

    Target target{};
    for (int s = 0; s < plan.imageSamples; ++s) target.planes[s] = image.plane(s);
    int status = SPNG_OK;
    do {
        spng_row_info info{};
        stream.check(spng_get_row_info(c, &info));
        status = spng_decode_scanline(c, scanline.data(), scanlineBytes);
        stream.check(status == SPNG_EOI ? SPNG_OK : status);
        if (info.row_num >= ihdr.height || info.pass < 0 || info.pass > 6)
            raiseInvalid("PNG", "decoder row out of range");
        const uint8_t* in = reinterpret_cast<const uint8_t*>(scanline.data());
        if (!interlaced && plan.layout == Layout::Direct) {
            image.putRow(info.row_num, in);
            continue;
        }
        size_t count = width;
        size_t first = 0;
        target.step = 1;
        if (interlaced) {
            first = static_cast<size_t>(kPassColumn[info.pass]);
            target.step = static_cast<size_t>(kPassColumnStep[info.pass]);
            count = width > first ? (width - first + target.step - 1) / target.step : 0;
        }
        target.offset = info.row_num * width + first;
        convert(plan, in, count, values.data(), target);
    } while (status != SPNG_EOI);

    // The chunks after the image data, up to IEND, with their checksums.
    stream.check(spng_decode_chunks(c));
    if (!endsWithIend(file, stream.offset())) raiseInvalid("PNG", "the file is truncated (no complete IEND chunk)");
    return image.finish();
}

}  // namespace ixv::formats::png
