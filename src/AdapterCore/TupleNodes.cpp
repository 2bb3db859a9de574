#include "TupleNodes.h"

#include <cstring>
#include <utility>
#include <vector>

#include "NumberText.h"
#include "StringBridge.h"
#include "ValueText.h"

using namespace HalconCpp;

namespace {

int32_t countOf(Hlong n) {
    return n > INT32_MAX ? INT32_MAX : static_cast<int32_t>(n);
}

bool isPlainTypeName(const char* name) {
    return std::strcmp(name, "integer") == 0 || std::strcmp(name, "real") == 0 || std::strcmp(name, "string") == 0;
}

// What an element is, by its flags: 0 string, 1 integer, 2 real.
int elementKind(const HTuple& stringFlags, const HTuple& intFlags, Hlong i) {
    if (stringFlags[i].L() != 0) return 0;
    return intFlags[i].L() != 0 ? 1 : 2;
}

// The type label of a tuple without handles: the semantic type name of its
// elements, with the count when there are several, or "tuple[n]" for a mix.
// Plain elements have one semantic name per kind, so the kinds from the flags
// decide whether the names differ.
NodeText plainTypeLabel(const HTuple& tuple, Hlong n, const HTuple& stringFlags, const HTuple& intFlags, Tree& tree) {
    const int first = elementKind(stringFlags, intFlags, 0);
    // When the library names one plain type for the whole tuple, all
    // elements share it; otherwise the flags tell where they differ.
    if (n > 1 && !isPlainTypeName(tuple.TupleSemType()[0].S().TextA())) {
        for (Hlong i = 1; i < n; ++i) {
            if (elementKind(stringFlags, intFlags, i) != first) return tree.shared(L"tuple[" + integerText(n) + L"]");
        }
    }
    const NodeText& name = tree.plainTypeName(tuple, 0, first);
    if (n == 1) return name;
    return tree.shared(name.str() + L"[" + integerText(n) + L"]");
}

std::unique_ptr<NativeNode> valueNode(const HTuple& tuple, Hlong n, const HTuple& stringFlags, const HTuple& intFlags,
                                      const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                      int32_t pathIndex, Tree& tree) {
    auto node = newNode(label, IxNodeKind::Value, pathSegmentKind, pathIndex);
    node->totalCount = countOf(n);
    const Hlong kept = n < kMaxNodeValues ? n : kMaxNodeValues;
    node->values.reserve(static_cast<size_t>(kept));
    for (Hlong i = 0; i < kept; ++i) node->values.push_back(stringifyTupleElement(tuple, i, stringFlags, intFlags));
    node->truncated = n > kMaxNodeValues;
    node->tuple = tuple;
    node->typeLabel = plainTypeLabel(tuple, n, stringFlags, intFlags, tree);
    node->valueSummary = tree.shared(buildInlinePreview(node->values, node->totalCount));
    return node;
}

// A single matrix: "columns x rows", one detail line of "%g" reals per row.
std::unique_ptr<NativeNode> matrixNode(const HTuple& tuple, const std::wstring& label) {
    auto node = newNode(label, IxNodeKind::Object, IxPathSegmentKind::Name, 0);
    node->typeLabel = L"matrix";
    node->objectClass = L"matrix";
    const HTuple matrix(tuple[0].H());
    HTuple rowsTuple, columnsTuple, elements;
    GetSizeMatrix(matrix, &rowsTuple, &columnsTuple);
    const Hlong rows = rowsTuple[0].L();
    const Hlong columns = columnsTuple[0].L();
    node->valueSummary = integerText(columns) + L"x" + integerText(rows);
    GetFullMatrix(matrix, &elements);
    node->detailEntryCount = 1;
    // The matrix exists, so its element count is already paid for; the
    // reservation follows what GetFullMatrix gave, not the sizes.
    const Hlong available = elements.Length();
    node->detailLines.reserve(columns > 0 ? static_cast<size_t>(available / columns) : 0);
    for (Hlong r = 0; r < rows; ++r) {
        std::wstring line = L"[ ";
        for (Hlong k = 0; k < columns; ++k) {
            if (k > 0) line += L"  ";
            line += ensureDecimalPoint(generalText(elements[r * columns + k].D(), 6));
        }
        line += L" ]";
        node->detailLines.push_back(std::move(line));
    }
    return node;
}

HTuple modelParam(const HTuple& model, const char* name) {
    HTuple value;
    GetObjectModel3dParams(model, name, &value);
    return value;
}

// A single 3D object model: its point count, and one line with the centre,
// the box's diameter and the box when it has points or a primitive.
std::unique_ptr<NativeNode> objectModel3dNode(const HTuple& tuple, const std::wstring& label) {
    auto node = newNode(label, IxNodeKind::Object, IxPathSegmentKind::Name, 0);
    node->typeLabel = L"object_model_3d";
    node->objectClass = L"object_model_3d";
    node->tuple = tuple;  // kept for extraction
    const HTuple model(tuple[0].H());
    const Hlong points = modelParam(model, "num_points")[0].L();
    node->valueSummary = L"points: " + integerText(points);
    const bool hasPrimitive = std::string(modelParam(model, "has_primitive_data")[0].S().TextA()) == "true";
    const std::wstring primitiveType =
        hasPrimitive ? oneLine(fromHString(modelParam(model, "primitive_type")[0].S())) : std::wstring(L"none");

    std::wstring line = L"object_model_3d: points: " + integerText(points);
    if (points > 0 || hasPrimitive) {
        const HTuple center = modelParam(model, "center");
        const HTuple diameter = modelParam(model, "diameter_axis_aligned_bounding_box");
        const HTuple box = modelParam(model, "bounding_box1");
        line += L", center: [" + formatGeometryValue(center[0].D()) + L", " + formatGeometryValue(center[1].D()) +
                L", " + formatGeometryValue(center[2].D()) + L"]";
        line += L", diameter: " + formatGeometryValue(diameter[0].D());
        line += L", bounding box: [";
        for (Hlong i = 0; i < box.Length(); ++i) {
            if (i > 0) line += L", ";
            line += formatGeometryValue(box[i].D());
        }
        line += L"]";
    }
    line += L", primitive type: " + primitiveType;
    node->detailEntryCount = 1;
    node->detailLines.push_back(std::move(line));
    return node;
}

}  // namespace

