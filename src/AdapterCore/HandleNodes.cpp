#include "HandleNodes.h"

#include <string>
#include <utility>

#include "NodePaths.h"
#include "NumberText.h"
#include "ObjectNodes.h"
#include "StringBridge.h"
#include "TupleNodes.h"

using namespace HalconCpp;

namespace {

// A handle or dictionary shown whole, without its keys.
std::unique_ptr<NativeNode> opaqueNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                       int32_t pathIndex, const std::wstring& typeName, NodeText summary) {
    auto node = newNode(label, IxNodeKind::Object, pathSegmentKind, pathIndex);
    node->typeLabel = typeName;
    node->objectClass = typeName;
    node->valueSummary = std::move(summary);
    return node;
}

std::wstring keyCountText(Hlong n) {
    return integerText(n) + (n == 1 ? L" key" : L" keys");
}

bool isSingleHandle(const HTuple& t) {
    return t.Length() == 1 && t.TupleIsHandleElem()[0].L() != 0;
}

std::unique_ptr<NativeNode> handleNode(const HTuple& handle, const std::wstring& label, int32_t depth,
                                       const Place& place);

// The child of one handle key; may raise, and the key is then left out.
std::unique_ptr<NativeNode> handleKeyChild(const HTuple& handle, const HTuple& key, const std::wstring& name,
                                           int32_t depth, const Place& place) {
    HTuple dataTypeTuple;
    GetHandleParam(handle, "key_data_type", key, &dataTypeTuple);
    const std::string dataType = dataTypeTuple[0].S().TextA();
    if (dataType == "object") {
        HObject object;
        GetHandleObject(&object, handle, key);
        return buildObjectNode(object, name, IxPathSegmentKind::Name, 0);
    }
    if (dataType != "tuple") return unsupportedKeyNode(name, dataType);
    HTuple t;
    GetHandleTuple(handle, key, &t);
    if (isSingleHandle(t)) return handleNode(t, name, depth + 1, place);
    return buildTupleNode(t, name, IxPathSegmentKind::Name, 0, place);
}

std::wstring handleTypeName(const HTuple& handle) {
    try {
        HTuple type;
        TupleSemType(handle, &type);
        if (type.Length() > 0) {
            std::wstring name = oneLine(fromHString(type[0].S()));
            if (!name.empty()) return name;
        }
    } catch (const HException&) {
    }
    return L"handle";
}

std::unique_ptr<NativeNode> handleNode(const HTuple& handle, const std::wstring& label, int32_t depth,
                                       const Place& place) {
    const std::wstring typeName = handleTypeName(handle);
    if (depth >= kMaxHandleDepth) return depthLimitNode(label, IxPathSegmentKind::Name, 0, typeName);
    try {
        HTuple keys;
        GetHandleParam(handle, "keys", HTuple(), &keys);
        auto node = newNode(label, IxNodeKind::Container, IxPathSegmentKind::Name, 0);
        node->typeLabel = typeName;
        if (typeName == L"object_model_3d") node->tuple = handle;  // kept for extraction
        const Hlong n = keys.Length();
        node->valueSummary = keyCountText(n);
        node->children.reserve(static_cast<size_t>(n));
        std::unique_ptr<ClashingKeys> clashing;
        for (Hlong i = 0; i < n; ++i) {
            const HTuple key(keys[i]);
            try {
                NativeNode* child = node->appendChild(handleKeyChild(handle, key, keyLabel(key), depth, place));
                child->pathSegment = segmentText(keySegmentAt(keys, i, clashing), child->label);
            } catch (const HException&) {
                // The key is left out; the summary still counts it.
            }
        }
        return node;
    } catch (const HException&) {
        return opaqueNode(label, IxPathSegmentKind::Name, 0, typeName, L"");
    }
}

}  // namespace

std::wstring keyDisplayName(const HTuple& key) {
    if (key.TupleIsStringElem()[0].L() != 0) return oneLine(fromHString(key[0].S()));
    if (key.TupleIsIntElem()[0].L() != 0) return integerText(key[0].L());
    return generalText(key[0].D(), 6);
}

std::wstring keyLabel(const HTuple& key) {
    try {
        return keyDisplayName(key);
    } catch (const HException&) {
        return L"<unreadable key>";
    }
}

std::unique_ptr<NativeNode> depthLimitNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                           int32_t pathIndex, const std::wstring& typeName) {
    return opaqueNode(label, pathSegmentKind, pathIndex, typeName, L"max nesting depth reached");
}

std::unique_ptr<NativeNode> unsupportedKeyNode(const std::wstring& name, const std::string& dataType) {
    auto node = newNode(name, IxNodeKind::Value, IxPathSegmentKind::Name, 0);
    node->typeLabel = L"<unsupported>";
    node->valueSummary = oneLine(fromHString(HString(dataType.c_str())));
    return node;
}

std::unique_ptr<NativeNode> errorNode(const std::wstring& name, IxPathSegmentKind pathSegmentKind, int32_t pathIndex,
                                      const HException& e) {
    auto node = newNode(name, IxNodeKind::Value, pathSegmentKind, pathIndex);
    node->typeLabel = L"<error>";
    node->valueSummary = oneLine(fromHString(e.ErrorMessage()));
    return node;
}

std::unique_ptr<NativeNode> buildDictNode(const HDict& dict, HTuple keys, const std::wstring& label,
                                          IxPathSegmentKind pathSegmentKind, int32_t pathIndex, const Place& place) {
    auto node = newNode(label, IxNodeKind::Container, pathSegmentKind, pathIndex);
    node->typeLabel = L"dict";
    node->valueSummary = place.tree->shared(keyCountText(keys.Length()));
    LateChildren late;
    late.tree = place.tree;
    late.dict = dict;
    late.items = std::move(keys);
    late.dictDepth = place.dictDepth + 1;
    makeLate(*node, std::move(late));
    return node;
}

std::unique_ptr<NativeNode> buildDictNode(const HDict& dict, const std::wstring& label,
                                          IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    return buildDictNode(dict, dict.GetDictParam("keys", HTuple()), label, pathSegmentKind, pathIndex,
                         Place::newTree());
}

std::unique_ptr<NativeNode> buildHandleNode(const HTuple& handle, const std::wstring& label,
                                            IxPathSegmentKind pathSegmentKind, int32_t pathIndex, int32_t depth) {
    std::unique_ptr<NativeNode> node = handleNode(handle, label, depth, Place::newTree());
    node->pathSegmentKind = pathSegmentKind;
    node->pathIndex = pathIndex;
    if (pathSegmentKind == IxPathSegmentKind::Index) node->pathSegment = indexSegment(node->label, pathIndex);
    return node;
}
