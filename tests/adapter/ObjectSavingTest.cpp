// Saving objects: the DXF writers, and the save functions as a C host calls them.
#include <gtest/gtest.h>

#include <cmath>
#include <charconv>
#include <sstream>

#include "AdapterApi.h"
#include "AdapterCore/ObjectSaving.h"
#include "HalconCpp.h"
#include "TestFiles.h"
#include "ix_adapter.h"

using namespace HalconCpp;

namespace {

// The shortest text that reads back as `v`.
std::string number(double v) {
    char buffer[32];
    return std::string(buffer, std::to_chars(buffer, buffer + sizeof buffer, v).ptr);
}

// The polylines of a DXF file, after checking the header and the end of the
// file: each as its closed flag and its vertices "x,y", each number read back.
std::vector<std::string> dxfPolylines(const std::string& path) {
    const std::string text = readFile(path);
    const std::string head = "  0\nSECTION\n  2\nHEADER\n  9\n$ACADVER\n  1\nAC1009\n", tail = "  0\nENDSEC\n  0\nEOF\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    EXPECT_TRUE(text.size() > tail.size() && text.substr(text.size() - tail.size()) == tail) << text;
    std::istringstream in(text);
    std::string code, value, entity;
    std::vector<std::string> lines;
    while (std::getline(in, code) && std::getline(in, value)) {
        const int group = std::stoi(code);
        if (group == 0 && (entity = value) == "POLYLINE") lines.emplace_back();
        if (entity == "POLYLINE" && group == 70) lines.back() += value + ":";
        if (entity == "VERTEX" && (group == 10 || group == 20)) lines.back() += (group == 10 ? " " : ",") + number(std::stod(value));
    }
    return lines;
}

HObject contour(std::vector<double> rows, std::vector<double> cols) {
    HObject out;
    GenContourPolygonXld(&out, HTuple(rows.data(), static_cast<Hlong>(rows.size())),
                         HTuple(cols.data(), static_cast<Hlong>(cols.size())));
    return out;
}

HObject concat(const HObject& a, const HObject& b) {
    HObject out;
    ConcatObj(a, b, &out);
    return out;
}

std::unique_ptr<NativeNode> objectNode(const HObject& object, const std::wstring& objectClass) {
    auto node = std::make_unique<NativeNode>();
    node->kind = IxNodeKind::Object;
    node->objectClass = objectClass;
    node->object = object;
    return node;
}

using Reader = std::unique_ptr<ReaderHandle, void (*)(ReaderHandle*)>;  // destroyed when an assertion fails too

std::wstring wide(const std::string& text) {
    return std::wstring(text.begin(), text.end());
}

std::string lastError(ReaderHandle* reader) {
    std::string out;
    for (const wchar_t* c = ix_reader_last_error(reader); *c; ++c) out += static_cast<char>(*c);
    return out;
}

}  // namespace

TEST(DxfWriters, OnePolylinePerObjectWithColumnsAsXAndRowsAsY) {
    TempDir dir;
    const std::string path = dir.path("xld.dxf");
    const HObject closed = contour({1.5, 1.5, 4.25, 1.5}, {2, 10, 6, 2});
    WriteContourXldDxf(concat(closed, contour({0.1, 1e-7}, {-3, 123456.75})), path.c_str());
    using Lines = std::vector<std::string>;
    EXPECT_EQ(dxfPolylines(path), (Lines{"1: 2,1.5 10,1.5 6,4.25 2,1.5", "0: -3,0.1 123456.75,1e-07"}));  // exactly

    HObject polygon;
    GenPolygonsXld(closed, &polygon, "ramer", 2.0);
    WritePolygonXldDxf(polygon, path.c_str());  // a triangle keeps its corners
    EXPECT_EQ(dxfPolylines(path), Lines{"1: 2,1.5 10,1.5 6,4.25 2,1.5"});

    WriteContourXldDxf(HObject(), path.c_str());
    EXPECT_TRUE(dxfPolylines(path).empty());

    // Other classes, and what DXF cannot hold: an error, and the file as it was.
    HObject region;
    GenRectangle1(&region, 0, 0, 3, 3);
    EXPECT_EQ(errorOf([&] { WriteContourXldDxf(concat(closed, region), path.c_str()); }), 5279);  // every object is checked
    EXPECT_EQ(messageOf([&] { WritePolygonXldDxf(closed, path.c_str()); }), "Unexpected object detected (expected xld_poly, got xld_cont)");
    EXPECT_NE(messageOf([&] { WriteContourXldDxf(contour({0, NAN}, {0, 1}), path.c_str()); })
                  .find("point 2 of object 1 is not finite"),
              std::string::npos);
    EXPECT_TRUE(dxfPolylines(path).empty());
}

