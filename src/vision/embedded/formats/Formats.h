// The file formats of the embedded library: one descriptor per format, and the
// one table that lists them (Registry.cpp).
//
// A descriptor names the format, says what it holds, recognises it from the
// file's first bytes and points at its reader and writer. A reader gets the
// file as a ByteSource and the file's one output allowance as a Budget: it
// checks every size it reads against the bytes the file has and takes what it
// is about to allocate from the budget, before allocating; it prints nothing,
// and fails with an HException whose message names the format and the problem
// ("Invalid PNG file: ..."). Adding a format: its folder (reader, writer, a
// header declaring them) and one line in the table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "HTuple.h"
#include "base/Limits.h"
#include "formats/ByteSource.h"
#include "iconic/Iconic.h"

namespace ixv::formats {

// What a format's files hold.
enum class Holds { Images, IconicObjects, Dictionary, ObjectModel3d, DlModel, Xld };

// Reads the one image a file name stands for (the first page of a multi-page file).
using ReadImageFn = IconicPtr (*)(const ByteSource& file, Budget& budget);
// Reads every iconic object of the file, in stored order.
using ReadObjectsFn = std::vector<IconicPtr> (*)(const ByteSource& file, Budget& budget);
// Reads a dictionary, 3D object model or deep-learning model, with the
// operator's generic parameters.
using ReadHandleFn = HalconCpp::HHandle (*)(const ByteSource& file, Budget& budget, const HalconCpp::HTuple& names,
                                            const HalconCpp::HTuple& values);
// Writes an image, with the operator's format options ("png", "jpeg 80", ...) and fill value.
using WriteImageFn = void (*)(const Image& image, const std::string& options, double fill, FileSink& sink);
// Writes iconic objects (object files, XLD as DXF).
using WriteObjectsFn = void (*)(const std::vector<IconicPtr>& objects, FileSink& sink);
// Writes a handle's content, with the operator's generic parameters.
using WriteHandleFn = void (*)(const HalconCpp::HHandle& handle, FileSink& sink, const HalconCpp::HTuple& names,
                               const HalconCpp::HTuple& values);

struct Format {
    const char* name;      // as in messages: "PNG", "object"
    const char* suffixes;  // file suffixes and format names, space-separated, the usual one first: "tif tiff"
    Holds holds;
    // The most bytes of output one byte of the file can honestly decode to:
    // the file's Budget is Limits::outputFloor plus this per byte.
    uint64_t expansion;
    // True when a file beginning with these bytes is of this format; `size` may
    // be shorter than the format's magic for very small files. Null for formats
    // that are only written.
    bool (*matches)(const uint8_t* head, size_t size) = nullptr;
    ReadImageFn readImage = nullptr;
    ReadObjectsFn readObjects = nullptr;
    ReadHandleFn readHandle = nullptr;
    WriteImageFn writeImage = nullptr;
    WriteObjectsFn writeObjects = nullptr;
    WriteHandleFn writeHandle = nullptr;

