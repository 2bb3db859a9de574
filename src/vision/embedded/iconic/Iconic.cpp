#include "iconic/Iconic.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

#include "base/Errors.h"

namespace ixv {

void raiseWrongClass(const Iconic& object, const char* expected, const char* proc) {
    raise(proc, err::WrongObjectClass, std::string("expected ") + expected + ", got " + object.className());
}

void raiseNotSingle(size_t count, const char* proc) {
    raiseObjectCount(proc, 1, "expected one object, got " + std::to_string(count));
}

// --- Buffer --------------------------------------------------------------------

namespace {

// Buffers from this size on are placed on whole huge pages and offered to the
// kernel's transparent huge pages: on the virtual machines we measured, the first
// touch of fresh memory costs about 6 ms per MB in 4 KiB pages and under 1 ms per
// MB in 2 MiB pages, and a large image is written once, right after allocation.
constexpr size_t kHugePage = size_t(2) << 20;
constexpr size_t kHugeFrom = 2 * kHugePage;

uint8_t* allocateBytes(size_t bytes) {
    if (bytes < kHugeFrom) return static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
    if (bytes > SIZE_MAX - kHugePage) return nullptr;
    const size_t rounded = (bytes + kHugePage - 1) / kHugePage * kHugePage;
    void* data = std::aligned_alloc(kHugePage, rounded);
    if (data) ::madvise(data, rounded, MADV_HUGEPAGE);  // advice only: its failure changes nothing
    return static_cast<uint8_t*>(data);
}

}  // namespace

std::shared_ptr<Buffer> Buffer::allocate(size_t bytes) {
    uint8_t* data = allocateBytes(bytes);
    if (!data) raise("allocate", err::OutOfMemory, std::to_string(bytes) + " bytes");
    try {
        return std::shared_ptr<Buffer>(new Buffer(data, bytes));
    } catch (...) {
        std::free(data);
        throw;
    }
}

Buffer::~Buffer() {
    std::free(data_);
}

// --- Region --------------------------------------------------------------------

std::shared_ptr<const Region> Region::fromRuns(std::vector<Run> runs) {
    checkLimit(runs.size(), Limits::runsOrPoints, "gen_region_runs", std::to_string(runs.size()) + " runs");
    const auto before = [](const Run& a, const Run& b) {
        return a.row != b.row ? a.row < b.row : a.columnBegin < b.columnBegin;
    };
    if (!std::is_sorted(runs.begin(), runs.end(), before)) std::sort(runs.begin(), runs.end(), before);
    size_t kept = 0;
    for (size_t i = 0; i < runs.size(); ++i) {
        const Run& run = runs[i];
        if (kept > 0) {
            Run& last = runs[kept - 1];
            // Overlapping or touching runs of one row become one.
            if (last.row == run.row && static_cast<int64_t>(run.columnBegin) <= int64_t{last.columnEnd} + 1) {
                last.columnEnd = std::max(last.columnEnd, run.columnEnd);
                continue;
            }
        }
        runs[kept++] = run;
    }
    runs.resize(kept);
    return fromCanonicalRuns(std::move(runs));
}

std::shared_ptr<const Region> Region::fromCanonicalRuns(std::vector<Run> runs) {
    auto region = std::make_shared<Region>();
    region->runs_ = std::move(runs);
    return region;
}

std::shared_ptr<const Region> Region::rectangle(int64_t row1, int64_t column1, int64_t row2, int64_t column2) {
    if (row1 > row2 || column1 > column2) return fromCanonicalRuns({});
    for (int64_t v : {row1, column1, row2, column2})
        if (v < -Limits::coordinate || v > Limits::coordinate)
            raise("gen_rectangle1", err::WrongParValue,
                  "coordinate " + std::to_string(v) + " exceeds the limit of " + std::to_string(Limits::coordinate));
    auto region = std::make_shared<Region>();
    region->boxed_ = true;
    region->row1_ = static_cast<int32_t>(row1);
    region->column1_ = static_cast<int32_t>(column1);
    region->row2_ = static_cast<int32_t>(row2);
    region->column2_ = static_cast<int32_t>(column2);
    return region;
}

const std::vector<Run>& Region::runs() const {
    if (boxed_) {
        std::call_once(made_, [this] {
            const uint64_t rows = static_cast<uint64_t>(int64_t{row2_} - row1_) + 1;
            if (rows > Limits::runsOrPoints)
                raise("get_region_runs", err::OutOfMemory,
                      std::to_string(rows) + " runs exceeds the limit of " + std::to_string(Limits::runsOrPoints));
            std::vector<Run> runs;
            runs.reserve(static_cast<size_t>(rows));
            for (int64_t r = row1_; r <= row2_; ++r) runs.push_back({static_cast<int32_t>(r), column1_, column2_});
            runs_ = std::move(runs);
        });
    }
    return runs_;
}

void Region::box(int32_t* row1, int32_t* column1, int32_t* row2, int32_t* column2) const {
    *row1 = row1_;
    *column1 = column1_;
    *row2 = row2_;
    *column2 = column2_;
}

int64_t Region::area() const {
    if (boxed_) return (int64_t{row2_} - row1_ + 1) * (int64_t{column2_} - column1_ + 1);
    int64_t area = 0;
    for (const Run& run : runs_) area += int64_t{run.columnEnd} - run.columnBegin + 1;
    return area;
}

void Region::center(double* row, double* column) const {
    if (boxed_) {
        *row = (double(row1_) + row2_) / 2;
        *column = (double(column1_) + column2_) / 2;
        return;
    }
    double sumRows = 0, sumColumns = 0, area = 0;
    for (const Run& run : runs_) {
        const double length = double(run.columnEnd) - run.columnBegin + 1;
        area += length;
        sumRows += length * run.row;
        sumColumns += length * (double(run.columnBegin) + run.columnEnd) / 2;
    }
    *row = area > 0 ? sumRows / area : 0.0;
    *column = area > 0 ? sumColumns / area : 0.0;
}

namespace {

// The runs of `runs` inside rows row1..row2 and columns column1..column2.
std::vector<Run> runsWithin(const std::vector<Run>& runs, int64_t row1, int64_t column1, int64_t row2,
                            int64_t column2) {
    std::vector<Run> result;
    for (const Run& run : runs) {
        if (run.row < row1 || run.row > row2 || run.columnEnd < column1 || run.columnBegin > column2) continue;
        result.push_back({run.row, static_cast<int32_t>(std::max<int64_t>(run.columnBegin, column1)),
                          static_cast<int32_t>(std::min<int64_t>(run.columnEnd, column2))});
    }
    return result;
}

}  // namespace

std::shared_ptr<const Region> Region::intersect(const Region& other) const {
    if (boxed_ && other.boxed_)
        return rectangle(std::max(row1_, other.row1_), std::max(column1_, other.column1_),
                         std::min(row2_, other.row2_), std::min(column2_, other.column2_));
    if (boxed_) return fromCanonicalRuns(runsWithin(other.runs_, row1_, column1_, row2_, column2_));
    if (other.boxed_) return other.intersect(*this);
    std::vector<Run> result;
    const std::vector<Run>& a = runs_;
    const std::vector<Run>& b = other.runs_;
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].row != b[j].row) {
            (a[i].row < b[j].row ? i : j)++;
            continue;
        }
        const int32_t begin = std::max(a[i].columnBegin, b[j].columnBegin);
        const int32_t end = std::min(a[i].columnEnd, b[j].columnEnd);
        if (begin <= end) result.push_back({a[i].row, begin, end});
        (a[i].columnEnd < b[j].columnEnd ? i : j)++;
    }
    return fromCanonicalRuns(std::move(result));
}

