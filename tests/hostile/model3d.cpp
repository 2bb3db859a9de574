// 3D object model files whose counts promise far more than the file holds, and
// an OBJ file of the smallest faces, which tinyobjloader parses into its own
// arrays before the model is made.
#include <string>

#include "Hostile.h"

// 2^27 points of three floats promised by a header followed by 1 MB of data.
IX_HOSTILE(PlyVertexCountBomb) {
    std::string bytes = "ply\nformat binary_little_endian 1.0\nelement vertex 134217728\nproperty float x\n"
                        "property float y\nproperty float z\nend_header\n";
    bytes.resize(bytes.size() + (1 << 20));
    return {ixhostile::writeFile(dir, "points.ply", bytes), "134217728 points need at least 1610612736 bytes", 64};
}

// 2^28 faces of one point, two bytes each promised, 8 MB present.
IX_HOSTILE(PlyFaceCountBomb) {
    std::string bytes = "ply\nformat binary_little_endian 1.0\nelement vertex 1\nproperty float x\nproperty float y\n"
                        "property float z\nelement face 268435456\nproperty list uchar uchar vertex_indices\nend_header\n";
    bytes.append(12, '\0');
    for (int i = 0; i < (4 << 20); ++i) bytes.append("\x01\x00", 2);
    return {ixhostile::writeFile(dir, "faces.ply", bytes), "268435456 faces need at least 268435456 bytes", 64};
}

// 2 million faces "f 1 1 1" (16 MB): read within the memory OBJ files are charged (41 bytes per byte).
IX_HOSTILE(ObjSmallestFaces) {
    std::string bytes = "v 0 0 0\n";
    for (int i = 0; i < 2000000; ++i) bytes += "f 1 1 1\n";
    return {ixhostile::writeFile(dir, "faces.obj", bytes), "", 512};
}
