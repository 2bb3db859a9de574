// 3D object models: points (x, y, z), optional normals, triangles and
// polygons over the points, further per-point attributes, and an optional
// primitive. Coordinates are in metres, as the vendor keeps them.
//
// GetObjectModel3dParams answers "num_points", "num_triangles",
// "num_polygons", "has_points", "has_normals", "has_triangles",
// "has_polygons", "has_primitive_data" ("true"/"false"), "primitive_type"
// (error without a primitive), "center" (mean of the points),
// "bounding_box1" ([x1, y1, z1, x2, y2, z2]; NaN coordinates left out),
// "diameter_axis_aligned_bounding_box" (the box's diagonal),
// A model of no points answers "center", "bounding_box1" and the diameter
// from its primitive's parameters (see primitiveParameterCount).
// "point_coord_x/y/z" and "point_normal_x/y/z"; also "triangles" (three
// point indices each) and "polygons" (each polygon's point count followed by
// its point indices), which are not among the generic keys. The generic keys
// are those of the other names that apply to the model.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/Tool.h"

namespace ixv {

class ObjectModel3d final : public NamedKeyTool {
public:
    static constexpr const char* kSemType = "object_model_3d";

    // A per-point or per-face property kept as it was read ("red", "quality").
    struct Attribute {
        std::string name;
        bool perFace = false;
        std::vector<double> values;
    };

    const char* semType() const override { return kSemType; }
    HalconCpp::HTuple keys() const override;
    HalconCpp::HTuple tupleAt(const HalconCpp::HTuple& key, const char* proc) const override;

    // The value of one parameter of GetObjectModel3dParams.
    HalconCpp::HTuple param(const std::string& name, const char* proc) const;

    size_t numPoints() const { return x.size(); }
    bool hasNormals() const { return !nx.empty(); }

    std::vector<float> x, y, z;       // the points
    std::vector<float> nx, ny, nz;    // normals: empty, or one per point
    std::vector<uint32_t> triangles;  // three point indices per triangle
    std::vector<uint32_t> polygonStarts;   // where each polygon begins in polygonIndices
    std::vector<uint32_t> polygonIndices;  // point indices of all polygons
    std::vector<Attribute> attributes;
    std::string primitiveType;  // empty: no primitive
    std::vector<double> primitiveParameters;

    // The parameters a primitive type takes, or -1 for a type that is none:
    // "sphere" 4 (centre x, y, z, radius); "cylinder" 9 (centre, axis
    // direction, radius, the lowest and highest extent along the axis from
    // the centre); "plane" 7 (centre, normal, the radius of the disk of the
    // plane around the centre that the model covers); "box" 9 (centre, the
    // rotation about x, y and z in degrees as in a pose, R = Rx Ry Rz, and the
    // side lengths along the box's own x, y and z).
    static int primitiveParameterCount(const std::string& type);

private:
    bool applies(const std::string& name) const;
};

}  // namespace ixv
