// Deep-learning models: what an ONNX model file says about itself, read
// without its weights. The model cannot run in the embedded library; it
// describes the network so that a host can show and check it.
//
// GetDlModelParam and the generic keys give, in this order: "type" ("onnx"),
// "ir_version", "opset_version" (the default domain's; -1 when the model
// imports none), "producer_name", "producer_version", "graph_name", "inputs"
// and "outputs" (a dictionary per tensor: "name", "elem_type", "shape", -1 for
// a symbolic or unknown dimension), "num_nodes", "num_initializers",
// "num_trainable_params" (the elements of the initializers of a floating-point
// element type), "meta_data" (a
// dictionary of strings) and, where the first input has four dimensions
// (taken as NCHW), "image_width", "image_height", "image_num_channels" and
// "batch_size" (-1 where symbolic).
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tools/Tool.h"

namespace ixv {

class DlModel final : public NamedKeyTool {
public:
    static constexpr const char* kSemType = "dl_model";

    // One input or output tensor.
    struct TensorInfo {
        std::string name;
        int64_t elemType = 0;        // ONNX TensorProto.DataType
        std::vector<int64_t> shape;  // -1: symbolic or unknown
    };

    const char* semType() const override { return kSemType; }
    HalconCpp::HTuple keys() const override;
    HalconCpp::HTuple tupleAt(const HalconCpp::HTuple& key, const char* proc) const override;

    // The value of one parameter of GetDlModelParam; error 1302 for a name the model lacks.
    HalconCpp::HTuple param(const std::string& name, const char* proc) const;

    // Builds the dictionaries of "inputs", "outputs" and "meta_data" from the
    // fields below; called once by the reader when they are complete.
    void finish();

    std::string type = "onnx";
    int64_t irVersion = 0;
    int64_t opsetVersion = -1;
    std::string producerName, producerVersion, graphName;
    std::vector<TensorInfo> inputs, outputs;
    int64_t numNodes = 0, numInitializers = 0, numTrainableParams = 0;
    std::vector<std::pair<std::string, std::string>> metaData;  // in file order; a repeated key: the last value

private:
    bool hasImageKeys() const { return !inputs.empty() && inputs.front().shape.size() == 4; }
    HalconCpp::HTuple inputDicts_, outputDicts_, metaDict_;
};

// The name of an ONNX element type in lower case ("float", "uint8",
// "float16", ...); "undefined" for 0 and the decimal number for an unknown one.
std::string onnxElemTypeName(int64_t elemType);
// True for the real floating-point element types (float, float16, double,
// bfloat16, the float8 and float4 types), whose initializers are trainable.
bool onnxFloatingPoint(int64_t elemType);

}  // namespace ixv
