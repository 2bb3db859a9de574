// The embedded library's images, regions and XLD objects, through the vendor's operators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "base/Errors.h"
#include "HalconCpp.h"
#include "Raises.h"
#include "iconic/Iconic.h"

using namespace HalconCpp;

namespace {

void areaCenter(const HObject& o, Hlong* area, double* row, double* column) {
    HTuple a, r, c;
    AreaCenter(o, &a, &r, &c);
    *area = a[0].L();
    *row = r[0].D();
    *column = c[0].D();
}

std::vector<ixv::Run> runsOf(const HObject& region) {
    HTuple rows, begins, ends;
    GetRegionRuns(region, &rows, &begins, &ends);
    std::vector<ixv::Run> runs;
    for (Hlong i = 0; i < rows.Length(); ++i)
        runs.push_back({int32_t(rows[i].L()), int32_t(begins[i].L()), int32_t(ends[i].L())});
    return runs;
}

TEST(Regions, RunsAreSortedAndMergedIntoOneCanonicalForm) {
    HObject region;
    const Hlong rows[] = {3, 1, 1, 1, 3};
    const Hlong begins[] = {0, 10, 2, 6, 5};
    const Hlong ends[] = {2, 12, 5, 7, 9};
    GenRegionRuns(&region, HTuple(rows, 5), HTuple(begins, 5), HTuple(ends, 5));
    const auto runs = runsOf(region);
    ASSERT_EQ(runs.size(), 4u);  // 2..5 and 6..7 touch and merge
    EXPECT_EQ(runs[0].row, 1);
    EXPECT_EQ(runs[0].columnBegin, 2);
    EXPECT_EQ(runs[0].columnEnd, 7);
    EXPECT_EQ(runs[1].columnBegin, 10);
    EXPECT_EQ(runs[2].row, 3);
    EXPECT_EQ(runs[3].columnEnd, 9);

    GenRegionPoints(&region, HTuple(rows, 2), HTuple(begins, 2));
    EXPECT_EQ(runsOf(region).size(), 2u);
    EXPECT_EQ(errorOf([&] { GenRegionRuns(&region, 1, 5, 4); }), 1303u);
    EXPECT_EQ(errorOf([&] { GenRegionRuns(&region, HTuple(rows, 2), 1, 2); }), 1402u);
}

TEST(Regions, AreaAndCenterFollowPixelCentres) {
    HObject region;
    Hlong area;
    double row, column;
    GenEmptyRegion(&region);
    areaCenter(region, &area, &row, &column);
    EXPECT_EQ(area, 0);
    EXPECT_EQ(row, 0.0);
    EXPECT_EQ(column, 0.0);

    GenRectangle1(&region, 10, 20, 10, 20);
    areaCenter(region, &area, &row, &column);
    EXPECT_EQ(area, 1);
    EXPECT_EQ(row, 10.0);
    EXPECT_EQ(column, 20.0);

    GenRectangle1(&region, 0, 0, 19, 23);
    areaCenter(region, &area, &row, &column);
    EXPECT_EQ(area, 480);
    EXPECT_EQ(row, 9.5);
    EXPECT_EQ(column, 11.5);

    GenCircle(&region, 50.0, 60.0, 10.0);
    areaCenter(region, &area, &row, &column);
    EXPECT_NEAR(area, 314, 8);
    EXPECT_NEAR(row, 50.0, 1e-9);
    EXPECT_NEAR(column, 60.0, 1e-9);

    // Several regions at once: one value each, in order.
    GenRectangle1(&region, HTuple(0).Append(5), 0, HTuple(1).Append(5), 3);
    HTuple a, r, c;
    AreaCenter(region, &a, &r, &c);
    ASSERT_EQ(a.Length(), 2);
    EXPECT_EQ(a[0].L(), 8);
    EXPECT_EQ(a[1].L(), 4);
}

TEST(Regions, RectanglesAndFullDomainsKeepNoRunsUntilAskedFor) {
    // Corners at the coordinate limit: 2^31 + 1 rows, far more runs than allowed.
    const Hlong far = Hlong{1} << 30;
    HObject huge, small, both;
    GenRectangle1(&huge, -far, -far, far, far);
    Hlong area;
    double row, column;
    areaCenter(huge, &area, &row, &column);
    EXPECT_EQ(area, ((Hlong{1} << 31) + 1) * ((Hlong{1} << 31) + 1));
    EXPECT_EQ(row, 0.0);
    EXPECT_EQ(column, 0.0);
    const std::string message = messageOf([&] { runsOf(huge); });
    EXPECT_NE(message.find("exceeds the limit of 268435456"), std::string::npos) << message;
    EXPECT_EQ(errorOf([&] { runsOf(huge); }), 6001u);

    // Asked for, the runs are the rows of the rectangle.
    GenRectangle1(&small, 2, 3, 4, 5);
    const auto runs = runsOf(small);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2].row, 4);
    EXPECT_EQ(runs[2].columnBegin, 3);
    EXPECT_EQ(runs[2].columnEnd, 5);

    // A domain cut from the huge rectangle is the image's full domain, still a rectangle.
    HObject image, reduced, domain;
    GenImageConst(&image, "byte", 1 << 12, 1 << 10);
    ReduceDomain(image, huge, &reduced);
    GetDomain(reduced, &domain);
    EXPECT_TRUE(static_cast<const ixv::Region&>(*ixv::objectsOf(domain).front()).isBox());
    areaCenter(reduced, &area, &row, &column);
    EXPECT_EQ(area, Hlong{1} << 22);
    EXPECT_EQ(row, 511.5);

    // Intersections of rectangles with rectangles and with runs.
    HObject circle, composed, second;
    ReduceDomain(image, small, &reduced);
    GenCircle(&circle, 4.0, 5.0, 1.0);
    ReduceDomain(image, circle, &second);
    Compose3(reduced, second, image, &composed);
    areaCenter(composed, &area, &row, &column);
    EXPECT_EQ(area, 3);  // (3,5), (4,4), (4,5)
}

