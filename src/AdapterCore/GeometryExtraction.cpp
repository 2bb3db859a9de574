#include "GeometryExtraction.h"

#include "AdapterCore.h"
#include "StringBridge.h"

using namespace HalconCpp;

namespace {

// The selected object's geometry as `fill` reads it, or nothing: no error text
// for a node or index without objects, the library's message for what it raises.
template <class Record, class Fill>
std::optional<Record> extract(const NativeNode* node, int32_t index, std::wstring& error, Fill fill) {
    if (!node || node->kind != IxNodeKind::Object || index < 0 || index >= node->objectCount) return std::nullopt;
    return reported(error, std::optional<Record>(), [&] {
        Record record;
        fill(node->object.SelectObj(static_cast<Hlong>(index) + 1), record);
        return std::optional<Record>(std::move(record));
    });
}

// Elements 0..n-1 of each tuple of a group, n being the first tuple's length.
void copyReals(const HTuple& first, const HTuple& second, std::vector<double>& a, std::vector<double>& b) {
    const Hlong n = first.Length();
    a.reserve(static_cast<size_t>(n));
    b.reserve(static_cast<size_t>(n));
    for (Hlong i = 0; i < n; ++i) {
        a.push_back(first[i].D());
        b.push_back(second[i].D());
    }
}

}  // namespace

NativeRegionRuns runsOf(const HObject& region) {
    HTuple rows, begins, ends;
    GetRegionRuns(region, &rows, &begins, &ends);
    NativeRegionRuns runs;
    const Hlong n = rows.Length();
    runs.rows.reserve(static_cast<size_t>(n));
    runs.columnBegins.reserve(static_cast<size_t>(n));
    runs.columnEnds.reserve(static_cast<size_t>(n));
    for (Hlong i = 0; i < n; ++i) {
        runs.rows.push_back(static_cast<int32_t>(rows[i].L()));
        runs.columnBegins.push_back(static_cast<int32_t>(begins[i].L()));
        runs.columnEnds.push_back(static_cast<int32_t>(ends[i].L()));
    }
    return runs;
}

std::optional<NativeRegionRuns> AdapterCore::extractRegionRuns(const NativeNode* node, int32_t index,
                                                               std::wstring& error) {
    return extract<NativeRegionRuns>(node, index, error,
                                     [](const HObject& object, NativeRegionRuns& runs) { runs = runsOf(object); });
}

std::optional<NativeContourPoints> AdapterCore::extractContourPoints(const NativeNode* node, int32_t index,
                                                                     std::wstring& error) {
    return extract<NativeContourPoints>(node, index, error, [](const HObject& object, NativeContourPoints& points) {
        HTuple rows, cols;
        GetContourXld(object, &rows, &cols);
        copyReals(rows, cols, points.rows, points.cols);
    });
}

std::optional<NativeContourPoints> AdapterCore::extractPolygonPoints(const NativeNode* node, int32_t index,
                                                                     std::wstring& error) {
    return extract<NativeContourPoints>(node, index, error, [](const HObject& object, NativeContourPoints& points) {
        HTuple rows, cols, lengths, phis;
        GetPolygonXld(object, &rows, &cols, &lengths, &phis);
        copyReals(rows, cols, points.rows, points.cols);
    });
}

std::optional<NativeParallelLines> AdapterCore::extractParallelLines(const NativeNode* node, int32_t index,
                                                                     std::wstring& error) {
    return extract<NativeParallelLines>(node, index, error, [](const HObject& object, NativeParallelLines& lines) {
        HTuple rows1, cols1, lengths1, phis1, rows2, cols2, lengths2, phis2;
        GetParallelsXld(object, &rows1, &cols1, &lengths1, &phis1, &rows2, &cols2, &lengths2, &phis2);
        copyReals(rows1, cols1, lines.rows1, lines.cols1);
        copyReals(rows2, cols2, lines.rows2, lines.cols2);
    });
}
