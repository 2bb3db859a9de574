// The geometry of one object of a node as plain arrays a host draws: the runs
// of a region, the points of a contour or polygon, the two lines of a parallel.
#pragma once

#include <cstdint>
#include <vector>

#include "../vision/HalconCpp.h"

struct NativeRegionRuns {
    std::vector<int32_t> rows, columnBegins, columnEnds;
};

struct NativeContourPoints {
    std::vector<double> rows, cols;
};

struct NativeParallelLines {
    std::vector<double> rows1, cols1, rows2, cols2;
};

// The runs of a region (or of an image's domain) as GetRegionRuns gives them.
NativeRegionRuns runsOf(const HalconCpp::HObject& region);
