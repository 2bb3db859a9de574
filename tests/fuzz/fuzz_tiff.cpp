// The TIFF reader on arbitrary bytes: a value or an HException, never a crash,
// and nothing printed.
#include "HalconCpp.h"
#include "formats/Formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ixv::formats::tiff::read({data, size});
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
