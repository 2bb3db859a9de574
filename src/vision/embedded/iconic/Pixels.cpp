// Pixel operators: type conversion, maximum scaling, channel splitting and
// joining, interleaving into host byte layouts, and binary images of regions.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "Operators.h"
#include "base/Errors.h"
#include "base/Params.h"
#include "iconic/Iconic.h"

using HalconCpp::HImage;
using HalconCpp::HObject;
using HalconCpp::HString;
using HalconCpp::HTuple;

namespace {

using ixv::Image;
using ixv::IconicPtr;
using ixv::Plane;
using ixv::PixelType;
using ixv::Region;
using ixv::imagesOf;

template <class T>
T load(const uint8_t* data, size_t i) {
    T value;
    std::memcpy(&value, data + i * sizeof(T), sizeof(T));
    return value;
}

template <class T>
void store(uint8_t* data, size_t i, T value) {
    std::memcpy(data + i * sizeof(T), &value, sizeof(T));
}

// A grey value as read: integers exactly, reals as they are.
struct Value {
    bool real;
    int64_t integer;
    double number;
};

Value valueAt(PixelType type, const uint8_t* data, size_t i) {
    switch (type) {
        case PixelType::Byte: return {false, data[i], 0};
        case PixelType::Int1: return {false, load<int8_t>(data, i), 0};
        case PixelType::UInt2: return {false, load<uint16_t>(data, i), 0};
        case PixelType::Int2: return {false, load<int16_t>(data, i), 0};
        case PixelType::Int4: return {false, load<int32_t>(data, i), 0};
        case PixelType::Int8: return {false, load<int64_t>(data, i), 0};
        case PixelType::Real: return {true, 0, load<float>(data, i)};
    }
    return {false, 0, 0};
}

double numberOf(const Value& v) { return v.real ? v.number : double(v.integer); }

// The value clipped to [low, high]; a real is rounded to the nearest integer, NaN is 0.
int64_t clipped(const Value& v, int64_t low, int64_t high) {
    if (!v.real) return std::min(std::max(v.integer, low), high);
    const double d = v.number;
    if (std::isnan(d)) return 0;
    if (d <= double(low)) return low;
    // double(high) may round up past high (int8): compare before converting.
    if (d >= double(high)) return high;
    return std::llround(d);
}

template <class T>
void storeClipped(uint8_t* data, size_t i, const Value& v) {
    store<T>(data, i, static_cast<T>(clipped(v, std::numeric_limits<T>::min(), std::numeric_limits<T>::max())));
}

void storeValue(PixelType type, uint8_t* data, size_t i, const Value& v) {
    switch (type) {
        case PixelType::Byte: storeClipped<uint8_t>(data, i, v); break;
        case PixelType::Int1: storeClipped<int8_t>(data, i, v); break;
        case PixelType::UInt2: storeClipped<uint16_t>(data, i, v); break;
        case PixelType::Int2: storeClipped<int16_t>(data, i, v); break;
        case PixelType::Int4: storeClipped<int32_t>(data, i, v); break;
        case PixelType::Int8: storeClipped<int64_t>(data, i, v); break;
        case PixelType::Real: store<float>(data, i, static_cast<float>(numberOf(v))); break;
    }
}

size_t pixelCount(const Image& image) { return size_t(image.width()) * size_t(image.height()); }

// Calls f(index) for every pixel of the image's domain, row by row.
template <class F>
void forDomain(const Image& image, F&& f) {
    const auto& domain = image.reducedDomain();
    if (!domain) {
        for (size_t i = 0, n = pixelCount(image); i < n; ++i) f(i);
        return;
    }
    for (const ixv::Run& run : domain->runs())
        for (int64_t c = run.columnBegin; c <= run.columnEnd; ++c) f(size_t(run.row) * size_t(image.width()) + size_t(c));
}

std::shared_ptr<const Image> converted(const Image& image, PixelType type) {
    std::vector<Plane> planes;
    const size_t n = pixelCount(image);
    for (const Plane& source : image.planes()) {
        auto plane = Image::newPlane(type, image.width(), image.height());
        for (size_t i = 0; i < n; ++i) storeValue(type, plane->data(), i, valueAt(image.type(), source->data(), i));
        planes.push_back(std::move(plane));
    }
    return Image::make(type, image.width(), image.height(), std::move(planes), image.reducedDomain());
}

std::shared_ptr<const Image> scaledToBytes(const Image& image) {
    std::vector<Plane> planes;
    const size_t n = pixelCount(image);
    for (const Plane& source : image.planes()) {
        double low = std::numeric_limits<double>::infinity(), high = -low;
        forDomain(image, [&](size_t i) {
            const double v = numberOf(valueAt(image.type(), source->data(), i));
            if (std::isnan(v)) return;
            low = std::min(low, v);
            high = std::max(high, v);
        });
        const double factor = high > low ? 255.0 / (high - low) : 0.0;
        auto plane = Image::newPlane(PixelType::Byte, image.width(), image.height());
        for (size_t i = 0; i < n; ++i) {
            const double v = numberOf(valueAt(image.type(), source->data(), i));
            storeValue(PixelType::Byte, plane->data(), i, Value{true, 0, factor > 0 ? (v - low) * factor : 0.0});
        }
        planes.push_back(std::move(plane));
    }
    return Image::make(PixelType::Byte, image.width(), image.height(), std::move(planes), image.reducedDomain());
}

// Which input channel (0-based) gives a byte of a pixel; kAlpha for the alpha value.
constexpr int kAlpha = -1;

// Channels of an input image by the colour it stands for. A 3-channel image is
// red, green, blue. A 4-channel image is read as green, blue, alpha, red: the
// channels of a colour image with a mask, composed starting from its second
// channel, come out as blue, green, red, mask in "bgra".
int channelFor(char letter, size_t channels) {
    if (channels == 1) return letter == 'a' ? kAlpha : 0;
    if (channels == 3) return letter == 'r' ? 0 : letter == 'g' ? 1 : letter == 'b' ? 2 : kAlpha;
    return letter == 'g' ? 0 : letter == 'b' ? 1 : letter == 'a' ? 2 : 3;
}

std::shared_ptr<const Image> interleaved(const Image& image, const std::string& format, int64_t rowBytes,
                                         Hlong alpha, const char* proc) {
    if (image.type() != PixelType::Byte) ixv::raise(proc, ixv::err::WrongPixelType);
    const size_t channels = image.channelCount();
    if (channels != 1 && channels != 3 && channels != 4)
        ixv::raiseParValue(proc, 1, "1, 3 or 4 channels are needed, the image has " + std::to_string(channels));
    const size_t bytes = format.size();
    const int64_t minimum = image.width() * int64_t(bytes);
    if (rowBytes < 0) rowBytes = minimum;
    if (rowBytes < minimum) ixv::raiseParValue(proc, 2, "row length shorter than the image's pixels");
    Image::checkSize(rowBytes, image.height(), proc);
    int order[4];
    for (size_t k = 0; k < bytes; ++k) order[k] = channelFor(format[k], channels);
    const uint8_t alphaValue = uint8_t(std::min<Hlong>(std::max<Hlong>(alpha, 0), 255));
    // Without a channel of its own for alpha, what lies outside the domain is
    // transparent: alpha is 0 there, then the given value inside.
    const auto& domain = image.reducedDomain();
    const uint8_t alphaFill = domain ? 0 : alphaValue;

    auto plane = Image::newPlane(PixelType::Byte, rowBytes, image.height());
    const size_t width = size_t(image.width());
    for (int64_t r = 0; r < image.height(); ++r) {
        uint8_t* row = plane->data() + size_t(r) * size_t(rowBytes);
        std::memset(row + minimum, 0, size_t(rowBytes - minimum));  // padding
        for (size_t k = 0; k < bytes; ++k) {
            if (order[k] == kAlpha) {
                for (size_t c = 0; c < width; ++c) row[c * bytes + k] = alphaFill;
                continue;
            }
            const uint8_t* source = image.plane(size_t(order[k]))->data() + size_t(r) * width;
            for (size_t c = 0; c < width; ++c) row[c * bytes + k] = source[c];
        }
    }
    const size_t alphaByte = format.find('a');
    if (domain && channels != 4 && alphaByte != std::string::npos)
        forDomain(image, [&](size_t i) {
            plane->data()[(i / width) * size_t(rowBytes) + (i % width) * bytes + alphaByte] = alphaValue;
        });
    return Image::make(PixelType::Byte, rowBytes, image.height(), {plane});
}

bool knownFormat(const std::string& format) {
    for (const char* name : {"rgb", "bgr", "rgba", "bgra", "argb", "abgr"})
        if (format == name) return true;
    return false;
}

// "match" (no padding) as -1, or the row length in bytes.
int64_t rowBytesFrom(const std::string& text, const char* proc) {
    if (text == "match") return -1;
    int64_t value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || value < 1)
        ixv::raiseParValue(proc, 2, "row length must be 'match' or a positive integer");
    return value;
}

