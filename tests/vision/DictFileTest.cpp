// The dictionary file: every kind of content written and read back, the
// documented example, damaged and hostile files refused whole, and what the
// writer refuses (cycles, depth, explosions of shared dictionaries, handles it
// cannot hold).
#include <gtest/gtest.h>

#include "DictFileWriter.h"
#include "NewDict.h"
#include "TestFiles.h"
#include "TupleText.h"
#include "base/Access.h"
#include "base/TupleData.h"
#include "formats/hdict/HdictFormat.h"
#include "tools/Dict.h"
#include "tools/ObjectModel3d.h"

using namespace HalconCpp;
using ixtest::hdict::Bytes;

namespace {

Bytes encode(const HTuple& dict, bool raise = true) {
    return ixv::formats::hdict::encode(dict[0].H(), raise);
}

HTuple decode(const Bytes& bytes) {
    const auto file = ixv::formats::ByteSource::inMemory(bytes.data(), bytes.size(), "read_dict");
    ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("hdict", &ixv::formats::Format::readHandle), file);
    return HTuple(ixv::formats::hdict::readHandle(file, budget, HTuple(), HTuple()));
}

std::string decodeError(const Bytes& bytes) {
    return messageOf([&] { decode(bytes); });
}

// A tool the file cannot hold (as a deep-learning model).
struct Foreign : ixv::Tool {
    const char* semType() const override { return "dl_model"; }
};

}  // namespace

TEST(DictFile, EveryKindOfContentRoundTrips) {
    TempDir dir;
    HTuple root = newDict(), inner = newDict(), shared = newDict(), matrix, model;
    SetDictTuple(root, "integers", HTuple(Hlong{1}).Append(Hlong{-5}).Append(Hlong{INT64_MIN}));
    SetDictTuple(root, -7, HTuple(2.5).Append(-0.0));
    SetDictTuple(root, "empty", HTuple());
    SetDictTuple(root, "größe", HTuple("ünïcode"));
    CreateMatrix(2, 3, HTuple(1.0).Append(2.0).Append(3.0).Append(4.0).Append(5.0).Append(6.0), &matrix);
    auto points = std::make_shared<ixv::ObjectModel3d>();
    points->x = {0, 1, 2}, points->y = {0, 0, 1}, points->z = {3, 3, 3};
    points->nx = {0, 0, 0}, points->ny = {0, 0, 0}, points->nz = {1, 1, 1};
    points->triangles = {0, 1, 2};
    points->polygonStarts = {0, 3}, points->polygonIndices = {0, 1, 2, 2, 1};
    points->attributes.push_back({"quality", false, {0.5, 0.25, 1}});
    points->primitiveType = "plane";
    points->primitiveParameters = {0, 0, 3, 0, 0, 1, 2};
    model = HTuple(ixv::handleOf(points));
    SetDictTuple(inner, 0, HTuple("x"));
    SetDictTuple(inner, "nothing", HTuple(HHandle()));
    SetDictTuple(shared, "s", HTuple(Hlong{9}));
    SetDictTuple(root, "mixed", HTuple(Hlong{1}).Append(3.5).Append("text").Append(HTuple(HHandle())).Append(inner)
                                    .Append(matrix).Append(model).Append(newDict()).Append(shared).Append(shared));
    SetDictTuple(root, "again", shared);
    HObject image, circle, reduced, objects, none;
    GenImageConst(&image, "uint2", 8, 6);
    GenCircle(&circle, 3.0, 3.0, 2.0);
    ReduceDomain(image, circle, &reduced);
    SetDictObject(reduced.ConcatObj(circle), root, "objects");
    SetDictObject(none, root, "no objects");

    WriteDict(root, dir.path("all.hdict").c_str(), HTuple(), HTuple());
    HTuple back;
    ReadDict(dir.path("all.hdict").c_str(), HTuple(), HTuple(), &back);
    EXPECT_EQ(encode(back), encode(root));

    // Equal encodings leave the blocks whose reading and writing could be wrong alike.
    HDict view(back[0].H());
    const HTuple mixed = view.GetDictTuple("mixed");
    ASSERT_EQ(mixed.Length(), 10);
    HTuple values;
    GetFullMatrix(mixed[5], &values);
    EXPECT_DOUBLE_EQ(values[5].D(), 6.0);
    const auto& modelBack = ixv::toolAs<ixv::ObjectModel3d>(mixed[6].H(), "test");
    EXPECT_EQ(modelBack.nz, points->nz);
    EXPECT_EQ(modelBack.polygonIndices, points->polygonIndices);
    // A dictionary shared under several places is stored once per place.
    EXPECT_NE(ixv::Access::tool(mixed[8].H()), ixv::Access::tool(mixed[9].H()));
    EXPECT_EQ(HDict(mixed[9].H()).GetDictTuple("s")[0].L(), 9);
    const HObject objectsBack = view.GetDictObject("objects");
    ASSERT_EQ(objectsBack.CountObj(), 2);
    EXPECT_NE(shapeOf(dynamic_cast<const ixv::Image&>(*ixv::objectsOf(objectsBack)[0])).find(" domain "), std::string::npos);
    // An all-integer tuple loads as one array, not element by element.
    EXPECT_EQ(ixv::storedOf(view.GetDictTuple("integers"))->kind(), ixv::TupleData::Kind::Longs);
}

