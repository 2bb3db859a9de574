// The TIFF reader on arbitrary bytes: a value or an HException, never a crash,
// and nothing printed.
#include "HalconCpp.h"
#include "formats/tiff/TiffFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto file = ixv::formats::ByteSource::inMemory(data, size);
        ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("tif", &ixv::formats::Format::matches), file);
        ixv::formats::tiff::readImage(file, budget);
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
