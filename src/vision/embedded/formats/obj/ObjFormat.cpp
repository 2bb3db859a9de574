#include "formats/obj/ObjFormat.h"

#include <tiny_obj_loader.h>

#include <istream>
#include <streambuf>

#include "formats/Model3dRead.h"
#include "tools/Dict.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::obj {

namespace {

constexpr const char* kFormat = "OBJ";
// What tinyobjloader holds while it parses, per byte of the file at most: a
// face "f 1 2 3" (8 bytes) is a vector of its own in its intermediate faces
// and three indices of 12 bytes in the result, both grown by doubling.
constexpr uint64_t kParserBytesPerByte = 40;

// A read-only stream over bytes in memory, without copying them.
class MemoryBuffer : public std::streambuf {
public:
    MemoryBuffer(char* data, size_t size) { setg(data, data, data + size); }
};

}  // namespace

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    const char* proc = model3d::kReadProc;
    budget.take(saturatingMul(file.size(), 1 + kParserBytesPerByte),
                [&] { return "parsing an OBJ file of " + std::to_string(file.size()) + " bytes"; });
    std::vector<char> bytes(static_cast<size_t>(file.size()));
    file.read(0, bytes.data(), bytes.size(), kFormat, "file");
    MemoryBuffer buffer(bytes.data(), bytes.size());
    std::istream stream(&buffer);

    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warnings, error;
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warnings, &error, &stream, nullptr, false, false)) {
        while (!error.empty() && (error.back() == '\n' || error.back() == '\r')) error.pop_back();
        raiseInvalid(kFormat, error.empty() ? std::string("unreadable") : error.substr(0, error.find('\n')), proc);
    }
    std::vector<char>().swap(bytes);

    auto model = std::make_shared<ObjectModel3d>();
    const size_t n = attrib.vertices.size() / 3;
    checkLimit(n, Limits::runsOrPoints, proc, std::to_string(n) + " points", "points");
    budget.take(saturatingMul(n, 12), [&] { return std::to_string(n) + " points"; });
    model->x.resize(n);
    model->y.resize(n);
    model->z.resize(n);
    for (size_t i = 0; i < n; ++i) {
        model->x[i] = attrib.vertices[3 * i];
        model->y[i] = attrib.vertices[3 * i + 1];
        model->z[i] = attrib.vertices[3 * i + 2];
    }

    const size_t normalCount = attrib.normals.size() / 3;
    std::vector<float> normals;
    std::vector<bool> hasNormal;
    size_t withNormal = 0;
    if (normalCount > 0) {
        budget.take(saturatingMul(n, 13), [&] { return std::to_string(n) + " normals"; });
        normals.assign(3 * n, 0.0f);
        hasNormal.assign(n, false);
    }
    model3d::Faces faces(budget, kFormat);
    for (const tinyobj::shape_t& shape : shapes) {
        // tinyobjloader keeps each face's size in a byte: a face of 256 points
        // or more leaves the sizes short of the indices, and its faces unknown.
        uint64_t sized = 0;
        for (const unsigned int count : shape.mesh.num_face_vertices) sized += count;
        if (sized != shape.mesh.indices.size()) raiseInvalid(kFormat, "a face of more than 255 points", proc);
        size_t at = 0;
        for (const unsigned int count : shape.mesh.num_face_vertices) {
            if (at + count > shape.mesh.indices.size()) raiseInvalid(kFormat, "a face beyond its indices", proc);
            faces.begin(count);
            for (size_t k = at; k < at + count; ++k) {
                const tinyobj::index_t& index = shape.mesh.indices[k];
                if (index.vertex_index < 0 || static_cast<size_t>(index.vertex_index) >= n)
                    raiseInvalid(kFormat,
                                 "face " + std::to_string(faces.count() - 1) + " refers to point " +
                                     std::to_string(index.vertex_index + 1) + " of " + std::to_string(n),
                                 proc);
                const size_t point = static_cast<size_t>(index.vertex_index);
                faces.add(point);
                if (normalCount > 0 && index.normal_index >= 0 && static_cast<size_t>(index.normal_index) < normalCount) {
                    if (!hasNormal[point]) ++withNormal;
                    hasNormal[point] = true;
                    for (int a = 0; a < 3; ++a)
                        normals[3 * point + a] = attrib.normals[3 * static_cast<size_t>(index.normal_index) + a];
                }
            }
            at += count;
        }
    }
    faces.finish(*model);
    if (n > 0 && withNormal == n) {
        model->nx.resize(n);
        model->ny.resize(n);
        model->nz.resize(n);
        for (size_t i = 0; i < n; ++i) {
            model->nx[i] = normals[3 * i];
            model->ny[i] = normals[3 * i + 1];
            model->nz[i] = normals[3 * i + 2];
        }
    }
    return handleOf(std::move(model));
}

}  // namespace ixv::formats::obj
