#include "TreeBuilder.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "AdapterCore.h"
#include "HandleNodes.h"
#include "NodePaths.h"
#include "ObjectNodes.h"
#include "StringBridge.h"
#include "TupleNodes.h"

using namespace HalconCpp;

NativeNode::NativeNode() = default;

NativeNode::~NativeNode() {
    // Every node is destroyed once its children are gone. Should the stack
    // find no memory, what is left goes the recursive way, which the depth
    // bounds keep within the call stack.
    try {
        std::vector<std::unique_ptr<NativeNode>> path;
        while (!children.empty()) {
            path.push_back(std::move(children.back()));
            children.pop_back();
            while (!path.empty()) {
                NativeNode* last = path.back().get();
                if (!last) {
                    path.pop_back();
                } else if (last->children.empty()) {
                    path.pop_back();
                } else {
                    path.push_back(std::move(last->children.back()));
                    last->children.pop_back();
                }
            }
        }
    } catch (...) {
    }
}

NodeText Tree::shared(std::wstring_view text) {
    // Texts this short are what nodes repeat; a table of longer ones (keys,
    // strings) would cost more than it saves, and so would an endless one.
    constexpr size_t kLongest = 12, kMostTexts = 4096;
    if (text.size() > kLongest) return NodeText(text);
    const auto found = texts_.find(text);
    if (found != texts_.end()) return found->second;
    NodeText made(text);
    if (texts_.size() < kMostTexts) texts_.emplace(made.view(), made);
    return made;
}

const NodeText& Tree::plainTypeName(const HTuple& tuple, Hlong index, int kind) {
    NodeText& name = plainNames_[kind];
    if (name.empty()) name = NodeText(fromHString(HTuple(tuple[index]).TupleSemTypeElem()[0].S()));
    return name;
}

namespace {

int32_t indexOf(Hlong i) {
    return i > INT32_MAX ? INT32_MAX : static_cast<int32_t>(i);
}

// What the single handle at `index` of `tuple` is to a tree at `dictDepth`.
enum class Nested { NoDict, DepthLimit, Dict };

// Opens the dictionary of the handle at `index` of `tuple` and reads its keys.
// Past the depth bound no key list is read, not even as a probe: the semantic
// type tells a dictionary from other handles.
Nested openNested(const HTuple& tuple, Hlong index, int dictDepth, HDict& dict, HTuple& keys) {
    try {
        if (dictDepth >= kMaxDictDepth)
            return std::string(HTuple(tuple[index]).TupleSemTypeElem()[0].S().TextA()) == "dict" ? Nested::DepthLimit
                                                                                                 : Nested::NoDict;
        dict = HDict(tuple[index].H());
        // A null handle (JSON's null) is no dictionary; asking would raise.
        if (!dict.IsInitialized()) return Nested::NoDict;
        keys = dict.GetDictParam("keys", HTuple());
        return Nested::Dict;
    } catch (const HException&) {
        return Nested::NoDict;
    }
}

// The node of the dictionary at `index` of `tuple`, or null when it holds none.
std::unique_ptr<NativeNode> nestedDictNode(const HTuple& tuple, Hlong index, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex, const Place& place) {
    HDict dict;
    HTuple keys;
    switch (openNested(tuple, index, place.dictDepth, dict, keys)) {
    case Nested::DepthLimit: return depthLimitNode(label, pathSegmentKind, pathIndex, L"dict");
    case Nested::Dict: return buildDictNode(dict, std::move(keys), label, pathSegmentKind, pathIndex, place);
    case Nested::NoDict: break;
    }
    return nullptr;
}

std::string keyDataType(const HDict& dict, const HTuple& key) {
    return dict.GetDictParam("key_data_type", key)[0].S().TextA();
}

// The child of key `key` of a dictionary: objects, a nested dictionary, a
// tuple, or what the data type names. Raises what reading the key raises.
std::unique_ptr<NativeNode> keyContent(const HDict& dict, const HTuple& key, const Place& place) {
    const std::wstring noLabel;
    const std::string dataType = keyDataType(dict, key);
    if (dataType == "object") return buildObjectNode(dict.GetDictObject(key), noLabel, IxPathSegmentKind::Name, 0);
    if (dataType != "tuple") return unsupportedKeyNode(noLabel, dataType);
    const HTuple t = dict.GetDictTuple(key);
    ElementFlags flags;
    if (t.Length() == 1) {
        flags.handle = t.TupleIsHandleElem();
        if (flags.handle[0].L() != 0) {
            std::unique_ptr<NativeNode> nested = nestedDictNode(t, 0, noLabel, IxPathSegmentKind::Name, 0, place);
            if (nested) return nested;
        }
    }
    return buildTupleNode(t, noLabel, IxPathSegmentKind::Name, 0, place, std::move(flags));
}

std::unique_ptr<NativeNode> keyChild(LateChildren& late, Hlong i) {
    const HTuple key(late.items[i]);
    std::wstring name = keyLabel(key);
    std::unique_ptr<NativeNode> child;
    try {
        child = keyContent(late.dict, key, Place{late.tree, late.dictDepth});
    } catch (const HException& e) {
        child = errorNode(std::wstring(), IxPathSegmentKind::Name, 0, e);
    }
    child->label = late.tree->shared(name);
    child->pathSegment = segmentText(keySegmentAt(late.items, i, late.clashing), child->label);
    return child;
}

std::unique_ptr<NativeNode> elementChild(const LateChildren& late, Hlong i) {
    const int32_t index = indexOf(i);
    try {
        if (late.flags.handle[i].L() == 0) return plainElementNode(late.items, i, late.flags, *late.tree);
        const std::wstring label = elementLabel(i);
        std::unique_ptr<NativeNode> nested =
            nestedDictNode(late.items, i, label, IxPathSegmentKind::Index, index, Place{late.tree, late.dictDepth});
        return nested ? std::move(nested) : unsupportedHandleNode(label, index);
    } catch (const HException& e) {
        return errorNode(elementLabel(i), IxPathSegmentKind::Index, index, e);
    }
}

void buildChunk(NativeNode& node, size_t chunk) {
    LateChildren& late = *node.late;
    const std::lock_guard<std::mutex> guard(late.tree->lock);
    if (late.built[chunk].load(std::memory_order_relaxed)) return;
    const size_t first = chunk * kChildChunk;
    const size_t end = std::min(first + kChildChunk, node.children.size());
    const bool isDict = late.dict.IsInitialized();
    for (size_t i = first; i < end; ++i) {
        const Hlong item = static_cast<Hlong>(i);
        node.children[i] = isDict ? keyChild(late, item) : elementChild(late, item);
    }
    late.built[chunk].store(true, std::memory_order_release);
}

}  // namespace

