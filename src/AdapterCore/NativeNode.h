// The tree a load produces: NativeNode records holding labels, type texts,
// summaries, plain values, detail lines and children, plus the vision-library
// values they were built from, kept for extraction, saving and full value text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ix_adapter.h"
#include "../vision/HalconCpp.h"

// The children of a dictionary node of a loaded file that are built when the
// host first asks for them (HandleNodes.h).
struct PendingChildren;

// The most values a node holds; longer sources keep their whole tuple instead.
constexpr int32_t kMaxNodeValues = 1000;

// One scalar value. The tag names the one field that carries it.
struct NativeValue {
    IxValueType type = IxValueType::String;
    std::wstring text;
    int64_t intValue = 0;
    double realValue = 0.0;
};

struct NativeNode {
    std::wstring label;
    IxNodeKind kind = IxNodeKind::Container;
    std::wstring typeLabel;
    std::wstring valueSummary;
    IxPathSegmentKind pathSegmentKind = IxPathSegmentKind::Name;
    int32_t pathIndex = 0;
    std::vector<NativeValue> values;
    int32_t totalCount = 0;
    bool truncated = false;
    HalconCpp::HTuple tuple;
    std::wstring objectClass;
    bool isImage = false;
    int32_t objectCount = 1;
    HalconCpp::HObject object;
    std::vector<std::wstring> detailLines;
    int32_t detailEntryCount = 0;
    std::vector<std::unique_ptr<NativeNode>> children;
    // Set while the children of a nested dictionary are still to be built.
    std::shared_ptr<PendingChildren> pendingChildren;

    NativeNode() = default;
    // Takes the subtree apart with a stack of its own, one entry per level, so
    // that destroying a deep tree (nested dictionaries) needs no call stack
    // per level: every node is destroyed once its children are gone. Should
    // the stack find no memory, what is left goes the recursive way, which
    // the builders' depth bounds keep within the call stack.
    ~NativeNode() {
        try {
            std::vector<std::unique_ptr<NativeNode>> path;
            while (!children.empty()) {
                path.push_back(std::move(children.back()));
                children.pop_back();
                while (!path.empty()) {
                    NativeNode& last = *path.back();
                    if (last.children.empty()) {
                        path.pop_back();
                    } else {
                        path.push_back(std::move(last.children.back()));
                        last.children.pop_back();
                    }
                }
            }
        } catch (...) {
        }
    }
    NativeNode(const NativeNode&) = delete;
    NativeNode& operator=(const NativeNode&) = delete;

    // Takes ownership of `child` and returns it, for the caller to keep filling.
    NativeNode* appendChild(std::unique_ptr<NativeNode> child) {
        children.push_back(std::move(child));
        return children.back().get();
    }
    void appendValue(NativeValue value) { values.push_back(std::move(value)); }
};

// A new node with its label, kind and place in its parent; every other field at its default.
inline std::unique_ptr<NativeNode> newNode(const std::wstring& label, IxNodeKind kind,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex) {
    auto node = std::make_unique<NativeNode>();
    node->label = label;
    node->kind = kind;
    node->pathSegmentKind = pathSegmentKind;
    node->pathIndex = pathIndex;
    return node;
}

