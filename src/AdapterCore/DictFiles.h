// Dictionary files: reading one into a tree, with or without reading options,
// and converting one dictionary file into another.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "NativeNode.h"

// One reading option as the library keeps it: only the field that `type`
// names is set; an unknown type keeps all three at their defaults.
struct NativeJsonParam {
    IxJsonParamKey key = IxJsonParamKey::JsonValueTrue;
    IxValueType type = IxValueType::String;
    std::wstring text;
    int64_t intValue = 0;
    double realValue = 0.0;
};

// The generic parameter name of a reading option; "" for an unknown key.
const char* jsonParamName(IxJsonParamKey key);

// Reads the dictionary file at `path` with the generic parameters `names`
// and `values` and builds its tree; on a failure, or when the whole tree
// would cost more than the file's allowance, the message in `error` and no tree.
std::unique_ptr<NativeNode> readDictAndBuild(const std::wstring& path, const HalconCpp::HTuple& names,
                                             const HalconCpp::HTuple& values, std::wstring& error);
