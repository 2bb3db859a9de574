// What every tool shares, and matrices and 3D object models.
#include <algorithm>
#include <cmath>

#include "base/Access.h"
#include "base/Errors.h"
#include "base/Limits.h"
#include "base/TupleData.h"
#include "tools/Matrix.h"
#include "tools/ObjectModel3d.h"
#include "tools/Tool.h"

using HalconCpp::HHandle;
using HalconCpp::HObject;
using HalconCpp::HTuple;

namespace ixv {

const char* handleSemType(const HHandle& handle) {
    const auto& tool = Access::tool(handle);
    return tool ? tool->semType() : "handle";
}

HHandle singleHandle(const HTuple& tuple, const char* proc, int position) {
    if (tuple.Length() != 1) raiseParCount(proc, position, "expected one handle");
    const Element e = elementOf(tuple, 0);
    if (const HHandle* h = std::get_if<HHandle>(&e)) return *h;
    raiseParValue(proc, position, "expected a handle");
}

HTuple Tool::keys() const {
    return HTuple();
}

const char* Tool::keyDataType(const HTuple& key, const char* proc) const {
    raise(proc, err::DictKeyMissing, "key " + keyText(key));
}

HTuple Tool::tupleAt(const HTuple& key, const char* proc) const {
    keyDataType(key, proc);
    raiseParValue(proc, 2, "key " + keyText(key) + " holds iconic objects, not a tuple");
}

HObject Tool::objectAt(const HTuple& key, const char* proc) const {
    keyDataType(key, proc);  // an unknown key is error 2894
    raiseParValue(proc, 2, "key " + keyText(key) + " holds a tuple, not iconic objects");
}

std::string NamedKeyTool::keyName(const HTuple& key, const char* proc) const {
    const HTuple names = keys();
    if (key.Length() == 1) {
        const Element e = elementOf(key, 0);
        if (const std::string* s = std::get_if<std::string>(&e)) {
            for (Hlong i = 0; i < names.Length(); ++i)
                if (*s == names[i].C()) return *s;
        }
    }
    raise(proc, err::DictKeyMissing, "key " + keyText(key));
}

const char* NamedKeyTool::keyDataType(const HTuple& key, const char* proc) const {
    keyName(key, proc);
    return "tuple";
}

// ---------------------------------------------------------------------------

void Matrix::checkSize(int64_t rows, int64_t columns, const char* proc) {
    if (rows < 0 || columns < 0) raiseParValue(proc, rows < 0 ? 1 : 2, "a matrix size is at least 0");
    checkLimit(saturatingMul(static_cast<uint64_t>(rows), static_cast<uint64_t>(columns)), Limits::runsOrPoints,
               proc, "matrix of " + std::to_string(rows) + " x " + std::to_string(columns) + " elements", "elements");
}

HTuple Matrix::keys() const {
    return tupleOfStrings({"rows", "columns", "values"});
}

HTuple Matrix::tupleAt(const HTuple& key, const char* proc) const {
    const std::string name = keyName(key, proc);
    if (name == "rows") return HTuple(rows_);
    if (name == "columns") return HTuple(columns_);
    return tupleOfDoubles(values_);
}

// ---------------------------------------------------------------------------

namespace {

const char* const kModelParams[] = {
    "num_points",   "num_triangles", "num_polygons",  "has_points",    "has_normals",   "has_triangles",
    "has_polygons", "has_primitive_data", "primitive_type", "center", "bounding_box1",
    "diameter_axis_aligned_bounding_box", "point_coord_x", "point_coord_y", "point_coord_z",
    "point_normal_x", "point_normal_y", "point_normal_z"};

HTuple flag(bool value) {
    return HTuple(value ? "true" : "false");
}

HTuple reals(const std::vector<float>& values) {
    return tupleOfDoubles(std::vector<double>(values.begin(), values.end()));
}

}  // namespace

int ObjectModel3d::primitiveParameterCount(const std::string& type) {
    if (type == "sphere") return 4;
    if (type == "cylinder" || type == "box") return 9;
    if (type == "plane") return 7;
    return -1;
}

namespace {

// Half the extent along each axis of a disk of `radius` whose plane has the normal `n`.
void diskExtent(const double* n, double radius, double* half) {
    const double length = std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    for (int a = 0; a < 3; ++a) {
        const double c = length > 0 ? n[a] / length : 0;
        half[a] = radius * std::sqrt(std::max(0.0, 1 - c * c));
    }
}

// The centre and the axis-aligned box of a primitive; false when the type or
// the number of its parameters is none of primitiveParameterCount's.
bool primitiveGeometry(const std::string& type, const std::vector<double>& p, double* centre, double* low, double* high) {
    if (ObjectModel3d::primitiveParameterCount(type) != static_cast<int>(p.size())) return false;
    double half[3] = {0, 0, 0};
    for (int a = 0; a < 3; ++a) centre[a] = p[static_cast<size_t>(a)];
    if (type == "sphere") {
        half[0] = half[1] = half[2] = std::fabs(p[3]);
    } else if (type == "plane") {
        diskExtent(&p[3], std::fabs(p[6]), half);
    } else if (type == "cylinder") {
        const double length = std::sqrt(p[3] * p[3] + p[4] * p[4] + p[5] * p[5]);
        double ends[2][3];
        for (int a = 0; a < 3; ++a) {
            const double unit = length > 0 ? p[3 + static_cast<size_t>(a)] / length : 0;
            ends[0][a] = p[static_cast<size_t>(a)] + unit * p[7];
            ends[1][a] = p[static_cast<size_t>(a)] + unit * p[8];
            centre[a] = (ends[0][a] + ends[1][a]) / 2;
        }
        diskExtent(&p[3], std::fabs(p[6]), half);
        for (int a = 0; a < 3; ++a) half[a] += std::fabs(ends[1][a] - ends[0][a]) / 2;
    } else {  // box: R = Rx(a) Ry(b) Rz(c); half extent along axis i = sum over j of |R_ij| l_j / 2
        const double k = std::acos(-1.0) / 180;
        const double ca = std::cos(p[3] * k), sa = std::sin(p[3] * k), cb = std::cos(p[4] * k), sb = std::sin(p[4] * k),
                     cc = std::cos(p[5] * k), sc = std::sin(p[5] * k);
        const double r[3][3] = {{cb * cc, -cb * sc, sb},
                                {ca * sc + sa * sb * cc, ca * cc - sa * sb * sc, -sa * cb},
                                {sa * sc - ca * sb * cc, sa * cc + ca * sb * sc, ca * cb}};
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j) half[i] += std::fabs(r[i][j]) * std::fabs(p[6 + static_cast<size_t>(j)]) / 2;
    }
    for (int a = 0; a < 3; ++a) {
        low[a] = centre[a] - half[a];
        high[a] = centre[a] + half[a];
    }
    return true;
}

}  // namespace

