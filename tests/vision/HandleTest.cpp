// Dictionaries, matrices and 3D object models through the vendor's operators.
#include <gtest/gtest.h>

#include <string>

#include "HalconCpp.h"
#include "NewDict.h"
#include "Raises.h"
#include "TupleText.h"

using namespace HalconCpp;

TEST(Dict, KeysKeepTheirOrderAndReplacementKeepsThePlace) {
    HTuple dict = newDict();
    for (int i = 0; i < 20; ++i) SetDictTuple(dict, HTuple(("k" + std::to_string(i)).c_str()), HTuple(i));
    SetDictTuple(dict, 7, HTuple("seven"));
    SetDictTuple(dict, "k3", HTuple(3.5));  // past the linear search: found through the index
    HObject region;
    GenRectangle1(&region, 0, 0, 2, 2);
    SetDictObject(region, dict, "k0");

    EXPECT_EQ(ixtest::describe(dict), "{k0=<objects>,k1=1,k2=2,k3=3.5,k4=4,k5=5,k6=6,k7=7,k8=8,k9=9,k10=10,k11=11,k12=12,"
                                      "k13=13,k14=14,k15=15,k16=16,k17=17,k18=18,k19=19,[7]='seven'}");
    HDict view(dict[0].H());
    EXPECT_EQ(ixtest::describe(view.GetDictTuple("k3").Append(view.GetDictTuple(7))), "(3.5,'seven')");  // through the index
    EXPECT_STREQ(view.GetDictParam("key_data_type", "k0")[0].C(), "object");
    EXPECT_EQ(view.GetDictObject("k0").CountObj(), 1);
    EXPECT_EQ(view.GetDictParam(HString("key_exists"), HTuple("k1").Append(HTuple("nope")))[1].L(), 0);

    EXPECT_EQ(errorOf([&] { view.GetDictTuple("nope"); }), 2894u);
    EXPECT_EQ(errorOf([&] { view.GetDictTuple("k0"); }), 1302u);  // holds objects
    EXPECT_EQ(errorOf([&] { SetDictTuple(dict, 1.5, HTuple()); }), 1302u);
    EXPECT_EQ(errorOf([&] { HDict().GetDictTuple("k"); }), 2453u);

    HTuple matrix;
    CreateMatrix(1, 1, 0, &matrix);
    EXPECT_EQ(errorOf([&] { HDict(matrix[0].H()).GetDictTuple("k"); }), 2404u);
}

TEST(Dict, NestingOfAnyDepthAndSelfContainmentAreSafe) {
    HTuple outer = newDict();
    HTuple inner = outer;
    for (int i = 0; i < 200000; ++i) {  // destroyed without a stack frame per level
        HTuple next = newDict();
        SetDictTuple(inner, "next", next);
        inner = next;
    }
    inner = HTuple();
    outer = HTuple();

    HTuple self = newDict();
    SetDictTuple(self, "me", self);
    SetDictTuple(self, "again", self);
    HDict view(self[0].H());
    EXPECT_EQ(HDict(view.GetDictTuple("me")[0].H()).GetDictParam("keys", HTuple()).Length(), 2);
    ClearHandle(self);  // breaks the cycle
    EXPECT_EQ(view.GetDictParam("keys", HTuple()).Length(), 0);
}

TEST(Handles, GenericKeysOfEveryKind) {
    HTuple dict = newDict(), keys, value;
    SetDictTuple(dict, 5, HTuple(1.25));
    GetHandleParam(dict, "keys", HTuple(), &keys);
    GetHandleTuple(dict, 5, &value);
    EXPECT_EQ(ixtest::describe(keys.Append(value)), "(5,1.25)");

    // Sizes, values and the models' centre and diameter are read by the tree's nodes and their tests, a
    // matrix of given values by the dictionary file's.
    HTuple matrix;
    CreateMatrix(2, 3, 0, &matrix);
    GetHandleParam(matrix, "key_data_type", "values", &value);
    EXPECT_STREQ(value[0].C(), "tuple");

    HTuple model;
    const double x[] = {0, 2}, y[] = {0, 4}, z[] = {1, 5};
    GenObjectModel3dFromPoints(HTuple(x, 2), HTuple(y, 2), HTuple(z, 2), &model);
    GetObjectModel3dParams(model, HTuple("num_points").Append(HTuple("center")), &value);
    EXPECT_EQ(value.Length(), 4);  // several parameters at once
    GetHandleParam(model, "keys", HTuple(), &keys);
    EXPECT_EQ(keys.Length(), 14);  // no normals, no primitive
    EXPECT_EQ(errorOf([&] { GetObjectModel3dParams(model, "primitive_type", &value); }), 1302u);

    GenObjectModel3dFromPoints(HTuple(), HTuple(), HTuple(), &model);
    GetHandleParam(model, "keys", HTuple(), &keys);
    EXPECT_EQ(keys.Length(), 8);
    EXPECT_EQ(errorOf([&] { GetHandleTuple(model, "center", &value); }), 2894u);
    EXPECT_EQ(errorOf([&] { GetHandleParam(HTuple(HHandle()), "keys", HTuple(), &value); }), 2453u);
}
