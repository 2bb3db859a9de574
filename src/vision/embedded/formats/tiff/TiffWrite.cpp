// TIFF writing with libtiff.
//
// Every pixel type is written so that the reader gives it back: byte and
// uint2 as 8- and 16-bit unsigned, int1, int2, int4 and int8 as 8-, 16-, 32-
// and 64-bit signed, real as 32-bit float samples. Any number of channels,
// interleaved in one page: 3 or more are RGB (channel 1 red) followed by
// unspecified extra samples, 1 or 2 gray and an extra sample.
//
// A byte or uint2 image whose domain leaves pixels out gets one more sample,
// an alpha opaque exactly on the domain, which the reader turns back into the
// domain. For the other types, which the reader's alpha rule leaves as they
// are, and in every case for the pixels outside the domain, the pixels there
// hold the fill value.
//
// Options: "tiff <compression>", one of "none" (the default), "lzw",
// "deflate" or "packbits".
//
// libtiff writes into memory through our procedures (the file is finished
// before a byte reaches the sink) and reports through handlers of this handle
// only, so that nothing is ever printed; its error becomes the message.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/Errors.h"
#include "formats/tiff/TiffFormat.h"

namespace ixv::formats::tiff {

namespace {

constexpr const char* kProc = "write_image";

// The file being written, in memory, and libtiff's last error.
struct Memory {
    std::vector<uint8_t> bytes;
    uint64_t position = 0;
    bool failed = false;
    std::string error;
};

tmsize_t readMemory(thandle_t handle, void* out, tmsize_t size) {
    auto* m = static_cast<Memory*>(handle);
    if (size < 0 || m->position >= m->bytes.size()) return 0;
    const size_t n = std::min<uint64_t>(static_cast<uint64_t>(size), m->bytes.size() - m->position);
    std::memcpy(out, m->bytes.data() + m->position, n);
    m->position += n;
    return static_cast<tmsize_t>(n);
}

tmsize_t writeMemory(thandle_t handle, void* data, tmsize_t size) {
    auto* m = static_cast<Memory*>(handle);
    if (size < 0) return -1;
    try {
        const uint64_t end = m->position + static_cast<uint64_t>(size);
        if (end > m->bytes.size()) m->bytes.resize(static_cast<size_t>(end));
    } catch (...) {
        m->failed = true;
        return -1;
    }
    std::memcpy(m->bytes.data() + m->position, data, static_cast<size_t>(size));
    m->position += static_cast<uint64_t>(size);
    return size;
}

toff_t seekMemory(thandle_t handle, toff_t offset, int whence) {
    auto* m = static_cast<Memory*>(handle);
    uint64_t base = 0;
    if (whence == SEEK_CUR) base = m->position;
    if (whence == SEEK_END) base = m->bytes.size();
    m->position = base + offset;
    return m->position;
}

int closeMemory(thandle_t) {
    return 0;
}

toff_t sizeMemory(thandle_t handle) {
    return static_cast<Memory*>(handle)->bytes.size();
}

int mapMemory(thandle_t, void**, toff_t*) {
    return 0;
}

void unmapMemory(thandle_t, void*, toff_t) {}

int onError(TIFF*, void* user, const char*, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    try {
        static_cast<Memory*>(user)->error = text;
    } catch (...) {
    }
    return 1;
}

int onWarning(TIFF*, void*, const char*, const char*, va_list) {
    return 1;
}

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};

struct OptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

uint16_t compressionOf(const std::string& format) {
    const std::vector<std::string> options = formatOptions(format);
    if (options.empty()) return COMPRESSION_NONE;
    if (options.size() == 1) {
        if (options[0] == "none") return COMPRESSION_NONE;
        if (options[0] == "lzw") return COMPRESSION_LZW;
        if (options[0] == "deflate") return COMPRESSION_ADOBE_DEFLATE;
        if (options[0] == "packbits") return COMPRESSION_PACKBITS;
    }
    raiseParValue(kProc, 2, "'" + format + "': the compression is one of none, lzw, deflate or packbits");
}

uint16_t sampleFormatOf(PixelType type) {
    switch (type) {
    case PixelType::Byte:
    case PixelType::UInt2: return SAMPLEFORMAT_UINT;
    case PixelType::Real: return SAMPLEFORMAT_IEEEFP;
    default: return SAMPLEFORMAT_INT;
    }
}

}  // namespace

