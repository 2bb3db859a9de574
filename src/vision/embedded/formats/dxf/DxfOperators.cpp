// WriteContourXldDxf, WritePolygonXldDxf: XLD as DXF files.
#include <cmath>
#include <string>

#include "Operators.h"
#include "base/Errors.h"
#include "base/Params.h"
#include "formats/Formats.h"

using HalconCpp::HObject;
using HalconCpp::HTuple;

namespace {

using namespace ixv::formats;

// Writes `object`, which must hold only objects of class T with finite
// coordinates, to the DXF file `fileName`. Nothing is written otherwise.
template <class T>
void writeXldDxf(const HObject& object, const HTuple& fileName, const char* proc) {
    const std::string path = ixv::singleString(fileName, proc, 1);
    const std::vector<ixv::IconicPtr>& items = ixv::objectsOf(object);
    for (size_t k = 0; k < items.size(); ++k) {
        const ixv::Polyline& line = ixv::objectAs<T>(items[k], proc).points;
        for (size_t i = 0; i < line.size(); ++i)
            if (!std::isfinite(line.rows[i]) || !std::isfinite(line.columns[i]))
                ixv::raise(proc, ixv::err::FileWrite,
                           "point " + std::to_string(i + 1) + " of object " + std::to_string(k + 1) +
                               " is not finite, which DXF cannot hold");
    }
    const Format* format = formatNamed("dxf", &Format::writeObjects);
    if (!format) ixv::raiseMessage(proc, ixv::err::FileWrite, "No writer for DXF files is built in");
    FileSink sink(path, proc);
    format->writeObjects(items, sink);
    sink.commit();
}

}  // namespace

namespace HalconCpp {

void WriteContourXldDxf(const HObject& Contours, const HTuple& FileName) {
    writeXldDxf<ixv::Contour>(Contours, FileName, "write_contour_xld_dxf");
}

void WritePolygonXldDxf(const HObject& Polygons, const HTuple& FileName) {
    writeXldDxf<ixv::Polygon>(Polygons, FileName, "write_polygon_xld_dxf");
}

}  // namespace HalconCpp
