// A new, empty dictionary through the vendor's operator.
#pragma once

#include "HalconCpp.h"

inline HalconCpp::HTuple newDict() {
    HalconCpp::HTuple dict;
    HalconCpp::CreateDict(&dict);
    return dict;
}
