// PNM reading: PBM, PGM and PPM, plain (ASCII) and raw (binary).
//
// Samples keep their values: a maxval up to 255 gives "byte", above it "uint2".
// Bitmaps give 0 for black (1) and 255 for white (0). Only the first image of
// a file is read; what follows it is ignored.
#include <cstring>
#include <string>

#include "base/Errors.h"
#include "formats/pnm/PnmFormat.h"

namespace ixv::formats::pnm {

namespace {

[[noreturn]] void fail(const std::string& problem) {
    raiseInvalid("PNM", problem);
}

[[noreturn]] void failSample(uint64_t value, uint64_t maxval, size_t offset) {
    fail("sample " + std::to_string(value) + " above the maximum value " + std::to_string(maxval) + " at offset " +
         std::to_string(offset));
}

bool isSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

class Reader {
public:
    explicit Reader(Bytes file) : d_(file.data), size_(file.size) {}

    size_t pos() const { return pos_; }
    size_t left() const { return size_ - pos_; }
    const uint8_t* here() const { return d_ + pos_; }
    void skip(size_t n) { pos_ += n; }

    // Skips whitespace and comments ('#' to the end of the line).
    void skipSpace() {
        while (pos_ < size_) {
            if (isSpace(d_[pos_])) {
                ++pos_;
            } else if (d_[pos_] == '#') {
                while (pos_ < size_ && d_[pos_] != '\n' && d_[pos_] != '\r') ++pos_;
            } else {
                break;
            }
        }
    }

    // A decimal number after optional whitespace; values above `max` fail.
    uint64_t number(const char* what, uint64_t max) {
        skipSpace();
        if (pos_ >= size_) fail(std::string("file ends before the ") + what);
        if (d_[pos_] < '0' || d_[pos_] > '9')
            fail(std::string("expected the ") + what + " at offset " + std::to_string(pos_));
        const size_t start = pos_;
        uint64_t value = 0;
        while (pos_ < size_ && d_[pos_] >= '0' && d_[pos_] <= '9') {
            value = value * 10 + static_cast<uint64_t>(d_[pos_] - '0');
            if (value > max) fail(std::string(what) + " above " + std::to_string(max) + " at offset " + std::to_string(start));
            ++pos_;
        }
        return value;
    }

