// 3D object model files: PLY, OFF, STL and OBJ files of known content read
// through ReadObjectModel3d, scales and parameters, damaged and hostile files,
// and PLY and .om3 files written and read back.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>

#include "Model3dFiles.h"
#include "TestFiles.h"
#include "formats/Formats.h"
#include "formats/hdict/Binary.h"
#include "formats/hdict/Model3dBlock.h"
#include "tools/Dict.h"
#include "tools/ObjectModel3d.h"
#include "tools/Tool.h"
#include "TupleValues.h"

using namespace HalconCpp;
using namespace ixtest::model3d;

namespace {

using ixtest::reals;

struct Read {
    HTuple model;
    const ixv::ObjectModel3d& data() const { return ixv::toolAs<ixv::ObjectModel3d>(model[0].H(), "test"); }
    HTuple param(const char* name) const {
        HTuple value;
        GetObjectModel3dParams(model, name, &value);
        return value;
    }
};

class ModelFiles : public ::testing::Test {
protected:
    Read read(const std::string& name, const Bytes& bytes, const HTuple& scale = "m", const HTuple& names = HTuple(),
              const HTuple& vals = HTuple()) {
        Read result;
        HTuple status;
        ReadObjectModel3d(dir.write(name, bytes).c_str(), scale, names, vals, &result.model, &status);
        EXPECT_EQ(status.Length(), 0);
        return result;
    }
    std::string error(const std::string& name, const Bytes& bytes) {
        return messageOf([&] { read(name, bytes); });
    }
    // Points, triangles, polygons, centre and bounding box of a model.
    void expectShape(const Read& r, Hlong points, Hlong triangles, Hlong polygons, std::vector<double> center,
                     std::vector<double> box) {
        EXPECT_EQ((std::vector<Hlong>{r.param("num_points")[0].L(), r.param("num_triangles")[0].L(), r.param("num_polygons")[0].L()}),
                  (std::vector<Hlong>{points, triangles, polygons}));
        const std::vector<double> c = reals(r.param("center")), b = reals(r.param("bounding_box1"));
        for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(c[i], center[i], 1e-6) << i;
        EXPECT_EQ(b, box);
    }
    TempDir dir;
};

const char* const kUnitSquare =  // four points, one triangle and one quad; an edge element skipped
    "ply\nformat ascii 1.0\ncomment square\nelement vertex 4\nproperty float x\nproperty float y\n"
    "property float z\nproperty uchar quality\nelement edge 1\nproperty list uchar int pair\nproperty int cost\n"
    "element face 2\nproperty list uchar int vertex_indices\nproperty float area\nend_header\n"
    "0 0 0 1\n1 0 0 2\n1 1 0 3\n0 1 4 4\n2 0 1 7\n3 0 1 2 0.5\n4 0 1 2 3 1\n";

TEST_F(ModelFiles, PlyInEveryEncoding) {
    const Read ascii = read("a.ply", bytesOf(kUnitSquare));
    expectShape(ascii, 4, 0, 2, {0.5, 0.5, 1}, {0, 0, 0, 1, 1, 4});  // mixed faces stay polygons, in file order
    const auto& m = ascii.data();
    EXPECT_EQ(m.polygonStarts, (std::vector<uint32_t>{0, 3}));
    ASSERT_EQ(m.attributes.size(), 2u);
    EXPECT_EQ(m.attributes[0].name, "quality");
    EXPECT_EQ(m.attributes[0].values, (std::vector<double>{1, 2, 3, 4}));
    EXPECT_TRUE(m.attributes[1].perFace);
    EXPECT_EQ(m.attributes[1].values, (std::vector<double>{0.5, 1}));

    // Every scalar type, each name of it, a skipped element with lists before the vertices.
    const std::string header =
        "ply\nformat binary_little_endian 1.0\nelement material 2\nproperty list uchar float rgb\n"
        "element vertex 2\nproperty char a\nproperty int8 b\nproperty uint8 c\nproperty short d\n"
        "property uint16 e\nproperty int32 f\nproperty uint g\nproperty float x\nproperty double y\n"
        "property float64 z\nelement face 1\nproperty list uint8 uint32 vertex_index\nend_header\n";
    Packer le(false, bytesOf(header));
    le.put<uint8_t>(1).put<float>(9).put<uint8_t>(0);
    for (int i = 0; i < 2; ++i)
        le.put<int8_t>(-1).put<int8_t>(-2).put<uint8_t>(200).put<int16_t>(-300).put<uint16_t>(60000)
            .put<int32_t>(-70000).put<uint32_t>(4000000000u).put<float>(i * 2.0f).put<double>(-4.0 * i).put<double>(6.0);
    le.put<uint8_t>(3).put<uint32_t>(0).put<uint32_t>(1).put<uint32_t>(1);
    const Read little = read("le.ply", le.bytes());
    expectShape(little, 2, 1, 0, {1, -2, 6}, {0, -4, 6, 2, 0, 6});
    std::vector<double> firsts;
    for (const auto& a : little.data().attributes) firsts.push_back(a.values[1]);
    EXPECT_EQ(firsts, (std::vector<double>{-1, -2, 200, -300, 60000, -70000, 4000000000.0}));

    // Big-endian doubles with normals; a quad as a polygon.
    Packer be(true, bytesOf("ply\r\nformat binary_big_endian 1.0\r\nelement vertex 4\r\nproperty double x\r\n"
                            "property double y\r\nproperty double z\r\nproperty float nx\r\nproperty float ny\r\n"
                            "property float nz\r\nelement face 1\r\nproperty list int short vertex_indices\r\n"
                            "end_header\n"));
    for (int i = 0; i < 4; ++i) be.put<double>(i).put<double>(-i).put<double>(0.25).put<float>(0).put<float>(0).put<float>(1);
    be.put<int32_t>(4).put<int16_t>(0).put<int16_t>(1).put<int16_t>(2).put<int16_t>(3);
    const Read big = read("be.ply", be.bytes());
    expectShape(big, 4, 0, 1, {1.5, -1.5, 0.25}, {0, -3, 0.25, 3, 0, 0.25});
    EXPECT_EQ(reals(big.param("point_normal_z")), (std::vector<double>{1, 1, 1, 1}));
}

TEST_F(ModelFiles, OffStlAndObj) {
    const Read off = read("m.off", bytesOf("OFF\n# a comment\n4 2 0\n0 0 0\n2 0 0\n0 2 0\n0 0 2\n3 0 1 2\n3 0 1 3 1 0 0\n"));
    expectShape(off, 4, 2, 0, {0.5, 0.5, 0.5}, {0, 0, 0, 2, 2, 2});
    const Read coff = read("c.off", bytesOf("NCOFF 3 1 0\n0 0 0 0 0 1 255 0 0\n1 0 0 0 0 1 0 255 0\n"
                                            "0 1 0 0 0 1 0 0 255\n3 2 1 0\n"));
    EXPECT_EQ(coff.data().attributes.size(), 3u);
    EXPECT_EQ(coff.param("has_normals")[0].S().TextA(), std::string("true"));
    EXPECT_EQ(coff.data().attributes[2].values, (std::vector<double>{0, 0, 255}));

    const std::string facet = "facet normal 0 0 1\n outer loop\n  vertex 0 0 0\n  vertex 4 0 0\n  vertex 0 2 0\n"
                              " endloop\nendfacet\n";
    const Read ascii = read("a.stl", bytesOf("solid part\n" + facet + facet + "endsolid part\n"));
    expectShape(ascii, 6, 2, 0, {4 / 3.0, 2 / 3.0, 0}, {0, 0, 0, 4, 2, 0});  // points are not merged
    const std::vector<std::vector<float>> triangles = {{0, 0, 0, 4, 0, 0, 0, 2, 0}, {0, 0, 1, 4, 0, 1, 0, 2, 1}};
    expectShape(read("b.stl", binaryStl(triangles)), 6, 2, 0, {4 / 3.0, 2 / 3.0, 0.5}, {0, 0, 0, 4, 2, 1});
    // A binary file whose header begins with "solid" is told apart by its size.
    EXPECT_EQ(read("s.stl", binaryStl(triangles, "solid but binary")).param("num_triangles")[0].L(), 2);

    const Read quads = read("q.obj", bytesOf("# cube side\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\n"
                                             "f 1//1 2//1 3//1 4//1\nf -4 -2 -1\n"));
    expectShape(quads, 4, 0, 2, {0.5, 0.5, 0}, {0, 0, 0, 1, 1, 0});
    EXPECT_EQ(reals(quads.param("point_normal_z")), (std::vector<double>{1, 1, 1, 1}));
    const Read tris = read("t.obj", bytesOf("mtllib none.mtl\nv 0 0 0\nv 2 0 0\nv 0 2 0\nv 5 5 5\nf 1 2 3\n"));
    expectShape(tris, 4, 1, 0, {7 / 4.0, 7 / 4.0, 5 / 4.0}, {0, 0, 0, 5, 5, 5});
    EXPECT_EQ(tris.param("has_normals")[0].S().TextA(), std::string("false"));
}

TEST_F(ModelFiles, ScaleParametersAndUnknownFiles) {
    const Bytes off = bytesOf("OFF 2 0 0\n1000 0 -2000\n0 500 0\n");
    EXPECT_EQ(reals(read("m.off", off, "mm").param("bounding_box1")), (std::vector<double>{0, 0, -2, 1, 0.5, 0}));
    EXPECT_EQ(reals(read("m.off", off, 0.5).param("bounding_box1")), (std::vector<double>{0, 0, -1000, 500, 250, 0}));
    EXPECT_EQ(errorOf([&] { read("m.off", off, "inch"); }), 1302u);
    EXPECT_EQ(errorOf([&] { read("m.off", off, -1.0); }), 1302u);
    EXPECT_EQ(errorOf([&] { read("m.off", off, "m", "convert_to_mm", "true"); }), 1303u);
    EXPECT_EQ(errorOf([&] { read("m.off", off, "m", "file_type", "dxf"); }), 1304u);
    // file_type names the format of a file whose name and content do not.
    const Bytes stl = binaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}});
    EXPECT_EQ(read("part.dat", stl, "m", "file_type", "stl").param("num_points")[0].L(), 3);
    EXPECT_EQ(error("part.dat", stl),
              "Unsupported 3D object model format: " + dir.path("part.dat") +
                  " is not a PLY, OFF, STL, OBJ or 3D object model file");
    EXPECT_EQ(errorOf([&] { ReadObjectModel3d(dir.path("missing.ply").c_str(), "m", HTuple(), HTuple(), nullptr, nullptr); }),
              5200u);
}

