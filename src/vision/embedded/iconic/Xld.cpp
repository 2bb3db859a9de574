// XLD: contours, polygons and parallels, and the operators on them.
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
using ixv::Polyline;

constexpr double kPi = 3.14159265358979323846;

Polyline polylineOf(const HTuple& rows, const HTuple& columns, const char* proc) {
    if (columns.Length() != rows.Length()) ixv::raiseParCount(proc, 2, "as many columns as rows");
    ixv::checkLimit(static_cast<uint64_t>(rows.Length()), ixv::Limits::runsOrPoints, proc,
                    std::to_string(rows.Length()) + " points");
    Polyline line;
    line.rows.reserve(static_cast<size_t>(rows.Length()));
    line.columns.reserve(static_cast<size_t>(rows.Length()));
    for (Hlong i = 0; i < rows.Length(); ++i) {
        line.rows.push_back(ixv::numberAt(rows, i, proc, 1));
        line.columns.push_back(ixv::numberAt(columns, i, proc, 2));
    }
    return line;
}

// Ramer-Douglas-Peucker: the points that keep every dropped point within
// `tolerance` of the approximating polygon.
Polyline approximate(const Polyline& line, double tolerance) {
    const size_t n = line.size();
    if (n < 3) return line;
    std::vector<char> keep(n, 0);
    keep[0] = keep[n - 1] = 1;
    std::vector<std::pair<size_t, size_t>> stack{{0, n - 1}};
    while (!stack.empty()) {
        const auto [first, last] = stack.back();
        stack.pop_back();
        const double r0 = line.rows[first], c0 = line.columns[first];
        const double dr = line.rows[last] - r0, dc = line.columns[last] - c0;
        const double norm = std::hypot(dr, dc);
        double worst = -1;
        size_t worstIndex = first;
        for (size_t i = first + 1; i < last; ++i) {
            const double pr = line.rows[i] - r0, pc = line.columns[i] - c0;
            const double distance = norm > 0 ? std::fabs(pr * dc - pc * dr) / norm : std::hypot(pr, pc);
            if (distance > worst) {
                worst = distance;
                worstIndex = i;
            }
        }
        if (worst > tolerance) {
            keep[worstIndex] = 1;
            stack.push_back({first, worstIndex});
            stack.push_back({worstIndex, last});
        }
    }
    Polyline result;
    for (size_t i = 0; i < n; ++i) {
        if (!keep[i]) continue;
        result.rows.push_back(line.rows[i]);
        result.columns.push_back(line.columns[i]);
    }
    return result;
}

struct Segment {
    double r1, c1, r2, c2;
    double length() const { return std::hypot(r2 - r1, c2 - c1); }
    double angle() const { return std::atan2(-(r2 - r1), c2 - c1); }
    Polyline line() const { return Polyline{{r1, r2}, {c1, c2}}; }
};

// Whether two segments run parallel: directions within `alpha` (either
// orientation), the second's midpoint within `distance` of the first's line,
// and the second overlapping the first along it.
bool parallel(const Segment& a, const Segment& b, double distance, double alpha) {
    double difference = std::fabs(a.angle() - b.angle());
    difference = std::fmod(difference, kPi);
    difference = std::fmin(difference, kPi - difference);
    if (difference > alpha) return false;
    const double length = a.length();
    const double ur = (a.r2 - a.r1) / length, uc = (a.c2 - a.c1) / length;
    const double mr = (b.r1 + b.r2) / 2 - a.r1, mc = (b.c1 + b.c2) / 2 - a.c1;
    if (std::fabs(mr * uc - mc * ur) > distance) return false;
    const double t1 = (b.r1 - a.r1) * ur + (b.c1 - a.c1) * uc;
    const double t2 = (b.r2 - a.r1) * ur + (b.c2 - a.c1) * uc;
    return std::fmax(t1, t2) >= 0 && std::fmin(t1, t2) <= length;
}

void segmentTuples(const Polyline& line, HTuple* rows, HTuple* columns, HTuple* lengths, HTuple* angles) {
    std::vector<double> l, a;
    line.segments(&l, &a);
    if (rows) *rows = ixv::tupleOfDoubles(line.rows);
    if (columns) *columns = ixv::tupleOfDoubles(line.columns);
    if (lengths) *lengths = ixv::tupleOfDoubles(std::move(l));
    if (angles) *angles = ixv::tupleOfDoubles(std::move(a));
}

}  // namespace

