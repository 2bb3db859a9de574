// A tuple's elements as a vector, for comparing with expected values.
#pragma once

#include <string>
#include <vector>

#include "HalconCpp.h"

namespace ixtest {

inline std::vector<Hlong> longs(const HalconCpp::HTuple& t) {
    std::vector<Hlong> out;
    for (Hlong i = 0; i < t.Length(); ++i) out.push_back(t[i].L());
    return out;
}

inline std::vector<double> reals(const HalconCpp::HTuple& t) {
    std::vector<double> out;
    for (Hlong i = 0; i < t.Length(); ++i) out.push_back(t[i].D());
    return out;
}

inline std::vector<std::string> strings(const HalconCpp::HTuple& t) {
    std::vector<std::string> out;
    for (Hlong i = 0; i < t.Length(); ++i) out.push_back(t[i].C());
    return out;
}

}  // namespace ixtest
