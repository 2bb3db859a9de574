#include "formats/obj/ObjFormat.h"

#include <tiny_obj_loader.h>

#include <algorithm>
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

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// An integer in decimal with an optional sign, its magnitude saturated (a
// number of the text, never an overflowing int); false for anything else.
bool parseIndex(const char* p, const char* end, bool* negative, uint64_t* magnitude) {
    *negative = p < end && *p == '-';
    if (p < end && (*p == '-' || *p == '+')) ++p;
    if (p == end) return false;
    *magnitude = 0;
    for (; p < end; ++p) {
        if (*p < '0' || *p > '9') return false;
        *magnitude = saturatingAdd(saturatingMul(*magnitude, 10), static_cast<uint64_t>(*p - '0'));
    }
    return true;
}

// One point of a face, v, v/vt, v//vn or v/vt/vn, vt and vn nonzero integers
// and v an integer; its point index as the sign and the magnitude of v.
bool validPoint(const char* token, const char* end, bool* negative, uint64_t* index) {
    const char* const first = std::find(token, end, '/');
    if (!parseIndex(token, first, negative, index)) return false;
    if (first == end) return true;
    const char* const second = std::find(first + 1, end, '/');
    bool sign = false;
    uint64_t other = 0;
    const bool texture = parseIndex(first + 1, second, &sign, &other) && other != 0;
    if (second == end) return texture;
    return (texture || second == first + 1) && parseIndex(second + 1, end, &sign, &other) && other != 0;
}

// Checks the face lines as tinyobjloader will read them, counting lines as it
// does (LF, CR LF or CR; a line ends at a NUL): every point of a face is v,
// v/vt, v//vn or v/vt/vn of nonzero integers, and its point index, taken as
// the number the text writes, names a point of the file (a negative one counts
// back from the points before its line). Messages quote the index as written.
void checkFaces(const std::vector<char>& bytes, const char* proc) {
    const char* const data = bytes.data();
    const size_t size = bytes.size();
    uint64_t line = 0, points = 0;
    uint64_t largest = 0, largestLine = 0;  // the largest positive point index and where
    std::string largestText;
    auto fail = [&](const std::string& problem) { raiseInvalid(kFormat, problem + " at line " + std::to_string(line), proc); };
    for (size_t at = 0; at < size;) {
        ++line;
        size_t next = at;
        while (next < size && data[next] != '\n' && data[next] != '\r') ++next;
        const char* p = data + at;
        const char* const end = std::find(p, data + next, '\0');
        at = next + (next + 1 < size && data[next] == '\r' && data[next + 1] == '\n' ? 2 : 1);
        while (p < end && isBlank(*p)) ++p;
        if (end - p >= 2 && p[0] == 'v' && isBlank(p[1])) ++points;
        if (p == end || p[0] != 'f' || (end - p >= 2 && !isBlank(p[1]))) continue;
        size_t count = 0;
        for (++p;; ++count) {
            while (p < end && isBlank(*p)) ++p;
            if (p == end) break;
            const char* const token = p;
            while (p < end && !isBlank(*p)) ++p;
            const std::string text(token, p);
            const char* const vEnd = std::find(token, p, '/');
            bool negative = false;
            uint64_t index = 0;
            if (!validPoint(token, p, &negative, &index))
                fail("'" + text + "' is not a point of a face (v, v/vt, v//vn or v/vt/vn)");
            const std::string written(token, vEnd);
            if (index == 0) fail("face refers to point " + written + " (points count from 1)");
            if (negative && index > points)
                raiseInvalid(kFormat,
                             "face at line " + std::to_string(line) + " refers to point " + written +
                                 ", counting back from the " + std::to_string(points) + " points before it",
                             proc);
            if (!negative && index > largest) {
                largest = index;
                largestLine = line;
                largestText = written;
            }
        }
        if (count == 0) fail("a face without points");
    }
    if (largest > points)
        raiseInvalid(kFormat,
                     "face at line " + std::to_string(largestLine) + " refers to point " + largestText + " of " +
                         std::to_string(points),
                     proc);
}

// tinyobjloader's own refusal ("Failed parse `l' line(... line 7.)") as ours.
std::string parserProblem(const std::string& error) {
    const size_t open = error.find('`'), close = error.find('\'', open + 1), at = error.rfind("line ");
    if (open == std::string::npos || close == std::string::npos || at == std::string::npos) return "unreadable";
    const size_t digits = at + 5, stop = error.find_first_not_of("0123456789", digits);
    return "unreadable '" + error.substr(open + 1, close - open - 1) + "' line at line " +
           error.substr(digits, stop == std::string::npos ? std::string::npos : stop - digits);
}

}  // namespace

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple&, const HTuple&) {
    const char* proc = model3d::kReadProc;
    budget.take(saturatingMul(file.size(), 1 + kParserBytesPerByte),
                [&] { return "parsing an OBJ file of " + std::to_string(file.size()) + " bytes"; });
    std::vector<char> bytes(static_cast<size_t>(file.size()));
    file.read(0, bytes.data(), bytes.size(), kFormat, "file");
    if (bytes.size() >= 2 && ((bytes[0] == '\xff' && bytes[1] == '\xfe') || (bytes[0] == '\xfe' && bytes[1] == '\xff')))
        raiseInvalid(kFormat, "UTF-16 text (OBJ files are ASCII or UTF-8)", proc);
    checkFaces(bytes, proc);
    MemoryBuffer buffer(bytes.data(), bytes.size());
    std::istream stream(&buffer);

    tinyobj::attrib_t attrib;
    std::vector<tinyobj::shape_t> shapes;
    std::vector<tinyobj::material_t> materials;
    std::string warnings, error;
    if (!tinyobj::LoadObj(&attrib, &shapes, &materials, &warnings, &error, &stream, nullptr, false, false))
        raiseInvalid(kFormat, parserProblem(error), proc);
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
    return model3d::modelHandle(std::move(model), kFormat);
}

}  // namespace ixv::formats::obj
