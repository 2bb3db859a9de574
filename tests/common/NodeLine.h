// A node as one line, for comparing a node whole: "label|kind|type label|summary",
// the kind as C, A, V or O (container, array, value, object), then "|" and the
// object class when the node has one.
#pragma once

#include <string>

#include "AdapterCore/NativeNode.h"

namespace ixtest {

inline std::wstring nodeLine(const NativeNode* node) {
    std::wstring line = node->label.str() + L"|" + L"CAVO"[static_cast<int>(node->kind)] + L"|" + node->typeLabel.str() +
                        L"|" + node->valueSummary.str();
    return node->objectClass.size() ? line + L"|" + node->objectClass.str() : line;
}

}  // namespace ixtest