    // One digit 0 or 1 of a plain bitmap; whitespace between digits is optional.
    uint8_t bit() {
        skipSpace();
        if (pos_ >= size_) fail("truncated pixel data");
        const uint8_t c = d_[pos_++];
        if (c != '0' && c != '1') fail("expected 0 or 1 at offset " + std::to_string(pos_ - 1));
        return c == '1';
    }

private:
    const uint8_t* d_;
    size_t size_;
    size_t pos_ = 0;
};

}  // namespace

bool matches(Bytes head) {
    if (head.size < 2 || head.data[0] != 'P' || head.data[1] < '1' || head.data[1] > '6') return false;
    return head.size < 3 || isSpace(head.data[2]) || head.data[2] == '#';
}

std::vector<IconicPtr> read(Bytes file) {
    if (!matches(file) || file.size < 3) fail("not a PNM file");
    const int kind = file.data[1] - '0';
    const bool bitmap = kind == 1 || kind == 4;
    const bool plain = kind <= 3;
    const int channels = (kind == 3 || kind == 6) ? 3 : 1;

    Reader in(file);
    in.skip(2);
    const uint64_t limit = uint64_t{1} << 31;
    const int64_t width = static_cast<int64_t>(in.number("width", limit));
    const int64_t height = static_cast<int64_t>(in.number("height", limit));
    const uint64_t maxval = bitmap ? 1 : in.number("maximum value", 65535);
    if (maxval == 0) fail("maximum value 0");
    if (width == 0 || height == 0) fail("image size " + std::to_string(width) + " x " + std::to_string(height));
    Image::checkSize(width, height, "read_image");
    // One whitespace character ends the header of a raw file.
    if (!plain) {
        if (in.left() == 0 || !isSpace(*in.here())) fail("no whitespace after the header");
        in.skip(1);
    }

    const bool wide = maxval > 255;
    const PixelType type = wide ? PixelType::UInt2 : PixelType::Byte;
    const size_t w = static_cast<size_t>(width);
    const size_t samplesPerRow = w * static_cast<size_t>(channels);
    const uint64_t samples = static_cast<uint64_t>(samplesPerRow) * static_cast<uint64_t>(height);

    // Enough bytes for every sample before anything is allocated.
    uint64_t needed;
    if (kind == 4) needed = (w + 7) / 8 * static_cast<uint64_t>(height);
    else if (kind == 1) needed = samples;           // digits need not be separated
    else if (plain) needed = 2 * samples - 1;       // a digit and a separator each
    else needed = samples * (wide ? 2 : 1);
    if (needed > in.left())
        fail("truncated pixel data: " + std::to_string(needed) + " bytes needed at offset " +
             std::to_string(in.pos()) + ", " + std::to_string(in.left()) + " present");

    ImageAssembler image(type, width, height, channels, false, 0, "read_image");
    if (kind == 5 || kind == 6) {
        if (!wide) {
            // Rows go from the file straight into the planes.
            for (int64_t y = 0; y < height; ++y, in.skip(samplesPerRow)) {
                const uint8_t* p = in.here();
                if (maxval < 255)
                    for (size_t i = 0; i < samplesPerRow; ++i)
                        if (p[i] > maxval) failSample(p[i], maxval, in.pos() + i);
                if (channels == 1) {
                    image.putRow(y, p);
                    continue;
                }
                const size_t offset = static_cast<size_t>(y) * w;
                uint8_t* r = image.plane(0) + offset;
                uint8_t* g = image.plane(1) + offset;
                uint8_t* b = image.plane(2) + offset;
                for (size_t x = 0; x < w; ++x) r[x] = p[3 * x], g[x] = p[3 * x + 1], b[x] = p[3 * x + 2];
            }
        } else {
            std::vector<uint16_t> row(samplesPerRow);
            for (int64_t y = 0; y < height; ++y, in.skip(2 * samplesPerRow)) {
                const uint8_t* p = in.here();
                for (size_t i = 0; i < samplesPerRow; ++i) {
                    row[i] = static_cast<uint16_t>((p[2 * i] << 8) | p[2 * i + 1]);
                    if (row[i] > maxval) failSample(row[i], maxval, in.pos() + 2 * i);
                }
                image.putRow(y, row.data());
            }
        }
        return {image.finish()};
    }

    if (kind == 4) {
        const size_t rowBytes = (w + 7) / 8;
        std::vector<uint8_t> row(w);
        for (int64_t y = 0; y < height; ++y) {
            const uint8_t* p = in.here();
            for (size_t x = 0; x < w; ++x) row[x] = (p[x / 8] >> (7 - (x & 7))) & 1 ? 0 : 255;
            image.putRow(y, row.data());
            in.skip(rowBytes);
        }
        return {image.finish()};
    }

    // Plain samples.
    std::vector<uint8_t> bytes(wide ? 0 : samplesPerRow);
    std::vector<uint16_t> words(wide ? samplesPerRow : 0);
    for (int64_t y = 0; y < height; ++y) {
        for (size_t i = 0; i < samplesPerRow; ++i) {
            if (kind == 1) {
                bytes[i] = in.bit() ? 0 : 255;
                continue;
            }
            in.skipSpace();
            if (in.left() == 0) fail("truncated pixel data");
            const size_t at = in.pos();
            const uint64_t v = in.number("sample", 65535);
            if (v > maxval) failSample(v, maxval, at);
            if (wide) words[i] = static_cast<uint16_t>(v);
            else bytes[i] = static_cast<uint8_t>(v);
        }
        image.putRow(y, wide ? static_cast<const void*>(words.data()) : bytes.data());
    }
    return {image.finish()};
}

bool matches(const uint8_t* head, size_t size) {
    return matches(Bytes{head, size});
}

IconicPtr readImage(const ByteSource& file, Budget&) {
    const std::vector<uint8_t> bytes = file.readAll(UINT64_MAX, "PNM");
    return read(Bytes{bytes.data(), bytes.size()}).at(0);
}

}  // namespace ixv::formats::pnm
