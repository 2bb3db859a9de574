// System parameters: the settings the embedded library keeps for the process.
#include <atomic>
#include <string>

#include "base/Access.h"
#include "base/Errors.h"
#include "Operators.h"
#include "base/Params.h"
#include "base/System.h"
#include "base/TupleData.h"

#ifndef IX_PROJECT_VERSION
#define IX_PROJECT_VERSION "0.0.0"
#endif

namespace {

// Whether operators clip regions to the image size; HALCON's default is "true".
std::atomic<bool> clipRegion{true};

}  // namespace

namespace ixv {

bool systemClipRegion() {
    return clipRegion.load(std::memory_order_relaxed);
}

std::string systemVersion() {
    return std::string("20.11 (embedded ") + IX_PROJECT_VERSION + ")";
}

}  // namespace ixv

namespace HalconCpp {

void SetSystem(const HTuple& SystemParameter, const HTuple& Value) {
    const std::string name = ixv::singleString(SystemParameter, "set_system", 1);
    if (name != "clip_region") ixv::raiseParValue("set_system", 1, "unknown system parameter '" + name + "'");
    const std::string value = ixv::singleString(Value, "set_system", 2);
    if (value != "true" && value != "false")
        ixv::raiseParValue("set_system", 2, "clip_region takes 'true' or 'false'");
    clipRegion.store(value == "true", std::memory_order_relaxed);
}

void GetSystem(const HTuple& Query, HTuple* Information) {
    const std::string name = ixv::singleString(Query, "get_system", 1);
    HTuple result;
    if (name == "version")
        result = HTuple(ixv::systemVersion().c_str());
    else if (name == "clip_region")
        result = HTuple(ixv::systemClipRegion() ? "true" : "false");
    else
        ixv::raiseParValue("get_system", 1, "unknown system parameter '" + name + "'");
    if (Information) *Information = result;
}

}  // namespace HalconCpp
