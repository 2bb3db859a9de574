// BMP reading: Windows and OS/2 bitmaps, uncompressed, bit fields and RLE.
//
// Palette images become gray when every palette entry the pixels use is gray,
// else RGB. Pixels an RLE bitmap skips (delta and end codes) are left out of
// the domain.
//
// The file is read through a ByteStream: the header and palette first, then
// the pixels row by row (or the RLE stream code by code) into a row buffer
// spread into the planes.
#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/Errors.h"
#include "formats/bmp/BmpFormat.h"

namespace ixv::formats::bmp {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kJpeg = 4, kPng = 5, kAlphaBitFields = 6;
constexpr size_t kFileHeaderSize = 14;
// The most bytes before the pixels a reader looks at: the file header, the
// longest info header, four masks and a palette of 256 entries.
constexpr size_t kHeadSize = kFileHeaderSize + 124 + 16 + 256 * 4;

[[noreturn]] void fail(const std::string& problem) {
    raiseInvalid("BMP", problem);
}

uint16_t u16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t u32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

bool knownHeaderSize(uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

struct Rgb {
    uint8_t r, g, b;
    bool gray() const { return r == g && g == b; }
};

// One colour field of a 16- or 32-bit pixel, scaled to 0..255.
class Field {
public:
    Field() = default;
    // False when the mask's bits are not contiguous.
    bool set(uint32_t mask) {
        mask_ = mask;
        if (mask == 0) return true;
        shift_ = 0;
        while (!((mask >> shift_) & 1u)) ++shift_;
        const uint64_t value = mask >> shift_;
        int bits = 0;
        while ((value >> bits) & 1u) ++bits;
        if ((value >> bits) != 0) return false;
        // Fields wider than 16 bits keep their top 16 bits.
        reduce_ = bits > 16 ? bits - 16 : 0;
        const uint32_t max = (uint32_t{1} << (bits - reduce_)) - 1;
        table_.resize(size_t{max} + 1);
        for (uint32_t v = 0; v <= max; ++v) table_[v] = static_cast<uint8_t>((v * 255u + max / 2) / max);
        return true;
    }
    uint32_t mask() const { return mask_; }
    uint8_t operator()(uint32_t pixel) const {
        return mask_ ? table_[((pixel & mask_) >> shift_) >> reduce_] : 0;
    }

private:
    uint32_t mask_ = 0;
    int shift_ = 0, reduce_ = 0;
    std::vector<uint8_t> table_;
};

struct Header {
    int64_t width = 0, height = 0;
    bool topDown = false;
    int bitCount = 0;
    uint32_t compression = kRgb;
    uint32_t masks[4] = {0, 0, 0, 0};  // red, green, blue, alpha
    std::vector<Rgb> palette;
    uint64_t dataOffset = 0;
    uint64_t dataSize = 0;  // bytes from dataOffset that belong to the pixels
};

Header parseHeader(const ByteSource& file) {
    // Every field and the palette lie in the first kHeadSize bytes; each is
    // checked against the file's size before it is used.
    std::vector<uint8_t> head(static_cast<size_t>(std::min<uint64_t>(file.size(), kHeadSize)));
    file.read(0, head.data(), head.size(), "BMP", "header");
    const uint8_t* d = head.data();
    const uint64_t fileSize = file.size();
    if (fileSize < kFileHeaderSize + 4 || d[0] != 'B' || d[1] != 'M') fail("not a BMP file");
    Header h;
    const uint32_t offset = u32(d + 10);
    const uint32_t infoSize = u32(d + 14);
    if (!knownHeaderSize(infoSize)) fail("unknown header size " + std::to_string(infoSize));
    if (kFileHeaderSize + infoSize > fileSize) fail("truncated header");
    const uint8_t* info = d + kFileHeaderSize;
    uint32_t colorsUsed = 0;
    uint32_t planes;
    const bool core = infoSize == 12;
    if (core) {
        h.width = u16(info + 4);
        h.height = u16(info + 6);
        planes = u16(info + 8);
        h.bitCount = u16(info + 10);
    } else {
        h.width = static_cast<int32_t>(u32(info + 4));
        const int64_t height = static_cast<int32_t>(u32(info + 8));
        h.topDown = height < 0;
        h.height = height < 0 ? -height : height;
        planes = u16(info + 12);
        h.bitCount = u16(info + 14);
        h.compression = u32(info + 16);
        colorsUsed = u32(info + 32);
    }
    if (planes != 1) fail(std::to_string(planes) + " planes");
    if (h.width <= 0 || h.height <= 0)
        fail("image size " + std::to_string(h.width) + " x " + std::to_string(h.height));

    const int bits = h.bitCount;
    const uint32_t c = h.compression;
    // OS/2 2.x headers (64 bytes) give the codes 3 and 4 other meanings.
    if (infoSize == 64 && (c == 3 || c == 4)) fail("OS/2 Huffman and RLE24 compression are not supported");
    if (c == kJpeg || c == kPng) fail("embedded JPEG and PNG data are not supported");
    if (c == kRgb) {
        if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            fail(std::to_string(bits) + " bits per pixel");
    } else if (c == kRle8 || c == kRle4) {
        if (bits != (c == kRle8 ? 8 : 4)) fail("RLE compression with " + std::to_string(bits) + " bits per pixel");
        if (h.topDown) fail("top-down RLE bitmap");
    } else if (c == kBitFields || c == kAlphaBitFields) {
        if (bits != 16 && bits != 32) fail("bit fields with " + std::to_string(bits) + " bits per pixel");
    } else {
        fail("unknown compression " + std::to_string(c));
    }
    if (core && bits > 8 && bits != 24) fail(std::to_string(bits) + " bits per pixel in an OS/2 bitmap");

    // Colour masks: after a 40-byte header for bit fields, inside longer Windows headers.
    size_t headerEnd = kFileHeaderSize + infoSize;
    if (bits == 16) {
        h.masks[0] = 0x7C00, h.masks[1] = 0x03E0, h.masks[2] = 0x001F;
    } else if (bits == 32) {
        h.masks[0] = 0xFF0000, h.masks[1] = 0xFF00, h.masks[2] = 0xFF;
    }
    const bool maskFields = infoSize == 52 || infoSize == 56 || infoSize == 108 || infoSize == 124;
    if (c == kBitFields || c == kAlphaBitFields) {
        if (infoSize == 40) {
            const size_t count = c == kAlphaBitFields ? 4 : 3;
            if (headerEnd + 4 * count > fileSize) fail("truncated colour masks");
            for (size_t i = 0; i < count; ++i) h.masks[i] = u32(d + headerEnd + 4 * i);
            headerEnd += 4 * count;
        } else if (maskFields) {
            for (size_t i = 0; i < 3; ++i) h.masks[i] = u32(info + 40 + 4 * i);
            if (infoSize >= 56) h.masks[3] = u32(info + 52);
        } else {
            fail("bit fields in a header of " + std::to_string(infoSize) + " bytes");
        }
    } else if (bits == 32 && infoSize >= 56 && infoSize != 64 && u32(info + 52) == 0xFF000000u) {
        // Uncompressed pixels are BGRx; headers with an alpha mask may declare x the alpha.
        h.masks[3] = 0xFF000000u;
    }

    // The palette follows the header.
    if (bits <= 8) {
        const size_t entrySize = core ? 3 : 4;
        const uint32_t maxColors = uint32_t{1} << bits;
        size_t count = colorsUsed;
        if (colorsUsed > maxColors)
            fail("palette of " + std::to_string(colorsUsed) + " colours for " + std::to_string(bits) + "-bit pixels");
        if (count == 0) {
            count = maxColors;
            // Writers that leave the count out may still store a shorter palette.
            if (offset > headerEnd) count = std::min(count, (offset - headerEnd) / entrySize);
        }
        if (count == 0) fail("empty palette");
        const size_t paletteEnd = headerEnd + count * entrySize;
        if (paletteEnd > fileSize) fail("truncated palette");
        if (paletteEnd > offset) fail("palette overlaps the pixel data at offset " + std::to_string(offset));
        h.palette.resize(count);
        for (size_t i = 0; i < count; ++i) {
            const uint8_t* e = d + headerEnd + i * entrySize;
            h.palette[i] = {e[2], e[1], e[0]};
        }
        headerEnd = paletteEnd;
    }
    if (offset < headerEnd || offset > fileSize)
        fail("pixel data offset " + std::to_string(offset) + " outside " + std::to_string(headerEnd) + ".." +
             std::to_string(fileSize));
    h.dataOffset = offset;
    h.dataSize = fileSize - offset;
    if (c == kRle8 || c == kRle4) {
        const uint32_t imageSize = u32(info + 20);
        if (imageSize != 0) h.dataSize = std::min<uint64_t>(h.dataSize, imageSize);
    }
    return h;
}

std::string hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

// Every field mask: contiguous, within the pixel, not overlapping.
std::array<Field, 4> fieldsOf(const Header& h) {
    std::array<Field, 4> fields;
    const uint64_t limit = h.bitCount == 32 ? uint64_t{1} << 32 : uint64_t{1} << h.bitCount;
    uint32_t seen = 0;
    for (int i = 0; i < 4; ++i) {
        const uint32_t m = h.masks[i];
        if (m >= limit || (m & seen) || !fields[static_cast<size_t>(i)].set(m))
            fail("invalid colour mask " + hex(m));
        seen |= m;
    }
    if (!(h.masks[0] | h.masks[1] | h.masks[2])) fail("no colour masks");
    return fields;
}

// ---------------------------------------------------------------------------
// RLE: rows of palette indices with a mark for each pixel the data sets.

struct RleRow {
    const uint8_t* indices;
    const uint8_t* written;
    bool complete;  // every pixel set
};

// The bytes of RLE data up to and including its end-of-bitmap code, or all of
// them when there is none: the data that describes pixels. Whatever follows
// the end of the bitmap is padding.
uint64_t describingLength(const ByteSource& file, const Header& h) {
    ByteStream in(file, "BMP", h.dataOffset);
    const bool rle4 = h.compression == kRle4;
    uint64_t pos = 0;
    while (pos + 2 <= h.dataSize) {
        in.seek(h.dataOffset + pos);
        const uint8_t* c = in.take(2, "RLE code");
        if (c[0] > 0 || c[1] == 0) {
            pos += 2;
        } else if (c[1] == 1) {
            return pos + 2;
        } else if (c[1] == 2) {
            pos += 4;
        } else {
            const uint64_t bytes = rle4 ? (c[1] + 1u) / 2 : c[1];
            pos += 2 + bytes + (bytes & 1);
        }
    }
    return h.dataSize;
}

// Decodes the RLE data and hands over every row once, bottom row first, as
// `sink(fileRow, row)`.
template <class Sink>
void decodeRle(const ByteSource& file, const Header& h, Sink&& sink) {
    const bool rle4 = h.compression == kRle4;
    ByteStream in(file, "BMP", h.dataOffset);
    const uint64_t size = h.dataSize;
    const size_t width = static_cast<size_t>(h.width);
    std::vector<uint8_t> indices(width, 0), written(width, 0);
    size_t count = 0;  // pixels set in this row
    int64_t x = 0, y = 0;
    auto flush = [&] {
        if (y < h.height) {
            sink(y, RleRow{indices.data(), written.data(), count == width});
            std::fill(indices.begin(), indices.end(), 0);
            std::fill(written.begin(), written.end(), 0);
            count = 0;
        }
        ++y;
    };
    auto put = [&](uint8_t index) {
        if (x < h.width) {
            const size_t at = static_cast<size_t>(x);
            indices[at] = index;
            if (!written[at]) written[at] = 1, ++count;
        }
        ++x;
    };
    auto at = [&](uint64_t pos) { return " at offset " + std::to_string(h.dataOffset + pos); };
    while (true) {
        const uint64_t pos = in.offset() - h.dataOffset;
        if (pos + 2 > size) {
            if (y >= h.height) return;
            fail("RLE data ends before the end of the bitmap" + at(pos));
        }
        const uint8_t* c = in.take(2, "RLE code");
        const uint8_t n = c[0], code = c[1];
        if (n > 0) {
            if (y >= h.height) fail("RLE pixels past the last row" + at(pos));
            for (unsigned i = 0; i < n; ++i) put(rle4 ? (i & 1 ? code & 15 : code >> 4) : code);
        } else if (code == 0) {  // end of line
            flush();
            x = 0;
        } else if (code == 1) {  // end of bitmap
            while (y < h.height) flush();
            return;
        } else if (code == 2) {  // delta: right and up
            if (pos + 4 > size) fail("truncated RLE delta" + at(pos));
            const uint8_t* d = in.take(2, "RLE delta");
            const unsigned up = d[1];
            x += d[0];
            for (unsigned i = 0; i < up; ++i) flush();
        } else {  // a literal run of `code` pixels, padded to two bytes
            if (y >= h.height) fail("RLE pixels past the last row" + at(pos));
            const size_t bytes = rle4 ? (code + 1u) / 2 : code;
            if (pos + 2 + bytes > size) fail("truncated RLE run" + at(pos));
            const uint8_t* p = in.take(bytes, "RLE run");
            for (unsigned i = 0; i < code; ++i) put(rle4 ? (i & 1 ? p[i / 2] & 15 : p[i / 2] >> 4) : p[i]);
            in.seek(in.offset() + (bytes & 1));
        }
    }
}

// ---------------------------------------------------------------------------
// Uncompressed rows.

size_t strideOf(const Header& h) {
    return static_cast<size_t>((static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.bitCount) + 31) / 32 * 4);
}

// Reads the stored rows in file order and hands each over as `sink(imageRow, bytes)`.
template <class Sink>
void forEachRow(const ByteSource& file, const Header& h, Sink&& sink) {
    const uint64_t stride = strideOf(h);
    const size_t rowBytes = static_cast<size_t>((static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.bitCount) + 7) / 8);
    std::vector<uint8_t> row(rowBytes);
    ByteStream in(file, "BMP", h.dataOffset, static_cast<size_t>(std::min<uint64_t>(stride * 16, 1 << 20)));
    for (int64_t stored = 0; stored < h.height; ++stored) {
        in.seek(h.dataOffset + static_cast<uint64_t>(stored) * stride);
        in.read(row.data(), rowBytes, "pixel row");
        if (!sink(h.topDown ? stored : h.height - 1 - stored, static_cast<const uint8_t*>(row.data()))) return;
    }
}

