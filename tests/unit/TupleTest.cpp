// The embedded library's tuples, handles, exceptions and system settings.
#include <gtest/gtest.h>

#include <string>

#include "base/Access.h"
#include "base/Errors.h"
#include "HalconCpp.h"
#include "Raises.h"
#include "tools/Tool.h"
#include "base/TupleData.h"

using namespace HalconCpp;

namespace {

// A tool that counts how many of its kind are alive.
class CountedTool : public ixv::Tool {
public:
    explicit CountedTool(const char* type) : type_(type) { ++alive; }
    ~CountedTool() override { --alive; }
    const char* semType() const override { return type_; }
    static int alive;

private:
    const char* type_;
};
int CountedTool::alive = 0;

HHandle makeHandle(const char* type) {
    return ixv::Access::handle(std::make_shared<CountedTool>(type));
}

std::string semType(const HTuple& tuple) {
    return tuple.TupleSemType()[0].C();
}

TEST(Tuple, HoldsIntegersRealsStringsAndHandlesInOrder) {
    HHandle handle = makeHandle("dict");
    HTuple t;
    t.Append(HTuple(Hlong{1} << 40)).Append(2.5).Append("text").Append(handle).Append(HTuple(7));
    ASSERT_EQ(t.Length(), 5);
    EXPECT_EQ(t[0].L(), Hlong{1} << 40);
    EXPECT_EQ(t[1].D(), 2.5);
    EXPECT_STREQ(t[2].S().TextA(), "text");
    EXPECT_STREQ(t[2].C(), "text");
    EXPECT_TRUE(t[3].H().IsInitialized());
    EXPECT_EQ(t[4].I(), 7);
    EXPECT_EQ(t.TupleLength()[0].L(), 5);
}

TEST(Tuple, ConstructsFromArraysAndElements) {
    const Hlong longs[] = {3, -4, 5};
    const double doubles[] = {0.25, -1.5};
    HTuple a(longs, 3);
    HTuple b(doubles, 2);
    EXPECT_EQ(a.Length(), 3);
    EXPECT_EQ(a[1].L(), -4);
    EXPECT_EQ(b[1].D(), -1.5);
    EXPECT_EQ(HTuple(static_cast<const Hlong*>(nullptr), 4).Length(), 0);
    EXPECT_EQ(HTuple(longs, -1).Length(), 0);
    HTuple c(b[0]);
    EXPECT_EQ(c.Length(), 1);
    EXPECT_EQ(c[0].D(), 0.25);
    EXPECT_EQ(HTuple(1.5f)[0].D(), 1.5);
    EXPECT_EQ(HTuple(HString("h"))[0].S().LengthA(), 1u);
}

TEST(Tuple, WrongTypeOrIndexThrows) {
    HTuple t = HTuple(1).Append(2.0).Append("s");
    EXPECT_EQ(errorOf([&] { t[0].D(); }), ixv::err::TupleElementType);
    EXPECT_EQ(errorOf([&] { t[1].L(); }), ixv::err::TupleElementType);
    EXPECT_EQ(errorOf([&] { t[2].I(); }), ixv::err::TupleElementType);
    EXPECT_EQ(errorOf([&] { t[0].S(); }), ixv::err::TupleElementType);
    EXPECT_EQ(errorOf([&] { t[2].H(); }), ixv::err::TupleElementType);
    EXPECT_EQ(errorOf([&] { HTuple(1.0)[0].C(); }), ixv::err::TupleElementType);
    EXPECT_EQ(errorOf([&] { t[3]; }), ixv::err::TupleIndex);
    EXPECT_EQ(errorOf([&] { t[-1]; }), ixv::err::TupleIndex);
    EXPECT_EQ(errorOf([&] { HTuple()[0]; }), ixv::err::TupleIndex);
}

TEST(Tuple, CopiesShareStorageUntilOneChanges) {
    std::vector<Hlong> million(1000000, 7);
    HTuple big = ixv::tupleOfLongs(std::move(million));
    HTuple copy = big;
    EXPECT_EQ(ixv::Access::data(copy).get(), ixv::Access::data(big).get());

    HTuple appended;
    appended.Append(big);  // appending to an empty tuple shares as well
    EXPECT_EQ(ixv::Access::data(appended).get(), ixv::Access::data(big).get());

    copy.Append(HTuple(8));
    EXPECT_NE(ixv::Access::data(copy).get(), ixv::Access::data(big).get());
    EXPECT_EQ(copy.Length(), 1000001);
    EXPECT_EQ(big.Length(), 1000000);
    EXPECT_EQ(appended.Length(), 1000000);

    copy.Clear();
    EXPECT_EQ(copy.Length(), 0);
    EXPECT_EQ(big.Length(), 1000000);
}

TEST(Tuple, AppendingOneByOneGrowsStorageGeometrically) {
    // Strings, integers and reals: each storage kind must keep spare room,
    // or every append copies the whole list and loading n entries costs n^2.
    HTuple strings, longs, reals;
    int stringGrowths = 0, longGrowths = 0, realGrowths = 0;
    for (int i = 0; i < 20000; ++i) {
        const size_t before[] = {ixv::Access::data(strings) ? ixv::Access::data(strings)->mixed.capacity() : 0,
                                 ixv::Access::data(longs) ? ixv::Access::data(longs)->longs.capacity() : 0,
                                 ixv::Access::data(reals) ? ixv::Access::data(reals)->doubles.capacity() : 0};
        strings.Append(HTuple("entry"));
        longs.Append(HTuple(Hlong{i}));
        reals.Append(HTuple(double(i)));
        stringGrowths += ixv::Access::data(strings)->mixed.capacity() != before[0];
        longGrowths += ixv::Access::data(longs)->longs.capacity() != before[1];
        realGrowths += ixv::Access::data(reals)->doubles.capacity() != before[2];
    }
    EXPECT_EQ(strings.Length(), 20000);
    EXPECT_STREQ(strings[19999].C(), "entry");
    EXPECT_EQ(longs[12345].L(), 12345);
    EXPECT_LT(stringGrowths, 40);
    EXPECT_LT(longGrowths, 40);
    EXPECT_LT(realGrowths, 40);

    // Spare room is no licence to write into a shared list.
    HTuple shared = strings;
    strings.Append(HTuple("last"));
    EXPECT_EQ(shared.Length(), 20000);
    EXPECT_EQ(strings.Length(), 20001);
}

TEST(Tuple, AppendKeepsOrderAcrossStorageKinds) {
    HTuple t = HTuple(1).Append(HTuple(2));
    t.Append(HTuple(3.5)).Append("four");
    ASSERT_EQ(t.Length(), 4);
    EXPECT_EQ(t[0].L(), 1);
    EXPECT_EQ(t[1].L(), 2);
    EXPECT_EQ(t[2].D(), 3.5);
    EXPECT_STREQ(t[3].C(), "four");
    HTuple reals = HTuple(1.0).Append(HTuple(2.0)).Append(HTuple());
    EXPECT_EQ(reals.Length(), 2);
    EXPECT_EQ(semType(reals), "real");
}

TEST(Tuple, ElementFlagsGiveOneIntegerPerElement) {
    HTuple t = HTuple(1).Append(2.0).Append("s").Append(makeHandle("dict"));
    auto flags = [](const HTuple& f) {
        std::string s;
        for (Hlong i = 0; i < f.Length(); ++i) s += std::to_string(f[i].L());
        return s;
    };
    EXPECT_EQ(flags(t.TupleIsIntElem()), "1000");
    EXPECT_EQ(flags(t.TupleIsStringElem()), "0010");
    EXPECT_EQ(flags(t.TupleIsHandleElem()), "0001");
    EXPECT_EQ(flags(HTuple(std::vector<Hlong>{1, 2}.data(), 2).TupleIsIntElem()), "11");
    EXPECT_EQ(flags(HTuple(3.0).TupleIsIntElem()), "0");
    EXPECT_EQ(HTuple().TupleIsIntElem().Length(), 0);
    EXPECT_EQ(ixv::tupleOfLongs({}).TupleIsStringElem().Length(), 0);
    HTuple viaOperator;
    TupleIsStringElem(t, &viaOperator);
    EXPECT_EQ(flags(viaOperator), "0010");
}

TEST(Tuple, SemanticTypes) {
    EXPECT_EQ(semType(HTuple(1).Append(2)), "integer");
    EXPECT_EQ(semType(HTuple(1.0)), "real");
    EXPECT_EQ(semType(HTuple("a").Append("b")), "string");
    EXPECT_EQ(semType(HTuple(makeHandle("dict")).Append(makeHandle("dict"))), "dict");
    EXPECT_EQ(semType(HTuple(makeHandle("dict")).Append(makeHandle("matrix"))), "handle");
    EXPECT_EQ(semType(HTuple(HHandle())), "handle");
    EXPECT_EQ(semType(HTuple(1).Append(2.0)), "any");
    EXPECT_EQ(semType(HTuple(makeHandle("dict")).Append(1)), "any");
    EXPECT_EQ(semType(HTuple()), "any");

    HTuple elems = HTuple(1).Append(2.0).Append("s").Append(makeHandle("matrix")).Append(HHandle()).TupleSemTypeElem();
    ASSERT_EQ(elems.Length(), 5);
    const char* expected[] = {"integer", "real", "string", "matrix", "handle"};
    for (int i = 0; i < 5; ++i) EXPECT_STREQ(elems[i].C(), expected[i]);
    HTuple viaOperator;
    TupleSemType(HTuple(3), &viaOperator);
    EXPECT_STREQ(viaOperator[0].C(), "integer");
}

TEST(Handle, ToolDiesWithTheLastCopy) {
    ASSERT_EQ(CountedTool::alive, 0);
    {
        HHandle a = makeHandle("dict");
        HTuple kept(a);
        {
            HHandle b = a;
            EXPECT_EQ(CountedTool::alive, 1);
        }
        a = HHandle();
        EXPECT_FALSE(a.IsInitialized());
        EXPECT_EQ(CountedTool::alive, 1);  // the tuple still holds it
        EXPECT_STREQ(ixv::handleSemType(kept[0].H()), "dict");
    }
    EXPECT_EQ(CountedTool::alive, 0);
    EXPECT_STREQ(ixv::handleSemType(HHandle()), "handle");
}

TEST(System, ClipRegionIsKeptAndUnknownParametersRaise) {
    HTuple value;
    SetSystem("clip_region", "true");
    GetSystem("clip_region", &value);
    EXPECT_STREQ(value[0].C(), "true");
    SetSystem("clip_region", "false");
    GetSystem("clip_region", &value);
    EXPECT_STREQ(value[0].C(), "false");

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

TEST(System, VersionNamesTheEmbeddedBackend) {
    HTuple version;
    GetSystem("version", &version);
    ASSERT_EQ(version.Length(), 1);
    EXPECT_EQ(std::string(version[0].C()).rfind("20.11 (embedded ", 0), 0u);
}

}  // namespace
