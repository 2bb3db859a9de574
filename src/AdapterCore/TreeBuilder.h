// The tree of one load, and how its children come to be.
//
//   load ──► root node, built by the builder of its kind
//              │
//              │  every node is built alone, by the builder of its kind:
//              │    buildDictNode, buildTupleNode   (a dictionary or an array: slots, no children yet)
//              │    buildHandleNode                 (its keys' children at once: handles are small)
//              │    buildObjectNode, value nodes    (leaves)
//              ▼
//   Container / Array node ──late──► LateChildren { source, dictDepth, one flag per chunk }
//                                          │
//        childAt(node, i) ─────────────────┘  chunk i / 256 built once, under the tree's
//                                             lock, by the child builders below; later
//                                             reads take the built child without a lock
//
// A dictionary's key child and an array's element child are chosen here
// (keyChild, elementChild): the node builders never call each other, apart
// from a handle building the nodes of its keys.
//
// Any number of threads may read one tree at once: a chunk is built by one
// of them, the others wait for it or read chunks already built. Nothing built
// is freed or changed while the tree lives.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "NativeNode.h"

// What the nodes of one tree share: the lock under which children are built
// late, and texts that many nodes hold alike. A tree is built by the loading
// thread and then only under its lock, so what it holds needs no lock of its own.
struct Tree {
    std::mutex lock;

    // `text` made once per tree when it is short (type labels, the labels of
    // elements and integer keys), else made afresh.
    NodeText shared(std::wstring_view text);
    // The semantic type name of plain elements ("string", "integer", "real"
    // by `kind` 0, 1, 2), asked of the library once per tree.
    const NodeText& plainTypeName(const HalconCpp::HTuple& tuple, Hlong index, int kind);

private:
    std::unordered_map<std::wstring_view, NodeText> texts_;  // keys view the texts they map to
    NodeText plainNames_[3];
};

// Where a node is built: its tree, and the dictionaries along the path above it.
struct Place {
    std::shared_ptr<Tree> tree;
    int dictDepth = 0;
    // A place in a tree of its own, at the top.
    static Place newTree() { return Place{std::make_shared<Tree>(), 0}; }
};

// What each element of a tuple is, computed once per tuple: one integer per
// element, non-zero for a handle, a string, an integer respectively.
struct ElementFlags {
    HalconCpp::HTuple handle, string, integer;
};

// The children of a dictionary (its keys) or of an array (its tuple's
// elements), built when first asked for.
struct LateChildren {
    std::shared_ptr<Tree> tree;
    HalconCpp::HDict dict;    // a dictionary's; not initialized for an array
    HalconCpp::HTuple items;  // the dictionary's keys, or the array's tuple
    ElementFlags flags;       // the array's element flags
    int dictDepth = 0;        // dictionaries along the path above the children
    // The dictionary's integer keys that a string key reads like, found
    // when the first integer key's child is built (NodePaths.h).
    std::unique_ptr<std::unordered_set<Hlong>> clashing;
    std::unique_ptr<std::atomic<bool>[]> built;  // one per chunk of kChildChunk children
};

// Gives `node` one empty slot per item of `late` and the means to fill them.
void makeLate(NativeNode& node, LateChildren late);

// Child `index` of `node`, built with its chunk when not yet built; null past
// the end. Raises when the chunk cannot be built (memory ran out); it is
// then built on the next access.
const NativeNode* childAt(const NativeNode& node, size_t index);
size_t childCount(const NativeNode& node);

// What the whole tree of `dict` costs when every node is built, in bytes as
// charged (kNodeBytes per node, kValueBytes per value held); the count stops
// as soon as it passes `limit`. Raises when the key list cannot be read.
uint64_t dictTreeCost(const HalconCpp::HDict& dict, uint64_t limit);