HImage interleaveAll(const HObject& images, const std::string& format, int64_t rowBytes, Hlong alpha) {
    const char* proc = "interleave_channels";
    if (!knownFormat(format)) ixv::raiseParValue(proc, 1, "unknown pixel format '" + format + "'");
    std::vector<IconicPtr> results;
    for (const Image* image : imagesOf(images, proc)) results.push_back(interleaved(*image, format, rowBytes, alpha, proc));
    return HImage(ixv::objectOf(std::move(results)));
}

HImage convertAll(const HObject& images, const std::string& name) {
    const char* proc = "convert_image_type";
    PixelType type;
    if (!ixv::pixelTypeFromName(name, &type)) ixv::raiseParValue(proc, 1, "unknown pixel type '" + name + "'");
    std::vector<IconicPtr> results;
    for (const Image* image : imagesOf(images, proc)) results.push_back(converted(*image, type));
    return HImage(ixv::objectOf(std::move(results)));
}

void decompose(const HObject& input, HObject* const* outputs, size_t count, const char* proc) {
    std::vector<std::vector<IconicPtr>> channels(count);
    for (const Image* image : imagesOf(input, proc)) {
        if (image->channelCount() != count)
            ixv::raiseObjectCount(proc, 1, "an image of " + std::to_string(count) + " channels is needed, not " +
                                               std::to_string(image->channelCount()));
        for (size_t k = 0; k < count; ++k)
            channels[k].push_back(Image::make(image->type(), image->width(), image->height(), {image->plane(k)},
                                              image->reducedDomain()));
    }
    for (size_t k = 0; k < count; ++k)
        if (outputs[k]) *outputs[k] = ixv::objectOf(std::move(channels[k]));
}