uint8_t indexAt(const uint8_t* row, int bits, size_t x) {
    switch (bits) {
    case 8: return row[x];
    case 4: return (x & 1) ? row[x / 2] & 15 : row[x / 2] >> 4;
    case 2: return (row[x / 4] >> (6 - 2 * (x & 3))) & 3;
    default: return (row[x / 8] >> (7 - (x & 7))) & 1;
    }
}

[[noreturn]] void failIndex(unsigned index, size_t colors) {
    fail("pixel index " + std::to_string(index) + " outside the palette of " + std::to_string(colors) + " colours");
}

// One row of every plane of an image being assembled.
using Row = std::array<uint8_t*, 4>;

Row rowOf(ImageAssembler& image, int samples, int64_t y) {
    Row row{};
    const size_t offset = static_cast<size_t>(y) * static_cast<size_t>(image.width());
    for (int s = 0; s < samples; ++s) row[static_cast<size_t>(s)] = image.plane(s) + offset;
    return row;
}

struct Usage {
    bool grayOnly = true;  // every palette entry the pixels use is gray
    bool skipped = false;  // RLE data leaves pixels out
};

// What the pixels use of the palette; checks every index.
Usage usageOf(const ByteSource& file, const Header& h) {
    Usage usage;
    auto check = [&](unsigned index) {
        if (index >= h.palette.size()) failIndex(index, h.palette.size());
        if (!h.palette[index].gray()) usage.grayOnly = false;
    };
    if (h.compression == kRle8 || h.compression == kRle4) {
        decodeRle(file, h, [&](int64_t, const RleRow& row) {
            usage.skipped = usage.skipped || !row.complete;
            for (size_t x = 0; x < static_cast<size_t>(h.width); ++x)
                if (row.written[x]) check(row.indices[x]);
        });
        return usage;
    }
    forEachRow(file, h, [&](int64_t, const uint8_t* row) {
        for (size_t x = 0; x < static_cast<size_t>(h.width); ++x) check(indexAt(row, h.bitCount, x));
        return usage.grayOnly;
    });
    return usage;
}

