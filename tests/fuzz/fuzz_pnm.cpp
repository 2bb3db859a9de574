// The PNM reader on arbitrary bytes: an image or an HException, never a crash.
#include "HalconCpp.h"
#include "formats/pnm/PnmFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto file = ixv::formats::ByteSource::inMemory(data, size);
        ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("pnm", &ixv::formats::Format::matches), file);
        ixv::formats::pnm::readImage(file, budget);
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
