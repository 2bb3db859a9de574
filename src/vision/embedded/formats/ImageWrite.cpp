// What every image writer shares: the rows with the domain applied, the
// format options, the pixel-type error.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "base/Errors.h"
#include "Formats.h"

namespace ixv::formats {

namespace {

constexpr const char* kProc = "write_image";

// `value` rounded to T and clipped to its range; NaN gives 0. For a real
// pixel the range is that of a float: an infinity stays one, a finite value
// beyond the range (undefined to convert) is clipped.
template <class T>
T clipped(double value) {
    if (std::isnan(value)) return T(0);
    if constexpr (std::is_floating_point_v<T>) {
        const double most = static_cast<double>(std::numeric_limits<T>::max());
        if (std::isfinite(value)) value = std::clamp(value, -most, most);
        return static_cast<T>(value);
    } else {
        if (value <= static_cast<double>(std::numeric_limits<T>::lowest())) return std::numeric_limits<T>::lowest();
        if (value >= static_cast<double>(std::numeric_limits<T>::max())) return std::numeric_limits<T>::max();
        return static_cast<T>(std::llround(value));
    }
}

template <class T>
void store(uint8_t* out, T value) {
    std::memcpy(out, &value, sizeof value);
}

// The fill value as a pixel of `type`.
void encodeFill(PixelType type, double value, uint8_t* out) {
    switch (type) {
    case PixelType::Byte: store(out, clipped<uint8_t>(value)); break;
    case PixelType::Int1: store(out, clipped<int8_t>(value)); break;
    case PixelType::UInt2: store(out, clipped<uint16_t>(value)); break;
    case PixelType::Int2: store(out, clipped<int16_t>(value)); break;
    case PixelType::Int4: store(out, clipped<int32_t>(value)); break;
    case PixelType::Int8: store(out, clipped<int64_t>(value)); break;
    case PixelType::Real: store(out, clipped<float>(value)); break;
    }
}

// The alpha of an opaque pixel as a pixel of `type`.
void encodeAlpha(PixelType type, uint64_t value, uint8_t* out) {
    switch (type) {
    case PixelType::Byte:
    case PixelType::Int1: store(out, static_cast<uint8_t>(value)); break;
    case PixelType::UInt2:
    case PixelType::Int2: store(out, static_cast<uint16_t>(value)); break;
    case PixelType::Int4: store(out, static_cast<uint32_t>(value)); break;
    case PixelType::Int8: store(out, value); break;
    case PixelType::Real: store(out, static_cast<float>(value)); break;
    }
}

template <class T>
void interleave(const Image& image, int64_t y, const uint8_t* inside, const uint8_t* fill, bool alpha,
                const uint8_t* alphaValue, uint8_t* out) {
    const size_t channels = image.channelCount();
    const size_t samples = channels + (alpha ? 1 : 0);
    const size_t width = static_cast<size_t>(image.width());
    const size_t offset = static_cast<size_t>(y) * width;
    T* row = reinterpret_cast<T*>(out);
    for (size_t c = 0; c < channels; ++c) {
        const T* in = reinterpret_cast<const T*>(image.plane(c)->data()) + offset;
        T* o = row + c;
        for (size_t x = 0; x < width; ++x, o += samples) *o = in[x];
    }
    if (inside) {
        T fillValue, alphaOn;
        std::memcpy(&fillValue, fill, sizeof(T));
        std::memcpy(&alphaOn, alphaValue, sizeof(T));
        for (size_t x = 0; x < width; ++x) {
            T* pixel = row + x * samples;
            if (!inside[x])
                for (size_t c = 0; c < channels; ++c) pixel[c] = fillValue;
            if (alpha) pixel[channels] = inside[x] ? alphaOn : T(0);
        }
    } else if (alpha) {
        T alphaOn;
        std::memcpy(&alphaOn, alphaValue, sizeof(T));
        for (size_t x = 0; x < width; ++x) row[x * samples + channels] = alphaOn;
    }
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() && text[at] == ' ') ++at;
        size_t end = at;
        while (end < text.size() && text[end] != ' ') ++end;
        if (end > at) out.push_back(text.substr(at, end - at));
        at = end;
    }
    return out;
}

}  // namespace

bool domainReduced(const Image& image) {
    const auto& domain = image.reducedDomain();
    return domain && !domain->isRectangle(image.width(), image.height());
}

ImageRows::ImageRows(const Image& image, double fill, bool alpha, uint64_t alphaMax)
    : image_(image), size_(pixelSize(image.type())), samples_(image.channelCount() + (alpha ? 1 : 0)), alpha_(alpha) {
    encodeFill(image.type(), fill, fill_);
    encodeAlpha(image.type(), alphaMax, alphaValue_);
    if (domainReduced(image)) {
        domain_ = image.reducedDomain()->clipped(image.width(), image.height());
        domain_->runs();  // made now, so that row() never allocates
        inside_.resize(static_cast<size_t>(image.width()));
    }
    row_.resize(static_cast<size_t>(image.width()) * samples_ * size_);
}

const uint8_t* ImageRows::row(int64_t y) {
    const uint8_t* inside = nullptr;
    if (domain_) {
        std::fill(inside_.begin(), inside_.end(), uint8_t{0});
        const std::vector<Run>& runs = domain_->runs();
        auto run = std::lower_bound(runs.begin(), runs.end(), y,
                                    [](const Run& r, int64_t row) { return r.row < row; });
        for (; run != runs.end() && run->row == y; ++run)
            std::fill(inside_.begin() + run->columnBegin, inside_.begin() + run->columnEnd + 1, uint8_t{1});
        inside = inside_.data();
    }
    switch (size_) {
    case 1: interleave<uint8_t>(image_, y, inside, fill_, alpha_, alphaValue_, row_.data()); break;
    case 2: interleave<uint16_t>(image_, y, inside, fill_, alpha_, alphaValue_, row_.data()); break;
    case 4: interleave<uint32_t>(image_, y, inside, fill_, alpha_, alphaValue_, row_.data()); break;
    default: interleave<uint64_t>(image_, y, inside, fill_, alpha_, alphaValue_, row_.data()); break;
    }
    return row_.data();
}

std::vector<std::string> formatOptions(const std::string& format) {
    std::vector<std::string> all = words(format);
    if (!all.empty()) all.erase(all.begin());
    return all;
}

int integerOption(const std::string& format, int first, int last, int fallback, const char* what) {
    const std::vector<std::string> options = formatOptions(format);
    if (options.empty()) return fallback;
    int value = 0;
    const std::string& text = options.front();
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (options.size() > 1 || error != std::errc() || end != text.data() + text.size() || value < first ||
        value > last)
        raiseParValue(kProc, 2,
                      "'" + format + "': the " + what + " is one integer from " + std::to_string(first) + " to " +
                          std::to_string(last));
    return value;
}

void refuseOptions(const std::string& format) {
    if (!formatOptions(format).empty()) raiseParValue(kProc, 2, "'" + format + "': the format takes no options");
}

void raiseCannotWrite(const Image& image, const std::string& takes) {
    const size_t channels = image.channelCount();
    raise(kProc, err::WrongPixelType,
          takes + ", not " + std::to_string(channels) + (channels == 1 ? " channel of " : " channels of ") +
              pixelTypeName(image.type()));
}

}  // namespace ixv::formats
