// PNM files for the tests and the fuzz seeds: a text header and a raster.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ixtest::pnm {

inline std::vector<uint8_t> file(const std::string& header, const std::vector<uint8_t>& raster = {}) {
    std::vector<uint8_t> out(header.begin(), header.end());
    out.insert(out.end(), raster.begin(), raster.end());
    return out;
}

}  // namespace ixtest::pnm
