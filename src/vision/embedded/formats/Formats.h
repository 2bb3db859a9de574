// The file formats of the embedded library behind one small interface, and the
// table that recognises a file's format from its first bytes.
//
// A reader is a function from the bytes of a whole file to a value or an
// HException: it checks every size it reads against the bytes it has and
// against the library's limits before it allocates, and prints nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "iconic/Iconic.h"

namespace ixv::formats {

struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool mapped = false;  // the bytes are a read-only mapping of a file (MappedFile)
};

// Says that bytes [offset, offset + size) of the file will probably not be read
// again: the pages of a mapped file then leave the process's memory, so that a
// large uncompressed file does not stay resident beside its decoded image.
// Reading them later is still correct (they come back from the file); bytes in
// ordinary memory are left alone.
void releaseInput(Bytes file, uint64_t offset, uint64_t size);

struct ImageFormat {
    const char* name;  // "png", "jpeg", ... as used in messages ("Invalid PNG file: ...")
    // True when the file begins as this format does; `head` may be shorter than
    // the format's magic for very small files.
    bool (*matches)(Bytes head);
    // The images of the file: one, or one per page of a multi-page file.
    std::vector<IconicPtr> (*read)(Bytes file);
};

// The image format the file's content belongs to, or null.
const ImageFormat* imageFormatOf(Bytes file);

// The formats, in the order they are tried.
const std::vector<ImageFormat>& imageFormats();

// ---------------------------------------------------------------------------
// The readers of each format (each in its own folder).

namespace png {
bool matches(Bytes head);
std::vector<IconicPtr> read(Bytes file);
}  // namespace png

namespace jpeg {
bool matches(Bytes head);
std::vector<IconicPtr> read(Bytes file);
}  // namespace jpeg

namespace tiff {
bool matches(Bytes head);
std::vector<IconicPtr> read(Bytes file);
}  // namespace tiff

namespace bmp {
bool matches(Bytes head);
std::vector<IconicPtr> read(Bytes file);
}  // namespace bmp

namespace pnm {
bool matches(Bytes head);
std::vector<IconicPtr> read(Bytes file);
}  // namespace pnm

// The embedded object file (.hobj), specified byte for byte in docs/formats.md.
namespace hobj {
bool matches(Bytes head);
// Every object of the file, in stored order.
std::vector<IconicPtr> read(Bytes file);
// Only images: what ReadImage accepts from an object file.
std::vector<IconicPtr> readImages(Bytes file);
// The file's bytes for these objects.
std::vector<uint8_t> write(const std::vector<IconicPtr>& objects);
}  // namespace hobj

// ---------------------------------------------------------------------------
// Files: whole files as bytes, and writing files in one piece.

// A file mapped into memory for reading; error 5200 when it does not exist,
// 5201 when it cannot be read.
class MappedFile {
public:
    MappedFile(const std::string& path, const char* proc);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    Bytes bytes() const { return {data_, size_, mapped_}; }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    bool mapped_ = false;
};

// True when `path` names an existing regular file (links followed).
bool isRegularFile(const std::string& path);

// Writes `bytes` to `path` through a temporary file in the same directory that
// replaces `path` only when complete; error 5202 on failure.
void writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, const char* proc);

// ---------------------------------------------------------------------------
// Building images from decoded rows.

// Collects decoded rows of interleaved samples into planes, and applies the
// alpha rule of every reader: an alpha channel that holds only 0 and its
// maximum becomes the domain (the pixels at the maximum); any other alpha
// stays as a further channel.
class ImageAssembler {
public:
    // `samples` interleaved samples per pixel, of which the last is alpha when
    // `hasAlpha`; `alphaMax` is the alpha value of an opaque pixel.
    ImageAssembler(PixelType type, int64_t width, int64_t height, int samples, bool hasAlpha, uint64_t alphaMax,
                   const char* proc);

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
    std::vector<std::shared_ptr<Buffer>> planes_;
};

// Throws the error of a file that is not valid in its format:
// "Invalid <FORMAT> file: <problem>".
[[noreturn]] void raiseInvalid(const char* format, const std::string& problem);

}  // namespace ixv::formats