void writeImage(const Image& image, const std::string& format, double fill, FileSink& sink) {
    const uint16_t compression = compressionOf(format);
    const size_t channels = image.channelCount();
    if (image.width() > 0xffffffff || image.height() > 0xffffffff)
        raise(kProc, err::FileWrite, "TIFF holds at most 2^32 - 1 rows and columns");
    const PixelType type = image.type();
    const bool alpha = (type == PixelType::Byte || type == PixelType::UInt2) && domainReduced(image);
    const size_t samples = channels + (alpha ? 1 : 0);
    if (samples > Limits::channels)
        raiseCannotWrite(image, "TIFF takes up to " + std::to_string(Limits::channels) +
                                    " samples per pixel, the alpha of a reduced domain included");
    ImageRows rows(image, fill, alpha, type == PixelType::UInt2 ? 0xffff : 0xff);

    Memory memory;
    TIFF* opened = nullptr;
    {
        std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
        if (!options) throw std::bad_alloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options.get(), onError, &memory);
        TIFFOpenOptionsSetWarningHandlerExtR(options.get(), onWarning, &memory);
        // Files of 4 GiB and more need BigTIFF.
        const bool big = rows.rowBytes() * static_cast<uint64_t>(image.height()) >= (uint64_t{1} << 32) - (1 << 20);
        opened = TIFFClientOpenExt("tiff", big ? "w8m" : "wm", &memory, readMemory, writeMemory, seekMemory,
                                   closeMemory, sizeMemory, mapMemory, unmapMemory, options.get());
    }
    std::unique_ptr<TIFF, TiffCloser> tif(opened);
    const auto fail = [&](const char* what) {
        if (memory.failed) raise(kProc, err::OutOfMemory, "TIFF file in memory");
        raiseMessage(kProc, err::FileWrite,
                     std::string("Cannot write TIFF file: ") + (memory.error.empty() ? what : memory.error));
    };
    if (!tif) fail("cannot create the file");

    const bool rgb = channels >= 3;
    const size_t colour = rgb ? 3 : 1;
    std::vector<uint16_t> extras(samples - colour, EXTRASAMPLE_UNSPECIFIED);
    if (alpha) extras.back() = EXTRASAMPLE_UNASSALPHA;
    TIFF* t = tif.get();
    const bool set = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(image.width())) &&
                     TIFFSetField(t, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(image.height())) &&
                     TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, static_cast<uint16_t>(samples)) &&
                     TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, static_cast<uint16_t>(pixelSize(type) * 8)) &&
                     TIFFSetField(t, TIFFTAG_SAMPLEFORMAT, sampleFormatOf(type)) &&
                     TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
                     TIFFSetField(t, TIFFTAG_PHOTOMETRIC, rgb ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK) &&
                     TIFFSetField(t, TIFFTAG_COMPRESSION, compression) &&
                     (extras.empty() || TIFFSetField(t, TIFFTAG_EXTRASAMPLES, static_cast<uint16_t>(extras.size()),
                                                     extras.data())) &&
                     TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    if (!set) fail("cannot set the image's fields");
    for (int64_t y = 0; y < image.height(); ++y)
        if (TIFFWriteScanline(t, const_cast<uint8_t*>(rows.row(y)), static_cast<uint32_t>(y), 0) < 0)
            fail("cannot write the pixels");
    if (!TIFFWriteDirectory(t)) fail("cannot write the directory");
    tif.reset();
    if (memory.failed) fail("cannot write the file");
    sink.write(memory.bytes.data(), memory.bytes.size());
}

}  // namespace ixv::formats::tiff