namespace HalconCpp {

void GenContourPolygonXld(HObject* Contour, const HTuple& Row, const HTuple& Col) {
    auto contour = std::make_shared<ixv::Contour>(polylineOf(Row, Col, "gen_contour_polygon_xld"));
    if (Contour) *Contour = ixv::objectOf({contour});
}

void GenPolygonsXld(const HObject& Contours, HObject* Polygons, const HTuple& Type, const HTuple& Alpha) {
    const char* proc = "gen_polygons_xld";
    const std::string type = ixv::singleString(Type, proc, 1);
    if (type != "ramer") ixv::raiseParValue(proc, 1, "the approximation type is 'ramer'");
    const double tolerance = ixv::singleNumber(Alpha, proc, 2);
    if (!(tolerance >= 0)) ixv::raiseParValue(proc, 2, "the tolerance must not be negative");
    std::vector<IconicPtr> polygons;
    for (const IconicPtr& item : ixv::objectsOf(Contours)) {
        const auto& contour = ixv::objectAs<ixv::Contour>(item, proc);
        polygons.push_back(std::make_shared<ixv::Polygon>(approximate(contour.points, tolerance)));
    }
    if (Polygons) *Polygons = ixv::objectOf(std::move(polygons));
}

void GenParallelsXld(const HObject& Polygons, HObject* Parallels, const HTuple& Len, const HTuple& Dist,
                     const HTuple& Alpha, const HTuple& Merge) {
    const char* proc = "gen_parallels_xld";
    const double minLength = ixv::singleNumber(Len, proc, 1);
    const double maxDistance = ixv::singleNumber(Dist, proc, 2);
    const double maxAngle = ixv::singleNumber(Alpha, proc, 3);
    const std::string merge = ixv::singleString(Merge, proc, 4);
    if (merge != "true" && merge != "false") ixv::raiseParValue(proc, 4, "'true' or 'false'");
    std::vector<Segment> segments;
    for (const IconicPtr& item : ixv::objectsOf(Polygons)) {
        const Polyline& line = ixv::objectAs<ixv::Polygon>(item, proc).points;
        for (size_t i = 1; i < line.size(); ++i) {
            const Segment s{line.rows[i - 1], line.columns[i - 1], line.rows[i], line.columns[i]};
            if (s.length() >= minLength && s.length() > 0) segments.push_back(s);
        }
    }
    std::vector<IconicPtr> parallels;
    for (size_t i = 0; i < segments.size(); ++i)
        for (size_t j = i + 1; j < segments.size(); ++j)
            if (parallel(segments[i], segments[j], maxDistance, maxAngle))
                parallels.push_back(std::make_shared<ixv::Parallel>(segments[i].line(), segments[j].line()));
    if (Parallels) *Parallels = ixv::objectOf(std::move(parallels));
}

void GetContourXld(const HObject& Contour, HTuple* Row, HTuple* Col) {
    const auto& contour = ixv::singleObject<ixv::Contour>(Contour, "get_contour_xld");
    if (Row) *Row = ixv::tupleOfDoubles(contour.points.rows);
    if (Col) *Col = ixv::tupleOfDoubles(contour.points.columns);
}

void GetPolygonXld(const HObject& Polygon, HTuple* Row, HTuple* Col, HTuple* Length, HTuple* Phi) {
    const auto& polygon = ixv::singleObject<ixv::Polygon>(Polygon, "get_polygon_xld");
    segmentTuples(polygon.points, Row, Col, Length, Phi);
}

void GetParallelsXld(const HObject& Parallels, HTuple* Row1, HTuple* Col1, HTuple* Length1, HTuple* Phi1,
                     HTuple* Row2, HTuple* Col2, HTuple* Length2, HTuple* Phi2) {
    const auto& parallel = ixv::singleObject<ixv::Parallel>(Parallels, "get_parallels_xld");
    segmentTuples(parallel.first, Row1, Col1, Length1, Phi1);
    segmentTuples(parallel.second, Row2, Col2, Length2, Phi2);
}

void LengthXld(const HObject& XLD, HTuple* Length) {
    std::vector<double> lengths;
    for (const IconicPtr& item : ixv::objectsOf(XLD)) {
        if (auto contour = dynamic_cast<const ixv::Contour*>(item.get()))
            lengths.push_back(contour->points.length());
        else
            lengths.push_back(ixv::objectAs<ixv::Polygon>(item, "length_xld").points.length());
    }
    if (Length) *Length = ixv::tupleOfDoubles(std::move(lengths));
}

}  // namespace HalconCpp
