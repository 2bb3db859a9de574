// The embedded library's images and regions, through the vendor's operators; the operators that
// only build fixtures are exercised by every test that builds one.
#include <gtest/gtest.h>


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

}  // namespace
