#include "HandleNodes.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "NumberText.h"
#include "ObjectNodes.h"
#include "StringBridge.h"

using namespace HalconCpp;

namespace {

// The bounds of the tree being built on this thread.
struct TreeState {
    int scopes = 0;     // builder calls in progress
    int dictDepth = 0;  // dictionary nodes along the current path
    size_t nodes = 0;   // children appended so far
    size_t nodeLimit = kMaxTreeNodes;
    bool defer = false;  // nested dictionaries keep their children pending
};
thread_local TreeState tree;

// A handle or dictionary shown whole, without its keys.
std::unique_ptr<NativeNode> opaqueNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                       int32_t pathIndex, const std::wstring& typeName, const wchar_t* summary) {
    auto node = newNode(label, IxNodeKind::Object, pathSegmentKind, pathIndex);
    node->typeLabel = typeName;
    node->objectClass = typeName;
    node->valueSummary = summary;
    return node;
}

std::unique_ptr<NativeNode> depthLimitNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                           int32_t pathIndex, const std::wstring& typeName) {
    return opaqueNode(label, pathSegmentKind, pathIndex, typeName, L"max nesting depth reached");
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

std::unique_ptr<NativeNode> errorNode(const std::wstring& name, const HException& e) {
    auto node = newNode(name, IxNodeKind::Value, IxPathSegmentKind::Name, 0);
    node->typeLabel = L"<error>";
    node->valueSummary = fromHString(e.ErrorMessage());
    return node;
}

bool isSingleHandle(const HTuple& t) {
    return t.Length() == 1 && t.TupleIsHandleElem()[0].L() != 0;
}

// A node whose children are still being filled: a dictionary key by key, or
// an array element by element.
struct OpenNode {
    std::unique_ptr<NativeNode> node;
    bool isDict = false;
    HDict dict;            // the dictionary
    HTuple items;          // its keys, or the array's tuple
    ElementFlags flags;    // the array's element flags
    Hlong next = 0;        // the next key or element
    Hlong count = 0;
};

// Builds a tree of nested dictionaries and arrays depth first, with the open
// nodes on a stack of its own: however deep the nesting, the call stack
// holds one walk. Dictionaries deeper than the bound stay opaque, and past
// the node limit every further child is a placeholder.
class TreeWalk {
public:
    TreeWalk() = default;
    TreeWalk(const TreeWalk&) = delete;
    TreeWalk& operator=(const TreeWalk&) = delete;
    ~TreeWalk() { tree.dictDepth -= dictLevels_; }

    // A dictionary node with its key list read (the list raises to the caller).
    static OpenNode dictFrame(const HDict& dict, HTuple keys, const std::wstring& label,
                              IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
        OpenNode open;
        open.node = newNode(label, IxNodeKind::Container, pathSegmentKind, pathIndex);
        open.isDict = true;
        open.dict = dict;
        open.count = keys.Length();
        open.items = std::move(keys);
        open.node->typeLabel = L"dict";
        open.node->valueSummary = keyCountText(open.count);
        return open;
    }

    static OpenNode arrayFrame(std::unique_ptr<NativeNode> array, const HTuple& tuple, ElementFlags flags) {
        OpenNode open;
        open.node = std::move(array);
        open.items = tuple;
        open.flags = std::move(flags);
        open.count = tuple.Length();
        return open;
    }

    std::unique_ptr<NativeNode> run(OpenNode root) {
        push(std::move(root));
        for (;;) {
            OpenNode& top = open_.back();
            if (top.next < top.count) {
                const Hlong i = top.next++;
                std::unique_ptr<NativeNode> child;
                if (top.isDict) {
                    child = dictChild(top, i);
                } else {
                    try {
                        child = arrayChild(top, i);
                    } catch (const HException& e) {
                        // An element that cannot be read fails its whole tuple,
                        // which shows as the failure of the key that holds it.
                        failArray(e);
                        continue;
                    }
                }
                if (!child && pending_->isDict && tree.defer) child = deferred(std::move(*pending_));
                if (child) {
                    open_.back().node->appendChild(std::move(child));
                    countTreeNode();
                } else {
                    push(std::move(*pending_));
                }
                pending_.reset();
                continue;
            }
            std::unique_ptr<NativeNode> done = pop();
            if (open_.empty()) return done;
            open_.back().node->appendChild(std::move(done));
            countTreeNode();
        }
    }

private:
    // A nested dictionary whose children are built when first asked for.
    std::unique_ptr<NativeNode> deferred(OpenNode open) {
        auto pending = std::make_shared<PendingChildren>();
        pending->dict = std::move(open.dict);
        pending->keys = std::move(open.items);
        pending->dictDepth = tree.dictDepth;
        open.node->pendingChildren = std::move(pending);
        return std::move(open.node);
    }

    void push(OpenNode open) {
        open.node->children.reserve(static_cast<size_t>(open.count));
        if (open.isDict) {
            ++tree.dictDepth;
            ++dictLevels_;
        }
        open_.push_back(std::move(open));
    }

    std::unique_ptr<NativeNode> pop() {
        std::unique_ptr<NativeNode> node = std::move(open_.back().node);
        if (open_.back().isDict) {
            --tree.dictDepth;
            --dictLevels_;
        }
        open_.pop_back();
        return node;
    }

    // The array on top failed: drop it, and let the key holding it show the
    // error; an array at the root passes the error to the caller.
    void failArray(const HException& e) {
        const std::wstring label = open_.back().node->label;
        pop();
        if (open_.empty()) throw e;
        open_.back().node->appendChild(errorNode(label, e));
        countTreeNode();
    }

    // The dictionary of element `index` of `tuple`, a handle: pending_ when it
    // is to be walked, an opaque node past the depth bound, or nothing when
    // the handle is no dictionary (its key list cannot be read).
    std::unique_ptr<NativeNode> openDict(const HTuple& tuple, Hlong index, const std::wstring& label,
                                         IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
        if (tree.dictDepth >= kMaxDictDepth) {
            // No key list is read past the bound, not even as a probe: the
            // semantic type tells a dictionary from other handles.
            if (std::string(HTuple(tuple[index]).TupleSemTypeElem()[0].S().TextA()) != "dict") return nullptr;
            return depthLimitNode(label, pathSegmentKind, pathIndex, L"dict");
        }
        const HDict dict(tuple[index].H());
        // A null handle (JSON's null) is no dictionary; asking would raise.
        if (!dict.IsInitialized()) return nullptr;
        HTuple keys;
        try {
            keys = dict.GetDictParam("keys", HTuple());
        } catch (const HException&) {
            return nullptr;
        }
        pending_ = dictFrame(dict, std::move(keys), label, pathSegmentKind, pathIndex);
        return nullptr;
    }

    // The child of key `i` of the dictionary on top, or null with pending_ set.
    // The child is built unlabelled and takes the key's name last, moved.
    std::unique_ptr<NativeNode> dictChild(const OpenNode& top, Hlong i) {
        const HTuple key(top.items[i]);
        std::wstring name = displayNameOrPlaceholder(key);
        std::unique_ptr<NativeNode> child;
        if (treeNodeLimitReached()) {
            child = nodeLimitNode(std::wstring(), IxPathSegmentKind::Name, 0);
        } else {
            try {
                child = keyChild(top.dict, key);
            } catch (const HException& e) {
                pending_.reset();
                child = errorNode(std::wstring(), e);
            }
        }
        (child ? child : pending_->node)->label = std::move(name);
        return child;
    }

    std::unique_ptr<NativeNode> keyChild(const HDict& dict, const HTuple& key) {
        const std::wstring noLabel;
        const std::string dataType = dict.GetDictParam("key_data_type", key)[0].S().TextA();
        if (dataType == "object") return buildObjectNode(dict.GetDictObject(key), noLabel, IxPathSegmentKind::Name, 0);
        if (dataType != "tuple") return unsupportedKeyNode(noLabel, dataType);
        const HTuple t = dict.GetDictTuple(key);
        ElementFlags flags;
        if (t.Length() == 1) {
            flags.handle = t.TupleIsHandleElem();  // kept for the tuple node
            if (flags.handle[0].L() != 0) {
                std::unique_ptr<NativeNode> opaque;
                try {
                    opaque = openDict(t, 0, noLabel, IxPathSegmentKind::Name, 0);
                } catch (const HException&) {
                    pending_.reset();
                }
                if (opaque || pending_) return opaque;
            }
        }
        std::unique_ptr<NativeNode> node = tupleNodeShape(t, noLabel, IxPathSegmentKind::Name, 0, flags);
        if (node->kind != IxNodeKind::Array) return node;
        pending_ = arrayFrame(std::move(node), t, std::move(flags));
        return nullptr;
    }

    // The child of element `i` of the array on top, or null with pending_ set.
    std::unique_ptr<NativeNode> arrayChild(const OpenNode& top, Hlong i) {
        const int32_t index = i > INT32_MAX ? INT32_MAX : static_cast<int32_t>(i);
        if (top.flags.handle[i].L() == 0) {
            if (treeNodeLimitReached()) return nodeLimitNode(elementLabel(i), IxPathSegmentKind::Index, index);
            return plainElementNode(top.items, i, top.flags);
        }
        const std::wstring label = elementLabel(i);
        if (treeNodeLimitReached()) return nodeLimitNode(label, IxPathSegmentKind::Index, index);
        try {
            std::unique_ptr<NativeNode> opaque = openDict(top.items, i, label, IxPathSegmentKind::Index, index);
            if (opaque || pending_) return opaque;
        } catch (const HException&) {
            pending_.reset();
        }
        return unsupportedHandleNode(label, index);
    }

    std::vector<OpenNode> open_;
    std::optional<OpenNode> pending_;  // the node a step opened, to be pushed
    int dictLevels_ = 0;               // dictionaries of open_, counted in tree.dictDepth
};

// The child of one handle key; may raise, and the key is then left out.
std::unique_ptr<NativeNode> handleKeyChild(const HTuple& handle, const HTuple& key, const std::wstring& name,
                                           int32_t depth) {
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

std::wstring keyDisplayName(const HTuple& key) {
    if (key.TupleIsStringElem()[0].L() != 0) return fromHString(key[0].S());
    if (key.TupleIsIntElem()[0].L() != 0) return integerText(key[0].L());
    return generalText(key[0].D(), 6);
}

std::unique_ptr<NativeNode> buildDictNode(const HDict& dict, const std::wstring& label,
                                          IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    TreeScope scope;
    if (tree.dictDepth >= kMaxDictDepth) return depthLimitNode(label, pathSegmentKind, pathIndex, L"dict");
    HTuple keys = dict.GetDictParam("keys", HTuple());
    TreeWalk walk;
    return walk.run(TreeWalk::dictFrame(dict, std::move(keys), label, pathSegmentKind, pathIndex));
}

DeferNestedDictionaries::DeferNestedDictionaries() : previous_(tree.defer) {
    tree.defer = true;
}

DeferNestedDictionaries::~DeferNestedDictionaries() {
    tree.defer = previous_;
}

void buildPendingChildren(NativeNode& node) {
    if (!node.pendingChildren) return;
    const std::shared_ptr<PendingChildren> pending = node.pendingChildren;
    TreeScope scope;
    DeferNestedDictionaries defer;
    const int outerDepth = tree.dictDepth;
    tree.dictDepth = pending->dictDepth;
    std::unique_ptr<NativeNode> built;
    try {
        TreeWalk walk;
        built = walk.run(TreeWalk::dictFrame(pending->dict, pending->keys, std::wstring(), IxPathSegmentKind::Name, 0));
    } catch (...) {
        tree.dictDepth = outerDepth;
        throw;
    }
    tree.dictDepth = outerDepth;
    node.children = std::move(built->children);
    node.pendingChildren.reset();
}

std::unique_ptr<NativeNode> fillArrayNode(std::unique_ptr<NativeNode> array, const HTuple& tuple,
                                          ElementFlags flags) {
    TreeScope scope;
    TreeWalk walk;
    return walk.run(TreeWalk::arrayFrame(std::move(array), tuple, std::move(flags)));
}

std::unique_ptr<NativeNode> buildHandleNode(const HTuple& handle, const std::wstring& label,
                                            IxPathSegmentKind pathSegmentKind, int32_t pathIndex, int32_t depth) {
    TreeScope scope;
    const std::wstring typeName = handleTypeName(handle);
    if (depth >= kMaxHandleDepth) return depthLimitNode(label, pathSegmentKind, pathIndex, typeName);
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
