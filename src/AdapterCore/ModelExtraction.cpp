// The points, normals and faces of a 3D object model, read whole through
// GetObjectModel3dParams: "point_coord_x/y/z", "point_normal_x/y/z",
// "triangles" (three indices each) and "polygons" (each polygon's point count
// followed by its indices, polygon after polygon).
#include "ModelExtraction.h"

#include "AdapterCore.h"

using namespace HalconCpp;

namespace {

// The model a node holds: the handle kept by a handle's root or by an
// "object_model_3d" node; none for any other node.
std::optional<HTuple> modelOf(const NativeNode* node) {
    if (!node || node->tuple.Length() != 1 || node->tuple.TupleIsHandleElem()[0].L() == 0) return std::nullopt;
    if (std::string(node->tuple.TupleSemType()[0].S().TextA()) != "object_model_3d") return std::nullopt;
    return node->tuple;
}

HTuple param(const HTuple& model, const char* name) {
    HTuple value;
    GetObjectModel3dParams(model, name, &value);
    return value;
}

bool flag(const HTuple& model, const char* name) {
    return std::string(param(model, name)[0].S().TextA()) == "true";
}

// Three tuples of one length, interleaved as floats.
std::vector<float> interleaved(const HTuple& model, const char* x, const char* y, const char* z) {
    const HTuple axes[3] = {param(model, x), param(model, y), param(model, z)};
    const Hlong n = axes[0].Length();
    std::vector<float> values;
    values.reserve(static_cast<size_t>(n) * 3);
    for (Hlong i = 0; i < n; ++i)
        for (const HTuple& axis : axes) values.push_back(static_cast<float>(axis[i].D()));
    return values;
}

}  // namespace

std::optional<NativeModelPoints> AdapterCore::extractModelPoints(const NativeNode* node, std::wstring& error) {
    const std::optional<HTuple> model = modelOf(node);
    if (!model) return std::nullopt;
    return reported(error, std::optional<NativeModelPoints>(), [&] {
        NativeModelPoints points;
        if (flag(*model, "has_points")) points.points = interleaved(*model, "point_coord_x", "point_coord_y", "point_coord_z");
        points.hasNormals = flag(*model, "has_normals");
        if (points.hasNormals)
            points.normals = interleaved(*model, "point_normal_x", "point_normal_y", "point_normal_z");
        return std::optional<NativeModelPoints>(std::move(points));
    });
}

std::optional<NativeModelFaces> AdapterCore::extractModelFaces(const NativeNode* node, std::wstring& error) {
    const std::optional<HTuple> model = modelOf(node);
    if (!model) return std::nullopt;
    return reported(error, std::optional<NativeModelFaces>(), [&] {
        NativeModelFaces faces;
        if (flag(*model, "has_triangles")) {
            const HTuple triangles = param(*model, "triangles");
            faces.triangles.reserve(static_cast<size_t>(triangles.Length()));
            for (Hlong i = 0; i + 2 < triangles.Length(); i += 3)
                for (Hlong k = 0; k < 3; ++k) faces.triangles.push_back(static_cast<int32_t>(triangles[i + k].L()));
        }
        faces.polygonStarts.push_back(0);
        if (flag(*model, "has_polygons")) {
            const HTuple polygons = param(*model, "polygons");
            const Hlong n = polygons.Length();
            faces.polygonIndices.reserve(static_cast<size_t>(n));
            for (Hlong at = 0; at < n;) {
                const Hlong count = polygons[at++].L();
                if (count < 0 || count > n - at) break;  // a count the tuple does not hold: the rest is left out
                for (const Hlong end = at + count; at < end; ++at)
                    faces.polygonIndices.push_back(static_cast<int32_t>(polygons[at].L()));
                faces.polygonStarts.push_back(static_cast<int32_t>(faces.polygonIndices.size()));
            }
        }
        return std::optional<NativeModelFaces>(std::move(faces));
    });
}
