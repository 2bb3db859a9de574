// Summaries of regions, XLD and images, and the node of an object set.
#include <gtest/gtest.h>

#include "AdapterCore/ObjectNodes.h"
#include "AdapterCore/Summaries.h"
#include "HalconCpp.h"
#include "NodeLine.h"

using namespace HalconCpp;

namespace {

HObject rectangle(Hlong r1, Hlong c1, Hlong r2, Hlong c2) {
    HObject region;
    GenRectangle1(&region, r1, c1, r2, c2);
    return region;
}

HObject image(const char* type, Hlong width, Hlong height, int channels = 1) {
    HObject single, result;
    GenImageConst(&single, type, width, height);
    if (channels == 1) return single;
    Compose3(single, single, single, &result);
    return result;
}

HObject contour(const HTuple& rows, const HTuple& columns) {
    HObject xld;
    GenContourPolygonXld(&xld, rows, columns);
    return xld;
}

TEST(Summaries, RegionsAndXldShowAreaCentrePointsAndLengths) {
    // An empty region and a single image are the object nodes' table below.
    HObject polygon, parallels;
    EXPECT_EQ(regionValueSummary(rectangle(0, 0, 19, 23)), L"area: 480; center: 9.5, 11.5");

    const HObject open = contour(HTuple(0.0).Append(0.0).Append(3.0), HTuple(0.0).Append(4.0).Append(8.0));
    EXPECT_EQ(contourValueSummary(open), L"contour points: 3; length: 9.00");
    GenPolygonsXld(open, &polygon, "ramer", 0.0);
    EXPECT_EQ(polygonValueSummary(polygon), L"points: 3; length: 9.00");

    const HObject sides = contour(HTuple(0.0).Append(0.0).Append(10.0).Append(10.0),
                                  HTuple(0.0).Append(40.0).Append(40.0).Append(0.0));
    GenPolygonsXld(sides, &polygon, "ramer", 0.0);
    GenParallelsXld(polygon, &parallels, 20.0, 15.0, 0.1, "false");
    EXPECT_EQ(parallelValueSummary(parallels),
              L"first line: points: 2; length: 40.00 / second line: points: 2; length: 40.00");

    // Dispatch is by the exact class name; unknown names ask nothing.
    EXPECT_EQ(nonImageValueSummary(L"xld_cont", sides), L"contour points: 4; length: 90.00");
    EXPECT_EQ(nonImageValueSummary(L"Region", rectangle(0, 0, 1, 1)), L"");
}

TEST(Summaries, ImagesShowSizeChannelsTypeAndReducedDomain) {
    EXPECT_EQ(imageValueSummary(image("uint2", 5, 4), 0), L"5x4, 1ch, uint2");

    HObject reduced;
    ReduceDomain(image("byte", 640, 480, 3), rectangle(0, 0, 9, 9), &reduced);
    EXPECT_EQ(imageValueSummary(reduced, 1), L"640x480, 3ch, byte, domain: area: 100; center: 4.5, 4.5");
    // A domain equal to the rectangle is no reduced domain.
    ReduceDomain(image("byte", 4, 4), rectangle(-5, -5, 50, 50), &reduced);
    EXPECT_EQ(imageValueSummary(reduced, 1), L"4x4, 1ch, byte");

    const HObject set = image("byte", 640, 480, 3).ConcatObj(image("real", 320, 200));
    EXPECT_EQ(imageValueSummary(set, 2), L"640x480 (first), [1ch, 3ch], [byte, real]");
    const HObject same = image("int2", 8, 8).ConcatObj(image("int2", 8, 8)).ConcatObj(image("int2", 8, 8));
    EXPECT_EQ(imageValueSummary(same, 3), L"8x8, 1ch, int2");
}

TEST(ObjectNode, ShapesFollowTheClassesOfTheSet) {
    HObject none, zero;
    GenEmptyObj(&none);
    GenEmptyRegion(&zero);
    HObject regions = none;  // every object of a large set gets its detail line
    for (int i = 0; i < 1000; ++i) regions = regions.ConcatObj(rectangle(i, 0, i, i % 5));
    const HObject line = contour(HTuple(0.0).Append(3.0), HTuple(0.0).Append(4.0));
    const HObject small = image("byte", 3, 2);
    struct Shape {
        HObject objects;
        const wchar_t* line;  // of the node labelled "x"
        bool isImage;
        const wchar_t* lastDetail;
    };
    const Shape shapes[] = {
        {none, L"x|O|empty_obj||empty_obj", false, nullptr},
        {zero, L"x|O|region|area: 0|region", false, nullptr},
        {small, L"x|O|image|3x2, 1ch, byte|image", true, nullptr},
        {small.ConcatObj(small).ConcatObj(small), L"x|O|images[3]|3x2, 1ch, byte|image", true, L"image: 3x2, 1ch, byte"},
        {regions, L"x|O|region[1000]|area: 1; center: 0.0, 0.0 (first)|region", false,
         L"region: area: 5; center: 999.0, 2.0"},
        {rectangle(0, 0, 0, 0).ConcatObj(line), L"x|O|mixed[2]|area: 1; center: 0.0, 0.0 (first)|mixed", false,
         L"xld_cont: contour points: 2; length: 5.00"},
        {small.ConcatObj(rectangle(0, 0, 0, 0)), L"x|O|mixed[2]|3x2, 1ch, byte (first)|mixed", true,
         L"region: area: 1; center: 0.0, 0.0"},
    };
    for (const Shape& shape : shapes) {
        const auto node = buildObjectNode(shape.objects, L"x", IxPathSegmentKind::Name, 0);
        const size_t count = static_cast<size_t>(shape.objects.CountObj());
        EXPECT_EQ(ixtest::nodeLine(node.get()), shape.line);
        EXPECT_TRUE(node->isImage == shape.isImage && node->objectCount == static_cast<int32_t>(count)) << shape.line;
        EXPECT_EQ(node->detailLines.size(), count >= 2 ? count : 0u) << shape.line;
        EXPECT_EQ(node->detailEntryCount, count >= 2 ? static_cast<int32_t>(count) : 0);
        if (shape.lastDetail && !node->detailLines.empty()) EXPECT_EQ(node->detailLines.back().str(), shape.lastDetail);
    }
}

}  // namespace
