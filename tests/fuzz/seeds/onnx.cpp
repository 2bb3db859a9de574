#include "OnnxWriter.h"
#include "Seeds.h"

namespace ox = ixtest::onnx;

namespace {

ixseeds::Bytes bytesOf(const std::string& s) {
    return ixseeds::Bytes(s.begin(), s.end());
}

}  // namespace

IX_SEEDS(onnx) {
    add(bytesOf(ox::classifier()));
    add(bytesOf(ox::integer(1, 7)));
    const std::string graph = ox::externalInitializer("w", {16, 16}, "w.bin") +
                              ox::bytes(5, ox::bytes(1, ox::varint(2) + ox::varint(3)) + ox::bytes(8, "p")) +
                              ox::valueInfo(11, "x", 2, {"N", 1, 28, 28}) + ox::valueInfo(12, "y", 7, {"N"});
    add(bytesOf(ox::modelHead(10) + ox::bytes(7, graph) + ox::metadata("k", "v")));
}
