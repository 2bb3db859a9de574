// The storage behind HTuple.
//
// Tuples of only integers or only reals are kept as plain arrays, the common
// case for region runs, contour points and numeric dictionary values; any other
// tuple is a list of variants.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "HTuple.h"

namespace ixv {

using Element = std::variant<Hlong, double, std::string, HalconCpp::HHandle>;

struct TupleData {
    enum class Kind : unsigned char { Longs, Doubles, Mixed };

    Kind kind = Kind::Longs;
    std::vector<Hlong> longs;
    std::vector<double> doubles;
    std::vector<Element> mixed;

    Hlong size() const;
    // The element at `index` as a variant, whatever the storage.
    Element element(Hlong index) const;
    // Moves integer or real storage into the variant list.
    void makeMixed();
    void append(const TupleData& other);
};

// Tuples built from whole arrays without per-element work.
HalconCpp::HTuple tupleOfLongs(std::vector<Hlong> values);
HalconCpp::HTuple tupleOfDoubles(std::vector<double> values);
HalconCpp::HTuple tupleOfElements(std::vector<Element> values);
HalconCpp::HTuple tupleOfStrings(const std::vector<std::string>& values);
// A tuple of one string; the names of semantic types and key data types are
// made once and shared.
HalconCpp::HTuple sharedString(const char* text);

}  // namespace ixv
