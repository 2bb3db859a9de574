// The ONNX reader on arbitrary bytes: a model or an HException, never a
// crash; every key of a model that reads can be queried.
#include "HalconCpp.h"
#include "formats/Formats.h"

using namespace ixv::formats;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    try {
        const auto file = ByteSource::inMemory(data, size, "read_dl_model");
        const Format& format = *formatNamed("onnx", &Format::readHandle);
        ixv::Budget budget = budgetFor(format, file);
        const HalconCpp::HTuple model(format.readHandle(file, budget, HalconCpp::HTuple(), HalconCpp::HTuple()));
        HalconCpp::HTuple keys, value;
        HalconCpp::GetHandleParam(model, "keys", HalconCpp::HTuple(), &keys);
        for (Hlong i = 0; i < keys.Length(); ++i) HalconCpp::GetDlModelParam(model, keys[i], &value);
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
