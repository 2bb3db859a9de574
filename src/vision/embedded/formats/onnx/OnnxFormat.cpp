// The ONNX reader: protobuf's wire format, walked field by field through a
// ByteStream. Only the fields that describe the model are read; every other
// field, tensor payloads above all, is skipped by its length without being
// read. Every length is checked against the end of the message that holds it
// (and so against the file's size) before anything is read or skipped, and
// every offset is 64-bit: payloads over 2 GiB are no special case.
#include "formats/onnx/OnnxFormat.h"

#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <unordered_set>

#include "base/Errors.h"
#include "base/Limits.h"
#include "tools/Dict.h"
#include "tools/DlModel.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::onnx {

namespace {

constexpr const char* kFormat = "ONNX";
// Messages nest as the schema nests them (model, graph, value info, type,
// tensor type, shape, dimension: seven levels); anything deeper is skipped
// whole. The bound keeps that true should the walk ever follow more.
constexpr int kMaxDepth = 16;
// Bytes read per refill: a skipped payload costs nothing, the bytes after it one refill.
constexpr size_t kBufferBytes = 8192;
// What the reader's output costs beside its strings, charged to the budget:
// an input or output (its dictionary of three keys and their tuples), a
// dimension, a metadata entry, an initializer name kept to tell inputs from
// initializers.
constexpr uint64_t kTensorCost = 1024, kDimCost = 16, kEntryCost = 256, kNameCost = 64;

enum Wire { Varint = 0, Fixed64 = 1, Length = 2, Fixed32 = 5 };

struct Field {
    uint64_t number = 0;
    int wire = 0;
    uint64_t value = 0;  // a varint's value
    uint64_t at = 0;     // offset of the field's key
    uint64_t end = 0;    // for a length-delimited field, the offset after its bytes
};

class Reader {
public:
    Reader(const ByteSource& file, Budget& budget)
        : file_(file), in_(file, kFormat, 0, kBufferBytes), budget_(budget), model_(std::make_shared<DlModel>()) {}

    HHandle read() {
        message(file_.size(), 0, "model", [&](const Field& f) { modelField(f); });
        std::vector<DlModel::TensorInfo> inputs;
        for (DlModel::TensorInfo& input : model_->inputs)
            if (!initializers_.count(input.name)) inputs.push_back(std::move(input));
        model_->inputs = std::move(inputs);
        model_->finish();
        return handleOf(model_);
    }

private:
    [[noreturn]] void invalid(const std::string& what, uint64_t at) const {
        raiseInvalid(kFormat, what + " at offset " + std::to_string(at), file_.proc());
    }

    uint64_t varint(uint64_t end, const char* what) {
        const uint64_t at = in_.offset();
        uint64_t value = 0;
        for (int i = 0; i < 10; ++i) {
            const int byte = in_.offset() < end ? in_.get() : -1;
            if (byte < 0) invalid(std::string("truncated ") + what, at);
            if (i == 9 && byte > 1) invalid(std::string("varint of more than 64 bits in ") + what, at);
            value |= static_cast<uint64_t>(byte & 0x7f) << (7 * i);
            if (!(byte & 0x80)) return value;
        }
        invalid(std::string("varint of more than 64 bits in ") + what, at);
    }

    // The next field of a message ending at `end`, its value read unless it is
    // length-delimited; false at the message's end.
    bool next(uint64_t end, const char* message, Field& f) {
        if (in_.offset() >= end) return false;
        f.at = in_.offset();
        const uint64_t key = varint(end, "field key");
        f.number = key >> 3;
        f.wire = static_cast<int>(key & 7);
        if (f.number == 0 || f.number > (uint64_t{1} << 29) - 1)
            invalid("field number " + std::to_string(f.number) + " in " + message, f.at);
        const uint64_t left = end - in_.offset();
        switch (f.wire) {
        case Varint: f.value = varint(end, "varint field"); break;
        case Fixed64:
        case Fixed32: {
            const uint64_t n = f.wire == Fixed64 ? 8 : 4;
            if (n > left)
                invalid(fieldText(f, message) + " of " + std::to_string(n) + " bytes runs past its end", f.at);
            in_.skip(n, "fixed-size field");
            break;
        }
        case Length: {
            const uint64_t lengthAt = in_.offset();
            const uint64_t n = varint(end, "field length");
            if (n > end - in_.offset())
                invalid(fieldText(f, message) + " of " + std::to_string(n) + " bytes runs past the end of the " +
                            (std::strcmp(message, "model") == 0 ? std::string("file") : message) + " (" +
                            std::to_string(end - in_.offset()) + " bytes left)",
                        lengthAt);
            f.end = in_.offset() + n;
            break;
        }
        default:
            invalid(fieldText(f, message) + " has wire type " + std::to_string(f.wire) + ", which ONNX does not use",
                    f.at);
        }
        return true;
    }

