#include "formats/hdict/Model3dBlock.h"

#include "base/Errors.h"

namespace ixv::formats::model3d {

namespace {

// Every index must name a point: the model's users index the points with them.
void checkIndices(BinaryIn& in, const std::vector<uint32_t>& indices, uint64_t points, uint64_t at, const char* what) {
    for (const uint32_t index : indices)
        if (index >= points)
            in.invalid(std::string(what) + " point index " + std::to_string(index) + " of a model of " +
                           std::to_string(points) + " points",
                       at);
}

template <class T>
void putArray(BinaryOut& out, const std::vector<T>& values) {
    out.put(values.data(), values.size() * sizeof(T));
}

}  // namespace

void write(const ObjectModel3d& model, BinaryOut& out, const char* proc) {
    const size_t n = model.numPoints();
    if (model.y.size() != n || model.z.size() != n || (model.hasNormals() && (model.nx.size() != n ||
                                                                               model.ny.size() != n || model.nz.size() != n)))
        raise(proc, err::HandleNotSerializable, "a 3D object model whose coordinate arrays differ in length");
    out.put<uint64_t>(n);
    for (const auto* axis : {&model.x, &model.y, &model.z}) putArray(out, *axis);
    out.put<uint8_t>(model.hasNormals() ? 1 : 0);
    if (model.hasNormals())
        for (const auto* axis : {&model.nx, &model.ny, &model.nz}) putArray(out, *axis);
    out.put<uint64_t>(model.triangles.size() / 3);
    out.put(model.triangles.data(), model.triangles.size() / 3 * 3 * sizeof(uint32_t));
    out.put<uint64_t>(model.polygonStarts.size());
    out.put<uint64_t>(model.polygonIndices.size());
    putArray(out, model.polygonStarts);
    putArray(out, model.polygonIndices);
    out.put<uint32_t>(static_cast<uint32_t>(model.attributes.size()));
    for (const ObjectModel3d::Attribute& attribute : model.attributes) {
        out.string(attribute.name, proc);
        out.put<uint8_t>(attribute.perFace ? 1 : 0);
        out.put<uint64_t>(attribute.values.size());
        putArray(out, attribute.values);
    }
    out.string(model.primitiveType, proc);
    if (model.primitiveType.empty()) return;
    if (ObjectModel3d::primitiveParameterCount(model.primitiveType) != static_cast<int>(model.primitiveParameters.size()))
        raise(proc, err::HandleNotSerializable,
              "a 3D object model whose primitive '" + model.primitiveType + "' has " +
                  std::to_string(model.primitiveParameters.size()) + " parameters");
    out.put<uint32_t>(static_cast<uint32_t>(model.primitiveParameters.size()));
    putArray(out, model.primitiveParameters);
}

std::shared_ptr<ObjectModel3d> read(BinaryIn& in) {
    constexpr uint64_t limit = Limits::runsOrPoints;
    in.takeBytes(sizeof(ObjectModel3d) + 64, "3D object model");
    auto model = std::make_shared<ObjectModel3d>();
    const uint64_t n = in.count(12, limit, "point count", "points");
    model->x = in.array<float>(n, "x coordinates");
    model->y = in.array<float>(n, "y coordinates");
    model->z = in.array<float>(n, "z coordinates");
    const uint64_t normalsAt = in.offset();
    const uint8_t normals = in.read<uint8_t>("normals flag");
    if (normals > 1) in.invalid("normals flag " + std::to_string(normals), normalsAt);
    if (normals == 1) {
        if (saturatingMul(n, 12) > in.remaining())
            in.invalid("normals of " + std::to_string(n) + " points exceed the " + std::to_string(in.remaining()) +
                       " bytes left");
        model->nx = in.array<float>(n, "x normals");
        model->ny = in.array<float>(n, "y normals");
        model->nz = in.array<float>(n, "z normals");
    }
    const uint64_t trianglesAt = in.offset();
    const uint64_t triangles = in.count(12, limit / 3, "triangle count", "triangles");
    model->triangles = in.array<uint32_t>(triangles * 3, "triangles");
    checkIndices(in, model->triangles, n, trianglesAt, "triangle");
    const uint64_t polygonsAt = in.offset();
    const uint64_t polygons = in.count(4, limit, "polygon count", "polygons");
    const uint64_t indices = in.count(4, limit, "polygon index count", "indices");
    if (saturatingAdd(saturatingMul(polygons, 4), saturatingMul(indices, 4)) > in.remaining())
        in.invalid(std::to_string(polygons) + " polygons of " + std::to_string(indices) + " indices exceed the " +
                       std::to_string(in.remaining()) + " bytes left",
                   polygonsAt);
    model->polygonStarts = in.array<uint32_t>(polygons, "polygon starts");
    model->polygonIndices = in.array<uint32_t>(indices, "polygon indices");
    for (size_t i = 0; i < model->polygonStarts.size(); ++i) {
        const uint32_t start = model->polygonStarts[i];
        if ((i == 0 && start != 0) || (i > 0 && start < model->polygonStarts[i - 1]) || start > indices)
            in.invalid("polygon " + std::to_string(i) + " starts at index " + std::to_string(start) +
                           " (starts begin at 0, never decrease and stay within the indices)",
                       polygonsAt);
    }
    checkIndices(in, model->polygonIndices, n, polygonsAt, "polygon");
    const uint64_t attributesAt = in.offset();
    const uint32_t attributes = in.read<uint32_t>("attribute count");
    if (saturatingMul(attributes, 13) > in.remaining())
        in.invalid("attribute count " + std::to_string(attributes) + " exceeds the " + std::to_string(in.remaining()) +
                       " bytes left",
                   attributesAt);
    in.takeBytes(saturatingMul(attributes, sizeof(ObjectModel3d::Attribute)), "attributes");
    model->attributes.reserve(attributes);
    for (uint32_t i = 0; i < attributes; ++i) {
        ObjectModel3d::Attribute attribute;
        attribute.name = in.string("attribute name");
        const uint64_t kindAt = in.offset();
        const uint8_t kind = in.read<uint8_t>("attribute kind");
        if (kind > 1) in.invalid("attribute kind " + std::to_string(kind), kindAt);
        attribute.perFace = kind == 1;
        attribute.values = in.array<double>(in.count(8, limit, "attribute value count", "values"), "attribute values");
        model->attributes.push_back(std::move(attribute));
    }
    const uint64_t primitiveAt = in.offset();
    model->primitiveType = in.string("primitive type");
    if (model->primitiveType.empty()) return model;
    const int wanted = ObjectModel3d::primitiveParameterCount(model->primitiveType);
    if (wanted < 0)
        in.invalid("primitive type '" + model->primitiveType + "' (sphere, cylinder, plane or box)", primitiveAt);
    const uint64_t parametersAt = in.offset();
    const uint32_t parameters = in.read<uint32_t>("primitive parameter count");
    if (parameters != static_cast<uint32_t>(wanted))
        in.invalid(std::to_string(parameters) + " parameters of a " + model->primitiveType + " (it takes " +
                       std::to_string(wanted) + ")",
                   parametersAt);
    model->primitiveParameters = in.array<double>(parameters, "primitive parameters");
    return model;
}

}  // namespace ixv::formats::model3d
