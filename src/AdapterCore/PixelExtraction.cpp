// The values of an image in its own pixel type. GetImagePointer1 gives each
// one-channel image's plane as the library holds it; the planes of a 3- or
// 4-channel image come from Decompose3/Decompose4, which share them. Nothing
// is copied here: the host's buffer is filled once, from these planes.
#include "PixelExtraction.h"

#include <cstring>

#include "AdapterCore.h"
#include "NumberText.h"
#include "StringBridge.h"

using namespace HalconCpp;

namespace {

struct PixelTypeEntry {
    const char* name;
    IxPixelType type;
    int32_t bytesPerValue;
};

// The pixel types of the vision library; those of the embedded one are the first seven.
const PixelTypeEntry kPixelTypes[] = {
    {"byte", IxPixelType::Byte, 1},        {"int1", IxPixelType::Int1, 1},
    {"uint2", IxPixelType::Uint2, 2},      {"int2", IxPixelType::Int2, 2},
    {"int4", IxPixelType::Int4, 4},        {"int8", IxPixelType::Int8, 8},
    {"real", IxPixelType::Real, 4},        {"complex", IxPixelType::Complex, 8},
    {"direction", IxPixelType::Direction, 1}, {"cyclic", IxPixelType::Cyclic, 1},
    {"vector_field", IxPixelType::VectorField, 8},
};

bool selectable(const NativeNode* node, int32_t index) {
    return node && node->kind == IxNodeKind::Object && node->isImage && index >= 0 && index < node->objectCount;
}

// The image at `index`; raises when that object is no image.
HImage imageAt(const NativeNode* node, int32_t index) {
    return HImage(node->object.SelectObj(static_cast<Hlong>(index) + 1));
}

NativeImageInfo describe(const HImage& image) {
    NativeImageInfo info;
    HString type;
    Hlong width = 0, height = 0;
    image.GetImagePointer1(&type, &width, &height);
    const std::string name = type.TextA();
    for (const PixelTypeEntry& entry : kPixelTypes)
        if (name == entry.name) {
            info.pixelType = entry.type;
            info.bytesPerValue = entry.bytesPerValue;
        }
    info.width = static_cast<int32_t>(width);
    info.height = static_cast<int32_t>(height);
    info.channels = static_cast<int32_t>(image.CountChannels()[0].L());
    HObject domain;
    GetDomain(image, &domain);
    HTuple area, row, column;
    AreaCenter(domain, &area, &row, &column);
    info.domainIsFull = area.Length() > 0 && area[0].L() == width * height;
    return info;
}

}  // namespace

std::optional<NativeImageInfo> AdapterCore::imageInfo(const NativeNode* node, int32_t index, std::wstring& error) {
    if (!selectable(node, index)) return std::nullopt;
    return reported(error, std::optional<NativeImageInfo>(),
                    [&] { return std::optional<NativeImageInfo>(describe(imageAt(node, index))); });
}

std::optional<NativeImagePlanes> AdapterCore::extractImageValues(const NativeNode* node, int32_t index,
                                                                 std::wstring& error) {
    if (!selectable(node, index)) return std::nullopt;
    return reported(error, std::optional<NativeImagePlanes>(), [&]() -> std::optional<NativeImagePlanes> {
        const HImage image = imageAt(node, index);
        NativeImagePlanes result;
        result.info = describe(image);
        const int32_t channels = result.info.channels;
        if (result.info.pixelType == IxPixelType::None || result.info.pixelType == IxPixelType::VectorField) {
            HString type;
            Hlong width = 0, height = 0;
            image.GetImagePointer1(&type, &width, &height);
            error = L"The values of images of pixel type " + fromHString(type) + L" are not handed out";
            return std::nullopt;
        }
        if (channels == 1) {
            result.images = {image};
        } else if (channels == 3) {
            result.images.resize(3);
            Decompose3(image, &result.images[0], &result.images[1], &result.images[2]);
        } else if (channels == 4) {
            result.images.resize(4);
            Decompose4(image, &result.images[0], &result.images[1], &result.images[2], &result.images[3]);
        } else {
            error = L"The values of images of " + integerText(channels) +
                    L" channels are not handed out: only 1, 3 or 4 channels";
            return std::nullopt;
        }
        for (const HObject& channel : result.images) {
            HString type;
            Hlong width = 0, height = 0;
            result.planes.push_back(HImage(channel).GetImagePointer1(&type, &width, &height));
            if (!result.planes.back() || width != result.info.width || height != result.info.height) {
                error = L"The vision library gave no plane of the image's size";
                return std::nullopt;
            }
        }
        return result;
    });
}

std::optional<NativeRegionRuns> AdapterCore::extractImageDomainRuns(const NativeNode* node, int32_t index,
                                                                    std::wstring& error) {
    if (!selectable(node, index)) return std::nullopt;
    return reported(error, std::optional<NativeRegionRuns>(), [&] {
        HObject domain;
        GetDomain(imageAt(node, index), &domain);
        return std::optional<NativeRegionRuns>(runsOf(domain));
    });
}
