#include "HandleNodes.h"

#include <string>
#include <utility>

#include "NumberText.h"
#include "ObjectNodes.h"
#include "StringBridge.h"
#include "TupleNodes.h"

using namespace HalconCpp;

namespace {

// The bounds of the tree being built on this thread.
struct TreeState {
    int scopes = 0;         // builder calls in progress
    int dictDepth = 0;      // dictionary nodes along the current path
    size_t nodes = 0;       // children appended so far
    size_t nodeLimit = kMaxTreeNodes;
};
thread_local TreeState tree;

// One dictionary level of the current path.
class DictLevel {
public:
    DictLevel() { ++tree.dictDepth; }
    ~DictLevel() { --tree.dictDepth; }
    DictLevel(const DictLevel&) = delete;
    DictLevel& operator=(const DictLevel&) = delete;
};

std::unique_ptr<NativeNode> newNode(const std::wstring& label, IxNodeKind kind, IxPathSegmentKind pathSegmentKind,
                                    int32_t pathIndex) {
    auto node = std::make_unique<NativeNode>();
    node->label = label;
    node->kind = kind;
    node->pathSegmentKind = pathSegmentKind;
    node->pathIndex = pathIndex;
    return node;
}

// A handle or dictionary shown whole, without its keys.
std::unique_ptr<NativeNode> opaqueNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                       int32_t pathIndex, const std::wstring& typeName, const wchar_t* summary) {
    auto node = newNode(label, IxNodeKind::Object, pathSegmentKind, pathIndex);
    node->typeLabel = typeName;
    node->objectClass = typeName;
    node->valueSummary = summary;
    return node;
}

std::wstring keyCountText(Hlong n) {
    return integerText(n) + (n == 1 ? L" key" : L" keys");
}

std::wstring displayNameOrPlaceholder(const HTuple& key) {
    try {
        return keyDisplayName(key);
    } catch (const HException&) {
        return L"<unreadable key>";
    }
}

std::unique_ptr<NativeNode> unsupportedKeyNode(const std::wstring& name, const std::string& dataType) {
    auto node = newNode(name, IxNodeKind::Value, IxPathSegmentKind::Name, 0);
    node->typeLabel = L"<unsupported>";
    node->valueSummary = fromHString(HString(dataType.c_str()));
    return node;
}

bool isSingleHandle(const HTuple& t) {
    return t.Length() == 1 && t.TupleIsHandleElem()[0].L() != 0;
}

// The child of one dictionary key. Kept out of buildDictNode so that the
// frames repeated once per nesting level stay small.
__attribute__((noinline)) std::unique_ptr<NativeNode> dictKeyChild(const HDict& dict, const HTuple& key,
                                                                   const std::wstring& name) {
    const std::string dataType = dict.GetDictParam("key_data_type", key)[0].S().TextA();
    if (dataType == "object") return buildObjectNode(dict.GetDictObject(key), name, IxPathSegmentKind::Name, 0);
    if (dataType != "tuple") return unsupportedKeyNode(name, dataType);
    const HTuple t = dict.GetDictTuple(key);
    if (isSingleHandle(t)) {
        std::unique_ptr<NativeNode> child;
        try {
            child = nestedDictNode(t, 0, name, IxPathSegmentKind::Name, 0);
        } catch (const HException&) {
            child.reset();
        }
        if (child) return child;
    }
    return buildTupleNode(t, name, IxPathSegmentKind::Name, 0);
}

// The child of one handle key; may raise, and the key is then left out.
__attribute__((noinline)) std::unique_ptr<NativeNode> handleKeyChild(const HTuple& handle, const HTuple& key,
                                                                     const std::wstring& name, int32_t depth) {
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
    if (isSingleHandle(t)) return buildHandleNode(t, name, IxPathSegmentKind::Name, 0, depth + 1);
    return buildTupleNode(t, name, IxPathSegmentKind::Name, 0);
}

std::wstring handleTypeName(const HTuple& handle) {
    try {
        HTuple type;
        TupleSemType(handle, &type);
        if (type.Length() > 0) {
            std::wstring name = fromHString(type[0].S());
            if (!name.empty()) return name;
        }
    } catch (const HException&) {
    }
    return L"handle";
}

}  // namespace

TreeScope::TreeScope() {
    if (tree.scopes++ == 0) {
        tree.nodes = 0;
        tree.dictDepth = 0;
    }
}

TreeScope::~TreeScope() {
    --tree.scopes;
}

bool treeNodeLimitReached() {
    return tree.nodes >= tree.nodeLimit;
}

