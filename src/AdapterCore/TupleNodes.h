// The node of a tuple: plain values, an array of elements when handles are
// among them, or a matrix or 3D object model shown whole.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "TreeBuilder.h"

// A Value node for a tuple without handles (at most 1000 values kept, the
// whole tuple beside them); an Object node for a single matrix or 3D object
// model; an Array node with one "[i]" child per element when handles are
// among the elements, the children built when first asked for (elementChild).
// Handle flags in `flags` that the caller computed already are kept.
// Exceptions of the vision library pass through.
std::unique_ptr<NativeNode> buildTupleNode(const HalconCpp::HTuple& tuple, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex, const Place& place,
                                           ElementFlags flags = {});
// The same in a tree of its own.
std::unique_ptr<NativeNode> buildTupleNode(const HalconCpp::HTuple& tuple, const std::wstring& label,
                                           IxPathSegmentKind pathSegmentKind, int32_t pathIndex);

// Whether handles are among the elements of `tuple`; fills the string and
// integer flags of `flags`, and its handle flags unless they are there.
bool hasHandleElement(const HalconCpp::HTuple& tuple, ElementFlags& flags);

// "[i]", the label of element i of an array.
std::wstring elementLabel(Hlong index);

// The Value child of a plain element of an array.
std::unique_ptr<NativeNode> plainElementNode(const HalconCpp::HTuple& tuple, Hlong index, const ElementFlags& flags,
                                             Tree& tree);

// The child of a handle element that is no dictionary.
std::unique_ptr<NativeNode> unsupportedHandleNode(const std::wstring& label, int32_t index);