// The header of a PLY file of `points` vertices of float x, y and z, then `more`, up to its end.
std::string plyHead(const char* format, uint64_t points, const std::string& more = "") {
    return "ply\nformat " + std::string(format) + " 1.0\nelement vertex " + std::to_string(points) +
           "\nproperty float x\nproperty float y\nproperty float z\n" + more;
}
const std::string kFace = "element face 1\nproperty list uchar int vertex_indices\n";

// Every field of a model, as a .om3 file holds them.
Bytes blockOf(const ixv::ObjectModel3d& model) {
    Bytes bytes;
    ixv::formats::BinaryOut out(&bytes);
    ixv::formats::model3d::write(model, out, "test");
    out.flush();
    return bytes;
}

// Reads bytes with the reader of the format with this suffix, as a fuzz target does.
void readBytes(const char* suffix, const Bytes& bytes) {
    const auto file = ixv::formats::ByteSource::inMemory(bytes.data(), bytes.size(), "read_object_model_3d");
    const auto* format = ixv::formats::formatNamed(suffix, &ixv::formats::Format::readHandle);
    ixv::Budget budget = ixv::formats::budgetFor(*format, file);
    format->readHandle(file, budget, HTuple(), HTuple());
}

TEST_F(ModelFiles, DamagedAndHostileFilesAreErrors) {
    Read model = read("a.ply", bytesOf(kUnitSquare));
    WriteObjectModel3d(model.model, "ply", dir.path("w.ply").c_str(), HTuple(), HTuple());
    WriteObjectModel3d(model.model, "om3", dir.path("w.om3").c_str(), HTuple(), HTuple());
    const std::string kText = kUnitSquare;
    const std::string stlText = "solid s\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nvertex 0 1 0\n"
                                "endloop\nendfacet\nendsolid s\n";
    const struct {
        const char* suffix;
        Bytes bytes;
        size_t alwaysBad;  // every cut shorter than this is an error (text may end early in a number)
    } files[] = {
        {"ply", bytesOf(readFile(dir.path("w.ply"))), SIZE_MAX},
        {"om3", bytesOf(readFile(dir.path("w.om3"))), SIZE_MAX},
        {"stl", binaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}}), SIZE_MAX},
        {"ply", bytesOf(kText), kText.rfind("4 0 1 2 3")},
        {"off", bytesOf("OFF 3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), 30},
        {"stl", bytesOf(stlText), stlText.size() - 3},  // "endsolid" needs no name
    };
    for (const auto& f : files) {
        ASSERT_EQ(messageOf([&] { readBytes(f.suffix, f.bytes); }), "") << f.suffix;
        for (size_t cut = 0; cut < f.bytes.size(); ++cut) {
            const std::string message = messageOf([&] { readBytes(f.suffix, Bytes(f.bytes.begin(), f.bytes.begin() + cut)); });
            EXPECT_FALSE(cut < f.alwaysBad && message.empty()) << f.suffix << " cut at " << cut;
        }
    }

    std::string bigFace, face = "f";  // 259 points, then a triangle: not two triangles
    for (int i = 1; i <= 259; ++i) {
        bigFace += "v 0 0 0\n";
        face += " " + std::to_string(i);
    }
    bigFace += face + "\nf 1 2 3\n";
    const std::tuple<const char*, Bytes, std::string> cases[] = {
        {"ply", bytesOf(plyHead("binary_little_endian", 4000000000) + "end_header\n"), "4000000000 points exceeds the limit"},
        {"ply", bytesOf(plyHead("ascii", 1, kFace) + "end_header\n0 0 0\n3 0 0 1\n"),
         "Invalid PLY file: face 0 refers to point 1 of a model of 1 points"},
        {"ply", bytesOf(plyHead("ascii", 1) + "end_header\n0 x 0\n"), "Invalid PLY file: 'x' is no number (vertex property) at line 8"},
        {"ply", bytesOf(plyHead("binary_little_endian", 1, kFace) + "end_header\n" + std::string(12, '\0') + "\xff"),
         "Invalid PLY file: a list of 255 items needs 1020 bytes, 0 left at offset"},
        {"ply", bytesOf(std::string("ply\nformat ascii 1.0\nelement vertex 1\nproperty fl\0at\x01 x\nend_header\n", 67)),
         "Invalid PLY file: unknown property type 'fl\\x00at\\x01' at line 4"},
        {"ply", bytesOf("ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nend_header\n0 0\n"),
         "Invalid PLY file: the vertex element has no x, y and z properties"},
        {"off", bytesOf("OFF 268435456 1 0\n0 0 0\n"), "Invalid OFF file: 268435456 points and 1 faces exceed"},
        {"off", bytesOf("OFF 268435457 1 0\n"), "point count 268435457 above 268435456 at line 1"},
        {"off", bytesOf("3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n"), "Invalid OFF file: no OFF keyword at the start"},
        {"stl", Packer(false, Bytes(80, 'x')).put<uint32_t>(1u << 30).bytes(),
         "Invalid STL file: neither ASCII (beginning with 'solid') nor binary (1073741824 triangles need"},
        {"obj", bytesOf(bigFace), "Invalid OBJ file: a face of more than 255 points"},
        {"obj", bytesOf("v 0 0 0\r\nf 1 1 99999999999999999999\n"), "face at line 2 refers to point 99999999999999999999 of 1"},
        {"obj", bytesOf("v 0 0 0\rf 1 1 2147483648\n"), "face at line 2 refers to point 2147483648 of 1"},
        {"obj", bytesOf("v 0 0 0\nf 1 -2 1\nf 1 1 0\n"), "point -2, counting back from the 1 points before it"},
        {"obj", bytesOf("v 0 0 0\nf 1 1 1\nf 1 1 0\n"), "face refers to point 0 (points count from 1) at line 3"},
        {"obj", bytesOf("v 0 0 0\nf 1 1/ 1\n"), "'1/' is not a point of a face (v, v/vt, v//vn or v/vt/vn) at line 2"},
        {"obj", bytesOf("v 0 0 0\nf 1 1 1\nf\n"), "Invalid OBJ file: a face without points at line 3"},
        {"obj", bytesOf("v 0 0 0\nl 1 0\n"), "Invalid OBJ file: unreadable 'l' line at line 2"},
        {"obj", bytesOf("\xff\xfev"), "Invalid OBJ file: UTF-16 text"},
        {"obj", bytesOf("# nothing\n"), "Invalid OBJ file: no points"},
        {"off", bytesOf("OFF 0 0 0\n"), "Invalid OFF file: no points"},
        {"ply", bytesOf(plyHead("ascii", 0) + "end_header\n"), "Invalid PLY file: no points"},
        {"stl", bytesOf("solid a\nendsolid a\n"), "Invalid STL file: no points"},
        {"stl", Bytes(84, 0), "Invalid STL file: no points"},
    };
    for (const auto& [suffix, bytes, expected] : cases) {
        const std::string message = messageOf([&, &suffix = suffix, &bytes = bytes] { readBytes(suffix, bytes); });
        EXPECT_NE(message.find(expected), std::string::npos) << message;
    }
}

