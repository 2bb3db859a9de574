// The object file: every pixel type and object class written and read back
// exactly, the documented example, and damaged files refused whole.
#include <gtest/gtest.h>

#include "ObjectFileWriter.h"
#include "TestFiles.h"
#include "formats/hobj/HobjFormat.h"

using namespace HalconCpp;

namespace {

using namespace ixtest::hobj;

std::vector<ixv::IconicPtr> readBytes(const Bytes& bytes) {
    const auto file = ixv::formats::ByteSource::inMemory(bytes.data(), bytes.size(), "read_object");
    ixv::Budget budget = budgetOf(ixv::formats::hobj::readImage, file);
    return ixv::formats::hobj::readObjects(file, budget);
}
// Every object of a file, read as an image reader is called.
ixv::IconicPtr readAll(const ixv::formats::ByteSource& file, ixv::Budget& budget) {
    return ixv::formats::hobj::readObjects(file, budget), nullptr;
}

// Objects compared by their encoding, which holds every value; the encoding itself is the documented example's.
void expectSameObjects(const HObject& a, const HObject& b) {
    EXPECT_EQ(ixv::formats::hobj::encode(ixv::objectsOf(a)), ixv::formats::hobj::encode(ixv::objectsOf(b)));
}

TEST(ObjectFile, EveryPixelTypeAndClassRoundTripsExactly) {
    TempDir dir;
    HObject all, region, reduced, contour, polygon, parallels, empty;
    GenEmptyObj(&all);
    for (int type = 0; type <= static_cast<int>(ixv::PixelType::Real); ++type)
        all = all.ConcatObj(testImage(static_cast<ixv::PixelType>(type), 2, 5, 3));
    GenCircle(&region, 5.0, 5.0, 3.5);
    ReduceDomain(testImage(ixv::PixelType::Byte, 3, 9, 9), region, &reduced);
    GenContourPolygonXld(&contour, HTuple(0.25).Append(-1e9).Append(7.0), HTuple(1.5).Append(2.0).Append(1e-300));
    GenContourPolygonXld(&polygon, HTuple(0.0).Append(0.0).Append(10.0).Append(10.0),
                         HTuple(0.0).Append(40.0).Append(40.0).Append(0.0));
    GenPolygonsXld(polygon, &polygon, "ramer", 0.0);
    GenParallelsXld(polygon, &parallels, 5.0, 20.0, 0.1, "false");
    GenEmptyRegion(&empty);
    all = all.ConcatObj(reduced).ConcatObj(region).ConcatObj(empty).ConcatObj(contour).ConcatObj(polygon).ConcatObj(
        parallels);
    ASSERT_EQ(all.CountObj(), 13);

    WriteObject(all, dir.path("all.hobj").c_str());
    HObject back;
    ReadObject(&back, dir.path("all").c_str());  // without suffix, the object file is name.hobj
    expectSameObjects(all, back);
    EXPECT_NE(shapeOf(dynamic_cast<const ixv::Image&>(*ixv::objectsOf(back)[7])).find(" domain "), std::string::npos);
}

TEST(ObjectFile, TheDocumentedExampleReadsAsDescribed) {
    const Bytes bytes = {
        0x89, 0x49, 0x58, 0x4F, 0x42, 0x4A, 0x0D, 0x0A, 1, 0, 0, 0, 2, 0, 0, 0,  // header
        1, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0,                          // image record
        0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 9,
        2, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0,  // region record
        0, 0, 0, 0, 0, 0, 0, 0};
    const auto objects = readBytes(bytes);
    ASSERT_EQ(objects.size(), 2u);
    EXPECT_EQ(planesOf(static_cast<const ixv::Image&>(*objects[0])), Planes(1, {7, 9}));
    EXPECT_EQ(static_cast<const ixv::Region&>(*objects[1]).area(), 0);
    EXPECT_EQ(ixv::formats::hobj::encode(objects), bytes);
}

TEST(ObjectFile, DamagedFilesAreRefusedWhole) {
    HObject region, contour;
    GenRectangle1(&region, 0, 0, 3, 3);
    GenContourPolygonXld(&contour, HTuple(1.0).Append(2.0), HTuple(3.0).Append(4.0));
    const Bytes good = ixv::formats::hobj::encode(ixv::objectsOf(testImage(ixv::PixelType::UInt2, 2, 4, 4).ConcatObj(region).ConcatObj(contour)));
    for (size_t n = 8; n < good.size(); ++n)  // shorter: not an object file of ours
        EXPECT_EQ(readError(readAll, Bytes(good.begin(), good.begin() + n)).rfind("Invalid object file: ", 0), 0u) << n;
    expectTruncatedWhileRead(ixv::formats::hobj::readImage, ixv::formats::hobj::encode(ixv::objectsOf(testImage(ixv::PixelType::UInt2, 2, 512, 512))));

    Bytes hugeRuns = ixv::formats::hobj::encode(ixv::objectsOf(region));
    hugeRuns[32] = 0xFF, hugeRuns[35] = 0x7F;  // run count of the region: far beyond the record
    const std::pair<Bytes, std::string> cases[] = {
        {concat(good, {0}), "Invalid object file: 1 bytes after the last record"},
        {hugeRuns, "run count"},
        {Bytes{'H', 'A', 'L', 'C', 'O', 'N', ' ', 'o', 'b', 'j'}, "files written by HALCON itself need the HALCON backend"},
        // What the summaries show: a parallel's lines need two points each, contours and polygons any.
        {file(1, {{5, concat(points(2), points(1))}}),
         "Invalid object file: parallel line with 1 point at offset 72 (a line needs at least two)"},
        {file(1, {{5, concat(points(0), points(2))}}),
         "Invalid object file: parallel line with 0 points at offset 32 (a line needs at least two)"},
        {file(2, {{3, points(0)}, {4, points(1)}}), ""},
        {file(1, {{5, concat(points(2), points(3))}}), ""},
        // Counts beyond the limits, and beyond what the bytes after the header can hold, before reading.
        {file(static_cast<uint32_t>(ixv::Limits::objectsPerFile + 1), {}),
         "object count 1048577 exceeds the limit of 1048576 objects"},
        {file(3, {{2, points(0)}}),
         "Invalid object file: truncated records at offset 16: 3 objects need at least 48 bytes, 24 left"},
    };
    for (const auto& [bytes, expected] : cases) {
        const std::string message = readError(readAll, bytes);
        EXPECT_TRUE(expected.empty() ? message.empty() : message.find(expected) != std::string::npos) << message;
    }
}

TEST(ObjectFile, ReadImageTakesTheFirstImageOfObjectFilesOfImagesOnly) {
    TempDir dir;
    HObject images = testImage(ixv::PixelType::Byte, 1, 3, 3).ConcatObj(testImage(ixv::PixelType::Real, 3, 2, 2)), read, region;
    WriteObject(images, dir.path("images.hobj").c_str());
    ReadImage(&read, dir.path("images.hobj").c_str());
    expectSameObjects(images.SelectObj(1), read);

    GenRectangle1(&region, 0, 0, 1, 1);
    WriteObject(images.ConcatObj(region), dir.path("mixed.hobj").c_str());
    EXPECT_NE(messageOf([&] { ReadImage(&read, dir.path("mixed.hobj").c_str()); }).find("region"), std::string::npos);
    HObject none;
    GenEmptyObj(&none);
    WriteObject(none, dir.path("none.hobj").c_str());
    EXPECT_NE(messageOf([&] { ReadImage(&read, dir.path("none.hobj").c_str()); }).find("it holds no image"),
              std::string::npos);
}

}  // namespace
