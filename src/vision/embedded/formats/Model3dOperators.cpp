// ReadObjectModel3d and WriteObjectModel3d: 3D object model files.
//
// Reading recognises the format from the file's content (PLY, OFF and .om3
// have a magic), then from the suffix (STL and OBJ have none); the generic
// parameter "file_type" names the format instead. Scale is "m", "cm", "mm",
// "um", "nm" or a positive number, the factor that turns the file's units into
// metres. Status is always an empty tuple: every problem the readers find is
// an error, so there is nothing left to report.
#include <strings.h>

#include <cmath>

#include "base/Errors.h"
#include "base/Params.h"
#include "formats/Formats.h"
#include "formats/Model3dRead.h"
#include "Operators.h"
#include "tools/ObjectModel3d.h"
#include "tools/Tool.h"

using HalconCpp::HTuple;

namespace {

using namespace ixv::formats;

// "a PLY, OFF, STL, OBJ or 3D object model file"
std::string modelFormats() {
    std::vector<const char*> names;
    for (const Format& format : formats())
        if (format.readHandle && format.holds == Holds::ObjectModel3d) names.push_back(format.name);
    std::string list;
    for (size_t i = 0; i < names.size(); ++i)
        list += std::string(i == 0 ? "a " : i + 1 == names.size() ? " or " : ", ") + names[i];
    return list + " file";
}

// The model format with this suffix or name that has the wanted member, or null.
template <class Member>
const Format* modelFormatNamed(const std::string& name, Member Format::*wanted) {
    for (const Format& format : formats())
        if (format.holds == Holds::ObjectModel3d && format.*wanted && format.hasSuffix(name)) return &format;
    return nullptr;
}

double scaleFactor(const HTuple& scale, const char* proc) {
    if (scale.Length() != 1) ixv::raiseParCount(proc, 2, "expected one scale");
    if (scale.TupleIsStringElem()[0].L()) {
        const std::string unit = scale[0].S().TextA();
        static const struct {
            const char* unit;
            double factor;
        } units[] = {{"m", 1}, {"cm", 1e-2}, {"mm", 1e-3}, {"um", 1e-6}, {"nm", 1e-9}};
        for (const auto& u : units)
            if (unit == u.unit) return u.factor;
        ixv::raiseParValue(proc, 2, "unknown scale '" + unit + "' (expected m, cm, mm, um, nm or a positive number)");
    }
    const double factor = ixv::numberAt(scale, 0, proc, 2);
    if (!(factor > 0) || !std::isfinite(factor)) ixv::raiseParValue(proc, 2, "the scale must be a positive number");
    return factor;
}

// The format "file_type" asks for, or null.
const Format* forcedFormat(const HTuple& names, const HTuple& values, const char* proc) {
    if (names.Length() != values.Length()) ixv::raiseParCount(proc, 4, "expected one value per parameter name");
    const Format* forced = nullptr;
    for (Hlong i = 0; i < names.Length(); ++i) {
        const std::string name = ixv::stringAt(names, i, proc, 3);
        if (name != "file_type") ixv::raiseParValue(proc, 3, "unknown parameter '" + name + "'");
        std::string type = ixv::stringAt(values, i, proc, 4);
        if (::strcasecmp(type.c_str(), "stl_binary") == 0 || ::strcasecmp(type.c_str(), "stl_ascii") == 0) type = "stl";
        forced = modelFormatNamed(type, &Format::readHandle);
        if (!forced) ixv::raiseParValue(proc, 4, "unknown file_type '" + type + "' (expected ply, off, stl, obj or om3)");
    }
    return forced;
}

std::string suffixOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    return path.substr(dot + 1);
}

}  // namespace

namespace HalconCpp {

void ReadObjectModel3d(const HTuple& FileName, const HTuple& Scale, const HTuple& GenParamName,
                       const HTuple& GenParamValue, HTuple* ObjectModel3D, HTuple* Status) {
    const char* proc = model3d::kReadProc;
    const std::string path = ixv::singleString(FileName, proc, 1);
    const double factor = scaleFactor(Scale, proc);
    const Format* format = forcedFormat(GenParamName, GenParamValue, proc);
    const ByteSource file = ByteSource::openFile(path, proc);
    if (!format) {
        format = formatOf(file);
        if (format && (format->holds != Holds::ObjectModel3d || !format->readHandle)) format = nullptr;
    }
    if (!format) format = modelFormatNamed(suffixOf(path), &Format::readHandle);
    if (!format)
        ixv::raiseMessage(proc, ixv::err::FileFormat,
                          "Unsupported 3D object model format: " + path + " is not " + modelFormats());
    ixv::Budget budget = budgetFor(*format, file);
    const HHandle handle = format->readHandle(file, budget, GenParamName, GenParamValue);
    model3d::scale(ixv::toolAs<ixv::ObjectModel3d>(handle, proc), factor);
    if (ObjectModel3D) *ObjectModel3D = HTuple(handle);
    if (Status) *Status = HTuple();
}

void WriteObjectModel3d(const HTuple& ObjectModel3D, const HTuple& FileType, const HTuple& FileName,
                        const HTuple& GenParamName, const HTuple& GenParamValue) {
    const char* proc = model3d::kWriteProc;
    const HHandle handle = ixv::singleHandle(ObjectModel3D, proc, 1);
    ixv::toolAs<ixv::ObjectModel3d>(handle, proc);
    const std::string type = ixv::singleString(FileType, proc, 2);
    const Format* format = modelFormatNamed(type, &Format::writeHandle);
    if (!format) ixv::raiseParValue(proc, 2, "unknown file type '" + type + "' (expected om3 or ply)");
    if (!model3d::describesSomething(ixv::toolAs<ixv::ObjectModel3d>(handle, proc)))
        ixv::raise(proc, ixv::err::HandleNotSerializable, "a 3D object model without points or primitive, which no file holds");
    const std::string path = ixv::singleString(FileName, proc, 3);
    if (GenParamName.Length() != GenParamValue.Length())
        ixv::raiseParCount(proc, 5, "expected one value per parameter name");
    if (GenParamName.Length() > 0)
        ixv::raiseParValue(proc, 4, "unknown parameter '" + ixv::stringAt(GenParamName, 0, proc, 4) + "'");
    FileSink sink(path, proc);
    format->writeHandle(handle, sink, GenParamName, GenParamValue);
    sink.commit();
}

}  // namespace HalconCpp