void makeLate(NativeNode& node, LateChildren late) {
    const size_t count = static_cast<size_t>(late.items.Length());
    if (count == 0) return;
    node.children.resize(count);
    late.built = std::make_unique<std::atomic<bool>[]>((count + kChildChunk - 1) / kChildChunk);
    node.late = std::make_unique<LateChildren>(std::move(late));
}

const NativeNode* childAt(const NativeNode& node, size_t index) {
    if (index >= node.children.size()) return nullptr;
    if (const LateChildren* late = node.late.get()) {
        const size_t chunk = index / kChildChunk;
        // The tree belongs to the reader handle; its nodes are never constant objects.
        if (!late->built[chunk].load(std::memory_order_acquire)) buildChunk(const_cast<NativeNode&>(node), chunk);
    }
    return node.children[index].get();
}

size_t childCount(const NativeNode& node) {
    return node.children.size();
}

namespace {

bool isPlainType(const char* name) {
    return std::strcmp(name, "integer") == 0 || std::strcmp(name, "real") == 0 || std::strcmp(name, "string") == 0;
}

// Whether handles are among the `n` elements of `t`, as hasHandleElement
// decides it, with their flags in `handles` when the answer is yes.
bool handlesAmong(const HTuple& t, Hlong n, HTuple& handles) {
    if (n == 0 || isPlainType(t.TupleSemType()[0].C())) return false;
    handles = t.TupleIsHandleElem();
    for (Hlong i = 0; i < n; ++i)
        if (handles[i].L() != 0) return true;
    return false;
}

}  // namespace

uint64_t dictTreeCost(const HDict& root, uint64_t limit) {
    // The walk takes the same turns as keyChild and elementChild, with the
    // open dictionaries and arrays on a stack of its own. It asks the least
    // per key: one value, and whether a value of one element is a handle.
    struct Open {
        HDict dict;     // not initialized for an array
        HTuple items;   // the keys, or the array's elements
        HTuple handles; // an array's handle flags
        Hlong count = 0;
        Hlong next = 0;
        int dictDepth = 0;  // dictionaries above the items
    };
    std::vector<Open> open;
    open.reserve(64);
    const auto push = [&open](HDict dict, HTuple items, HTuple handles, int depth) {
        const Hlong count = items.Length();
        if (count > 0) open.push_back(Open{std::move(dict), std::move(items), std::move(handles), count, 0, depth});
    };
    push(root, root.GetDictParam("keys", HTuple()), HTuple(), 1);
    uint64_t cost = kNodeBytes;
    const auto valuesCost = [](Hlong n) { return kValueBytes * static_cast<uint64_t>(std::min<Hlong>(n, kMaxNodeValues)); };
    HDict dict;
    HTuple keys, t, handles;
    while (!open.empty() && cost <= limit) {
        Open& top = open.back();
        const Hlong i = top.next++;
        const int depth = top.dictDepth;
        const bool last = top.next >= top.count;
        cost += kNodeBytes;
        if (!top.dict.IsInitialized()) {
            if (top.handles[i].L() == 0) {
                cost += kValueBytes;
                if (last) open.pop_back();
            } else {
                const Nested nested = openNested(top.items, i, depth, dict, keys);
                if (last) open.pop_back();
                if (nested == Nested::Dict) push(std::move(dict), std::move(keys), HTuple(), depth + 1);
            }
            continue;
        }
        try {
            // A key that holds no tuple (objects, or what cannot be read) is one
            // node, and so raises here; files hold few such keys.
            t = top.dict.GetDictTuple(HTuple(top.items[i]));
        } catch (const HException&) {
            if (last) open.pop_back();
            continue;
        }
        if (last) open.pop_back();  // `top` is gone from here on
        const Hlong n = t.Length();
        if (n == 1) {
            if (t.TupleIsHandleElem()[0].L() == 0) {
                cost += kValueBytes;
                continue;
            }
            const Nested nested = openNested(t, 0, depth, dict, keys);
            if (nested == Nested::Dict) push(std::move(dict), std::move(keys), HTuple(), depth + 1);
            if (nested != Nested::NoDict) continue;
        }
        try {
            if (!handlesAmong(t, n, handles)) {
                cost += valuesCost(n);
                continue;
            }
        } catch (const HException&) {
            continue;
        }
        push(HDict(), std::move(t), std::move(handles), depth);
    }
    return cost;
}

const NativeNode* AdapterCore::childAt(const NativeNode* node, int32_t index) {
    return node && index >= 0 ? ::childAt(*node, static_cast<size_t>(index)) : nullptr;
}

int32_t AdapterCore::childCount(const NativeNode* node) {
    return node ? indexOf(static_cast<Hlong>(::childCount(*node))) : 0;
}
