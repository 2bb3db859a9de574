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

// A set of images. Constructing it from objects that do not begin with an
// image throws.
class HImage : public HObject {
public:
    HImage() = default;
    HImage(const HObject& object);

    void* GetImagePointer1(HString* Type, Hlong* Width, Hlong* Height) const;
    void* GetImagePointer1Rect(Hlong* Width, Hlong* Height, Hlong* VerticalPitch, Hlong* HorizontalBitPitch,
                               Hlong* BitsPerPixel) const;
    HTuple CountChannels() const;
    HTuple Width() const;
    HTuple Height() const;
    HRegion GetDomain() const;
    HImage ConvertImageType(const char* NewType) const;
    HImage ConvertImageType(const HString& NewType) const;
    HImage ScaleImageMax() const;
    HImage InterleaveChannels(const char* PixelFormat, const char* RowBytes, Hlong Alpha) const;
    HImage InterleaveChannels(const HString& PixelFormat, const HTuple& RowBytes, Hlong Alpha) const;
};

// A set of regions. Constructing it from objects that do not begin with a
// region throws.
class HRegion : public HObject {
public:
    HRegion() = default;
    HRegion(const HObject& object);
};

}  // namespace HalconCpp
