// TIFF reading with libtiff: the first page (directory) of a file, decoded
// strip by strip or tile by tile and spread into the planes as it comes; the
// pages after it are never read.
//
// libtiff reads the file through our procedures, which pread from the
// ByteSource (no mapping: a file that shrinks while it is read is an error,
// not a signal). An error raised while reading is kept and raised again once
// libtiff has returned, so that no exception crosses its C frames. libtiff
// reports through handlers of this handle only, so that nothing is ever
// printed; its error becomes the message. A decoder's warnings are errors
// too: they mean corrupt or missing data that it made up, and a reader never
// returns a partial image.
//
// What the file decodes to is taken from its budget before it is allocated:
// the planes, and the buffers a strip or tile is decoded into.
#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <type_traits>

#include "formats/tiff/TiffFormat.h"

namespace ixv::formats::tiff {

namespace {

constexpr const char* kFormat = "TIFF";
constexpr const char* kProc = "read_image";

// Strips above this size are decoded row by row rather than whole.
constexpr uint64_t kMaxStripBuffer = uint64_t{1} << 20;
// Tiles may exceed the image (edge padding), but not without bound.
constexpr uint64_t kMaxTileBuffer = uint64_t{16} << 20;

[[noreturn]] void invalid(const std::string& problem) {
    raiseInvalid(kFormat, problem);
}

// ---------------------------------------------------------------------------
// libtiff's view of the file, and its messages.

constexpr const char* kHandleName = "tiff";

// The client data of a libtiff handle: where it reads, what failed while it
// read, and what it reported since the last clear(). Of several errors the
// last is kept: libtiff reports what it could not use, then what made it give up.
struct Client {
    explicit Client(const ByteSource& source) : file(source) {}

    const ByteSource& file;
    uint64_t position = 0;
    std::exception_ptr readFailure;  // raised by the ByteSource inside a read procedure

    bool failed = false;
    bool decoding = false;  // while pixel data is decoded, a decoder's warnings are errors
    std::string text;

