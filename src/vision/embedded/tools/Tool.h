// The tools behind handles: dictionaries, matrices, 3D object models,
// deep-learning models. Each kind names itself with its semantic type.
#pragma once

#include <memory>

#include "HTuple.h"

namespace ixv {

class Tool {
public:
    virtual ~Tool() = default;
    // The semantic type name that TupleSemType reports: "dict", "matrix", ...
    virtual const char* semType() const = 0;
};

// The semantic type of a handle: its tool's name, or "handle" for a null handle.
const char* handleSemType(const HalconCpp::HHandle& handle);

}  // namespace ixv
