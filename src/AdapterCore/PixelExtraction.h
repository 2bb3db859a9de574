// The values of an image in its own pixel type, for hosts that measure rather
// than draw: the description, and the planes as the vision library holds them.
#pragma once

#include <cstdint>
#include <vector>

#include "NativeNode.h"

struct NativeImageInfo {
    IxPixelType pixelType = IxPixelType::None;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    int32_t bytesPerValue = 0;  // of one pixel of one channel
    bool domainIsFull = true;
};

// The planes of an image, each width x height values of bytesPerValue bytes,
// row by row. The pointers are the library's memory, valid while `images`
// (the one-channel images they belong to) lives.
struct NativeImagePlanes {
    NativeImageInfo info;
    std::vector<HalconCpp::HObject> images;
    std::vector<const void*> planes;
};