std::shared_ptr<const Region> Region::clipped(int64_t width, int64_t height) const {
    if (boxed_)
        return rectangle(std::max<int64_t>(row1_, 0), std::max<int64_t>(column1_, 0),
                         std::min<int64_t>(row2_, height - 1), std::min<int64_t>(column2_, width - 1));
    return fromCanonicalRuns(runsWithin(runs_, 0, 0, height - 1, width - 1));
}

bool Region::isRectangle(int64_t width, int64_t height) const {
    if (boxed_) return row1_ == 0 && column1_ == 0 && row2_ == height - 1 && column2_ == width - 1;
    if (static_cast<int64_t>(runs_.size()) != height) return false;
    for (size_t r = 0; r < runs_.size(); ++r) {
        const Run& run = runs_[r];
        if (run.row != static_cast<int64_t>(r) || run.columnBegin != 0 || run.columnEnd != width - 1) return false;
    }
    return true;
}

// --- Images --------------------------------------------------------------------

const char* pixelTypeName(PixelType type) {
    switch (type) {
    case PixelType::Byte: return "byte";
    case PixelType::Int1: return "int1";
    case PixelType::UInt2: return "uint2";
    case PixelType::Int2: return "int2";
    case PixelType::Int4: return "int4";
    case PixelType::Int8: return "int8";
    case PixelType::Real: return "real";
    }
    return "byte";
}

