// The nodes of dictionaries and of other handles.
//
// A dictionary node has one child slot per key; its children are built when
// first asked for (TreeBuilder.h). A handle other than a dictionary, read
// through the generic key queries, gets the nodes of its keys at once: such
// handles (models, nested handles of a model) are small, and a key that
// cannot be read is left out, so their count is only known once read.
//
// Bounds, so that no structure of handles can hang a load or exhaust its
// stack: handles nested under handle keys expand down to depth 32 (the only
// recursion); dictionaries down to 512 levels, counted along the path through
// tuples and arrays (kMaxHandleDepth, kMaxDictDepth in Limits.h). What lies
// beyond is an opaque node "max nesting depth reached".
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "TreeBuilder.h"

// The label of a key's child: the string, the integer in decimal, or the real as "%g".
std::wstring keyDisplayName(const HalconCpp::HTuple& key);
// The same, "<unreadable key>" when the key cannot be read.
std::wstring keyLabel(const HalconCpp::HTuple& key);

// A Container node "dict" with one child slot per key, in key order, in a
// tree of its own. Raises the vision library's exception when the key list
// cannot be read.
std::unique_ptr<NativeNode> buildDictNode(const HalconCpp::HDict& dict, const std::wstring& label,
                                          IxPathSegmentKind pathSegmentKind, int32_t pathIndex);
// The same at `place`, with the key list read already.
std::unique_ptr<NativeNode> buildDictNode(const HalconCpp::HDict& dict, HalconCpp::HTuple keys,
                                          const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                          int32_t pathIndex, const Place& place);

// The node of the single handle in `handle`, read through the generic key
// queries; an opaque Object node when its keys cannot be read or at depth 33.
// Never raises the vision library's exception.
std::unique_ptr<NativeNode> buildHandleNode(const HalconCpp::HTuple& handle, const std::wstring& label,
                                            IxPathSegmentKind pathSegmentKind, int32_t pathIndex, int32_t depth);

// A dictionary or handle shown whole, without its keys: "max nesting depth reached".
std::unique_ptr<NativeNode> depthLimitNode(const std::wstring& label, IxPathSegmentKind pathSegmentKind,
                                           int32_t pathIndex, const std::wstring& typeName);
// The child of a key of a data type other than tuple and object.
std::unique_ptr<NativeNode> unsupportedKeyNode(const std::wstring& name, const std::string& dataType);
// The "<error>" child of a key or element whose value cannot be read.
std::unique_ptr<NativeNode> errorNode(const std::wstring& name, IxPathSegmentKind pathSegmentKind, int32_t pathIndex,
                                      const HalconCpp::HException& e);
