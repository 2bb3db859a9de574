// Matrices: rows x columns reals, row by row. Generic keys: "rows", "columns"
// and "values" (every element, row by row).
#pragma once

#include <vector>

#include "tools/Tool.h"

namespace ixv {

class Matrix final : public NamedKeyTool {
public:
    static constexpr const char* kSemType = "matrix";

    Matrix(Hlong rows, Hlong columns, std::vector<double> values)
        : rows_(rows), columns_(columns), values_(std::move(values)) {}

    const char* semType() const override { return kSemType; }
    HalconCpp::HTuple keys() const override;
    HalconCpp::HTuple tupleAt(const HalconCpp::HTuple& key, const char* proc) const override;

    Hlong rows() const { return rows_; }
    Hlong columns() const { return columns_; }
    const std::vector<double>& values() const { return values_; }
    std::vector<double>& values() { return values_; }

    // Checks a size asked for by a caller or a file: each side at least 0 and
    // the element count within the limit of runs or points.
    static void checkSize(int64_t rows, int64_t columns, const char* proc);

private:
    Hlong rows_, columns_;
    std::vector<double> values_;
};

}  // namespace ixv
