// Reading operator arguments out of tuples, with the vendor's errors for a
// wrong value (130x) or a wrong number of values (140x).
#pragma once

#include <string>

#include "base/Errors.h"
#include "HTuple.h"

namespace ixv {

// Element i as a number: an integer or a real. `position` is the 1-based
// control parameter the tuple is.
double numberAt(const HalconCpp::HTuple& tuple, Hlong i, const char* proc, int position);
// Element i as an integer; a real with an integral value is accepted.
int64_t integerAt(const HalconCpp::HTuple& tuple, Hlong i, const char* proc, int position);
// Element i as a string.
std::string stringAt(const HalconCpp::HTuple& tuple, Hlong i, const char* proc, int position);

// The one value of a tuple that must hold exactly one.
double singleNumber(const HalconCpp::HTuple& tuple, const char* proc, int position);
int64_t singleInteger(const HalconCpp::HTuple& tuple, const char* proc, int position);
std::string singleString(const HalconCpp::HTuple& tuple, const char* proc, int position);

}  // namespace ixv