// A palette image, uncompressed or RLE: gray when every palette entry the
// pixels use is gray, else RGB, with an alpha channel for pixels RLE data
// skips. `checkChannels(n)` refuses an image of n channels before it is built.
template <class Check>
IconicPtr readPalette(const ByteSource& file, const Header& h, Budget& budget, Check&& checkChannels) {
    const char* proc = file.proc();
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    const size_t width = static_cast<size_t>(h.width);
    // The RLE decoder's two rows of palette indices and marks.
    if (rle) budget.take(2 * static_cast<uint64_t>(width), "RLE rows of " + std::to_string(width) + " pixels");
    // The pixels need a look only when the palette mixes gray and colour,
    // and for RLE, to find what it skips (and check it before allocating).
    const bool allGray = std::all_of(h.palette.begin(), h.palette.end(), [](const Rgb& e) { return e.gray(); });
    const bool anyGray = std::any_of(h.palette.begin(), h.palette.end(), [](const Rgb& e) { return e.gray(); });
    Usage usage;
    usage.grayOnly = allGray;
    if ((anyGray && !allGray) || rle) usage = usageOf(file, h);
    const bool gray = usage.grayOnly;
    const bool alpha = usage.skipped;
    const int colors = gray ? 1 : 3;
    const int samples = colors + (alpha ? 1 : 0);
    checkChannels(static_cast<uint64_t>(samples));
    ImageAssembler image(PixelType::Byte, h.width, h.height, samples, alpha, 255, budget, proc);
    const size_t colorsInPalette = h.palette.size();
    auto put = [&](const Row& o, size_t x, unsigned index) {
        if (index >= colorsInPalette) failIndex(index, colorsInPalette);
        const Rgb& c = h.palette[index];
        o[0][x] = c.r;
        if (!gray) o[1][x] = c.g, o[2][x] = c.b;
    };
    if (rle) {
        decodeRle(file, h, [&](int64_t stored, const RleRow& row) {
            const Row o = rowOf(image, samples, h.height - 1 - stored);
            for (size_t x = 0; x < width; ++x) {
                if (row.written[x]) {
                    put(o, x, row.indices[x]);
                    if (alpha) o[colors][x] = 255;
                } else {
                    for (int s = 0; s < samples; ++s) o[s][x] = 0;
                }
            }
        });
    } else {
        forEachRow(file, h, [&](int64_t y, const uint8_t* row) {
            const Row o = rowOf(image, samples, y);
            if (h.bitCount == 8) {
                for (size_t x = 0; x < width; ++x) put(o, x, row[x]);
            } else {
                for (size_t x = 0; x < width; ++x) put(o, x, indexAt(row, h.bitCount, x));
            }
            return true;
        });
    }
    return image.finish();
}

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    if (size < 2 || head[0] != 'B' || head[1] != 'M') return false;
    return size < 18 || knownHeaderSize(u32(head + 14));
}

