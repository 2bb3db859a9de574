// The JSON dictionary reader on arbitrary bytes, with arrays read both ways
// (the first byte chooses): a dictionary or an HException, never a crash.
#include "HalconCpp.h"
#include "formats/Formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const char* mode = data[0] & 1 ? "tuple" : "dict";
    try {
        const auto file = ixv::formats::ByteSource::inMemory(data + 1, size - 1, "read_dict");
        const ixv::formats::Format& format = *ixv::formats::formatNamed("json", &ixv::formats::Format::readHandle);
        ixv::Budget budget = ixv::formats::budgetFor(format, file);
        format.readHandle(file, budget, HalconCpp::HTuple("convert_json_arrays_to"), HalconCpp::HTuple(mode));
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
