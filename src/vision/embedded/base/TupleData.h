// The storage behind HTuple.
//
// Tuples of only integers or only reals are kept as plain arrays, the common
// case for region runs, contour points and numeric dictionary values; any other
// tuple is a list of variants. A tuple of one integer repeated (the element
// flags of a tuple of one kind) keeps the integer once and its count.
#pragma once

#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "HTuple.h"

namespace ixv {

class Arena;

using Element = std::variant<Hlong, double, std::string, HalconCpp::HHandle>;

struct TupleData {
    enum class Kind : unsigned char { Longs, Doubles, Mixed, Repeated };

    Kind kind = Kind::Longs;
    std::vector<Hlong> longs;  // Repeated: the one integer
    Hlong repeats = 0;         // Repeated: how many times it stands
    std::vector<double> doubles;
    std::vector<Element> mixed;
    // The keys of dictionaries that many share (the records of a file): a
    // tuple of one string ready for each element, so that taking one key out
    // (HTuple(keys[i])) shares its text instead of copying it. Used while it
    // matches `mixed` in length; a copy of the data starts without them.
    // One pointer, as most tuples have none.
    struct TextTuples {
        std::unique_ptr<std::vector<HalconCpp::HTuple>> tuples;
        TextTuples() = default;
        TextTuples(const TextTuples&) {}
        TextTuples(TextTuples&&) noexcept = default;
        TextTuples& operator=(const TextTuples&) {
            tuples.reset();
            return *this;
        }
        TextTuples& operator=(TextTuples&&) noexcept = default;
        // The ready tuples when there is one for each of `n` elements, else null.
        const std::vector<HalconCpp::HTuple>* of(size_t n) const {
            return tuples && tuples->size() == n ? tuples.get() : nullptr;
        }
    } texts;

    Hlong size() const;
    // The element at `index` as a variant, whatever the storage.
    Element element(Hlong index) const;
    // Moves integer or real storage into the variant list.
    void makeMixed();
    // Writes a repeated integer out as an array of integers.
    void expand();
    void append(const TupleData& other);
};

// The storage of a tuple for code that walks it whole (writers): its shared
// TupleData, or a new one holding a tuple's inline value; null when empty.
std::shared_ptr<const TupleData> storageOf(const HalconCpp::HTuple& tuple);
// The shared TupleData of a tuple, or null for an empty tuple or one held inline.
const TupleData* storedOf(const HalconCpp::HTuple& tuple);
// Element `index` (in range) of a tuple.
Element elementOf(const HalconCpp::HTuple& tuple, Hlong index);
// The one integer, real or string of a tuple of length 1, or null / false.
const Hlong* singleInteger(const HalconCpp::HTuple& tuple);
const double* singleReal(const HalconCpp::HTuple& tuple);
bool oneString(const HalconCpp::HTuple& tuple, std::string_view* text);
// A tuple of one string: the text in a block of its own, from `arena` when
// given; copies of the tuple share the block.
HalconCpp::HTuple tupleOfText(std::string_view text, Arena* arena = nullptr);

// Tuples built from whole arrays without per-element work.
HalconCpp::HTuple tupleOfLongs(std::vector<Hlong> values);
HalconCpp::HTuple tupleOfDoubles(std::vector<double> values);
HalconCpp::HTuple tupleOfElements(std::vector<Element> values);
HalconCpp::HTuple tupleOfStrings(const std::vector<std::string>& values);
// `count` times the integer `value`, held once.
HalconCpp::HTuple tupleOfRepeated(Hlong value, Hlong count);
// A tuple of one string; the names of semantic types and key data types are
// made once and shared.
HalconCpp::HTuple sharedString(const char* text);

}  // namespace ixv
