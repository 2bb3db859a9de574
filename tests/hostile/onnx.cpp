// ONNX models whose lengths and counts promise far more than the file holds.
#include "Hostile.h"
#include "OnnxWriter.h"

namespace ox = ixtest::onnx;

// A graph that declares 2^62 bytes in a file of a few: refused before anything is read.
IX_HOSTILE(OnnxLengthBomb) {
    const std::string bytes = ox::modelHead() + ox::lengthOnly(7, uint64_t{1} << 62) + std::string(64, '\0');
    return {ixhostile::writeFile(dir, "length.onnx", bytes), "runs past the end of the file", 16};
}

// 100,000 empty inputs of two bytes each: each would become a dictionary.
IX_HOSTILE(OnnxInputFlood) {
    std::string graph;
    for (int i = 0; i < 100000; ++i) graph += ox::bytes(11, "");
    return {ixhostile::writeFile(dir, "inputs.onnx", ox::modelHead() + ox::bytes(7, graph)),
            "a model of 65537 inputs and outputs exceeds the limit of 65536 tensors", 96};
}

// A payload of 4 GiB declared in a sparse file: skipped, the model reads.
IX_HOSTILE(OnnxSparsePayload) {
    const std::string path = dir + "/sparse.onnx";
    ox::writeSparseModel(path, uint64_t{4} << 30);
    return {path, "", 16};
}
