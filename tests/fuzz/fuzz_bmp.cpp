// The BMP reader on arbitrary bytes: an image or an HException, never a crash.
#include "HalconCpp.h"
#include "formats/Formats.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        ixv::formats::bmp::read({data, size});
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
