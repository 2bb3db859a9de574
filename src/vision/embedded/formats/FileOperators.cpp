// ReadImage, WriteImage, ReadObject, WriteObject, ReadDict, WriteDict, ReadDlModel:
// the operators that reach files.
#include <strings.h>

#include <algorithm>
#include <map>
#include <optional>

#include "base/Errors.h"
#include "base/Params.h"
#include "Operators.h"
#include "Formats.h"
#include "HDict.h"
#include "HDlModel.h"
#include "tools/DictParams.h"
#include "tools/Dict.h"

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

// The format of an image file, or the error naming the formats that hold images.
const Format& imageFormatOf(const ByteSource& file, const std::string& name) {
    const Format* format = formatOf(file);
    if (!format || !format->readImage)
        ixv::raiseMessage("read_image", ixv::err::FileFormat,
                          "Unsupported image format: " + name + " is not " + formatList(&Format::readImage));
    return *format;
}

// The bytes the one image of a file takes at least, read from its header
// alone: its reader runs on a copy of the budget that only measures and stops
// where it would allocate the planes. A reader that finishes (no planes) counts 0.
uint64_t measuredImageBytes(const Format& format, const ByteSource& file, const ixv::Budget& budget) {
    ixv::Budget measuring = budget;
    measuring.measureOnly();
    try {
        format.readImage(file, measuring);
    } catch (const ImageMeasured& measured) {
        return measured.bytes;
    }
    return 0;
}

// The images of file names: exactly one per name (the first page, or the
// first image of an object file), in order. Names of one file (the same
// device, inode, size and modification time) share one image, read once;
// images are immutable, so sharing them is sharing their planes. The files
// share one budget: the floor once, plus each distinct file's expansion times
// its size. With several distinct files, every one is measured before any is
// decoded, so that a set that cannot fit is refused at once, not after
// decoding up to the ceiling.
std::vector<ixv::IconicPtr> readImageFiles(const std::vector<std::string>& names) {
    const char* proc = "read_image";
    std::vector<size_t> sameAs(names.size());  // the first name of the same file
    std::map<FileIdentity, size_t> seen;
    std::vector<uint64_t> measured;
    std::optional<ixv::Budget> budget;
    for (size_t i = 0; i < names.size(); ++i) {
        const ByteSource file = ByteSource::openFile(resolveImageName(names[i]), proc);
        const auto [known, fresh] = seen.emplace(file.identity(), i);
        sameAs[i] = known->second;
        if (!fresh) continue;
        const Format& format = imageFormatOf(file, names[i]);
        if (budget)
            budget->addFile(file.size(), format.expansion);
        else
            budget.emplace(budgetFor(format, file));
        if (names.size() > 1) measured.push_back(measuredImageBytes(format, file, *budget));
    }
    if (measured.size() > 1) {
        uint64_t total = 0;
        for (uint64_t bytes : measured) total = ixv::saturatingAdd(total, bytes);
        ixv::Budget all = *budget;
        all.take(total, [&] {
            return "reading " + std::to_string(measured.size()) + " images of at least " + std::to_string(total) +
                   " bytes in all";
        });
    }
    std::vector<ixv::IconicPtr> images;
    images.reserve(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        if (sameAs[i] != i) {
            images.push_back(images[sameAs[i]]);
            continue;
        }
        const ByteSource file = ByteSource::openFile(resolveImageName(names[i]), proc);
        images.push_back(imageFormatOf(file, names[i]).readImage(file, *budget));
    }
    return images;
}

// "a JSON or dictionary file": the formats that hold dictionaries.
std::string dictionaryFormats() {
    std::string list;
    std::vector<const char*> names;
    for (const Format& format : formats())
        if (format.readHandle && format.holds == Holds::Dictionary) names.push_back(format.name);
    for (size_t i = 0; i < names.size(); ++i)
        list += std::string(i == 0 ? "a " : i + 1 == names.size() ? " or " : ", ") + names[i];
    return (names.empty() ? "a dictionary" : list) + " file";
}

// The dictionary of a file, read by the format its content shows.
HalconCpp::HHandle readDictFile(const std::string& path, const HTuple& names, const HTuple& values) {
    const char* proc = "read_dict";
    ixv::dictReadOptions(names, values, proc);  // refuses bad parameters before the file is opened
    const ByteSource file = ByteSource::openFile(path, proc);
    const Format* format = formatOf(file);
    if (!format || !format->readHandle || format->holds != Holds::Dictionary)
        ixv::raiseMessage(proc, ixv::err::FileFormat,
                          "Unsupported dictionary format: " + path + " is not " + dictionaryFormats());
    ixv::Budget budget = budgetFor(*format, file);
    return format->readHandle(file, budget, names, values);
}

// JSON for a path ending in ".json" (any case), else the binary dictionary format.
void writeDictFile(const HalconCpp::HHandle& dict, const std::string& path, const HTuple& names,
                   const HTuple& values) {
    const char* proc = "write_dict";
    ixv::toolAs<ixv::Dict>(dict, proc);
    ixv::raiseIfNotSerializable(names, values, proc);
    const bool json = path.size() >= 5 && ::strcasecmp(path.c_str() + path.size() - 5, ".json") == 0;
    const Format* format = formatNamed(json ? "json" : "hdict", &Format::writeHandle);
    if (!format) ixv::raiseMessage(proc, ixv::err::FileWrite, "No writer for dictionary files is built in");
    FileSink sink(path, proc);
    format->writeHandle(dict, sink, names, values);
    sink.commit();
}

