// Images: the HImage class and the operators that make and query images.
#include <cstring>

#include "base/Access.h"
#include "base/Errors.h"
#include "iconic/Iconic.h"
#include "Operators.h"
#include "base/Params.h"
#include "base/TupleData.h"

using HalconCpp::HImage;
using HalconCpp::HObject;
using HalconCpp::HRegion;
using HalconCpp::HString;
using HalconCpp::HTuple;

namespace {

using ixv::Image;
using ixv::IconicPtr;
using ixv::PixelType;
using ixv::Region;
using ixv::imagesOf;

PixelType pixelTypeArg(const HTuple& tuple, const char* proc, int position) {
    PixelType type;
    const std::string name = ixv::singleString(tuple, proc, position);
    if (!ixv::pixelTypeFromName(name, &type)) ixv::raiseParValue(proc, position, "unknown pixel type '" + name + "'");
    return type;
}

std::shared_ptr<ixv::Buffer> planeFromAddress(const HTuple& pointer, PixelType type, int64_t width, int64_t height,
                                              const char* proc, int position) {
    const int64_t address = ixv::singleInteger(pointer, proc, position);
    if (address == 0) ixv::raiseParValue(proc, position, "null pixel pointer");
    auto plane = Image::newPlane(type, width, height);
    std::memcpy(plane->data(), reinterpret_cast<const void*>(static_cast<intptr_t>(address)), plane->size());
    return plane;
}

}  // namespace

