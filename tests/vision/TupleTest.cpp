// The embedded library's tuples, handles and exceptions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "NewDict.h"
#include "base/Access.h"
#include "base/Errors.h"
#include "HalconCpp.h"
#include "Raises.h"
#include "TestFiles.h"
#include "tools/Tool.h"
#include "TupleText.h"
#include "TupleValues.h"
#include "base/TupleData.h"

using namespace HalconCpp;
using ixv::Access;

namespace {

// A tool of a given semantic type.
class TypedTool : public ixv::Tool {
public:
    explicit TypedTool(const char* type) : type_(type) {}
    const char* semType() const override { return type_; }

private:
    const char* type_;
};

HHandle makeHandle(const char* type) {
    return Access::handle(std::make_shared<TypedTool>(type));
}

// Elements are read everywhere else; here, what reads them wrongly.
TEST(Tuple, ArraysOfAnyLengthAndElementsOfTheWrongTypeOrIndex) {
    const Hlong longs[] = {3, -4, 5};
    const double doubles[] = {0.25, -1.5};
    // Arrays from nullptr or of a negative length are empty: appended, they add nothing.
    EXPECT_EQ(ixtest::describe(HTuple(HTuple(longs, 3)[1]).Append(HTuple(doubles, 2)[1]).Append(HTuple(static_cast<const Hlong*>(nullptr), 4))
                                   .Append(HTuple(longs, -1))),
              "(-4,-1.5)");

    const HTuple t = HTuple(1).Append(2.0).Append("s").Append(makeHandle("dict"));
    EXPECT_TRUE(t[3].H().IsInitialized());
    const std::vector<Herror> errors = {errorOf([&] { t[0].D(); }), errorOf([&] { t[1].L(); }), errorOf([&] { t[0].S(); }),
                                        errorOf([&] { t[2].H(); }), errorOf([&] { t[4]; }), errorOf([&] { t[-1]; })};
    const Herror type = ixv::err::TupleElementType, index = ixv::err::TupleIndex;
    EXPECT_EQ(errors, (std::vector<Herror>{type, type, type, type, index, index}));
}

TEST(Tuple, CopiesShareStorageUntilOneChanges) {
    HTuple big = ixv::tupleOfLongs(std::vector<Hlong>(1000, 7));
    HTuple copy = big, appended;
    appended.Append(big);  // appending to an empty tuple shares as well
    EXPECT_EQ(ixv::storedOf(copy), ixv::storedOf(big));
    EXPECT_EQ(ixv::storedOf(appended), ixv::storedOf(big));

    copy.Clear();  // appending to a shared list is the growth test's
    EXPECT_EQ(big.Length(), 1000);
}

TEST(Tuple, AppendingOneByOneGrowsStorageGeometrically) {
    // Strings, integers and reals: each storage kind must keep spare room,
    // or every append copies the whole list and loading n entries costs n^2.
    const auto capacity = [](const HTuple& t) {
        const ixv::TupleData* d = ixv::storedOf(t);
        return d ? d->capacity() : 0;
    };
    using Make = HTuple (*)(int);
    for (Make make : {Make([](int) { return HTuple("entry"); }), Make([](int i) { return HTuple(Hlong{i}); }),
                      Make([](int i) { return HTuple(double(i)); })}) {
        HTuple tuple;
        int growths = 0;
        for (int i = 0; i < 20000; ++i) {
            const size_t before = capacity(tuple);
            tuple.Append(make(i));
            growths += capacity(tuple) != before;
        }
        EXPECT_LT(growths, 40) << ixtest::describe(make(1));
        // Spare room is no licence to write into a shared list.
        HTuple shared = tuple;
        tuple.Append(make(-1));
        EXPECT_EQ(ixtest::describe(HTuple(shared[12345]).Append(tuple[20000]).Append(shared.Length())),
                  ixtest::describe(make(12345).Append(make(-1)).Append(20000)));
    }
}

TEST(Tuple, ElementFlagsAndSemanticTypes) {
    const HTuple t = HTuple(1).Append(2.0).Append("s").Append(makeHandle("dict"));
    // The string flags of every storage kind are read, and so checked, by the full value texts.
    EXPECT_EQ(ixtest::longs(t.TupleIsIntElem().Append(t.TupleIsHandleElem())), (std::vector<Hlong>{1, 0, 0, 0, 0, 0, 0, 1}));
    EXPECT_EQ(ixv::tupleOfLongs({}).TupleIsStringElem().Length(), 0);

    const std::pair<HTuple, const char*> types[] = {
        {HTuple(1).Append(2), "integer"},
        {HTuple(1.0).Append(HTuple(2.0)).Append(HTuple()), "real"},
        {HTuple("a").Append("b"), "string"},
        {HTuple(makeHandle("dict")).Append(makeHandle("dict")), "dict"},
        {HTuple(makeHandle("dict")).Append(makeHandle("matrix")), "handle"},
        {HTuple(makeHandle("dict")).Append(1), "any"},
        {HTuple(), "any"},
    };
    for (const auto& [tuple, type] : types) EXPECT_STREQ(tuple.TupleSemType()[0].C(), type);
    const HTuple elems = HTuple(1).Append(2.0).Append("s").Append(makeHandle("matrix")).Append(HHandle()).TupleSemTypeElem();
    EXPECT_EQ(ixtest::strings(elems), (std::vector<std::string>{"integer", "real", "string", "matrix", "handle"}));
}

TEST(Tuple, FlagsOfATupleOfOneKindAreHeldOnceAndReadAsAnArray) {
    const std::vector<Hlong> values(100000, 7);
    const HTuple tuple(values.data(), static_cast<Hlong>(values.size()));
    const HTuple flags = tuple.TupleIsIntElem();
    EXPECT_EQ(ixv::storedOf(flags)->capacity(), 1u);  // not 100,000 integers
    EXPECT_EQ(ixtest::describe(HTuple(flags.Length()).Append(flags[99999]).Append(tuple.TupleIsStringElem()[5])
                                   .Append(flags.TupleSemType())),
              "(100000,1,0,'integer')");

    // Grown at either end; the shared flags are untouched.
    HTuple grown = flags, appended(Hlong{3});
    grown.Append(HTuple(2.5));
    appended.Append(flags);
    EXPECT_EQ(ixtest::describe(HTuple(grown.Length()).Append(grown[500]).Append(grown[100000]).Append(flags.Length())
                                   .Append(appended.Length()).Append(appended[100000])),
              "(100001,1,2.5,100000,100001,1)");
    HTuple vast = ixv::tupleOfRepeated(1, Hlong{1} << 60);  // too many to write out: unchanged by a failed append
    EXPECT_ANY_THROW(vast.Append(HTuple(2.5)));
    EXPECT_EQ(vast.Length(), Hlong{1} << 60);

    // Written and read back, in both dictionary formats.
    TempDir dir;
    const HTuple dict = newDict();
    HTuple back, read;
    SetDictTuple(dict, "flags", flags);
    for (const char* name : {"flags.hdict", "flags.json"}) {
        const std::string path = dir.path(name);
        WriteDict(dict, path.c_str(), HTuple(), HTuple());
        ReadDict(path.c_str(), "convert_json_arrays_to", "tuple", &back);
        GetHandleTuple(back, "flags", &read);
        EXPECT_EQ(ixtest::describe(HTuple(read.Length()).Append(read[77])), "(100000,1)") << name;
    }
}

TEST(System, UnknownParametersAndValuesRaise) {
    try {
        SetSystem("no_such_parameter", "x");
        FAIL() << "expected an exception";
    } catch (const HException& e) {
        EXPECT_EQ(e.ErrorCode(), 1301u);
        EXPECT_STREQ(e.ProcName().TextA(), "set_system");
        EXPECT_EQ(std::string(e.ErrorMessage().TextA()).rfind("Wrong value of control parameter: 1", 0), 0u);
    }
    EXPECT_EQ(errorOf([] { SetSystem("clip_region", "maybe"); }), 1302u);
    EXPECT_EQ(errorOf([] { SetSystem(HTuple(), "true"); }), 1401u);
}

}  // namespace
