// The dictionary reader on arbitrary bytes: a dictionary or an HException,
// never a crash. What it reads is written again, and that file must read back
// and write to the same bytes: the writer writes what the reader reads.
#include <algorithm>

#include "HalconCpp.h"
#include "formats/Formats.h"
#include "formats/hdict/HdictFormat.h"

using namespace ixv::formats;

namespace {

HalconCpp::HHandle read(const uint8_t* data, size_t size, uint64_t budgetBytes) {
    const Format& format = *formatNamed("hdict", &Format::readHandle);
    const auto file = ByteSource::inMemory(data, size, "read_dict");
    ixv::Budget budget(budgetBytes, format.expansion, "read_dict");
    return format.readHandle(file, budget, HalconCpp::HTuple(), HalconCpp::HTuple());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    HalconCpp::HHandle dict;
    try {
        dict = read(data, size, size);
    } catch (const HalconCpp::HException&) {
        return 0;
    }
    const std::vector<uint8_t> once = hdict::encode(dict);
    const std::vector<uint8_t> twice = hdict::encode(read(once.data(), once.size(), std::max<uint64_t>(size, once.size())));
    if (once != twice) __builtin_trap();
    return 0;
}