namespace HalconCpp {

HImage::HImage(const HObject& object) : HObject(object) {
    const auto& items = ixv::objectsOf(object);
    if (!items.empty()) ixv::objectAs<Image>(items.front(), "HImage");
}

HRegion::HRegion(const HObject& object) : HObject(object) {
    const auto& items = ixv::objectsOf(object);
    if (!items.empty()) ixv::objectAs<Region>(items.front(), "HRegion");
}

void* HImage::GetImagePointer1(HString* Type, Hlong* Width, Hlong* Height) const {
    const Image& image = ixv::singleObject<Image>(*this, "get_image_pointer1");
    if (Type) *Type = HString(ixv::pixelTypeName(image.type()));
    if (Width) *Width = image.width();
    if (Height) *Height = image.height();
    return const_cast<uint8_t*>(image.plane(0)->data());
}

void* HImage::GetImagePointer1Rect(Hlong* Width, Hlong* Height, Hlong* VerticalPitch, Hlong* HorizontalBitPitch,
                                   Hlong* BitsPerPixel) const {
    const Image& image = ixv::singleObject<Image>(*this, "get_image_pointer1_rect");
    const Hlong bits = static_cast<Hlong>(ixv::pixelSize(image.type()) * 8);
    if (Width) *Width = image.width();
    if (Height) *Height = image.height();
    if (VerticalPitch) *VerticalPitch = image.width() * (bits / 8);
    if (HorizontalBitPitch) *HorizontalBitPitch = bits;
    if (BitsPerPixel) *BitsPerPixel = bits;
    return const_cast<uint8_t*>(image.plane(0)->data());
}

HTuple HImage::CountChannels() const {
    std::vector<Hlong> counts;
    for (const Image* image : imagesOf(*this, "count_channels")) counts.push_back(Hlong(image->channelCount()));
    return ixv::tupleOfLongs(std::move(counts));
}

HTuple HImage::Width() const {
    std::vector<Hlong> widths;
    for (const Image* image : imagesOf(*this, "get_image_size")) widths.push_back(image->width());
    return ixv::tupleOfLongs(std::move(widths));
}

HTuple HImage::Height() const {
    std::vector<Hlong> heights;
    for (const Image* image : imagesOf(*this, "get_image_size")) heights.push_back(image->height());
    return ixv::tupleOfLongs(std::move(heights));
}

HRegion HImage::GetDomain() const {
    HObject domains;
    HalconCpp::GetDomain(*this, &domains);
    return HRegion(domains);
}

void GetDomain(const HObject& Image, HObject* Domain) {
    std::vector<IconicPtr> domains;
    for (const ixv::Image* image : imagesOf(Image, "get_domain")) domains.push_back(image->domain());
    if (Domain) *Domain = ixv::objectOf(std::move(domains));
}

void GenImageConst(HObject* Image, const HTuple& Type, const HTuple& Width, const HTuple& Height) {
    const char* proc = "gen_image_const";
    const PixelType type = pixelTypeArg(Type, proc, 1);
    const int64_t width = ixv::singleInteger(Width, proc, 2);
    const int64_t height = ixv::singleInteger(Height, proc, 3);
    auto plane = ixv::Image::newPlane(type, width, height);
    std::memset(plane->data(), 0, plane->size());
    if (Image) *Image = ixv::objectOf({ixv::Image::make(type, width, height, {plane})});
}

void GenImage1(HObject* Image, const HTuple& Type, const HTuple& Width, const HTuple& Height,
               const HTuple& PixelPointer) {
    const char* proc = "gen_image1";
    const PixelType type = pixelTypeArg(Type, proc, 1);
    const int64_t width = ixv::singleInteger(Width, proc, 2);
    const int64_t height = ixv::singleInteger(Height, proc, 3);
    auto plane = planeFromAddress(PixelPointer, type, width, height, proc, 4);
    if (Image) *Image = ixv::objectOf({ixv::Image::make(type, width, height, {plane})});
}

void GenImage3(HObject* ImageRGB, const HTuple& Type, const HTuple& Width, const HTuple& Height,
               const HTuple& PixelPointerRed, const HTuple& PixelPointerGreen, const HTuple& PixelPointerBlue) {
    const char* proc = "gen_image3";
    const PixelType type = pixelTypeArg(Type, proc, 1);
    const int64_t width = ixv::singleInteger(Width, proc, 2);
    const int64_t height = ixv::singleInteger(Height, proc, 3);
    std::vector<ixv::Plane> planes;
    planes.push_back(planeFromAddress(PixelPointerRed, type, width, height, proc, 4));
    planes.push_back(planeFromAddress(PixelPointerGreen, type, width, height, proc, 5));
    planes.push_back(planeFromAddress(PixelPointerBlue, type, width, height, proc, 6));
    if (ImageRGB) *ImageRGB = ixv::objectOf({ixv::Image::make(type, width, height, std::move(planes))});
}

void Compose3(const HObject& Image1, const HObject& Image2, const HObject& Image3, HObject* MultiChannelImage) {
    const char* proc = "compose3";
    const std::vector<const ixv::Image*> inputs[] = {imagesOf(Image1, proc), imagesOf(Image2, proc),
                                                     imagesOf(Image3, proc)};
    if (inputs[1].size() != inputs[0].size()) ixv::raiseObjectCount(proc, 2, "as many images as the first");
    if (inputs[2].size() != inputs[0].size()) ixv::raiseObjectCount(proc, 3, "as many images as the first");
    std::vector<IconicPtr> composed;
    for (size_t i = 0; i < inputs[0].size(); ++i) {
        const ixv::Image& first = *inputs[0][i];
        std::vector<ixv::Plane> planes;
        std::shared_ptr<const Region> domain = first.reducedDomain();
        for (int k = 0; k < 3; ++k) {
            const ixv::Image& image = *inputs[k][i];
            if (image.width() != first.width() || image.height() != first.height() || image.type() != first.type())
                ixv::raiseParValue(proc, 1, "the images differ in size or pixel type");
            planes.push_back(image.plane(0));
            // The composed image is defined where all of its inputs are.
            if (image.reducedDomain())
                domain = domain ? domain->intersect(*image.reducedDomain()) : image.reducedDomain();
        }
        composed.push_back(ixv::Image::make(first.type(), first.width(), first.height(), std::move(planes), domain));
    }
    if (MultiChannelImage) *MultiChannelImage = ixv::objectOf(std::move(composed));
}

void ReduceDomain(const HObject& Image, const HObject& Region, HObject* ImageReduced) {
    const char* proc = "reduce_domain";
    const ixv::Region& region = ixv::singleObject<ixv::Region>(Region, proc);
    std::vector<IconicPtr> reduced;
    for (const ixv::Image* image : imagesOf(Image, proc)) {
        // The new domain is the region, cut to the image's rectangle.
        reduced.push_back(ixv::Image::make(image->type(), image->width(), image->height(), image->planes(),
                                           region.clipped(image->width(), image->height())));
    }
    if (ImageReduced) *ImageReduced = ixv::objectOf(std::move(reduced));
}

}  // namespace HalconCpp

namespace ixv {

std::vector<const Image*> imagesOf(const HObject& object, const char* proc) {
    std::vector<const Image*> images;
    for (const IconicPtr& item : objectsOf(object)) images.push_back(&objectAs<Image>(item, proc));
    return images;
}

}  // namespace ixv
