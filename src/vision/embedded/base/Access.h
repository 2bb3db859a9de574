// The embedded library's way into its own classes: the vendor classes keep
// their internals private and name this struct their friend, so that nothing
// beyond the vendor's interface appears in namespace HalconCpp.
#pragma once

#include <memory>
#include <string>

#include "HBase.h"
#include "HObject.h"
#include "HTuple.h"

namespace ixv {

class Tool;
struct TupleData;
struct ObjectList;

struct Access {
    static HalconCpp::HException exception(const char* proc, Herror code, std::string message) {
        return HalconCpp::HException(HalconCpp::HString(std::string(proc ? proc : "")), code,
                                     HalconCpp::HString(std::move(message)));
    }
    static HalconCpp::HString string(std::string text) { return HalconCpp::HString(std::move(text)); }

    static const std::shared_ptr<TupleData>& data(const HalconCpp::HTuple& tuple) { return tuple.data_; }
    static HalconCpp::HTuple tuple(std::shared_ptr<TupleData> data) {
        HalconCpp::HTuple result;
        result.data_ = std::move(data);
        return result;
    }

    static const std::shared_ptr<Tool>& tool(const HalconCpp::HHandle& handle) { return handle.tool_; }
    static HalconCpp::HHandle handle(std::shared_ptr<Tool> tool) {
        HalconCpp::HHandle result;
        result.tool_ = std::move(tool);
        return result;
    }

    static const std::shared_ptr<const ObjectList>& objects(const HalconCpp::HObject& object) {
        return object.objects_;
    }
    static void setObjects(HalconCpp::HObject& object, std::shared_ptr<const ObjectList> list) {
        object.objects_ = std::move(list);
    }
};

}  // namespace ixv