    static std::string fieldText(const Field& f, const char* message) {
        return std::string("field ") + std::to_string(f.number) + " of the " + message;
    }

    // Calls `onField` for each field of the message that ends at `end`;
    // length-delimited fields it leaves unread are skipped.
    template <class OnField>
    void message(uint64_t end, int depth, const char* name, OnField&& onField) {
        if (depth > kMaxDepth)
            invalid(std::string(name) + " nested deeper than " + std::to_string(kMaxDepth) + " levels", in_.offset());
        Field f;
        while (next(end, name, f)) {
            onField(f);
            if (f.wire == Length && in_.offset() < f.end) in_.skip(f.end - in_.offset(), "field");
        }
    }

    void expect(const Field& f, int wire, const char* message, const char* name) const {
        if (f.wire != wire)
            invalid(fieldText(f, message) + " (" + name + ") has wire type " + std::to_string(f.wire) + ", expected " +
                        std::to_string(wire),
                    f.at);
    }

    std::string text(const Field& f, const char* message, const char* name) {
        expect(f, Length, message, name);
        const uint64_t n = f.end - in_.offset();
        budget_.take(n + 32, [&] { return std::string(name) + " of " + std::to_string(n) + " bytes"; });
        std::string s(static_cast<size_t>(n), '\0');
        in_.read(s.data(), s.size(), name);
        return s;
    }

    int64_t integer(const Field& f, const char* message, const char* name) const {
        expect(f, Varint, message, name);
        return static_cast<int64_t>(f.value);
    }

    // --- ModelProto, GraphProto ---------------------------------------------------

    void modelField(const Field& f) {
        const char* m = "model";
        switch (f.number) {
        case 1: model_->irVersion = integer(f, m, "ir_version"); break;
        case 2: model_->producerName = text(f, m, "producer_name"); break;
        case 3: model_->producerVersion = text(f, m, "producer_version"); break;
        case 7:
            expect(f, Length, m, "graph");
            message(f.end, 1, "graph", [&](const Field& g) { graphField(g); });
            break;
        case 8: {
            expect(f, Length, m, "opset_import");
            std::string domain;
            int64_t version = -1;
            message(f.end, 1, "opset_import", [&](const Field& o) {
                if (o.number == 1) domain = text(o, "opset_import", "domain");
                if (o.number == 2) version = integer(o, "opset_import", "version");
            });
            if (domain.empty() || domain == "ai.onnx") model_->opsetVersion = version;
            break;
        }
        case 14: {
            expect(f, Length, m, "metadata_props");
            std::string key, value;
            message(f.end, 1, "metadata_props", [&](const Field& e) {
                if (e.number == 1) key = text(e, "metadata_props", "key");
                if (e.number == 2) value = text(e, "metadata_props", "value");
            });
            budget_.take(kEntryCost, "metadata entry");
            model_->metaData.emplace_back(std::move(key), std::move(value));
            break;
        }
        default: break;
        }
    }

    void graphField(const Field& f) {
        const char* g = "graph";
        switch (f.number) {
        case 1:
            expect(f, Length, g, "node");
            ++model_->numNodes;  // the node itself is skipped
            break;
        case 2: model_->graphName = text(f, g, "name"); break;
        case 5:
            expect(f, Length, g, "initializer");
            initializer(f.end);
            break;
        case 11:
        case 12: {
            expect(f, Length, g, f.number == 11 ? "input" : "output");
            const uint64_t tensors = model_->inputs.size() + model_->outputs.size() + 1;
            if (tensors > Limits::modelTensors)
                checkLimit(tensors, Limits::modelTensors, file_.proc(),
                           "a model of " + std::to_string(tensors) + " inputs and outputs", "tensors");
            budget_.take(kTensorCost, "tensor description");
            auto& list = f.number == 11 ? model_->inputs : model_->outputs;
            list.emplace_back();
            valueInfo(f.end, list.back());
            break;
        }
        default: break;
        }
    }

