// Regions: the operators that make and query run-length encoded regions.
#include <cmath>

#include "base/Errors.h"
#include "iconic/Iconic.h"
#include "Operators.h"
#include "base/Params.h"
#include "base/TupleData.h"

using HalconCpp::HObject;
using HalconCpp::HTuple;

namespace {

using ixv::IconicPtr;
using ixv::Region;
using ixv::Run;

int32_t coordinate(int64_t value, const char* proc, int position) {
    if (value < -ixv::kMaxCoordinate || value > ixv::kMaxCoordinate)
        ixv::raiseParValue(proc, position, "coordinate " + std::to_string(value) + " out of range");
    return static_cast<int32_t>(value);
}

int32_t roundedCoordinate(const HTuple& tuple, Hlong i, const char* proc, int position) {
    const double value = ixv::numberAt(tuple, i, proc, position);
    if (!std::isfinite(value)) ixv::raiseParValue(proc, position, "coordinate is not finite");
    return coordinate(static_cast<int64_t>(std::llround(std::fmax(std::fmin(value, 4e18), -4e18))), proc, position);
}

// The number of regions an operator with several per-region parameters makes:
// every tuple holds one value or as many as the longest.
Hlong regionCount(std::initializer_list<const HTuple*> tuples, const char* proc) {
    Hlong n = 0;
    for (const HTuple* t : tuples) n = std::max(n, t->Length());
    int position = 1;
    for (const HTuple* t : tuples) {
        if (t->Length() != n && t->Length() != 1) ixv::raiseParCount(proc, position, "expected 1 or " + std::to_string(n));
        ++position;
    }
    return n;
}

Hlong at(const HTuple& t, Hlong i) {
    return t.Length() == 1 ? 0 : i;
}

// A region, or the domain of an image, which stands for it as in HALCON.
std::shared_ptr<const Region> regionOrDomain(const IconicPtr& item, const char* proc) {
    if (auto image = dynamic_cast<const ixv::Image*>(item.get())) return image->domain();
    ixv::objectAs<Region>(item, proc);
    return std::static_pointer_cast<const Region>(item);
}

}  // namespace

