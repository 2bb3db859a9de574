// The node of a tuple: plain values, an array of elements when handles are
// among them, or a matrix or 3D object model shown whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "NativeNode.h"

// A Value node for a tuple without handles (at most 1000 values kept, the
// whole tuple beside them); an Array node with one "[i]" child per element
// when handles are among the elements, each dictionary expanded; an Object
// node for a single matrix or 3D object model. Exceptions of the vision
// library pass through, except those of a handle element that is no
// dictionary, which shows as "<unsupported handle>".
std::unique_ptr<NativeNode> buildTupleNode(const HalconCpp::HTuple& tuple, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex);