    void clear() {
        failed = false;
        text.clear();
    }
    // Raises what reading the file raised, now that libtiff has returned.
    void rethrowReadFailure() const {
        if (readFailure) std::rethrow_exception(readFailure);
    }
};

tmsize_t readProc(thandle_t handle, void* buffer, tmsize_t size) {
    auto* client = static_cast<Client*>(handle);
    if (client->readFailure) return -1;
    if (size <= 0) return 0;
    try {
        const size_t count = client->file.readSome(client->position, buffer, static_cast<size_t>(size));
        client->position += count;
        return static_cast<tmsize_t>(count);
    } catch (...) {
        client->readFailure = std::current_exception();
        return -1;
    }
}

tmsize_t writeProc(thandle_t, void*, tmsize_t) {
    return -1;
}

toff_t seekProc(thandle_t handle, toff_t offset, int whence) {
    auto* client = static_cast<Client*>(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR)
        base = client->position;
    else if (whence == SEEK_END)
        base = client->file.size();
    else if (whence != SEEK_SET)
        return static_cast<toff_t>(-1);
    const uint64_t target = base + offset;  // wraps for negative offsets, as lseek's arithmetic
    if (target > static_cast<uint64_t>(INT64_MAX)) return static_cast<toff_t>(-1);
    client->position = target;
    return target;
}

int closeProc(thandle_t) {
    return 0;
}

toff_t sizeProc(thandle_t handle) {
    return static_cast<Client*>(handle)->file.size();
}

// Nothing is mapped: libtiff reads through readProc.
int mapProc(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapProc(thandle_t, void*, toff_t) {}

// libtiff prints some signed byte counts (-1 for a failed read) as unsigned
// 64-bit numbers; they are shown as the signed values they are.
std::string signedCounts(const char* text) {
    std::string out;
    for (const char* p = text; *p;) {
        if (!std::isdigit(static_cast<unsigned char>(*p))) {
            out += *p++;
            continue;
        }
        const char* start = p;
        while (std::isdigit(static_cast<unsigned char>(*p))) ++p;
        const std::string digits(start, p);
        // 2^63 and above have 19 or 20 digits; those of 20 digits fit when at most 2^64 - 1.
        const bool wrapped = (digits.size() == 19 && digits >= "9223372036854775808") ||
                             (digits.size() == 20 && digits <= "18446744073709551615");
        out += wrapped ? std::to_string(static_cast<int64_t>(std::stoull(digits))) : digits;
    }
    return out;
}

void record(Client* client, const char* format, va_list args) {
    char text[512];
    if (!format || std::vsnprintf(text, sizeof text, format, args) < 0) text[0] = '\0';
    // Some messages begin with the handle's name, which says nothing here.
    const size_t prefix = std::strlen(kHandleName);
    const char* start = std::strncmp(text, kHandleName, prefix) == 0 && std::strncmp(text + prefix, ": ", 2) == 0
                            ? text + prefix + 2
                            : text;
    client->failed = true;
    try {
        client->text = signedCounts(start);
    } catch (...) {
        // The failure itself is recorded; its text is a luxury.
    }
}

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
    record(static_cast<Client*>(user), format, args);
    return 1;
}

// A decoder's warning means data it could not decode and made up (JPEG and
// fax fill in what is missing, PackBits drops what overflows); notices of the
// set-up before decoding (old-style codes, colour map guesses, byte counts
// libtiff corrects) do not.
bool corruptData(const char* module, const char* format) {
    if (!module) return false;
    if (std::strcmp(module, "JPEGLib") == 0 || std::strcmp(module, "LibJpeg") == 0) return true;
    return std::strstr(module, "Decode") && !std::strstr(module, "PreDecode") && !std::strstr(module, "SetupDecode") &&
           !(format && std::strstr(format, "not terminated with EOI"));
}

int onWarning(TIFF*, void* user, const char* module, const char* format, va_list args) {
    auto* client = static_cast<Client*>(user);
    if (client->decoding && !client->failed && corruptData(module, format)) record(client, format, args);
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

// Raises what reading the file raised, else the message of a failed libtiff
// call, or `fallback` without one.
[[noreturn]] void fail(const Client& client, const std::string& fallback) {
    client.rethrowReadFailure();
    invalid(client.text.empty() ? fallback : client.text);
}

// ---------------------------------------------------------------------------
// From file samples to plane pixels.

enum class Kind { Unsigned, Signed, Float };

struct Layout {
    uint32_t width = 0, height = 0;
    int samples = 1;  // per pixel in the file
    int bits = 8;
    Kind kind = Kind::Unsigned;
    bool separate = false;
    PixelType type = PixelType::Byte;
    int channels = 1;
    bool hasAlpha = false;
    uint64_t alphaMax = 255;
    std::vector<int> channelOf;   // the channel of each file sample
    std::vector<uint8_t> invert;  // per file sample: stored as min-is-white
    uint8_t scaled[2][16] = {};   // 1, 2, 4 bits to 0..255: [inverted][value]
    bool palette = false;
    std::vector<uint8_t> red, green, blue;  // the colour map, 8 bits per entry
};

float halfToFloat(uint16_t h) {
    const uint32_t sign = uint32_t{h & 0x8000u} << 16;
    const uint32_t exponent = (h >> 10) & 0x1f;
    uint32_t mantissa = h & 0x3ffu;
    uint32_t bits;
    if (exponent == 0x1f) {
        bits = sign | 0x7f800000u | (mantissa << 13);
    } else if (exponent != 0) {
        bits = sign | ((exponent + 112) << 23) | (mantissa << 13);
    } else if (mantissa == 0) {
        bits = sign;
    } else {  // subnormal: normalise
        int e = 113;
        while (!(mantissa & 0x400u)) {
            mantissa <<= 1;
            --e;
        }
        bits = sign | (static_cast<uint32_t>(e) << 23) | ((mantissa & 0x3ffu) << 13);
    }
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

// Writes runs of decoded pixels into the planes of the image being built.
class Sink {
public:
    Sink(const Layout& layout, ImageAssembler& image)
        : layout_(layout), image_(image), outSize_(pixelSize(layout.type)), out_(layout.samples) {
        const size_t widest = std::max<size_t>(layout.width, 1);
        scratch_.resize(widest * (layout.separate ? 1 : static_cast<size_t>(layout.samples)));
    }

    // `pixels` pixels of `count` samples each, the first being file sample
    // `first`, into the planes from pixel index `offset` on.
    void put(const uint8_t* in, uint32_t pixels, int first, int count, size_t offset) {
        if (layout_.palette) return putPalette(in, pixels, offset);
        for (int i = 0; i < count; ++i) out_[i] = image_.plane(layout_.channelOf[first + i]) + offset * outSize_;
        const uint8_t* invert = layout_.invert.data() + first;
        switch (layout_.bits) {
        case 1:
        case 2:
        case 4:
            unpackScaled(in, pixels, first, count);
            spread<uint8_t, uint8_t>(scratch_.data(), pixels, count, nullptr, 0);
            break;
        case 8: spread<uint8_t, uint8_t>(in, pixels, count, invert, 0xff); break;
        case 16:
            if (layout_.kind == Kind::Float)
                spread<uint16_t, float>(in, pixels, count, nullptr, 0);
            else
                spread<uint16_t, uint16_t>(in, pixels, count, invert, 0xffff);
            break;
        case 32:
            if (layout_.kind == Kind::Unsigned)
                spread<uint32_t, uint64_t>(in, pixels, count, invert, 0xffffffffu);
            else
                spread<uint32_t, uint32_t>(in, pixels, count, nullptr, 0);
            break;
        default:
            if (layout_.kind == Kind::Float)
                spread<double, float>(in, pixels, count, nullptr, 0);
            else
                spread<uint64_t, uint64_t>(in, pixels, count, nullptr, 0);
            break;
        }
    }

private:
    template <class In, class Out>
    static Out convert(In value) {
        if constexpr (std::is_same_v<In, uint16_t> && std::is_same_v<Out, float>)
            return halfToFloat(value);
        else
            return static_cast<Out>(value);
    }

    template <class In, class Out>
    void spread(const void* data, uint32_t pixels, int count, const uint8_t* invert, uint64_t max) {
        const In* in = static_cast<const In*>(data);
        if constexpr (std::is_same_v<In, Out>) {
            // Colour without conversions: every pixel read once.
            const bool plain = !invert || std::all_of(invert, invert + count, [](uint8_t i) { return i == 0; });
            if (plain && count == 3) return interleaved<In, 3>(in, pixels);
            if (plain && count == 4) return interleaved<In, 4>(in, pixels);
        }
        for (int s = 0; s < count; ++s) {
            Out* out = reinterpret_cast<Out*>(out_[s]);
            const In* p = in + s;
            if (invert && invert[s]) {
                const Out top = static_cast<Out>(max);
                for (uint32_t x = 0; x < pixels; ++x)
                    out[x] = static_cast<Out>(top - convert<In, Out>(p[size_t{x} * count]));
            } else if (std::is_same_v<In, Out> && count == 1) {
                std::memcpy(out, p, size_t{pixels} * sizeof(Out));
            } else {
                for (uint32_t x = 0; x < pixels; ++x) out[x] = convert<In, Out>(p[size_t{x} * count]);
            }
        }
    }

    template <class T, int N>
    void interleaved(const T* in, uint32_t pixels) {
        T* out[N];
        for (int s = 0; s < N; ++s) out[s] = reinterpret_cast<T*>(out_[s]);
        for (uint32_t x = 0; x < pixels; ++x, in += N)
            for (int s = 0; s < N; ++s) out[s][x] = in[s];
    }

    static unsigned packedValue(const uint8_t* in, size_t index, int bits) {
        const size_t bit = index * static_cast<size_t>(bits);
        return (in[bit >> 3] >> (8 - bits - static_cast<int>(bit & 7))) & ((1u << bits) - 1);
    }

    // Samples of 1, 2 or 4 bits as bytes 0..255, min-is-white inverted.
    void unpackScaled(const uint8_t* in, uint32_t pixels, int first, int count) {
        const int bits = layout_.bits;
        uint8_t* out = scratch_.data();
        if (count == 1) {
            const uint8_t* table = layout_.scaled[layout_.invert[first]];
            for (uint32_t x = 0; x < pixels; ++x) out[x] = table[packedValue(in, x, bits)];
            return;
        }
        size_t i = 0;
        for (uint32_t x = 0; x < pixels; ++x)
            for (int s = 0; s < count; ++s, ++i)
                out[i] = layout_.scaled[layout_.invert[first + s]][packedValue(in, i, bits)];
    }

    void putPalette(const uint8_t* in, uint32_t pixels, size_t offset) {
        uint8_t* r = image_.plane(0) + offset;
        uint8_t* g = image_.plane(1) + offset;
        uint8_t* b = image_.plane(2) + offset;
        if (layout_.bits == 16) {
            const uint16_t* index = reinterpret_cast<const uint16_t*>(in);
            for (uint32_t x = 0; x < pixels; ++x) {
                r[x] = layout_.red[index[x]];
                g[x] = layout_.green[index[x]];
                b[x] = layout_.blue[index[x]];
            }
            return;
        }
        const uint8_t* index = in;
        if (layout_.bits < 8) {
            for (uint32_t x = 0; x < pixels; ++x) scratch_[x] = static_cast<uint8_t>(packedValue(in, x, layout_.bits));
            index = scratch_.data();
        }
        for (uint32_t x = 0; x < pixels; ++x) {
            r[x] = layout_.red[index[x]];
            g[x] = layout_.green[index[x]];
            b[x] = layout_.blue[index[x]];
        }
    }

    const Layout& layout_;
    ImageAssembler& image_;
    size_t outSize_;
    std::vector<uint8_t*> out_;
    std::vector<uint8_t> scratch_;
};

// Stored min-is-white samples decoded straight into a plane, turned around.
void invertInPlace(uint8_t* data, size_t pixels, int bits) {
    if (bits == 8) {
        for (size_t i = 0; i < pixels; ++i) data[i] = static_cast<uint8_t>(0xff - data[i]);
    } else {
        auto* p = reinterpret_cast<uint16_t*>(data);
        for (size_t i = 0; i < pixels; ++i) p[i] = static_cast<uint16_t>(0xffff - p[i]);
    }
}


template <class T>
std::unique_ptr<T[]> scratchBuffer(uint64_t count) {
    return std::unique_ptr<T[]>(new T[static_cast<size_t>(count)]);
}

// ---------------------------------------------------------------------------
// The first page.

class PageReader {
public:
    PageReader(TIFF* tif, Client& client, Budget& budget) : tif_(tif), client_(client), budget_(budget) {}

    std::shared_ptr<const Image> read();

private:
    // What reading the file raised (old-style JPEG reads while it is described) comes first.
    [[noreturn]] void unsupported(const std::string& what) {
        client_.rethrowReadFailure();
        invalid("unsupported " + what);
    }
    void check(bool ok, const char* unit, uint32_t index) {
        client_.decoding = false;
        client_.rethrowReadFailure();
        if (!ok || client_.failed) fail(client_, std::string("cannot decode ") + unit + " " + std::to_string(index));
    }
    void describe();
    ImageAssembler newImage();
    void checkWholeStrips(uint64_t bytes, const char* unit);
    std::shared_ptr<const Image> readStrips();
    std::shared_ptr<const Image> readTiles();
    std::shared_ptr<const Image> readRgba();
    bool direct() const;

    TIFF* tif_;
    Client& client_;
    Budget& budget_;
    Layout layout_;
    uint16_t photometric_ = PHOTOMETRIC_MINISBLACK;
    uint16_t compression_ = COMPRESSION_NONE;
    bool tiled_ = false;
    bool rgba_ = false;  // decoded by libtiff's RGBA interface (subsampled YCbCr, old-style JPEG)
};

void PageReader::describe() {
    Layout& l = layout_;
    uint32_t width = 0, height = 0;
    if (!TIFFGetField(tif_, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(tif_, TIFFTAG_IMAGELENGTH, &height))
        invalid("missing image size");
    Image::checkSize(width, height, kProc);
    l.width = width;
    l.height = height;

    uint16_t samples = 1, bits = 1, format = SAMPLEFORMAT_UINT, planar = PLANARCONFIG_CONTIG;
    uint32_t depth = 1;
    TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_COMPRESSION, &compression_);
    TIFFGetFieldDefaulted(tif_, TIFFTAG_IMAGEDEPTH, &depth);
    if (!TIFFGetField(tif_, TIFFTAG_PHOTOMETRIC, &photometric_))
        photometric_ = samples >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK;
    uint16_t extraCount = 0;
    uint16_t* extras = nullptr;
    TIFFGetFieldDefaulted(tif_, TIFFTAG_EXTRASAMPLES, &extraCount, &extras);
    tiled_ = TIFFIsTiled(tif_) != 0;

    if (!TIFFIsCODECConfigured(compression_)) unsupported("compression " + std::to_string(compression_));
    if (samples < 1 || samples > Limits::channels) unsupported(std::to_string(samples) + " samples per pixel");
    if (depth > 1) unsupported("image depth " + std::to_string(depth));
    if (extraCount > samples || (extraCount && !extras)) invalid("more extra samples than samples");
    l.samples = samples;
    l.bits = bits;
    l.separate = planar == PLANARCONFIG_SEPARATE && samples > 1;

    if (compression_ == COMPRESSION_OJPEG ||
        (photometric_ == PHOTOMETRIC_YCBCR &&
         !(compression_ == COMPRESSION_JPEG && planar == PLANARCONFIG_CONTIG && bits == 8))) {
        // Subsampled colour libtiff converts only through its RGBA interface.
        char why[1024] = "";
        if (!TIFFRGBAImageOK(tif_, why)) unsupported(std::string("image: ") + why);
        rgba_ = true;
        l.bits = 8;
        l.channels = photometric_ == PHOTOMETRIC_MINISBLACK || photometric_ == PHOTOMETRIC_MINISWHITE ? 1 : 3;
        return;
    }
    if (photometric_ == PHOTOMETRIC_YCBCR) {
        // JPEG's own colour conversion, upsampling included.
        if (!TIFFSetField(tif_, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB))
            fail(client_, "cannot convert YCbCr to RGB");
        photometric_ = PHOTOMETRIC_RGB;
    }

    switch (format) {
    case SAMPLEFORMAT_UINT:
    case SAMPLEFORMAT_VOID: l.kind = Kind::Unsigned; break;
    case SAMPLEFORMAT_INT: l.kind = Kind::Signed; break;
    case SAMPLEFORMAT_IEEEFP: l.kind = Kind::Float; break;
    default: unsupported("sample format " + std::to_string(format));
    }
    switch (l.kind) {
    case Kind::Unsigned:
        if (bits == 1 || bits == 2 || bits == 4 || bits == 8)
            l.type = PixelType::Byte;
        else if (bits == 16)
            l.type = PixelType::UInt2;
        else if (bits == 32)
            l.type = PixelType::Int8;  // every 32-bit value, losslessly
        else
            unsupported("bits per sample " + std::to_string(bits));
        break;
    case Kind::Signed:
        if (bits == 8)
            l.type = PixelType::Int1;
        else if (bits == 16)
            l.type = PixelType::Int2;
        else if (bits == 32)
            l.type = PixelType::Int4;
        else if (bits == 64)
            l.type = PixelType::Int8;
        else
            unsupported("bits per sample " + std::to_string(bits) + " of signed samples");
        break;
    case Kind::Float:
        if (bits == 16 || bits == 32 || bits == 64)
            l.type = PixelType::Real;
        else
            unsupported("bits per sample " + std::to_string(bits) + " of floating-point samples");
        break;
    }

    const int colourSamples = samples - extraCount;
    l.channelOf.resize(samples);
    l.invert.assign(samples, 0);
    for (int s = 0; s < samples; ++s) l.channelOf[s] = s;
    l.channels = samples;

    if (photometric_ == PHOTOMETRIC_PALETTE) {
        if (l.kind != Kind::Unsigned || bits > 16) unsupported("palette of " + std::to_string(bits) + " bits");
        if (samples != 1) unsupported("palette image with " + std::to_string(samples) + " samples per pixel");
        uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
        if (!TIFFGetField(tif_, TIFFTAG_COLORMAP, &red, &green, &blue) || !red || !green || !blue)
            invalid("palette image without a colour map");
        const size_t entries = size_t{1} << bits;
        // Some writers store 8-bit entries; a map with no entry above 255 is one of them.
        bool eightBit = true;
        for (size_t i = 0; i < entries && eightBit; ++i) eightBit = red[i] < 256 && green[i] < 256 && blue[i] < 256;
        const int shift = eightBit ? 0 : 8;
        l.red.resize(entries);
        l.green.resize(entries);
        l.blue.resize(entries);
        for (size_t i = 0; i < entries; ++i) {
            l.red[i] = static_cast<uint8_t>(red[i] >> shift);
            l.green[i] = static_cast<uint8_t>(green[i] >> shift);
            l.blue[i] = static_cast<uint8_t>(blue[i] >> shift);
        }
        l.palette = true;
        l.type = PixelType::Byte;
        l.channels = 3;
        return;
    }

    for (int i = 0; i < extraCount; ++i) {
        if (extras[i] != EXTRASAMPLE_ASSOCALPHA && extras[i] != EXTRASAMPLE_UNASSALPHA) continue;
        // The alpha sample becomes the last channel; the others keep their order.
        const int alpha = colourSamples + i;
        for (int s = alpha + 1; s < samples; ++s) l.channelOf[s] = s - 1;
        l.channelOf[alpha] = samples - 1;
        l.hasAlpha = samples > 1;
        break;
    }
    switch (l.type) {
    case PixelType::Byte: l.alphaMax = 0xff; break;
    case PixelType::UInt2: l.alphaMax = 0xffff; break;
    case PixelType::Int1: l.alphaMax = 0x7f; break;
    case PixelType::Int2: l.alphaMax = 0x7fff; break;
    case PixelType::Int4: l.alphaMax = 0x7fffffff; break;
    case PixelType::Int8: l.alphaMax = l.kind == Kind::Unsigned ? 0xffffffffu : uint64_t{INT64_MAX}; break;
    case PixelType::Real: l.alphaMax = 1; break;
    }

    if (photometric_ == PHOTOMETRIC_MINISWHITE && l.kind == Kind::Unsigned)
        for (int s = 0; s < colourSamples; ++s) l.invert[s] = 1;
    if (bits < 8) {
        const unsigned top = (1u << bits) - 1;
        for (unsigned v = 0; v <= top; ++v) {
            l.scaled[0][v] = static_cast<uint8_t>(v * 255 / top);
            l.scaled[1][v] = static_cast<uint8_t>(255 - v * 255 / top);
        }
    }
}

// Samples that decode in the planes' own layout go there directly.
bool PageReader::direct() const {
    const Layout& l = layout_;
    return !tiled_ && !l.palette && l.bits >= 8 && pixelSize(l.type) * 8 == static_cast<size_t>(l.bits) &&
           (l.samples == 1 || l.separate);
}


// The scratch a Sink needs: one row of samples of 1, 2 or 4 bits unpacked, or of palette indices.
uint64_t sinkScratch(const Layout& layout) {
    const uint64_t samples = layout.separate ? 1 : static_cast<uint64_t>(layout.samples);
    return saturatingMul(std::max<uint64_t>(layout.width, 1), samples);
}

std::shared_ptr<const Image> PageReader::read() {
    describe();
    client_.rethrowReadFailure();
    client_.clear();
    const Layout& l = layout_;
    // As stored (subsampled colour included), without compression.
    const uint64_t planeBytes = TIFFVStripSize64(tif_, l.height);
    if (planeBytes == 0) fail(client_, "invalid image size");
    if (compression_ == COMPRESSION_NONE) {
        const uint64_t packed = saturatingMul(planeBytes, l.separate ? static_cast<uint64_t>(l.samples) : 1);
        if (packed > client_.file.size())
            invalid("uncompressed image data of " + std::to_string(packed) + " bytes in a file of " +
                    std::to_string(client_.file.size()) + " bytes");
    }
    if (rgba_) return readRgba();
    return tiled_ ? readTiles() : readStrips();
}

ImageAssembler PageReader::newImage() {
    const Layout& l = layout_;
    return ImageAssembler(l.type, l.width, l.height, l.channels, l.hasAlpha, l.alphaMax, budget_, kProc);
}

std::shared_ptr<const Image> PageReader::readStrips() {
    const Layout& l = layout_;
    const uint64_t scanline = TIFFScanlineSize64(tif_);
    if (scanline == 0) fail(client_, "invalid scanline size");
    uint32_t rowsPerStrip = l.height;
    TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    if (rowsPerStrip == 0 || rowsPerStrip > l.height) rowsPerStrip = l.height;

    // Samples in the planes' own layout are decoded straight into them
    // (uncompressed ones read from the file into them, without a copy).
    const bool intoPlanes = direct();
    // A long strip that cannot go straight into a plane is read row by row through the codec.
    const uint64_t stripBytes = saturatingMul(scanline, rowsPerStrip);
    const bool byRow = !intoPlanes && stripBytes > kMaxStripBuffer;
    const uint64_t bufferBytes = intoPlanes ? 0 : byRow ? scanline : stripBytes;
    budget_.take(saturatingAdd(bufferBytes, sinkScratch(l)),
                 "strip buffer of " + std::to_string(bufferBytes) + " bytes");
    ImageAssembler image = newImage();
    Sink sink(l, image);
    std::unique_ptr<uint8_t[]> buffer;
    if (!intoPlanes) buffer = scratchBuffer<uint8_t>(bufferBytes);

    const int planes = l.separate ? l.samples : 1;
    const int count = l.separate ? 1 : l.samples;
    const size_t rowPixels = l.width;
    const size_t outSize = pixelSize(l.type);
    for (int p = 0; p < planes; ++p) {
        uint8_t* plane = intoPlanes ? image.plane(l.channelOf[p]) : nullptr;
        const bool invert = intoPlanes && l.invert[p];
        if (byRow) {
            for (uint32_t row = 0; row < l.height; ++row) {
                uint8_t* target = buffer.get();
                client_.decoding = true;
                check(TIFFReadScanline(tif_, target, row, static_cast<uint16_t>(p)) == 1, "row", row);
                sink.put(target, l.width, p, count, row * rowPixels);
            }
            continue;
        }
        for (uint32_t row0 = 0; row0 < l.height; row0 += std::min(rowsPerStrip, l.height - row0)) {
            const uint32_t rows = std::min(rowsPerStrip, l.height - row0);
            const uint32_t strip = TIFFComputeStrip(tif_, row0, static_cast<uint16_t>(p));
            const tmsize_t size = static_cast<tmsize_t>(scanline * rows);
            uint8_t* target = intoPlanes ? plane + row0 * rowPixels * outSize : buffer.get();
            client_.decoding = true;
            check(TIFFReadEncodedStrip(tif_, strip, target, size) == size, "strip", strip);
            if (invert) invertInPlace(target, rows * rowPixels, l.bits);
            if (!intoPlanes)
                for (uint32_t r = 0; r < rows; ++r)
                    sink.put(target + r * scanline, l.width, p, count, (row0 + r) * rowPixels);
        }
    }
    return image.finish();
}

std::shared_ptr<const Image> PageReader::readTiles() {
    const Layout& l = layout_;
    uint32_t tileWidth = 0, tileLength = 0;
    TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif_, TIFFTAG_TILELENGTH, &tileLength);
    const uint64_t tileBytes = TIFFTileSize64(tif_);
    const uint64_t tileRow = TIFFTileRowSize64(tif_);
    if (tileWidth == 0 || tileLength == 0 || tileBytes == 0 || tileRow * tileLength != tileBytes)
        fail(client_, "invalid tile size");
    const uint64_t imageBytes = uint64_t{l.width} * l.height * static_cast<uint64_t>(l.samples) * l.bits / 8;
    if (tileBytes > std::max(kMaxTileBuffer, imageBytes))
        invalid("tiles of " + std::to_string(tileWidth) + " x " + std::to_string(tileLength) +
                " pixels for an image of " + std::to_string(l.width) + " x " + std::to_string(l.height));
    budget_.take(saturatingAdd(tileBytes, sinkScratch(l)), "tile buffer of " + std::to_string(tileBytes) + " bytes");
    ImageAssembler image = newImage();
    Sink sink(l, image);
    std::unique_ptr<uint8_t[]> buffer = scratchBuffer<uint8_t>(tileBytes);

    const int planes = l.separate ? l.samples : 1;
    const int count = l.separate ? 1 : l.samples;
    for (int p = 0; p < planes; ++p)
        for (uint32_t y0 = 0; y0 < l.height; y0 += std::min(tileLength, l.height - y0)) {
            const uint32_t rows = std::min(tileLength, l.height - y0);
            for (uint32_t x0 = 0; x0 < l.width; x0 += std::min(tileWidth, l.width - x0)) {
                const uint32_t columns = std::min(tileWidth, l.width - x0);
                const uint32_t tile = TIFFComputeTile(tif_, x0, y0, 0, static_cast<uint16_t>(p));
                client_.decoding = true;
                check(TIFFReadEncodedTile(tif_, tile, buffer.get(), static_cast<tmsize_t>(tileBytes)) ==
                          static_cast<tmsize_t>(tileBytes),
                      "tile", tile);
                for (uint32_t r = 0; r < rows; ++r)
                    sink.put(buffer.get() + r * tileRow, columns, p, count, size_t{y0 + r} * l.width + x0);
            }
        }
    return image.finish();
}

// libtiff's RGBA interface decodes a whole strip or tile into a buffer of its
// own, zero-filled before any data is read, and converts it into our raster:
// together they may claim no more than the largest stored strip or tile can
// plausibly decode to. Checked before libtiff allocates anything.
void PageReader::checkWholeStrips(uint64_t bytes, const char* unit) {
    const uint32_t count = tiled_ ? TIFFNumberOfTiles(tif_) : TIFFNumberOfStrips(tif_);
    const uint64_t fileSize = client_.file.size();
    uint64_t largest = 0;
    for (uint32_t i = 0; i < count; ++i) {
        const uint64_t offset = TIFFGetStrileOffset(tif_, i);
        const uint64_t inFile = offset < fileSize ? fileSize - offset : 0;
        largest = std::max(largest, std::min(TIFFGetStrileByteCount(tif_, i), inFile));
    }
    const uint64_t limit = std::max(Limits::wholeStripFloor, saturatingMul(largest, Limits::wholeStripExpansion));
    checkLimit(bytes, limit, kProc,
               std::string(unit) + " decoded whole to " + std::to_string(bytes) + " bytes from at most " +
                   std::to_string(largest) + " stored bytes",
               "bytes");
}

// libtiff's RGBA rasters run bottom-up within each strip or tile.
std::shared_ptr<const Image> PageReader::readRgba() {
    const Layout& l = layout_;
    uint32_t tileWidth = 0, tileLength = 0, rowsPerStrip = l.height;
    uint64_t rasterPixels = 0, codecBytes = 0;
    if (tiled_) {
        TIFFGetField(tif_, TIFFTAG_TILEWIDTH, &tileWidth);
        TIFFGetField(tif_, TIFFTAG_TILELENGTH, &tileLength);
        rasterPixels = uint64_t{tileWidth} * tileLength;
        codecBytes = TIFFTileSize64(tif_);
        if (rasterPixels == 0 || codecBytes == 0) fail(client_, "invalid tile size");
    } else {
        TIFFGetFieldDefaulted(tif_, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        if (rowsPerStrip == 0 || rowsPerStrip > l.height) rowsPerStrip = l.height;
        rasterPixels = uint64_t{l.width} * rowsPerStrip;
        codecBytes = TIFFStripSize64(tif_);
        if (codecBytes == 0) fail(client_, "invalid strip size");
    }
    const uint64_t scratch = saturatingAdd(saturatingMul(rasterPixels, 4), codecBytes);
    checkWholeStrips(scratch, tiled_ ? "tile" : "strip");
    budget_.take(scratch, std::string(tiled_ ? "tile" : "strip") + " buffers of " + std::to_string(scratch) + " bytes");
    ImageAssembler image = newImage();
    std::unique_ptr<uint32_t[]> raster = scratchBuffer<uint32_t>(rasterPixels);

    const bool gray = l.channels == 1;
    auto put = [&](const uint32_t* in, uint32_t pixels, size_t offset) {
        uint8_t* r = image.plane(0) + offset;
        if (gray) {
            for (uint32_t x = 0; x < pixels; ++x) r[x] = static_cast<uint8_t>(TIFFGetR(in[x]));
            return;
        }
        uint8_t* g = image.plane(1) + offset;
        uint8_t* b = image.plane(2) + offset;
        for (uint32_t x = 0; x < pixels; ++x) {
            r[x] = static_cast<uint8_t>(TIFFGetR(in[x]));
            g[x] = static_cast<uint8_t>(TIFFGetG(in[x]));
            b[x] = static_cast<uint8_t>(TIFFGetB(in[x]));
        }
    };
    if (tiled_) {
        for (uint32_t y0 = 0; y0 < l.height; y0 += std::min(tileLength, l.height - y0)) {
            const uint32_t rows = std::min(tileLength, l.height - y0);
            for (uint32_t x0 = 0; x0 < l.width; x0 += std::min(tileWidth, l.width - x0)) {
                client_.decoding = true;
                check(TIFFReadRGBATileExt(tif_, x0, y0, raster.get(), 1) == 1, "tile",
                      TIFFComputeTile(tif_, x0, y0, 0, 0));
                for (uint32_t r = 0; r < rows; ++r)
                    put(raster.get() + size_t{tileLength - 1 - r} * tileWidth, std::min(tileWidth, l.width - x0),
                        size_t{y0 + r} * l.width + x0);
            }
        }
        return image.finish();
    }
    for (uint32_t row0 = 0; row0 < l.height; row0 += std::min(rowsPerStrip, l.height - row0)) {
        const uint32_t rows = std::min(rowsPerStrip, l.height - row0);
        client_.decoding = true;
        check(TIFFReadRGBAStripExt(tif_, row0, raster.get(), 1) == 1, "strip", TIFFComputeStrip(tif_, row0, 0));
        for (uint32_t r = 0; r < rows; ++r)
            put(raster.get() + size_t{rows - 1 - r} * l.width, l.width, size_t{row0 + r} * l.width);
    }
    return image.finish();
}

}  // namespace

bool matches(const uint8_t* b, size_t size) {
    if (size < 4) return false;
    return (b[0] == 'I' && b[1] == 'I' && (b[2] == 42 || b[2] == 43) && b[3] == 0) ||
           (b[0] == 'M' && b[1] == 'M' && b[2] == 0 && (b[3] == 42 || b[3] == 43));
}

IconicPtr readImage(const ByteSource& file, Budget& budget) {
    Client client(file);
    TIFF* opened = nullptr;
    {
        std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
        if (!options) throw std::bad_alloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &client);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, &client);
        TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), static_cast<tmsize_t>(Limits::codecAllocation));
        // "m": never mapped; the first directory is read at opening, and no other.
        opened = TIFFClientOpenExt(kHandleName, "rm", &client, readProc, writeProc, seekProc, closeProc, sizeProc,
                                   mapProc, unmapProc, options.get());
    }
    std::unique_ptr<TIFF, TiffCloser> tif(opened);
    if (!tif) fail(client, "not a readable TIFF header");
    client.rethrowReadFailure();
    // What libtiff reported while opening without failing (a private tag of an
    // unknown type, which it skips) does not make the file invalid.
    client.clear();
    return PageReader(tif.get(), client, budget).read();
}

}  // namespace ixv::formats::tiff