std::wstring elementLabel(Hlong index) {
    return L"[" + integerText(index) + L"]";
}

std::unique_ptr<NativeNode> unsupportedHandleNode(const std::wstring& label, int32_t index) {
    auto node = newNode(label, IxNodeKind::Object, IxPathSegmentKind::Index, index);
    node->typeLabel = L"<unsupported handle>";
    return node;
}

std::unique_ptr<NativeNode> plainElementNode(const HTuple& tuple, Hlong index, const ElementFlags& flags,
                                             Tree& tree) {
    auto child = newNode(tree.shared(elementLabel(index)), IxNodeKind::Value, IxPathSegmentKind::Index, countOf(index));
    child->values.push_back(stringifyTupleElement(tuple, index, flags.string, flags.integer));
    child->totalCount = 1;
    child->typeLabel = L"tuple[1]";
    child->valueSummary = tree.shared(buildInlinePreview(child->values, 1));
    return child;
}

bool hasHandleElement(const HTuple& tuple, ElementFlags& flags) {
    const Hlong n = tuple.Length();
    if (flags.handle.Length() != n) flags.handle = tuple.TupleIsHandleElem();
    flags.string = tuple.TupleIsStringElem();
    flags.integer = tuple.TupleIsIntElem();
    // A tuple whose common semantic type is a plain one holds no handle: one
    // query instead of a scan of every element's flag.
    if (n == 0 || isPlainTypeName(tuple.TupleSemType()[0].S().TextA())) return false;
    for (Hlong i = 0; i < n; ++i)
        if (flags.handle[i].L() != 0) return true;
    return false;
}

std::unique_ptr<NativeNode> buildTupleNode(const HTuple& tuple, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex, const Place& place,
                                           ElementFlags flags) {
    const Hlong n = tuple.Length();
    if (n == 0) {
        auto node = newNode(label, IxNodeKind::Value, pathSegmentKind, pathIndex);
        node->tuple = tuple;
        node->typeLabel = L"tuple[0]";
        node->valueSummary = buildInlinePreview(node->values, 0);
        return node;
    }
    if (!hasHandleElement(tuple, flags))
        return valueNode(tuple, n, flags.string, flags.integer, label, pathSegmentKind, pathIndex, *place.tree);
    if (n == 1) {
        const std::string type = tuple.TupleSemTypeElem()[0].S().TextA();
        if (type == "matrix") return matrixNode(tuple, label);
        if (type == "object_model_3d") return objectModel3dNode(tuple, label);
    }
    // Handles among the elements: one child per element, built when first
    // asked for, a dictionary for each handle that is one.
    auto node = newNode(label, IxNodeKind::Array, pathSegmentKind, pathIndex);
    node->typeLabel = L"array";
    node->valueSummary = integerText(n) + (n >= 2 ? L" entries" : L" entry");
    LateChildren late;
    late.tree = place.tree;
    late.items = tuple;
    late.flags = std::move(flags);
    late.dictDepth = place.dictDepth;
    makeLate(*node, std::move(late));
    return node;
}

std::unique_ptr<NativeNode> buildTupleNode(const HTuple& tuple, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    return buildTupleNode(tuple, label, pathSegmentKind, pathIndex, Place::newTree());
}
