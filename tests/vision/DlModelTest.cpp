// Deep-learning models: ONNX files written here with a small protobuf writer,
// read through ReadDlModel and seen through GetDlModelParam and the generic keys.
#include <gtest/gtest.h>

#include "NewDict.h"
#include "HalconCpp.h"
#include "OnnxWriter.h"
#include "TestFiles.h"
#include "base/Access.h"
#include "base/TupleData.h"
#include "TupleText.h"
#include "TupleValues.h"

using namespace HalconCpp;
namespace ox = ixtest::onnx;

namespace {

using ixtest::describe;
using ixtest::longs;
using ixtest::strings;

HTuple param(const HTuple& model, const char* name) {
    HTuple value;
    GetDlModelParam(model, name, &value);
    return value;
}

// "name elem_type [shape]" of each tensor dictionary.
std::vector<std::string> tensors(const HTuple& dicts) {
    std::vector<std::string> out;
    for (Hlong i = 0; i < dicts.Length(); ++i) {
        const HDict dict(dicts[i].H());
        std::string text = std::string(dict.GetDictTuple("name")[0].C()) + " " + dict.GetDictTuple("elem_type")[0].C();
        for (Hlong d : longs(dict.GetDictTuple("shape"))) text += " " + std::to_string(d);
        out.push_back(text);
    }
    return out;
}

HTuple readModel(const std::string& path) {
    HTuple model;
    ReadDlModel(path.c_str(), &model);
    return model;
}

// What reading `bytes` from memory raises, or "" when they read.
std::string onnxError(const std::string& bytes) {
    return messageOf([&] {
        const auto file = ixv::formats::ByteSource::inMemory(reinterpret_cast<const uint8_t*>(bytes.data()),
                                                             bytes.size(), "read_dl_model");
        const auto& format = *ixv::formats::formatNamed("onnx", &ixv::formats::Format::readHandle);
        ixv::Budget budget = ixv::formats::budgetFor(format, file);
        format.readHandle(file, budget, HTuple(), HTuple());
    });
}

}  // namespace

TEST(DlModel, ClassifierKeysAndValues) {
    TempDir dir;
    const std::string path = dir.write("classifier.onnx", ox::classifier());
    HDlModel handle;
    handle.ReadDlModel(path.c_str());
    const HTuple model(handle);

    EXPECT_STREQ(model.TupleSemType()[0].C(), "dl_model");
    // Every key in order with its value; the generic keys give what GetDlModelParam gives.
    HTuple keys;
    GetHandleParam(model, "keys", HTuple(), &keys);
    std::string all;
    for (Hlong i = 0; i < keys.Length(); ++i) {
        HTuple generic;
        GetHandleTuple(model, keys[i], &generic);
        EXPECT_EQ(describe(generic), describe(param(model, keys[i].C()))) << keys[i].C();
        all += std::string(keys[i].C()) + "=" + describe(generic) + "\n";
    }
    EXPECT_EQ(all,  // the default domain's opset, not ai.onnx.ml's; "w" is an initializer listed as an input: none
              "type='onnx'\nir_version=8\nopset_version=17\nproducer_name='ixtest'\nproducer_version='1.0'\n"
              "graph_name='classifier'\ninputs={name='images',elem_type='float',shape=(-1,3,224,224)}\n"
              "outputs={name='logits',elem_type='float',shape=(-1,1000)}\nnum_nodes=3\nnum_initializers=2\n"
              "num_trainable_params=224\nmeta_data={author='line 4',classes='ok,ng'}\nimage_width=224\n"
              "image_height=224\nimage_num_channels=3\nbatch_size=-1\n");
    EXPECT_EQ(errorOf([&] { param(model, "learning_rate"); }), 1302);
    EXPECT_EQ(errorOf([&] { param(newDict(), "type"); }), 2404);
}

TEST(DlModel, TypesShapesOpsetsAndMetadata) {
    const std::string noShape = ox::bytes(11, ox::bytes(1, "flags") + ox::bytes(2, ox::tensorType(9, {}, false)));
    // A dimension with neither a value nor a name, then one of 5.
    const std::string shape = ox::bytes(1, "") + ox::bytes(1, ox::integer(1, 5));
    const std::string emptyDim =
        ox::bytes(11, ox::bytes(1, "seq") + ox::bytes(2, ox::bytes(1, ox::integer(1, 7) + ox::bytes(2, shape))));
    // Float weights of packed dimensions count as trainable, a shape tensor of int64 does not.
    const std::string packed = ox::bytes(5, ox::bytes(1, ox::varint(4) + ox::varint(5)) + ox::integer(2, 1) +
                                                ox::bytes(8, "p") + ox::bytes(4, std::string(80, '\0'))) +
                               ox::bytes(5, ox::integer(1, 4) + ox::integer(2, 7) + ox::bytes(8, "shape"));
    const std::string graph = ox::valueInfo(11, "a", 2, {1, "T"}) + ox::valueInfo(11, "b", 10, {}) + noShape +
                              emptyDim + ox::valueInfo(12, "c", 0, {2}) + ox::valueInfo(12, "d", 99, {3}) +
                              ox::valueInfo(12, "e", 16, {4}) + ox::valueInfo(12, "f", 24, {}) +
                              ox::valueInfo(12, "g", 26, {}) + packed;
    const std::string model = ox::integer(1, 9) + ox::opset("ai.onnx.ml", 2) + ox::opset("ai.onnx", 21) +
                              ox::bytes(7, graph) + ox::metadata("k", "first") + ox::metadata("j", "x") +
                              ox::metadata("k", "last");
    TempDir dir;
    const HTuple m = readModel(dir.write("types.onnx", model));
    EXPECT_EQ(tensors(param(m, "inputs")),
              (std::vector<std::string>{"a uint8 1 -1", "b float16", "flags bool", "seq int64 -1 5"}));
    EXPECT_EQ(tensors(param(m, "outputs")), (std::vector<std::string>{"c undefined 2", "d 99 3", "e bfloat16 4", "f float8e8m0", "g int2"}));
    EXPECT_EQ(describe(param(m, "opset_version").Append(param(m, "num_trainable_params")).Append(param(m, "producer_name"))
                           .Append(param(m, "meta_data"))),
              "(21,20,'',{k='last',j='x'})");
    // A first input of two dimensions: no image keys.
    HTuple keys;
    GetHandleParam(m, "keys", HTuple(), &keys);
    EXPECT_EQ(keys.Length(), 12);
    EXPECT_EQ(errorOf([&] { param(m, "image_width"); }), 1302);

    // No opset of the default domain.
    const HTuple bare = readModel(dir.write("bare.onnx", ox::integer(1, 3)));
    EXPECT_EQ(describe(param(bare, "opset_version").Append(param(bare, "num_nodes"))), "(-1,0)");
}