// A NaN coordinate leaves the box alone wherever it lies; the centre shows it.
TEST_F(ModelFiles, NanCoordinatesInTheBox) {
    const std::string head = "OFF 3 0 0\n";
    for (const std::string points : {"nan 0 0\n1 1 1\n2 2 2\n", "1 1 1\nnan 0 0\n2 2 2\n"}) {
        const Read r = read("n.off", bytesOf(head + points));
        EXPECT_EQ(reals(r.param("bounding_box1")), (std::vector<double>{1, 0, 0, 2, 2, 2})) << points;
        EXPECT_EQ(r.param("diameter_axis_aligned_bounding_box")[0].D(), 3) << points;
        EXPECT_TRUE(std::isnan(r.param("center")[0].D())) << points;
    }
}

// A German locale changes neither the numbers read nor those in messages.
TEST_F(ModelFiles, NumbersIgnoreTheLocale) {
    const std::string saved = std::setlocale(LC_ALL, nullptr);
    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    struct Restore {
        std::string locale;
        ~Restore() { std::setlocale(LC_ALL, locale.c_str()); }
    } restore{saved};
    EXPECT_EQ(reals(read("a.ply", bytesOf(plyHead("ascii", 1) + "end_header\n1.5 0 0\n")).param("point_coord_x")),
              (std::vector<double>{1.5}));
    const std::string message = error("b.ply", bytesOf(plyHead("ascii", 1, kFace) + "end_header\n0 0 0\n3 0 0.5 0\n"));
    EXPECT_NE(message.find("point index 0.5 out of range"), std::string::npos) << message;
}

