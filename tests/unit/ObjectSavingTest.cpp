// Saving objects: the DXF writers, and the save functions as a C host calls them.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "AdapterApi.h"
#include "HalconCpp.h"
#include "TestFiles.h"
#include "ix_adapter.h"

using namespace HalconCpp;

namespace {

struct DxfPair {
    int code;
    std::string value;
};

// The group pairs of a DXF file.
std::vector<DxfPair> dxfPairs(const std::string& path) {
    std::istringstream in(readFile(path));
    std::vector<DxfPair> pairs;
    std::string code, value;
    while (std::getline(in, code) && std::getline(in, value)) pairs.push_back({std::stoi(code), value});
    return pairs;
}

struct DxfPolyline {
    int flags = -1;
    std::vector<double> xs, ys, zs;
};

// The polylines of the ENTITIES section, checking the frame around them.
std::vector<DxfPolyline> dxfPolylines(const std::string& path) {
    const std::vector<DxfPair> p = dxfPairs(path);
    if (p.size() < 9) {
        ADD_FAILURE() << "too short for a DXF file: " << path;
        return {};
    }
    EXPECT_EQ(p[0].value, "SECTION");
    EXPECT_EQ(p[1].value, "HEADER");
    EXPECT_TRUE(p[2].code == 9 && p[2].value == "$ACADVER" && p[3].code == 1 && p[3].value == "AC1009");
    EXPECT_EQ(p[p.size() - 2].value, "ENDSEC");
    EXPECT_TRUE(p.back().code == 0 && p.back().value == "EOF");
    std::vector<DxfPolyline> lines;
    bool inVertex = false, sequenceOpen = false;
    for (const DxfPair& pair : p) {
        if (pair.code == 0) {
            inVertex = pair.value == "VERTEX";
            if (pair.value == "POLYLINE") {
                EXPECT_FALSE(sequenceOpen);
                lines.emplace_back();
                sequenceOpen = true;
            }
            if (pair.value == "SEQEND") sequenceOpen = false;
            if (inVertex) {
                EXPECT_TRUE(sequenceOpen);
            }
            continue;
        }
        if (lines.empty()) continue;
        if (!inVertex && pair.code == 70) lines.back().flags = std::stoi(pair.value);
        if (!inVertex && pair.code == 66) {
            EXPECT_EQ(pair.value, "1");
        }
        if (inVertex && pair.code == 10) lines.back().xs.push_back(std::stod(pair.value));
        if (inVertex && pair.code == 20) lines.back().ys.push_back(std::stod(pair.value));
        if (inVertex && pair.code == 30) lines.back().zs.push_back(std::stod(pair.value));
    }
    EXPECT_FALSE(sequenceOpen);
    return lines;
}

HObject contour(std::vector<double> rows, std::vector<double> cols) {
    HTuple r, c;
    for (double v : rows) r.Append(v);
    for (double v : cols) c.Append(v);
    HObject out;
    GenContourPolygonXld(&out, r, c);
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
    const HObject closed = contour({1.5, 1.5, 4.25, 1.5}, {2, 10, 6, 2});
    const HObject open = contour({0.1, 1e-7}, {-3, 123456.75});
    const std::string path = dir.path("contours.dxf");
    WriteContourXldDxf(concat(closed, open), path.c_str());
    const std::vector<DxfPolyline> lines = dxfPolylines(path);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].flags, 1);
    EXPECT_EQ(lines[0].xs, (std::vector<double>{2, 10, 6, 2}));
    EXPECT_EQ(lines[0].ys, (std::vector<double>{1.5, 1.5, 4.25, 1.5}));
    EXPECT_EQ(lines[0].zs, (std::vector<double>(4, 0.0)));
    EXPECT_EQ(lines[1].flags, 0);
    EXPECT_EQ(lines[1].xs, (std::vector<double>{-3, 123456.75}));
    EXPECT_EQ(lines[1].ys, (std::vector<double>{0.1, 1e-7}));  // shortest exact form reads back exactly

    HObject polygons;
    GenPolygonsXld(closed, &polygons, "ramer", 2.0);
    WritePolygonXldDxf(polygons, path.c_str());
    HTuple rows, cols, lengths, phis;
    GetPolygonXld(polygons, &rows, &cols, &lengths, &phis);
    const std::vector<DxfPolyline> polygonLines = dxfPolylines(path);
    ASSERT_EQ(polygonLines.size(), 1u);
    ASSERT_EQ(polygonLines[0].xs.size(), static_cast<size_t>(cols.Length()));
    for (Hlong i = 0; i < cols.Length(); ++i) {
        EXPECT_EQ(polygonLines[0].xs[static_cast<size_t>(i)], cols[i].D());
        EXPECT_EQ(polygonLines[0].ys[static_cast<size_t>(i)], rows[i].D());
    }

    WriteContourXldDxf(HObject(), path.c_str());
    EXPECT_TRUE(dxfPolylines(path).empty());
}