IconicPtr readImage(const ByteSource& file, Budget& budget) {
    const char* proc = file.proc();
    const Header h = parseHeader(file);
    const bool rle = h.compression == kRle8 || h.compression == kRle4;
    Image::checkSize(h.width, h.height, proc);
    if (rle) {
        // An RLE bitmap may decode to what a file of its header and the RLE
        // data up to the end of the bitmap may: padding after the end code
        // describes no pixels. Checked for one channel before any pixel is
        // decoded, and for all of them once the palette's use is known.
        const uint64_t length = describingLength(file, h);
        const uint64_t allowance =
            Budget(h.dataOffset + length, formatNamed("bmp", &Format::readImage)->expansion, proc).allowance();
        const auto check = [&](uint64_t channels) {
            checkLimit(imageBytes(static_cast<uint64_t>(h.width), static_cast<uint64_t>(h.height), 1, channels),
                       allowance, proc,
                       "image of " + std::to_string(h.width) + " x " + std::to_string(h.height) + " pixels x " +
                           std::to_string(channels) + (channels == 1 ? " channel" : " channels") + " described by " + std::to_string(length) +
                           " bytes of RLE data",
                       "bytes");
        };
        check(1);
        return readPalette(file, h, budget, check);
    }
    const uint64_t rowBytes = (static_cast<uint64_t>(h.width) * static_cast<uint64_t>(h.bitCount) + 7) / 8;
    const uint64_t needed = strideOf(h) * static_cast<uint64_t>(h.height - 1) + rowBytes;
    if (needed > h.dataSize)
        fail("pixel data truncated: " + std::to_string(needed) + " bytes needed at offset " +
             std::to_string(h.dataOffset) + ", " + std::to_string(h.dataSize) + " present");
    if (h.bitCount <= 8) return readPalette(file, h, budget, [](uint64_t) {});

    const size_t width = static_cast<size_t>(h.width);
    if (h.bitCount == 24) {
        ImageAssembler image(PixelType::Byte, h.width, h.height, 3, false, 255, budget, proc);
        forEachRow(file, h, [&](int64_t y, const uint8_t* row) {
            const Row o = rowOf(image, 3, y);
            for (size_t x = 0; x < width; ++x, row += 3) o[0][x] = row[2], o[1][x] = row[1], o[2][x] = row[0];
            return true;
        });
        return image.finish();
    }

    // 16 and 32 bits: colour fields.
    const std::array<Field, 4> fields = fieldsOf(h);
    const bool alpha = fields[3].mask() != 0;
    const int samples = alpha ? 4 : 3;
    ImageAssembler image(PixelType::Byte, h.width, h.height, samples, alpha, 255, budget, proc);
    const bool standard32 = h.bitCount == 32 && h.masks[0] == 0xFF0000 && h.masks[1] == 0xFF00 && h.masks[2] == 0xFF &&
                            (h.masks[3] == 0 || h.masks[3] == 0xFF000000u);
    forEachRow(file, h, [&](int64_t y, const uint8_t* row) {
        const Row o = rowOf(image, samples, y);
        if (standard32) {
            for (size_t x = 0; x < width; ++x) o[0][x] = row[4 * x + 2], o[1][x] = row[4 * x + 1], o[2][x] = row[4 * x];
            if (alpha)
                for (size_t x = 0; x < width; ++x) o[3][x] = row[4 * x + 3];
        } else {
            for (size_t x = 0; x < width; ++x) {
                const uint32_t v = h.bitCount == 16 ? u16(row + 2 * x) : u32(row + 4 * x);
                o[0][x] = fields[0](v), o[1][x] = fields[1](v), o[2][x] = fields[2](v);
                if (alpha) o[3][x] = fields[3](v);
            }
        }
        return true;
    });
    return image.finish();
}

}  // namespace ixv::formats::bmp