TEST_F(ModelFiles, WrittenModelsReadBack) {
    auto model = std::make_shared<ixv::ObjectModel3d>();
    model->x = {0, 1, 2, 3.5f};
    model->y = {0, -1, 2, 1e-7f};
    model->z = {5, 6, 7, 8};
    model->nx = {0, 0, 1, 0};
    model->ny = {1, 0, 0, 0};
    model->nz = {0, 1, 0, 1};
    model->triangles = {0, 1, 2, 1, 2, 3};
    model->attributes = {{"intensity", false, {0.1, 0.2, 0.3, 1e300}}, {"face_id", true, {7, 8}}};
    auto polygons = std::make_shared<ixv::ObjectModel3d>(*model);
    polygons->triangles.clear();
    polygons->polygonStarts = {0, 4};
    polygons->polygonIndices = {0, 1, 2, 3, 3, 2, 1};
    for (const auto& original : {model, polygons})
        for (const char* type : {"ply", "om3"}) {
            const std::string path = dir.path(std::string("m.") + type);
            WriteObjectModel3d(HTuple(ixv::handleOf(original)), type, path.c_str(), HTuple(), HTuple());
            Read back;
            ReadObjectModel3d(path.c_str(), "m", HTuple(), HTuple(), &back.model, nullptr);
            EXPECT_EQ(blockOf(back.data()), blockOf(*original)) << type;
        }
    // What the format cannot hold: an unknown format, a name with a space, a model of nothing (neither om3 nor
    // PLY), a primitive alone (not PLY).
    const auto writeError = [&](const std::shared_ptr<ixv::ObjectModel3d>& m, const char* type) {
        return errorOf([&] { WriteObjectModel3d(HTuple(ixv::handleOf(m)), type, dir.path("e").c_str(), HTuple(), HTuple()); });
    };
    EXPECT_EQ(writeError(model, "obj"), 1302u);
    model->attributes[0].name = "two words";
    auto nothing = std::make_shared<ixv::ObjectModel3d>(), primitive = std::make_shared<ixv::ObjectModel3d>();
    primitive->primitiveType = "sphere";
    for (const auto& [m, type] : {std::pair{model, "ply"}, {nothing, "om3"}, {nothing, "ply"}, {primitive, "ply"}})
        EXPECT_EQ(writeError(m, type), 2455u) << type;
}

