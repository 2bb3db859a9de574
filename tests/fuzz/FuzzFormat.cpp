// The reader of the images or 3D object models of one format (IX_FUZZ_SUFFIX,
// set by the build for each target) on arbitrary bytes: a value or an
// HException, never a crash; a model that reads has every point index within
// its points. PNG chunk checksums are made to match before reading, so that
// mutated headers, palettes and transparency reach the decoder instead of
// stopping at the first checksum; the unit tests flip checksummed bits.
#include <algorithm>
#include <cstring>
#include <vector>

#include "HalconCpp.h"
#include "PngWriter.h"
#include "formats/Formats.h"
#include "tools/ObjectModel3d.h"
#include "tools/Tool.h"

namespace {

using namespace ixv::formats;

void read(const ByteSource& file) {
    if (!IX_FUZZ_MODEL3D) {
        const Format& format = *formatNamed(IX_FUZZ_SUFFIX, &Format::matches);
        ixv::Budget budget = budgetFor(format, file);
        format.readObjects ? (void)format.readObjects(file, budget) : (void)format.readImage(file, budget);
        return;
    }
    const Format& format = *formatNamed(IX_FUZZ_SUFFIX, &Format::readHandle);
    ixv::Budget budget = budgetFor(format, file);
    const HalconCpp::HHandle handle = format.readHandle(file, budget, HalconCpp::HTuple(), HalconCpp::HTuple());
    const auto& model = ixv::toolAs<ixv::ObjectModel3d>(handle, "fuzz");
    for (const auto* indices : {&model.triangles, &model.polygonIndices})
        for (const uint32_t index : *indices)
            if (index >= model.numPoints()) __builtin_trap();
}

void setChunkChecksums(std::vector<uint8_t>& png) {
    for (size_t at = 8; at + 12 <= png.size();) {
        const uint64_t length = (uint64_t{png[at]} << 24) | (png[at + 1] << 16) | (png[at + 2] << 8) | png[at + 3];
        if (length > png.size() - at - 12) break;
        const std::string crc = ixtest::png::bigEndian(ixtest::png::crc32(&png[at + 4], size_t(length) + 4));
        std::copy(crc.begin(), crc.end(), png.begin() + static_cast<long>(at + 8 + length));
        at += 12 + length;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> bytes(data, data + size);
    if (std::strcmp(IX_FUZZ_SUFFIX, "png") == 0) setChunkChecksums(bytes);
    try {
        const char* proc = IX_FUZZ_MODEL3D ? "read_object_model_3d" : "read_image";
        read(ByteSource::inMemory(bytes.data(), bytes.size(), proc));
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
