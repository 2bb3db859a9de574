// The node of a tuple: values, type labels, matrices, 3D object models and
// arrays of handles.
#include <gtest/gtest.h>

#include "NewDict.h"
#include "AdapterCore/TupleNodes.h"
#include "HalconCpp.h"
#include "NodeLine.h"

using namespace HalconCpp;
using ixtest::nodeLine;

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
    const HTuple dict = newDict();
    SetDictTuple(dict, key, value);
    return dict;
}

TEST(TupleNode, ValuesAreCappedAtAThousandAndTheWholeTupleKept) {
    const auto empty = nodeOf(HTuple());
    EXPECT_EQ(nodeLine(empty.get()), L"key|V|tuple[0]|[]");
    const auto thousand = nodeOf(integers(1000));
    EXPECT_TRUE(thousand->values.size() == 1000u && !thousand->truncated);

    const auto more = nodeOf(integers(1001));
    EXPECT_TRUE(more->values.size() == 1000u && more->totalCount == 1001 && more->truncated);
    EXPECT_EQ(more->tuple.Length(), 1001);
    EXPECT_EQ(more->values.back().intValue, 999);
    EXPECT_EQ(nodeLine(more.get()), L"key|V|integer[1001]|[0, 1, 2, 3, ...]");
}

TEST(TupleNode, TypeLabelsFollowTheSemanticTypesOfAllElements) {
    HTuple late = integers(1500);  // a difference past the kept values still counts
    late.Append(HTuple("x"));
    const std::pair<HTuple, const wchar_t*> cases[] = {
        {HTuple(0.5), L"key|V|real|0.5"},
        {HTuple(Hlong{1}).Append(HTuple(Hlong{2})), L"key|V|integer[2]|[1, 2]"},
        {HTuple(Hlong{1}).Append(HTuple(2.0)), L"key|V|tuple[2]|[1, 2]"},
        {HTuple("a").Append(HTuple("b")), L"key|V|string[2]|['a', 'b']"},
        {late, L"key|V|tuple[1501]|[0, 1, 2, 3, ...]"},
    };
    for (const auto& [tuple, line] : cases) EXPECT_EQ(nodeLine(nodeOf(tuple).get()), line);
}

TEST(TupleNode, MatrixShowsColumnsByRowsAndOneLinePerRow) {
    HTuple matrix;
    CreateMatrix(2, 3, 0, &matrix);
    SetFullMatrix(matrix, HTuple(1.0).Append(HTuple(2.5)).Append(HTuple(-3.0)).Append(HTuple(4.0)).Append(
                              HTuple(1e-5)).Append(HTuple(6.0)));
    const auto node = nodeOf(matrix);
    EXPECT_EQ(nodeLine(node.get()), L"key|O|matrix|3x2|matrix");
    EXPECT_EQ(texts(node->detailLines), (std::vector<std::wstring>{L"[ 1.0  2.5  -3.0 ]", L"[ 4.0  1e-05  6.0 ]"}));
    EXPECT_TRUE(node->detailEntryCount == 1 && node->tuple.Length() == 0);

    CreateMatrix(2, 0, 0, &matrix);
    const auto noColumns = nodeOf(matrix);
    EXPECT_EQ(noColumns->valueSummary, L"0x2");
    EXPECT_EQ(texts(noColumns->detailLines), (std::vector<std::wstring>{L"[  ]", L"[  ]"}));
    CreateMatrix(0, 4, 0, &matrix);
    const auto noRows = nodeOf(matrix);
    EXPECT_TRUE(noRows->detailLines.empty() && noRows->detailEntryCount == 1);
}

TEST(TupleNode, ObjectModel3dShowsItsGeometryOnlyWithPoints) {
    HTuple model;
    GenObjectModel3dFromPoints(HTuple(), HTuple(), HTuple(), &model);
    const auto none = nodeOf(model);
    EXPECT_EQ(nodeLine(none.get()), L"key|O|object_model_3d|points: 0|object_model_3d");
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
    // Arrays of dictionaries alone are the dictionary nodes' test.
    const auto mixed = nodeOf(dictWith("a", HTuple(Hlong{1})).Append(HTuple(Hlong{5})));
    EXPECT_EQ(nodeLine(mixed.get()), L"key|A|array|2 entries");
    EXPECT_EQ(nodeLine(childAt(*mixed, 0)), L"[0]|C|dict|1 key");
    const NativeNode* value = childAt(*mixed, 1);
    EXPECT_EQ(nodeLine(value), L"[1]|V|tuple[1]|5");
    EXPECT_TRUE(value->values[0].type == IxValueType::Integer && value->tuple.Length() == 0 && value->pathIndex == 1);

    // A single handle that is neither matrix, model nor dictionary.
    const auto single = nodeOf(HTuple(HHandle()));
    EXPECT_EQ(nodeLine(single.get()), L"key|A|array|1 entry");
    ASSERT_EQ(childCount(*single), 1u);
    EXPECT_EQ(nodeLine(childAt(*single, 0)), L"[0]|O|<unsupported handle>|");
    EXPECT_EQ(childAt(*single, 0)->pathSegmentKind, IxPathSegmentKind::Index);
}

}  // namespace
