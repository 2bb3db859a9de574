// The iconic objects behind HObject: images, regions and XLD objects. Each is
// immutable once built and shared by every HObject that holds it; images share
// their channel planes and domain with the images derived from them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "HObject.h"
#include "base/Limits.h"

namespace ixv {

// Limits on what a file or a caller may ask for; larger sizes are error 6001.

class Iconic {
public:
    virtual ~Iconic() = default;
    // The class name GetObjClass reports: "image", "region", "xld_cont", ...
    virtual const char* className() const = 0;
};

using IconicPtr = std::shared_ptr<const Iconic>;

struct ObjectList {
    std::vector<IconicPtr> items;
};

// The objects of a set, in order; an uninitialized HObject has none.
const std::vector<IconicPtr>& objectsOf(const HalconCpp::HObject& object);

// A set holding exactly these objects.
HalconCpp::HObject objectOf(std::vector<IconicPtr> items);

// The single object of a set, for operators that take exactly one (error 1501
// otherwise), cast to the class they need (error 5279 otherwise).
template <class T>
const T& singleObject(const HalconCpp::HObject& object, const char* proc);

// The object as T, or error 5279 naming what was expected.
template <class T>
const T& objectAs(const IconicPtr& object, const char* proc);

// ---------------------------------------------------------------------------
// Raw memory for pixels: allocated without initialising, so that a decoder's
// writes are the first touch; a failed allocation is error 6001.

class Buffer {
public:
    static std::shared_ptr<Buffer> allocate(size_t bytes);
    ~Buffer();
    Buffer(const Buffer&) = delete;
    Buffer& operator=(const Buffer&) = delete;

    uint8_t* data() { return data_; }
    const uint8_t* data() const { return data_; }
    size_t size() const { return size_; }

private:
    Buffer(uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint8_t* data_;
    size_t size_;
};

// ---------------------------------------------------------------------------
// Regions: run-length encoded, runs sorted by row then column, never
// overlapping or touching within a row. A rectangle (a full domain, a region
// of GenRectangle1) is kept as its corners: its area, centre and clipping cost
// nothing, and its runs are made only when someone asks for them.

struct Run {
    int32_t row;
    int32_t columnBegin;
    int32_t columnEnd;  // inclusive
};

class Region final : public Iconic {
public:
    // Sorts and merges `runs` into the canonical form; error 6001 above the run limit.
    static std::shared_ptr<const Region> fromRuns(std::vector<Run> runs);
    // Runs already canonical (sorted, disjoint, not touching): taken as they are.
    static std::shared_ptr<const Region> fromCanonicalRuns(std::vector<Run> runs);
    // Rows row1..row2, columns column1..column2 (inclusive; empty when reversed),
    // each within the coordinate limit.
    static std::shared_ptr<const Region> rectangle(int64_t row1, int64_t column1, int64_t row2, int64_t column2);

    static constexpr const char* kClassName = "region";
    const char* className() const override { return kClassName; }
    // The runs; a rectangle makes them on first use, error 6001 when it has
    // more rows than the run limit.
    const std::vector<Run>& runs() const;
    int64_t area() const;
    // Mean row and column of the pixels; 0, 0 for an empty region.
    void center(double* row, double* column) const;
    std::shared_ptr<const Region> intersect(const Region& other) const;
    // The part inside the rectangle 0..height-1 x 0..width-1.
    std::shared_ptr<const Region> clipped(int64_t width, int64_t height) const;
    // True when the region is exactly the rectangle 0..height-1 x 0..width-1.
    bool isRectangle(int64_t width, int64_t height) const;
    // True for a region kept as a rectangle, which `box` then gives.
    bool isBox() const { return boxed_; }
    void box(int32_t* row1, int32_t* column1, int32_t* row2, int32_t* column2) const;

private:
    bool boxed_ = false;
    int32_t row1_ = 0, column1_ = 0, row2_ = -1, column2_ = -1;
    mutable std::once_flag made_;
    mutable std::vector<Run> runs_;
};

// ---------------------------------------------------------------------------
// Images: planar channels of one size and pixel type, plus a domain.

enum class PixelType : uint8_t { Byte, Int1, UInt2, Int2, Int4, Int8, Real };

const char* pixelTypeName(PixelType type);
// False for a name that is not a pixel type.
bool pixelTypeFromName(const std::string& name, PixelType* type);
// Bytes per pixel: 1, 1, 2, 2, 4, 8, 4 ("real" is a 32-bit float, as in HALCON).
size_t pixelSize(PixelType type);

using Plane = std::shared_ptr<const Buffer>;

class Image final : public Iconic {
public:
    // An image over these planes; error when sizes disagree. A null domain is
    // the full rectangle.
    static std::shared_ptr<const Image> make(PixelType type, int64_t width, int64_t height, std::vector<Plane> planes,
                                             std::shared_ptr<const Region> domain = nullptr);
    // Checks a size read from a file or given by a caller: both at least 1 and
    // at most 2^31 pixels; error 6001 otherwise.
    static void checkSize(int64_t width, int64_t height, const char* proc);
    // A fresh, uninitialised plane for an image of this size and type.
    static std::shared_ptr<Buffer> newPlane(PixelType type, int64_t width, int64_t height);