TEST(DictFile, TheDocumentedExampleReadsAsDescribed) {
    const Bytes bytes = {
        0x89, 0x49, 0x58, 0x44, 0x49, 0x43, 0x0D, 0x0A, 1, 0, 0, 0, 0, 0, 0, 0,  // header
        2, 0, 0, 0, 0, 0, 0, 0,                                                  // 2 entries
        1, 1, 0, 0, 0, 'a', 1, 2, 0, 0, 0, 0, 0, 0, 0,                           // "a": 2 integers
        1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0,                          //   1, 2
        2, 7, 0, 0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0, 0,                    // 7: 3 elements
        3, 2, 0, 0, 0, 'h', 'i', 0x10,                                           //   "hi", null handle
        0x11, 1, 0, 0, 0, 0, 0, 0, 0,                                            //   a dictionary of 1 entry
        1, 1, 0, 0, 0, 'b', 2, 1, 0, 0, 0, 0, 0, 0, 0,                           //     "b": 1 real
        0, 0, 0, 0, 0, 0, 0xE0, 0x3F};                                         //       0.5
    ASSERT_EQ(bytes.size(), 113u);
    const HTuple dict = decode(bytes);
    EXPECT_EQ(ixtest::describe(dict), "{a=(1,2),[7]=('hi',null,{b=0.5})}");
    EXPECT_EQ(encode(dict), bytes);
}

