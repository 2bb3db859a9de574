// Iconic objects of the embedded vision library: ordered, immutable sets of
// images, regions and XLD objects. Copies share the set.
#pragma once

#include <memory>

#include "HTuple.h"

namespace ixv {
struct ObjectList;
}

namespace HalconCpp {

class HRegion;

class HObject {
public:
    HObject() = default;
    HObject(const HObject&) = default;
    HObject(HObject&&) noexcept = default;
    HObject& operator=(const HObject&) = default;
    HObject& operator=(HObject&&) noexcept = default;
    virtual ~HObject() = default;

    bool IsInitialized() const { return objects_ != nullptr; }
    HObject SelectObj(Hlong Index) const;
    HObject SelectObj(const HTuple& Index) const;
    HTuple GetObjClass() const;
    Hlong CountObj() const;
    HObject ConcatObj(const HObject& Objects) const;

protected:
    friend struct ixv::Access;
    std::shared_ptr<const ixv::ObjectList> objects_;
};

}  // namespace HalconCpp
