// The embedded library's images, regions and XLD objects, through the vendor's operators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/Errors.h"
#include "HalconCpp.h"
#include "Raises.h"
#include "iconic/Iconic.h"
#include "TupleValues.h"

using namespace HalconCpp;

namespace {

Hlong areaOf(const HObject& o, double* row = nullptr) {
    HTuple a, r, c;
    AreaCenter(o, &a, &r, &c);
    if (row) *row = r[0].D();
    return a[0].L();
}

// The runs of a region as "row:begin-end", in order.
std::string runsOf(const HObject& region) {
    HTuple rows, begins, ends;
    GetRegionRuns(region, &rows, &begins, &ends);
    std::string text;
    for (Hlong i = 0; i < rows.Length(); ++i)
        text += (i ? " " : "") + std::to_string(rows[i].L()) + ":" + std::to_string(begins[i].L()) + "-" +
                std::to_string(ends[i].L());
    return text;
}

TEST(Regions, RunsAreSortedAndMergedIntoOneCanonicalForm) {
    HObject region;
    const Hlong rows[] = {3, 1, 1, 1, 3};
    const Hlong begins[] = {0, 10, 2, 6, 5};
    const Hlong ends[] = {2, 12, 5, 7, 9};
    GenRegionRuns(&region, HTuple(rows, 5), HTuple(begins, 5), HTuple(ends, 5));
    EXPECT_EQ(runsOf(region), "1:2-7 1:10-12 3:0-2 3:5-9");  // 2..5 and 6..7 touch and merge
    EXPECT_EQ(errorOf([&] { GenRegionRuns(&region, 1, 5, 4); }), 1303u);
    EXPECT_EQ(errorOf([&] { GenRegionRuns(&region, HTuple(rows, 2), 1, 2); }), 1402u);

    // Several regions at once: one area each, in order.
    GenRectangle1(&region, HTuple(0).Append(5), 0, HTuple(1).Append(5), 3);
    HTuple a, r, c;
    AreaCenter(region, &a, &r, &c);
    EXPECT_EQ(ixtest::longs(a), (std::vector<Hlong>{8, 4}));
}

TEST(Regions, RectanglesAndFullDomainsKeepNoRunsUntilAskedFor) {
    // Corners at the coordinate limit: 2^31 + 1 rows, far more runs than allowed.
    const Hlong far = Hlong{1} << 30;
    HObject huge, small;
    GenRectangle1(&huge, -far, -far, far, far);
    EXPECT_EQ(areaOf(huge), ((Hlong{1} << 31) + 1) * ((Hlong{1} << 31) + 1));
    const std::string message = messageOf([&] { runsOf(huge); });
    EXPECT_NE(message.find("exceeds the limit of 268435456"), std::string::npos) << message;

    // Asked for, the runs are the rows of the rectangle.
    GenRectangle1(&small, 2, 3, 4, 5);
    EXPECT_EQ(runsOf(small), "2:3-5 3:3-5 4:3-5");

    // A domain cut from the huge rectangle is the image's full domain, still a rectangle.
    HObject image, reduced, domain;
    GenImageConst(&image, "byte", 1 << 12, 1 << 10);
    ReduceDomain(image, huge, &reduced);
    GetDomain(reduced, &domain);
    EXPECT_TRUE(static_cast<const ixv::Region&>(*ixv::objectsOf(domain).front()).isBox());
    double row = 0;
    EXPECT_EQ(areaOf(reduced, &row), Hlong{1} << 22);
    EXPECT_EQ(row, 511.5);

    // Intersections of rectangles with rectangles and with runs.
    HObject circle, composed, second;
    ReduceDomain(image, small, &reduced);
    GenCircle(&circle, 4.0, 5.0, 1.0);
    ReduceDomain(image, circle, &second);
    Compose3(reduced, second, image, &composed);
    EXPECT_EQ(areaOf(composed), 3);  // (3,5), (4,4), (4,5)
}

TEST(Regions, CirclesAreCheckedBeforeAnythingIsAllocated) {
    HObject circle;
    const double rows[] = {0.0, 1e9, 0.0, 0.0}, columns[] = {0.0, 0.0, 0.0, INFINITY}, radii[] = {1e9, 1e8, -1.0, 1.0};
    const Herror errors[] = {6001u, 1303u, 1303u, 1303u};
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(errorOf([&] { GenCircle(&circle, rows[i], columns[i], radii[i]); }), errors[i]) << i;
    GenCircle(&circle, 0.0, 0.0, 0.0);
    EXPECT_EQ(runsOf(circle), "0:0-0");
}

TEST(Images, MadeFromPixelsKeepTheirValuesAndComposedShareThePlanes) {
    const uint16_t pixels[6] = {1, 2, 3, 0x1234, 65535, 0};
    HObject image, rgb, wrongSize;
    GenImage1(&image, "uint2", 3, 2, reinterpret_cast<Hlong>(pixels));
    HString type;
    Hlong width = 0, height = 0;
    const void* data = HImage(image).GetImagePointer1(&type, &width, &height);
    EXPECT_EQ(std::string(type.TextA()) + " " + std::to_string(width) + "x" + std::to_string(height), "uint2 3x2");
    EXPECT_EQ(std::memcmp(data, pixels, sizeof pixels), 0);

    Compose3(image, image, image, &rgb);
    const auto& composed = static_cast<const ixv::Image&>(*ixv::objectsOf(rgb).front());
    ASSERT_EQ(composed.channelCount(), 3u);
    EXPECT_EQ(composed.plane(2), static_cast<const ixv::Image&>(*ixv::objectsOf(image).front()).plane(0));

    GenImageConst(&wrongSize, "uint2", 2, 3);
    EXPECT_EQ(errorOf([&] { Compose3(image, wrongSize, image, &rgb); }), 1301u);
    EXPECT_EQ(errorOf([&] { GenImageConst(&image, "float", 4, 5); }), 1301u);
    EXPECT_EQ(errorOf([&] { GenImageConst(&image, "byte", 0, 5); }), 1302u);
    EXPECT_EQ(errorOf([&] { GenImageConst(&image, "byte", 70000, 70000); }), 6001u);
}

TEST(Images, OperatorsRefuseObjectsOfAnotherClassOrCount) {
    HObject image, region, two;
    GenImageConst(&image, "byte", 2, 2);
    GenRectangle1(&region, 0, 0, 1, 1);
    ConcatObj(image, image, &two);
    const std::vector<Herror> errors = {errorOf([&] { HImage{region}; }), errorOf([&] { HRegion{image}; }),
                                        errorOf([&] { HImage(two).GetImagePointer1(nullptr, nullptr, nullptr); }),
                                        errorOf([&] { GetContourXld(region, nullptr, nullptr); }),
                                        errorOf([&] { image.SelectObj(2); }), errorOf([&] { image.SelectObj(0); })};
    EXPECT_EQ(errors, (std::vector<Herror>{5279, 5279, 1501, 5279, 1301, 1301}));
    EXPECT_EQ(two.SelectObj(HTuple(2).Append(1)).CountObj(), 2);
}

TEST(Xld, PolygonsApproximateContours) {
    // A zig-zag of small deviations on a straight line, then a corner.
    HTuple rows, columns;
    for (int i = 0; i <= 10; ++i) {
        rows.Append(i % 2 ? 0.2 : 0.0);
        columns.Append(double(i));
    }
    HObject contour, polygon;
    GenContourPolygonXld(&contour, rows.Append(10.0), columns.Append(10.0));
    GenPolygonsXld(contour, &polygon, "ramer", 0.5);
    HTuple r, c, lengths, angles, length;
    GetPolygonXld(polygon, &r, &c, &lengths, &angles);
    ASSERT_EQ(r.Length(), 3);  // start, corner, end
    EXPECT_EQ(c[1].D(), 10.0);
    EXPECT_NEAR(lengths[1].D(), 10.0, 1e-9);
    EXPECT_NEAR(angles[1].D(), -M_PI / 2, 1e-9);  // rows grow downwards
    LengthXld(polygon, &length);
    EXPECT_NEAR(length[0].D(), 20.0, 1e-9);
    EXPECT_EQ(errorOf([&] { GenPolygonsXld(contour, &polygon, "other", 0.5); }), 1301u);
}

}  // namespace