TEST(DxfWriters, OtherClassesAreRefusedAndLeaveNoFile) {
    TempDir dir;
    const std::string path = dir.path("wrong.dxf");
    HObject region, polygons;
    GenRectangle1(&region, 0, 0, 3, 3);
    const HObject line = contour({0, 1}, {0, 1});
    GenPolygonsXld(line, &polygons, "ramer", 1.0);
    EXPECT_EQ(errorOf([&] { WriteContourXldDxf(region, path.c_str()); }), 5279);
    EXPECT_EQ(errorOf([&] { WriteContourXldDxf(concat(line, polygons), path.c_str()); }), 5279);
    EXPECT_EQ(errorOf([&] { WritePolygonXldDxf(line, path.c_str()); }), 5279);
    const std::string message = messageOf([&] { WritePolygonXldDxf(concat(polygons, region), path.c_str()); });
    EXPECT_NE(message.find("Unexpected object detected"), std::string::npos) << message;
    EXPECT_NE(message.find("region"), std::string::npos) << message;
    const std::string nan = messageOf([&] { WriteContourXldDxf(contour({0, NAN}, {0, 1}), path.c_str()); });
    EXPECT_NE(nan.find("point 2 of object 1 is not finite"), std::string::npos) << nan;
    EXPECT_FALSE(std::filesystem::exists(path));
}

TEST(SaveObjects, SuffixChoosesObjectFileOrDxfAndFailuresReachLastError) {
    TempDir dir;
    ReaderHandle* reader = ix_reader_create();
    const HObject a = contour({1, 2, 3}, {4, 5, 6}), b = contour({7, 8}, {9, 10});
    const auto contours = objectNode(concat(a, b), L"xld_cont");

    // Capital suffix: still an object file, under exactly the name given.
    const std::string hobj = dir.path("X.HOBJ");
    ASSERT_EQ(ix_save_object_as(reader, contours.get(), wide(hobj).c_str()), 1) << lastError(reader);
    HObject back;
    ReadObject(&back, hobj.c_str());
    ASSERT_EQ(back.CountObj(), 2);
    HTuple rows, cols;
    GetContourXld(back.SelectObj(2), &rows, &cols);
    EXPECT_TRUE(rows.Length() == 2 && rows[1].D() == 8 && cols[1].D() == 10);

    const std::string dxf = dir.path("c.Dxf");
    ASSERT_EQ(ix_save_object_as(reader, contours.get(), wide(dxf).c_str()), 1) << lastError(reader);
    EXPECT_EQ(dxfPolylines(dxf).size(), 2u);

    HObject polygonObjects;
    GenPolygonsXld(a, &polygonObjects, "ramer", 1.0);
    const auto polygons = objectNode(polygonObjects, L"xld_poly");
    ASSERT_EQ(ix_save_object_as(reader, polygons.get(), wide(dxf).c_str()), 1) << lastError(reader);
    EXPECT_EQ(dxfPolylines(dxf).size(), 1u);

    // A region to DXF and a path without a suffix: the library's own words.
    HObject regionObject;
    GenRectangle1(&regionObject, 0, 0, 1, 1);
    const auto region = objectNode(regionObject, L"region");
    EXPECT_EQ(ix_save_object_as(reader, region.get(), wide(dir.path("r.dxf")).c_str()), 0);
    EXPECT_NE(lastError(reader).find("Unexpected object detected"), std::string::npos) << lastError(reader);
    EXPECT_EQ(ix_save_object_as(reader, region.get(), wide(dir.path("noext")).c_str()), 0);
    EXPECT_FALSE(lastError(reader).empty());
    const std::string missing = dir.path("missing/x.hobj");
    EXPECT_EQ(ix_save_object_as(reader, contours.get(), wide(missing).c_str()), 0);
    EXPECT_NE(lastError(reader).find(missing), std::string::npos) << lastError(reader);
    EXPECT_NE(lastError(reader).find("No such file or directory"), std::string::npos) << lastError(reader);

    // Guards: no error text, and the last one is cleared.
    NativeNode container;
    EXPECT_EQ(ix_save_object_as(reader, &container, wide(hobj).c_str()), 0);
    EXPECT_EQ(lastError(reader), "");
    EXPECT_EQ(ix_save_object_as(reader, nullptr, wide(hobj).c_str()), 0);
    EXPECT_EQ(ix_save_object_as(reader, contours.get(), nullptr), 0);
    EXPECT_EQ(ix_save_object_as(nullptr, contours.get(), wide(hobj).c_str()), 0);
    ix_reader_destroy(reader);
}

