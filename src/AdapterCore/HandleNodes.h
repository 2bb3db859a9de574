// The nodes of dictionaries and of other handles: one child per key, each
// built by the builder of what the key holds.
//
// Bounds of one tree, so that no structure of handles can hang a load or
// exhaust its stack:
// - handles nested under handle keys expand down to depth 32; a handle at
//   depth 33 is an opaque node "max nesting depth reached";
// - dictionaries expand down to 512 levels, counted along the path through
//   tuples and arrays; a dictionary deeper than that is an Object node of
//   class "dict" with the summary "max nesting depth reached", whose keys are
//   not read;
// - at most 2^23 nodes are built at once (a load, or the pending children of
//   one node): past that, every further child
//   of a dictionary, handle or tuple is an Object node with an empty type and
//   the summary "node limit reached", built without reading its value.
// The bounds are kept per thread while the outermost builder runs. Nested
// dictionaries and the arrays between them are walked with a stack of open
// nodes on the heap, so their depth costs no call stack; only handle nesting
// (at most 33 levels) recurses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "NativeNode.h"
#include "TupleNodes.h"

constexpr int32_t kMaxHandleDepth = 33;
constexpr int kMaxDictDepth = 512;
constexpr size_t kMaxTreeNodes = size_t{1} << 23;

// The label of a key's child: the string, the integer in decimal, or the real as "%g".
std::wstring keyDisplayName(const HalconCpp::HTuple& key);

// A Container node "dict" with one child per key, in key order; a failure
// inside one key shows as that key's "<error>" child. Raises the vision
// library's exception when the key list cannot be read.
std::unique_ptr<NativeNode> buildDictNode(const HalconCpp::HDict& dict, const std::wstring& label,
                                          IxPathSegmentKind pathSegmentKind, int32_t pathIndex);

// The node of the single handle in `handle`, read through the generic key
// queries; an opaque Object node when its keys cannot be read or at depth 33.
// Never raises the vision library's exception.
std::unique_ptr<NativeNode> buildHandleNode(const HalconCpp::HTuple& handle, const std::wstring& label,
                                            IxPathSegmentKind pathSegmentKind, int32_t pathIndex, int32_t depth);

// --- children built on demand ---------------------------------------------------
//
// A loaded file's tree builds the root dictionary's children at once and the
// children of every dictionary below it when the host first asks for them
// (ix_node_child_count, ix_node_child_at): a load costs the reading of the file
// and one level of nodes, however large the file; what is never opened is
// never built. The nodes are the same as a whole build's; the node limit
// counts the nodes of one expansion, and the depth bound counts from the root.

struct PendingChildren {
    HalconCpp::HDict dict;
    HalconCpp::HTuple keys;
    int dictDepth = 0;  // dictionaries along the path above the node
};

// While it lives, dictionaries below the one being built on this thread keep
// their children pending.
class DeferNestedDictionaries {
public:
    DeferNestedDictionaries();
    ~DeferNestedDictionaries();
    DeferNestedDictionaries(const DeferNestedDictionaries&) = delete;
    DeferNestedDictionaries& operator=(const DeferNestedDictionaries&) = delete;

private:
    bool previous_;
};

// Builds the pending children of `node`, if any (their own nested
// dictionaries stay pending). Raises only when memory runs out; the children
// then stay pending.
void buildPendingChildren(NativeNode& node);

// --- shared with the tuple builder ---------------------------------------------

// Marks the extent of one builder call: the outermost one on a thread starts
// the tree's node count afresh.
class TreeScope {
public:
    TreeScope();
    ~TreeScope();
    TreeScope(const TreeScope&) = delete;
    TreeScope& operator=(const TreeScope&) = delete;
};

// Whether the tree being built holds its most nodes; counts an appended child.
bool treeNodeLimitReached();
void countTreeNode();

// The child standing for one that the node limit keeps from being built.
std::unique_ptr<NativeNode> nodeLimitNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                          int32_t pathIndex);

// Fills an Array node made by tupleNodeShape with one child per element of
// `tuple`, each dictionary among them expanded. Nested dictionaries are
// walked with a stack of their own, not with the call stack.
std::unique_ptr<NativeNode> fillArrayNode(std::unique_ptr<NativeNode> array, const HalconCpp::HTuple& tuple,
                                          ElementFlags flags);

// Lowers the node limit of the trees built on this thread while it lives, so
// that tests reach the limit with small trees.
class ScopedTreeNodeLimit {
public:
    explicit ScopedTreeNodeLimit(size_t limit);
    ~ScopedTreeNodeLimit();
    ScopedTreeNodeLimit(const ScopedTreeNodeLimit&) = delete;
    ScopedTreeNodeLimit& operator=(const ScopedTreeNodeLimit&) = delete;

private:
    size_t previous_;
};
