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

// --- the steps of buildTupleNode, for the tree walk that fills arrays ------------

// What each element of a tuple is, computed once per tuple: one integer per
// element, non-zero for a handle, a string, an integer respectively.
struct ElementFlags {
    HalconCpp::HTuple handle, string, integer;
};

// The node of a tuple as far as it is built without visiting elements one by
// one: finished for values, a matrix or a 3D object model; an Array node
// without children when handles are among the elements, with the element
// flags in `flags`, for the caller to fill.
std::unique_ptr<NativeNode> tupleNodeShape(const HalconCpp::HTuple& tuple, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex,
                                           ElementFlags& flags);

// "[i]", the label of element i of an array.
std::wstring elementLabel(Hlong index);

// The Value child of a plain element of an array.
std::unique_ptr<NativeNode> plainElementNode(const HalconCpp::HTuple& tuple, Hlong index, const ElementFlags& flags);

// The child of a handle element that is no dictionary.
std::unique_ptr<NativeNode> unsupportedHandleNode(const std::wstring& label, int32_t index);
