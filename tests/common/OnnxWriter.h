// A tiny protobuf writer for ONNX model files in tests, fuzz seeds and
// benchmarks: fields are appended to strings, messages nest by value.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ixtest::onnx {

inline std::string varint(uint64_t v) {
    std::string out;
    do {
        out += static_cast<char>((v & 0x7f) | (v > 0x7f ? 0x80 : 0));
        v >>= 7;
    } while (v);
    return out;
}

inline std::string key(uint32_t number, int wire) {
    return varint(uint64_t{number} << 3 | static_cast<uint64_t>(wire));
}

// A varint field (wire type 0); negative values as ten bytes, as protobuf writes them.
inline std::string integer(uint32_t number, int64_t value) {
    return key(number, 0) + varint(static_cast<uint64_t>(value));
}

// A length-delimited field (wire type 2): a string, bytes or a nested message.
inline std::string bytes(uint32_t number, const std::string& content) {
    return key(number, 2) + varint(content.size()) + content;
}

// The key and length of a length-delimited field whose `length` bytes follow elsewhere.
inline std::string lengthOnly(uint32_t number, uint64_t length) {
    return key(number, 2) + varint(length);
}

// --- ONNX messages ---------------------------------------------------------------

// A dimension: a value >= 0, or a symbolic name.
struct Dim {
    int64_t value = -1;
    std::string param;
    Dim(int64_t v) : value(v) {}
    Dim(const char* p) : param(p) {}
};

inline std::string tensorType(int64_t elemType, const std::vector<Dim>& dims, bool withShape = true) {
    std::string shape;
    for (const Dim& d : dims) shape += bytes(1, d.param.empty() ? integer(1, d.value) : bytes(2, d.param));
    return bytes(1, integer(1, elemType) + (withShape ? bytes(2, shape) : std::string()));
}

// A ValueInfoProto for GraphProto.input (11) or output (12).
inline std::string valueInfo(uint32_t field, const std::string& name, int64_t elemType, const std::vector<Dim>& dims) {
    return bytes(field, bytes(1, name) + bytes(2, tensorType(elemType, dims)));
}

// A TensorProto's fields before its data: dims, data type 1 (float), name.
inline std::string tensorHead(const std::string& name, const std::vector<int64_t>& dims) {
    std::string out;
    for (int64_t d : dims) out += integer(1, d);
    return out + integer(2, 1) + bytes(8, name);
}

// An initializer (GraphProto field 5) with its payload as float_data or raw_data.
inline std::string initializer(const std::string& name, const std::vector<int64_t>& dims) {
    int64_t count = 1;
    for (int64_t d : dims) count *= d;
    return bytes(5, tensorHead(name, dims) + bytes(9, std::string(static_cast<size_t>(count) * 4, '\x01')));
}

// An initializer whose data lies in another file (data_location EXTERNAL).
inline std::string externalInitializer(const std::string& name, const std::vector<int64_t>& dims,
                                       const std::string& location) {
    const std::string entry = bytes(13, bytes(1, "location") + bytes(2, location)) +
                              bytes(13, bytes(1, "length") + bytes(2, "4096"));
    return bytes(5, tensorHead(name, dims) + entry + integer(14, 1));
}

inline std::string node(const std::string& op, const std::string& in, const std::string& out) {
    return bytes(1, bytes(1, in) + bytes(2, out) + bytes(4, op));
}

inline std::string opset(const std::string& domain, int64_t version) {
    return bytes(8, (domain.empty() ? std::string() : bytes(1, domain)) + integer(2, version));
}

inline std::string metadata(const std::string& k, const std::string& v) {
    return bytes(14, bytes(1, k) + bytes(2, v));
}

// The start of a model: ir_version, producer, opsets.
inline std::string modelHead(int64_t irVersion = 8) {
    return integer(1, irVersion) + bytes(2, "ixtest") + bytes(3, "1.0") + opset("", 17) + opset("ai.onnx.ml", 3);
}

// A small image classifier: input "images" of N x 3 x 224 x 224 (N symbolic),
// a weight initializer, a few nodes, one output, metadata.
inline std::string classifier() {
    const std::string graph = node("Conv", "images", "c") + node("Relu", "c", "r") + node("Gemm", "r", "logits") +
                              bytes(2, "classifier") + initializer("w", {8, 3, 3, 3}) + initializer("b", {8}) +
                              valueInfo(11, "images", 1, {"N", 3, 224, 224}) + valueInfo(11, "w", 1, {8, 3, 3, 3}) +
                              valueInfo(12, "logits", 1, {"N", 1000});
    return modelHead() + bytes(7, graph) + metadata("author", "line 4") + metadata("classes", "ok,ng");
}

// Writes a model whose one initializer declares `payload` bytes of raw_data,
// left as a hole: a sparse file that takes no disk space for the payload.
inline void writeSparseModel(const std::string& path, uint64_t payload) {
    const std::string tensor = tensorHead("weights", {static_cast<int64_t>(payload / 4)}) + lengthOnly(9, payload);
    const std::string graphHead = bytes(2, "large") + node("MatMul", "x", "y") +
                                  lengthOnly(5, tensor.size() + payload) + tensor;
    const std::string graphTail = valueInfo(11, "x", 1, {1, 3, 512, 512}) + valueInfo(12, "y", 1, {1, 10});
    const std::string head = modelHead() + lengthOnly(7, graphHead.size() + payload + graphTail.size()) + graphHead;
    const std::string tail = graphTail + metadata("size", "large");
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const bool ok = fd >= 0 && ::pwrite(fd, head.data(), head.size(), 0) == static_cast<ssize_t>(head.size()) &&
                    ::pwrite(fd, tail.data(), tail.size(), static_cast<off_t>(head.size() + payload)) ==
                        static_cast<ssize_t>(tail.size());
    if (fd >= 0) ::close(fd);
    if (!ok) throw std::runtime_error("cannot write " + path);
}

}  // namespace ixtest::onnx
