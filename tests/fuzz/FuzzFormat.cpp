// The reader of the images or 3D object models of one format (IX_FUZZ_SUFFIX,
// set by the build for each target) on arbitrary bytes: a value or an
// HException, never a crash; a model that reads has every point index within
// its points.
#include "FuzzReader.h"
#include "tools/ObjectModel3d.h"
#include "tools/Tool.h"

namespace {

int fuzzModel3d(const char* suffix, const uint8_t* data, size_t size) {
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return IX_FUZZ_MODEL3D ? fuzzModel3d(IX_FUZZ_SUFFIX, data, size) : fuzzReader(IX_FUZZ_SUFFIX, data, size);
}
