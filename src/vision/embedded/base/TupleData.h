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

// One storage a tuple: the integers or reals of a tuple of numbers (owned, or
// a view of values that live as long as the TupleData, such as a file's arena
// from which both were allocated), or its list of variants. A change to a
// viewed tuple first copies its values into storage of its own. 56 bytes.
struct TupleData {
    enum class Kind : unsigned char { Longs, Doubles, Mixed, Repeated };

    TupleData() noexcept : longs_() {}
    // A copy owns its values, whatever the original viewed.
    TupleData(const TupleData& other);
    TupleData& operator=(const TupleData& other);
    TupleData& operator=(TupleData&& other);  // a view is copied
    ~TupleData() { destroyStorage(); }

    Kind kind() const { return kind_; }
    Hlong size() const { return kind_ == Kind::Mixed ? static_cast<Hlong>(mixed_.size()) : static_cast<Hlong>(count_); }
    // Longs: the integers, size() of them; Repeated: the one integer.
    const Hlong* longs() const { return static_cast<const Hlong*>(values_); }
    // Doubles: the reals, size() of them.
    const double* doubles() const { return static_cast<const double*>(values_); }
    // Mixed: the elements; empty for any other kind.
    const std::vector<Element>& mixed() const { return kind_ == Kind::Mixed ? mixed_ : noElements(); }
    // Room of the storage of its own (0 for a view).
    size_t capacity() const;

    // The tuple made integers, reals or `count` times one integer, held in
    // storage of its own.
    void setLongs(std::vector<Hlong> values);
    void setDoubles(std::vector<double> values);
    void setRepeated(Hlong value, Hlong count);
    // The tuple made a view of `count` integers or reals at `values`, which
    // must live as long as this TupleData and never change.
    void viewLongs(const Hlong* values, size_t count);
    void viewDoubles(const double* values, size_t count);
    // The elements to change: the tuple made a list of variants first.
    std::vector<Element>& mixedToChange() {
        makeMixed();
        return mixed_;
    }
    // Appends an integer to a tuple of integers (Longs).
    void pushLong(Hlong value);

    // The element at `index` as a variant, whatever the storage.
    Element element(Hlong index) const;
    // Moves integer or real storage into the variant list.
    void makeMixed();
    // Writes a repeated integer out as an array of integers.
    void expand();
    void append(const TupleData& other);

    // The keys of dictionaries that many share (the records of a file): a
    // tuple of one string ready for each element, so that taking one key out
    // (HTuple(keys[i])) shares its text instead of copying it. Used while it
    // matches the elements in number; a copy of the data starts without them.
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

private:
    static const std::vector<Element>& noElements();
    // The values of a view copied into storage of its own.
    void own();
    // `values_` and `count_` after a change of the storage of its own.
    void sync();
    void destroyStorage() noexcept;
    // Makes the storage of `kind` (empty) the active one.
    void reset(Kind kind) noexcept;

    Kind kind_ = Kind::Longs;
    bool viewed_ = false;
    size_t count_ = 0;              // Longs, Doubles: the values; Repeated: how many times the one stands
    const void* values_ = nullptr;  // the first value (Longs, Doubles, Repeated)
    union {
        std::vector<Hlong> longs_;  // Longs, unless viewed
        std::vector<double> doubles_;
        std::vector<Element> mixed_;
        Hlong repeated_;  // Repeated: the one integer
    };
};

// The storage of an array of numbers read from a file, placed in the file's
// arena beside the values it views and never destroyed (it owns nothing):
// the arena goes whole. Its tuple is lent to the dictionary that holds it;
// copies hold a reference to the arena (see HTuple.h).
struct PlacedTuple : TupleData {
    explicit PlacedTuple(Arena* from) noexcept : arena(from) {}
    Arena* arena;
};

// The storage of a tuple for code that walks it whole (writers): its shared
// TupleData, or a new one holding a tuple's inline value; null when empty.
std::shared_ptr<const TupleData> storageOf(const HalconCpp::HTuple& tuple);
// The shared TupleData of a tuple, or null for an empty tuple or one held inline.
const TupleData* storedOf(const HalconCpp::HTuple& tuple);
// Element `index` (in range) of a tuple.
Element elementOf(const HalconCpp::HTuple& tuple, Hlong index);
// The one value of a tuple of one value held inline, taken out (a handle's
// tool moved, not shared).
Element takeElement(HalconCpp::HTuple& tuple);
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
