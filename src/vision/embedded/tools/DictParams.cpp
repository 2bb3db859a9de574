#include "tools/DictParams.h"

#include "base/Errors.h"
#include "base/Params.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv {

namespace {

// The names, each with its value; a name without a value is error 1303.
template <class Use>
void eachParam(const HTuple& names, const HTuple& values, const char* proc, Use use) {
    // Names and values pair up by position: with a value missing anywhere, a
    // value would go to another name, so unequal counts refuse the whole list.
    if (names.Length() != values.Length())
        raiseParValue(proc, 3, std::to_string(names.Length()) + " parameter names but " +
                                   std::to_string(values.Length()) + " values: each name takes one value");
    for (Hlong i = 0; i < names.Length(); ++i) {
        const std::string name = stringAt(names, i, proc, 2);
        if (i >= values.Length()) raiseParValue(proc, 3, "no value for '" + name + "'");
        use(name, HTuple(values[i]));
    }
    if (values.Length() > names.Length()) raiseParCount(proc, 3, "more values than parameter names");
}

std::string stringValue(const HTuple& value, const std::string& name, const char* proc) {
    try {
        return stringAt(value, 0, proc, 3);
    } catch (const HalconCpp::HException&) {
        raiseParValue(proc, 3, "'" + name + "' takes a string");
    }
}

}  // namespace

DictReadOptions dictReadOptions(const HTuple& names, const HTuple& values, const char* proc) {
    DictReadOptions options;
    options.valueTrue = HTuple(Hlong{1});
    options.valueFalse = HTuple(Hlong{0});
    options.valueNull = HTuple(HHandle());
    eachParam(names, values, proc, [&](const std::string& name, const HTuple& value) {
        if (name == "json_value_true") {
            options.valueTrue = value;
        } else if (name == "json_value_false") {
            options.valueFalse = value;
        } else if (name == "json_value_null") {
            options.valueNull = value;
        } else if (name == "convert_json_arrays_to") {
            const std::string to = stringValue(value, name, proc);
            if (to != "dict" && to != "tuple")
                raiseParValue(proc, 3, "'" + name + "' is dict or tuple, not '" + to + "'");
            options.arraysAsTuples = to == "tuple";
        } else {
            raiseParValue(proc, 2,
                          "unknown parameter '" + name +
                              "'; expected json_value_true, json_value_false, json_value_null or "
                              "convert_json_arrays_to");
        }
    });
    return options;
}

bool raiseIfNotSerializable(const HTuple& names, const HTuple& values, const char* proc) {
    bool raise = true;
    eachParam(names, values, proc, [&](const std::string& name, const HTuple& value) {
        if (name != "raise_error_if_content_not_serializable")
            raiseParValue(proc, 2, "unknown parameter '" + name + "'; expected raise_error_if_content_not_serializable");
        const std::string flag = stringValue(value, name, proc);
        if (flag != "true" && flag != "false")
            raiseParValue(proc, 3, "'" + name + "' is true or false, not '" + flag + "'");
        raise = flag == "true";
    });
    return raise;
}

}  // namespace ixv
