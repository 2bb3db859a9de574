// Decoded rows into planes, and the alpha rule.
#include <cstring>

#include "base/Errors.h"
#include "Formats.h"

namespace ixv::formats {

namespace {

template <class T>
void spread(const T* in, const std::vector<std::shared_ptr<Buffer>>& planes, size_t offset, int64_t width) {
    const size_t samples = planes.size();
    if (samples == 1) {
        std::memcpy(planes[0]->data() + offset * sizeof(T), in, static_cast<size_t>(width) * sizeof(T));
        return;
    }
    const auto out = [&](size_t s) { return reinterpret_cast<T*>(planes[s]->data()) + offset; };
    // The common layouts in one pass over the row: twice as fast as a pass per plane.
    if (samples == 3) {
        T *a = out(0), *b = out(1), *c = out(2);
        for (int64_t x = 0; x < width; ++x, in += 3) {
            a[x] = in[0];
            b[x] = in[1];
            c[x] = in[2];
        }
        return;
    }
    if (samples == 4) {
        T *a = out(0), *b = out(1), *c = out(2), *d = out(3);
        for (int64_t x = 0; x < width; ++x, in += 4) {
            a[x] = in[0];
            b[x] = in[1];
            c[x] = in[2];
            d[x] = in[3];
        }
        return;
    }
    for (size_t s = 0; s < samples; ++s) {
        T* plane = out(s);
        const T* p = in + s;
        for (int64_t x = 0; x < width; ++x, p += samples) plane[x] = *p;
    }
}

// The runs of the pixels of an alpha plane at `max`: counted when `runs` is
// null, else stored. -1 when the plane holds another value than 0 and `max`.
template <class T>
int64_t binaryAlphaRuns(const T* alpha, int64_t width, int64_t height, T max, std::vector<Run>* runs) {
    int64_t count = 0;
    for (int64_t y = 0; y < height; ++y) {
        const T* row = alpha + y * width;
        int64_t x = 0;
        while (x < width) {
            if (row[x] != max) {
                if (row[x] != 0) return -1;
                ++x;
                continue;
            }
            const int64_t begin = x;
            while (x < width && row[x] == max) ++x;
            ++count;
            if (runs) runs->push_back({static_cast<int32_t>(y), static_cast<int32_t>(begin), static_cast<int32_t>(x - 1)});
        }
    }
    return count;
}

// The domain an alpha plane stands for, or null when the alpha is not binary.
// The runs are counted first and taken from the budget before they are stored.
template <class T>
std::shared_ptr<const Region> alphaDomain(const T* alpha, int64_t width, int64_t height, T max, Budget& budget,
                                          const char* proc) {
    const int64_t count = binaryAlphaRuns<T>(alpha, width, height, max, nullptr);
    if (count < 0) return nullptr;
    const auto what = [&] { return "domain of " + std::to_string(count) + " runs from the alpha channel"; };
    if (static_cast<uint64_t>(count) > Limits::runsOrPoints)
        checkLimit(static_cast<uint64_t>(count), Limits::runsOrPoints, proc, what(), "runs");
    budget.take(saturatingMul(static_cast<uint64_t>(count), sizeof(Run)), what);
    std::vector<Run> runs;
    runs.reserve(static_cast<size_t>(count));
    binaryAlphaRuns<T>(alpha, width, height, max, &runs);
    return Region::fromCanonicalRuns(std::move(runs));
}

}  // namespace

ImageAssembler::ImageAssembler(PixelType type, int64_t width, int64_t height, int samples, bool hasAlpha,
                               uint64_t alphaMax, Budget& budget, const char* proc)
    : type_(type), width_(width), height_(height), hasAlpha_(hasAlpha), alphaMax_(alphaMax), budget_(budget),
      proc_(proc) {
    if (samples < 1) raise(proc, err::FileFormat, std::to_string(samples) + " samples per pixel");
    takeImage(budget, type, width, height, static_cast<uint64_t>(samples), proc);
    for (int s = 0; s < samples; ++s) planes_.push_back(Image::newPlane(type, width, height));
}

void takeImage(Budget& budget, PixelType type, int64_t width, int64_t height, uint64_t channels, const char* proc) {
    Image::checkSize(width, height, proc);
    const auto what = [&] {
        return "image of " + std::to_string(width) + " x " + std::to_string(height) + " pixels x " +
               std::to_string(channels) + (channels == 1 ? " channel of " : " channels of ") + pixelTypeName(type);
    };
    if (channels > Limits::channels) checkLimit(channels, Limits::channels, proc, what(), "channels");
    const uint64_t bytes = imageBytes(static_cast<uint64_t>(width), static_cast<uint64_t>(height), pixelSize(type), channels);
    budget.take(bytes, what);
    if (budget.measuring()) throw ImageMeasured{bytes};
}

void raiseInvalid(const char* format, const std::string& problem, const char* proc) {
    raiseMessage(proc, err::FileFormat, std::string("Invalid ") + format + " file: " + problem);
}

void ImageAssembler::putRow(int64_t row, const void* interleaved) {
    const size_t offset = static_cast<size_t>(row) * static_cast<size_t>(width_);
    switch (pixelSize(type_)) {
    case 1: spread(static_cast<const uint8_t*>(interleaved), planes_, offset, width_); break;
    case 2: spread(static_cast<const uint16_t*>(interleaved), planes_, offset, width_); break;
    case 4: spread(static_cast<const uint32_t*>(interleaved), planes_, offset, width_); break;
    default: spread(static_cast<const uint64_t*>(interleaved), planes_, offset, width_); break;
    }
}

std::shared_ptr<const Image> ImageAssembler::finish() {
    std::vector<Plane> planes(planes_.begin(), planes_.end());
    std::shared_ptr<const Region> domain;
    if (hasAlpha_ && planes.size() > 1) {
        const uint8_t* alpha = planes.back()->data();
        if (type_ == PixelType::Byte)
            domain = alphaDomain(alpha, width_, height_, static_cast<uint8_t>(alphaMax_), budget_, proc_);
        else if (type_ == PixelType::UInt2)
            domain = alphaDomain(reinterpret_cast<const uint16_t*>(alpha), width_, height_,
                                 static_cast<uint16_t>(alphaMax_), budget_, proc_);
        if (domain) planes.pop_back();
    }
    return Image::make(type_, width_, height_, std::move(planes), std::move(domain));
}

}  // namespace ixv::formats