bool pixelTypeFromName(const std::string& name, PixelType* type) {
    static const PixelType all[] = {PixelType::Byte, PixelType::Int1, PixelType::UInt2, PixelType::Int2,
                                    PixelType::Int4, PixelType::Int8, PixelType::Real};
    for (PixelType t : all) {
        if (name == pixelTypeName(t)) {
            *type = t;
            return true;
        }
    }
    return false;
}

size_t pixelSize(PixelType type) {
    switch (type) {
    case PixelType::Byte:
    case PixelType::Int1: return 1;
    case PixelType::UInt2:
    case PixelType::Int2: return 2;
    case PixelType::Int4:
    case PixelType::Real: return 4;
    case PixelType::Int8: return 8;
    }
    return 1;
}

void Image::checkSize(int64_t width, int64_t height, const char* proc) {
    if (width < 1 || height < 1)
        raise(proc, err::WrongParValue + 1, "image size " + std::to_string(width) + "x" + std::to_string(height));
    const uint64_t w = static_cast<uint64_t>(width), h = static_cast<uint64_t>(height);
    if (w <= static_cast<uint64_t>(Limits::coordinate) && h <= Limits::imageRows &&
        saturatingMul(w, h) <= Limits::pixelsPerChannel)
        return;
    const std::string what = "image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
    checkLimit(static_cast<uint64_t>(width), static_cast<uint64_t>(Limits::coordinate), proc, what, "columns");
    checkLimit(static_cast<uint64_t>(height), Limits::imageRows, proc, what, "rows");
    checkLimit(saturatingMul(static_cast<uint64_t>(width), static_cast<uint64_t>(height)), Limits::pixelsPerChannel,
               proc, what, "pixels per channel");
}

std::shared_ptr<Buffer> Image::newPlane(PixelType type, int64_t width, int64_t height) {
    checkSize(width, height, "gen_image");
    return Buffer::allocate(static_cast<size_t>(width) * static_cast<size_t>(height) * pixelSize(type));
}

std::shared_ptr<const Image> Image::make(PixelType type, int64_t width, int64_t height, std::vector<Plane> planes,
                                         std::shared_ptr<const Region> domain) {
    checkSize(width, height, "gen_image");
    if (planes.empty()) raise("gen_image", err::WrongObjectCount, "an image needs at least one channel");
    const size_t bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * pixelSize(type);
    for (const Plane& plane : planes)
        if (!plane || plane->size() != bytes) raise("gen_image", err::WrongParValue, "channel size does not match");
    auto image = std::make_shared<Image>();
    image->type_ = type;
    image->width_ = width;
    image->height_ = height;
    image->planes_ = std::move(planes);
    if (domain && !domain->isRectangle(width, height)) image->domain_ = std::move(domain);
    return image;
}

std::shared_ptr<const Region> Image::domain() const {
    return domain_ ? domain_ : Region::rectangle(0, 0, height_ - 1, width_ - 1);
}

// --- XLD -------------------------------------------------------------------------

double Polyline::length() const {
    double total = 0;
    for (size_t i = 1; i < rows.size(); ++i) total += std::hypot(rows[i] - rows[i - 1], columns[i] - columns[i - 1]);
    return total;
}

void Polyline::segments(std::vector<double>* lengths, std::vector<double>* angles) const {
    lengths->clear();
    angles->clear();
    for (size_t i = 1; i < rows.size(); ++i) {
        const double dr = rows[i] - rows[i - 1];
        const double dc = columns[i] - columns[i - 1];
        lengths->push_back(std::hypot(dr, dc));
        angles->push_back(std::atan2(-dr, dc));
    }
}

}  // namespace ixv
