// The object-file reader on arbitrary bytes: a value or an HException, never a crash.
#include "HalconCpp.h"
#include "formats/hobj/HobjFormat.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto file = ixv::formats::ByteSource::inMemory(data, size);
        ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("hobj", &ixv::formats::Format::matches), file);
        ixv::formats::hobj::readObjects(file, budget);
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
