// The tree a load produces: NativeNode records holding labels, type texts,
// summaries, plain values, detail lines and children, plus the vision-library
// values they were built from, kept for extraction, saving and full value text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Limits.h"
#include "NodeText.h"
#include "ix_adapter.h"
#include "../vision/HalconCpp.h"

// The children of a node that are built when first asked for (TreeBuilder.h).
struct LateChildren;

// One scalar value. The tag names the one field that carries it.
struct NativeValue {
    IxValueType type = IxValueType::String;
    NodeText text;
    int64_t intValue = 0;
    double realValue = 0.0;
};

struct NativeNode {
    // The texts first and the small fields together, so that the node has no padding.
    NodeText label;
    // The escaped segment of its path inside its parent (NodePaths.h): "[3]"
    // for an element, the key's escaped text for a key; empty on roots. It
    // shares the label's text where the two are alike.
    NodeText pathSegment;
    NodeText typeLabel;
    NodeText valueSummary;
    NodeText objectClass;
    IxNodeKind kind = IxNodeKind::Container;
    IxPathSegmentKind pathSegmentKind = IxPathSegmentKind::Name;
    int32_t pathIndex = 0;
    int32_t totalCount = 0;
    int32_t objectCount = 1;
    int32_t detailEntryCount = 0;
    bool truncated = false;
    bool isImage = false;
    std::vector<NativeValue> values;
    HalconCpp::HTuple tuple;
    HalconCpp::HObject object;
    std::vector<NodeText> detailLines;
    // One slot per child. A node with `late` children has its slots from the
    // start and fills them chunk by chunk when they are first asked for
    // (childAt, TreeBuilder.h); read them only through childAt and childCount.
    std::vector<std::unique_ptr<NativeNode>> children;
    std::unique_ptr<LateChildren> late;

    // Out of line, where LateChildren is complete (TreeBuilder.cpp).
    NativeNode();
    // Takes the subtree apart with a stack of its own, one entry per level, so
    // that destroying a deep tree needs no call stack per level (TreeBuilder.cpp).
    ~NativeNode();
    NativeNode(const NativeNode&) = delete;
    NativeNode& operator=(const NativeNode&) = delete;

    // Takes ownership of `child` and returns it, for the caller to keep filling.
    NativeNode* appendChild(std::unique_ptr<NativeNode> child) {
        children.push_back(std::move(child));
        return children.back().get();
    }
    void appendValue(NativeValue value) { values.push_back(std::move(value)); }
};

// The segment "[index]": `label` itself when it reads so (element labels do).
NodeText indexSegment(const NodeText& label, int32_t index);

// A new node with its label, kind and place in its parent; every other field at its default.
inline std::unique_ptr<NativeNode> newNode(NodeText label, IxNodeKind kind,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    auto node = std::make_unique<NativeNode>();
    node->label = std::move(label);
    node->kind = kind;
    node->pathSegmentKind = pathSegmentKind;
    node->pathIndex = pathIndex;
    if (pathSegmentKind == IxPathSegmentKind::Index) node->pathSegment = indexSegment(node->label, pathIndex);
    return node;
}

