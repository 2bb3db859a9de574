// The iconic objects behind HObject: each is immutable once built and shared
// between every HObject that holds it.
#pragma once

#include <memory>
#include <vector>

#include "HObject.h"

namespace ixv {

class Iconic {
public:
    virtual ~Iconic() = default;
    // The class name GetObjClass reports: "image", "region", "xld_cont", ...
    virtual const char* className() const = 0;
};

using IconicPtr = std::shared_ptr<const Iconic>;

struct ObjectList {
    std::vector<IconicPtr> items;
};

// The objects of a set, in order; an uninitialized HObject has none.
const std::vector<IconicPtr>& objectsOf(const HalconCpp::HObject& object);

// A set holding exactly these objects.
HalconCpp::HObject objectOf(std::vector<IconicPtr> items);

}  // namespace ixv
