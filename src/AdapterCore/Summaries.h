// One-line summaries of iconic objects: regions, XLD objects and images.
// Every number comes from the vision library at the time of the call.
#pragma once

#include <cstdint>
#include <string>

#include "../vision/HalconCpp.h"

// The summary of one region or XLD object, chosen by its exact class name;
// empty for any other class, without asking the vision library anything.
std::wstring nonImageValueSummary(const std::wstring& className, const HalconCpp::HObject& object);

// "area: 0", or "area: %lld; center: %.1f, %.1f" (row first).
std::wstring regionValueSummary(const HalconCpp::HObject& region);

// "contour points: %lld; length: %.2f".
std::wstring contourValueSummary(const HalconCpp::HObject& contour);

// "points: %lld; length: %.2f".
std::wstring polygonValueSummary(const HalconCpp::HObject& polygon);

// The point counts and first lengths of both lines of a parallel.
std::wstring parallelValueSummary(const HalconCpp::HObject& parallel);

// Size, channels and pixel type of `count` images (`images` itself when count
// is below 2), each part marking disagreement; the first image's domain when
// it is reduced.
std::wstring imageValueSummary(const HalconCpp::HObject& images, int32_t count);