    bool hasSuffix(const std::string& suffix) const;
};

// Every format, in the order they are tried.
const std::vector<Format>& formats();

// The output allowance of a file of this format.
inline Budget budgetFor(const Format& format, const ByteSource& file) {
    return Budget(file.size(), format.expansion, file.proc());
}

// The format a file's first bytes belong to, or null.
const Format* formatOf(const uint8_t* head, size_t size);
inline const Format* formatOf(const ByteSource& file) {
    return formatOf(file.head().data(), file.head().size());
}

// The format with this suffix or name (any case) that has the wanted reader
// or writer, or null: formatNamed("tif", &Format::writeImage).
template <class Member>
const Format* formatNamed(const std::string& suffix, Member Format::*wanted) {
    for (const Format& format : formats())
        if (format.*wanted && format.hasSuffix(suffix)) return &format;
    return nullptr;
}

// The formats that have the wanted reader or writer, named for a message:
// "a PNG, JPEG, TIFF, BMP, PNM or object file".
template <class Member>
std::string formatList(Member Format::*wanted) {
    std::vector<const char*> names;
    for (const Format& format : formats())
        if (format.*wanted) names.push_back(format.name);
    std::string list = "a";
    for (size_t i = 0; i < names.size(); ++i)
        list += std::string(i == 0 ? " " : i + 1 == names.size() ? " or " : ", ") + names[i];
    return list + " file";
}

// ---------------------------------------------------------------------------
// Building images from decoded rows.

// Collects decoded rows of interleaved samples into planes, and applies the
// alpha rule of every reader: an alpha channel that holds only 0 and its
// maximum becomes the domain (the pixels at the maximum); any other alpha
// stays as a further channel. The planes are taken from the file's budget.
class ImageAssembler {
public:
    // `samples` interleaved samples per pixel, of which the last is alpha when
    // `hasAlpha`; `alphaMax` is the alpha value of an opaque pixel.
    ImageAssembler(PixelType type, int64_t width, int64_t height, int samples, bool hasAlpha, uint64_t alphaMax,
                   Budget& budget, const char* proc);

    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    // The destination plane of sample `s`, width * height pixels.
    uint8_t* plane(int s) { return planes_[static_cast<size_t>(s)]->data(); }
    // Spreads one row of interleaved samples of the image's pixel size into the planes.
    void putRow(int64_t row, const void* interleaved);
    // The image, with the alpha rule applied.
    std::shared_ptr<const Image> finish();

private:
    PixelType type_;
    int64_t width_, height_;
    bool hasAlpha_;
    uint64_t alphaMax_;
    Budget& budget_;
    const char* proc_;
    std::vector<std::shared_ptr<Buffer>> planes_;
};

// ---------------------------------------------------------------------------
// Writing images.

// The rows of an image as a writer stores them: the channels interleaved,
// channel 1 first, in host byte order; pixels outside the domain set to the
// fill value (rounded to the pixel type and clipped to its range); and, when
// asked, one more sample per pixel, an alpha that is `alphaMax` inside the
// domain and 0 outside, so that a reader's alpha rule gives the domain back.
class ImageRows {
public:
    ImageRows(const Image& image, double fill, bool alpha = false, uint64_t alphaMax = 0);
    size_t samples() const { return samples_; }
    size_t rowBytes() const { return row_.size(); }
    // Row y (any order); valid until the next call.
    const uint8_t* row(int64_t y);

private:
    const Image& image_;
    size_t size_, samples_;
    bool alpha_;
    uint8_t fill_[8], alphaValue_[8];
    std::shared_ptr<const Region> domain_;  // null when every pixel is in it
    std::vector<uint8_t> row_, inside_;
};

// True when the image's domain leaves out some of its pixels.
bool domainReduced(const Image& image);

// The words after the format name of WriteImage's format argument:
// "jpeg 80" gives {"80"}.
std::vector<std::string> formatOptions(const std::string& format);
// The one integer option of `format` in first..last, or `fallback` when there
// is none; error 1302 naming the option otherwise.
int integerOption(const std::string& format, int first, int last, int fallback, const char* what);
// Error 1302 for options a writer does not take.
void refuseOptions(const std::string& format);

// Error 9007 for an image the format cannot hold: "... (PNG takes byte or
// uint2 images of 1 to 4 channels, not 3 channels of real)".
[[noreturn]] void raiseCannotWrite(const Image& image, const std::string& takes);

// Takes an image of `channels` planes from the budget, after checking its size
// against the limits: "image of W x H pixels x C channels of T exceeds ...".
// From a budget that only measures, it then throws ImageMeasured.
struct ImageMeasured {
    uint64_t bytes;
};
void takeImage(Budget& budget, PixelType type, int64_t width, int64_t height, uint64_t channels, const char* proc);

// Throws the error of a file that is not valid in its format:
// "Invalid <FORMAT> file: <problem>", raised for `proc` (default "read_image").
[[noreturn]] void raiseInvalid(const char* format, const std::string& problem, const char* proc = "read_image");

}  // namespace ixv::formats