void countTreeNode() {
    ++tree.nodes;
}

std::unique_ptr<NativeNode> nodeLimitNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                          int32_t pathIndex) {
    return opaqueNode(label, pathSegmentKind, pathIndex, std::wstring(), L"node limit reached");
}

ScopedTreeNodeLimit::ScopedTreeNodeLimit(size_t limit) : previous_(tree.nodeLimit) {
    tree.nodeLimit = limit;
}

ScopedTreeNodeLimit::~ScopedTreeNodeLimit() {
    tree.nodeLimit = previous_;
}

std::unique_ptr<NativeNode> nestedDictNode(const HTuple& tuple, Hlong index, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    if (tree.dictDepth >= kMaxDictDepth) {
        // Past the depth bound no key list is read, not even to probe: the
        // semantic type tells a dictionary from other handles.
        if (std::string(HTuple(tuple[index]).TupleSemTypeElem()[0].S().TextA()) != "dict") return nullptr;
        return opaqueNode(label, pathSegmentKind, pathIndex, L"dict", L"max nesting depth reached");
    }
    const HDict dict(tuple[index].H());
    try {
        dict.GetDictParam("keys", HTuple());
    } catch (const HException&) {
        return nullptr;
    }
    return buildDictNode(dict, label, pathSegmentKind, pathIndex);
}

std::wstring keyDisplayName(const HTuple& key) {
    if (key.TupleIsStringElem()[0].L() != 0) return fromHString(key[0].S());
    if (key.TupleIsIntElem()[0].L() != 0) return integerText(key[0].L());
    return generalText(key[0].D(), 6);
}

std::unique_ptr<NativeNode> buildDictNode(const HDict& dict, const std::wstring& label,
                                          IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    TreeScope scope;
    if (tree.dictDepth >= kMaxDictDepth)
        return opaqueNode(label, pathSegmentKind, pathIndex, L"dict", L"max nesting depth reached");
    DictLevel level;

    auto node = newNode(label, IxNodeKind::Container, pathSegmentKind, pathIndex);
    const HTuple keys = dict.GetDictParam("keys", HTuple());
    const Hlong n = keys.Length();
    node->typeLabel = L"dict";
    node->valueSummary = keyCountText(n);
    node->children.reserve(static_cast<size_t>(n));
    for (Hlong i = 0; i < n; ++i) {
        const HTuple key(keys[i]);
        const std::wstring name = displayNameOrPlaceholder(key);
        std::unique_ptr<NativeNode> child;
        if (treeNodeLimitReached()) {
            child = nodeLimitNode(name, IxPathSegmentKind::Name, 0);
        } else {
            try {
                child = dictKeyChild(dict, key, name);
            } catch (const HException& e) {
                child = newNode(name, IxNodeKind::Value, IxPathSegmentKind::Name, 0);
                child->typeLabel = L"<error>";
                child->valueSummary = fromHString(e.ErrorMessage());
            }
        }
        node->appendChild(std::move(child));
        countTreeNode();
    }
    return node;
}

std::unique_ptr<NativeNode> buildHandleNode(const HTuple& handle, const std::wstring& label,
                                            IxPathSegmentKind pathSegmentKind, int32_t pathIndex, int32_t depth) {
    TreeScope scope;
    const std::wstring typeName = handleTypeName(handle);
    if (depth >= kMaxHandleDepth)
        return opaqueNode(label, pathSegmentKind, pathIndex, typeName, L"max nesting depth reached");
    try {
        HTuple keys;
        GetHandleParam(handle, "keys", HTuple(), &keys);
        auto node = newNode(label, IxNodeKind::Container, pathSegmentKind, pathIndex);
        node->typeLabel = typeName;
        const Hlong n = keys.Length();
        node->valueSummary = keyCountText(n);
        node->children.reserve(static_cast<size_t>(n));
        for (Hlong i = 0; i < n; ++i) {
            const HTuple key(keys[i]);
            const std::wstring name = displayNameOrPlaceholder(key);
            if (treeNodeLimitReached()) {
                node->appendChild(nodeLimitNode(name, IxPathSegmentKind::Name, 0));
                countTreeNode();
                continue;
            }
            try {
                node->appendChild(handleKeyChild(handle, key, name, depth));
                countTreeNode();
            } catch (const HException&) {
                // The key is left out; the summary still counts it.
            }
        }
        return node;
    } catch (const HException&) {
        return opaqueNode(label, pathSegmentKind, pathIndex, typeName, L"");
    }
}
