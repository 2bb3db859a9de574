// A tuple or dictionary as one line of text, for comparing whole contents in
// a table: one value alone, others in parentheses; reals always with a "." or
// an exponent, strings quoted, handles as null or their dictionary, whose
// integer keys stand in brackets.
#pragma once

#include <charconv>
#include <string>

#include "HalconCpp.h"
#include "base/Access.h"
#include "base/TupleData.h"
#include "tools/Dict.h"

namespace ixtest {

using HalconCpp::HHandle;
using HalconCpp::HTuple;

inline std::string describe(const HTuple& tuple);

inline std::string describeDict(const ixv::Dict& dict) {
    std::string text = "{";
    for (size_t i = 0; i < dict.size(); ++i) {
        if (text.size() > 1) text += ",";
        const ixv::DictKey key = dict.keyAt(i);
        text += key.isInteger() ? "[" + std::to_string(key.integer()) + "]" : key.text();
        text += "=" + (dict.holdsObject(i) ? std::string("<objects>") : describe(dict.valueAt(i)));
    }
    return text + "}";
}

inline std::string describe(const HTuple& tuple) {
    const Hlong n = tuple.Length();
    std::string text;
    for (Hlong i = 0; i < n; ++i) {
        if (i > 0) text += ",";
        const ixv::Element e = ixv::elementOf(tuple, i);
        if (const Hlong* l = std::get_if<Hlong>(&e)) {
            text += std::to_string(*l);
        } else if (const double* d = std::get_if<double>(&e)) {
            char buffer[40];
            std::string real(buffer, std::to_chars(buffer, buffer + 40, *d).ptr);
            text += real.find_first_of(".en") == std::string::npos ? real + ".0" : real;
        } else if (const std::string* s = std::get_if<std::string>(&e)) {
            text += "'" + *s + "'";
        } else {
            const auto& tool = ixv::Access::tool(std::get<HHandle>(e));
            text += tool ? describeDict(static_cast<const ixv::Dict&>(*tool)) : "null";
        }
    }
    return n == 1 ? text : "(" + text + ")";
}

}  // namespace ixtest
