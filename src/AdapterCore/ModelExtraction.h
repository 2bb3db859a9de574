// The data of a 3D object model for drawing: points and normals as 32-bit
// floats (x, y, z interleaved), triangles and polygons as point indices.
#pragma once

#include <cstdint>
#include <vector>

struct NativeModelPoints {
    std::vector<float> points;   // x, y, z of each point
    std::vector<float> normals;  // x, y, z of each point's normal; empty without normals
    bool hasNormals = false;
};

struct NativeModelFaces {
    std::vector<int32_t> triangles;       // three point indices each
    std::vector<int32_t> polygonIndices;  // the point indices of every polygon, one after another
    std::vector<int32_t> polygonStarts;   // where each polygon begins, and the end: polygons + 1 entries
};