TEST(SaveObjects, SuffixChoosesTheWriterAndFailuresReachLastError) {
    TempDir dir;
    const Reader owner(ix_reader_create(), ix_reader_destroy);
    ReaderHandle* reader = owner.get();
    const HObject a = contour({1, 2, 3}, {4, 5, 6});
    const auto contours = objectNode(concat(a, contour({7, 8}, {9, 10})), L"xld_cont");
    const std::string hobj = dir.path("X.HOBJ"), dxf = dir.path("c.Dxf");
    ASSERT_EQ(ix_save_object_as(reader, contours.get(), wide(hobj).c_str()), 1) << lastError(reader);
    HObject back;
    ReadObject(&back, hobj.c_str());  // what an object file holds is the format's test
    EXPECT_EQ(back.CountObj(), 2);
    ASSERT_EQ(ix_save_object_as(reader, contours.get(), wide(dxf).c_str()), 1) << lastError(reader);
    EXPECT_EQ(dxfPolylines(dxf).size(), 2u);
    HObject polygon;
    GenPolygonsXld(a, &polygon, "ramer", 1.0);
    ASSERT_EQ(ix_save_object_as(reader, objectNode(polygon, L"xld_poly").get(), wide(dxf).c_str()), 1);
    EXPECT_EQ(dxfPolylines(dxf).size(), 1u);

    HObject rectangle;
    GenRectangle1(&rectangle, 0, 0, 1, 1);
    const auto region = objectNode(rectangle, L"region");
    EXPECT_EQ(ix_save_object_as(reader, region.get(), wide(dir.path("r.dxf")).c_str()), 0);
    EXPECT_EQ(lastError(reader), "Unexpected object detected (expected xld_cont, got region)");
    EXPECT_EQ(ix_save_object_as(reader, region.get(), wide(dir.path("noext")).c_str()), 0);
    EXPECT_FALSE(lastError(reader).empty());
    const std::string missing = dir.path("missing/x.hobj");
    EXPECT_EQ(ix_save_object_as(reader, contours.get(), wide(missing).c_str()), 0);
    EXPECT_NE(lastError(reader).find(missing + ": No such file or directory"), std::string::npos) << lastError(reader);

    NativeNode container;
    EXPECT_EQ(ix_save_object_as(reader, &container, wide(hobj).c_str()), 0);
    EXPECT_EQ(lastError(reader), "");
}

TEST(SaveObjects, SeveralNodesGoToOneObjectFileSkippingUnusableEntriesAfterTheFirst) {
    TempDir dir;
    const Reader owner(ix_reader_create(), ix_reader_destroy);
    ReaderHandle* reader = owner.get();
    HObject rectangle;
    GenRectangle1(&rectangle, 0, 0, 4, 9);
    const auto region = objectNode(rectangle, L"region");
    const auto contours = objectNode(concat(contour({1, 2}, {3, 4}), contour({5, 6}, {7, 8})), L"xld_cont");
    NativeNode value;
    value.kind = IxNodeKind::Value;
    const std::string png = dir.path("Saved.png");  // an object file all the same
    const NativeNode* nodes[] = {region.get(), nullptr, &value, contours.get()};
    ASSERT_EQ(ix_save_objects_as(reader, nodes, 4, wide(png).c_str()), 1) << lastError(reader);
    HObject back;
    ReadObject(&back, png.c_str());
    ASSERT_EQ(back.CountObj(), 3);
    EXPECT_EQ(std::string(back.GetObjClass()[0].C()) + " " + back.GetObjClass()[2].C(), "region xld_cont");

    const NativeNode* nullFirst[] = {nullptr, region.get()};
    const NativeNode* valueFirst[] = {&value, region.get()};
    ix_save_object_as(reader, region.get(), wide(dir.path("noext")).c_str());  // leaves an error to be cleared
    EXPECT_EQ(ix_save_objects_as(reader, nullFirst, 2, wide(png).c_str()), 0);
    EXPECT_EQ(lastError(reader), "");
    EXPECT_EQ(ix_save_objects_as(reader, valueFirst, 2, wide(png).c_str()), 0);
    EXPECT_EQ(ix_save_objects_as(reader, nodes, 0, wide(png).c_str()), 0);
    EXPECT_EQ(ix_save_objects_as(reader, nodes, 4, wide(dir.path("missing/x.hobj")).c_str()), 0);
    EXPECT_NE(lastError(reader).find("No such file or directory"), std::string::npos) << lastError(reader);
}

TEST(SaveObjects, ImageSuffixesNameTheImageFormat) {
    const std::pair<const wchar_t*, const wchar_t*> formats[] = {{L"jpeg", L"jpg"}, {L"tif", L"tiff"}, {L"png", L"png"}, {L"", L""}};
    for (const auto& [suffix, format] : formats) EXPECT_EQ(imageFormatForSuffix(suffix), format) << suffix;
    TempDir dir;
    const Reader owner(ix_reader_create(), ix_reader_destroy);
    HObject image;
    GenImageConst(&image, "byte", 7, 5);
    const auto node = objectNode(image, L"image");
    // Each file is the format its suffix names, by its first bytes.
    const std::pair<const char*, std::string> files[] = {{"a.png", "\x89PNG"}, {"b.JPEG", "\xFF\xD8\xFF"}, {"c.TIF", "II*"}};
    for (const auto& [name, magic] : files) {
        const std::string path = dir.path(name);
        ASSERT_EQ(ix_save_object_as(owner.get(), node.get(), wide(path).c_str()), 1) << name << ": " << lastError(owner.get());
        EXPECT_EQ(readFile(path).substr(0, magic.size()), magic) << name;
    }
}
