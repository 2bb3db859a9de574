// The node of a set of iconic objects: class, count, type label, summary and
// one detail line per object of a set of two or more.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "NativeNode.h"

// Builds the Object node of `object`; keeps the whole object for extraction
// and saving. Exceptions of the vision library pass through.
std::unique_ptr<NativeNode> buildObjectNode(const HalconCpp::HObject& object, const std::wstring& label,
                                            IxPathSegmentKind pathSegmentKind, int32_t pathIndex);

// "images[3]", "region[5]", or the class name itself for one object or none.
std::wstring pluralClassLabel(const std::wstring& className, int32_t count);