namespace HalconCpp {

void GenEmptyRegion(HObject* EmptyRegion) {
    if (EmptyRegion) *EmptyRegion = ixv::objectOf({Region::fromCanonicalRuns({})});
}

void GenRectangle1(HObject* Rectangle, const HTuple& Row1, const HTuple& Column1, const HTuple& Row2,
                   const HTuple& Column2) {
    const char* proc = "gen_rectangle1";
    const Hlong n = regionCount({&Row1, &Column1, &Row2, &Column2}, proc);
    std::vector<IconicPtr> regions;
    for (Hlong i = 0; i < n; ++i) {
        regions.push_back(Region::rectangle(roundedCoordinate(Row1, at(Row1, i), proc, 1),
                                            roundedCoordinate(Column1, at(Column1, i), proc, 2),
                                            roundedCoordinate(Row2, at(Row2, i), proc, 3),
                                            roundedCoordinate(Column2, at(Column2, i), proc, 4)));
    }
    if (Rectangle) *Rectangle = ixv::objectOf(std::move(regions));
}

void GenCircle(HObject* Circle, const HTuple& Row, const HTuple& Column, const HTuple& Radius) {
    const char* proc = "gen_circle";
    const Hlong n = regionCount({&Row, &Column, &Radius}, proc);
    std::vector<IconicPtr> regions;
    for (Hlong i = 0; i < n; ++i) {
        const double row = ixv::numberAt(Row, at(Row, i), proc, 1);
        const double column = ixv::numberAt(Column, at(Column, i), proc, 2);
        const double radius = ixv::numberAt(Radius, at(Radius, i), proc, 3);
        if (!(radius >= 0) || !std::isfinite(row) || !std::isfinite(column))
            ixv::raiseParValue(proc, 3, "circle of radius " + std::to_string(radius));
        // Checked before anything is allocated: the circle's rows and
        // columns, and how many runs it needs.
        const double limit = double(ixv::kMaxCoordinate);
        if (std::fabs(row) + radius > limit || std::fabs(column) + radius > limit)
            ixv::raiseParValue(proc, 3, "circle exceeds the limit of +-" + std::to_string(ixv::kMaxCoordinate) +
                                            " for coordinates");
        const int64_t first = static_cast<int64_t>(std::ceil(row - radius));
        const int64_t last = static_cast<int64_t>(std::floor(row + radius));
        const uint64_t rows = last >= first ? static_cast<uint64_t>(last - first) + 1 : 0;
        if (rows > ixv::kMaxRunsOrPoints)
            ixv::raise(proc, ixv::err::OutOfMemory,
                       "circle of " + std::to_string(rows) + " runs exceeds the limit of " +
                           std::to_string(ixv::kMaxRunsOrPoints) + " runs");
        // A pixel belongs to the circle when its centre lies within the radius.
        std::vector<Run> runs;
        runs.reserve(static_cast<size_t>(rows));
        for (int64_t r = first; r <= last; ++r) {
            const double half = std::sqrt(std::fmax(0.0, radius * radius - (r - row) * (r - row)));
            const int64_t begin = static_cast<int64_t>(std::ceil(column - half));
            const int64_t end = static_cast<int64_t>(std::floor(column + half));
            if (begin <= end)
                runs.push_back({coordinate(r, proc, 1), coordinate(begin, proc, 2), coordinate(end, proc, 2)});
        }
        regions.push_back(Region::fromCanonicalRuns(std::move(runs)));
    }
    if (Circle) *Circle = ixv::objectOf(std::move(regions));
}

void GenRegionRuns(HObject* Region, const HTuple& Row, const HTuple& ColumnBegin, const HTuple& ColumnEnd) {
    const char* proc = "gen_region_runs";
    const Hlong n = Row.Length();
    if (ColumnBegin.Length() != n) ixv::raiseParCount(proc, 2, "as many values as rows");
    if (ColumnEnd.Length() != n) ixv::raiseParCount(proc, 3, "as many values as rows");
    if (static_cast<uint64_t>(n) > ixv::kMaxRunsOrPoints) ixv::raise(proc, ixv::err::OutOfMemory, "more than 2^28 runs");
    std::vector<Run> runs;
    runs.reserve(static_cast<size_t>(n));
    for (Hlong i = 0; i < n; ++i) {
        const Run run{coordinate(ixv::integerAt(Row, i, proc, 1), proc, 1),
                      coordinate(ixv::integerAt(ColumnBegin, i, proc, 2), proc, 2),
                      coordinate(ixv::integerAt(ColumnEnd, i, proc, 3), proc, 3)};
        if (run.columnBegin > run.columnEnd) ixv::raiseParValue(proc, 3, "a run ends before it begins");
        runs.push_back(run);
    }
    if (Region) *Region = ixv::objectOf({Region::fromRuns(std::move(runs))});
}

void GenRegionPoints(HObject* Region, const HTuple& Rows, const HTuple& Columns) {
    const char* proc = "gen_region_points";
    const Hlong n = Rows.Length();
    if (Columns.Length() != n) ixv::raiseParCount(proc, 2, "as many values as rows");
    if (static_cast<uint64_t>(n) > ixv::kMaxRunsOrPoints) ixv::raise(proc, ixv::err::OutOfMemory, "more than 2^28 points");
    std::vector<Run> runs;
    runs.reserve(static_cast<size_t>(n));
    for (Hlong i = 0; i < n; ++i) {
        const int32_t column = coordinate(ixv::integerAt(Columns, i, proc, 2), proc, 2);
        runs.push_back({coordinate(ixv::integerAt(Rows, i, proc, 1), proc, 1), column, column});
    }
    if (Region) *Region = ixv::objectOf({Region::fromRuns(std::move(runs))});
}

void AreaCenter(const HObject& Regions, HTuple* Area, HTuple* Row, HTuple* Column) {
    const char* proc = "area_center";
    std::vector<Hlong> areas;
    std::vector<double> rows, columns;
    for (const IconicPtr& item : ixv::objectsOf(Regions)) {
        const std::shared_ptr<const ixv::Region> region = regionOrDomain(item, proc);
        double row, column;
        region->center(&row, &column);
        areas.push_back(region->area());
        rows.push_back(row);
        columns.push_back(column);
    }
    if (Area) *Area = ixv::tupleOfLongs(std::move(areas));
    if (Row) *Row = ixv::tupleOfDoubles(std::move(rows));
    if (Column) *Column = ixv::tupleOfDoubles(std::move(columns));
}

void GetRegionRuns(const HObject& Region, HTuple* Row, HTuple* ColumnBegin, HTuple* ColumnEnd) {
    const ixv::Region& region = ixv::singleObject<ixv::Region>(Region, "get_region_runs");
    const std::vector<Run>& runs = region.runs();
    std::vector<Hlong> rows(runs.size()), begins(runs.size()), ends(runs.size());
    for (size_t i = 0; i < runs.size(); ++i) {
        rows[i] = runs[i].row;
        begins[i] = runs[i].columnBegin;
        ends[i] = runs[i].columnEnd;
    }
    if (Row) *Row = ixv::tupleOfLongs(std::move(rows));
    if (ColumnBegin) *ColumnBegin = ixv::tupleOfLongs(std::move(begins));
    if (ColumnEnd) *ColumnEnd = ixv::tupleOfLongs(std::move(ends));
}

}  // namespace HalconCpp