TEST(SaveObjects, SeveralNodesGoToOneObjectFileSkippingUnusableEntriesAfterTheFirst) {
    TempDir dir;
    ReaderHandle* reader = ix_reader_create();
    HObject regionObject;
    GenRectangle1(&regionObject, 0, 0, 4, 9);
    const auto region = objectNode(regionObject, L"region");
    const auto contours = objectNode(concat(contour({1, 2}, {3, 4}), contour({5, 6}, {7, 8})), L"xld_cont");
    NativeNode value;
    value.kind = IxNodeKind::Value;

    const std::string png = dir.path("Saved.png");  // the suffix does not matter: always an object file
    const NativeNode* nodes[] = {region.get(), nullptr, &value, contours.get()};
    ASSERT_EQ(ix_save_objects_as(reader, nodes, 4, wide(png).c_str()), 1) << lastError(reader);
    HObject back;
    ReadObject(&back, png.c_str());
    ASSERT_EQ(back.CountObj(), 3);
    EXPECT_EQ(std::string(back.GetObjClass()[0].C()), "region");
    EXPECT_EQ(std::string(back.GetObjClass()[2].C()), "xld_cont");
    HTuple area, row, column;
    AreaCenter(back.SelectObj(1), &area, &row, &column);
    EXPECT_EQ(area[0].L(), 50);

    // Only the first `count` entries are looked at.
    ASSERT_EQ(ix_save_objects_as(reader, nodes, 1, wide(png).c_str()), 1);
    ReadObject(&back, png.c_str());
    EXPECT_EQ(back.CountObj(), 1);

    const NativeNode* nullFirst[] = {nullptr, region.get()};
    const NativeNode* valueFirst[] = {&value, region.get()};
    ix_save_object_as(reader, region.get(), wide(dir.path("noext")).c_str());  // leaves an error to be cleared
    EXPECT_EQ(ix_save_objects_as(reader, nullFirst, 2, wide(png).c_str()), 0);
    EXPECT_EQ(lastError(reader), "");
    EXPECT_EQ(ix_save_objects_as(reader, valueFirst, 2, wide(png).c_str()), 0);
    EXPECT_EQ(lastError(reader), "");
    EXPECT_EQ(ix_save_objects_as(reader, nodes, 0, wide(png).c_str()), 0);
    EXPECT_EQ(ix_save_objects_as(reader, nullptr, 1, wide(png).c_str()), 0);

    EXPECT_EQ(ix_save_objects_as(reader, nodes, 4, wide(dir.path("missing/x.hobj")).c_str()), 0);
    EXPECT_NE(lastError(reader).find("No such file or directory"), std::string::npos) << lastError(reader);
    ix_reader_destroy(reader);
}

TEST(SaveObjects, ImageSuffixesNameTheImageFormat) {
    TempDir dir;
    ReaderHandle* reader = ix_reader_create();
    HObject imageObject;
    GenImageConst(&imageObject, "byte", 7, 5);
    const auto image = objectNode(imageObject, L"image");
    for (const char* name : {"a.png", "b.JPEG", "c.TIF", "d.jpg"}) {
        const std::string path = dir.path(name);
        ASSERT_EQ(ix_save_object_as(reader, image.get(), wide(path).c_str()), 1) << name << ": " << lastError(reader);
        HObject back;
        ReadImage(&back, path.c_str());
        EXPECT_EQ(HImage(back).Width()[0].L(), 7) << name;
    }
    EXPECT_EQ(ix_save_object_as(reader, image.get(), wide(dir.path("e.unknownformat")).c_str()), 0);
    EXPECT_FALSE(lastError(reader).empty());
    ix_reader_destroy(reader);
}
