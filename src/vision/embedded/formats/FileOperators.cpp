// ReadImage, ReadObject, WriteObject: the operators that reach files.
#include <optional>

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
    if (hasSuffix(name) || isRegularFile(name)) return name;
    for (const char* suffix : suffixes) {
        const std::string candidate = name + "." + suffix;
        if (isRegularFile(candidate)) return candidate;
    }
    return name;
}

// The one image a file name stands for: the first page, or the first image of
// an object file. The files of one call share one budget.
ixv::IconicPtr readImageFile(const std::string& name, std::optional<ixv::Budget>& budget) {
    const ByteSource file = ByteSource::openFile(resolveImageName(name), "read_image");
    const Format* format = formatOf(file);
    if (!format || !format->readImage)
        ixv::raiseMessage("read_image", ixv::err::FileFormat,
                          "Unsupported image format: " + name + " is not " + formatList(&Format::readImage));
    if (budget)
        budget->addFile(file.size(), format->expansion);
    else
        budget.emplace(budgetFor(*format, file));
    return format->readImage(file, *budget);
}

}  // namespace

namespace HalconCpp {

void ReadImage(HObject* Image, const HTuple& FileName) {
    if (FileName.Length() < 1) ixv::raiseParCount("read_image", 1, "expected at least one file name");
    ixv::checkLimit(static_cast<uint64_t>(FileName.Length()), ixv::Limits::objectsPerFile, "read_image",
                    std::to_string(FileName.Length()) + " file names", "images");
    std::vector<ixv::IconicPtr> images;
    images.reserve(static_cast<size_t>(FileName.Length()));
    std::optional<ixv::Budget> budget;
    for (Hlong i = 0; i < FileName.Length(); ++i)
        images.push_back(readImageFile(ixv::stringAt(FileName, i, "read_image", 1), budget));
    if (Image) *Image = ixv::objectOf(std::move(images));
}

void ReadObject(HObject* Object, const HTuple& FileName) {
    std::string path = ixv::singleString(FileName, "read_object", 1);
    if (!isRegularFile(path) && !hasSuffix(path) && isRegularFile(path + ".hobj")) path += ".hobj";
    const ByteSource file = ByteSource::openFile(path, "read_object");
    const Format* format = formatOf(file);
    if (!format || !format->readObjects)
        ixv::raiseMessage("read_object", ixv::err::FileFormat,
                          "Not an object file of the embedded backend (files written by HALCON itself need the "
                          "HALCON backend)");
    ixv::Budget budget = budgetFor(*format, file);
    std::vector<ixv::IconicPtr> objects = format->readObjects(file, budget);
    if (Object) *Object = ixv::objectOf(std::move(objects));
}

void WriteObject(const HObject& Object, const HTuple& FileName) {
    const std::string path = ixv::singleString(FileName, "write_object", 1);
    const Format* format = formatNamed("hobj", &Format::writeObjects);
    FileSink sink(path, "write_object");
    format->writeObjects(ixv::objectsOf(Object), sink);
    sink.commit();
}

}  // namespace HalconCpp
