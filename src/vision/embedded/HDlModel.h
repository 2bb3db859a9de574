// Deep-learning models seen through their handles, as the vendor's class
// shows them. The embedded library reads ONNX models and describes them
// (GetDlModelParam, the generic keys); it does not run them.
#pragma once

#include "HTuple.h"

namespace HalconCpp {

class HDlModel : public HHandle {
public:
    // An empty, unopened handle; ReadDlModel fills it.
    HDlModel() = default;
    // The same tool seen as a model; a handle of another kind throws on first use.
    HDlModel(const HHandle& handle) : HHandle(handle) {}

    void ReadDlModel(const HString& FileName);
    void ReadDlModel(const char* FileName);
};

}  // namespace HalconCpp
