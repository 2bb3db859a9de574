// Deep-learning models seen through their handles.
#include "tools/DlModel.h"

#include "base/Errors.h"
#include "base/TupleData.h"
#include "tools/Dict.h"

using HalconCpp::HTuple;

namespace ixv {

namespace {

const char* const kCommonKeys[] = {"type",       "ir_version",       "opset_version",  "producer_name",
                                   "producer_version", "graph_name", "inputs",         "outputs",
                                   "num_nodes",  "num_initializers", "num_trainable_params", "meta_data"};
const char* const kImageKeys[] = {"image_width", "image_height", "image_num_channels", "batch_size"};

HTuple tensorDicts(const std::vector<DlModel::TensorInfo>& tensors) {
    std::vector<Element> handles;
    handles.reserve(tensors.size());
    for (const DlModel::TensorInfo& tensor : tensors) {
        auto dict = newDict();
        dict->append(DictKey(std::string("name")), DictValue::of(tupleOfStrings({tensor.name})));
        dict->append(DictKey(std::string("elem_type")),
                     DictValue::of(tupleOfStrings({onnxElemTypeName(tensor.elemType)})));
        dict->append(DictKey(std::string("shape")),
                     DictValue::of(tupleOfLongs(std::vector<Hlong>(tensor.shape.begin(), tensor.shape.end()))));
        handles.emplace_back(handleOf(std::move(dict)));
    }
    return tupleOfElements(std::move(handles));
}

}  // namespace

// TensorProto.DataType, 0 to 26.
std::string onnxElemTypeName(int64_t elemType) {
    static const char* const names[] = {
        "undefined", "float",   "uint8",      "int8",      "uint16",         "int16",      "int32",
        "int64",     "string",  "bool",       "float16",   "double",         "uint32",     "uint64",
        "complex64", "complex128", "bfloat16", "float8e4m3fn", "float8e4m3fnuz", "float8e5m2", "float8e5m2fnuz",
        "uint4",     "int4",    "float4e2m1", "float8e8m0", "uint2",         "int2"};
    if (elemType >= 0 && elemType < static_cast<int64_t>(sizeof names / sizeof names[0]))
        return names[static_cast<size_t>(elemType)];
    return std::to_string(elemType);
}

bool onnxFloatingPoint(int64_t elemType) {
    // float, float16, double, bfloat16, the float8 types, float4e2m1, float8e8m0.
    return elemType == 1 || elemType == 10 || elemType == 11 || (elemType >= 16 && elemType <= 20) ||
           elemType == 23 || elemType == 24;
}

void DlModel::finish() {
    inputDicts_ = tensorDicts(inputs);
    outputDicts_ = tensorDicts(outputs);
    auto meta = newDict();
    for (const auto& [key, value] : metaData) meta->set(DictKey(key), DictValue::of(tupleOfStrings({value})));
    metaDict_ = HTuple(handleOf(std::move(meta)));
}

HTuple DlModel::keys() const {
    std::vector<std::string> names(std::begin(kCommonKeys), std::end(kCommonKeys));
    if (hasImageKeys()) names.insert(names.end(), std::begin(kImageKeys), std::end(kImageKeys));
    return tupleOfStrings(names);
}

HTuple DlModel::tupleAt(const HTuple& key, const char* proc) const {
    return param(keyName(key, proc), proc);
}

HTuple DlModel::param(const std::string& name, const char* proc) const {
    auto text = [](const std::string& s) { return tupleOfStrings({s}); };
    auto integer = [](int64_t v) { return HTuple(static_cast<Hlong>(v)); };
    if (name == "type") return text(type);
    if (name == "ir_version") return integer(irVersion);
    if (name == "opset_version") return integer(opsetVersion);
    if (name == "producer_name") return text(producerName);
    if (name == "producer_version") return text(producerVersion);
    if (name == "graph_name") return text(graphName);
    if (name == "inputs") return inputDicts_;
    if (name == "outputs") return outputDicts_;
    if (name == "num_nodes") return integer(numNodes);
    if (name == "num_initializers") return integer(numInitializers);
    if (name == "num_trainable_params") return integer(numTrainableParams);
    if (name == "meta_data") return metaDict_;
    for (size_t i = 0; i < 4; ++i) {
        if (name != kImageKeys[i]) continue;
        if (!hasImageKeys()) raiseParValue(proc, 2, "'" + name + "' needs a first input of four dimensions (NCHW)");
        const std::vector<int64_t>& shape = inputs.front().shape;
        return integer(shape[3 - i]);  // width, height, channels, batch: NCHW read backwards
    }
    raiseParValue(proc, 2, "unknown parameter '" + name + "'");
}

}  // namespace ixv
