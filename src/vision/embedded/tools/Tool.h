// The tools behind handles: dictionaries, matrices, 3D object models,
// deep-learning models. Each kind names itself with its semantic type and
// answers the generic key queries (GetHandleParam, GetHandleTuple,
// GetHandleObject): the keys it has, what each holds, and the content.
#pragma once

#include <memory>
#include <string>

#include "HObject.h"
#include "HTuple.h"

namespace ixv {

class Tool {
public:
    virtual ~Tool() = default;
    // The semantic type name that TupleSemType reports: "dict", "matrix", ...
    virtual const char* semType() const = 0;

    // The generic keys, in order; a tuple of strings or integers. A tool
    // without keys keeps the defaults: none, and error 2894 for any key.
    virtual HalconCpp::HTuple keys() const;
    // "tuple" or "object" for a key the tool has; error 2894 for any other.
    virtual const char* keyDataType(const HalconCpp::HTuple& key, const char* proc) const;
    // The content under a key: a tuple, or the iconic objects of an "object"
    // key. Error 2894 for a key the tool lacks; reading a key as the other
    // data type is a wrong parameter value.
    virtual HalconCpp::HTuple tupleAt(const HalconCpp::HTuple& key, const char* proc) const;
    virtual HalconCpp::HObject objectAt(const HalconCpp::HTuple& key, const char* proc) const;
};

using ToolPtr = std::shared_ptr<Tool>;

// The semantic type of a handle: its tool's name, or "handle" for a null handle.
const char* handleSemType(const HalconCpp::HHandle& handle);

// The tool of a handle as T: error 2453 for a null handle, 2404 for a tool of
// another kind.
template <class T>
T& toolAs(const HalconCpp::HHandle& handle, const char* proc);

// The handle of a tuple that must hold exactly one (control parameter `position`).
HalconCpp::HHandle singleHandle(const HalconCpp::HTuple& tuple, const char* proc, int position);

// The text of one key for messages: 'name' for a string, the decimal integer else.
std::string keyText(const HalconCpp::HTuple& key);

// A tool whose generic keys are fixed names, each read on demand: matrices
// and 3D object models. `has` says whether a key applies to this tool.
class NamedKeyTool : public Tool {
public:
    const char* keyDataType(const HalconCpp::HTuple& key, const char* proc) const override;

protected:
    // The name a key tuple stands for, after checking that the tool has it.
    std::string keyName(const HalconCpp::HTuple& key, const char* proc) const;
};

}  // namespace ixv

#include "tools/ToolAs.h"