// A model of a primitive and no points keeps its parameters through an .om3
// file and answers its centre and box from them (the diameter is the box's,
// as for points).
TEST_F(ModelFiles, PrimitivesWithoutPointsHaveTheirGeometry) {
    const struct {
        const char* type;
        std::vector<double> parameters, center, box;
    } cases[] = {
        {"sphere", {1, 2, 3, 0.5}, {1, 2, 3}, {0.5, 1.5, 2.5, 1.5, 2.5, 3.5}},
        {"plane", {0, 0, 1, 0, 0, 2, 3}, {0, 0, 1}, {-3, -3, 1, 3, 3, 1}},  // the normal need not be a unit
        {"cylinder", {0, 0, 0, 1, 0, 0, 2, -1, 3}, {1, 0, 0}, {-1, -2, -2, 3, 2, 2}},
        {"box", {1, 1, 1, 0, 0, 90, 2, 4, 6}, {1, 1, 1}, {-1, 0, -2, 3, 2, 4}},  // turned about z: x and y swap
    };
    for (const auto& c : cases) {
        auto model = std::make_shared<ixv::ObjectModel3d>();
        model->primitiveType = c.type;
        model->primitiveParameters = c.parameters;
        const std::string path = dir.path(std::string(c.type) + ".om3");
        WriteObjectModel3d(HTuple(ixv::handleOf(model)), "om3", path.c_str(), HTuple(), HTuple());
        Read back;
        ReadObjectModel3d(path.c_str(), "m", HTuple(), HTuple(), &back.model, nullptr);
        EXPECT_EQ(back.data().primitiveParameters, c.parameters) << c.type;
        EXPECT_STREQ(back.param("primitive_type")[0].C(), c.type);
        EXPECT_EQ(reals(back.param("center")), c.center) << c.type;
        const std::vector<double> box = reals(back.param("bounding_box1"));
        ASSERT_EQ(box.size(), 6u) << c.type;
        for (int a = 0; a < 6; ++a) EXPECT_NEAR(box[a], c.box[a], 1e-12) << c.type << " " << a;
    }
}

}  // namespace