TEST(DictFile, DamagedFilesAreRefusedWhole) {
    HTuple root = newDict(), inner = newDict(), matrix;
    CreateMatrix(1, 2, 0.5, &matrix);
    HObject region;
    GenRectangle1(&region, 0, 0, 1, 1);
    SetDictObject(region, inner, "r");
    SetDictTuple(inner, 4, HTuple(matrix).Append("s"));
    SetDictTuple(root, "a", HTuple(inner).Append(1.5));
    const Bytes good = encode(root);
    for (size_t size = 0; size < good.size(); ++size) {
        const std::string message = decodeError(Bytes(good.begin(), good.begin() + long(size)));
        EXPECT_EQ(message.rfind("Invalid dictionary file: ", 0), 0u) << "cut to " << size << ": " << message;
    }
    EXPECT_NE(decodeError(Bytes(good.begin(), good.end() - 11)).find("truncated string in the value of key 'a'/[0]/4 at offset"),
              std::string::npos);

    using ixtest::hdict::put;
    auto zeros = [](Bytes& out, size_t n) { out.resize(out.size() + n, 0); };
    auto with = [&](size_t at, uint64_t value, int bytes) {
        Bytes changed = good;
        for (int i = 0; i < bytes; ++i) changed[at + size_t(i)] = uint8_t(value >> (8 * i));
        return decodeError(changed);
    };
    Bytes trailing = good;
    trailing.push_back(0);
    EXPECT_EQ(decodeError(trailing), "Invalid dictionary file: 1 bytes after the root dictionary at offset " +
                                         std::to_string(good.size()));
    EXPECT_EQ(with(8, 2, 4), "Invalid dictionary file: unsupported version 2 at offset 8");
    EXPECT_EQ(with(16, uint64_t{1} << 61, 8),
              "Invalid dictionary file: entry count 2305843009213693952 exceeds the " + std::to_string(good.size() - 24) +
                  " bytes left in the root dictionary at offset 16");
    EXPECT_EQ(with(24, 9, 1), "Invalid dictionary file: unknown key tag 9 in the root dictionary at offset 24");
    EXPECT_EQ(with(30, 7, 1), "Invalid dictionary file: unknown value tag 7 in the value of key 'a' at offset 30");
    EXPECT_NE(with(39, 0x55, 1).find("unknown element tag 85 in the value of key 'a' at offset 39"), std::string::npos);

    // Counts beyond the limits, and indices that name no point.
    Bytes matrixFile = ixtest::hdict::header();
    put(matrixFile, 1, 8), ixtest::hdict::key(matrixFile, "m"), matrixFile.push_back(3), put(matrixFile, 1, 8);
    matrixFile.push_back(0x12), put(matrixFile, uint64_t{1} << 20, 8), put(matrixFile, uint64_t{1} << 20, 8);
    EXPECT_NE(decodeError(matrixFile).find("matrix of 1048576 x 1048576 elements exceeds the limit"), std::string::npos);
    Bytes modelFile = ixtest::hdict::header();
    put(modelFile, 1, 8), ixtest::hdict::key(modelFile, "m"), modelFile.push_back(3), put(modelFile, 1, 8);
    modelFile.push_back(0x13), put(modelFile, 1, 8), zeros(modelFile, 12), modelFile.push_back(0);
    put(modelFile, 1, 8), put(modelFile, 0, 8), put(modelFile, 1, 4);  // a triangle (0, 0, 1) of a 1-point model
    zeros(modelFile, 16), put(modelFile, 0, 4), put(modelFile, 0, 4);
    EXPECT_NE(decodeError(modelFile).find("triangle point index 1 of a model of 1 points in the value of key 'm'/[0]"),
              std::string::npos);

    // The same key twice, and an object block that is no object file.
    Bytes twice = ixtest::hdict::header();
    put(twice, 2, 8);
    for (int i = 0; i < 2; ++i) twice.push_back(2), put(twice, 5, 8), twice.push_back(1), put(twice, 0, 8);
    EXPECT_EQ(decodeError(twice), "Invalid dictionary file: key 5 appears twice in the root dictionary at offset 42");
    Bytes block = ixtest::hdict::header();
    put(block, 1, 8), ixtest::hdict::key(block, "o"), block.push_back(4), put(block, 16, 8), zeros(block, 16);
    EXPECT_NE(decodeError(block).find("object block is no object file"), std::string::npos);
}

TEST(DictFile, NestingIsBoundedAt512LevelsBothWays) {
    EXPECT_EQ(decodeError(ixtest::hdict::nested(512)), "");
    EXPECT_NE(decodeError(ixtest::hdict::nested(513)).find("dictionary nesting of 513 levels in the value of key "
                                                          "'d'/[0]/'d'/[0]/.../'d'/[0]/"),
              std::string::npos);

    auto chain = [](int levels) {
        HTuple root = newDict(), at = root;
        for (int level = 1; level < levels; ++level) {
            HTuple next = newDict();
            SetDictTuple(at, "d", next);
            at = next;
        }
        return root;
    };
    EXPECT_EQ(encode(chain(512)), ixtest::hdict::nested(512));
    EXPECT_NE(messageOf([&] { encode(chain(513)); }).find("exceeds the limit of 512 levels"), std::string::npos);
}

