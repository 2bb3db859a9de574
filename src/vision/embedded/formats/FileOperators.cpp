// ReadImage, ReadObject, WriteObject: the operators that reach files.
#include "base/Errors.h"
#include "base/Params.h"
#include "Operators.h"
#include "Formats.h"

using HalconCpp::HObject;
using HalconCpp::HTuple;

namespace {

using namespace ixv::formats;

bool hasSuffix(const std::string& path) {
    const size_t slash = path.rfind('/');
    return path.find('.', slash == std::string::npos ? 0 : slash + 1) != std::string::npos;
}

// The file an image name stands for: the name itself, or, when it does not
// exist and has no suffix, the first of the name with an image suffix that does.
std::string resolveImageName(const std::string& name) {
    static const char* const suffixes[] = {"png", "tif", "tiff", "jpg", "jpeg", "bmp", "jp2", "jxr", "wdp", "wmp",
                                           "hdp", "pcx", "ras", "pgm", "ppm", "pbm", "pnm", "xwd", "gif", "ima"};
    if (isRegularFile(name) || hasSuffix(name)) return name;
    for (const char* suffix : suffixes) {
        const std::string candidate = name + "." + suffix;
        if (isRegularFile(candidate)) return candidate;
    }
    return name;
}

std::vector<ixv::IconicPtr> readImageFile(const std::string& name) {
    const MappedFile file(resolveImageName(name), "read_image");
    if (hobj::matches(file.bytes())) return hobj::readImages(file.bytes());
    const ImageFormat* format = imageFormatOf(file.bytes());
    if (!format)
        ixv::raiseMessage("read_image", ixv::err::FileFormat,
                          "Unsupported image format: " + name + " is not a PNG, JPEG, TIFF, BMP or PNM file");
    return format->read(file.bytes());
}

}  // namespace

namespace HalconCpp {

void ReadImage(HObject* Image, const HTuple& FileName) {
    if (FileName.Length() < 1) ixv::raiseParCount("read_image", 1, "expected at least one file name");
    std::vector<ixv::IconicPtr> images;
    for (Hlong i = 0; i < FileName.Length(); ++i) {
        std::vector<ixv::IconicPtr> read = readImageFile(ixv::stringAt(FileName, i, "read_image", 1));
        images.insert(images.end(), read.begin(), read.end());
    }
    if (Image) *Image = ixv::objectOf(std::move(images));
}

void ReadObject(HObject* Object, const HTuple& FileName) {
    std::string path = ixv::singleString(FileName, "read_object", 1);
    if (!isRegularFile(path) && !hasSuffix(path) && isRegularFile(path + ".hobj")) path += ".hobj";
    const MappedFile file(path, "read_object");
    std::vector<ixv::IconicPtr> objects = hobj::read(file.bytes());
    if (Object) *Object = ixv::objectOf(std::move(objects));
}

void WriteObject(const HObject& Object, const HTuple& FileName) {
    const std::string path = ixv::singleString(FileName, "write_object", 1);
    const std::vector<uint8_t> bytes = hobj::write(ixv::objectsOf(Object));
    writeFileAtomically(path, bytes.data(), bytes.size(), "write_object");
}

}  // namespace HalconCpp
