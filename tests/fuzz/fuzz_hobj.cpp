// The object-file reader on arbitrary bytes: a value or an HException, never a crash.
#include "HalconCpp.h"
#include "formats/Formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ixv::formats::hobj::read({data, size});
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
