#include "base/Params.h"

#include <cmath>

#include "base/TupleData.h"
#include "base/Access.h"

namespace ixv {

namespace {

Element elementAt(const HalconCpp::HTuple& tuple, Hlong i, const char* proc, int position) {
    if (i < 0 || i >= tuple.Length()) raiseParCount(proc, position);
    return elementOf(tuple, i);
}

}  // namespace

double numberAt(const HalconCpp::HTuple& tuple, Hlong i, const char* proc, int position) {
    const Element e = elementAt(tuple, i, proc, position);
    if (const Hlong* l = std::get_if<Hlong>(&e)) return static_cast<double>(*l);
    if (const double* d = std::get_if<double>(&e)) return *d;
    raiseParValue(proc, position, "expected a number");
}

int64_t integerAt(const HalconCpp::HTuple& tuple, Hlong i, const char* proc, int position) {
    const Element e = elementAt(tuple, i, proc, position);
    if (const Hlong* l = std::get_if<Hlong>(&e)) return *l;
    if (const double* d = std::get_if<double>(&e)) {
        if (std::isfinite(*d) && std::floor(*d) == *d && std::fabs(*d) < 9.2e18) return static_cast<int64_t>(*d);
    }
    raiseParValue(proc, position, "expected an integer");
}

std::string stringAt(const HalconCpp::HTuple& tuple, Hlong i, const char* proc, int position) {
    const Element e = elementAt(tuple, i, proc, position);
    if (const std::string* s = std::get_if<std::string>(&e)) return *s;
    raiseParValue(proc, position, "expected a string");
}

double singleNumber(const HalconCpp::HTuple& tuple, const char* proc, int position) {
    if (tuple.Length() != 1) raiseParCount(proc, position, "expected one value");
    return numberAt(tuple, 0, proc, position);
}

int64_t singleInteger(const HalconCpp::HTuple& tuple, const char* proc, int position) {
    if (tuple.Length() != 1) raiseParCount(proc, position, "expected one value");
    return integerAt(tuple, 0, proc, position);
}

std::string singleString(const HalconCpp::HTuple& tuple, const char* proc, int position) {
    if (tuple.Length() != 1) raiseParCount(proc, position, "expected one value");
    return stringAt(tuple, 0, proc, position);
}

}  // namespace ixv