TEST(DlModel, PayloadsAreSkippedExternalFilesNeverOpened) {
    TempDir dir;
    const std::string graph = ox::externalInitializer("w", {1000, 1000}, "/nonexistent/weights.bin") +
                              ox::valueInfo(11, "x", 1, {1, 1, 8, 8});
    const HTuple external = readModel(dir.write("external.onnx", ox::modelHead() + ox::bytes(7, graph)));
    EXPECT_EQ(describe(param(external, "num_trainable_params").Append(param(external, "batch_size"))), "(1000000,1)");

    // A raw_data of 3 GB in a sparse file: 64-bit lengths and offsets.
    const std::string path = dir.path("large.onnx");
    const uint64_t payload = uint64_t{3} << 30;
    ox::writeSparseModel(path, payload);
    const HTuple large = readModel(path);
    EXPECT_EQ(param(large, "num_trainable_params")[0].L(), static_cast<Hlong>(payload / 4));
    EXPECT_EQ(tensors(param(large, "inputs").Append(param(large, "outputs"))),
              (std::vector<std::string>{"x float 1 3 512 512", "y float 1 10"}));
    EXPECT_EQ(describe(param(large, "num_nodes").Append(param(large, "meta_data"))), "(1,{size='large'})");
}

TEST(DlModel, TruncatedAndMalformedFilesAreErrors) {
    const std::string model = ox::classifier();
    // Cut at every offset: a model (at a boundary between top-level fields) or
    // an error, never a crash; every cut inside the graph is an error.
    const size_t graphStart = ox::modelHead().size(), graphEnd = model.find(ox::metadata("author", "line 4"));
    for (size_t size = 0; size < model.size(); ++size) {
        const std::string message = onnxError(model.substr(0, size));
        if (size > graphStart && size < graphEnd) {
            EXPECT_EQ(message.rfind("Invalid ONNX file: ", 0), 0u) << size << ": " << message;
            EXPECT_NE(message.find(" at offset "), std::string::npos) << message;
        } else if (!message.empty()) {
            EXPECT_EQ(message.rfind("Invalid ONNX file: ", 0), 0u) << size << ": " << message;
        }
    }
    const std::string head = ox::integer(1, 8);
    const std::pair<std::string, const char*> cases[] = {
        {ox::bytes(7, ox::lengthOnly(11, 50)), "field 11 of the graph of 50 bytes runs past the end of the graph "
                                               "(0 bytes left) at offset 5"},
        {ox::key(7, 3), "field 7 of the model has wire type 3, which ONNX does not use at offset 2"},
        {ox::key(2, 0) + std::string(10, '\xff') + "\x01", "varint of more than 64 bits in varint field at offset 3"},
        {ox::integer(7, 1), "field 7 of the model (graph) has wire type 0, expected 2 at offset 2"},
        {ox::bytes(7, ox::bytes(5, ox::integer(1, -3))), "negative dimension in initializer at offset 6"},
        {ox::integer(0, 1), "field number 0 in model at offset 2"},
    };
    for (const auto& [body, message] : cases) EXPECT_EQ(onnxError(head + body), std::string("Invalid ONNX file: ") + message);
}

TEST(DlModel, OtherFilesAreRefusedWithTheReason) {
    TempDir dir;
    const std::string files[] = {dir.write("model.hdl", std::string("HDLMODEL\0\x01\x02", 11) + std::string(64, 'x')),
                                 dir.write("model.json", "{\"ir_version\": 8}"),
                                 dir.write("empty.onnx", ""),
                                 dir.write("zero.onnx", std::string("\x08\x00\x12\x00", 4)),
                                 dir.write("ir64.onnx", std::string("\x08\x40\x12\x00", 4))};  // IR versions end at 63
    for (const std::string& path : files) {
        HTuple model;
        EXPECT_EQ(errorOf([&] { ReadDlModel(path.c_str(), &model); }), 5280) << path;
        const std::string message = messageOf([&] { ReadDlModel(path.c_str(), &model); });
        EXPECT_NE(message.find("the embedded backend reads ONNX models; .hdl files need the HALCON backend"),
                  std::string::npos) << message;
    }
    EXPECT_EQ(errorOf([&] { readModel(dir.path("missing.onnx")); }), 5200);
    // An ONNX file is no dictionary.
    const std::string onnx = dir.write("c.onnx", ox::classifier());
    EXPECT_EQ(errorOf([&] { HDict().ReadDict(onnx.c_str(), HTuple(), HTuple()); }), 5280);
}