// The deep-learning model of a file: an ONNX model, recognised from its content.
HalconCpp::HHandle readDlModelFile(const std::string& path) {
    const char* proc = "read_dl_model";
    const ByteSource file = ByteSource::openFile(path, proc);
    const Format* format = formatOf(file);
    if (!format || !format->readHandle || format->holds != Holds::DlModel)
        ixv::raiseMessage(proc, ixv::err::FileFormat,
                          "Unsupported deep-learning model: " + path +
                              " is not an ONNX model (the embedded backend reads ONNX models; .hdl files need the "
                              "HALCON backend)");
    ixv::Budget budget = budgetFor(*format, file);
    return format->readHandle(file, budget, HTuple(), HTuple());
}

}  // namespace

namespace HalconCpp {

void ReadImage(HObject* Image, const HTuple& FileName) {
    if (FileName.Length() < 1) ixv::raiseParCount("read_image", 1, "expected at least one file name");
    ixv::checkLimit(static_cast<uint64_t>(FileName.Length()), ixv::Limits::objectsPerFile, "read_image",
                    std::to_string(FileName.Length()) + " file names", "images");
    std::vector<std::string> names;
    names.reserve(static_cast<size_t>(FileName.Length()));
    for (Hlong i = 0; i < FileName.Length(); ++i) names.push_back(ixv::stringAt(FileName, i, "read_image", 1));
    std::vector<ixv::IconicPtr> images = readImageFiles(names);
    if (Image) *Image = ixv::objectOf(std::move(images));
}

// One file per image, each written exactly at its name by the format's
// writer; the format argument is the format's name, optionally followed by its
// options ("jpeg 80"). The arguments are checked before the first file is
// opened; a writer refuses an image it cannot hold before writing a byte.
void WriteImage(const HObject& Image, const HTuple& Format, const HTuple& FillColor, const HTuple& FileName) {
    const char* proc = "write_image";
    const std::vector<const ixv::Image*> images = ixv::imagesOf(Image, proc);
    const std::string format = ixv::singleString(Format, proc, 2);
    const size_t begin = std::min(format.find_first_not_of(' '), format.size());
    const std::string name = format.substr(begin, format.find(' ', begin) - begin);
    const ixv::formats::Format* writer = formatNamed(name, &ixv::formats::Format::writeImage);
    if (!writer)
        ixv::raiseParValue(proc, 2,
                           "unknown image format '" + name + "'; use png, tiff, jpeg, bmp, pnm, pgm, ppm or hobj");
    const double fill = ixv::singleNumber(FillColor, proc, 3);
    if (static_cast<size_t>(FileName.Length()) != images.size())
        ixv::raiseParCount(proc, 4,
                           "FileName has " + std::to_string(FileName.Length()) + " values for " +
                               std::to_string(images.size()) + (images.size() == 1 ? " image" : " images"));
    std::vector<std::string> paths;
    for (Hlong i = 0; i < FileName.Length(); ++i) paths.push_back(ixv::stringAt(FileName, i, proc, 4));
    for (size_t i = 0; i < images.size(); ++i) {
        FileSink sink(paths[i], proc);
        writer->writeImage(*images[i], format, fill, sink);
        sink.commit();
    }
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

void HDict::ReadDict(const HString& FileName, const HTuple& GenParamName, const HTuple& GenParamValue) {
    tool_ = ixv::Access::tool(readDictFile(FileName.TextA(), GenParamName, GenParamValue));
}

void HDict::ReadDict(const char* FileName, const HTuple& GenParamName, const HTuple& GenParamValue) {
    ReadDict(HString(FileName), GenParamName, GenParamValue);
}

void HDict::WriteDict(const HString& FileName, const HTuple& GenParamName, const HTuple& GenParamValue) const {
    writeDictFile(*this, FileName.TextA(), GenParamName, GenParamValue);
}

void HDict::WriteDict(const char* FileName, const HTuple& GenParamName, const HTuple& GenParamValue) const {
    WriteDict(HString(FileName), GenParamName, GenParamValue);
}

void ReadDict(const HTuple& FileName, const HTuple& GenParamName, const HTuple& GenParamValue, HTuple* DictHandle) {
    const HalconCpp::HHandle dict = readDictFile(ixv::singleString(FileName, "read_dict", 1), GenParamName, GenParamValue);
    if (DictHandle) *DictHandle = HTuple(dict);
}

void WriteDict(const HTuple& DictHandle, const HTuple& FileName, const HTuple& GenParamName,
               const HTuple& GenParamValue) {
    writeDictFile(ixv::singleHandle(DictHandle, "write_dict", 1), ixv::singleString(FileName, "write_dict", 2),
                  GenParamName, GenParamValue);
}

void HDlModel::ReadDlModel(const HString& FileName) {
    tool_ = ixv::Access::tool(readDlModelFile(FileName.TextA()));
}

void HDlModel::ReadDlModel(const char* FileName) {
    ReadDlModel(HString(FileName));
}

void ReadDlModel(const HTuple& FileName, HTuple* DLModelHandle) {
    const HalconCpp::HHandle model = readDlModelFile(ixv::singleString(FileName, "read_dl_model", 1));
    if (DLModelHandle) *DLModelHandle = HTuple(model);
}

}  // namespace HalconCpp
