// Every limit on what a file or a caller may ask the embedded library for, in
// one place, with the one overflow-safe arithmetic the readers size things with.
//
// Sizes are computed with saturating arithmetic (an overflow gives UINT64_MAX,
// which no limit admits) and then checked against a limit with `checkLimit`,
// whose message says what exceeded which limit:
//   "image of 65536 x 32768 pixels x 8 bytes x 1073741824 channels exceeds the limit of ..."
// Such sizes are refused with error 6001 before anything is allocated; the text
// "Not enough memory available" is kept for an allocation that really failed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

namespace ixv {

struct Limits {
    // Iconic objects.
    static constexpr uint64_t pixelsPerChannel = uint64_t{1} << 31;
    static constexpr uint64_t imageRows = uint64_t{1} << 28;
    static constexpr uint64_t channels = 4096;
    static constexpr uint64_t runsOrPoints = uint64_t{1} << 28;  // per region, contour or polygon
    static constexpr int64_t coordinate = int64_t{1} << 30;      // |row|, |column| of regions

    // Files. What one file may decode to is one allowance per file (not per
    // page or object): a floor every file may use, plus the format's expansion
    // (the most output bytes one byte of the format can honestly decode to,
    // declared in the format table) per byte of the file.
    static constexpr uint64_t outputFloor = uint64_t{64} << 20;
    // What one load may decode to at most, however many files it reads (the
    // images of a sequence share one budget).
    static constexpr uint64_t outputCeiling = uint64_t{16} << 30;
    // A million objects already make a tree no one reads; each costs a load
    // about 640 bytes beside its data (an empty region: 64 in the reader,
    // the rest in its node of the host's tree), charged to the budget.
    static constexpr uint64_t objectsPerFile = uint64_t{1} << 20;
    static constexpr uint64_t objectOverhead = 640;  // bytes an object costs beside its data
    static constexpr int nestingDepth = 512;         // JSON and nested handles
    // Handles one dictionary file may hold, nested ones included: a dictionary
    // shared under several keys is written once per place, so a chain of 64
    // dictionaries each holding the next twice would stand for 2^64 of them.
    static constexpr uint64_t handlesPerFile = uint64_t{1} << 24;
    // Inputs and outputs of a deep-learning model: real networks have a few,
    // and each becomes a dictionary of about a kilobyte.
    static constexpr uint64_t modelTensors = uint64_t{1} << 16;

    // Codec libraries. A strip or tile a codec decodes whole into buffers of
    // its own, allocated before any data is read (TIFF's colour conversion),
    // may need the floor, or the expansion per stored byte of the largest one.
    static constexpr uint64_t codecAllocation = uint64_t{256} << 20;  // the largest single allocation a codec makes
    static constexpr uint64_t wholeStripFloor = uint64_t{1} << 20;     // buffers of any strip may take this much
    static constexpr uint64_t wholeStripExpansion = 4096;              // blank LZW or Deflate strips reach ~2800

    // PNG and JPEG.
    static constexpr uint64_t inflateRatio = 1032;                  // the most bytes deflate yields per byte it reads
    static constexpr uint64_t pngChunkBytes = uint64_t{64} << 20;   // one ancillary PNG chunk
    static constexpr uint64_t pngChunkCache = uint64_t{128} << 20;  // all ancillary PNG chunks, text inflated
    static constexpr uint64_t jpegScans = 500;                      // scans of a progressive JPEG
    static constexpr uint64_t jpegBlocksPerByte = 128;  // 8x8 blocks decoded over all scans, per byte of a JPEG file
};

// a * b and a + b, or UINT64_MAX when the result does not fit.
uint64_t saturatingMul(uint64_t a, uint64_t b);
uint64_t saturatingAdd(uint64_t a, uint64_t b);

// The bytes of `channels` planes of width x height pixels of `pixelSize` bytes, saturating.
uint64_t imageBytes(uint64_t width, uint64_t height, uint64_t pixelSize, uint64_t channels = 1);

// Raises error 6001 with "<what> exceeds the limit of <limit> <unit>" when value > limit.
void checkLimit(uint64_t value, uint64_t limit, const char* proc, const std::string& what, const char* unit = "");

// The decoded output one file may produce: Limits::outputFloor plus
// `expansion` bytes per byte of the file. A reader takes from it
// whatever it is about to allocate for the file's content (pixels, runs,
// points, objects), before allocating; what does not fit is refused.
class Budget {
public:
    Budget(uint64_t fileBytes, uint64_t expansion, const char* proc);
    // Takes `bytes` for `what` ("image of 100 x 200 pixels"), or raises
    // "<what> exceeds the limit of N bytes for a file of M bytes".
    void take(uint64_t bytes, const std::string& what);
    // The same, with the description made by `describe()` only when the bytes
    // do not fit: for sizes taken often, where most fit.
    template <class Describe, class = decltype(std::string(std::declval<Describe&>()()))>
    void take(uint64_t bytes, Describe&& describe) {
        if (bytes > remaining()) refuse(describe());
        used_ += bytes;
    }
    // One load of several files (the images of a sequence) shares one budget:
    // the floor once, and each further file's expansion times its size.
    void addFile(uint64_t fileBytes, uint64_t expansion);
    uint64_t remaining() const { return allowance_ - used_; }
    uint64_t allowance() const { return allowance_; }
    // A budget that only measures: a reader that takes an image's planes from
    // it stops there (formats::takeImage throws formats::ImageMeasured), so
    // the sizes of many files are known before any of them is decoded.
    void measureOnly() { measuring_ = true; }
    bool measuring() const { return measuring_; }

private:
    [[noreturn]] void refuse(const std::string& what) const;
    uint64_t fileBytes_, allowance_, used_ = 0, files_ = 1;
    const char* proc_;
    bool measuring_ = false;
};

// Runs `body`, which recurses once per level of nesting (at most
// Limits::nestingDepth levels): here when this thread has the stack for it,
// else on a thread of its own with that stack, since a host may call on a
// thread of 128 KiB. The exception `body` ends with is passed on.
void withDeepStack(const std::function<void()>& body, const char* proc);

}  // namespace ixv
