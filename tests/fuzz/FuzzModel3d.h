// A libFuzzer target for the 3D object model reader of the format with the
// given suffix: on arbitrary bytes it gives a model or an HException, never a
// crash; what it gives has every point index within the points.
#pragma once

#include "HalconCpp.h"
#include "formats/Formats.h"
#include "tools/ObjectModel3d.h"
#include "tools/Tool.h"

inline int fuzzModel3d(const char* suffix, const uint8_t* data, size_t size) {
    using namespace ixv::formats;
    try {
        const auto file = ByteSource::inMemory(data, size, "read_object_model_3d");
        const Format& format = *formatNamed(suffix, &Format::readHandle);
        ixv::Budget budget = budgetFor(format, file);
        const HalconCpp::HHandle handle = format.readHandle(file, budget, HalconCpp::HTuple(), HalconCpp::HTuple());
        const auto& model = ixv::toolAs<ixv::ObjectModel3d>(handle, "fuzz");
        for (const uint32_t index : model.triangles)
            if (index >= model.numPoints()) __builtin_trap();
        for (const uint32_t index : model.polygonIndices)
            if (index >= model.numPoints()) __builtin_trap();
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}

#define IX_FUZZ_MODEL3D(suffix)                                                 \
    extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) { \
        return fuzzModel3d(suffix, data, size);                                 \
    }
