#include "ImageExtraction.h"

#include "AdapterCore.h"
#include "StringBridge.h"

using namespace HalconCpp;

namespace {

bool selectable(const NativeNode* node, int32_t index) {
    return node && node->kind == IxNodeKind::Object && index >= 0 && index < node->objectCount;
}

// `bytes` bytes from the library's image memory, or nothing for a null pointer
// or a size that is not positive.
std::optional<NativeImage> copied(const void* pointer, Hlong width, Hlong height, Hlong rowBytes,
                                  IxPixelFormat format) {
    if (!pointer || width <= 0 || height <= 0 || rowBytes <= 0 || width > INT32_MAX || height > INT32_MAX ||
        rowBytes > INT32_MAX)
        return std::nullopt;
    NativeImage image;
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.rowBytes = static_cast<int32_t>(rowBytes);
    image.pixelFormat = static_cast<int32_t>(format);
    const uint8_t* bytes = static_cast<const uint8_t*>(pointer);
    image.pixels.assign(bytes, bytes + static_cast<size_t>(height) * static_cast<size_t>(rowBytes));
    return image;
}

// The interleaved image's bytes: its width is the row length in bytes.
std::optional<NativeImage> interleaved(const HImage& image, const char* format, IxPixelFormat pixelFormat,
                                       int bytesPerPixel) {
    const HImage packed = image.InterleaveChannels(format, "match", 255);
    HString type;
    Hlong width = 0, height = 0;
    void* pointer = packed.GetImagePointer1(&type, &width, &height);
    std::optional<NativeImage> result = copied(pointer, width, height, width, pixelFormat);
    if (result) result->width = static_cast<int32_t>(width / bytesPerPixel);
    return result;
}

std::optional<NativeImage> fromByteImage(const HImage& image) {
    const Hlong channels = image.CountChannels()[0].L();
    const Hlong width = image.Width()[0].L();
    const Hlong height = image.Height()[0].L();
    if (channels == 4) {
        HObject c1, c2, c3, c4;
        Decompose4(image, &c1, &c2, &c3, &c4);
        return interleaveRgba(c1, c2, c3, c4);
    }
    if (channels != 1 && channels != 3) return std::nullopt;
    HObject domain;
    GetDomain(image, &domain);
    HTuple area, row, column;
    AreaCenter(domain, &area, &row, &column);
    if (area.Length() > 0 && area[0].L() < width * height) {
        HObject mask;
        RegionToBin(domain, &mask, 255, 0, width, height);
        if (channels == 1) return interleaveRgba(image, image, image, mask);
        HObject c1, c2, c3;
        Decompose3(image, &c1, &c2, &c3);
        return interleaveRgba(c1, c2, c3, mask);
    }
    if (channels == 3) return interleaved(image, "bgr", IxPixelFormat::Bgr, 3);
    Hlong rectWidth = 0, rectHeight = 0, pitch = 0, bitPitch = 0, bitsPerPixel = 0;
    void* pointer = image.GetImagePointer1Rect(&rectWidth, &rectHeight, &pitch, &bitPitch, &bitsPerPixel);
    return copied(pointer, rectWidth, rectHeight, pitch, IxPixelFormat::Gray);
}

}  // namespace

std::optional<NativeImage> interleaveRgba(const HObject& first, const HObject& second, const HObject& third,
                                          const HObject& fourth) {
    HObject composed;
    Compose4(second, third, fourth, first, &composed);
    return interleaved(HImage(composed), "bgra", IxPixelFormat::Bgra, 4);
}

std::optional<NativeImage> AdapterCore::extractImage(const NativeNode* node, int32_t index, std::wstring& error) {
    if (!selectable(node, index)) return std::nullopt;
    return reported(error, std::optional<NativeImage>(), [&]() -> std::optional<NativeImage> {
        HImage image(node->object.SelectObj(static_cast<Hlong>(index) + 1));
        HString type;
        Hlong width = 0, height = 0;
        image.GetImagePointer1(&type, &width, &height);
        if (fromHString(type) != L"byte")
            image = image.ConvertImageType("real").ScaleImageMax().ConvertImageType("byte");
        try {
            return fromByteImage(image);
        } catch (const HException&) {
            return std::nullopt;  // channels the host cannot draw: no message
        }
    });
}

std::optional<int32_t> AdapterCore::imageChannelCount(const NativeNode* node, int32_t index, std::wstring& error) {
    if (!selectable(node, index) || !node->isImage) return std::nullopt;
    return reported(error, std::optional<int32_t>(), [&] {
        const HImage image(node->object.SelectObj(static_cast<Hlong>(index) + 1));
        return std::optional<int32_t>(static_cast<int32_t>(image.CountChannels()[0].L()));
    });
}
