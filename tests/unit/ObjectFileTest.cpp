// The object file: every pixel type and object class written and read back
// exactly, the documented example, and damaged files refused whole.
#include <gtest/gtest.h>

#include <cstring>

#include "HalconCpp.h"
#include "Raises.h"
#include "iconic/Iconic.h"
#include "TestFiles.h"
#include "formats/hobj/HobjFormat.h"

static std::vector<ixv::IconicPtr> readObjectBytes(const uint8_t* data, size_t size) {
    const auto file = ixv::formats::ByteSource::inMemory(data, size, "read_object");
    ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("hobj", &ixv::formats::Format::readObjects), file);
    return ixv::formats::hobj::readObjects(file, budget);
}


using namespace HalconCpp;

namespace {

// An image of the type with distinct pixel bytes in each of `channels` channels.
HObject patternImage(const char* type, int channels, int width, int height) {
    HObject image;
    GenImageConst(&image, type, width, height);
    std::vector<ixv::Plane> planes;
    ixv::PixelType t;
    ixv::pixelTypeFromName(type, &t);
    for (int c = 0; c < channels; ++c) {
        auto plane = ixv::Image::newPlane(t, width, height);
        for (size_t i = 0; i < plane->size(); ++i) plane->data()[i] = static_cast<uint8_t>(i * 7 + c * 31 + 1);
        planes.push_back(plane);
    }
    return ixv::objectOf({ixv::Image::make(t, width, height, planes)});
}

void expectSameObjects(const HObject& a, const HObject& b) {
    const auto& x = ixv::objectsOf(a);
    const auto& y = ixv::objectsOf(b);
    ASSERT_EQ(x.size(), y.size());
    for (size_t i = 0; i < x.size(); ++i) {
        ASSERT_STREQ(x[i]->className(), y[i]->className()) << "object " << i;
        if (auto image = dynamic_cast<const ixv::Image*>(x[i].get())) {
            const auto& other = static_cast<const ixv::Image&>(*y[i]);
            EXPECT_EQ(image->type(), other.type());
            EXPECT_EQ(image->width(), other.width());
            EXPECT_EQ(image->height(), other.height());
            ASSERT_EQ(image->channelCount(), other.channelCount());
            for (size_t c = 0; c < image->channelCount(); ++c)
                EXPECT_EQ(std::memcmp(image->plane(c)->data(), other.plane(c)->data(), image->plane(c)->size()), 0);
            ASSERT_EQ(!image->reducedDomain(), !other.reducedDomain());
            if (image->reducedDomain()) {
                EXPECT_EQ(image->reducedDomain()->runs().size(), other.reducedDomain()->runs().size());
            }
        } else if (auto region = dynamic_cast<const ixv::Region*>(x[i].get())) {
            const auto& r1 = region->runs();
            const auto& r2 = static_cast<const ixv::Region&>(*y[i]).runs();
            ASSERT_EQ(r1.size(), r2.size());
            for (size_t k = 0; k < r1.size(); ++k)
                EXPECT_TRUE(r1[k].row == r2[k].row && r1[k].columnBegin == r2[k].columnBegin &&
                            r1[k].columnEnd == r2[k].columnEnd);
        } else if (auto contour = dynamic_cast<const ixv::Contour*>(x[i].get())) {
            EXPECT_EQ(contour->points.rows, static_cast<const ixv::Contour&>(*y[i]).points.rows);
            EXPECT_EQ(contour->points.columns, static_cast<const ixv::Contour&>(*y[i]).points.columns);
        } else if (auto parallel = dynamic_cast<const ixv::Parallel*>(x[i].get())) {
            EXPECT_EQ(parallel->second.columns, static_cast<const ixv::Parallel&>(*y[i]).second.columns);
        }
    }
}

TEST(ObjectFile, EveryPixelTypeAndClassRoundTripsExactly) {
    TempDir dir;
    HObject all, region, reduced, contour, polygon, parallels, empty;
    GenEmptyObj(&all);
    for (const char* type : {"byte", "int1", "uint2", "int2", "int4", "int8", "real"})
        all = all.ConcatObj(patternImage(type, 2, 5, 3));
    GenCircle(&region, 5.0, 5.0, 3.5);
    ReduceDomain(patternImage("byte", 3, 9, 9), region, &reduced);
    GenContourPolygonXld(&contour, HTuple(0.25).Append(-1e9).Append(7.0), HTuple(1.5).Append(2.0).Append(1e-300));
    GenContourPolygonXld(&polygon, HTuple(0.0).Append(0.0).Append(10.0).Append(10.0),
                         HTuple(0.0).Append(40.0).Append(40.0).Append(0.0));
    GenPolygonsXld(polygon, &polygon, "ramer", 0.0);
    GenParallelsXld(polygon, &parallels, 5.0, 20.0, 0.1, "false");
    GenEmptyRegion(&empty);
    all = all.ConcatObj(reduced).ConcatObj(region).ConcatObj(empty).ConcatObj(contour).ConcatObj(polygon).ConcatObj(
        parallels);

    const std::string path = dir.path("all.hobj");
    WriteObject(all, path.c_str());
    HObject back;
    ReadObject(&back, path.c_str());
    expectSameObjects(all, back);
    EXPECT_STREQ(back.GetObjClass()[7].C(), "image");
    EXPECT_GT(ixv::objectsOf(back)[7] ? static_cast<const ixv::Image&>(*ixv::objectsOf(back)[7]).reducedDomain()->area() : 0, 0);

    // Written again, the bytes are the same: the format has one form per set.
    const std::string again = dir.path("again.hobj");
    WriteObject(back, again.c_str());
    EXPECT_EQ(readFile(path), readFile(again));

    // Without suffix the object file is found as name.hobj.
    HObject bySuffix;
    ReadObject(&bySuffix, dir.path("all").c_str());
    EXPECT_EQ(bySuffix.CountObj(), all.CountObj());
}

TEST(ObjectFile, TheDocumentedExampleReadsAsDescribed) {
    const uint8_t bytes[] = {
        0x89, 0x49, 0x58, 0x4F, 0x42, 0x4A, 0x0D, 0x0A, 1, 0, 0, 0, 2, 0, 0, 0,  // header
        1, 0, 0, 0, 0, 0, 0, 0, 26, 0, 0, 0, 0, 0, 0, 0,                          // image record
        0, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 7, 9,
        2, 0, 0, 0, 0, 0, 0, 0, 8, 0, 0, 0, 0, 0, 0, 0,  // region record
        0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(sizeof bytes, 82u);
    const auto objects = readObjectBytes(bytes, sizeof bytes);
    ASSERT_EQ(objects.size(), 2u);
    const auto& image = static_cast<const ixv::Image&>(*objects[0]);
    EXPECT_EQ(image.width(), 2);
    EXPECT_EQ(image.plane(0)->data()[1], 9);
    EXPECT_EQ(static_cast<const ixv::Region&>(*objects[1]).area(), 0);
    EXPECT_EQ(ixv::formats::hobj::encode(objects), std::vector<uint8_t>(bytes, bytes + sizeof bytes));
}

TEST(ObjectFile, DamagedFilesAreRefusedWhole) {
    HObject objects, region, contour;
    GenRectangle1(&region, 0, 0, 3, 3);
    GenContourPolygonXld(&contour, HTuple(1.0).Append(2.0), HTuple(3.0).Append(4.0));
    objects = patternImage("uint2", 2, 4, 4).ConcatObj(region).ConcatObj(contour);
    const std::vector<uint8_t> good = ixv::formats::hobj::encode(ixv::objectsOf(objects));

    // Every truncation is refused with a message, none is read partially.
    for (size_t n = 0; n < good.size(); ++n) {
        const std::string message = messageOf([&] { readObjectBytes(good.data(), n); });
        EXPECT_FALSE(message.empty()) << "length " << n;
    }
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_EQ(messageOf([&] { readObjectBytes(longer.data(), longer.size()); }),
              "Invalid object file: 1 bytes after the last record");

    std::vector<uint8_t> hugeRuns = ixv::formats::hobj::encode(ixv::objectsOf(region));
    hugeRuns[32] = 0xFF;  // run count of the region: far beyond the record
    hugeRuns[35] = 0x7F;
    EXPECT_NE(messageOf([&] { readObjectBytes(hugeRuns.data(), hugeRuns.size()); }).find("run count"),
              std::string::npos);

    const uint8_t foreign[] = "HALCON object file, not ours";
    EXPECT_NE(messageOf([&] { readObjectBytes(foreign, sizeof foreign); })
                  .find("files written by HALCON itself need the HALCON backend"),
              std::string::npos);
}

TEST(ObjectFile, ReadImageTakesTheFirstImageOfObjectFilesOfImagesOnly) {
    TempDir dir;
    HObject images = patternImage("byte", 1, 3, 3).ConcatObj(patternImage("real", 3, 2, 2));
    WriteObject(images, dir.path("images.hobj").c_str());
    HObject read;
    ReadImage(&read, dir.path("images.hobj").c_str());
    expectSameObjects(images.SelectObj(1), read);

    HObject region;
    GenRectangle1(&region, 0, 0, 1, 1);
    WriteObject(images.ConcatObj(region), dir.path("mixed.hobj").c_str());
    EXPECT_NE(messageOf([&] { ReadImage(&read, dir.path("mixed.hobj").c_str()); }).find("region"), std::string::npos);
    EXPECT_EQ(messageOf([&] { ReadImage(&read, dir.path("missing.png").c_str()); }), "File not found");
    EXPECT_EQ(messageOf([&] { ReadObject(&read, dir.path("missing.hobj").c_str()); }), "File not found");
}

}  // namespace

namespace {

// The bytes of an object file from its records, each as (tag, payload).
std::vector<uint8_t> objectFile(uint32_t count, const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& records) {
    std::vector<uint8_t> out = {0x89, 'I', 'X', 'O', 'B', 'J', '\r', '\n'};
    auto put = [&](uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
    };
    put(1, 4), put(count, 4);
    for (const auto& [tag, payload] : records) {
        put(tag, 4), put(0, 4), put(payload.size(), 8);
        out.insert(out.end(), payload.begin(), payload.end());
    }
    return out;
}

// A polyline payload of `n` points.
std::vector<uint8_t> points(uint64_t n) {
    std::vector<uint8_t> out(8 + 16 * n, 0);
    for (int i = 0; i < 8; ++i) out[static_cast<size_t>(i)] = static_cast<uint8_t>(n >> (8 * i));
    return out;
}

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// What the reader accepts, the tree's summaries can show: a parallel's lines
// need two points each (its summary gives each line's length), while
// contours and polygons of any length summarise.
TEST(ObjectFile, RecordsASummaryCannotShowAreRefused) {
    const std::pair<std::vector<uint8_t>, std::string> cases[] = {
        {objectFile(1, {{5, concat(points(2), points(1))}}),
         "Invalid object file: parallel line with 1 point at offset 72 (a line needs at least two)"},
        {objectFile(1, {{5, concat(points(0), points(2))}}),
         "Invalid object file: parallel line with 0 points at offset 32 (a line needs at least two)"},
        {objectFile(2, {{3, points(0)}, {4, points(1)}}), ""},
        {objectFile(1, {{5, concat(points(2), points(3))}}), ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(messageOf([&] { readObjectBytes(c.first.data(), c.first.size()); }), c.second);
}

TEST(ObjectFile, CountsBeyondTheLimitsAreRefusedBeforeReading) {
    // More objects than a file may hold, in a file far too short for them.
    const auto many = objectFile(static_cast<uint32_t>(ixv::Limits::objectsPerFile + 1), {});
    EXPECT_EQ(messageOf([&] { readObjectBytes(many.data(), many.size()); }),
              "object count 1048577 exceeds the limit of 1048576 objects");
    // Within the limit, the count must still fit the bytes after the header.
    const auto short_ = objectFile(3, {{2, points(0)}});
    EXPECT_EQ(messageOf([&] { readObjectBytes(short_.data(), short_.size()); }),
              "Invalid object file: truncated records at offset 16: 3 objects need at least 48 bytes, 24 left");
}

TEST(ObjectFile, AFileTruncatedWhileBeingReadIsAnError) {
    TempDir dir;
    const std::string path = dir.path("growing.hobj");
    WriteObject(patternImage("uint2", 2, 512, 512), path.c_str());
    const auto file = ixv::formats::ByteSource::openFile(path, "read_object");
    ASSERT_EQ(::truncate(path.c_str(), 300000), 0);
    ixv::Budget budget = ixv::formats::budgetFor(*ixv::formats::formatNamed("hobj", &ixv::formats::Format::readObjects), file);
    const std::string message = messageOf([&] { ixv::formats::hobj::readObjects(file, budget); });
    EXPECT_NE(message.find("was truncated while being read"), std::string::npos) << message;
}

}  // namespace