// 100,000 integer keys that all share one hash under a fixed function (the
// high half of k * 0x9e3779b97f4a7c15): written and loaded, they spread over
// the key index, whose longest run of occupied slots, the most a lookup
// walks, stays short; with that function it was all of them.
TEST(DictFile, KeysChosenToShareAFixedHashSpreadOverTheIndex) {
    const uint64_t golden = 0x9e3779b97f4a7c15ull;
    uint64_t inverse = golden;  // golden * inverse == 1 (mod 2^64), by Newton's iteration
    for (int i = 0; i < 5; ++i) inverse *= 2 - golden * inverse;
    HTuple dict = newDict();
    for (uint64_t i = 0; i < 100000; ++i) SetDictTuple(dict, Hlong((0x5eedull << 32 | i) * inverse), HTuple(Hlong(i)));
    const HTuple back = decode(encode(dict));
    const auto& loaded = static_cast<const ixv::Dict&>(*ixv::Access::tool(back[0].H()));
    const auto index = ixv::Dict::indexOf(*ixv::storedOf(loaded.keys()));
    size_t run = 0, longest = 0;
    for (uint64_t slot : *index)
        longest = std::max(longest, run = slot ? run + 1 : 0);
    EXPECT_LT(longest, 200u);
    EXPECT_EQ(HDict(back[0].H()).GetDictTuple(Hlong((0x5eedull << 32 | 99999) * inverse))[0].L(), 99999);
}

TEST(DictFile, WritingRefusesCyclesAndExplosionsOfSharedDictionaries) {
    TempDir dir;
    HTuple self = newDict(), holder = newDict();
    SetDictTuple(holder, "x", HTuple(Hlong{1}).Append(self));
    SetDictTuple(self, "h", holder);
    EXPECT_EQ(errorOf([&] { WriteDict(self, dir.path("self.hdict").c_str(), HTuple(), HTuple()); }), 2455u);
    EXPECT_EQ(messageOf([&] { encode(self); }),
              "Handle type does not serialize (the dictionary at key 'h'/[0]/'x'/[1] contains itself; a file holds no "
              "cycle)");
    EXPECT_FALSE(std::filesystem::exists(dir.path("self.hdict")));
    SetDictTuple(self, "h", HTuple());  // frees the cycle

    // 64 levels, each holding the next twice: 2^64 dictionaries once expanded.
    HTuple top = newDict();
    for (int level = 0; level < 64; ++level) {
        HTuple next = newDict();
        SetDictTuple(next, "twice", HTuple(top).Append(top));
        top = next;
    }
    EXPECT_NE(messageOf([&] { encode(top); }).find("handles (a dictionary is counted once per place) at key 'twice'/[0]"),
              std::string::npos);
}

TEST(DictFile, ContentThatDoesNotSerializeRaisesOrIsLeftOut) {
    TempDir dir;
    HTuple root = newDict(), inner = newDict();
    SetDictTuple(inner, 3, HTuple("kept").Append(HTuple(ixv::handleOf(std::make_shared<Foreign>()))));
    SetDictTuple(root, "inner", inner);
    const std::string path = dir.path("model.hdict");
    EXPECT_EQ(messageOf([&] { WriteDict(root, path.c_str(), HTuple(), HTuple()); }),
              "Handle type does not serialize (a dl_model at key 'inner'/[0]/3/[1])");
    EXPECT_EQ(errorOf([&] {
                  WriteDict(root, path.c_str(), HTuple("raise_error_if_content_not_serializable"), HTuple("true"));
              }),
              2455u);
    WriteDict(root, path.c_str(), HTuple("raise_error_if_content_not_serializable"), HTuple("false"));
    HTuple back;
    ReadDict(path.c_str(), HTuple(), HTuple(), &back);
    const HTuple tuple = HDict(HDict(back[0].H()).GetDictTuple("inner")[0].H()).GetDictTuple(3);
    ASSERT_EQ(tuple.Length(), 2);
    EXPECT_STREQ(tuple[0].C(), "kept");
    EXPECT_FALSE(tuple[1].H().IsInitialized());
}