    static constexpr const char* kClassName = "image";
    const char* className() const override { return kClassName; }
    PixelType type() const { return type_; }
    int64_t width() const { return width_; }
    int64_t height() const { return height_; }
    size_t channelCount() const { return planes_.size(); }
    const Plane& plane(size_t channel) const { return planes_[channel]; }
    const std::vector<Plane>& planes() const { return planes_; }
    // Null when the domain is the full rectangle.
    const std::shared_ptr<const Region>& reducedDomain() const { return domain_; }
    // The domain as a region, the full rectangle included.
    std::shared_ptr<const Region> domain() const;

private:
    PixelType type_ = PixelType::Byte;
    int64_t width_ = 0;
    int64_t height_ = 0;
    std::vector<Plane> planes_;
    std::shared_ptr<const Region> domain_;
};

// ---------------------------------------------------------------------------
// XLD: contours and polygons of subpixel points; parallels of two polygon lines.

struct Polyline {
    std::vector<double> rows;
    std::vector<double> columns;

    size_t size() const { return rows.size(); }
    double length() const;
    // Length and angle (radians, as HALCON: atan2(-drow, dcolumn)) of each
    // segment; one value per segment, none for fewer than two points.
    void segments(std::vector<double>* lengths, std::vector<double>* angles) const;
};

class Contour final : public Iconic {
public:
    explicit Contour(Polyline points) : points(std::move(points)) {}
    static constexpr const char* kClassName = "xld_cont";
    const char* className() const override { return kClassName; }
    Polyline points;
};

class Polygon final : public Iconic {
public:
    explicit Polygon(Polyline points) : points(std::move(points)) {}
    static constexpr const char* kClassName = "xld_poly";
    const char* className() const override { return kClassName; }
    Polyline points;
};

class Parallel final : public Iconic {
public:
    Parallel(Polyline first, Polyline second) : first(std::move(first)), second(std::move(second)) {}
    static constexpr const char* kClassName = "xld_parallel";
    const char* className() const override { return kClassName; }
    Polyline first;
    Polyline second;
};

// Every object of a set as an image, in order (error 5279 for any other class).
std::vector<const Image*> imagesOf(const HalconCpp::HObject& object, const char* proc);

[[noreturn]] void raiseWrongClass(const Iconic& object, const char* expected, const char* proc);
[[noreturn]] void raiseNotSingle(size_t count, const char* proc);

template <class T>
const T& objectAs(const IconicPtr& object, const char* proc) {
    const T* typed = dynamic_cast<const T*>(object.get());
    if (!typed) raiseWrongClass(*object, T::kClassName, proc);
    return *typed;
}

template <class T>
const T& singleObject(const HalconCpp::HObject& object, const char* proc) {
    const auto& items = objectsOf(object);
    if (items.size() != 1) raiseNotSingle(items.size(), proc);
    return objectAs<T>(items.front(), proc);
}

}  // namespace ixv
