// Small 3D object model files: PLY in its three encodings, OFF variants,
// STL ASCII and binary, OBJ, and a .om3 file of a model with every field.
#include <cstring>

#include "Model3dFiles.h"
#include "Seeds.h"
#include "formats/hdict/Binary.h"
#include "formats/hdict/Model3dBlock.h"
#include "tools/ObjectModel3d.h"

using namespace ixtest::model3d;

IX_SEEDS(ply) {
    add(bytesOf("ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
                "property uchar red\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
                "0 0 0 1\n1 0 0 2\n0 1 0 3\n3 0 1 2\n"));
    for (const bool big : {false, true}) {
        Packer out(big, bytesOf(std::string("ply\nformat binary_") + (big ? "big" : "little") +
                                "_endian 1.0\nelement other 1\nproperty list uchar short q\nelement vertex 2\n"
                                "property double x\nproperty float y\nproperty int z\nproperty float nx\n"
                                "property float ny\nproperty float nz\nelement face 1\n"
                                "property list uchar uint vertex_indices\nproperty ushort id\nend_header\n"));
        out.put<uint8_t>(1).put<int16_t>(5);
        for (int i = 0; i < 2; ++i) out.put<double>(i).put<float>(2).put<int32_t>(-i).put<float>(0).put<float>(1).put<float>(0);
        out.put<uint8_t>(4).put<uint32_t>(0).put<uint32_t>(1).put<uint32_t>(1).put<uint32_t>(0).put<uint16_t>(9);
        add(out.bytes());
    }
}

IX_SEEDS(off) {
    add(bytesOf("OFF\n# square\n4 2 0\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n4 0 1 2 3 255 0 0\n"));
    add(bytesOf("NCOFF 2 0 0\n0 0 0 0 0 1 1 2 3 4\n1 1 1 0 1 0 5 6 7 8\n"));
}

IX_SEEDS(stl) {
    add(bytesOf("solid s\nfacet normal 0 0 1\n outer loop\n  vertex 0 0 0\n  vertex 1 0 0\n  vertex 0 1 0\n"
                " endloop\nendfacet\nendsolid s\n"));
    add(binaryStl({{0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 0, 1, 0, 1, 1}}, "solid binary"));
}

IX_SEEDS(obj) {
    add(bytesOf("# quad\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvn 0 0 1\nvt 0 0\nf 1/1/1 2/1/1 3/1/1 4/1/1\n"
                "g second\nf -4 -3 -2\nl 1 2\n"));
}

std::shared_ptr<ixv::ObjectModel3d> ixseeds::modelOfEveryField() {
    auto model = std::make_shared<ixv::ObjectModel3d>();
    model->x = {0, 1, 0}, model->y = {0, 0, 1}, model->z = {0, 0, 0};
    model->nx = {0, 0, 0}, model->ny = {0, 0, 0}, model->nz = {1, 1, 1};
    model->triangles = {0, 1, 2};
    model->polygonStarts = {0}, model->polygonIndices = {2, 1, 0};
    model->attributes.push_back({"red", false, {1, 2, 3}});
    model->primitiveType = "plane";
    model->primitiveParameters = {0, 0, 3, 0, 0, 1, 2};
    return model;
}

IX_SEEDS(om3) {
    std::vector<uint8_t> bytes = {0x89, 'I', 'X', 'O', 'M', '3', '\r', '\n', 1, 0, 0, 0, 0, 0, 0, 0};
    ixv::formats::BinaryOut out(&bytes);
    ixv::formats::model3d::write(*ixseeds::modelOfEveryField(), out, "write_object_model_3d");
    out.flush();
    add(bytes);
}