bool ObjectModel3d::applies(const std::string& name) const {
    if (name == "primitive_type") return !primitiveType.empty();
    if (name == "center" || name == "bounding_box1" || name == "diameter_axis_aligned_bounding_box")
        return numPoints() > 0 || !primitiveType.empty();
    if (name.rfind("point_coord_", 0) == 0)
        return numPoints() > 0;
    if (name.rfind("point_normal_", 0) == 0) return hasNormals();
    return true;
}

HTuple ObjectModel3d::keys() const {
    std::vector<std::string> names;
    for (const char* name : kModelParams)
        if (applies(name)) names.emplace_back(name);
    return tupleOfStrings(names);
}

HTuple ObjectModel3d::tupleAt(const HTuple& key, const char* proc) const {
    return param(keyName(key, proc), proc);
}

HTuple ObjectModel3d::param(const std::string& name, const char* proc) const {
    const size_t n = numPoints();
    if (name == "num_points") return HTuple(static_cast<Hlong>(n));
    if (name == "num_triangles") return HTuple(static_cast<Hlong>(triangles.size() / 3));
    if (name == "num_polygons") return HTuple(static_cast<Hlong>(polygonStarts.size()));
    if (name == "has_points") return flag(n > 0);
    if (name == "has_normals") return flag(hasNormals());
    if (name == "has_triangles") return flag(!triangles.empty());
    if (name == "has_polygons") return flag(!polygonStarts.empty());
    if (name == "has_primitive_data") return flag(!primitiveType.empty());
    if (name == "triangles") return tupleOfLongs(std::vector<Hlong>(triangles.begin(), triangles.end()));
    if (name == "polygons") {  // each polygon's point count, then its point indices
        std::vector<Hlong> values;
        values.reserve(polygonStarts.size() + polygonIndices.size());
        for (size_t k = 0; k < polygonStarts.size(); ++k) {
            const size_t end = k + 1 < polygonStarts.size() ? polygonStarts[k + 1] : polygonIndices.size();
            values.push_back(static_cast<Hlong>(end - polygonStarts[k]));
            values.insert(values.end(), polygonIndices.begin() + polygonStarts[k], polygonIndices.begin() + end);
        }
        return tupleOfLongs(std::move(values));
    }
    if (name == "primitive_type") {
        if (primitiveType.empty()) raiseParValue(proc, 2, "the model has no primitive");
        return tupleOfStrings({primitiveType});
    }
    if (name == "point_coord_x" || name == "point_coord_y" || name == "point_coord_z" || name == "point_normal_x" ||
        name == "point_normal_y" || name == "point_normal_z") {
        const bool normal = name[6] == 'n';
        if (!applies(name)) raiseParValue(proc, 2, normal ? "the model has no normals" : "the model has no points");
        const char axis = name.back();
        if (normal) return reals(axis == 'x' ? nx : axis == 'y' ? ny : nz);
        return reals(axis == 'x' ? x : axis == 'y' ? y : z);
    }
    if (name == "center" || name == "bounding_box1" || name == "diameter_axis_aligned_bounding_box") {
        double centre[3] = {0, 0, 0}, low[3], high[3];
        if (n == 0) {
            if (primitiveType.empty()) raiseParValue(proc, 2, "the model has no points");
            if (!primitiveGeometry(primitiveType, primitiveParameters, centre, low, high))
                raiseParValue(proc, 2, "the primitive '" + primitiveType + "' of " +
                                           std::to_string(primitiveParameters.size()) + " parameters is none");
        } else {
            const std::vector<float>* axes[3] = {&x, &y, &z};
            for (int a = 0; a < 3; ++a) {
                low[a] = high[a] = (*axes[a])[0];
                for (float v : *axes[a]) {  // fmin and fmax pass over NaN wherever it lies
                    centre[a] += v;
                    low[a] = std::fmin(low[a], static_cast<double>(v));
                    high[a] = std::fmax(high[a], static_cast<double>(v));
                }
                centre[a] /= static_cast<double>(n);
            }
        }
        if (name == "center") return tupleOfDoubles({centre[0], centre[1], centre[2]});
        if (name == "bounding_box1") return tupleOfDoubles({low[0], low[1], low[2], high[0], high[1], high[2]});
        return HTuple(std::sqrt((high[0] - low[0]) * (high[0] - low[0]) + (high[1] - low[1]) * (high[1] - low[1]) +
                                (high[2] - low[2]) * (high[2] - low[2])));
    }
    raiseParValue(proc, 2, "unknown parameter '" + name + "'");
}

}  // namespace ixv
