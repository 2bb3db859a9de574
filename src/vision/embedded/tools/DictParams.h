// The generic parameters of ReadDict and WriteDict, checked in one place.
//
// Reading: "json_value_true" (default 1), "json_value_false" (default 0),
// "json_value_null" (default a null handle), each one value of any type;
// "convert_json_arrays_to": "dict" (default; a dictionary with the integer
// keys 0..n-1) or "tuple" (a tuple whose objects and arrays become dictionary
// handles). Writing: "raise_error_if_content_not_serializable": "true"
// (default) or "false". Names and values pair up by position; an unknown
// name is error 1302, a wrong value or a name without a value error 1303.
#pragma once

#include "HTuple.h"

namespace ixv {

struct DictReadOptions {
    HalconCpp::HTuple valueTrue, valueFalse, valueNull;
    bool arraysAsTuples = false;
};

DictReadOptions dictReadOptions(const HalconCpp::HTuple& names, const HalconCpp::HTuple& values, const char* proc);

// False when "raise_error_if_content_not_serializable" is "false".
bool raiseIfNotSerializable(const HalconCpp::HTuple& names, const HalconCpp::HTuple& values, const char* proc);

}  // namespace ixv