uint8_t grayArg(const HTuple& tuple, const char* proc, int position) {
    const int64_t value = ixv::singleInteger(tuple, proc, position);
    if (value < 0 || value > 255) ixv::raiseParValue(proc, position, "grey value outside 0..255");
    return uint8_t(value);
}

}  // namespace

namespace HalconCpp {

HImage HImage::ConvertImageType(const char* NewType) const { return convertAll(*this, NewType ? NewType : ""); }

HImage HImage::ConvertImageType(const HString& NewType) const { return convertAll(*this, NewType.TextA()); }

HImage HImage::ScaleImageMax() const {
    std::vector<IconicPtr> results;
    for (const Image* image : imagesOf(*this, "scale_image_max")) results.push_back(scaledToBytes(*image));
    return HImage(ixv::objectOf(std::move(results)));
}

HImage HImage::InterleaveChannels(const char* PixelFormat, const char* RowBytes, Hlong Alpha) const {
    const char* proc = "interleave_channels";
    return interleaveAll(*this, PixelFormat ? PixelFormat : "", rowBytesFrom(RowBytes ? RowBytes : "", proc), Alpha);
}

HImage HImage::InterleaveChannels(const HString& PixelFormat, const HTuple& RowBytes, Hlong Alpha) const {
    const char* proc = "interleave_channels";
    int64_t rowBytes;
    if (RowBytes.Length() == 1 && ixv::singleString(RowBytes.TupleSemType(), proc, 2) == "string")
        rowBytes = rowBytesFrom(ixv::singleString(RowBytes, proc, 2), proc);
    else if ((rowBytes = ixv::singleInteger(RowBytes, proc, 2)) < 1)
        ixv::raiseParValue(proc, 2, "row length must be 'match' or a positive integer");
    return interleaveAll(*this, PixelFormat.TextA(), rowBytes, Alpha);
}

void Decompose3(const HObject& MultiChannelImage, HObject* Image1, HObject* Image2, HObject* Image3) {
    HObject* outputs[] = {Image1, Image2, Image3};
    decompose(MultiChannelImage, outputs, 3, "decompose3");
}

void Decompose4(const HObject& MultiChannelImage, HObject* Image1, HObject* Image2, HObject* Image3,
                HObject* Image4) {
    HObject* outputs[] = {Image1, Image2, Image3, Image4};
    decompose(MultiChannelImage, outputs, 4, "decompose4");
}

void Compose4(const HObject& Image1, const HObject& Image2, const HObject& Image3, const HObject& Image4,
              HObject* MultiChannelImage) {
    const char* proc = "compose4";
    const std::vector<const Image*> inputs[] = {imagesOf(Image1, proc), imagesOf(Image2, proc),
                                                imagesOf(Image3, proc), imagesOf(Image4, proc)};
    for (int k = 1; k < 4; ++k)
        if (inputs[k].size() != inputs[0].size()) ixv::raiseObjectCount(proc, k + 1, "as many images as the first");
    std::vector<IconicPtr> composed;
    for (size_t i = 0; i < inputs[0].size(); ++i) {
        const Image& first = *inputs[0][i];
        std::vector<Plane> planes;
        for (int k = 0; k < 4; ++k) {
            const Image& image = *inputs[k][i];
            if (image.channelCount() != 1) ixv::raiseObjectCount(proc, k + 1, "one-channel images are needed");
            if (image.width() != first.width() || image.height() != first.height() || image.type() != first.type())
                ixv::raiseParValue(proc, 1, "the images differ in size or pixel type");
            planes.push_back(image.plane(0));
        }
        // The composed image keeps the domain of its first channel.
        composed.push_back(Image::make(first.type(), first.width(), first.height(), std::move(planes),
                                       first.reducedDomain()));
    }
    if (MultiChannelImage) *MultiChannelImage = ixv::objectOf(std::move(composed));
}

void RegionToBin(const HObject& Region, HObject* BinImage, const HTuple& ForegroundGray,
                 const HTuple& BackgroundGray, const HTuple& Width, const HTuple& Height) {
    const char* proc = "region_to_bin";
    const uint8_t foreground = grayArg(ForegroundGray, proc, 1);
    const uint8_t background = grayArg(BackgroundGray, proc, 2);
    const int64_t width = ixv::singleInteger(Width, proc, 3);
    const int64_t height = ixv::singleInteger(Height, proc, 4);
    Image::checkSize(width, height, proc);
    std::vector<IconicPtr> results;
    for (const IconicPtr& item : ixv::objectsOf(Region)) {
        const ixv::Region& region = ixv::objectAs<ixv::Region>(item, proc);
        auto plane = Image::newPlane(PixelType::Byte, width, height);
        std::memset(plane->data(), background, plane->size());
        const auto inside = region.clipped(width, height);
        for (const ixv::Run& run : inside->runs())
            std::memset(plane->data() + size_t(run.row) * size_t(width) + size_t(run.columnBegin), foreground,
                        size_t(run.columnEnd - run.columnBegin + 1));
        results.push_back(Image::make(PixelType::Byte, width, height, {plane}));
    }
    if (BinImage) *BinImage = ixv::objectOf(std::move(results));
}

}  // namespace HalconCpp
