// The node of a tuple: values, type labels, matrices, 3D object models and
// arrays of handles.
#include <gtest/gtest.h>

#include "AdapterCore/TupleNodes.h"
#include "HalconCpp.h"

using namespace HalconCpp;

namespace {

std::vector<std::wstring> texts(const std::vector<NodeText>& lines) {
    return std::vector<std::wstring>(lines.begin(), lines.end());
}

std::unique_ptr<NativeNode> nodeOf(const HTuple& tuple) {
    return buildTupleNode(tuple, L"key", IxPathSegmentKind::Name, 0);
}

HTuple integers(Hlong count) {
    HTuple tuple;
    for (Hlong i = 0; i < count; ++i) tuple.Append(HTuple(i));
    return tuple;
}

HTuple dictWith(const char* key, const HTuple& value) {
    HTuple dict;
    CreateDict(&dict);
    SetDictTuple(dict, key, value);
    return dict;
}

TEST(TupleNode, ValuesAreCappedAtAThousandAndTheWholeTupleKept) {
    const auto empty = nodeOf(HTuple());
    EXPECT_EQ(empty->kind, IxNodeKind::Value);
    EXPECT_EQ(empty->typeLabel, L"tuple[0]");
    EXPECT_EQ(empty->valueSummary, L"[]");
    EXPECT_EQ(empty->totalCount, 0);
    EXPECT_FALSE(empty->truncated);

    const auto thousand = nodeOf(integers(1000));
    EXPECT_EQ(thousand->values.size(), 1000u);
    EXPECT_FALSE(thousand->truncated);
    EXPECT_EQ(thousand->typeLabel, L"integer[1000]");

    const auto more = nodeOf(integers(1001));
    EXPECT_EQ(more->values.size(), 1000u);
    EXPECT_EQ(more->totalCount, 1001);
    EXPECT_TRUE(more->truncated);
    EXPECT_EQ(more->tuple.Length(), 1001);
    EXPECT_EQ(more->values.back().intValue, 999);
    EXPECT_EQ(more->valueSummary, L"[0, 1, 2, 3, ...]");
    EXPECT_EQ(more->label, L"key");
    EXPECT_EQ(more->pathSegmentKind, IxPathSegmentKind::Name);
}

TEST(TupleNode, TypeLabelsFollowTheSemanticTypesOfAllElements) {
    EXPECT_EQ(nodeOf(HTuple(Hlong{7}))->typeLabel, L"integer");
    EXPECT_EQ(nodeOf(HTuple(0.5))->typeLabel, L"real");
    EXPECT_EQ(nodeOf(HTuple(0.5))->valueSummary, L"0.5");
    EXPECT_EQ(nodeOf(HTuple(Hlong{1}).Append(HTuple(Hlong{2})))->typeLabel, L"integer[2]");
    EXPECT_EQ(nodeOf(HTuple(Hlong{1}).Append(HTuple(2.0)))->typeLabel, L"tuple[2]");
    const auto strings = nodeOf(HTuple("a").Append(HTuple("b")));
    EXPECT_EQ(strings->typeLabel, L"string[2]");
    EXPECT_EQ(strings->valueSummary, L"['a', 'b']");
    // A difference past the kept values still counts.
    HTuple late = integers(1500);
    late.Append(HTuple("x"));
    EXPECT_EQ(nodeOf(late)->typeLabel, L"tuple[1501]");
}

TEST(TupleNode, MatrixShowsColumnsByRowsAndOneLinePerRow) {
    HTuple matrix;
    CreateMatrix(2, 3, 0, &matrix);
    SetFullMatrix(matrix, HTuple(1.0).Append(HTuple(2.5)).Append(HTuple(-3.0)).Append(HTuple(4.0)).Append(
                              HTuple(1e-5)).Append(HTuple(6.0)));
    const auto node = nodeOf(matrix);
    EXPECT_EQ(node->kind, IxNodeKind::Object);
    EXPECT_EQ(node->typeLabel, L"matrix");
    EXPECT_EQ(node->objectClass, L"matrix");
    EXPECT_EQ(node->valueSummary, L"3x2");
    ASSERT_EQ(node->detailLines.size(), 2u);
    EXPECT_EQ(node->detailLines[0], L"[ 1.0  2.5  -3.0 ]");
    EXPECT_EQ(node->detailLines[1], L"[ 4.0  1e-05  6.0 ]");
    EXPECT_EQ(node->detailEntryCount, 1);
    EXPECT_EQ(node->tuple.Length(), 0);

    CreateMatrix(2, 0, 0, &matrix);
    const auto noColumns = nodeOf(matrix);
    EXPECT_EQ(noColumns->valueSummary, L"0x2");
    EXPECT_EQ(texts(noColumns->detailLines), (std::vector<std::wstring>{L"[  ]", L"[  ]"}));
    CreateMatrix(0, 4, 0, &matrix);
    const auto noRows = nodeOf(matrix);
    EXPECT_TRUE(noRows->detailLines.empty());
    EXPECT_EQ(noRows->detailEntryCount, 1);
}

TEST(TupleNode, ObjectModel3dShowsItsGeometryOnlyWithPoints) {
    HTuple model;
    GenObjectModel3dFromPoints(HTuple(), HTuple(), HTuple(), &model);
    const auto none = nodeOf(model);
    EXPECT_EQ(none->typeLabel, L"object_model_3d");
    EXPECT_EQ(none->objectClass, L"object_model_3d");
    EXPECT_EQ(none->valueSummary, L"points: 0");
    EXPECT_EQ(texts(none->detailLines), std::vector<std::wstring>{L"object_model_3d: points: 0, primitive type: none"});

    GenObjectModel3dFromPoints(HTuple(0.0).Append(HTuple(2.0)), HTuple(0.0).Append(HTuple(0.0)),
                               HTuple(1.0).Append(HTuple(1.0)), &model);
    const auto two = nodeOf(model);
    EXPECT_EQ(two->valueSummary, L"points: 2");
    EXPECT_EQ(texts(two->detailLines),
              std::vector<std::wstring>{L"object_model_3d: points: 2, center: [1.0, 0.0, 1.0], diameter: 2.0, "
                                        L"bounding box: [0.0, 0.0, 1.0, 2.0, 0.0, 1.0], primitive type: none"});
}

TEST(TupleNode, HandlesMakeAnArrayWhoseDictionariesAreExpandedByIndex) {
    const HTuple first = dictWith("a", HTuple(Hlong{1}));
    const HTuple second = dictWith("b", HTuple("x"));
    const auto pair = nodeOf(HTuple(first).Append(second));
    EXPECT_EQ(pair->kind, IxNodeKind::Array);
    EXPECT_EQ(pair->typeLabel, L"array");
    EXPECT_EQ(pair->valueSummary, L"2 entries");
    ASSERT_EQ(childCount(*pair), 2u);
    for (int i = 0; i < 2; ++i) {
        const NativeNode& child = *childAt(*pair, static_cast<size_t>(i));
        EXPECT_EQ(child.label, i == 0 ? L"[0]" : L"[1]");
        EXPECT_EQ(child.typeLabel, L"dict");
        EXPECT_EQ(child.pathSegmentKind, IxPathSegmentKind::Index);
        EXPECT_EQ(child.pathIndex, i);
    }
    EXPECT_EQ(childAt(*childAt(*pair, 1), 0)->valueSummary, L"'x'");

    const auto mixed = nodeOf(HTuple(first).Append(HTuple(Hlong{5})));
    const NativeNode& value = *childAt(*mixed, 1);
    EXPECT_EQ(value.kind, IxNodeKind::Value);
    EXPECT_EQ(value.typeLabel, L"tuple[1]");
    EXPECT_EQ(value.values[0].type, IxValueType::Integer);
    EXPECT_EQ(value.valueSummary, L"5");
    EXPECT_EQ(value.tuple.Length(), 0);
    EXPECT_EQ(value.pathIndex, 1);

    // A single handle that is neither matrix, model nor dictionary.
    const auto single = nodeOf(HTuple(HHandle()));
    EXPECT_EQ(single->kind, IxNodeKind::Array);
    EXPECT_EQ(single->valueSummary, L"1 entry");
    ASSERT_EQ(childCount(*single), 1u);
    EXPECT_EQ(childAt(*single, 0)->typeLabel, L"<unsupported handle>");
    EXPECT_EQ(childAt(*single, 0)->kind, IxNodeKind::Object);
    EXPECT_EQ(childAt(*single, 0)->pathSegmentKind, IxPathSegmentKind::Index);
}

}  // namespace