TEST(Regions, CirclesAreCheckedBeforeAnythingIsAllocated) {
    HObject circle;
    const std::string message = messageOf([&] { GenCircle(&circle, 0.0, 0.0, 1e9); });
    EXPECT_NE(message.find("exceeds the limit of 268435456"), std::string::npos) << message;
    EXPECT_EQ(errorOf([&] { GenCircle(&circle, 0.0, 0.0, 1e9); }), 6001u);
    EXPECT_EQ(errorOf([&] { GenCircle(&circle, 1e9, 0.0, 1e8); }), 1303u);
    EXPECT_EQ(errorOf([&] { GenCircle(&circle, 0.0, 0.0, -1.0); }), 1303u);
    EXPECT_EQ(errorOf([&] { GenCircle(&circle, 0.0, 1.0 / 0.0, 1.0); }), 1303u);
    GenCircle(&circle, 0.0, 0.0, 0.0);
    EXPECT_EQ(runsOf(circle).size(), 1u);
}

TEST(Images, MadeFromPixelsKeepTypeSizeAndValues) {
    const uint16_t pixels[6] = {1, 2, 3, 0x1234, 65535, 0};
    HObject image;
    GenImage1(&image, "uint2", 3, 2, reinterpret_cast<Hlong>(pixels));
    HString type;
    Hlong width = 0, height = 0;
    const void* data = HImage(image).GetImagePointer1(&type, &width, &height);
    EXPECT_STREQ(type.TextA(), "uint2");
    EXPECT_EQ(width, 3);
    EXPECT_EQ(height, 2);
    EXPECT_EQ(std::memcmp(data, pixels, sizeof pixels), 0);
    EXPECT_EQ(HImage(image).CountChannels()[0].L(), 1);

    GenImageConst(&image, "real", 4, 5);
    EXPECT_EQ(HImage(image).Width()[0].L(), 4);
    EXPECT_EQ(HImage(image).Height()[0].L(), 5);
    EXPECT_EQ(errorOf([&] { GenImageConst(&image, "float", 4, 5); }), 1301u);
    EXPECT_EQ(errorOf([&] { GenImageConst(&image, "byte", 0, 5); }), 1302u);
    EXPECT_EQ(errorOf([&] { GenImageConst(&image, "byte", 70000, 70000); }), 6001u);
}

