// ONNX models: a classifier, a file of the IR version alone, and a model of an
// external initializer, a tensor of other fields and symbolic dimensions.
#include "OnnxWriter.h"
#include "Seeds.h"

namespace ox = ixtest::onnx;

IX_SEEDS(onnx) {
    const std::string graph = ox::externalInitializer("w", {16, 16}, "w.bin") +
                              ox::bytes(5, ox::bytes(1, ox::varint(2) + ox::varint(3)) + ox::bytes(8, "p")) +
                              ox::valueInfo(11, "x", 2, {"N", 1, 28, 28}) + ox::valueInfo(12, "y", 7, {"N"});
    for (const std::string& model :
         {ox::classifier(), ox::integer(1, 7), ox::modelHead(10) + ox::bytes(7, graph) + ox::metadata("k", "v")})
        add(ixseeds::Bytes(model.begin(), model.end()));
}
