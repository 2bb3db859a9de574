// The pixels of an image node as bytes a host draws: Gray, Bgr or Bgra. Every
// conversion is the vision library's; this only chooses the calls and copies
// the bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "NativeNode.h"

struct NativeImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t rowBytes = 0;
    int32_t pixelFormat = 0;  // an IxPixelFormat value
    std::vector<uint8_t> pixels;  // height x rowBytes bytes
};

// Four one-channel byte images composed (second, third, fourth, first) and
// interleaved as "bgra": blue, green, red, alpha bytes for the three callers.
std::optional<NativeImage> interleaveRgba(const HalconCpp::HObject& first, const HalconCpp::HObject& second,
                                          const HalconCpp::HObject& third, const HalconCpp::HObject& fourth);
