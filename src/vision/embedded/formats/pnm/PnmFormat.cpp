// PNM reading: PBM, PGM and PPM, plain (ASCII) and raw (binary).
//
// Samples keep their values: a maxval up to 255 gives "byte", above it "uint2".
// Bitmaps give 0 for black (1) and 255 for white (0). Only the first image of
// a file is read; what follows it is ignored. The file is read through a
// ByteStream, row by row into a row buffer spread into the planes.
#include <cstring>
#include <string>

#include "base/Errors.h"
#include "formats/pnm/PnmFormat.h"

namespace ixv::formats::pnm {

namespace {

[[noreturn]] void fail(const std::string& problem) {
    raiseInvalid("PNM", problem);
}

[[noreturn]] void failSample(uint64_t value, uint64_t maxval, uint64_t offset) {
    fail("sample " + std::to_string(value) + " above the maximum value " + std::to_string(maxval) + " at offset " +
         std::to_string(offset));
}

bool isSpace(uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The file through a ByteStream, with the PNM header's tokens.
class Reader {
public:
    explicit Reader(const ByteSource& file) : in_(file, "PNM") {}

    uint64_t pos() const { return in_.offset(); }
    uint64_t left() const { return in_.remaining(); }
    ByteStream& stream() { return in_; }
    // The next byte without taking it, or -1 at the end of the file.
    int peek() {
        const int c = in_.get();
        if (c >= 0) in_.seek(in_.offset() - 1);
        return c;
    }
    void skip(uint64_t n) { in_.skip(n, "header"); }

    // Skips whitespace and comments ('#' to the end of the line).
    void skipSpace() {
        for (int c = peek(); c >= 0; c = peek()) {
            if (isSpace(static_cast<uint8_t>(c))) {
                in_.get();
            } else if (c == '#') {
                while ((c = peek()) >= 0 && c != '\n' && c != '\r') in_.get();
            } else {
                break;
            }
        }
    }

    // A decimal number after optional whitespace; values above `max` fail.
    uint64_t number(const char* what, uint64_t max) {
        skipSpace();
        int c = peek();
        if (c < 0) fail(std::string("file ends before the ") + what);
        if (c < '0' || c > '9') fail(std::string("expected the ") + what + " at offset " + std::to_string(pos()));
        const uint64_t start = pos();
        uint64_t value = 0;
        while ((c = peek()) >= '0' && c <= '9') {
            value = value * 10 + static_cast<uint64_t>(c - '0');
            if (value > max) fail(std::string(what) + " above " + std::to_string(max) + " at offset " + std::to_string(start));
            in_.get();
        }
        return value;
    }

    // One digit 0 or 1 of a plain bitmap; whitespace between digits is optional.
    uint8_t bit() {
        skipSpace();
        const int c = in_.get();
        if (c < 0) fail("truncated pixel data");
        if (c != '0' && c != '1') fail("expected 0 or 1 at offset " + std::to_string(pos() - 1));
        return c == '1';
    }

private:
    ByteStream in_;
};

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    if (size < 2 || head[0] != 'P' || head[1] < '1' || head[1] > '6') return false;
    return size < 3 || isSpace(head[2]) || head[2] == '#';
}

IconicPtr readImage(const ByteSource& file, Budget& budget) {
    const char* proc = file.proc();
    const std::vector<uint8_t>& head = file.head();
    if (!matches(head.data(), head.size()) || file.size() < 3) fail("not a PNM file");
    const int kind = head[1] - '0';
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
    Image::checkSize(width, height, proc);
    // One whitespace character ends the header of a raw file.
    if (!plain) {
        const int c = in.peek();
        if (c < 0 || !isSpace(static_cast<uint8_t>(c))) fail("no whitespace after the header");
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

    ImageAssembler image(type, width, height, channels, false, 0, budget, proc);
    ByteStream& stream = in.stream();
    if (kind == 5 || kind == 6) {
        // Rows go from the file into a row buffer, and from it into the planes.
        const size_t rowBytes = samplesPerRow * (wide ? 2 : 1);
        std::vector<uint8_t> raw(rowBytes);
        std::vector<uint16_t> words(wide ? samplesPerRow : 0);
        for (int64_t y = 0; y < height; ++y) {
            const uint64_t at = stream.offset();
            stream.read(raw.data(), rowBytes, "pixel row");
            if (!wide) {
                if (maxval < 255)
                    for (size_t i = 0; i < samplesPerRow; ++i)
                        if (raw[i] > maxval) failSample(raw[i], maxval, at + i);
                image.putRow(y, raw.data());
                continue;
            }
            for (size_t i = 0; i < samplesPerRow; ++i) {
                words[i] = static_cast<uint16_t>((raw[2 * i] << 8) | raw[2 * i + 1]);
                if (words[i] > maxval) failSample(words[i], maxval, at + 2 * i);
            }
            image.putRow(y, words.data());
        }
        return image.finish();
    }

    if (kind == 4) {
        const size_t rowBytes = (w + 7) / 8;
        std::vector<uint8_t> packed(rowBytes), row(w);
        for (int64_t y = 0; y < height; ++y) {
            stream.read(packed.data(), rowBytes, "pixel row");
            for (size_t x = 0; x < w; ++x) row[x] = (packed[x / 8] >> (7 - (x & 7))) & 1 ? 0 : 255;
            image.putRow(y, row.data());
        }
        return image.finish();
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
            const uint64_t at = in.pos();
            const uint64_t v = in.number("sample", 65535);
            if (v > maxval) failSample(v, maxval, at);
            if (wide) words[i] = static_cast<uint16_t>(v);
            else bytes[i] = static_cast<uint8_t>(v);
        }
        image.putRow(y, wide ? static_cast<const void*>(words.data()) : bytes.data());
    }
    return image.finish();
}

}  // namespace ixv::formats::pnm