    // A TensorProto: its dimensions, element type and name are read, its data (raw_data,
    // float_data, ..., external_data) skipped; external files are never opened.
    void initializer(uint64_t end) {
        const char* t = "initializer";
        uint64_t elements = 1;
        int64_t dataType = 0;
        std::string name;
        auto dim = [&](uint64_t value, uint64_t at) {
            if (static_cast<int64_t>(value) < 0) invalid("negative dimension in initializer", at);
            elements = saturatingMul(elements, value);
        };
        message(end, 2, t, [&](const Field& f) {
            if (f.number == 1 && f.wire == Varint) {
                dim(f.value, f.at);
            } else if (f.number == 1) {
                expect(f, Length, t, "dims");
                while (in_.offset() < f.end) {
                    const uint64_t at = in_.offset();
                    dim(varint(f.end, "packed dims"), at);
                }
            } else if (f.number == 2) {
                dataType = integer(f, t, "data_type");
            } else if (f.number == 8) {
                name = text(f, t, "name");
            }
        });
        ++model_->numInitializers;
        if (!onnxFloatingPoint(dataType)) elements = 0;
        const uint64_t max = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
        model_->numTrainableParams = static_cast<int64_t>(
            std::min(max, saturatingAdd(static_cast<uint64_t>(model_->numTrainableParams), std::min(elements, max))));
        if (name.empty()) return;
        budget_.take(kNameCost, "initializer name");
        initializers_.insert(std::move(name));
    }

    // ValueInfoProto -> TypeProto -> TypeProto.Tensor -> TensorShapeProto -> Dimension.
    void valueInfo(uint64_t end, DlModel::TensorInfo& info) {
        message(end, 2, "value info", [&](const Field& f) {
            if (f.number == 1) info.name = text(f, "value info", "name");
            if (f.number != 2) return;
            expect(f, Length, "value info", "type");
            message(f.end, 3, "type", [&](const Field& t) {
                if (t.number != 1) return;  // sequences, maps, optionals, sparse tensors: no tensor type
                expect(t, Length, "type", "tensor_type");
                message(t.end, 4, "tensor type", [&](const Field& tt) {
                    if (tt.number == 1) info.elemType = integer(tt, "tensor type", "elem_type");
                    if (tt.number != 2) return;
                    expect(tt, Length, "tensor type", "shape");
                    info.shape.clear();
                    message(tt.end, 5, "shape", [&](const Field& s) {
                        if (s.number != 1) return;
                        expect(s, Length, "shape", "dim");
                        budget_.take(kDimCost, "dimension");
                        int64_t value = -1;
                        message(s.end, 6, "dimension", [&](const Field& d) {
                            if (d.number == 1) value = integer(d, "dimension", "dim_value");
                            if (d.number == 2) value = -1;  // dim_param: symbolic
                        });
                        info.shape.push_back(value);
                    });
                });
            });
        });
    }

    const ByteSource& file_;
    ByteStream in_;
    Budget& budget_;
    std::shared_ptr<DlModel> model_;
    std::unordered_set<std::string> initializers_;
};

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    if (size < 2 || head[0] != 0x08 || head[1] == 0 || head[1] > 0x3f) return false;
    if (size == 2) return true;
    switch (head[2]) {
    case 0x12:  // producer_name
    case 0x1a:  // producer_version
    case 0x22:  // domain
    case 0x28:  // model_version
    case 0x32:  // doc_string
    case 0x3a:  // graph
    case 0x42:  // opset_import
    case 0x72:  // metadata_props
        return true;
    case 0xa2:  // training_info (field 20)
    case 0xca:  // functions (field 25)
        return size == 3 || head[3] == 0x01;
    default: return false;
    }
}

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    return Reader(file, budget).read();
}

}  // namespace ixv::formats::onnx