TEST(Images, ComposedChannelsShareThePlanesAndIntersectDomains) {
    const uint8_t r[4] = {1, 2, 3, 4}, g[4] = {5, 6, 7, 8}, b[4] = {9, 10, 11, 12};
    HObject red, green, blue, rgb, region, reduced;
    GenImage1(&red, "byte", 2, 2, reinterpret_cast<Hlong>(r));
    GenImage1(&green, "byte", 2, 2, reinterpret_cast<Hlong>(g));
    GenImage1(&blue, "byte", 2, 2, reinterpret_cast<Hlong>(b));
    GenRectangle1(&region, 0, 0, 0, 5);  // cut to the image: the first row
    ReduceDomain(green, region, &reduced);
    Compose3(red, reduced, blue, &rgb);
    const auto& image = static_cast<const ixv::Image&>(*ixv::objectsOf(rgb).front());
    ASSERT_EQ(image.channelCount(), 3u);
    EXPECT_EQ(image.plane(0), static_cast<const ixv::Image&>(*ixv::objectsOf(red).front()).plane(0));
    EXPECT_EQ(image.plane(2)->data()[3], 12);
    Hlong area;
    double row, column;
    areaCenter(rgb, &area, &row, &column);  // an image stands for its domain
    EXPECT_EQ(area, 2);
    HObject domain;
    GetDomain(rgb, &domain);
    EXPECT_STREQ(domain.GetObjClass()[0].C(), "region");

    HObject wrongSize;
    GenImageConst(&wrongSize, "byte", 3, 2);
    EXPECT_EQ(errorOf([&] { Compose3(red, wrongSize, blue, &rgb); }), 1301u);
}

TEST(Images, OperatorsRefuseObjectsOfAnotherClassOrCount) {
    HObject image, region, two;
    GenImageConst(&image, "byte", 2, 2);
    GenRectangle1(&region, 0, 0, 1, 1);
    EXPECT_EQ(errorOf([&] { HImage{region}; }), 5279u);
    EXPECT_EQ(errorOf([&] { HRegion{image}; }), 5279u);
    ConcatObj(image, image, &two);
    EXPECT_EQ(errorOf([&] { HImage(two).GetImagePointer1(nullptr, nullptr, nullptr); }), 1501u);
    EXPECT_EQ(errorOf([&] { HObject c; GetContourXld(region, nullptr, nullptr); }), 5279u);
    EXPECT_EQ(errorOf([&] { image.SelectObj(2); }), 1301u);
    EXPECT_EQ(errorOf([&] { image.SelectObj(0); }), 1301u);
    EXPECT_EQ(two.SelectObj(HTuple(2).Append(1)).CountObj(), 2);
}

TEST(Xld, PolygonsApproximateContoursWithinTheTolerance) {
    // A zig-zag of small deviations on a straight line, then a corner.
    HTuple rows, columns;
    for (int i = 0; i <= 10; ++i) {
        rows.Append(i % 2 ? 0.2 : 0.0);
        columns.Append(double(i));
    }
    rows.Append(10.0);
    columns.Append(10.0);
    HObject contour, polygon;
    GenContourPolygonXld(&contour, rows, columns);
    GenPolygonsXld(contour, &polygon, "ramer", 0.5);
    HTuple r, c, lengths, angles, length;
    GetPolygonXld(polygon, &r, &c, &lengths, &angles);
    ASSERT_EQ(r.Length(), 3);  // start, corner, end
    EXPECT_EQ(c[1].D(), 10.0);
    ASSERT_EQ(lengths.Length(), 2);
    EXPECT_NEAR(lengths[1].D(), 10.0, 1e-9);
    EXPECT_NEAR(angles[1].D(), -M_PI / 2, 1e-9);  // rows grow downwards
    LengthXld(polygon, &length);
    EXPECT_NEAR(length[0].D(), 20.0, 1e-9);
    LengthXld(contour, &length);
    EXPECT_GT(length[0].D(), 20.0);
    EXPECT_EQ(errorOf([&] { GenPolygonsXld(contour, &polygon, "other", 0.5); }), 1301u);
}

TEST(Xld, ParallelsPairOppositeSidesOfARectangle) {
    HObject contour, polygon, parallels;
    GenContourPolygonXld(&contour, HTuple(0.0).Append(0.0).Append(10.0).Append(10.0).Append(0.0),
                         HTuple(0.0).Append(40.0).Append(40.0).Append(0.0).Append(0.0));
    GenPolygonsXld(contour, &polygon, "ramer", 0.1);
    GenParallelsXld(polygon, &parallels, 20.0, 15.0, 0.1, "true");
    ASSERT_EQ(parallels.CountObj(), 1);  // the long sides; the short ones are below the length
    HTuple r1, c1, l1, p1, r2, c2, l2, p2;
    GetParallelsXld(parallels, &r1, &c1, &l1, &p1, &r2, &c2, &l2, &p2);
    EXPECT_EQ(r1.Length(), 2);
    EXPECT_NEAR(l1[0].D(), 40.0, 1e-9);
    EXPECT_NEAR(l2[0].D(), 40.0, 1e-9);
    EXPECT_EQ(errorOf([&] { HTuple l; LengthXld(parallels, &l); }), 5279u);
}

}  // namespace
